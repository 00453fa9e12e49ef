#pragma once

#include "ui/UiTabs.h"

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QTableWidget>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class BrimleyAppDelegate;
class QLineEdit;

// What the main window sends to the open screen: the search and the existing/deleted toggle.
// A screen that lacks an operation answers false to the matching "responds" question and is
// left alone.
class ResultsScreen : public QWidget {
public:
    using QWidget::QWidget;
    virtual bool respondsToFind() const { return false; }
    virtual bool respondsToToggleChanged() const { return false; }
    virtual bool respondsToToggleBack() const { return false; }
    // Filters (or steps through) the screen's list by the search field's text.
    virtual void find(const QString& /*text*/) {}
    // All records, existing and deleted.
    virtual void toggleChanged() {}
    // Deleted records only.
    virtual void toggleBack() {}
    // Draws the list again (the records it shows may have changed).
    virtual void redraw() {}
};

// The device details: the current device record's name, serial number, product type,
// identifier, iOS version, firmware, IMSI, IMEI and ICCID.
class DeviceViewController : public ResultsScreen {
public:
    explicit DeviceViewController(BrimleyAppDelegate& record, QWidget* parent = nullptr);
    // Empties every label, then fills them from the current device record; a value the record
    // lacks leaves its label empty.
    void update();

    QLabel *txtDeviceName, *txtSerialNumber, *txtProductType, *txtUDID, *txtOS, *txtFirmware,
        *txtIMSI, *txtIMEI, *txtICICD;

private:
    BrimleyAppDelegate& record_;
};

// The summary view: the counts of existing and deleted records per data type, each a button
// that opens its tab.
class HomeViewController : public ResultsScreen {
public:
    // `open` opens a tab as its tab button does.
    HomeViewController(BrimleyAppDelegate& record, std::function<void(TabTag)> open,
                       QWidget* parent = nullptr);
    // Fills the counts from the record.
    void Display();
    // The text of a tab's count button ("<existing> / <deleted>").
    QString countText(TabTag tab) const;

    void tabSMS() { open_(TabTag::TabTagSMS); }
    void tabContacts() { open_(TabTag::TabTagContacts); }
    void tabCalls() { open_(TabTag::TabTagCalls); }
    void tabCalendar() { open_(TabTag::TabTagCalendar); }
    void tabNotes() { open_(TabTag::TabTagNotes); }
    void tabInternet() { open_(TabTag::TabTagInternet); }
    void tabPhotos() { open_(TabTag::TabTagPhotos); }
    void tabVideos() { open_(TabTag::TabTagVideos); }
    void tabDictionary() { open_(TabTag::TabTagDictionary); }
    void tabMaps() { open_(TabTag::TabTagMap); }
    void tabApps() { open_(TabTag::TabTagApps); }
    void tabWhatsapp() { open_(TabTag::TabTagWhatsApp); }

private:
    BrimleyAppDelegate& record_;
    std::function<void(TabTag)> open_;
    QLabel* txtRetrieved = nullptr;
    QLabel* txtRecovered = nullptr;
    QLabel* txtTotalRetrieved = nullptr;
    QLabel* txtTotalRecovered = nullptr;
    std::vector<std::pair<TabTag, std::array<QLabel*, 2>>> counts_;
};

// The applications, accounts and user-dictionary tables: sorting by column (a second click on
// the same column sorts descending) and a find that steps through the matches. A sort puts the
// record's list itself in the order shown, so that an export writes that order.
class RecordTableScreen : public ResultsScreen {
public:
    struct Row {
        std::vector<QString> cells;
        // The searched field.
        QString searched;
        // The record the row shows, as its list holds it.
        std::shared_ptr<void> record;
    };
    // `reorder` puts the list in the order of the records given (those of the rows, sorted).
    using Reorder = std::function<void(const std::vector<std::shared_ptr<void>>&)>;
    RecordTableScreen(std::vector<QString> columnKeys, std::function<std::vector<Row>()> rows,
                      QWidget* parent = nullptr, Reorder reorder = {});

    bool respondsToFind() const override { return true; }
    // Selects the next row whose searched field contains the text (ignoring case), wrapping
    // to the top; beeps when none does. An empty text does nothing.
    void find(const QString& text) override;
    // Sorts by the column: ascending, descending on a repeated click. Numbers sort by value.
    void sortByColumn(int column);
    // Whether the record's searched field contains the text (already in lower case), ignoring
    // case; an empty field matches nothing.
    static bool matchName(const QString& text, const Row& record);
    void reload();

    QTableWidget* table() const { return m_table; }
    const std::vector<Row>& rows() const { return rows_; }
    // Whether the last find beeped.
    bool beeped() const { return beeped_; }

private:
    void fill();

    QTableWidget* m_table = nullptr;
    std::function<std::vector<Row>()> source_;
    Reorder reorder_;
    std::vector<Row> rows_;
    int identifier_ = -1;
    bool beeped_ = false;
};

// The three table screens over the record's lists.
RecordTableScreen* ApplicationViewController(BrimleyAppDelegate& record, QWidget* parent = nullptr);
RecordTableScreen* AccountViewController(BrimleyAppDelegate& record, QWidget* parent = nullptr);
RecordTableScreen* UserDataViewController(BrimleyAppDelegate& record, QWidget* parent = nullptr);

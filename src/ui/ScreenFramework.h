#pragma once

#include "database/PartnerNames.h"
#include "ui/RecordTable.h"
#include "ui/ScreenHelpers.h"
#include "ui/Screens.h"

#include <QAbstractTableModel>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTextBrowser>
#include <QToolButton>

#include <functional>
#include <optional>
#include <string>

class BrimleyAppDelegate;

// What the main window gives a data-type screen.
struct ScreenHost {
    BrimleyAppDelegate* record = nullptr;
    // Empties the main window's search field without searching again.
    std::function<void()> clearSearchField;
    // Opens an address in the user's default browser.
    std::function<void(const QString&)> openAddress;
    // The user chose a segment of a screen's existing/deleted filter: the window's toggle is
    // drawn to match (on for the deleted records alone).
    std::function<void(bool onlyDeleted)> filterChosen;
    // The names of the backup's address book and of its WhatsApp chat database, read once by
    // the screens that name partners; none: read from the record's backup.
    std::function<AddressBookNames()> addressBook;
    std::function<WhatsAppPartnerNames()> whatsAppNames;
};

// A table model over a screen's shown list. With ticks, the first column is the tick box
// (bound to the rows' ticks); the other columns are the list's. Deleted records show in red.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // The list shown from now on (not owned); the view is reset.
    void setRows(TableRows* rows);
    // The list changed as a whole (rebuilt, filtered or sorted).
    void reset();
    // The ticks of every shown row may have changed.
    void ticksChanged();
    TableRows* rows() const { return rows_; }
    // The list's column of a view column; none for the tick column.
    std::optional<std::size_t> dataColumn(int section) const;
    int tickColumn() const { return rows_ && rows_->hasTicks() ? 0 : -1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The user changed a row's own tick box.
    void rowTicked(int row);

private:
    TableRows* rows_ = nullptr;
};

// The existing/deleted filter of a screen: segment 0 both lists, 1 the existing records, 2 the
// deleted records.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(QWidget* parent = nullptr);
    int selectedSegment() const;
    void setSelectedSegment(int segment);
    QToolButton* segment(int i) const { return buttons_[static_cast<std::size_t>(i)]; }
    void retitle();

signals:
    // The user picked a segment.
    void segmentChosen(int segment);

private:
    std::array<QToolButton*, 3> buttons_{};
    QButtonGroup* group_ = nullptr;
};

// The common frame of the data-type screens: a tool row (the existing/deleted filter where the
// screen has one, the tick-all box where it ticks, the count line), the table, and a detail
// area beside it. Each screen fills in its lists and operations.
class ListScreen : public ResultsScreen {
public:
    ListScreen(ScreenHost host, const QString& objectName, QWidget* parent);

    QTableView* m_table = nullptr;
    RecordTableModel* model = nullptr;
    // Present on screens that use them.
    SegmentedControl* segmentedControl = nullptr;
    QCheckBox* checkAll = nullptr;
    QLabel* caption = nullptr;
    QSplitter* splitter = nullptr;

    // The row refreshIndexpath selected; none when the list was empty.
    std::optional<std::size_t> selectRowIndexPath;
    // The identifier of the column sorted last.
    std::string identifier;

    // The selected row of the table, if any.
    std::optional<std::size_t> selectedRow() const;
    // Selects the row alone and scrolls it into view; its detail shows.
    void selectRow(std::size_t row);
    // Whether the last find-next found nothing (and beeped).
    bool beeped() const { return beeped_; }
    // Clicks a column header as the user does (by the column's identifier).
    void clickHeader(const std::string& identifier);
    void redraw() override { model->reset(); }

protected:
    // Builds the parts of the frame the screen uses.
    void addSegments(int selected);
    void addTickAll(bool withText = true);
    void setDetail(QWidget* detail, int width = 380);
    // The shown list was made anew, in its own order: no column shows itself sorted.
    void reloadTable() {
        m_table->horizontalHeader()->setSortIndicatorShown(false);
        model->reset();
    }
    // Shows the list in the table, with column widths to suit its columns.
    void setTable(TableRows* rows) { setTableOf(m_table, model, rows); }
    static void setTableOf(QTableView* table, RecordTableModel* model, TableRows* rows);
    // Selects row 0 and shows its detail, or clears the detail of an empty list.
    void refreshIndexpath();
    // "Showing x of y deleted ... and x of y existing ..." of the screen's language text.
    void setCaption(std::optional<LanguageKey> format, std::size_t shownDeleted, std::size_t deleted,
                    std::size_t shownExisting, std::size_t existing);
    void beep();

    // What a screen does on these; by default nothing.
    virtual void showDetailOf(std::size_t /*row*/) {}
    virtual void clearDetail() {}
    virtual void headerClicked(std::size_t /*column*/) {}
    virtual void checkAllClicked(bool /*on*/) {}
    virtual void rowTicked(std::size_t /*row*/) {}
    virtual void cellClicked(std::size_t /*row*/, std::size_t /*column*/) {}
    // Screens with segments: shows the records of the selected segment. The window's toggle
    // moves the segment first: all records turn "Deleted" into both lists (and leave
    // "Existing" as it is), deleted records only select "Deleted".
    virtual void showSegment() {}
    void segmentsShowAll();
    void segmentsShowDeleted();

    // Sorts a RowTable by a header click on one of its columns, with the rule of every screen
    // (ascending, then descending on repeated clicks), and shows the order.
    template <class Row>
    void sortTable(RowTable<Row>& table, std::size_t column, bool switchOffReordering = true) {
        const bool ascending = HeaderClickAscending(identifier, table.identifier(column));
        table.sortBy(column, ascending);
        if (switchOffReordering) allowColumnReordering(false);
        model->reset();
        showSortIndicator(column, ascending);
    }
    void showSortIndicator(std::size_t column, bool ascending);
    void allowColumnReordering(bool allow);

    ScreenHost host_;
    BrimleyAppDelegate& record_;

private:
    void selectionChanged();

    bool beeped_ = false;
    bool selecting_ = false;
    QWidget* tools_ = nullptr;
};

// A list screen of one table of records of type R: rows that know whether they are deleted,
// ticks where the screen has them, and sorting by header clicks (a screen with ticks keeps its
// columns in place once sorted).
template <class R>
class RecordListScreen : public ListScreen {
public:
    using Row = RecordRow<R>;
    const RowTable<Row>& shown() const { return table_; }

protected:
    RecordListScreen(ScreenHost host, const QString& objectName, QWidget* parent, bool ticks)
        : ListScreen(std::move(host), objectName, parent), ticks_(ticks) {
        ScreenHelpers::RecordBasics(table_, ticks);
    }
    void headerClicked(std::size_t column) override { sortTable(table_, column, ticks_); }

    RowTable<Row> table_;

private:
    bool ticks_;
};

// A detail page: a text browser that shows HTML built by the screen, follows no link itself
// and hands every link to the user's browser.
class DetailPage : public QTextBrowser {
public:
    DetailPage(std::function<void(const QString&)> openAddress, QWidget* parent);
    // Shows the page; the empty text clears it.
    void loadHTMLString(const std::string& html);
    // The page last loaded.
    const std::string& page() const { return page_; }

private:
    std::string page_;
};

// The chat page of a conversation, drawn one block of messages at a time so that a chat of any
// length stays quick to lay out. It opens on the newest block; the bar above the page loads the
// next older block, naming how many older messages there are, and the next newer one back.
class ChatView : public QWidget {
public:
    ChatView(std::function<void(const QString&)> openAddress, QWidget* parent);

    // Shows the newest block of a chat of `count` messages in time order; `page` draws the
    // messages [begin, end) of it. No messages: an empty page.
    using PageOf = std::function<std::string(std::size_t begin, std::size_t end)>;
    void show(std::size_t count, PageOf page);
    // The next older (newer) block; nothing when there is none.
    void older();
    void newer();
    // The messages the page shows now, [begin, end) of the chat.
    std::pair<std::size_t, std::size_t> shownRange() const;

    // The most messages a block holds.
    std::size_t blockSize = 3000;
    DetailPage* page = nullptr;
    QPushButton* olderButton = nullptr;
    QPushButton* newerButton = nullptr;

private:
    void draw(bool atEnd);

    std::size_t count_ = 0;
    // Blocks counted from the newest: 0 is the newest.
    std::size_t block_ = 0;
    PageOf pageOf_;
};

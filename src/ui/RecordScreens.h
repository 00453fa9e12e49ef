#pragma once

#include "records/Calendar.h"
#include "records/Contact.h"
#include "records/InternetHistory.h"
#include "records/KeyChain.h"
#include "records/MapHistory.h"
#include "records/Music.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/Skype.h"
#include "ui/ScreenFramework.h"

#include <QTableWidget>
#include <QTreeWidget>

#include <unordered_map>

// The screens of one list of records each: contacts, calendar events, notes, the browser
// history, map searches, iMessages, music and the keychain; and the Skype screen.

// The address-book contacts, existing and deleted, with the segmented filter.
class ContactViewController : public RecordListScreen<Contact> {
public:
    ContactViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;
    static bool matchName(const std::string& lowerText, const Contact& contact, const OptString& number1);

    // The first number as the screen shows and searches it (filled in the record from the
    // second or third number once the contact has been normalised).
    OptString number1(const Contact& contact) const { return contact.ContactNo1(); }

    QLabel *lblName, *lblContact1, *lblContact2, *lblContact3, *lblContact4, *lblContact5,
        *lblContact6, *lblEmail1, *lblEmail2, *lblEmail3;
    // The deleted mark (shown for a deleted contact) and the organisation.
    QLabel *lblDeleted, *lblOrganization;

protected:
    void showDetailOf(std::size_t row) override;
    void clearDetail() override;
    void checkAllClicked(bool on) override;
    void showSegment() override;

private:
    void normalise(Contact& contact) { contact.setContactNo1Number(); }
    std::vector<Row> numbered(const std::vector<std::shared_ptr<Contact>>& list, bool deleted,
                              std::int32_t first, bool normalised);
    void show(std::vector<Row> rows);
};

// Calendar events, existing and deleted, with the show-all flag and an event page.
class CalendarViewController : public RecordListScreen<Calendar> {
public:
    CalendarViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;
    static bool matchName(const std::string& lowerText, const Calendar& event);

    bool showAllCalendar = false;
    DetailPage* webView = nullptr;

protected:
    void showDetailOf(std::size_t row) override;
    void clearDetail() override { webView->loadHTMLString(""); }
    void checkAllClicked(bool on) override;

private:
    void show(std::vector<Row> rows);
};

// Notes, existing and deleted, with the show-all flag, a one-line short title and a note page.
class NoteViewController : public RecordListScreen<Note> {
public:
    NoteViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;
    static bool matchName(const std::string& lowerText, const Note& note);
    // The short title of a text: trimmed, the first 20 characters and "..." when longer, the
    // text itself otherwise; line breaks as blanks.
    static std::string ShortTitle(const OptString& summary) { return Note::ShortTitle(summary); }
    // The note's short title, as the record holds it.
    OptString SortTitle(const Note& note) const { return note.SortTitle(); }

    static constexpr int charToHide = Note::kShortTitleLength;
    bool showAllNotes = false;
    DetailPage* webView = nullptr;

protected:
    void showDetailOf(std::size_t row) override;
    void clearDetail() override { webView->loadHTMLString(""); }
    void checkAllClicked(bool on) override;

private:
    void show(std::vector<Row> rows);
};

// The browser history: the whole list or nothing; a click on a web address opens it.
class InternetHistoryViewController : public RecordListScreen<InternetHistory> {
public:
    InternetHistoryViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;
    static bool matchName(const std::string& lowerText, const InternetHistory& page);
    // Whether the text is a web address: "http" or "https", "://", then word characters,
    // hyphens, underscores and bars, with at least one dot, slash or bar among them.
    static bool validateUrl(const std::string& text);

protected:
    void headerClicked(std::size_t column) override;
    void checkAllClicked(bool on) override;
    void cellClicked(std::size_t row, std::size_t column) override;

private:
    // The whole history, in the list's order (which header clicks set).
    std::vector<Row> whole();
    void show(std::vector<Row> rows, bool whole);

    bool showingWhole_ = false;
};

// Map searches: one list, no filter, a find that steps to the next match.
class MapHistoryViewController : public RecordListScreen<MapHistory> {
public:
    MapHistoryViewController(ScreenHost host, QWidget* parent = nullptr);
    bool respondsToFind() const override { return true; }
    void find(const QString& text) override;

protected:
    void headerClicked(std::size_t column) override;
};

// iMessages, existing and deleted: the segmented filter and a find that steps to the next match.
class iMessageViewController : public RecordListScreen<SMS> {
public:
    iMessageViewController(ScreenHost host, QWidget* parent = nullptr);
    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;
    static bool matchName(const std::string& lowerText, const SMS& message);

protected:
    void showSegment() override;
};

// Audio files and keychain entries: lists filled when the screen is made, sortable. No tab
// shows them.
class MusicViewController : public RecordListScreen<Music> {
public:
    MusicViewController(ScreenHost host, QWidget* parent = nullptr);
};

class KeyChainViewController : public RecordListScreen<KeyChain> {
public:
    KeyChainViewController(ScreenHost host, QWidget* parent = nullptr);
};

// Skype contacts and a dialog page. No scan reads Skype data: the screen reads the contacts of
// one Skype database of the user's own (main.db in the data folder's "Skype" folder) on a
// connection of its own, and lists them; its dialog page is built by conversation().
class SkypeViewController : public ResultsScreen {
public:
    SkypeViewController(ScreenHost host, QWidget* parent = nullptr);
    // Reads the contacts of the database at the path; false when it does not open or is no
    // Skype database.
    bool skypeDatabase(const std::string& path);
    // Shows the dialog page of _tableViewContents.
    void conversation();
    // The account drawn as the owner's on the page.
    static constexpr const char* kOwnAccount = "torvane.owner";
    static std::string DefaultDatabasePath();

    std::optional<std::vector<std::shared_ptr<Skype>>> dataSource;
    std::vector<std::shared_ptr<Skype>> _tableViewContents;
    QTreeWidget* skypeNameOutlineView = nullptr;
    QTableWidget* tblConversation = nullptr;
    DetailPage* webView = nullptr;

private:
    ScreenHost host_;
};

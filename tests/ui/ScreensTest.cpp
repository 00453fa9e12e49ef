// The data-type screens on records of their own: what each lists, how it numbers, filters,
// searches, sorts and ticks, and its detail.
#include "UiTestSupport.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/InternetHistory.h"
#include "records/KeyChain.h"
#include "records/Music.h"
#include "records/MapHistory.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "ui/ChatScreens.h"
#include "ui/RecordScreens.h"
#include "support/FixtureDatabase.h"

#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>

namespace {

template <class R>
std::shared_ptr<R> Make(std::function<void(R&)> fill) {
    auto r = std::make_shared<R>();
    fill(*r);
    return r;
}

std::shared_ptr<Contact> Person(const char* first, OptString last, OptString no1, OptString no2 = std::nullopt) {
    return Make<Contact>([&](Contact& c) {
        c.setFirstName(std::string(first));
        c.setLastName(std::move(last));
        c.setContactNo1(std::move(no1));
        c.setContactNo2(std::move(no2));
    });
}

std::shared_ptr<CallLog> Call(OptString address, int duration = 10, OptString name = std::nullopt) {
    return Make<CallLog>([&](CallLog& c) {
        c.setAddress(std::move(address));
        c.setCallDuration(duration);
        c.setContactName(std::move(name));
        c.setLocalTime(std::string("2016-08-01 10:00:00"));
    });
}

std::shared_ptr<WhatsApp> WaMessage(OptString from, OptString to, const char* text, const char* date, bool sent = false) {
    return Make<WhatsApp>([&](WhatsApp& w) {
        w.setFromMsgID(std::move(from));
        w.setToMsgID(std::move(to));
        w.setZText(std::string(text));
        w.setMessageDate(std::string(date));
        w.setIsSent(sent);
    });
}

template <class Row>
std::vector<std::int32_t> Numbers(const RowTable<Row>& table) {
    std::vector<std::int32_t> numbers;
    for (const Row& row : table.rows) numbers.push_back(row.record->SlNo());
    return numbers;
}

template <class Row>
std::vector<std::string> Firsts(const RowTable<Row>& table) {
    std::vector<std::string> names;
    for (const Row& row : table.rows) names.push_back(row.record->FirstName().value_or("-"));
    return names;
}

}  // namespace

class ScreensTest : public QObject {
    Q_OBJECT
    BrimleyAppDelegate record;
    int searchCleared = 0;
    QStringList opened;

    ScreenHost host() {
        ScreenHost h;
        h.record = &record;
        h.clearSearchField = [this] { ++searchCleared; };
        h.openAddress = [this](const QString& address) { opened << address; };
        h.addressBook = [] {
            return AddressBookNames::FromRows({{std::string("+49 170 111"), std::string("Anna")}});
        };
        h.whatsAppNames = [] {
            return WhatsAppPartnerNames::FromRows({{std::string("anna@s"), std::string("Anna")},
                                                   {std::string("ben@s"), std::string("Ben")}});
        };
        return h;
    }

private slots:
    // A contact carved from the address book's search table shows each whole number without a
    // kind it cannot know.
    void carvedSearchContactShowsNumbersWithoutKinds() {
        auto carved = Person("Gina", std::nullopt, std::string("+49 151 2121 4377"), std::string("030 4400969"));
        carved->setC15Phone(std::string("+49 151 2121 4377 030 4400969"));
        record.DeletedContact.replace({carved});
        record.ContactContent.replace({});
        ContactViewController screen(host());
        QCOMPARE(screen.lblName->text(), QStringLiteral("Gina"));
        QCOMPARE(screen.lblContact1->text(), QStringLiteral("+49 151 2121 4377"));
        QCOMPARE(screen.lblContact2->text(), QStringLiteral("030 4400969"));
        QCOMPARE(screen.lblContact3->text(), QString());
    }

    void contactsNumberFilterSearchAndTick() {
        record.DeletedContact.replace({Person("Dora", std::nullopt, std::string("1")), Person("Emil", std::nullopt, std::string("2")),
                                       Person("Fritz", std::nullopt, std::string("3"))});
        record.ContactContent.replace({Person("Anna", std::string("Berg"), std::string(""), std::string("0151 7")),
                                       Person("Ben", std::nullopt, std::string("5")), Person("Carl", std::nullopt, std::string("6")),
                                       Person("Anne Marie", std::nullopt, std::string("8"))});
        ContactViewController screen(host());
        QCOMPARE(screen.segmentedControl->selectedSegment(), 2);
        QCOMPARE(Firsts(screen.shown()), (std::vector<std::string>{"Dora", "Emil", "Fritz"}));
        QCOMPARE(Numbers(screen.shown()), (std::vector<std::int32_t>{1, 2, 3}));
        QCOMPARE(screen.lblName->text(), QStringLiteral("Dora"));
        QCOMPARE(screen.lblContact1->text(), QStringLiteral("Home 1"));

        screen.segmentedControl->setSelectedSegment(0);
        screen.toggleChanged();
        QCOMPARE(Numbers(screen.shown()), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(Firsts(screen.shown()).front(), std::string("Dora"));
        // The existing contact without a first number now shows (and is found by) its second.
        screen.selectRow(3);
        QCOMPARE(screen.lblName->text(), QStringLiteral("Anna Berg"));
        QCOMPARE(screen.lblContact1->text(), QStringLiteral("Home 0151 7"));
        QCOMPARE(screen.lblContact2->text(), QStringLiteral("Work 0151 7"));
        // The record itself holds the filled number, so the export writes it too.
        QCOMPARE(record.ContactContent.snapshot()[0]->ContactNo1(), OptString("0151 7"));

        // A search under segment 0: existing contacts first; the fourth keeps number 4.
        screen.find(QStringLiteral("anne m"));
        QCOMPARE(Firsts(screen.shown()), (std::vector<std::string>{"Anne Marie"}));
        QCOMPARE(Numbers(screen.shown()), (std::vector<std::int32_t>{4}));
        screen.find(QStringLiteral("0151"));
        QCOMPARE(Firsts(screen.shown()), (std::vector<std::string>{"Anna"}));
        screen.find(QString());
        QCOMPARE(Firsts(screen.shown()).front(), std::string("Anna"));
        QCOMPARE(Numbers(screen.shown()).back(), 7);
        screen.segmentedControl->setSelectedSegment(2);
        screen.find(QStringLiteral("a"));
        QCOMPARE(Firsts(screen.shown()), (std::vector<std::string>{"Dora"}));

        // Tick-all reaches records a search hides; one row's tick unticks the tick-all box.
        screen.segmentedControl->setSelectedSegment(0);
        screen.find(QStringLiteral("dora"));
        screen.checkAll->click();
        for (const auto& c : record.ContactContent.snapshot()) QCOMPARE(c->isChecked(), 1);
        for (const auto& c : record.DeletedContact.snapshot()) QCOMPARE(c->isChecked(), 1);
        QVERIFY(screen.checkAll->isChecked());
        screen.model->setData(screen.model->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY(!screen.checkAll->isChecked());
        QCOMPARE(record.ContactContent.snapshot()[0]->isChecked(), 0);
        // Searching never shortens the record's lists; the toggle back shows the deleted ones.
        QCOMPARE(record.ContactContent.size(), std::size_t{4});
        const int cleared = searchCleared;
        screen.toggleBack();
        QCOMPARE(searchCleared, cleared + 1);
        QCOMPARE(Firsts(screen.shown()), (std::vector<std::string>{"Dora", "Emil", "Fritz"}));
        // A tick stays with its record through filtering and sorting.
        screen.clickHeader("FirstName");
        screen.clickHeader("FirstName");
        QCOMPARE(Firsts(screen.shown()).front(), std::string("Fritz"));
        QVERIFY(screen.shown().ticked(0));
    }

    void calendarAndNotesCoverBothListsFromWaking() {
        const auto event = [](const char* title, const char* start, OptString note = std::nullopt) {
            return Make<Calendar>([&](Calendar& e) {
                e.setSummary(std::string(title));
                e.setStartDate(std::string(start));
                e.setDescription(std::move(note));
            });
        };
        record.DeletedCalendar.replace({event("Dentist", "2016-05-03 09:00:00"), event("Lunch", "2016-05-04 12:00:00")});
        record.CalendarContent.replace({event("Gym", "2016-05-03 18:00:00", std::string("bring <b>towel</b>")),
                                        event("Flight", "2016-06-01 07:00:00"), event("Party", "2016-04-30 20:00:00")});
        CalendarViewController calendar(host());
        QCOMPARE(calendar.shown().rows.size(), std::size_t{2});
        QVERIFY(calendar.webView->page().find("<strong>Note: </strong> </td>") != std::string::npos);
        calendar.find(QStringLiteral("2016-05-03"));
        QCOMPARE(calendar.shown().rows.size(), std::size_t{2});  // a deleted and an existing event
        calendar.toggleChanged();
        QCOMPARE(Numbers(calendar.shown()), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
        calendar.selectRow(2);
        QVERIFY(calendar.webView->page().find("bring &lt;b&gt;towel&lt;/b&gt;") != std::string::npos);
        QVERIFY(calendar.webView->toPlainText().contains(QStringLiteral("bring <b>towel</b>")));
        // Dates sort by time, and a third click on the same header still sorts descending.
        calendar.clickHeader("StartDate");
        QCOMPARE(*calendar.shown().rows.front().record->Summary(), std::string("Party"));
        calendar.clickHeader("StartDate");
        calendar.clickHeader("StartDate");
        QCOMPARE(*calendar.shown().rows.front().record->Summary(), std::string("Flight"));
        calendar.toggleBack();
        calendar.find(QStringLiteral("gym"));
        QVERIFY(calendar.shown().rows.empty());
        QVERIFY(calendar.webView->page().empty());

        const auto note = [](const char* title, const char* text) {
            return Make<Note>([&](Note& n) {
                n.setTitle(std::string(title));
                n.setSummary(std::string(text));
            });
        };
        record.DeletedNotes.replace({note("Old", "gone"), note("Older", "gone too")});
        record.NotesContent.replace({note("A", "a"), note("B", "b"), note("C", "Shopping list\nmilk eggs bread and more")});
        NoteViewController notes(host());
        notes.find(QStringLiteral("shopping"));  // covers the existing notes from waking
        QCOMPARE(notes.shown().rows.size(), std::size_t{1});
        notes.toggleChanged();
        notes.find(QStringLiteral("shopping"));
        QCOMPARE(Numbers(notes.shown()), (std::vector<std::int32_t>{5}));
        QCOMPARE(notes.SortTitle(*notes.shown().rows[0].record), OptString("Shopping list milk e..."));
        // Written into the shared record, which the export reads.
        QCOMPARE(record.NotesContent.snapshot()[2]->SortTitle(), OptString("Shopping list milk e..."));

        // The notes column shows the text after the title, which has a column of its own.
        record.NotesContent.replace({note("Wifi passwords", "Wifi passwords\n- Airport: 1234")});
        notes.toggleChanged();
        const std::size_t text = notes.shown().columns() - 1;
        QCOMPARE(notes.shown().identifier(text), std::string("SortTitle"));
        std::size_t wifi = 0;
        while (wifi < notes.shown().size() && notes.shown().rows[wifi].record->Title() != OptString("Wifi passwords"))
            ++wifi;
        QVERIFY(wifi < notes.shown().size());
        QCOMPARE(notes.shown().cell(wifi, text), OptString("- Airport: 1234"));
        // A header click shows the column sorted; rows made anew in their own order show none.
        notes.clickHeader("Title");
        QVERIFY(notes.m_table->horizontalHeader()->isSortIndicatorShown());
        notes.toggleBack();
        QVERIFY(!notes.m_table->horizontalHeader()->isSortIndicatorShown());
    }

    void internetHistoryAndMaps() {
        const auto page = [](const char* title, const char* url, int visits) {
            return Make<InternetHistory>([&](InternetHistory& h) {
                h.setTitle(std::string(title));
                h.setUrl(std::string(url));
                h.setVisitCount(visits);
            });
        };
        record.InternetContent.replace({page("News", "https://news.example.com", 7), page("Mail", "https://mail.example.com/inbox", 3)});
        InternetHistoryViewController internet(host());
        QCOMPARE(internet.shown().rows.size(), std::size_t{2});
        internet.toggleBack();
        QVERIFY(internet.shown().rows.empty());
        internet.toggleChanged();
        internet.find(QStringLiteral("mail"));
        QCOMPARE(internet.shown().rows.size(), std::size_t{1});
        internet.find(QStringLiteral("7"));
        QVERIFY(internet.shown().rows.empty());
        // Sorting while a search result shows puts the history itself in order (the export
        // writes that order); the screen shows it once the whole history shows again.
        internet.clickHeader("Title");
        QVERIFY(internet.shown().rows.empty());
        QCOMPARE(*record.InternetContent.snapshot().front()->Title(), std::string("Mail"));
        internet.find(QString());
        QCOMPARE(*internet.shown().rows.front().record->Title(), std::string("Mail"));
        internet.clickHeader("Title");
        QCOMPARE(*record.InternetContent.snapshot().front()->Title(), std::string("News"));
        QCOMPARE(*internet.shown().rows.front().record->Title(), std::string("Mail"));
        internet.toggleChanged();
        QCOMPARE(*internet.shown().rows.front().record->Title(), std::string("News"));
        internet.clickHeader("Url");
        const int urlColumn = 1 + 2;  // the tick column, "#", "Title", "Url"
        emit internet.m_table->clicked(internet.model->index(0, urlColumn));
        QCOMPARE(opened, QStringList{QStringLiteral("https://mail.example.com/inbox")});
        emit internet.m_table->clicked(internet.model->index(0, 2));
        QCOMPARE(opened.size(), 1);

        const auto search = [](const char* query) {
            return Make<MapHistory>([&](MapHistory& m) { m.setQuery(std::string(query)); });
        };
        record.MapContent.replace({search("Cafe"), search("Museum"), search("Station"), search("cafe bar")});
        MapHistoryViewController maps(host());
        maps.find(QStringLiteral("CAFE"));
        QCOMPARE(maps.selectedRow(), std::optional<std::size_t>(0));
        maps.find(QStringLiteral("cafe"));
        QCOMPARE(maps.selectedRow(), std::optional<std::size_t>(3));
        maps.find(QStringLiteral("cafe"));
        QCOMPARE(maps.selectedRow(), std::optional<std::size_t>(0));
        maps.find(QStringLiteral("zoo"));
        QVERIFY(maps.beeped());
        QCOMPARE(maps.selectedRow(), std::optional<std::size_t>(0));
        // A header click sorts the searches themselves, and the table shows them so.
        maps.clickHeader("Query");
        std::vector<std::string> queries;
        for (const auto& m : record.MapContent.snapshot()) queries.push_back(m->Query().value_or("-"));
        QCOMPARE(queries, (std::vector<std::string>{"Cafe", "Museum", "Station", "cafe bar"}));
        maps.clickHeader("Query");
        QCOMPARE(*record.MapContent.snapshot().front()->Query(), std::string("cafe bar"));
        QCOMPARE(*maps.shown().rows.front().record->Query(), std::string("cafe bar"));
    }

    void iMessagesNumberByTheirSegment() {
        const auto message = [](const char* text) {
            return Make<SMS>([&](SMS& m) {
                m.setMessage(std::string(text));
                m.setSlNo(42);
            });
        };
        record.iMessageContent.replace({message("e1"), message("e2")});
        record.DeletediMessage.replace({message("d1"), message("d2"), message("d3")});
        iMessageViewController screen(host());
        QCOMPARE(Numbers(screen.shown()), (std::vector<std::int32_t>{1, 2, 3}));
        screen.segmentedControl->setSelectedSegment(0);
        screen.toggleChanged();
        QCOMPARE(Numbers(screen.shown()), (std::vector<std::int32_t>{42, 42, 3, 4, 5}));
        // Deleted records only: the "Deleted" segment.
        screen.toggleBack();
        QCOMPARE(screen.segmentedControl->selectedSegment(), 2);
        QCOMPARE(Numbers(screen.shown()), (std::vector<std::int32_t>{1, 2, 3}));
        screen.find(QString());
        QVERIFY(!screen.beeped());
        screen.find(QStringLiteral("d2"));
        QCOMPARE(screen.selectedRow(), std::optional<std::size_t>(1));
    }

    void whatsAppChatsGroupNameAndMerge() {
        record.WhatsAppContent.replace({WaMessage(std::string("anna@s"), std::nullopt, "Hi from Anna", "2016-05-01 10:00:00"),
                                        WaMessage(std::nullopt, std::string("ben@s"), "to <b>Ben</b>", "2016-05-01 10:01:00", true),
                                        WaMessage(std::string("ben@s"), std::nullopt, "from Ben", "2016-05-01 10:02:00"),
                                        WaMessage(std::string("x@s"), std::nullopt, "stranger", "2016-05-01 10:03:00"),
                                        WaMessage(std::string("y@s"), std::nullopt, "another", "2016-05-01 10:04:00")});
        record.DeletedWhatsApp.replace({WaMessage(std::string("anna@s"), std::nullopt, "same time", "2016-05-01 10:00:00"),
                                        WaMessage(std::string("ben@s"), std::nullopt, "Ben, same time", "2016-05-01 10:00:00"),
                                        WaMessage(std::string("z@s"), std::nullopt, "deleted", "2016-05-02 09:00:00")});
        WhatsAppViewController screen(host());
        QVERIFY(screen.shown().rows.empty());
        QCOMPARE(screen.segmentedControl->selectedSegment(), 0);
        screen.toggleChanged();
        QCOMPARE(screen.type, std::string("Both"));
        // Anna, Ben (keyed by the receiver of the owner's message), and one "Unknown" row for
        // every partner without a name; the deleted message of Anna's time takes no part.
        std::vector<std::string> names;
        for (const auto& row : screen.shown().rows) names.push_back(*screen.ContactName(*row.record));
        QCOMPARE(names, (std::vector<std::string>{"Anna", "Ben", "Unknown"}));
        screen.selectRow(1);
        QCOMPARE(screen.conversationShown().size(), std::size_t{2});
        const std::string page = screen.webView->page();
        QVERIFY(page.find("<div class='chatright'>to &lt;b&gt;Ben&lt;/b&gt;") != std::string::npos);
        QVERIFY(page.find("<div class='chatleft'>from Ben") != std::string::npos);
        screen.selectRow(2);
        QCOMPARE(screen.conversationShown().size(), std::size_t{3});  // every "Unknown" message
        // A search lists partners without merging by name.
        screen.find(QStringLiteral("e"));
        QCOMPARE(screen.shown().rows.size(), std::size_t{5});
        // Deleted chats only: every deleted message takes part, also one whose time an
        // earlier deleted message has (Ben's); the filter keeps its name.
        screen.toggleBack();
        names.clear();
        for (const auto& row : screen.shown().rows) names.push_back(*screen.ContactName(*row.record));
        QCOMPARE(names, (std::vector<std::string>{"Anna", "Ben", "Unknown"}));
        QVERIFY(screen.shown().deleted(0));
        QCOMPARE(screen.type, std::string("Both"));
        screen.selectRow(1);
        QCOMPARE(screen.conversationShown().size(), std::size_t{1});
        // Ticking one chat ticks the messages of its partner; the records hold the names given.
        screen.toggleChanged();
        screen.model->setData(screen.model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        const auto existing = record.WhatsAppContent.snapshot();
        QCOMPARE(existing[1]->isChecked() + existing[2]->isChecked(), 2);
        QCOMPARE(existing[0]->isChecked(), 0);
        QCOMPARE(existing[3]->ContactName(), OptString("Unknown"));
        QCOMPARE(existing[3]->PhoneNo(), OptString(""));
        QCOMPARE(existing[1]->ContactName(), OptString("Ben"));
    }

    void screensNoTabShows() {
        // Music and keychain: filled when made, sorted by a header, ascending then descending.
        {
            MusicViewController empty(host());
            QVERIFY(empty.shown().rows.empty());
        }
        record.Audios.replace({Make<Music>([](Music& m) { m.setFileName(std::string("b.mp3")); }),
                               Make<Music>([](Music& m) { m.setFileName(std::string("a.mp3")); })});
        record.listData.replace({std::make_shared<ListDataItem>(Make<KeyChain>([](KeyChain& k) { k.setAcct(std::string("x")); }))});
        MusicViewController music(host());
        music.clickHeader("FileName");
        QCOMPARE(*music.shown().rows.front().record->FileName(), std::string("a.mp3"));
        music.clickHeader("FileName");
        QCOMPARE(*music.shown().rows.front().record->FileName(), std::string("b.mp3"));
        KeyChainViewController keychain(host());
        QCOMPARE(keychain.shown().rows.size(), std::size_t{1});

        // The calls view of the WhatsApp messages: one row per partner, find-next over them.
        record.WhatsAppContent.replace({WaMessage(std::string("anna@s"), std::nullopt, "one", "1"),
                                        WaMessage(std::nullopt, std::string("anna@s"), "two", "2", true),
                                        WaMessage(std::string("carl@s"), std::nullopt, "three", "3")});
        record.DeletedWhatsApp.replace({});
        WhatAppRecViewController calls(host());
        QCOMPARE(calls.groupRows().rows.size(), std::size_t{2});
        QCOMPARE(calls.groupRows().rows[0].ContactName, OptString("Anna"));
        QCOMPARE(calls.groupRows().rows[1].ContactName, OptString("Unknown"));
        calls.find(QStringLiteral("anna"));
        QCOMPARE(calls.selectedRow(), std::optional<std::size_t>(0));
        QCOMPARE(calls.messages().rows.size(), std::size_t{2});
        calls.find(QStringLiteral("nobody"));
        QVERIFY(calls.beeped());
    }

    // The group list shows the name its calls carry, which the scan gave every call; the
    // address book's first name is only for calls not named yet.
    void callGroupsShowTheNameOfTheirCalls() {
        record.DeletedCallLog.replace({Call(std::string("+49 170 111"), 0, std::string("Anna Berg"))});
        record.CallLogContent.replace({Call(std::string("+49 170 111"), 75, std::string("Anna Berg")),
                                       Call(std::string("+49 170 222"), 5, std::string("+49 170 222"))});
        CallLogViewController screen(host());
        QCOMPARE(screen.groupRows().rows.size(), std::size_t{1});
        QCOMPARE(screen.groupRows().rows[0].ContactName, OptString("Anna Berg"));
        screen.segmentedControl->setSelectedSegment(1);
        screen.toggleChanged();
        QCOMPARE(screen.groupRows().rows.size(), std::size_t{2});
        QCOMPARE(screen.groupRows().rows[0].ContactName, OptString("Anna Berg"));
        QCOMPARE(screen.groupRows().rows[1].ContactName, OptString("+49 170 222"));
    }

    void callsGroupByAddress() {
        record.DeletedCallLog.replace({Call(std::string("A")), Call(std::string("B")), Call(std::string("A")),
                                       Call(std::string("A")), Call(std::nullopt)});
        record.CallLogContent.replace({Call(std::string("+49 170 111"), 75, std::string("")), Call(std::string(""), 3)});
        CallLogViewController screen(host());
        QCOMPARE(screen.groupRows().rows.size(), std::size_t{2});
        QVERIFY(!screen.selectedRow());
        QCOMPARE(screen.calls().rows.size(), std::size_t{5});
        // The call without an address belongs to no address and keeps its place's number.
        QCOMPARE(Numbers(screen.calls()), (std::vector<std::int32_t>{1, 1, 2, 3, 5}));
        screen.segmentedControl->setSelectedSegment(1);
        screen.toggleChanged();
        // The existing call with an empty address is named and grouped "Unknown"; the other is
        // named from the address book.
        QCOMPARE(screen.groupRows().rows.size(), std::size_t{2});
        QCOMPARE(screen.groupRows().rows[0].ContactName, OptString("Anna"));
        QCOMPARE(screen.groupRows().rows[1].Address, std::string("Unknown"));
        // The full fill is written into the record, which the export reads.
        QCOMPARE(record.CallLogContent.snapshot()[1]->Address(), OptString("Unknown"));
        QCOMPARE(record.CallLogContent.snapshot()[1]->ContactName(), OptString("Unknown"));
        screen.find(QStringLiteral("75"));
        QCOMPARE(screen.groupRows().rows.size(), std::size_t{1});
        QCOMPARE(screen.calls().rows.size(), std::size_t{1});
        screen.find(QString());
        // Tick-all ticks the calls of the selected address only.
        screen.checkAll->click();
        QCOMPARE(record.CallLogContent.snapshot()[0]->isChecked(), 1);
        QCOMPARE(record.CallLogContent.snapshot()[1]->isChecked(), 0);
        screen.segmentedControl->setSelectedSegment(2);
        screen.toggleChanged();
        QVERIFY(screen.groupRows().deleted(0));
        // The header does not sort the call screen.
        const auto before = screen.groupRows().rows.front().Address;
        screen.clickHeader("Address");
        screen.clickHeader("Address");
        QCOMPARE(screen.groupRows().rows.front().Address, before);

        FaceTimeViewController faceTime(host());
        faceTime.find(QStringLiteral("nobody"));
        QVERIFY(faceTime.beeped());
        QVERIFY(!faceTime.selectedRow());
    }

    // The detail panes: a deleted record is marked as such; a contact shows its organisation
    // and no kind of number without the number; an event shows all its fields.
    void detailPanesMarkDeletedRecordsAndShowEveryField() {
        auto carved = Person("Hugo", std::nullopt, std::string(""));
        carved->setOrganization(std::string("Acme Tools"));
        carved->setEmailAddress1(std::string(""));
        record.DeletedContact.replace({carved});
        record.ContactContent.replace({Person("Anna", std::string("Berg"), std::string("0151 7"))});
        ContactViewController contacts(host());
        QCOMPARE(contacts.lblDeleted->text(), QStringLiteral("Deleted"));
        QCOMPARE(contacts.lblOrganization->text(), QStringLiteral("Acme Tools"));
        QCOMPARE(contacts.lblContact1->text(), QString());
        QCOMPARE(contacts.lblEmail1->text(), QString());
        contacts.segmentedControl->setSelectedSegment(1);
        contacts.toggleChanged();
        QCOMPARE(contacts.lblName->text(), QStringLiteral("Anna Berg"));
        QCOMPARE(contacts.lblDeleted->text(), QString());
        QCOMPARE(contacts.lblContact1->text(), QStringLiteral("Home 0151 7"));

        const auto event = [](const char* title) {
            return Make<Calendar>([&](Calendar& e) {
                e.setSummary(std::string(title));
                e.setLocation(std::string("Town hall"));
                e.setStartDate(std::string("2016-08-03 10:00:00"));
                e.setEndDate(std::string("2016-08-03 11:30:00"));
                e.setDescription(std::string("Bring the forms"));
            });
        };
        record.DeletedCalendar.replace({event("Council")});
        record.CalendarContent.replace({event("Dentist")});
        CalendarViewController calendar(host());
        QString page = calendar.webView->toPlainText();
        for (const char* shown : {"Deleted", "Council", "Location: Town hall", "Start: 2016-08-03 10:00:00",
                                  "End: 2016-08-03 11:30:00", "Bring the forms"})
            QVERIFY2(page.contains(QString::fromUtf8(shown)), qPrintable(page));
        calendar.toggleChanged();
        calendar.selectRow(1);
        page = calendar.webView->toPlainText();
        QVERIFY(page.contains(QStringLiteral("Dentist")) && !page.contains(QStringLiteral("Deleted")));

        const auto note = [](const char* text) {
            return Make<Note>([&](Note& n) { n.setSummary(std::string(text)); });
        };
        record.DeletedNotes.replace({note("Gone")});
        record.NotesContent.replace({note("Kept")});
        NoteViewController notes(host());
        QVERIFY(notes.webView->toPlainText().contains(QStringLiteral("Deleted")));
        notes.toggleChanged();
        notes.selectRow(1);
        QVERIFY(!notes.webView->toPlainText().contains(QStringLiteral("Deleted")));
    }

    // The Skype screen lists the named, unblocked contacts of the database it is given, by name;
    // a missing file or a file that is no database lists none and says so.
    void skypeDatabaseListsNamedUnblockedContacts() {
        QTemporaryDir dir;
        const std::string path = (dir.path() + "/main.db").toStdString();
        {
            auto db = testsupport::FixtureDatabase::FromSchema(path, "skype-main.sql");
            db.insert("Contacts", {{"id", std::int64_t{7}}, {"skypename", std::string("zoe.s")}, {"fullname", std::string("Zoe")}});
            db.insert("Contacts", {{"id", std::int64_t{8}}, {"skypename", std::string("adam.s")}, {"fullname", std::string("Adam")}});
            db.insert("Contacts", {{"id", std::int64_t{9}}, {"skypename", std::string("empty.s")}, {"fullname", std::string("")}});
            db.insert("Contacts", {{"id", std::int64_t{10}}, {"skypename", std::string("bad.s")}, {"fullname", std::string("Blocked")},
                                   {"isblocked", std::int64_t{1}}});
            db.close();
        }
        const auto databasePair = record.dbUtils.get();
        SkypeViewController screen(host());
        QVERIFY(!screen.dataSource);  // the user's own database is not there
        QVERIFY(screen.skypeDatabase(path));
        QVERIFY(screen.dataSource);
        QCOMPARE(screen.dataSource->size(), std::size_t{2});
        QCOMPARE((*screen.dataSource)[0]->displayName(), OptString("Adam"));
        QCOMPARE((*screen.dataSource)[0]->skypeName(), OptString("adam.s"));
        QCOMPARE((*screen.dataSource)[0]->skypeID(), 8);
        QCOMPARE((*screen.dataSource)[1]->displayName(), OptString("Zoe"));
        QCOMPARE(screen.skypeNameOutlineView->topLevelItemCount(), 2);
        QCOMPARE(screen.skypeNameOutlineView->topLevelItem(0)->text(0), QStringLiteral("Adam"));
        // The scan's shared database objects stay as they were.
        QCOMPARE(record.dbUtils.get(), databasePair);

        const QString garbage = dir.path() + "/garbage.db";
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        for (const QString& bad : {dir.path() + "/none.db", garbage}) {
            QVERIFY2(!screen.skypeDatabase(bad.toStdString()), qPrintable(bad));
            QVERIFY(!screen.dataSource);
            QCOMPARE(screen.skypeNameOutlineView->topLevelItemCount(), 0);
        }
    }

    // FaceTime's find-next walks the addresses by name, then by the number their calls carry,
    // from the row after the selected one, wrapping round.
    void faceTimeFindNextMatchesNameThenNumber() {
        auto call = [](const char* address, const char* number) {
            auto c = Call(std::string(address));
            c->setPhoneNumber(std::string(number));
            return c;
        };
        record.faceTimeContent.replace({});
        record.DeletedFaceTime.replace({call("+49 170 111", "+49 170 111"), call("ben@example.com", "0151 2345"),
                                        call("carl@example.com", "0171 2345")});
        FaceTimeViewController screen(host());
        QCOMPARE(screen.groupRows().rows[0].ContactName, OptString("Anna"));
        struct Case {
            const char* text;
            std::size_t row;
        };
        // Each search starts after the row the one before it selected.
        for (const Case& c : {Case{"anna", 0}, Case{"2345", 1}, Case{"2345", 2}, Case{"2345", 1}, Case{"0171", 2},
                              Case{"170 111", 0}}) {
            screen.find(QString::fromUtf8(c.text));
            QVERIFY2(!screen.beeped(), c.text);
            QCOMPARE(screen.selectedRow(), std::optional<std::size_t>(c.row));
        }
        screen.find(QStringLiteral("nobody"));
        QVERIFY(screen.beeped());
        QCOMPARE(screen.selectedRow(), std::optional<std::size_t>(0));
    }
};

TORVANE_UI_TEST(ScreensTest)
#include "ScreensTest.moc"

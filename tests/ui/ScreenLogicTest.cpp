// The toolkit-free parts of the data-type screens: number forms, the conversations of the
// messages screen, sort keys, find-next, the web-address test, short titles and the pages.
#include "UiTestSupport.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/SMS.h"
#include "records/Skype.h"
#include "ui/ChatPages.h"
#include "ui/Conversations.h"
#include "ui/RecordScreens.h"
#include "ui/RecordTable.h"
#include "ui/ScreenText.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>
#include <set>

namespace {

std::shared_ptr<SMS> Message(OptString address, OptString text, const char* type = "Received from") {
    auto m = std::make_shared<SMS>();
    m->setAddress(std::move(address));
    m->setMessage(std::move(text));
    m->setType(std::string(type));
    m->setLocalTime(std::string("2016-11-02 09:45:13"));
    return m;
}

std::shared_ptr<Contact> Person(const char* first, OptString no1, OptString no2 = std::nullopt,
                                OptString mail = std::nullopt) {
    auto c = std::make_shared<Contact>();
    c->setFirstName(std::string(first));
    c->setContactNo1(std::move(no1));
    c->setContactNo2(std::move(no2));
    c->setEmailAddress1(std::move(mail));
    return c;
}

// The rows of a working list as "name|contact" texts.
std::vector<std::string> RowTexts(const ConversationIndex& index, const std::vector<char>& working) {
    std::vector<std::string> texts;
    for (const ConversationRow& row : index.rows(working)) texts.push_back(row.name + "|" + row.contact);
    return texts;
}

}  // namespace

class ScreenLogicTest : public QObject {
    Q_OBJECT

private slots:
    void numberForms() {
        const struct {
            const char* text;
            const char* cleaned;
            const char* standardised;
            const char* tick;
        } cases[] = {
            {"+1 555-123-4567", "5551234567", "15551234567", "+15551234567"},
            {"(555) 123-4567", "55)1234567", "(555)1234567", "(555)1234567"},
            {"+49\u00a0151 1234", "49\u00a01511234", "491511234", "+49\u00a01511234"},
            {"12345", "12345", "12345", "12345"},
            {"", "", "", ""},
            {"anna@example.com", "xample.com", "anna@example.com", "anna@example.com"},
        };
        for (const auto& c : cases) {
            QCOMPARE(NumberForms::cleaned(c.text), std::string(c.cleaned));
            QCOMPARE(NumberForms::standardised(c.text), std::string(c.standardised));
            QCOMPARE(NumberForms::tickForm(c.text), std::string(c.tick));
        }
        // The last ten characters are counted in UTF-16 code units.
        QCOMPARE(NumberForms::cleaned("ab\u00e4\u00f6\u00fc1234567"), std::string("\u00e4\u00f6\u00fc1234567"));
    }

    void conversationsOfOneNumberWrittenInSeveralWays() {
        // Eleven digits stored with blanks and without: two rows, each page shows both.
        const ConversationIndex spaced({Message("+44 7911 123456", "a"), Message("+447911123456", "b")}, {}, {});
        const auto all = spaced.workingList(true);
        const auto rows = spaced.rows(all);
        QCOMPARE(rows.size(), std::size_t{2});
        QCOMPARE(spaced.conversation(rows[0], all).size(), std::size_t{2});
        QCOMPARE(spaced.conversation(rows[1], all).size(), std::size_t{2});
        // Plus and eleven digits, and the last ten alone: both named by the hyphenated contact,
        // each page only its own messages.
        const ConversationIndex tenDigits({Message("+44791112345", "a"), Message("4791112345", "b")}, {},
                                          {Person("Nick", std::string("479-111-2345"))});
        const auto named = tenDigits.rows(tenDigits.workingList(true));
        QCOMPARE(RowTexts(tenDigits, tenDigits.workingList(true)),
                 (std::vector<std::string>{"Nick|+44791112345", "Nick|4791112345"}));
        QCOMPARE(tenDigits.conversation(named[0], tenDigits.workingList(true)).size(), std::size_t{1});
        QCOMPARE(tenDigits.conversation(named[1], tenDigits.workingList(true)).size(), std::size_t{1});
    }

    void theContactThatNamesAnAddress() {
        const auto messages = std::vector{Message("5551234567", "hi")};
        // Brackets, a blank and a hyphen: no match; the same digits hyphenated as the second
        // number: a match; of two contacts with the number the first in the list names it.
        const ConversationIndex index(messages, {},
                                      {Person("Bracket", std::string("(555) 123-4567")),
                                       Person("Second", std::string(""), std::string("555-123-4567"),
                                              std::string("second@example.com")),
                                       Person("Later", std::string("5551234567"))});
        const auto rows = index.rows(index.workingList(true));
        QCOMPARE(rows.size(), std::size_t{1});
        QCOMPARE(rows[0].name, std::string("Second"));
        QCOMPARE(rows[0].email, OptString("second@example.com"));
        // None matched: no name, no e-mail at all.
        const ConversationIndex unnamed(messages, {}, {Person("Other", std::string("999"))});
        QCOMPARE(unnamed.rows(unnamed.workingList(true))[0].name, std::string());
        QVERIFY(!unnamed.rows(unnamed.workingList(true))[0].email);
    }

    void emptyAndAbsentAddresses() {
        const ConversationIndex index(
            {Message(std::string(""), "one"), Message(std::string(""), "two"), Message(std::string(""), "three"),
             Message(std::nullopt, "nowhere")},
            {}, {Person("Blank", std::string(""))});
        const auto all = index.workingList(true);
        const auto rows = index.rows(all);
        // One row of the empty address (named by the first contact with an empty number),
        // then one empty row per message without an address.
        QCOMPARE(rows.size(), std::size_t{5});
        QCOMPARE(rows[0].name, std::string("Blank"));
        for (const ConversationRow& row : rows) {
            QCOMPARE(row.contact, std::string());
            QCOMPARE(index.conversation(row, all).size(), std::size_t{3});
        }
    }

    void searchNarrowsTheRowsAndThePages() {
        const ConversationIndex index({Message("111", "Hello there"), Message("111", "bye"), Message("222", "nothing")},
                                      {Message("333", "HELLO again")}, {});
        const auto found = index.search(index.workingList(true), "hello");
        const auto rows = index.rows(found);
        QCOMPARE(rows.size(), std::size_t{2});
        QCOMPARE(index.conversation(rows[0], found).size(), std::size_t{1});
        // Deleted messages alone.
        const auto deleted = index.search(index.workingList(false), "hello");
        QCOMPARE(index.rows(deleted).size(), std::size_t{1});
        QCOMPARE(index.rows(deleted)[0].contact, std::string("333"));
        QVERIFY(index.rows(deleted)[0].deleted);
        // The digits of an address without its hyphens find it through its cleaned form.
        const ConversationIndex hyphens({Message("555-1234", "x")}, {}, {});
        QCOMPARE(hyphens.rows(hyphens.search(hyphens.workingList(true), "5551234")).size(), std::size_t{1});
        QCOMPARE(hyphens.rows(hyphens.search(hyphens.workingList(true), "555-1234")).size(), std::size_t{1});
    }

    // The search finds a conversation by anything its row or its page shows: the contact's
    // name and e-mail address, the address in either form, a message's text.
    void searchMatchesWhatTheRowsShow() {
        const ConversationIndex index({Message("+49 151 1111", "See you"), Message("222-333", "Lunch?")},
                                      {Message("444", "gone")},
                                      {Person("Anna", std::string("+49 151 1111"), std::nullopt,
                                              std::string("Anna.Berg@Example.com"))});
        const struct {
            const char* text;
            std::vector<std::string> rows;
        } cases[] = {
            {"anna", {"Anna|+49 151 1111"}},
            {"berg@example", {"Anna|+49 151 1111"}},
            {"151 1111", {"Anna|+49 151 1111"}},
            {"491511111", {"Anna|+49 151 1111"}},
            {"222333", {"|222-333"}},
            {"lunch", {"|222-333"}},
            {"gone", {"|444"}},
            {"nobody", {}},
        };
        for (const auto& c : cases)
            QVERIFY2(RowTexts(index, index.search(index.workingList(true), c.text)) == c.rows, c.text);
        // Deleted messages alone: a name matches only where its address has deleted messages.
        QVERIFY(index.rows(index.search(index.workingList(false), "anna")).empty());
        QVERIFY(index.matches(0, "anna") && !index.matches(1, "anna"));
    }

    void ticksReachTheMessagesOfTheSegment() {
        const auto existing = std::vector{Message("111", "a"), Message("1-11", "b")};
        const auto deleted = std::vector{Message("111", "c")};
        const ConversationIndex index(existing, deleted, {});
        index.tickAll(2, true);
        QCOMPARE(existing[0]->isChecked(), 0);
        QCOMPARE(deleted[0]->isChecked(), 1);
        index.tickAll(2, false);
        // One row's tick reaches every message of its address in tick form.
        index.tickAddress("111", 0, true);
        QCOMPARE(existing[0]->isChecked() + existing[1]->isChecked() + deleted[0]->isChecked(), 3);
        QVERIFY(index.addressTicked("111", 0));
        index.tickAddress("111", 1, false);
        QCOMPARE(deleted[0]->isChecked(), 1);
        QVERIFY(!index.addressTicked("111", 0));
    }

    void datesSortByTheTimeTheyStandFor() {
        using ScreenText::DateSortKey;
        QVERIFY(DateSortKey(std::string("2016-08-01 01:00 PM")) > DateSortKey(std::string("2016-08-01 11:00 AM")));
        QCOMPARE(DateSortKey(std::string("2016-08-01 12:30 AM")), DateSortKey(std::string("2016-08-01 00:30:00")));
        QCOMPARE(DateSortKey(std::string("08/01/2016 01:00 PM")), DateSortKey(std::string("2016-08-01 13:00:00")));
        QVERIFY(DateSortKey(std::string("2016-12-31 23:59:59")) < DateSortKey(std::string("2017-01-01 00:00:00")));
        QVERIFY(DateSortKey(std::string("2016-02-29 10:00:00")) < DateSortKey(std::string("2016-03-01 09:00:00")));
        for (const OptString& bad : {OptString(" "), OptString(), OptString("2016-13-01 10:00:00"),
                                     OptString("2016-08-01 13:00 PM"), OptString("yesterday")})
            QVERIFY(!DateSortKey(bad));

        RowTable<std::string> table;
        TableColumn<std::string> date;
        date.identifier = "date";
        date.kind = ColumnKind::Date;
        date.text = [](const std::string& s) { return OptString(s); };
        table.columnList = {date};
        table.rows = {"2016-08-01 01:00 PM", " ", "2016-08-01 11:00 AM", "2015-01-01 00:00:00"};
        table.sortBy(0, true);
        QCOMPARE(table.rows, (std::vector<std::string>{" ", "2015-01-01 00:00:00", "2016-08-01 11:00 AM",
                                                       "2016-08-01 01:00 PM"}));
        table.sortBy(0, false);
        QCOMPARE(table.rows.front(), std::string("2016-08-01 01:00 PM"));
        QCOMPARE(table.rows.back(), std::string(" "));
    }

    void headerClicksAndFindNext() {
        std::string identifier;
        QVERIFY(HeaderClickAscending(identifier, "Title"));
        QVERIFY(!HeaderClickAscending(identifier, "Title"));
        QVERIFY(!HeaderClickAscending(identifier, "Title"));
        QVERIFY(HeaderClickAscending(identifier, "Date"));

        // Matches in rows 1 and 5 of 6.
        const auto match = [](std::size_t i) { return i == 1 || i == 5; };
        QCOMPARE(FindNext(6, std::optional<std::size_t>(4), match), std::optional<std::size_t>(5));
        QCOMPARE(FindNext(6, std::optional<std::size_t>(5), match), std::optional<std::size_t>(1));
        QCOMPARE(FindNext(6, std::optional<std::size_t>(), match), std::optional<std::size_t>(1));
        QCOMPARE(FindNext(6, std::optional<std::size_t>(3), [](std::size_t i) { return i == 3; }),
                 std::optional<std::size_t>(3));
        std::set<std::size_t> visited;
        QVERIFY(!FindNext(6, std::optional<std::size_t>(), [&](std::size_t i) {
            visited.insert(i);
            return false;
        }));
        QCOMPARE(visited.size(), std::size_t{6});
    }

    void webAddresses() {
        const std::pair<const char*, bool> cases[] = {
            {"http://www.example.com", true},
            {"https://example.com/path/to_page-1", true},
            {"http://localhost/", true},
            {"https://m\u00fcnchen.example.de", true},
            {"http://example", false},
            {"example.com", false},
            {"word", false},
            {"http://example.com/?q=1", false},
            {"http://example.com:8080/", false},
            {"http://example.com/100%", false},
            {"ftp://example.com", false},
            {"HTTP://EXAMPLE.COM", false},
        };
        for (const auto& [text, valid] : cases)
            QVERIFY2(InternetHistoryViewController::validateUrl(text) == valid, text);
        // A long address that almost matches is decided at once.
        const std::string longAddress = "http://" + std::string(100000, 'a') + "?";
        QVERIFY(!InternetHistoryViewController::validateUrl(longAddress));
    }

    void shortTitles() {
        // 25 characters with a line break after the 13th: the first 20 and "...", the break
        // as a blank.
        QCOMPARE(NoteViewController::ShortTitle(std::string("  Shopping list\nmilk eggs bread  ")),
                 std::string("Shopping list milk e..."));
        QCOMPARE(NoteViewController::ShortTitle(std::string(" exactly twenty\nchars ")),
                 std::string(" exactly twenty chars "));
        QCOMPARE(NoteViewController::ShortTitle(std::nullopt), std::string());
        QCOMPARE(NoteViewController::ShortTitle(std::string("\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc")),
                 std::string("\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6..."));
    }

    void pagesShowRecordTextsAsText() {
        auto bold = Message("111", "<b>bold</b> & <script>x</script>");
        const std::string page = ChatPages::SmsConversation({bold, Message("111", "mine", "Sent to")});
        QVERIFY(page.find("<b>bold</b>") == std::string::npos);
        QVERIFY(page.find("<div class='chatleft'>&lt;b&gt;bold&lt;/b&gt; &amp; &lt;script&gt;") != std::string::npos);
        QVERIFY(page.find("<div class='chatright'>mine<span class='time'> 2016-11-02 09:45:13 <span class='green'></span></span> </div>") !=
                std::string::npos);
        QVERIFY(page.rfind("</div></body>") == page.size() - 13);
        QVERIFY(page.find("</html>") == std::string::npos);

        // The text browser draws the bubbles: grey on the left, green on the right, the text of
        // both set from the bubble's left (right-aligned text would put a line's last letter
        // across the bubble's edge).
        QTextDocument document;
        document.setHtml(QString::fromStdString(page));
        const auto blockWith = [&](const QString& text) {
            for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
                if (b.text().contains(text)) return b;
            return QTextBlock();
        };
        const QTextBlock received = blockWith(QStringLiteral("<b>bold</b>"));
        const QTextBlock sent = blockWith(QStringLiteral("mine"));
        QVERIFY(received.isValid() && sent.isValid());
        QCOMPARE(received.blockFormat().background().color(), QColor(0xee, 0xee, 0xee));
        QCOMPARE(sent.blockFormat().background().color(), QColor(0x59, 0xd9, 0x3b));
        QVERIFY(!(sent.blockFormat().alignment() & Qt::AlignRight));
        QVERIFY(sent.blockFormat().leftMargin() > received.blockFormat().leftMargin());
    }

    // A note's page: its title on a line of its own, then its text below the caption, without
    // the title the text began with; both shown as text.
    void notePageSetsTheTitleApartFromTheText() {
        const struct {
            OptString title, summary;
            const char* titleLine;
            const char* firstTextLine;
        } cases[] = {
            {std::string("Wifi passwords"), std::string("Wifi passwords- Airport Terminal 2\n- check twice"),
             "Title: Wifi passwords", "- Airport Terminal 2"},
            {std::string("Shopping list"), std::string("Shopping list\nMilk"), "Title: Shopping list", "Milk"},
            {std::string("Recipe"), std::string("Flour & <b>eggs</b>"), "Title: Recipe", "Flour & <b>eggs</b>"},
            {std::string("<i>T</i>"), std::string("<i>T</i> Body"), "Title: <i>T</i>", "Body"},
            {std::nullopt, std::string("Only text"), "Title:", "Only text"},
        };
        for (const auto& c : cases) {
            Note note;
            note.setTitle(c.title);
            note.setSummary(c.summary);
            QTextDocument document;
            document.setHtml(QString::fromStdString(ChatPages::NotePage(note)));
            QStringList lines;
            for (const QString& line : document.toPlainText().split(QLatin1Char('\n'))) lines << line.trimmed();
            QVERIFY2(lines.contains(QString::fromUtf8(c.titleLine)), qPrintable(lines.join(QLatin1Char('|'))));
            const auto caption = lines.indexOf(QStringLiteral("Note:"));
            QVERIFY2(caption >= 0 && caption + 1 < lines.size(), qPrintable(lines.join(QLatin1Char('|'))));
            QCOMPARE(lines[caption + 1], QString::fromUtf8(c.firstTextLine));
        }
    }

    void skypePages() {
        const std::string empty = ChatPages::SkypeConversation({}, "me");
        QVERIFY(empty.find("<title>Service Report Format</title>") != std::string::npos);
        QVERIFY(empty.find("<div class='chatbox1'></div></div></div></div></div></body></html>") != std::string::npos);
        const auto say = [](const char* account, const char* name, const char* body) {
            auto s = std::make_shared<Skype>();
            s->setSkypeName(std::string(account));
            s->setDisplayName(std::string(name));
            s->setBody(std::string(body));
            return s;
        };
        const std::string page =
            ChatPages::SkypeConversation({say("a", "Alice", "one"), say("a", "Alice", "two"), say("me", "Me", "<i>")}, "me");
        const auto count = [&](const std::string& piece) {
            std::size_t n = 0;
            for (auto at = page.find(piece); at != std::string::npos; at = page.find(piece, at + 1)) ++n;
            return n;
        };
        QCOMPARE(count("<div class='person2'>"), std::size_t{1});
        QCOMPARE(count("<div class='person1'>"), std::size_t{1});
        QCOMPARE(count("<div class='txt'>"), std::size_t{3});
        QVERIFY(page.find("two</div><div class='time'>Sep 20,2013 02:32 PM</div></div></div></div></div>  <div class='person1'>") !=
                std::string::npos);
        QVERIFY(page.find("&lt;i&gt;") != std::string::npos);
    }
};

TORVANE_UI_TEST(ScreenLogicTest)
#include "ScreenLogicTest.moc"

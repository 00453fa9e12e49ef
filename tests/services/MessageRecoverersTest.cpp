// The message table recoverer on its own: repeated sightings, live copies and date texts.

#include "services/MessageRecoverers.h"

#include "CountingWindow.h"
#include "MessageContactFixtures.h"
#include "common/Clock.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Message.h"
#include "records/SMS.h"
#include "services/MessageServices.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

using testsupport::ContextFor;

using testsupport::AutoVacuum;
using testsupport::BackupBuilder;
using testsupport::TempDir;

// Counts the records the engine offers, repeated sightings included.
class CountingMessageRecovery : public MessagesSQLiteRecovery {
public:
    using MessagesSQLiteRecovery::MessagesSQLiteRecovery;
    int offered = 0;

protected:
    void addRecoveredObject() override {
        ++offered;
        MessagesSQLiteRecovery::addRecoveredObject();
    }
};

// Inserts a message row and, after it, a live message that keeps the row's freed cell apart
// from the next one's once the row is deleted; answers the row's id.
std::int64_t InsertKeptApart(testsupport::FixtureDatabase& db, const testsupport::Row& row) {
    static int filler = 0;
    const std::int64_t id = db.insert("message", row);
    db.insert("message",
              {{"guid", "F1LL3R00-0000-4000-8000-" + std::to_string(100000000000 + ++filler)},
               {"text", "Bleibt stehen"},
               {"handle_id", std::int64_t{1}},
               {"service", "iMessage"},
               {"date", std::int64_t{470000000}}});
    return id;
}

// Deletes the rows, closes the file and carves it into the record with a message recoverer.
void DeleteAndCarve(testsupport::FixtureDatabase& db, const std::vector<std::int64_t>& ids,
                    const BackupBuilder& backup, BrimleyAppDelegate& record) {
    for (auto id : ids) db.deleteRow("message", id);
    db.close();
    msgtest::PrepareRecord(record, backup.folder());
    MessagesSQLiteRecovery recoverer(ContextFor(record));
    recoverer.DoRecoveryPath(backup.pathFor("HomeDomain", "Library/SMS/sms.db").string());
}

}  // namespace

// Whole pages freed in a file with incremental auto-vacuum are searched twice (after the last
// root page, and from the first freelist trunk page). A message whose GUID cannot be read is
// still listed once.
TEST(MessageRecovery, AMessageFoundTwiceIsListedOnceEvenWithoutItsGuid) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql",
                                 {4096, AutoVacuum::Incremental});
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 60; ++i) {
        // A GUID stored as bytes that are no UTF-8 text: the carved row has no GUID.
        Bytes guid(36, 0xFF);
        guid[0] = static_cast<std::uint8_t>(i);
        std::string text = "Nachricht " + std::to_string(i) + " ";
        while (text.size() < 280) text += "über die Brücke ";
        ids.push_back(db.insert("message", {{"guid", guid},
                                            {"text", text},
                                            {"handle_id", std::int64_t{1}},
                                            {"service", "SMS"},
                                            {"date", std::int64_t{470000000 + i}}}));
    }
    for (std::size_t i = 10; i < 40; ++i) db.deleteRow("message", ids[i]);
    db.close();

    BrimleyAppDelegate record;
    auto window = std::make_shared<CountingWindow>();
    record.setWindow(window);
    msgtest::PrepareRecord(record, dir.path());
    CountingMessageRecovery recoverer(testsupport::ContextFor(record));
    recoverer.DoRecoveryPath(backup.pathFor("HomeDomain", "Library/SMS/sms.db").string());

    std::multiset<std::string> texts;
    for (const auto& sms : record.DeletedSMS.snapshot()) {
        EXPECT_FALSE(sms->GUID().has_value());
        texts.insert(sms->Message().value_or(""));
    }
    std::set<std::string> distinct(texts.begin(), texts.end());
    EXPECT_EQ(texts.size(), distinct.size()) << "a message was listed more than once";
    EXPECT_GE(distinct.size(), 20u);
    // The scenario means something: the engine offered the same rows more than once.
    EXPECT_GT(recoverer.offered, static_cast<int>(texts.size()));
    EXPECT_EQ(window->foundRecoveredData.load(), static_cast<int>(texts.size()));
}

// In an auto-vacuum file the pages after the last root page are searched whole, and free space
// holds older copies of live rows: a carved message with a live GUID is kept for the message
// service, but neither counted nor listed. RecoveredData is the scan's list of deleted messages as
// the run found it.
TEST(MessageRecovery, CopiesOfLiveMessagesAreKeptButNotListed) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    const auto sms = msgtest::BuildSmsBackup(backup, "sms-ios9.sql", {1024, AutoVacuum::Full}, 80);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    auto earlier = std::make_shared<SMS>();
    earlier->setGUID("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    record.DeletedSMS.append(earlier);
    MessagesSQLiteRecovery recoverer(ContextFor(record));
    recoverer.DoRecoveryPath(sms.path.string());

    std::set<std::string> live;
    for (const auto& message : sms.messages)
        if (!message.deleted) live.insert(message.guid);
    int liveKept = 0;
    for (const auto& carved : recoverer.RecoveredFiltered())
        liveKept += live.count(static_cast<const Message&>(*carved).Guid().value_or("")) > 0;
    EXPECT_GT(liveKept, 0);
    for (const auto& listed : record.DeletedSMS.snapshot())
        EXPECT_EQ(live.count(listed->GUID().value_or("")), 0u);
    EXPECT_GT(record.DeletedSMS.size(), 1u);
    EXPECT_EQ(record.DeletedSMSCount.load(), static_cast<int>(record.DeletedSMS.size()) - 1);
    EXPECT_EQ(recoverer.RecoveredData(), std::vector<std::shared_ptr<SMS>>{earlier});
}

// A carved row is listed when it tells a message by its GUID, text or date; a row with none
// of them (a GUID that cannot be read, no text, a date not yet passed) is not, nor is an older copy of a live
// message, which the phone leaves in free space when it rewrites the row.
TEST(MessageRecovery, RowsThatSayNothingAndCopiesOfLiveMessagesAreNotListed) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql",
                                 {4096, AutoVacuum::None});
    const auto unreadable = [](std::uint8_t i) {
        Bytes guid(36, 0xFF);
        guid[0] = i;
        return ColumnValue(guid);
    };
    // 2031: a date that reads as no moment yet passed, and is not shown.
    const ColumnValue future(std::int64_t{950000000});
    const struct {
        const char* label;
        ColumnValue guid, text, date;
        bool listed;
    } rows[] = {
        {"nothing", unreadable(1), ColumnValue::Null(), future, false},
        {"text only", unreadable(2), ColumnValue("Bis gleich"), future, true},
        {"date only", unreadable(3), ColumnValue::Null(), ColumnValue(470000300), true},
        {"GUID only", ColumnValue("6C4A2E7B-1F0D-4E0B-9A51-3D2C1B0A9F8E"), ColumnValue::Null(),
         future, true},
    };
    std::vector<std::int64_t> ids;
    for (const auto& row : rows)
        ids.push_back(InsertKeptApart(db, {{"guid", row.guid},
                                           {"text", row.text},
                                           {"handle_id", std::int64_t{1}},
                                           {"service", "iMessage"},
                                           {"date", row.date}}));
    // A live message first written without text or date, then rewritten with them.
    const std::string live = "0D9E8F7A-6B5C-4D3E-8F2A-1B0C9D8E7F6A";
    db.insert("message", {{"guid", live},
                          {"handle_id", std::int64_t{1}},
                          {"service", "iMessage"},
                          {"date", std::int64_t{0}}});
    db.exec("UPDATE message SET text = 'Ich bin gleich da, warte am Eingang auf dich', "
            "date = 470000600, date_read = 470000660 WHERE guid = '" + live + "'");
    BrimleyAppDelegate record;
    DeleteAndCarve(db, ids, backup, record);

    std::set<std::string> listed;
    for (const auto& sms : record.DeletedSMS.snapshot()) {
        EXPECT_NE(sms->GUID(), live);
        listed.insert(sms->GUID().value_or("") + "|" + sms->Message().value_or("") + "|" +
                      sms->LocalTime().value_or(""));
    }
    std::size_t expected = 0;
    for (const auto& row : rows) expected += row.listed;
    EXPECT_EQ(listed.size(), expected);
    EXPECT_EQ(listed.count("|| "), 0u) << "a row that says nothing was listed";
}

// A copy of a live row in free space whose GUID bytes were damaged is still a copy: it has the
// text, date and handle of a live row, or a live row's GUID but for one character that no GUID
// holds; and so is a sound copy of a live row whose own GUID lost a character. A message that
// differs in its date or its handle, or whose GUID is sound, is another message and is listed.
TEST(MessageRecovery, CopiesOfLiveRowsWithDamagedGuidsAreNotListed) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql",
                                 {4096, AutoVacuum::None});
    const std::string station = "2B7C5E11-8A3D-4F60-9C12-7E4B3A2D1C0F";
    const std::string evening = "A41E9D23-5B7C-4E8F-8D61-0C3B2A1F9E8D";
    const auto with = [](std::string guid, std::size_t at, char c) {
        guid[at] = c;
        return guid;
    };
    // A live row whose own GUID lost a character.
    const std::string sound = "3E5A7C9B-1D2F-4A6C-8E0B-7F9D1B3A5C2E";
    const std::string damaged = with(sound, 20, 'Z');
    const struct {
        const char* label;
        std::string guid;
        const char* text;
        std::int64_t date;
        std::int64_t handle;
        bool listed;
    } rows[] = {
        {"text, date and handle of a live row", "5F0A8C2E-3D1B-4A7C-9E6F-2B8D4C0A1E3F",
         "Wir sehen uns am Bahnhof", 470000000, 1, false},
        {"a live row's text at another date", "7D3B1F9A-2C4E-4B6D-8A0C-5E7F9B1D3A2C",
         "Wir sehen uns am Bahnhof", 470086400, 1, true},
        {"a live row's text and date from another handle", "9E1C3A5B-7D2F-4C8A-B0E4-6F1A3C5E7B9D",
         "Wir sehen uns am Bahnhof", 470000000, 2, true},
        {"a live GUID with a character no GUID holds", with(evening, 5, 'Z'), "Nur noch Reste",
         470000500, 2, false},
        {"a live GUID with a dash put elsewhere", with(evening, 13, '7'), "Nur noch Reste",
         470000600, 2, false},
        {"a live GUID with another digit", with(evening, 5, '0'), "Eine andere Nachricht",
         470000700, 2, true},
        {"a sound copy of a live GUID that lost a character", sound, "Die alte Fassung", 470000900,
         1, false},
        {"a character no GUID holds, near no live GUID",
         with("C2D4E6F8-1A3B-4C5D-8E7F-9A0B1C2D3E4F", 5, 'Z'), "Noch eine", 470000800, 1, true},
    };
    std::vector<std::int64_t> ids;
    for (const auto& row : rows)
        ids.push_back(InsertKeptApart(db, {{"guid", row.guid},
                                           {"text", row.text},
                                           {"handle_id", row.handle},
                                           {"service", "iMessage"},
                                           {"date", row.date}}));
    db.insert("message", {{"guid", station},
                          {"text", "Wir sehen uns am Bahnhof"},
                          {"handle_id", std::int64_t{1}},
                          {"service", "iMessage"},
                          {"date", std::int64_t{470000000}}});
    db.insert("message", {{"guid", evening},
                          {"text", "Kommst du heute Abend?"},
                          {"handle_id", std::int64_t{2}},
                          {"service", "iMessage"},
                          {"date", std::int64_t{470000400}}});
    db.insert("message", {{"guid", damaged},
                          {"text", "Die neue Fassung"},
                          {"handle_id", std::int64_t{1}},
                          {"service", "iMessage"},
                          {"date", std::int64_t{470001000}}});
    BrimleyAppDelegate record;
    DeleteAndCarve(db, ids, backup, record);

    std::set<std::string> listed;
    for (const auto& sms : record.DeletedSMS.snapshot()) listed.insert(sms->GUID().value_or(""));
    for (const auto& row : rows)
        EXPECT_EQ(listed.count(row.guid), row.listed ? 1u : 0u) << row.label;
}

// A schema statement whose column name was damaged ("guid" no longer spelled so) still holds the
// table's rows: the GUIDs are read where the table's layout has them, so an older copy of a
// live message (its text since rewritten) is not listed.
TEST(MessageRecovery, ACopyOfALiveMessageIsKnownWhereTheSchemaMisnamesTheGuid) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql",
                                 {4096, AutoVacuum::None});
    const std::string live = "5A1C3E7F-9B2D-4F6A-8C0E-1D3B5F7A9C2E";
    const std::string deleted = "8F2B4D6A-0C1E-4A3B-9D5F-7E9A1C3B5D4F";
    // The live message first, so that its rewritten cell is placed elsewhere.
    db.insert("message", {{"guid", live},
                          {"text", "Erster Entwurf"},
                          {"handle_id", std::int64_t{1}},
                          {"service", "iMessage"},
                          {"date", std::int64_t{470000100}}});
    const std::vector<std::int64_t> ids = {
        InsertKeptApart(db, {{"guid", deleted},
                             {"text", "Schon vergessen"},
                             {"handle_id", std::int64_t{1}},
                             {"service", "iMessage"},
                             {"date", std::int64_t{470000000}}})};
    db.exec(
        "UPDATE message SET text = 'Die endgültige Fassung, deutlich länger als der erste "
        "Entwurf', date = 470000200 WHERE guid = '" +
        live + "'");
    BrimleyAppDelegate unspoiled;
    DeleteAndCarve(db, ids, backup, unspoiled);
    const auto listedIn = [](const BrimleyAppDelegate& carved) {
        std::set<std::string> listed;
        for (const auto& sms : carved.DeletedSMS.snapshot())
            listed.insert(sms->GUID().value_or(""));
        return listed;
    };
    // The older copy is there to find, and is known for live in the sound file.
    ASSERT_EQ(listedIn(unspoiled), (std::set<std::string>{deleted}));
    const std::filesystem::path path = backup.pathFor("HomeDomain", "Library/SMS/sms.db");
    {
        // Every copy of the statement in the file (a page may keep an older one too).
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        int spoiled = 0;
        for (std::size_t table = bytes.find("CREATE TABLE message ("); table != std::string::npos;
             table = bytes.find("CREATE TABLE message (", table + 1)) {
            file.seekp(static_cast<std::streamoff>(bytes.find("guid", table) + 1));
            file.put('x');
            ++spoiled;
        }
        ASSERT_GT(spoiled, 0);
        ASSERT_TRUE(file.good());
    }
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    MessagesSQLiteRecovery recoverer(ContextFor(record));
    recoverer.DoRecoveryPath(path.string());
    EXPECT_EQ(listedIn(record), (std::set<std::string>{deleted}));
}

TEST(MessageRecovery, CarvedDateTexts) {
    const Clock::ScopedTimeZone berlin("Europe/Berlin");
    const Clock::ScopedNow now(DateFromUnixSeconds(1500000000).value());  // 2017-07-14
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, "2001-01-01 01:00:00"},
        {470000000, "2015-11-23 20:33:20"},
        {470000000e9, "2015-11-23 20:33:20"},  // nanoseconds, as iOS 11 writes them
        {600000000, " "},                      // after "now"
        {-5, " "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessagesSQLiteRecovery::CarvedDateText(c.value), c.text) << c.value;
}

namespace {

// A message row of the iOS 7 table: SMS by default, with the service columns left empty when
// `bare` (as a row whose service columns were never filled).
testsupport::Row Iso7Message(const std::string& guid, const ColumnValue& text,
                             std::int64_t handle, std::int64_t date,
                             const ColumnValue& body = ColumnValue::Null(), bool bare = false) {
    testsupport::Row row{{"guid", guid},         {"text", text},
                         {"handle_id", handle},  {"attributedBody", body},
                         {"date", date},         {"date_read", date + 60},
                         {"date_delivered", std::int64_t{0}}};
    if (!bare) {
        row.emplace_back("service", "SMS");
        row.emplace_back("account", "p:+261340000000");
        row.emplace_back("account_guid", "9A759780-D257-4EE0-9605-17BC4EA58DDF");
    }
    return row;
}

}  // namespace

// In an auto-vacuum file the leaf pages after the last root page are searched whole. A stale
// header of an older, larger row keeps the lengths of its old values, though the cells written
// since took over its bytes: a deleted message among them, whole in the page's gap (its first
// four bytes overwritten) or in a freeblock, is still carved, with its text, date and address.
TEST(MessageRecovery, AMessageInsideAStaleRowsOldBytesIsCarved) {
    const struct {
        const char* label;
        bool inFreeblock;  // a live cell written after it keeps it out of the gap
        const char* text;
    } cases[] = {
        {"in the gap", false,
         "Nouveau! En plus de ton offre profite de 40 Mo d'internet avec le bundle"},
        {"in a freeblock", true, "Sah09"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        BackupBuilder backup(dir.path());
        auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios6.sql",
                                     {4096, AutoVacuum::Incremental});
        db.insert("handle", {{"id", "+261341434121"}, {"service", "SMS"}});
        db.insert("handle", {{"id", "+261340433511"}, {"service", "SMS"}});
        int serial = 0;
        const auto guid = [&serial] {
            char text[37];
            std::snprintf(text, sizeof text, "5F3A%04X-92F0-4E36-952B-6BC52F68B543", ++serial);
            return std::string(text);
        };
        std::int64_t date = 448000000;
        // Enough rows for the table's root page to hold only links; then rows until one of them
        // starts a leaf page of its own, the last page of the file.
        for (int i = 0; i < 8; ++i)
            db.insert("message", Iso7Message(guid(), std::string(900, 'x'), 1, ++date));
        for (;;) {
            const auto pages = db.queryValue("PRAGMA page_count").asInteger();
            db.insert("message", Iso7Message(guid(), "Veloma e", 1, ++date));
            if (db.queryValue("PRAGMA page_count").asInteger() > pages) break;
        }
        // An older message with a long body, deleted: its cell goes back to the gap.
        const std::int64_t old = db.insert(
            "message", Iso7Message(guid(), "Salut", 1, ++date, ColumnValue(Bytes(2400, 0)), true));
        db.deleteRow("message", old);
        // Newer cells take its bytes from the end: a live one, the message to be deleted, and
        // (for the freeblock) a live one behind it.
        db.insert("message", Iso7Message(guid(), "Tonga aho", 2, ++date));
        const std::string deletedGuid = guid();
        const std::int64_t deletedDate = ++date;
        const std::int64_t deleted =
            db.insert("message", Iso7Message(deletedGuid, c.text, 2, deletedDate));
        if (c.inFreeblock) db.insert("message", Iso7Message(guid(), "Misaotra", 1, ++date));
        db.deleteRow("message", deleted);
        db.close();

        BrimleyAppDelegate record;
        msgtest::PrepareRecord(record, dir.path());
        MessagesSQLiteRecovery recoverer(ContextFor(record));
        recoverer.DoRecoveryPath(backup.pathFor("HomeDomain", "Library/SMS/sms.db").string());

        const auto listed = record.DeletedSMS.findFirst(
            [&](const SMS& sms) { return sms.GUID() == deletedGuid; });
        if (!listed) {
            ADD_FAILURE() << "the deleted message is not listed";
            continue;
        }
        EXPECT_EQ(listed->Message(), c.text);
        EXPECT_EQ(listed->LocalTime(), MessagesSQLiteRecovery::CarvedDateText(
                                           static_cast<double>(deletedDate)));
        EXPECT_EQ(listed->Address(), "+261340433511");
    }
}

// A live message rewritten longer leaves its old cell as a freeblock; a newer, shorter cell
// then takes that freeblock's end, and what stays of the old row is its header and the start of
// its GUID. Cut there, the row holds no whole GUID, no text and no date: it is not listed.
TEST(MessageRecovery, AStaleRowCutInsideItsGuidIsNotListed) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios6.sql",
                                 {4096, AutoVacuum::None});
    db.insert("handle", {{"id", "+261341234567"}, {"service", "SMS"}});
    db.insert("handle", {{"id", "4891"}, {"service", "SMS"}});
    db.insert("message", Iso7Message("11111111-2222-3333-4444-555555555555",
                                     std::string(150, 'A'), 2, 448370517));
    db.insert("message", Iso7Message("F1F1F1F1-0000-4000-8000-000000000001",
                                     "Filler row that stays", 1, 448370600));
    db.exec("UPDATE message SET text = '" + std::string(220, 'B') + "' WHERE ROWID = 1");
    // 55 bytes shorter than the first row's old cell: 4 for the freeblock's head, the row's
    // header and 10 bytes of its GUID stay free.
    db.insert("message", Iso7Message("66666666-7777-8888-9999-AAAAAAAAAAAA",
                                     std::string(95, 'C'), 1, 448370700));
    db.close();
    const auto bytes = testsupport::FileBytes(backup.pathFor("HomeDomain", "Library/SMS/sms.db"));
    const std::string cut = "11111111-2";
    ASSERT_NE(std::search(bytes.begin(), bytes.end(), cut.begin(), cut.end()), bytes.end());

    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    MessagesSQLiteRecovery recoverer(ContextFor(record));
    recoverer.DoRecoveryPath(backup.pathFor("HomeDomain", "Library/SMS/sms.db").string());
    for (const auto& sms : record.DeletedSMS.snapshot())
        ADD_FAILURE() << "listed: GUID \"" << sms->GUID().value_or("") << "\", text \""
                      << sms->Message().value_or("") << "\", date \""
                      << sms->LocalTime().value_or("") << "\"";
}

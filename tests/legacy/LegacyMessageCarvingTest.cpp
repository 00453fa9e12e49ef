// The message routines of the older carving path, on messages databases built from the iOS
// schemas with rows inserted and deleted (the deleted cells keep their bytes).

#include "common/Clock.h"
#include "common/DateUtils.h"
#include "legacy/LegacyMessageCarving.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/SMS.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::Row;
using testsupport::TempDir;

constexpr const char* kDatabaseName = "sms.db";

// A message GUID of 36 characters, numbered.
std::string Guid(int n) {
    std::string tail = std::to_string(n);
    return "5B1C6E2A-4D3F-4A8B-9C0D-" + std::string(12 - tail.size(), '0') + tail;
}

// A run over a backup folder whose messages database the test builds.
struct MessageRun {
    TempDir dir;
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::stop_source stop;

    explicit MessageRun(int iosMajor) { device.setIOSMajorVersion(iosMajor); }

    FixtureDatabase database(const char* schema) {
        return FixtureDatabase::FromSchema(dir / kDatabaseName, schema);
    }
    std::unique_ptr<LegacyRecovery> legacy() {
        ScanContext context = testsupport::ContextFor(record, device, stop.get_token());
        context.backupFolder = dir.path().string();
        context.databaseNames[static_cast<std::size_t>(DatabaseRole::Messages)] = kDatabaseName;
        return std::make_unique<LegacyRecovery>(context);
    }
    std::vector<std::string> deletedTexts() const {
        std::vector<std::string> texts;
        for (const auto& sms : record.DeletedSMS.snapshot()) texts.push_back(sms->Message().value_or("<none>"));
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    Bytes fileBytes() const {
        std::ifstream in(dir / kDatabaseName, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
};

// An iOS 6 message row: the attributed body makes its serial type two bytes long, as the
// message application writes it.
Row IOS6Message(int n, const std::string& text, std::int64_t handle, const std::string& service,
                std::int64_t isFromMe = 0, std::int64_t date = 400000000) {
    return {{"guid", Guid(n)},
            {"text", text},
            {"handle_id", handle},
            {"service", service},
            {"attributedBody", Bytes(80, 0x42)},
            {"date", date},
            {"date_read", 0},
            {"date_delivered", 0},
            {"is_delivered", 0},
            {"is_from_me", isFromMe},
            {"error", 0}};
}

// A row of the older message table, as the windows of the iOS 5 routine expect it: no address
// or date, a one-byte group id and the country.
Row OlderMessage(const std::string& text, std::int64_t flags = 2) {
    return {{"address", ColumnValue::Null()}, {"date", 0},       {"text", text},         {"flags", flags},
            {"replace", 0},                   {"group_id", 2},   {"association_id", 0}, {"height", 0},
            {"UIFlags", 0},                   {"version", 0},    {"country", "us"},      {"read", 1}};
}

}  // namespace

TEST(LegacyIOS6Messages, CarvesDeletedMessagesWithTheirOwnAddressTypeAndTime) {
    Clock::ScopedTimeZone zone("UTC");
    MessageRun run(6);
    {
        auto db = run.database("sms-ios6.sql");
        const auto handle = db.insert("handle", {{"id", "+4915112345678"}, {"service", "SMS"}});
        db.insert("message", IOS6Message(1, "Still there at the station", handle, "SMS", 1));
        db.insert("message", IOS6Message(2, "Call me when you land", handle, "SMS", 0));
        db.insert("message", IOS6Message(3, "This one stays on the phone", handle, "SMS", 0));
        db.insert("message", IOS6Message(4, "No handle for this one", 0, "SMS", 0));
        db.exec("DELETE FROM message WHERE ROWID IN (1, 2, 4)");
        db.close();
    }
    run.record.SMSContent.append(std::make_shared<SMS>());
    auto legacy = run.legacy();
    LegacyMessageCarving carving(*legacy);
    EXPECT_TRUE(carving.RecoverIOS6DeletedSMS());

    EXPECT_EQ(run.deletedTexts(), (std::vector<std::string>{"Call me when you land", "No handle for this one",
                                                            "Still there at the station"}));
    EXPECT_EQ(run.record.DeletedSMSCount.load(), 3);
    std::vector<std::int32_t> numbers;
    for (const auto& sms : run.record.DeletedSMS.snapshot()) {
        numbers.push_back(sms->SlNo());
        // 400000000 seconds after 2001-01-01 UTC, in the date text of the listed messages.
        EXPECT_EQ(sms->LocalTime(), "2013-09-04 15:06:40");
        if (*sms->Message() == "No handle for this one") {
            EXPECT_FALSE(sms->Address());
            EXPECT_EQ(sms->Type(), "Received from");
        } else {
            EXPECT_EQ(sms->Address(), "+4915112345678");
            EXPECT_EQ(sms->Type(), *sms->Message() == "Call me when you land" ? "Received from" : "Sent to");
        }
    }
    // Numbered on from the existing messages, in the order found.
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{2, 3, 4}));
}

TEST(LegacyIOS6Messages, LongTextsAndLiveRowsAboveTheFirstByte) {
    MessageRun run(7);
    const std::string longText(90, 'L');
    {
        auto db = run.database("sms-ios6.sql");
        db.insert("message", IOS6Message(1, "Deleted " + longText, 0, "iMessage"));
        db.insert("message", IOS6Message(2, "A live one with a row id of one byte", 0, "iMessage"));
        Row live = IOS6Message(3, "A live message with a high row id", 0, "iMessage");
        live.emplace_back("ROWID", 300);
        db.insert("message", live);
        db.exec("DELETE FROM message WHERE ROWID = 1");
        db.close();
    }
    auto legacy = run.legacy();
    LegacyMessageCarving(*legacy).RecoverIOS6DeletedSMS();
    EXPECT_EQ(run.deletedTexts(), std::vector<std::string>{"Deleted " + longText});
}

// What a phone's messages database holds besides clean deleted rows: the freed copy of a live
// row that grew and moved, a deleted row freed twice (before and after it grew), and a deleted
// row whose tail a later row took over before that one was deleted too. Only deleted messages
// are listed, each once, with the date of its own date column.
TEST(LegacyIOS6Messages, ListsNoLiveRowNoRowTwiceAndNoDateOfOtherBytes) {
    Clock::ScopedTimeZone zone("UTC");
    const std::map<std::string, std::int64_t> dates = {
        {"Grown live message", 420000000},      {"Grown then deleted", 421000000},
        {"Overwritten at its tail", 422000000}, {"Written over the other one", 423000000},
        {"Keeps the top of the page", 425000000},
    };
    // One row: its GUID number, its text and the size of its attributed body.
    struct Step {
        enum { Add, Grow, Remove } what;
        int n;
        const char* text = "";
        std::size_t body = 0;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::set<std::string> listed;  // the texts' first 18 characters
    } cases[] = {
        {"grown rows",
         {{Step::Add, 1, "Grown live message", 80},
          {Step::Add, 2, "Grown then deleted", 80},
          {Step::Grow, 1},  // its first copy is freed
          {Step::Grow, 2},
          {Step::Add, 3, "Keeps the top of the page", 10},
          {Step::Remove, 2}},
         {"Grown then deleted"}},
        {"a tail taken over",
         {{Step::Add, 1, "Overwritten at its tail", 1200},
          {Step::Add, 2, "Keeps the top of the page", 10},
          {Step::Remove, 1},
          {Step::Add, 3, "Written over the other one", 600},  // at the end of the freed row 1
          {Step::Remove, 3}},
         {"Written over the o"}},
    };
    for (const auto& c : cases) {
        MessageRun run(7);
        {
            auto db = run.database("sms-ios6.sql");
            for (const Step& step : c.steps) {
                const std::string guid = "'" + Guid(step.n) + "'";
                if (step.what == Step::Add) {
                    Row row = IOS6Message(step.n, step.text, 0, "SMS", 0, dates.at(step.text));
                    row[4].second = ColumnValue(Bytes(step.body, 0x42));
                    db.insert("message", row);
                } else if (step.what == Step::Grow) {
                    db.exec("UPDATE message SET text = text || ', now longer', attributedBody = zeroblob(400) "
                            "WHERE guid = " + guid);
                } else {
                    db.exec("DELETE FROM message WHERE guid = " + guid);
                }
            }
            db.close();
        }
        auto legacy = run.legacy();
        LegacyMessageCarving(*legacy).RecoverIOS6DeletedSMS();
        std::set<std::string> listed;
        for (const auto& sms : run.record.DeletedSMS.snapshot()) {
            const std::string text = sms->Message().value_or("");
            const std::string row = text.substr(0, 18);
            EXPECT_TRUE(listed.insert(row).second) << c.name << ": twice: " << text;
            const auto date = std::find_if(dates.begin(), dates.end(),
                                           [&](const auto& d) { return d.first.rfind(row, 0) == 0; });
            ASSERT_NE(date, dates.end()) << c.name << ": " << text;
            EXPECT_EQ(sms->LocalTime(), DateUtils::DateTimeToString(DateFromUnixSeconds(static_cast<double>(
                                            date->second + DateUtils::kAppleEpochOffsetSeconds))))
                << c.name << ": " << text;
        }
        EXPECT_EQ(listed, c.listed) << c.name;
    }
}

TEST(LegacyIOS6Messages, AFileWithoutWindowsLeavesAnEmptyList) {
    MessageRun run(6);
    run.database("sms-ios6.sql").close();
    run.record.DeletedSMS.append(std::make_shared<SMS>());
    auto legacy = run.legacy();
    EXPECT_FALSE(LegacyMessageCarving(*legacy).RecoverIOS6DeletedSMS());
    EXPECT_EQ(run.record.DeletedSMS.size(), 0u);

    MessageRun missing(6);
    missing.record.DeletedSMS.append(std::make_shared<SMS>());
    auto none = missing.legacy();
    EXPECT_FALSE(LegacyMessageCarving(*none).RecoverIOS6DeletedSMS());
    EXPECT_EQ(missing.record.DeletedSMS.size(), 0u);
}

TEST(LegacyIOS6Messages, AStoppedScanListsNothing) {
    MessageRun run(6);
    {
        auto db = run.database("sms-ios6.sql");
        db.insert("message", IOS6Message(1, "Never listed", 0, "SMS"));
        db.exec("DELETE FROM message");
        db.close();
    }
    run.stop.request_stop();
    auto legacy = run.legacy();
    LegacyMessageCarving(*legacy).RecoverIOS6DeletedSMS();
    EXPECT_EQ(run.record.DeletedSMS.size(), 0u);
}

TEST(LegacyOlderMessages, TextsAreCutByTheirOwnHeaderOnEveryOlderVersion) {
    const struct {
        int major;
        std::int64_t flags;  // one byte, or two as the number 512
    } cases[] = {{4, 2}, {3, 2}, {3, 512}, {4, 512}};
    for (const auto& c : cases) {
        MessageRun run(c.major);
        {
            auto db = run.database("sms-ios4.sql");
            db.insert("message", OlderMessage("Meet me at noon", c.flags));
            db.exec("DELETE FROM message");
            db.close();
        }
        auto legacy = run.legacy();
        EXPECT_TRUE(LegacyMessageCarving(*legacy).RecoverNewDeletedSMS());
        EXPECT_EQ(run.deletedTexts(), std::vector<std::string>{"Meet me at noon"})
            << "iOS " << c.major << " flags " << c.flags;
        EXPECT_EQ(run.record.DeletedSMSCount.load(), 1);
    }
}

TEST(LegacyOlderMessages, ShortTextsAndLiveRowsAreLeftOut) {
    MessageRun run(4);
    {
        auto db = run.database("sms-ios4.sql");
        Row live = OlderMessage("See you at eight");
        live[0].second = ColumnValue("+4915112345678");
        db.insert("message", live);
        for (const char* text : {"Hey", "Okay", "Bring the blue folder", "See you at eight +4915112345678"})
            db.insert("message", OlderMessage(text));
        db.exec("DELETE FROM message WHERE address IS NULL");
        db.close();
    }
    run.record.DeletedSMS.append(std::make_shared<SMS>());
    auto legacy = run.legacy();
    LegacyMessageCarving(*legacy).RecoverNewDeletedSMS();
    // Three characters are too few; the live row's own cell is no deleted message, nor is a
    // text that holds a stored message with its address and little more.
    EXPECT_EQ(run.deletedTexts(), (std::vector<std::string>{"Bring the blue folder", "Okay"}));
}

TEST(LegacyOlderMessages, IOS5TextsEndWhereTheirLengthSays) {
    MessageRun run(5);
    {
        auto db = run.database("sms-ios5.sql");
        db.insert("message", OlderMessage("Meet me at noon"));
        db.insert("message", OlderMessage("Bring the blue folder"));
        db.exec("DELETE FROM message");
        db.close();
    }
    auto legacy = run.legacy();
    EXPECT_TRUE(LegacyMessageCarving(*legacy).RecoverNewDeletedSMS());
    EXPECT_EQ(run.deletedTexts(), (std::vector<std::string>{"Bring the blue folder", "Meet me at noon"}));
}

// A row SQLite writes anew (it grew) leaves its old cell in free space: a copy of a live row is
// not deleted, and a deleted row freed twice over is listed once.
TEST(LegacyOlderMessages, FreedCopiesOfARowAreNoDeletedMessageAndAreListedOnce) {
    for (const auto& [major, schema] : {std::pair{4, "sms-ios4.sql"}, std::pair{5, "sms-ios5.sql"}}) {
        MessageRun run(major);
        {
            auto db = run.database(schema);
            // Row ids and texts of a phone's size: the free-block header that a freed cell's first
            // four bytes take covers its lengths and row id, not its record header.
            const auto message = [](std::int64_t id, const std::string& text, std::int64_t date) {
                Row row = OlderMessage(text + ", see you at the usual place after work, and bring the charger");
                row[0].second = ColumnValue("+4915112345678");
                row[1].second = ColumnValue(date);
                row.emplace_back("ROWID", id);
                return row;
            };
            db.insert("message", message(1139, "Ok I'm out now", 1300000000));
            db.insert("message", message(1142, "Still on the phone", 1300000300));  // keeps the freed cells apart
            db.insert("message", message(1140, "Running ten minutes late", 1300000100));
            db.insert("message", message(1141, "Table for four at eight", 1300000200));
            for (const char* id : {"1140", "1139"})
                db.exec(std::string("UPDATE message SET svc_center = '+491760000000' WHERE ROWID = ") + id);
            db.exec("DELETE FROM message WHERE ROWID IN (1140, 1141)");
            db.close();
        }
        auto legacy = run.legacy();
        LegacyMessageCarving(*legacy).RecoverNewDeletedSMS();
        const std::string tail = ", see you at the usual place after work, and bring the charger";
        EXPECT_EQ(run.deletedTexts(),
                  (std::vector<std::string>{"Running ten minutes late" + tail, "Table for four at eight" + tail}))
            << schema;
        EXPECT_EQ(run.record.DeletedSMSCount.load(), 2) << schema;
    }
}

// The message table of a real iOS 5 messages database, as its own file declares it.
constexpr const char* kIOS5MessageTable =
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, text TEXT,"
    " flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, association_id INTEGER, height INTEGER,"
    " UIFlags INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB, recipients BLOB, read INTEGER,"
    " madrid_attributedBody BLOB, madrid_handle TEXT, madrid_version INTEGER, madrid_guid TEXT, madrid_type INTEGER,"
    " madrid_roomname TEXT, madrid_service TEXT, madrid_account TEXT, madrid_account_guid TEXT, madrid_flags INTEGER,"
    " madrid_attachmentInfo BLOB, madrid_url TEXT, madrid_error INTEGER, is_madrid INTEGER, madrid_date_read INTEGER,"
    " madrid_date_delivered INTEGER);"
    "CREATE INDEX message_group_index ON message(group_id, ROWID);"
    "CREATE INDEX message_flags_index ON message(flags);";

TEST(LegacyOlderMessages, ARealIOS5TableGivesItsDeletedMessagesWholeAndCounted) {
    Clock::ScopedTimeZone zone("UTC");
    struct Message {
        const char* address;
        std::int64_t date;
        const char* text;
        std::int64_t flags;
    };
    const std::vector<Message> messages = {
        {"(209) 598-1933", 1331431689, "Check it out", 3},
        {"(209) 598-1933", 1331431724, "Out I mean", 3},
        {"+12095981933", 1331431734, "Sweet", 2},
        {"(209) 649-0617", 1335484573, "Sending this prior to the logical. This will not be deleted ", 3},
    };
    for (const bool deleting : {false, true}) {
        MessageRun run(5);
        {
            FixtureDatabase db(run.dir / kDatabaseName);
            db.exec(kIOS5MessageTable);
            for (const Message& m : messages)
                db.insert("message", {{"address", m.address}, {"date", m.date},     {"text", m.text},
                                      {"flags", m.flags},     {"replace", 0},       {"group_id", 2},
                                      {"association_id", 0},  {"height", 0},        {"UIFlags", 0},
                                      {"version", 0},         {"country", "us"},    {"read", 1},
                                      {"madrid_version", 0},  {"madrid_type", 0},   {"madrid_flags", 0},
                                      {"madrid_error", 0},    {"is_madrid", 0},     {"madrid_date_read", 0},
                                      {"madrid_date_delivered", 0}});
            if (deleting) db.exec("DELETE FROM message WHERE ROWID > 1");
            db.close();
        }
        auto legacy = run.legacy();
        LegacyMessageCarving(*legacy).RecoverNewDeletedSMS();
        const auto carved = run.record.DeletedSMS.snapshot();
        EXPECT_EQ(run.record.DeletedSMSCount.load(), static_cast<std::int32_t>(carved.size()));
        if (!deleting) {
            EXPECT_TRUE(carved.empty()) << (carved.empty() ? "" : carved[0]->Message().value_or(""));
            continue;
        }
        ASSERT_EQ(carved.size(), 3u);
        for (const auto& sms : carved) {
            const auto m = std::find_if(messages.begin() + 1, messages.end(),
                                        [&](const Message& x) { return sms->Message() == x.text; });
            ASSERT_NE(m, messages.end()) << sms->Message().value_or("<none>");
            EXPECT_EQ(sms->Address(), m->address);
            EXPECT_EQ(sms->LocalTime(), DateUtils::DateTimeToString(DateFromUnixSeconds(static_cast<double>(m->date))));
            // Sent or received as the live list shows it, by the flags.
            EXPECT_EQ(sms->Type(), m->flags == 3 ? "Sent to" : "Received from") << m->text;
        }
    }
}

TEST(LegacyIMessages, ParsesWholeHeadersIntoFullRecords) {
    Clock::ScopedTimeZone zone("UTC");
    MessageRun run(7);
    {
        // No iOS 7 schema is at hand; its message table is that of iOS 6 (37 columns after the
        // row id).
        auto db = run.database("sms-ios6.sql");
        const auto handle = db.insert("handle", {{"id", "anna@example.com"}, {"service", "iMessage"}});
        db.insert("message", IOS6Message(1, "Dinner is at seven", handle, "iMessage", 1));
        db.insert("message", IOS6Message(2, "Who is this?", 77, "SMS", 0));
        db.insert("message", IOS6Message(3, "Who is this?", 77, "SMS", 0));  // same text and time
        db.insert("message", IOS6Message(4, "Still on the phone", handle, "iMessage", 0));
        db.exec("DELETE FROM message WHERE ROWID <> 4");
        db.close();
    }
    run.record.DeletediMessage.append(std::make_shared<SMS>());
    run.record.DeletedSMS.append(std::make_shared<SMS>());
    auto legacy = run.legacy();
    EXPECT_TRUE(LegacyMessageCarving(*legacy).RecoverDeletediMessage_iOS7_0_2());
    EXPECT_EQ(run.record.DeletediMessage.size(), 0u);

    auto listed = run.record.DeletedSMS.snapshot();
    ASSERT_EQ(listed.size(), 3u);  // the record that was there, and two carved ones
    listed.erase(listed.begin());
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return *a->Message() < *b->Message(); });
    const auto& dinner = *listed[0];
    EXPECT_EQ(dinner.Message(), "Dinner is at seven");
    EXPECT_EQ(dinner.GUID(), Guid(1));
    EXPECT_EQ(dinner.service(), "iMessage");
    EXPECT_EQ(dinner.Address(), "anna@example.com");
    EXPECT_EQ(dinner.Type(), "Sent to");
    EXPECT_EQ(dinner.LocalTime(), "2013-09-04 15:06:40");
    const auto& unknown = *listed[1];
    EXPECT_EQ(unknown.Message(), "Who is this?");
    EXPECT_EQ(unknown.handleID(), 77);
    EXPECT_EQ(unknown.Address(), "UnKnown");
    EXPECT_EQ(unknown.Type(), "Received from");
}

TEST(LegacyMessages, DamagedFilesGiveNoRecordPastTheirEnd) {
    Clock::ScopedTimeZone zone("UTC");
    MessageRun run(6);
    const std::string text = "A message whose file is cut short";
    {
        auto db = run.database("sms-ios6.sql");
        db.insert("message", IOS6Message(1, text, 0, "iMessage"));
        db.exec("DELETE FROM message");
        db.close();
    }
    const Bytes whole = run.fileBytes();
    const std::string bytes(whole.begin(), whole.end());
    const auto at = static_cast<std::int64_t>(bytes.find(text));
    const auto guid = static_cast<std::int64_t>(bytes.find(Guid(1)));
    ASSERT_GT(at, 0);
    const struct {
        const char* what;
        std::int64_t length;
    } cuts[] = {
        {"inside the text", at + 5},                 // a length running past the end
        {"right after the header", guid},            // a header at the very end
        {"inside the header", guid - 20},
        {"a few bytes", 12},
        {"whole", static_cast<std::int64_t>(whole.size())},
    };
    for (const auto& cut : cuts) {
        for (int major : {4, 5, 6, 7}) {
            run.device.setIOSMajorVersion(major);
            auto legacy = run.legacy();
            legacy->setDatabaseBytes(DatabaseRole::Messages, FileBytes(whole.data(), static_cast<std::size_t>(cut.length)));
            LegacyMessageCarving carving(*legacy);
            carving.RecoverIOS6DeletedSMS();
            const bool whole6 = run.record.DeletedSMS.size() == 1;
            carving.RecoverNewDeletedSMS();
            run.record.DeletedSMS.clear();
            carving.RecoverDeletediMessage_iOS7_0_2();
            const bool whole7 = run.record.DeletedSMS.size() == 1;
            const bool complete = cut.length == static_cast<std::int64_t>(whole.size());
            EXPECT_EQ(whole6, complete) << cut.what;
            EXPECT_EQ(whole7, complete) << cut.what;
        }
    }
}

// A file of nothing but windows and no terminator: every window looks for one, and the scan
// still reads each byte a bounded number of times.
TEST(LegacyMessages, WindowsWithoutTerminatorsGiveNothing) {
    const std::uint8_t window[] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x11, 0x00, 0x00, 0x01};
    Bytes bytes;
    while (bytes.size() < (1u << 20)) bytes.insert(bytes.end(), std::begin(window), std::end(window));
    for (int major : {3, 4, 5}) {
        MessageRun run(major);
        auto legacy = run.legacy();
        legacy->setDatabaseBytes(DatabaseRole::Messages, FileBytes(bytes.data(), bytes.size()));
        EXPECT_TRUE(LegacyMessageCarving(*legacy).RecoverNewDeletedSMS());
        EXPECT_EQ(run.record.DeletedSMS.size(), 0u);
    }
}

TEST(LegacyMessages, SplitSortsByService) {
    MessageRun run(7);
    auto legacy = run.legacy();
    std::vector<std::shared_ptr<SMS>> list;
    for (const char* service : {"SMS", "iMessage", "Skype"}) {
        auto sms = std::make_shared<SMS>();
        sms->setService(std::string(service));
        list.push_back(sms);
    }
    list.push_back(std::make_shared<SMS>());
    run.record.DeletedSMS.append(std::make_shared<SMS>());
    LegacyMessageCarving(*legacy).splitMsg(list);
    ASSERT_EQ(run.record.DeletedSMS.size(), 1u);
    ASSERT_EQ(run.record.DeletediMessage.size(), 1u);
    EXPECT_EQ(run.record.DeletedSMS.snapshot()[0]->service(), "SMS");
    EXPECT_EQ(run.record.DeletediMessage.snapshot()[0]->service(), "iMessage");
}

#include "services/CallHistoryRecoverers.h"
#include "services/CallHistoryService.h"
#include "services/ContactServices.h"
#include "records/CallHistory.h"
#include "records/Contact.h"

#include "CalendarCallsNotesWhatsAppSupport.h"
#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "records/CallLog.h"

#include "carving/SQLiteHeader.h"
#include "common/BackupFiles.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::ContextFor;

using othertest::DeletedRows;
using othertest::RecoveryTest;
using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::Row;

constexpr const char* kOlderDomain = "WirelessDomain";
constexpr const char* kOlderPath = "Library/CallHistory/call_history.db";
constexpr const char* kNewerDomain = "HomeDomain";
constexpr const char* kNewerPath = "Library/CallHistoryDB/CallHistory.storedata";
// The column that iOS 7 appended to the older call table.
constexpr const char* kAddAnswered = "ALTER TABLE call ADD COLUMN answered INTEGER DEFAULT '1'";

std::string OlderAddress(int i) {
    return "+4915123" + std::to_string(400000 + i);
}
std::string NewerAddress(int i) {
    return "+4917012" + std::to_string(700000 + i);
}

// A row of the older call table: short rows, incoming and outgoing, answered and missed; rows
// written once the table had `answered` carry that column too.
Row OlderCall(int i, bool withAnswered) {
    Row row = {{"address", OlderAddress(i)},
               {"date", std::int64_t{1300000000} + 3600 * i},
               {"duration", i % 5 == 0 ? 0 : 30 + i},
               {"flags", i % 2 == 0 ? 4 : 5},
               {"id", i % 3 == 0 ? 17 : -1},
               {"country_code", "262"},
               {"network_code", "01"},
               {"read", 1},
               {"assisted", 0},
               {"originalAddress", OlderAddress(i)}};
    if (i % 4 == 0) row.emplace_back("name", "Anna Schmidt");
    if (withAnswered) row.emplace_back("answered", i % 5 == 0 ? 0 : 1);
    return row;
}

// A row of the newer call store: phone and FaceTime calls; durations with and without a fraction.
Row NewerCall(int i) {
    return {{"Z_PK", i},
            {"Z_ENT", 2},
            {"Z_OPT", 1},
            {"ZANSWERED", i % 3 == 0 ? 0 : 1},
            {"ZCALLTYPE", i % 4 == 0 ? 8 : 1},
            {"ZFACE_TIME_DATA", 0},
            {"ZNUMBER_AVAILABILITY", 0},
            {"ZORIGINATED", i % 2},
            {"ZREAD", 1},
            {"ZDATE", 474539400.5 + 3600.0 * i},
            {"ZDURATION", i % 3 == 0 ? 0.0 : 12.5 + i},
            {"ZISO_COUNTRY_CODE", "de"},
            {"ZLOCATION", "Deutschland"},
            {"ZUNIQUE_ID", "E621E1F8-C36C-495A-93FC-0C247A3E" + std::to_string(1000 + i)},
            {"ZADDRESS", NewerAddress(i)}};
}

class CallHistoryServiceTest : public RecoveryTest {
protected:
    // Builds the older store with `count` calls (the table gains `answered` half-way when asked)
    // and deletes every third and the last; returns the addresses of the deleted calls the
    // file still holds.
    std::set<std::string> addOlderStore(BackupBuilder& backup, int count, bool addAnswered) {
        auto db = backup.addDatabase(kOlderDomain, kOlderPath, "call_history-ios4.sql");
        DeletedRows written;
        std::vector<std::int64_t> ids;
        for (int i = 1; i <= count; ++i) {
            const bool withAnswered = addAnswered && i > count / 2;
            if (addAnswered && i == count / 2 + 1) db.exec(kAddAnswered);
            ids.push_back(db.insert("call", OlderCall(i, withAnswered)));
            written.remember(db.handle(), "call", ids.back());
        }
        return deleteSome(db, "call", ids, written, OlderAddress);
    }

    std::set<std::string> addNewerStore(BackupBuilder& backup, int count) {
        auto db = backup.addDatabase(kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql");
        DeletedRows written;
        std::vector<std::int64_t> ids;
        for (int i = 1; i <= count; ++i) {
            ids.push_back(db.insert("ZCALLRECORD", NewerCall(i)));
            written.remember(db.handle(), "ZCALLRECORD", ids.back());
        }
        return deleteSome(db, "ZCALLRECORD", ids, written, NewerAddress);
    }

    // Deletes every fourth call and the last.
    template <class AddressOf>
    std::set<std::string> deleteSome(FixtureDatabase& db, const char* table,
                                     const std::vector<std::int64_t>& ids,
                                     const DeletedRows& written, AddressOf addressOf) {
        std::set<std::int64_t> gone;
        for (std::size_t k = 1; k < ids.size(); k += 4) gone.insert(ids[k]);
        gone.insert(ids.back());
        for (auto id : gone) db.deleteRow(table, id);
        db.close();
        const auto left = written.recoverable(db.path(), gone);
        // SQLite overwrote some rows when it merged pages; most are still there.
        EXPECT_GE(left.size() * 2, gone.size()) << table;
        std::set<std::string> addresses;
        for (auto id : left) addresses.insert(addressOf(static_cast<int>(id)));
        return addresses;
    }

    std::vector<std::string> listedAddresses() const {
        std::vector<std::string> result;
        for (const auto& call : record.DeletedCallLog.snapshot())
            result.push_back(call->Address().value_or("<absent>"));
        return result;
    }
};

}  // namespace

TEST(CallHistorySignature, PatternsFollowBothCallTables) {
    const SQLiteSignature* calls =
        othertest::AppSignatures()->Find("HomeDomain", "CallHistory.storedata", "zcallrecord");
    ASSERT_NE(calls, nullptr);
    othertest::ExpectPatternsFollowTables(*calls,
                                          {{"callhistory-storedata-ios8.sql", "ZCALLRECORD"},
                                           {"call_history-ios421.sql", "call"},
                                           {"call_history-ios4.sql", "call"},
                                           {"call_history-ios4.sql", "call", kAddAnswered},
                                           {"call_history-ios7.sql", "call"}},
                                          {{"address", "address"},
                                           {"date", "date"},
                                           {"duration", "duration"},
                                           {"flags", "flags"},
                                           {"id", "id"},
                                           {"country_code", "country_code"},
                                           {"network_code", "network_code"},
                                           {"read", "read"},
                                           {"name", "name"},
                                           {"zaddress", "ZADDRESS"},
                                           {"zdate", "ZDATE"},
                                           {"zfacetimedata", "ZFACE_TIME_DATA"},
                                           {"zoriginated", "ZORIGINATED"},
                                           {"zduration", "ZDURATION"},
                                           {"zcalltype", "ZCALLTYPE"},
                                           {"zios_country_code", "ZISO_COUNTRY_CODE"},
                                           {"zanswered", "ZANSWERED"},
                                           {"zunique_id", "ZUNIQUE_ID"},
                                           {"answered", "answered"}});
    // The iOS 7 table with `answered` is a layout of its own.
    bool answered = false;
    for (const auto& pattern : calls->TablePatterns()) {
        const auto names = othertest::PatternColumns(pattern);
        answered = answered || (!names.empty() && names.back() == "answered");
    }
    EXPECT_TRUE(answered);
}

// Both stores, flat and in sub-folders: the deleted calls of both are listed once each, the
// older store's first, numbered in list order; only the newer store's calls refresh the window;
// no live call is listed.
TEST_F(CallHistoryServiceTest, ListsTheDeletedCallsOfBothStores) {
    for (BackupLayout layout : {BackupLayout::Flat, BackupLayout::Sharded}) {
        SCOPED_TRACE(layout == BackupLayout::Flat ? "flat" : "sharded");
        testsupport::TempDir backupDir;
        BackupBuilder backup(backupDir.path(), layout);
        const auto older = addOlderStore(backup, 120, true);
        const auto newer = addNewerStore(backup, 90);
        useBackup(backup, 9);
        record.DeletedCallLog.clear();
        record.AllDeletedCallLog.clear();
        record.DeletedCallLogCount = 0;
        window->foundRecoveredData = 0;

        CallHistoryService service;
        service.RecoverFromIOSBackup(ContextFor(record, device));

        const auto listed = listedAddresses();
        ASSERT_EQ(listed.size(), older.size() + newer.size());
        EXPECT_EQ(
            std::set<std::string>(listed.begin(), listed.begin() + static_cast<long>(older.size())),
            older);
        EXPECT_EQ(
            std::set<std::string>(listed.begin() + static_cast<long>(older.size()), listed.end()),
            newer);
        const auto calls = record.DeletedCallLog.snapshot();
        for (std::size_t k = 0; k < calls.size(); ++k)
            EXPECT_EQ(calls[k]->SlNo(), static_cast<int>(k + 1));
        EXPECT_EQ(record.AllDeletedCallLog.snapshot(), calls);
        EXPECT_EQ(record.DeletedCallLogCount.load(), static_cast<int>(calls.size()));
        EXPECT_EQ(window->foundRecoveredData.load(), static_cast<int>(newer.size()));
        EXPECT_FALSE(record.isDoingCallList.load());
    }
}

// The newer store's number column is declared BLOB: many phones keep the number as a text in
// it, others as a blob of the same bytes. Either way a carved call lists its number, as a live
// call does.
TEST_F(CallHistoryServiceTest, NumbersKeptAsTextsOrAsBlobs) {
    for (const bool blobs : {false, true}) {
        SCOPED_TRACE(blobs ? "blob numbers" : "text numbers");
        record.DeletedCallLog.clear();
        record.AllDeletedCallLog.clear();
        BackupBuilder backup(dir.path() / (blobs ? "blob" : "text"));
        std::set<std::string> deleted;
        {
            auto db =
                backup.addDatabase(kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql");
            DeletedRows written;
            for (int i = 1; i <= 40; ++i) {
                Row row = NewerCall(i);
                if (blobs)
                    for (auto& [column, value] : row)
                        if (column == "ZADDRESS")
                            value = ColumnValue(Bytes(value.text()->begin(), value.text()->end()));
                db.insert("ZCALLRECORD", row);
                written.remember(db.handle(), "ZCALLRECORD", i);
            }
            ASSERT_EQ(
                db.queryValue("SELECT count(*) FROM ZCALLRECORD WHERE typeof(ZADDRESS) = 'blob'")
                    .asInteger(),
                blobs ? 40 : 0);
            std::set<std::int64_t> gone;
            for (int i = 2; i <= 40; i += 4) gone.insert(i);
            for (auto id : gone) db.deleteRow("ZCALLRECORD", id);
            db.close();
            const auto left = written.recoverable(db.path(), gone);
            ASSERT_EQ(left.size(), 10u);
            for (auto id : left) deleted.insert(NewerAddress(static_cast<int>(id)));
        }
        useBackup(backup, 9);
        CallHistoryService().RecoverFromIOSBackup(ContextFor(record, device));
        const auto listed = listedAddresses();
        EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), deleted);
        EXPECT_EQ(listed.size(), deleted.size());

        auto handle =
            std::make_shared<FMDBUtils>(backup.pathFor(kNewerDomain, kNewerPath).string());
        ASSERT_TRUE(handle->openDatabase());
        const auto live = DAOs(handle, ContextFor(record, device)).GetCallLogs();
        EXPECT_FALSE(live.empty());
        for (const auto& call : live)
            EXPECT_EQ(call->Address().value_or("").rfind("+4917012", 0), 0u);
    }
}

// What a carved call shows, from each store.
TEST_F(CallHistoryServiceTest, CarvedCallsShowTheirValues) {
    BackupBuilder backup(dir.path());
    {
        auto db = backup.addDatabase(kOlderDomain, kOlderPath, "call_history-ios4.sql");
        for (int i = 1; i <= 6; ++i) db.insert("call", OlderCall(i, false));
        db.deleteRow("call", 4);  // an incoming call of 34 s from a named contact
        db.close();
    }
    {
        auto db = backup.addDatabase(kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql");
        for (int i = 1; i <= 6; ++i) {
            Row row = NewerCall(i);
            // As a phone keeps them: every outgoing call is marked as not answered.
            for (auto& [column, value] : row)
                if (column == "ZANSWERED" && i % 2 == 1) value = ColumnValue(0);
            db.insert("ZCALLRECORD", row);
        }
        db.deleteRow("ZCALLRECORD", 3);  // outgoing phone call of no duration
        // An outgoing call of 17.5 s, which the store marks as not answered (as every outgoing
        // call).
        db.deleteRow("ZCALLRECORD", 5);
        db.close();
    }
    useBackup(backup, 8);
    CallHistoryService().RecoverFromIOSBackup(ContextFor(record, device));

    auto calls = record.DeletedCallLog.snapshot();
    ASSERT_EQ(calls.size(), 3u);
    // The newer store's calls in the order of their addresses.
    if (calls[1]->Address() > calls[2]->Address()) std::swap(calls[1], calls[2]);
    EXPECT_EQ(calls[0]->Address(), OlderAddress(4));
    // 1300000000 + 4 hours, Unix seconds: 2011-03-13 11:06:40 UTC.
    EXPECT_EQ(calls[0]->LocalTime(), "2011-03-13 12:06:40");
    EXPECT_EQ(calls[0]->CallDuration(), 34);
    EXPECT_EQ(calls[0]->CallType(), "Incoming - Answered");
    EXPECT_EQ(calls[0]->CallMode(), "Call");
    EXPECT_EQ(calls[1]->Address(), NewerAddress(3));
    // 474539400.5 + 3 hours, Apple seconds: 2016-01-15 11:30:00 UTC.
    EXPECT_EQ(calls[1]->LocalTime(), "2016-01-15 12:30:00");
    EXPECT_EQ(calls[1]->CallDuration(), 0);
    EXPECT_EQ(calls[1]->CallType(), "Outgoing - Not answered");
    EXPECT_EQ(calls[2]->Address(), NewerAddress(5));
    EXPECT_EQ(calls[2]->CallDuration(), 17);
    EXPECT_EQ(calls[2]->CallType(), "Outgoing - Answered");
}

// A call store as a phone keeps it: a call is written when it begins and written again, longer,
// when it ends, which leaves the first copy in free space with the call's unique id; a call
// answered for less than a second has a duration of 0 whole seconds but its answered mark. The
// stale copy is no deleted call; the answered calls show as answered, in the live list and
// among the deleted calls.
TEST_F(CallHistoryServiceTest, AStaleCopyOfALiveCallAndCallsAnsweredWithinASecond) {
    BackupBuilder backup(dir.path());
    const std::string path = backup.pathFor(kNewerDomain, kNewerPath).string();
    const auto with = [](Row row, std::initializer_list<std::pair<const char*, ColumnValue>> set) {
        for (auto& [column, value] : row)
            for (const auto& [name, changed] : set)
                if (column == name) value = changed;
        return row;
    };
    DeletedRows stale;
    {
        auto db = backup.addDatabase(kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql");
        for (int i = 1; i <= 8; ++i) {
            Row row = NewerCall(i);
            // Call 3 as it begins: not answered yet, no duration.
            if (i == 3) row = with(row, {{"ZANSWERED", ColumnValue(0)}, {"ZDURATION", 0.0}});
            // Incoming calls answered within a second (5 stays, 6 is deleted).
            if (i == 5 || i == 6)
                row = with(row, {{"ZANSWERED", ColumnValue(1)},
                                 {"ZDURATION", 0.4},
                                 {"ZORIGINATED", ColumnValue(0)},
                                 {"ZCALLTYPE", ColumnValue(1)}});
            db.insert("ZCALLRECORD", row);
        }
        stale.remember(db.handle(), "ZCALLRECORD", 3);
        // Call 3 ends after 95.5 s: the longer row moves, its first copy stays in free space.
        db.exec("UPDATE ZCALLRECORD SET ZANSWERED = 1, ZDURATION = 95.5 WHERE Z_PK = 3");
        db.deleteRow("ZCALLRECORD", 6);
        db.close();
    }
    ASSERT_EQ(stale.recoverable(path), (std::set<std::int64_t>{3}));
    useBackup(backup, 9);

    CallHistoryService().RecoverFromIOSBackup(ContextFor(record, device));
    const auto deleted = record.DeletedCallLog.snapshot();
    ASSERT_EQ(listedAddresses(), std::vector<std::string>{NewerAddress(6)});
    // As the live call 5 of the same values reads.
    EXPECT_EQ(deleted[0]->CallDuration(), 1);
    EXPECT_EQ(deleted[0]->CallType(), "Incoming - Answered");

    auto handle = std::make_shared<FMDBUtils>(path);
    ASSERT_TRUE(handle->openDatabase());
    std::map<std::string, std::string> types;
    for (const auto& call : DAOs(handle, ContextFor(record, device)).GetCallLogs())
        types[call->Address().value_or("")] = call->CallType().value_or("");
    EXPECT_EQ(types.at(NewerAddress(5)), "Incoming - Answered");
    EXPECT_EQ(types.at(NewerAddress(3)), "Outgoing - Answered");
    EXPECT_EQ(types.at(NewerAddress(2)), "Incoming - Answered");
}

// The call table of iOS 4 has 8 columns and no FaceTime column: its live calls are listed and
// its deleted calls carved with their values.
TEST_F(CallHistoryServiceTest, TheEightColumnTableOfIOS4) {
    BackupBuilder backup(dir.path());
    const struct {
        const char* address;
        std::int64_t date;
        int duration;
        int flags;
    } calls[] = {{"6505550100", 1339531490, 20, 4}, {"7035550101", 1339534334, 56, 4},
                 {"+15715550102", 1339604953, 0, 5}, {"5715550103", 1340386466, 0, 4},
                 {"5715550104", 1341587930, 244, 5}};
    {
        auto db = backup.addDatabase(kOlderDomain, kOlderPath, "call_history-ios421.sql");
        for (const auto& c : calls)
            db.insert("call", {{"address", c.address},
                               {"date", c.date},
                               {"duration", c.duration},
                               {"flags", c.flags},
                               {"id", -1},
                               {"country_code", "310"}});
        db.deleteRow("call", 2);
        db.deleteRow("call", 4);
        db.close();
    }
    useBackup(backup, 4);

    auto handle = std::make_shared<FMDBUtils>(backup.pathFor(kOlderDomain, kOlderPath).string());
    ASSERT_TRUE(handle->openDatabase());
    DAOs daos(handle, ContextFor(record, device));
    std::vector<std::string> live;
    for (const auto& call : daos.GetCallLogs()) live.push_back(call->Address().value_or(""));
    EXPECT_EQ(live, (std::vector<std::string>{"6505550100", "+15715550102", "5715550104"}));
    EXPECT_TRUE(daos.GetFaceTimeLogs().empty());

    CallHistoryService().RecoverFromIOSBackup(ContextFor(record, device));
    auto deleted = record.DeletedCallLog.snapshot();
    ASSERT_EQ(deleted.size(), 2u);
    if (deleted[0]->Address() < deleted[1]->Address()) std::swap(deleted[0], deleted[1]);
    EXPECT_EQ(deleted[0]->Address(), "7035550101");
    EXPECT_EQ(deleted[1]->Address(), "5715550103");
    // 1339534334 Unix seconds: 2012-06-12 20:52:14 UTC.
    EXPECT_EQ(deleted[0]->LocalTime(), "2012-06-12 22:52:14");
    EXPECT_EQ(deleted[0]->CallDuration(), 56);
    EXPECT_EQ(deleted[0]->CallType(), "Incoming - Answered");
    EXPECT_EQ(deleted[1]->CallDuration(), 0);
    EXPECT_EQ(deleted[1]->CallType(), "Incoming - Missed call");
}

// A call reads the same type whether it is listed live or carved once deleted: iOS 7 keeps
// flags 0 and 9 (with high bits of its own) and marks a missed incoming call as not answered,
// iOS 4 keeps 4 and 5, the newer store tells the direction apart from its call type.
TEST_F(CallHistoryServiceTest, LiveAndCarvedCallsReadOneTypeInEveryStore) {
    struct Call {
        ColumnValue flags;  // the older table's flags, or the newer store's call type
        int originated;     // newer store only
        ColumnValue answered;
        double duration;
        const char* type;
        int seconds;
    };
    struct Store {
        int iOS;
        const char* domain;
        const char* path;
        const char* schema;
        std::vector<Call> calls;
    };
    const Store stores[] = {
        {7, kOlderDomain, kOlderPath, "call_history-ios7.sql",
         {{0, 0, 1, 95, "Incoming - Answered", 95},
          {0, 0, 0, 0, "Incoming - Missed call", 0},
          {9, 0, 1, 0, "Outgoing - Not answered", 0},
          {9, 0, 1, 42, "Outgoing - Answered", 42},
          {1114121, 0, 1, 0, "Outgoing - Not answered", 0},
          {4521993, 0, 1, 61, "Outgoing - Answered", 61},
          {1507328, 0, 1, 7, "Incoming - Answered", 7}}},
        {4, kOlderDomain, kOlderPath, "call_history-ios421.sql",
         {{4, 0, ColumnValue::Null(), 20, "Incoming - Answered", 20},
          {4, 0, ColumnValue::Null(), 0, "Incoming - Missed call", 0},
          {5, 0, ColumnValue::Null(), 244, "Outgoing - Answered", 244},
          {65541, 0, ColumnValue::Null(), 0, "Outgoing - Not answered", 0}}},
        {9, kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql",
         {{1, 0, 1, 31.5, "Incoming - Answered", 31},
          {1, 0, 0, 0, "Incoming - Missed call", 0},
          // Taken and ended within a second: answered, and it lasted.
          {1, 1, 0, 0.35, "Outgoing - Answered", 1},
          {1, 1, 0, 0.98, "Outgoing - Answered", 1},
          {1, 1, 0, 0, "Outgoing - Not answered", 0},
          {8, 1, 0, 12, "Outgoing - FaceTime", 12},
          {16, 0, 1, 3, "Incoming - FaceTime", 3}}},
    };
    for (const Store& store : stores) {
        SCOPED_TRACE(store.schema);
        record.DeletedCallLog.clear();
        record.AllDeletedCallLog.clear();
        BackupBuilder backup(dir.path() / store.schema);
        const bool newer = store.iOS >= 8;
        const char* table = newer ? "ZCALLRECORD" : "call";
        useBackup(backup, store.iOS);
        const auto addressOf = [&](std::size_t i) {
            const int n = static_cast<int>(i + 1);
            return newer ? NewerAddress(n) : OlderAddress(n);
        };
        // Rows as each store writes them; the iOS 4 table has only its first eight columns.
        const auto callRow = [&](int i, const Call& c) {
            Row row = newer ? NewerCall(i)
                      : store.iOS > 4
                          ? OlderCall(i, !c.answered.isNull())
                          : Row{{"address", OlderAddress(i)},
                                {"date", std::int64_t{1400000000} + 60 * i},
                                {"duration", 0},
                                {"flags", 0},
                                {"id", -1},
                                {"country_code", "262"}};
            for (auto& [column, value] : row) {
                if (column == "ZCALLTYPE" || column == "flags") value = c.flags;
                if (column == "ZORIGINATED") value = c.originated;
                if (column == "ZANSWERED" || column == "answered") value = c.answered;
                if (column == "ZDURATION") value = c.duration;
                if (column == "duration") value = static_cast<std::int64_t>(c.duration);
            }
            return row;
        };
        auto db = backup.addDatabase(store.domain, store.path, store.schema);
        std::vector<std::int64_t> rowIds;
        int i = 0;
        for (const Call& c : store.calls) {
            ++i;
            rowIds.push_back(db.insert(table, callRow(i, c)));
            // A live call after each, so that each deleted call stays a free block of its own.
            db.insert(table, callRow(100 + i, c));
        }
        {
            auto handle = std::make_shared<FMDBUtils>(db.path().string());
            ASSERT_TRUE(handle->openDatabase());
            std::map<std::string, std::pair<std::string, int>> live;
            for (const auto& call : DAOs(handle, ContextFor(record, device)).GetCallLogs())
                live[call->Address().value_or("")] = {call->CallType().value_or(""),
                                                      call->CallDuration()};
            for (std::size_t k = 0; k < store.calls.size(); ++k)
                EXPECT_EQ(live[addressOf(k)], std::make_pair(std::string(store.calls[k].type),
                                                             store.calls[k].seconds))
                    << "live " << k;
        }
        for (const std::int64_t rowId : rowIds) db.deleteRow(table, rowId);
        db.close();
        CallHistoryService().RecoverFromIOSBackup(ContextFor(record, device));
        std::map<std::string, std::pair<std::string, int>> carved;
        for (const auto& call : record.DeletedCallLog.snapshot())
            carved[call->Address().value_or("")] = {call->CallType().value_or(""),
                                                    call->CallDuration()};
        for (std::size_t k = 0; k < store.calls.size(); ++k)
            EXPECT_EQ(carved[addressOf(k)], std::make_pair(std::string(store.calls[k].type),
                                                           store.calls[k].seconds))
                << "carved " << k;
    }
}

// A backup with only the newer store; the older store's carving finds no file. A cancelled run
// lists nothing and still gives the busy flag back.
TEST_F(CallHistoryServiceTest, OnlyTheNewerStoreAndCancelledRuns) {
    BackupBuilder backup(dir.path(), BackupLayout::Sharded);
    const auto newer = addNewerStore(backup, 30);
    useBackup(backup, 8);

    std::stop_source cancelled;
    cancelled.request_stop();
    CallHistoryService service;
    service.RecoverFromIOSBackup(ContextFor(record, device, cancelled.get_token()));
    EXPECT_TRUE(record.DeletedCallLog.empty());
    EXPECT_FALSE(record.isDoingCallList.load());

    service.RecoverFromIOSBackup(ContextFor(record, device));
    const auto listed = listedAddresses();
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), newer);
    EXPECT_EQ(listed.size(), newer.size());
}

// The call recoverers read a freeblock's record from the block's own start, whatever any other
// engine of the process does.
TEST(CallHistoryRecoverers, ReadFreeblocksFromTheirStart) {
    BrimleyAppDelegate record;
    EXPECT_EQ(CallHistorySQLiteRecovery(ContextFor(record)).freeblockStartOffset(), 0);
    EXPECT_EQ(CallHistoryIos8Recovery(ContextFor(record)).freeblockStartOffset(), 0);
}

// The bytes of a cell of a table leaf page holding the row as SQLite would store it: payload
// length, row id, record (the row id's alias column stored as NULL).
Bytes CellImage(const char* schema, const char* table, const Row& row, std::int64_t rowId) {
    const auto columns = othertest::SchemaColumns(schema, table);
    const auto varint = [](std::uint64_t v) {
        Bytes out;
        if (v > 0x7F) {
            Bytes groups;
            while (v) {
                groups.insert(groups.begin(), static_cast<std::uint8_t>(v & 0x7F));
                v >>= 7;
            }
            for (std::size_t i = 0; i + 1 < groups.size(); ++i) groups[i] |= 0x80;
            return groups;
        }
        out.push_back(static_cast<std::uint8_t>(v));
        return out;
    };
    Bytes types, body;
    for (const auto& column : columns) {
        ColumnValue value;
        for (const auto& [name, v] : row)
            if (name == column.name && !column.primaryKey) value = v;
        if (value.isNull()) {
            types.push_back(0);
        } else if (value.isInteger() && (value.asInteger() == 0 || value.asInteger() == 1)) {
            types.push_back(value.asInteger() == 0 ? 8 : 9);
        } else if (value.isInteger()) {
            // The smallest width that holds the value, as SQLite writes it.
            const std::int64_t v = value.asInteger();
            const std::pair<int, std::uint8_t> widths[] = {{1, 1}, {2, 2}, {3, 3},
                                                           {4, 4}, {6, 5}, {8, 6}};
            for (const auto& [bytes, type] : widths) {
                const std::int64_t limit = std::int64_t{1} << (8 * bytes - 1);
                if (bytes < 8 && (v < -limit || v >= limit)) continue;
                types.push_back(type);
                for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
                    body.push_back(static_cast<std::uint8_t>(v >> shift));
                break;
            }
        } else if (value.isDouble()) {
            types.push_back(7);
            const auto bits = std::bit_cast<std::uint64_t>(value.asDouble());
            for (int shift = 56; shift >= 0; shift -= 8)
                body.push_back(static_cast<std::uint8_t>(bits >> shift));
        } else {
            const std::string& text = *value.text();
            const Bytes type = varint(13 + 2 * text.size());
            types.insert(types.end(), type.begin(), type.end());
            body.insert(body.end(), text.begin(), text.end());
        }
    }
    Bytes record = varint(types.size() + 1);
    record.insert(record.end(), types.begin(), types.end());
    record.insert(record.end(), body.begin(), body.end());
    Bytes cell = varint(record.size());
    const Bytes id = varint(static_cast<std::uint64_t>(rowId));
    cell.insert(cell.end(), id.begin(), id.end());
    cell.insert(cell.end(), record.begin(), record.end());
    return cell;
}

// A call store whose freed pages lie before live ones: the sweep from the first freelist page
// on reads live leaf pages whole, so the carver meets what lies inside live cells. The store's
// metadata rows carry the bytes of an older version of a live call (a stale copy of a live row
// inside a live cell, whose values match no live call). Whether SQLite can read the
// file or not (one header byte changed), no such copy and no live call is listed; the deleted
// calls still are.
TEST_F(CallHistoryServiceTest, NoLiveCallComesBackFromALiveCell) {
    Row older = NewerCall(150);
    for (auto& [name, value] : older)
        if (name == "ZDURATION") value = ColumnValue(999.5);
    const Bytes stale = CellImage("callhistory-storedata-ios8.sql", "ZCALLRECORD", older, 150);
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "header damaged" : "intact");
        testsupport::TempDir backupDir;
        BackupBuilder backup(backupDir.path());
        std::set<std::string> live;
        std::int64_t lastLiveLeaf = 0;
        {
            auto db =
                backup.addDatabase(kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql");
            for (int i = 1; i <= 300; ++i) db.insert("ZCALLRECORD", NewerCall(i));
            // The store's metadata rows, written after the calls, carry the stale copy.
            Bytes plist = {'b', 'p', 'l', 'i', 's', 't'};
            plist.insert(plist.end(), stale.begin(), stale.end());
            // Only rows appended once the table has split carry it, so that no page split
            // leaves a copy of it in free space.
            for (int i = 0; i < 40; ++i)
                db.insert(
                    "Z_METADATA",
                    {{"Z_VERSION", 2 + i},
                     {"Z_UUID", "7A1C8E2B-0F4D-4E5A-9B6C-" + std::to_string(100000000000 + i)},
                     {"Z_PLIST", i >= 30 && i < 34 ? plist : Bytes(plist.size(), 'x')}});
            db.deleteWhere("ZCALLRECORD", "Z_PK <= 120 OR Z_PK IN (200, 250)");
            for (int i = 121; i <= 300; ++i)
                if (i != 200 && i != 250) live.insert(NewerAddress(i));
            lastLiveLeaf = db.queryValue(
                                 "SELECT max(pageno) FROM dbstat WHERE name = 'Z_METADATA' AND "
                                 "pagetype = 'leaf'")
                               .asInteger();
            db.close();
        }
        const std::string path = *BackupFiles::locate(
            backup.folder().string(), BackupBuilder::BackupName(kNewerDomain, kNewerPath));
        // The file is as the case needs it: live leaves with the copy after the first freelist
        // page.
        SQLiteHeader header;
        ASSERT_TRUE(header.ReadSQLiteDatabaseHeader(path));
        ASSERT_GT(header.PageNumberOfFirstListTrunkPage(), 0);
        ASSERT_GT(lastLiveLeaf, header.PageNumberOfFirstListTrunkPage());
        if (damaged)
            std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
                .seekp(23)
                .put('\xFF');

        useBackup(backup, 9);
        record.DeletedCallLog.clear();
        record.AllDeletedCallLog.clear();
        record.DeletedCallLogCount = 0;
        CallHistoryService().RecoverFromIOSBackup(ContextFor(record, device));

        const auto listed = listedAddresses();
        EXPECT_FALSE(listed.empty());
        for (const auto& address : listed) EXPECT_EQ(live.count(address), 0u) << address;
    }
}

// The existing calls of both stores, newest first within each, older store first, each with a
// contact; the deleted ones are not among them.
TEST_F(CallHistoryServiceTest, ExistingCallsOfBothStores) {
    testsupport::TempDir backupDir;
    BackupBuilder backup(backupDir.path(), BackupLayout::Sharded);
    {
        auto db = backup.addDatabase(kOlderDomain, kOlderPath, "call_history-ios4.sql");
        for (int i = 1; i <= 4; ++i) db.insert("call", OlderCall(i, false));
        db.deleteRow("call", 2);
        db.close();
        auto store = backup.addDatabase(kNewerDomain, kNewerPath, "callhistory-storedata-ios8.sql");
        for (int i = 1; i <= 3; ++i) store.insert("ZCALLRECORD", NewerCall(i));
        store.close();
    }
    useBackup(backup, 9);
    contactServices contacts;
    CallHistoryService service;
    EXPECT_EQ(service.contactServ(), nullptr);
    service.setContactServ(&contacts);
    EXPECT_EQ(service.contactServ(), &contacts);
    service.getWhatisExisting(ContextFor(record, device));

    std::vector<std::string> addresses;
    for (const auto& record : service.Model()) {
        const auto* call = dynamic_cast<const CallHistory*>(record.get());
        ASSERT_NE(call, nullptr);
        ASSERT_NE(call->contact(), nullptr);  // none in the address book: an empty contact
        EXPECT_FALSE(call->contact()->FirstName().has_value());
        addresses.push_back(call->Address().value_or("<absent>"));
    }
    EXPECT_EQ(addresses, (std::vector<std::string>{OlderAddress(4), OlderAddress(3), OlderAddress(1),
                                                   NewerAddress(3), NewerAddress(2), NewerAddress(1)}));
    EXPECT_EQ(service.retrieved.load(), 6);

    const auto& older = dynamic_cast<const CallHistory&>(*service.Model()[1]);
    EXPECT_EQ(older.RowId(), 3);
    EXPECT_EQ(older.Duration(), 33);
    EXPECT_EQ(older.Flags(), 5);
    EXPECT_EQ(older.ContactRowId(), 17);
    EXPECT_EQ(older.MobileNetworkCode(), "01");
    // 1300000000 + 3 hours (10:06:40 UTC), in local time (Berlin, winter).
    EXPECT_EQ(older.Date(), "2011-03-13 11:06:40");
    const auto& newer = dynamic_cast<const CallHistory&>(*service.Model()[4]);
    EXPECT_EQ(newer.ContactRowId(), -1);
    EXPECT_EQ(newer.MobileCountryCode(), "de");
    EXPECT_FALSE(newer.ZOriginated());
    EXPECT_EQ(newer.Duration(), 14);  // 14.5 seconds, whole seconds kept
    EXPECT_TRUE(dynamic_cast<const CallHistory&>(*service.Model()[3]).ZOriginated());
    EXPECT_EQ(newer.Flags(), 1);

    // A backup without the stores adds nothing more; the carving run attributes nothing here,
    // its recoverers list the calls themselves.
    testsupport::TempDir emptyDir;
    BackupBuilder empty(emptyDir.path());
    useBackup(empty, 9);
    service.getWhatisExisting(ContextFor(record, device));
    service.RecoverFromIOSBackup(ContextFor(record, device));
    service.AdditionalFiltering();
    EXPECT_EQ(service.Model().size(), 6u);
    EXPECT_EQ(service.recovered.load(), 0);
}

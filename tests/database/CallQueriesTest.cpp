#include "LiveRowsBackup.h"

#include "records/CallLog.h"

#include <gtest/gtest.h>

namespace {

using testsupport::FixtureDatabase;

constexpr LiveRowsBackup::Role kCallTable{"WirelessDomain", "Library/CallHistory/call_history.db"};
constexpr LiveRowsBackup::Role kCallStore{"HomeDomain",
                                          "Library/CallHistoryDB/CallHistory.storedata"};

// 2016-05-01 12:00:00 UTC (14:00 in Berlin, summer time) and 2016-01-15 10:00:00 UTC (11:00).
constexpr std::int64_t kMayUnix = 1462104000;
constexpr std::int64_t kJanUnix = 1452852000;
constexpr std::int64_t kAppleEpoch = 978307200;

// Two people in the address book; their numbers are stored formatted.
void FillAddressBook(LiveRowsBackup& backup) {
    FixtureDatabase db = backup.create(LiveRowsBackup::kAddressBook, "addressbook.sql");
    const struct {
        const char* first;
        const char* number;
    } people[] = {{"Anna", "+49 (30) 123-456"}, {"Ben", "+49 170 987-6543"}};
    int guid = 0;
    for (const auto& p : people) {
        const auto person = db.insert(
            "ABPerson",
            {{"First", ColumnValue(p.first)}, {"guid", ColumnValue("p" + std::to_string(++guid))}});
        db.insert("ABMultiValue", {{"record_id", ColumnValue(person)},
                                   {"property", ColumnValue(3)},
                                   {"value", ColumnValue(p.number)},
                                   {"guid", ColumnValue("m" + std::to_string(guid))}});
    }
    db.close();
}

// A backup with the address book filled and the call-history name of its iOS version.
struct CallBackup : LiveRowsBackup {
    explicit CallBackup(int iOSMajor) : LiveRowsBackup(iOSMajor) {
        state.CALLHISTORY_DATABASE.set(NameOf(iOSMajor >= 8 ? kCallStore : kCallTable));
        FillAddressBook(*this);
    }
};

}  // namespace

TEST(CallQueriesTest, CallStoreListsNewestFirstWithDirectionFromOriginAndNamesFromAddressBook) {
    CallBackup backup(9);
    struct Call {
        std::int64_t pk;
        ColumnValue address;
        ColumnValue appleDate;
        double duration;
        int callType;
        int originated;
    };
    const Call calls[] = {
        {1, "4930123456", ColumnValue(double(kJanUnix - kAppleEpoch) + 0.75), 0.0, 1, 1},
        {2, "+491709876543", ColumnValue(double(kMayUnix - kAppleEpoch)), 75.0, 1, 0},
        {3, ColumnValue::Null(), ColumnValue(double(kMayUnix - kAppleEpoch)), 12.0, 8, 1},
        {4, "5550001", ColumnValue::Null(), 0.0, 16, 0},
    };
    {
        FixtureDatabase db = backup.create(kCallStore, "callhistory-storedata-ios8.sql");
        for (const Call& c : calls)
            db.insert("ZCALLRECORD", {{"Z_PK", ColumnValue(c.pk)},
                                      {"ZADDRESS", c.address},
                                      {"ZDATE", c.appleDate},
                                      {"ZDURATION", ColumnValue(c.duration)},
                                      {"ZCALLTYPE", ColumnValue(c.callType)},
                                      {"ZORIGINATED", ColumnValue(c.originated)},
                                      {"ZUNIQUE_ID", ColumnValue("u" + std::to_string(c.pk))}});
        db.close();
    }
    backup.state.CallLogRowIDs.set({7, 8});

    const auto list = backup.boundTo(kCallStore)->GetCallLogs();

    struct Expected {
        OptString address;
        const char* time;
        const char* type;
        const char* name;
        int duration;
    } expected[] = {
        // Equal dates keep Z_PK order; a NULL date sorts last in descending order.
        {"+491709876543", "2016-05-01 14:00:00", "Incoming - Answered", "Ben", 75},
        {std::nullopt, "2016-05-01 14:00:00", "Outgoing - FaceTime", "Unknown", 12},
        {"4930123456", "2016-01-15 11:00:00", "Outgoing - Not answered", "Anna", 0},
        {"5550001", "", "Incoming - FaceTime", "", 0},
    };
    ASSERT_EQ(list.size(), std::size(expected));
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        const CallLog& log = *list[i];
        EXPECT_EQ(log.SlNo(), static_cast<int>(i + 1));
        EXPECT_EQ(log.Address(), expected[i].address);
        EXPECT_EQ(log.LocalTime(), expected[i].time);
        EXPECT_EQ(log.CallType(), expected[i].type);
        EXPECT_EQ(log.ContactName(), expected[i].name);
        EXPECT_EQ(log.CallDuration(), expected[i].duration);
        EXPECT_EQ(log.isChecked(), 0);
    }
    EXPECT_EQ(backup.state.CallLogCount.load(), 4);
    EXPECT_EQ(backup.state.AllCallLogContent.snapshot(), list);
    EXPECT_TRUE(backup.state.CallLogRowIDs.get().empty());
}

// The store keeps ZANSWERED 0 for every outgoing call: whether one was answered follows from its
// duration; the mark decides for incoming calls only.
TEST(CallQueriesTest, OutgoingCallsAreAnsweredWhenTheyLasted) {
    CallBackup backup(9);
    const struct {
        int originated;
        ColumnValue answered;
        double duration;
        const char* type;
    } calls[] = {
        {1, ColumnValue(0), 184.0, "Outgoing - Answered"},
        {1, ColumnValue(0), 0.0, "Outgoing - Not answered"},
        {1, ColumnValue(1), 0.0, "Outgoing - Not answered"},
        {0, ColumnValue(0), 0.0, "Incoming - Missed call"},
        {0, ColumnValue(1), 0.0, "Incoming - Answered"},
        {0, ColumnValue::Null(), 42.0, "Incoming - Answered"},
    };
    {
        FixtureDatabase db = backup.create(kCallStore, "callhistory-storedata-ios8.sql");
        std::int64_t pk = 0;
        for (const auto& c : calls) {
            ++pk;
            db.insert("ZCALLRECORD", {{"Z_PK", ColumnValue(pk)},
                                      {"ZADDRESS", ColumnValue("55500" + std::to_string(pk))},
                                      {"ZDATE", ColumnValue(double(kMayUnix - kAppleEpoch - pk))},
                                      {"ZDURATION", ColumnValue(c.duration)},
                                      {"ZCALLTYPE", ColumnValue(1)},
                                      {"ZORIGINATED", ColumnValue(c.originated)},
                                      {"ZANSWERED", c.answered}});
        }
        db.close();
    }
    const auto list = backup.boundTo(kCallStore)->GetCallLogs();
    ASSERT_EQ(list.size(), std::size(calls));
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list[i]->CallType(), calls[i].type);
    }
}

// The iOS 4 table has neither FaceTime data nor the columns later releases appended: every row
// is a phone call.
TEST(CallQueriesTest, TheCallTableOfIOS4ListsEveryCall) {
    CallBackup backup(4);
    {
        FixtureDatabase db = backup.create(kCallTable, "call_history-ios421.sql");
        for (auto [address, flags] : {std::pair{"+4930123456", 5}, std::pair{"5550001", 4}})
            db.insert("call", {{"address", ColumnValue(address)},
                               {"date", ColumnValue(kMayUnix)},
                               {"duration", ColumnValue(30)},
                               {"flags", ColumnValue(flags)},
                               {"id", ColumnValue(-1)},
                               {"country_code", ColumnValue("310")}});
        db.close();
    }
    auto daos = backup.boundTo(kCallTable);
    const auto listed = daos->GetCallLogs();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]->ContactName(), "Anna");
    EXPECT_EQ(listed[0]->CallType(), "Outgoing - Answered");
    EXPECT_EQ(listed[1]->CallType(), "Incoming - Answered");
    EXPECT_EQ(backup.state.CallLogCount.load(), 2);
    EXPECT_TRUE(daos->GetFaceTimeLogs().empty());
    EXPECT_EQ(backup.state.FaceTimeCount.load(), 0);
}

TEST(CallQueriesTest, CallTableListsPlainCallsWithTypeFromFlags) {
    CallBackup backup(6);
    struct Call {
        ColumnValue address;
        ColumnValue date;
        int flags;
        bool faceTime;
        const char* listedType;  // GetCallLogs
        OptString faceTimeType;  // GetFaceTimeLogs
    };
    const Call calls[] = {
        {"+4930123456", kMayUnix, 5, false, "Outgoing - Answered", "Outgoing Call"},
        {"+49 170 9876543", kJanUnix, 1507332, false, "Incoming - Answered", "Incoming Call"},
        {"112", kJanUnix, 65541, false, "Outgoing - Answered", "Outgoing Cancelled"},
        {"5550001", ColumnValue::Null(), 9, false, "Outgoing - Answered", std::nullopt},
        {"+491709876543", kMayUnix, 9, true, "", std::nullopt},
        {"+4930123456", kJanUnix, 4, true, "", "Incoming Call"},
    };
    {
        FixtureDatabase db = backup.create(kCallTable, "call_history-ios4.sql");
        for (const Call& c : calls) {
            testsupport::Row row = {{"address", c.address},
                                    {"date", c.date},
                                    {"duration", ColumnValue(30)},
                                    {"flags", ColumnValue(c.flags)}};
            if (c.faceTime) row.emplace_back("face_time_data", ColumnValue(Bytes{1, 2, 3}));
            db.insert("call", row);
        }
        db.close();
    }
    auto daos = backup.boundTo(kCallTable);

    const auto listed = daos->GetCallLogs();
    ASSERT_EQ(listed.size(), 4u);  // FaceTime calls are not in the call list
    const char* times[] = {"2016-05-01 14:00:00", "2016-01-15 11:00:00", "2016-01-15 11:00:00", ""};
    const char* names[] = {"Anna", "Ben", "", ""};
    for (std::size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(listed[i]->CallType(), calls[i].listedType);
        EXPECT_EQ(listed[i]->LocalTime(), times[i]);
        EXPECT_EQ(listed[i]->ContactName(), names[i]);
        EXPECT_EQ(listed[i]->CallDuration(), 30);
    }
    EXPECT_EQ(backup.state.CallLogCount.load(), 4);

    const auto faceTime = daos->GetFaceTimeLogs();
    ASSERT_EQ(faceTime.size(), 2u);
    EXPECT_EQ(faceTime[0]->LocalTime(), "05/01/2016 02:00 PM");
    EXPECT_EQ(faceTime[0]->CallType(), std::nullopt);  // flags 9 has no FaceTime text
    EXPECT_EQ(faceTime[0]->ContactName(), "Ben");
    EXPECT_EQ(faceTime[1]->CallType(), "Incoming Call");
    EXPECT_EQ(faceTime[1]->SlNo(), 2);
    EXPECT_EQ(backup.state.FaceTimeCount.load(), 2);
    EXPECT_EQ(backup.state.AllCallLogContent.size(), 4u);  // FaceTime calls are not added

    EXPECT_EQ(DAOs::GetCallType(9), "Outgoing Cancelled");
    EXPECT_EQ(DAOs::GetCallType(8), "Incoming Call");
    EXPECT_EQ(DAOs::GetCallType(0x1B0005), "Outgoing Cancelled");
    EXPECT_EQ(DAOs::GetCallType(5), "Outgoing Call");
}

TEST(CallQueriesTest, GroupedListShowsTheNumberWhereNoNameIsKnown) {
    CallBackup backup(7);
    {
        FixtureDatabase db = backup.create(kCallTable, "call_history-ios4.sql");
        for (auto [address, date] :
             {std::pair{"+4930123456", kJanUnix}, std::pair{"5550001", kMayUnix},
              std::pair{"+4930123456", kJanUnix - 60}})
            db.insert("call", {{"address", ColumnValue(address)},
                               {"date", ColumnValue(date)},
                               {"flags", ColumnValue(5)}});
        db.close();
    }
    const auto groups = backup.boundTo(kCallTable)->GetCallLogGroup();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]->Address(), "5550001");
    EXPECT_EQ(groups[0]->ContactName(), "5550001");
    EXPECT_EQ(groups[0]->LocalTime(), "2016-05-01 14:00:00");
    EXPECT_EQ(groups[1]->ContactName(), "Anna");
    EXPECT_EQ(groups[1]->SlNo(), 0);
    EXPECT_EQ(backup.state.CallLogCount.load(), 0);
}

TEST(CallQueriesTest, RowIdLookupsOpenTheCallHistoryFileThemselves) {
    CallBackup backup(7);
    {
        FixtureDatabase db = backup.create(kCallTable, "call_history-ios4.sql");
        db.insert("call",
                  {{"address", ColumnValue("+4930123456")}, {"date", ColumnValue(kMayUnix)}});
        db.insert("call", {{"address", ColumnValue::Null()}, {"date", ColumnValue::Null()}});
        db.close();
    }
    auto daos = backup.unbound();
    EXPECT_EQ(daos->GetAllCallHistroyRowID(), (RowIdMap{{"1", "+4930123456"}}));
    EXPECT_EQ(daos->dateForRowID(1), "2016-05-01 02:00 PM");
    EXPECT_EQ(daos->dateForRowID(2), "");  // no date text
    EXPECT_EQ(daos->dateForRowID(99), "");
    EXPECT_FALSE(daos->isDeletedZCALLRECORD(1));  // no ZCALLRECORD table in this file

    backup.state.CALLHISTORY_DATABASE.set(LiveRowsBackup::NameOf(kCallStore));
    {
        FixtureDatabase db = backup.create(kCallStore, "callhistory-storedata-ios8.sql");
        db.insert("ZCALLRECORD", {{"Z_PK", ColumnValue(5)}, {"ZUNIQUE_ID", ColumnValue("u5")}});
        db.close();
    }
    // A query object reads the files of the scan it was made for.
    EXPECT_FALSE(daos->isDeletedZCALLRECORD(5));
    daos = backup.unbound();
    EXPECT_TRUE(daos->isDeletedZCALLRECORD(5));
    EXPECT_FALSE(daos->isDeletedZCALLRECORD(6));
    // Read-only: the query object's own handle and the state record's are left alone.
    EXPECT_EQ(daos->dbUtils(), nullptr);
    EXPECT_EQ(backup.state.daos.get(), nullptr);
}

TEST(CallQueriesTest, MissingFileOrHandleGivesEmptyListsAndZeroCounts) {
    CallBackup backup(8);  // no call-history file in the backup
    backup.state.CallLogCount = 9;
    auto daos = backup.boundTo(kCallStore);
    EXPECT_TRUE(daos->GetCallLogs().empty());
    EXPECT_EQ(backup.state.CallLogCount.load(), 0);
    EXPECT_TRUE(daos->GetFaceTimeLogs().empty());
    EXPECT_TRUE(daos->GetAllCallHistroyRowID().empty());
    EXPECT_EQ(daos->dateForRowID(1), "");
    EXPECT_FALSE(daos->isDeletedZCALLRECORD(1));
    EXPECT_FALSE(std::filesystem::exists(backup.pathOf(kCallStore)));  // never created
    EXPECT_TRUE(backup.unbound()->GetCallLogs().empty());
}

// The older call-history routines on call tables built from the iOS 4-7 schema: rows inserted and
// deleted (kept whole at the end of the cell area, or headed by a freeblock in the middle of it),
// the live rows each routine leaves out, the FaceTime split, and damaged or stopped scans.

#include "common/Clock.h"
#include "legacy/LegacyCallHistoryCarving.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"
#include "records/DeviceInfo.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::Row;
using Buffer = std::vector<std::uint8_t>;

constexpr const char* kCallDatabase = "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca";
constexpr const char* kAddressBook = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
// 2024-03-01 09:00:00 UTC: 10:00 in Berlin.
constexpr std::int64_t kDate = 1709283600;

using Routine = bool (LegacyCallHistoryCarving::*)();

struct NamedRoutine {
    const char* name;
    int ios;
    Routine routine;
};

constexpr NamedRoutine kRoutines[] = {
    {"iOS 4", 4, &LegacyCallHistoryCarving::RecoverDeletedCallHistory},
    {"iOS 5", 5, &LegacyCallHistoryCarving::RecoverDeletedNewCallHistory},
    {"iOS 6", 6, &LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory},
    {"iOS 7.0.4", 7, &LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4},
    {"iOS 7.0.2", 7, &LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_2},
};

// One row of the call table.
struct Call {
    std::string address;
    std::int64_t flags = 5;
    bool faceTime = false;
    std::int64_t duration = 42;
    std::optional<std::int64_t> rowId = std::nullopt;
    std::int64_t date = kDate;
    bool named = true;
};

Row RowOf(const Call& call) {
    Row row;
    if (call.rowId) row.emplace_back("ROWID", *call.rowId);
    const Row columns = {{"address", call.address}, {"date", call.date},   {"duration", call.duration},
                         {"flags", call.flags},     {"id", -1},            {"name", call.named ? ColumnValue("") : ColumnValue()},
                         {"country_code", "USA"}};
    row.insert(row.end(), columns.begin(), columns.end());
    if (call.faceTime) row.emplace_back("face_time_data", Bytes{1, 2, 3, 4});
    return row;
}

// The bytes of one row of the call table as SQLite lays out a cell: payload length, row id, the
// header (its length, the row id's NULL, one serial type per column) and the values.
// addressType: the address's serial type when it should claim another length than it has.
Buffer Cell(std::uint8_t rowId, const std::string& address, std::uint32_t date,
            std::optional<std::uint8_t> addressType = std::nullopt) {
    const auto type = addressType.value_or(static_cast<std::uint8_t>(13 + 2 * address.size()));
    const Buffer header = {14, 0, type, 4, 1, 1, 1, 13, 19, 0, 0, 0, 0, 0};
    Buffer values(address.begin(), address.end());
    for (int shift = 24; shift >= 0; shift -= 8) values.push_back(static_cast<std::uint8_t>(date >> shift));
    values.insert(values.end(), {42, 5, 0xFF, 'U', 'S', 'A'});
    Buffer cell = {static_cast<std::uint8_t>(header.size() + values.size()), rowId};
    cell.insert(cell.end(), header.begin(), header.end());
    cell.insert(cell.end(), values.begin(), values.end());
    return cell;
}

// The same cell once freed: a freeblock header over its first four bytes (the next freeblock's
// offset, whose high byte the routines read as the row id, and the block's size).
Buffer FreedCell(std::uint8_t nextHigh, const std::string& address, std::uint32_t date) {
    Buffer cell = Cell(0, address, date);
    cell[0] = nextHigh;
    cell[1] = 0x10;
    cell[2] = 0;
    cell[3] = static_cast<std::uint8_t>(cell.size());
    return cell;
}

// size zero bytes with the given pieces at the given offsets.
Buffer Bytes0(std::size_t size, const std::vector<std::pair<std::size_t, Buffer>>& pieces) {
    Buffer bytes(size, 0);
    for (const auto& [at, piece] : pieces)
        std::copy(piece.begin(), piece.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

std::string NumberOf(const CallLog& call) {
    return call.Address().value_or(call.PhoneNumber().value_or(std::string()));
}

std::vector<std::string> Numbers(const SharedList<CallLog>& list) {
    std::vector<std::string> numbers;
    for (const auto& call : list.snapshot()) numbers.push_back(NumberOf(*call));
    return numbers;
}

std::set<std::string> NumberSet(const SharedList<CallLog>& list) {
    const auto numbers = Numbers(list);
    return {numbers.begin(), numbers.end()};
}

// A scan of a backup folder with one call-history database.
struct CallScan {
    testsupport::TempDir dir;
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::unique_ptr<LegacyRecovery> legacy;

    explicit CallScan(int ios, std::stop_token stop = {}) {
        device.setIOSMajorVersion(ios);
        ScanContext context = testsupport::ContextFor(record, device, std::move(stop));
        context.backupFolder = dir.path().string();
        context.databaseNames[static_cast<std::size_t>(DatabaseRole::CallHistory)] = kCallDatabase;
        context.databaseNames[static_cast<std::size_t>(DatabaseRole::AddressBook)] = kAddressBook;
        legacy = std::make_unique<LegacyRecovery>(context);
    }

    std::filesystem::path databasePath() const { return dir / kCallDatabase; }
    FixtureDatabase create() const { return FixtureDatabase::FromSchema(databasePath(), "call_history-ios4.sql"); }
    bool run(Routine routine) {
        LegacyCallHistoryCarving carving(*legacy);
        return (carving.*routine)();
    }
    // One person in the address book, whose number is stored formatted.
    void addPerson(const char* first, const char* number) const {
        FixtureDatabase db = FixtureDatabase::FromSchema(dir / kAddressBook, "addressbook.sql");
        const auto person = db.insert("ABPerson", {{"First", first}, {"guid", "p1"}});
        db.insert("ABMultiValue", {{"record_id", person}, {"property", 3}, {"value", number}, {"guid", "m1"}});
        db.close();
    }
    Buffer fileBytes() const {
        std::ifstream in(databasePath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// Three live calls and five deleted ones: two between live calls, three after them. SQLite heads
// each freed cell with a freeblock header (the next block's offset and the block's size) over its
// payload length, row id, header length and the row id's NULL.
const Call kLive1{"+15551110001"}, kFreed1{"+15552220001"}, kLive2{"+15551110002"},
    kFreed2{"+15552220002", 4, true}, kLive3{"+15551110003"}, kTail1{"+15553330001", 4, false, 0},
    kTail2{"+15553330002"}, kShort{"12"};

void FillMixed(const CallScan& scan) {
    FixtureDatabase db = scan.create();
    std::vector<std::int64_t> ids;
    for (const Call* call : {&kLive1, &kFreed1, &kLive2, &kFreed2, &kLive3, &kTail1, &kTail2, &kShort})
        ids.push_back(db.insert("call", RowOf(*call)));
    for (const std::size_t index : {7u, 6u, 5u, 1u, 3u}) ASSERT_TRUE(db.deleteRow("call", ids[index]));
    db.close();
}

class LegacyCallHistory : public ::testing::Test {
protected:
    Clock::ScopedTimeZone zone_{"Europe/Berlin"};
    Clock::ScopedNow now_{*DateFromUnixSeconds(1796860800.0)};  // 2026-12-10
};

TEST_F(LegacyCallHistory, SplitKeepsCallsAndFaceTimeCallsInNewListsAndDropsTheRest) {
    CallScan scan(7);
    const auto make = [](OptString mode) {
        auto call = std::make_shared<CallLog>();
        call->setCallMode(std::move(mode));
        return call;
    };
    scan.record.DeletedCallLog.append(make("Call"));
    scan.record.DeletedFaceTime.append(make("FaceTime"));
    const std::vector<std::shared_ptr<CallLog>> calls = {make("Call"), make("FaceTime"), make(std::nullopt),
                                                         make("Other"), make("Call")};
    LegacyCallHistoryCarving(*scan.legacy).splitCallLog(calls);
    EXPECT_EQ(scan.record.DeletedCallLog.snapshot(), (std::vector{calls[0], calls[4]}));
    EXPECT_EQ(scan.record.DeletedFaceTime.snapshot(), (std::vector{calls[1]}));
}

TEST_F(LegacyCallHistory, OlderRoutinesListTheDeletedRowsWithTheirNumbersAndDates) {
    // The second row's two-byte row id puts one more byte before its header. The live row (no
    // name: not the shape looked for) follows them.
    const struct {
        const char* name;
        int ios;
        Routine routine;
    } cases[] = {
        {"iOS 4", 4, &LegacyCallHistoryCarving::RecoverDeletedCallHistory},
        {"iOS 4 routine on iOS 5", 5, &LegacyCallHistoryCarving::RecoverDeletedCallHistory},
        {"iOS 5", 5, &LegacyCallHistoryCarving::RecoverDeletedNewCallHistory},
    };
    for (const auto& c : cases) {
        CallScan scan(c.ios);
        {
            FixtureDatabase db = scan.create();
            const auto first = db.insert("call", RowOf(Call{"+15554440001"}));
            const auto second = db.insert("call", RowOf(Call{"+15554440002", 5, false, 42, 300}));
            Call live{"+15554449999"};
            live.named = false;
            db.insert("call", RowOf(live));
            db.deleteRow("call", second);
            db.deleteRow("call", first);
            db.close();
        }
        scan.record.DeletedCallLog.append(std::make_shared<CallLog>());
        EXPECT_TRUE(scan.run(c.routine)) << c.name;
        const auto calls = scan.record.DeletedCallLog.snapshot();
        ASSERT_EQ(calls.size(), 2u) << c.name;
        EXPECT_EQ(calls[0]->Address(), "+15554440002") << c.name;
        EXPECT_EQ(calls[1]->Address(), "+15554440001") << c.name;
        EXPECT_EQ(calls[0]->SlNo(), 1) << c.name;
        EXPECT_EQ(calls[1]->SlNo(), 2) << c.name;
        EXPECT_EQ(calls[1]->LocalTime(), "2024-03-01 10:00:00") << c.name;
        EXPECT_EQ(scan.record.DeletedCallLogCount.load(), 2) << c.name;
    }
}

// The last row written lies right after the page's free space; once deleted, the freeblock
// header over its head leaves zeros up to its address's serial type, so its header starts
// inside the run of zeros before it. The iOS 4 routine still finds it, as in a real iOS 4.2.1
// call table.
TEST_F(LegacyCallHistory, IOS4RoutineFindsADeletedRowRightAfterTheFreeSpace) {
    CallScan scan(4);
    {
        FixtureDatabase db = FixtureDatabase::FromSchema(scan.databasePath(), "call_history-ios421.sql");
        const auto row = [](const char* address, std::int64_t duration) -> Row {
            return {{"address", address}, {"date", kDate},  {"duration", duration},
                    {"flags", 4},         {"id", -1},       {"name", ""},
                    {"country_code", "310"}};
        };
        db.insert("call", row("5715550101", 20));
        db.insert("call", row("5715550102", 56));
        const auto last = db.insert("call", row("5715550103", 244));
        db.deleteRow("call", last);
        db.close();
    }
    EXPECT_TRUE(scan.run(&LegacyCallHistoryCarving::RecoverDeletedCallHistory));
    const auto calls = scan.record.DeletedCallLog.snapshot();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->Address(), "5715550103");
    EXPECT_EQ(calls[0]->LocalTime(), "2024-03-01 10:00:00");
    EXPECT_EQ(calls[0]->CallDuration(), 244);
    EXPECT_EQ(calls[0]->CallType(), "Incoming - Answered");
}

TEST_F(LegacyCallHistory, OlderRoutinesDecodeNumbersAsISO2022JP) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"+15554440003", "+15554440003"},
        {"\x1b$B$3$s\x1b(B", "\u3053\u3093"},  // two kana between the shifts
        {"+1555\n0003", "+1555 0003"},
        {"\x1b$B\xff\xfe\x1b(B", ""},  // no character: no call
    };
    for (const auto& c : cases) {
        const Buffer bytes = Bytes0(512, {{100, Cell(9, c.bytes, static_cast<std::uint32_t>(kDate))}});
        CallScan scan(5);
        scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(bytes.data(), bytes.size()));
        EXPECT_EQ(scan.run(&LegacyCallHistoryCarving::RecoverDeletedNewCallHistory), !c.text.empty()) << c.text;
        EXPECT_EQ(Numbers(scan.record.DeletedCallLog),
                  c.text.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.text});
    }
}

TEST_F(LegacyCallHistory, IOS6AndIOS7RoutinesListDeletedRowsAndLeaveLiveOnesOut) {
    const std::set<std::string> deleted = {kFreed1.address, kFreed2.address, kTail1.address, kTail2.address};
    for (const Routine routine :
         {&LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory, &LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4}) {
        CallScan scan(7);
        FillMixed(scan);
        scan.addPerson("Anna", "+1 (555) 333-0002");
        EXPECT_TRUE(scan.run(routine));
        EXPECT_EQ(NumberSet(scan.record.DeletedCallLog), deleted);
        EXPECT_EQ(scan.record.DeletedCallLogCount.load(), 4);
        for (const auto& call : scan.record.DeletedCallLog.snapshot())
            EXPECT_EQ(call->ContactName(), NumberOf(*call) == kTail2.address ? "Anna" : "") << NumberOf(*call);
    }
}

TEST_F(LegacyCallHistory, IOS7RoutineReadsEveryColumnAndKeepsWhatWasListed) {
    CallScan scan(7);
    FillMixed(scan);
    auto earlier = std::make_shared<CallLog>();
    scan.record.DeletedCallLog.append(earlier);
    ASSERT_TRUE(scan.run(&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4));
    const auto calls = scan.record.DeletedCallLog.snapshot();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0], earlier);
    const auto find = [&](const std::string& number) {
        const auto it = std::find_if(calls.begin(), calls.end(), [&](const auto& call) { return NumberOf(*call) == number; });
        return it == calls.end() ? nullptr : *it;
    };
    const struct {
        const Call* row;
        const char* callType;
        const char* mode;
    } cases[] = {{&kTail2, "Outgoing - Answered", "Call"},
                 {&kTail1, "Incoming - Missed call", "Call"},
                 {&kFreed1, "Outgoing - Answered", "Call"},
                 {&kFreed2, "Incoming - Answered", "FaceTime"}};
    for (const auto& c : cases) {
        const auto call = find(c.row->address);
        ASSERT_TRUE(call) << c.row->address;
        EXPECT_EQ(call->LocalTime(), "2024-03-01 10:00:00") << c.row->address;
        EXPECT_EQ(call->CallDuration(), c.row->duration) << c.row->address;
        EXPECT_EQ(call->CallType(), c.callType) << c.row->address;
        EXPECT_EQ(call->CallMode(), c.mode) << c.row->address;
        EXPECT_EQ(call->isChecked(), 0) << c.row->address;
    }
}

// A phone's call history holds freed copies of whole pages (as a real iOS 7 file does): the
// deleted rows on such a copy are the same calls again, and the live rows on it no deleted ones.
TEST_F(LegacyCallHistory, IOS7RoutineListsEachCallOnceThoughItsPageWasCopied) {
    CallScan scan(7);
    FillMixed(scan);
    Buffer bytes = scan.fileBytes();
    const std::size_t pageSize = static_cast<std::size_t>(bytes[16]) << 8 | bytes[17];
    const std::string number = kFreed1.address;
    const auto at = static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), number.begin(), number.end()) -
                                             bytes.begin());
    ASSERT_LT(at, bytes.size());
    const std::size_t page = at / pageSize * pageSize;
    bytes.insert(bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(page),
                 bytes.begin() + static_cast<std::ptrdiff_t>(page + pageSize));
    scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(bytes.data(), bytes.size()));
    ASSERT_TRUE(scan.run(&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4));
    auto numbers = Numbers(scan.record.DeletedCallLog);
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<std::string>{kFreed1.address, kFreed2.address, kTail1.address, kTail2.address}));
}

TEST_F(LegacyCallHistory, IOS7_0_2RoutineSplitsFreedRowsIntoCallsAndFaceTimeCalls) {
    CallScan scan(7);
    FillMixed(scan);
    scan.record.DeletedCallLog.append(std::make_shared<CallLog>());
    EXPECT_TRUE(scan.run(&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_2));
    EXPECT_EQ(Numbers(scan.record.DeletedCallLog),
              (std::vector<std::string>{kTail2.address, kTail1.address, kFreed1.address}));
    EXPECT_EQ(Numbers(scan.record.DeletedFaceTime), std::vector<std::string>{kFreed2.address});
    EXPECT_EQ(scan.record.DeletedCallLogCount.load(), 0);
}

TEST_F(LegacyCallHistory, IOS7_0_2RoutineLeavesOutAFreedRowOfALiveRowIdWithItsDate) {
    CallScan scan(7);
    {
        FixtureDatabase db = scan.create();
        db.insert("call", RowOf(Call{"+15557770000"}));
        db.close();
    }
    const Buffer bytes = Bytes0(2048, {{300, FreedCell(1, "+15557770001", kDate)},
                                       {600, FreedCell(1, "+15557770002", kDate + 7200)},
                                       {900, FreedCell(0, "+15557770003", kDate)}});
    scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(bytes.data(), bytes.size()));
    EXPECT_TRUE(scan.run(&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_2));
    EXPECT_EQ(Numbers(scan.record.DeletedCallLog), (std::vector<std::string>{"+15557770002", "+15557770003"}));
}

TEST_F(LegacyCallHistory, AHeaderInsideACandidatesValuesTakesOverTheScan) {
    // The first header claims a 40-character address; the second row's cell lies in that span.
    Buffer outer = Cell(5, "", kDate, 13 + 2 * 40);
    outer.resize(16);  // payload length, row id and header
    const Buffer text = {'+', '1', '5', '5', '5'};
    outer.insert(outer.end(), text.begin(), text.end());
    const Buffer inner = Cell(6, "+15559998888", kDate);
    outer.insert(outer.end(), inner.begin(), inner.end());
    const Buffer bytes = Bytes0(2048, {{100, outer}});
    CallScan scan(7);
    scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(bytes.data(), bytes.size()));
    EXPECT_TRUE(scan.run(&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4));
    EXPECT_EQ(Numbers(scan.record.DeletedCallLog), std::vector<std::string>{"+15559998888"});
}

TEST_F(LegacyCallHistory, IOS6RoutineScansFilesOf4096BytesAndMore) {
    for (const std::size_t size : {4095u, 4096u}) {
        const Buffer bytes = Bytes0(size, {{200, Cell(9, "+15556660001", kDate)}});
        CallScan scan(6);
        scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(bytes.data(), bytes.size()));
        EXPECT_EQ(scan.run(&LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory), size == 4096) << size;
        EXPECT_EQ(scan.record.DeletedCallLog.size(), size == 4096 ? 1u : 0u) << size;
    }
}

TEST_F(LegacyCallHistory, ShortNumbersAreNeverListed) {
    const struct {
        Routine routine;
        std::string number;
    } cases[] = {{&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4, "12"},
                 {&LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_2, "12"},
                 {&LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory, "12345"}};
    for (const auto& c : cases) {
        const Buffer bytes = Bytes0(4096, {{200, Cell(9, c.number, kDate)}, {400, FreedCell(0, c.number, kDate)}});
        CallScan scan(7);
        scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(bytes.data(), bytes.size()));
        EXPECT_FALSE(scan.run(c.routine)) << c.number;
        EXPECT_TRUE(scan.record.DeletedCallLog.empty()) << c.number;
    }
}

TEST_F(LegacyCallHistory, DamagedFilesGiveNoRecordPastTheirEnd) {
    CallScan source(7);
    FillMixed(source);
    const Buffer whole = source.fileBytes();
    const std::string number = kTail2.address;
    const auto at = static_cast<std::size_t>(
        std::search(whole.begin(), whole.end(), number.begin(), number.end()) - whole.begin());
    ASSERT_LT(at, whole.size());
    // A row's address running past the end; a header at the very end; a hand-made row whose
    // address type claims 40 characters where the file ends after 5.
    Buffer claimsTooMuch = Bytes0(5000, {});
    Buffer tail = Cell(9, "+1555", kDate, 13 + 2 * 40);
    tail.resize(16 + 5);
    std::copy(tail.begin(), tail.end(), claimsTooMuch.end() - static_cast<std::ptrdiff_t>(tail.size()));
    const struct {
        const char* name;
        Buffer bytes;
        bool listsNothing;
    } files[] = {{"address cut", Buffer(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(at + 4)), false},
                 {"header at the end", Buffer(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(at - 8)), false},
                 {"length past the end", claimsTooMuch, true},
                 {"tiny", Buffer(whole.begin(), whole.begin() + 7), true}};
    for (const auto& file : files) {
        for (const NamedRoutine& routine : kRoutines) {
            CallScan scan(routine.ios);
            scan.legacy->setDatabaseBytes(DatabaseRole::CallHistory, FileBytes(file.bytes.data(), file.bytes.size()));
            scan.run(routine.routine);
            for (const auto& call : scan.record.DeletedCallLog.snapshot())
                EXPECT_NE(NumberOf(*call), number) << file.name << ", " << routine.name;
            if (file.listsNothing) {
                EXPECT_TRUE(scan.record.DeletedCallLog.empty()) << file.name << ", " << routine.name;
            }
        }
    }
}

// The call table of an iOS 4.2.1 phone as its own file declares it: seven columns after the row
// id, no FaceTime column.
constexpr const char* kIOS4CallTable =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration INTEGER,"
    " flags INTEGER, id INTEGER, name TEXT, country_code TEXT);"
    "CREATE INDEX date_index on call(date);";

// The call table of iOS 7: the iOS 6 table (call_history-ios4.sql) with `answered` appended,
// thirteen columns after the row id.
constexpr const char* kIOS7CallTable =
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration INTEGER,"
    " flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT, read INTEGER, assisted INTEGER,"
    " face_time_data BLOB, originalAddress TEXT, answered INTEGER DEFAULT '1');"
    "CREATE INDEX date_index on call(date);";

// One phone call as the phone writes it; iOS 7 rows also fill the later columns.
struct PhoneCall {
    std::string address;
    std::int64_t date;
    std::int64_t duration;
    std::int64_t flags;
};

Row PhoneRow(const PhoneCall& call, bool ios7) {
    Row row = {{"address", call.address}, {"date", call.date}, {"duration", call.duration},
               {"flags", call.flags},     {"id", -1},          {"name", ""},
               {"country_code", "310"}};
    if (!ios7) return row;
    const Row later = {{"network_code", "410"}, {"read", 1},  {"assisted", 0}, {"face_time_data", ColumnValue()},
                       {"originalAddress", call.address},    {"answered", 1}};
    row.insert(row.end(), later.begin(), later.end());
    return row;
}

TEST_F(LegacyCallHistory, RealLayoutsListOnlyTheDeletedCallsWithEveryField) {
    // Five calls of June 2012 (Unix seconds), two of them deleted in each deleting case.
    const std::vector<PhoneCall> calls = {{"6508870260", 1339531490, 20, 4},
                                          {"7038296191", 1339534334, 56, 4},
                                          {"+15713083236", 1339604953, 0, 5},
                                          {"5712458517", 1340386466, 0, 4},
                                          {"5713083236", 1341587930, 244, 5},
                                          {"+14155550106", 1341600000, 42, 4},
                                          {"+14155550107", 1341700000, 3600, 5}};
    const struct {
        const char* name;
        int ios;
        Routine routine;
        bool deleting;
    } cases[] = {
        {"iOS 4.2.1 table, nothing deleted", 4, &LegacyCallHistoryCarving::RecoverDeletedCallHistory, false},
        {"iOS 4.2.1 table", 4, &LegacyCallHistoryCarving::RecoverDeletedCallHistory, true},
        {"iOS 7 table, nothing deleted", 7, &LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4, false},
        {"iOS 7 table", 7, &LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4, true},
    };
    for (const auto& c : cases) {
        CallScan scan(c.ios);
        {
            FixtureDatabase db(scan.databasePath());
            db.exec(c.ios == 7 ? kIOS7CallTable : kIOS4CallTable);
            for (const PhoneCall& call : calls) db.insert("call", PhoneRow(call, c.ios == 7));
            if (c.deleting) {
                for (const std::int64_t rowId : {2, 4}) ASSERT_TRUE(db.deleteRow("call", rowId)) << c.name;
            }
            db.close();
        }
        scan.run(c.routine);
        const auto carved = scan.record.DeletedCallLog.snapshot();
        if (!c.deleting) {
            EXPECT_TRUE(carved.empty()) << c.name << ": " << (carved.empty() ? "" : NumberOf(*carved[0]));
            continue;
        }
        ASSERT_EQ(carved.size(), 2u) << c.name;
        // Later rows lie lower on the page and are met first.
        const struct {
            const char* address;
            const char* time;
            std::int32_t duration;
            const char* type;
        } expected[] = {{"5712458517", "2012-06-22 19:34:26", 0, "Incoming - Missed call"},
                        {"7038296191", "2012-06-12 22:52:14", 56, "Incoming - Answered"}};
        for (std::size_t k = 0; k < carved.size(); ++k) {
            EXPECT_EQ(carved[k]->Address(), expected[k].address) << c.name;
            EXPECT_EQ(carved[k]->LocalTime(), expected[k].time) << c.name;
            EXPECT_EQ(carved[k]->CallDuration(), expected[k].duration) << c.name;
            EXPECT_EQ(carved[k]->CallType(), expected[k].type) << c.name;
        }
    }
}

TEST_F(LegacyCallHistory, MissingFilesAndStoppedScansListNothing) {
    std::stop_source stopped;
    stopped.request_stop();
    for (const NamedRoutine& routine : kRoutines) {
        CallScan missing(routine.ios);
        EXPECT_FALSE(missing.run(routine.routine)) << routine.name;
        EXPECT_TRUE(missing.record.DeletedCallLog.empty()) << routine.name;

        CallScan stop(routine.ios, stopped.get_token());
        FillMixed(stop);
        EXPECT_FALSE(stop.run(routine.routine)) << routine.name;
        EXPECT_TRUE(stop.record.DeletedCallLog.empty()) << routine.name;
        EXPECT_TRUE(stop.record.DeletedFaceTime.empty()) << routine.name;
    }
}

}  // namespace

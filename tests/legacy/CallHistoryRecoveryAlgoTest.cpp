// The call-record parser on the iOS 8 call store's fixed ZCALLRECORD layout: the byte helpers,
// the serial-type handlers, rows inserted and deleted in a real store, damaged stores and a
// stopped scan.

#include "common/Clock.h"
#include "legacy/CallHistoryRecoveryAlgo.h"
#include "legacy/CommanFunctions.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::Row;
using Buffer = std::vector<std::uint8_t>;

void ReplaceOnce(std::string& text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("schema lacks: " + from);
    text.replace(at, from.size(), to);
}

// The iOS 8 call store as the parser reads it, from the schema file of the iOS 9 store (the
// nearest there is): without ZLOCATION, which iOS 9 added, and with ZADDRESS a string, in its
// alphabetical place among the strings.
std::string CallStoreSchemaOfIOS8() {
    std::string sql = testsupport::LoadSchema("callhistory-storedata-ios8.sql");
    ReplaceOnce(sql, "    ZLOCATION VARCHAR,\n", "");
    ReplaceOnce(sql, "    ZUNIQUE_ID VARCHAR UNIQUE,\n    ZADDRESS BLOB\n", "    ZUNIQUE_ID VARCHAR UNIQUE\n");
    ReplaceOnce(sql, "    ZDEVICE_ID VARCHAR,\n", "    ZADDRESS VARCHAR,\n    ZDEVICE_ID VARCHAR,\n");
    return sql;
}

// 2024-03-01 09:00:00 UTC in seconds since 2001-01-01.
constexpr double kAppleDate = 730976400.0;

struct StoredCall {
    std::int64_t pk;
    std::string address;
    double date = kAppleDate;
    double duration = 65;
    std::int64_t callType = 1;
    std::int64_t originated = 1;
    std::int64_t answered = 1;
    ColumnValue name = ColumnValue();
};

Row RowOf(const StoredCall& call) {
    return {{"Z_PK", call.pk},
            {"Z_ENT", 2},
            {"Z_OPT", 1},
            {"ZANSWERED", call.answered},
            {"ZCALLTYPE", call.callType},
            {"ZDISCONNECTED_CAUSE", 0},
            {"ZNUMBER_AVAILABILITY", 0},
            {"ZORIGINATED", call.originated},
            {"ZREAD", 1},
            {"ZDATE", call.date},
            {"ZDURATION", call.duration},
            {"ZADDRESS", call.address},
            {"ZISO_COUNTRY_CODE", "us"},
            {"ZNAME", call.name},
            {"ZUNIQUE_ID", "6F1C2A44-0B7E-4F0A-9C55-0000000000" + std::to_string(10 + call.pk)}};
}

// Two live calls around three deleted ones. The lowest deleted cell gets the freeblock header
// (over its payload length, row id, header length and Z_PK type); the two above it merge into
// that block and keep their bytes.
const StoredCall kLive1{1, "+15550000001"};
const StoredCall kWhole1{2, "+15550000002", kAppleDate, 65, 1, 1, 1, ColumnValue("J")};
const StoredCall kWhole2{3, "+15550000003", kAppleDate + 0.5, 12.5, 8, 0, 0};
const StoredCall kHeaded{4, "+15550000004"};
const StoredCall kLive2{5, "+15550000005"};

struct ParserScan {
    testsupport::TempDir dir;
    BrimleyAppDelegate record;
    std::unique_ptr<CallHistoryRecoveryAlgo> parser;

    explicit ParserScan(std::stop_token stop = {}) {
        ScanContext context = testsupport::ContextFor(record, std::move(stop));
        context.backupFolder = dir.path().string();
        parser = std::make_unique<CallHistoryRecoveryAlgo>(context);
    }
    std::filesystem::path storePath() const { return dir / CallHistoryRecoveryAlgo::kCallStoreName; }
    void fill() const {
        FixtureDatabase db(storePath());
        db.exec(CallStoreSchemaOfIOS8());
        for (const StoredCall* call : {&kLive1, &kWhole1, &kWhole2, &kHeaded, &kLive2})
            db.insert("ZCALLRECORD", RowOf(*call));
        for (const std::int64_t pk : {4, 3, 2}) db.deleteRow("ZCALLRECORD", pk);
        db.close();
    }
    Buffer storeBytes() const {
        std::ifstream in(storePath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeStore(const Buffer& bytes) const {
        std::ofstream out(storePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::set<std::int32_t> listedKeys() const {
        std::set<std::int32_t> keys;
        for (const auto& call : record.DeletedCallLog.snapshot()) keys.insert(call->SlNo());
        return keys;
    }
};

std::size_t Find(const Buffer& bytes, const std::string& text) {
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) - bytes.begin());
}

TEST(LegacyCallRecordParser, CommonFunctionsDecodeBigEndianValuesAndTwoByteVarints) {
    const Buffer bytes = {0x01, 0x2C, 0x00, 0x10, 0xFF};
    const FileBytes view(bytes.data(), bytes.size());
    const CommanFunctions& common = CommanFunctions::sharedObject();
    const struct {
        std::int32_t len;
        std::uint32_t value;
    } cases[] = {{1, 0x01}, {2, 300}, {3, 0x012C00}, {4, 0x012C0010}, {5, 0}, {0, 0}, {-1, 0}};
    for (const auto& c : cases) EXPECT_EQ(common.ParseIntegerValueFromBytes(view, c.len), c.value) << c.len;
    // A length past the end of the data reads zeros there.
    EXPECT_EQ(common.ParseIntegerValueFromBytes(view.from(4), 2), 0xFF00u);
    EXPECT_EQ(common.GetRowID(static_cast<std::int8_t>(0x81), 0x05), 133);
    EXPECT_EQ(&CommanFunctions::sharedObject(), &common);
}

TEST(LegacyCallRecordParser, SerialTypesGiveLengthsAndValues) {
    ParserScan scan;
    CallHistoryRecoveryAlgo& parser = *scan.parser;
    using Handler = void (CallHistoryRecoveryAlgo::*)(std::int64_t, CallLogColumn&) const;
    const Handler integer = &CallHistoryRecoveryAlgo::getIntegerHeaderLength;
    const Handler timestamp = &CallHistoryRecoveryAlgo::getTIMESTAMPHeaderLength;
    const Handler text = &CallHistoryRecoveryAlgo::getVarCharHeaderLength;
    const struct {
        Handler handler;
        Buffer bytes;
        std::int32_t length;
        ColumnValue value;  // "" while the value is still to be read
        std::int32_t headerBytes;
    } cases[] = {
        {integer, {8}, 0, std::int64_t{0}, 1},
        {integer, {9}, 0, std::int64_t{1}, 1},
        {integer, {1}, 1, "", 1},
        {integer, {4}, 4, "", 1},
        {integer, {5}, 6, "", 1},
        {integer, {6}, 8, "", 1},
        {integer, {7}, 8, "", 1},  // a number with a fraction: eight bytes
        {timestamp, {7}, 8, "", 1},
        {timestamp, {8}, 0, std::int64_t{0}, 1},
        {text, {0}, 0, "", 1},
        {text, {13}, 0, "", 1},
        {text, {14}, 1, "", 1},  // a blob of one byte
        {text, {15}, 1, "", 1},  // a text of one character
        {text, {37}, 12, "", 1},
        {text, {0x81, 0x05}, 60, "", 2},
    };
    for (const auto& c : cases) {
        parser.lpBuf = FileBytes(c.bytes.data(), c.bytes.size());
        CallLogColumn column;
        (parser.*c.handler)(0, column);
        EXPECT_EQ(column.length, c.length) << int(c.bytes[0]);
        EXPECT_EQ(column.value, c.value) << int(c.bytes[0]);
        EXPECT_EQ(column.headerBytelength, c.headerBytes) << int(c.bytes[0]);
    }
}

TEST(LegacyCallRecordParser, ListsTheDeletedRowsOfTheCallStore) {
    Clock::ScopedTimeZone zone("Europe/Berlin");
    ParserScan scan;
    scan.fill();
    // A record listed before the parse stays, ahead of the parsed ones.
    const auto earlier = std::make_shared<CallLog>();
    scan.record.DeletedCallLog.append(earlier);
    EXPECT_EQ(scan.parser->fetchCallHistoryFrom_ZCALLRECORD_Table(), 3);
    EXPECT_EQ(scan.record.DeletedCallLogCount.load(), 3);
    auto calls = scan.record.DeletedCallLog.snapshot();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls.front(), earlier);
    calls.erase(calls.begin());
    const struct {
        const StoredCall* row;
        std::int32_t duration;
        const char* callType;
        const char* mode;
    } cases[] = {{&kWhole2, 12, "Incoming - Missed call", "0"},
                 {&kWhole1, 65, "Outgoing - Answered", "1"}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const CallLog& call = *calls[i];
        const auto& c = cases[i];
        EXPECT_EQ(call.SlNo(), c.row->pk);
        EXPECT_EQ(call.Address(), c.row->address);
        EXPECT_EQ(call.PhoneNumber(), c.row->address);
        EXPECT_EQ(call.LocalTime(), "2024-03-01T10:00:00+0100");
        EXPECT_EQ(call.CallDuration(), c.duration);
        EXPECT_EQ(call.CallType(), c.callType);
        EXPECT_EQ(call.CallMode(), c.mode);
        EXPECT_EQ(call.isChecked(), 0);
    }
}

TEST(LegacyCallRecordParser, DamagedStoresGiveNoRecordPastTheirEnd) {
    ParserScan source;
    source.fill();
    const Buffer whole = source.storeBytes();
    const std::size_t first = Find(whole, kWhole1.address);
    const std::size_t second = Find(whole, kWhole2.address);
    ASSERT_LT(first, whole.size());
    ASSERT_LT(second, first);
    // The header-length byte of the second row: its values start 18 bytes on, after the
    // integers and the date that come before the address.
    Buffer notACandidate = whole;
    const std::uint8_t headerStart[] = {18, 0};
    const std::size_t header = static_cast<std::size_t>(
        std::find_end(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(second), std::begin(headerStart),
                      std::end(headerStart)) -
        whole.begin());
    ASSERT_LT(header, second);
    notACandidate[header + 1] = 1;
    Buffer endsWithAHeader(64, 0);
    endsWithAHeader[62] = 18;
    const struct {
        const char* name;
        Buffer bytes;
        std::set<std::int32_t> listed;  // among the deleted rows 2 and 3
    } stores[] = {
        {"18 then a non-zero byte", notACandidate, {2}},
        {"first address cut", Buffer(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(first + 3)), {3}},
        {"second header cut", Buffer(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(header + 9)), {}},
        {"a header at the very end", endsWithAHeader, {}},
        {"empty", {}, {}},
    };
    for (const auto& store : stores) {
        ParserScan scan;
        scan.writeStore(store.bytes);
        scan.parser->fetchCallHistoryFrom_ZCALLRECORD_Table();
        std::set<std::int32_t> listed;
        for (const std::int32_t key : scan.listedKeys())
            if (key == 2 || key == 3) listed.insert(key);
        EXPECT_EQ(listed, store.listed) << store.name;
    }
}

TEST(LegacyCallRecordParser, AMissingStoreOrAStoppedScanChangesNothing) {
    ParserScan missing;
    auto earlier = std::make_shared<CallLog>();
    missing.record.DeletedCallLog.append(earlier);
    EXPECT_EQ(missing.parser->fetchCallHistoryFrom_ZCALLRECORD_Table(), 0);
    EXPECT_EQ(missing.record.DeletedCallLog.snapshot(), std::vector{earlier});

    std::stop_source stop;
    stop.request_stop();
    ParserScan stopped(stop.get_token());
    stopped.fill();
    EXPECT_EQ(stopped.parser->fetchCallHistoryFrom_ZCALLRECORD_Table(), 0);
    EXPECT_TRUE(stopped.record.DeletedCallLog.empty());
}

}  // namespace

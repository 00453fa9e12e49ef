#include "legacy/LegacyCallHistoryCarving.h"
#include "legacy/LegacyText.h"

#include "common/NSStringUtils.h"
#include "database/DAOs.h"
#include "database/PartnerNames.h"
#include "database/QueryDates.h"
#include "legacy/Constants.h"
#include "legacy/LegacyLiveCells.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallHistory.h"
#include "records/CallLog.h"


#include <algorithm>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

namespace {

using CallList = std::vector<std::shared_ptr<CallLog>>;

// Between candidates the stop token is tested once per this many positions.
constexpr std::uint32_t kStopStride = 1u << 16;

// Whether the scan was stopped, asked at every candidate and once per kStopStride positions.
class StopCheck {
public:
    explicit StopCheck(const LegacyRecovery& run) : run_(run) {}
    bool now() const { return run_.stopRequested(); }
    bool sometimes() { return ++steps_ % kStopStride == 0 && run_.stopRequested(); }

private:
    const LegacyRecovery& run_;
    std::uint32_t steps_ = 0;
};
// A serial type longer than a SQLite varint can be is no record header.
constexpr std::int32_t kMaxVarintBytes = 9;
// The columns after the row id that the iOS 7 routines read the serial types of, when the
// file's schema cannot be read: the twelve of iOS 6.
constexpr std::int32_t kCallColumns = 12;
constexpr std::int32_t kFaceTimeColumn = 10;

bool OneOf(std::uint8_t byte, std::initializer_list<std::uint8_t> set) {
    return std::find(set.begin(), set.end(), byte) != set.end();
}

std::string Replaced(std::string text, char from, const char* to) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == from)
            out += to;
        else
            out.push_back(c);
    }
    return out;
}

// The four bytes at offset, most significant first, as a date text; none for 0 or no date.
OptString DateOfBytes(FileBytes bytes, std::int64_t offset) {
    const std::uint32_t seconds = LegacyRecovery::GetDwordFromBuffer(bytes, offset, 4);
    if (seconds == 0) return std::nullopt;
    return LegacyRecovery::GetDateFromInteger(seconds);
}

// The column descriptors of one candidate row: kind and byte length per column, in order.
struct CallColumns {
    std::vector<std::string> kinds;
    std::vector<std::int64_t> lengths;
    std::int64_t typeBytes = 0;   // the header bytes the serial types take
    std::int64_t valueBytes = 0;  // the sum of the lengths
};

// Reads the serial types of the columns after the row id (count of them) from s on; a serial
// type of more bytes than a varint has, or one that runs past the end of the data, gives no row.
bool ReadColumns(FileBytes bytes, std::int64_t s, std::int32_t count, CallColumns& columns) {
    columns.kinds.clear();
    columns.lengths.clear();
    columns.valueBytes = 0;
    std::int64_t n = count;
    for (std::int64_t c = 0; c < n; ++c) {
        const std::int64_t at = s + c;
        if (!bytes.has(at, 1)) return false;
        const std::int32_t m = Constants::huffman_check(at, bytes);
        if (m < 1 || m > kMaxVarintBytes || !bytes.has(at, m)) return false;
        Constants::ColumnDescriptor descriptor;
        if (m == 1) {
            descriptor = Constants::getDataType(bytes[at]);
        } else {
            n += m - 1;
            c += m - 1;
            descriptor = Constants::getDataType(Constants::huffman_calc(at, m, bytes));
        }
        const std::int64_t length = std::stoll(descriptor.second);
        columns.kinds.push_back(std::move(descriptor.first));
        columns.lengths.push_back(length);
        columns.valueBytes += length;
    }
    columns.typeBytes = n;
    return true;
}

// The type text of a carved call, from the same table that types the calls listed live: the
// older table keeps no answered mark in the bytes read here, so a call was taken when it lasted.
std::string TypeOfCall(std::int32_t flags, std::int64_t seconds) {
    CallFacts facts;
    facts.flags = flags;
    facts.seconds = seconds;
    return KindOfCall(facts).type;
}

// What the value walk cut out of one candidate row.
struct CarvedCall {
    std::shared_ptr<CallLog> call;
    // The date column's seconds since 1970, when it has four bytes.
    std::optional<std::int32_t> seconds;
};

// Walks the values from the data start d (left at the start of the last column's value) and
// builds the call; none when a value would run past the end of the data.
std::optional<CarvedCall> ReadValues(FileBytes bytes, std::int64_t& d, const CallColumns& columns,
                                     std::string_view datePattern, bool trimAddress) {
    CarvedCall carved{std::make_shared<CallLog>(), std::nullopt};
    CallLog& call = *carved.call;
    call.setIsChecked(0);
    const auto count = static_cast<std::int64_t>(columns.kinds.size());
    for (std::int64_t c = 0; c + 1 < count; ++c) {
        const std::int64_t length = columns.lengths[static_cast<std::size_t>(c)];
        const std::string& kind = columns.kinds[static_cast<std::size_t>(c)];
        d += length;
        if (!bytes.has(d - length, length)) return std::nullopt;
        if (kind == "INTEGER") {
            if (c == 1 && length == 4) {
                const auto seconds = static_cast<std::int32_t>(LegacyRecovery::GetDwordFromBuffer(bytes, d - 4, 4));
                carved.seconds = seconds;
                call.setLocalTime(FormatDateWithPattern(DateFromUnixSeconds(seconds), datePattern));
            } else {
                const std::int32_t value = Constants::big_endian(d - length, static_cast<std::int32_t>(length), bytes);
                if (c == 2) call.setCallDuration(value);
                if (c == 3) call.setCallType(TypeOfCall(value, call.CallDuration()));
            }
        } else if (kind == "TEXT" && c == 0) {
            OptString address = AsciiOrReplacement(bytes.text(d - length, length));
            call.setAddress(trimAddress ? NSStringUtils::Trim(address) : address);
        }
        if (c == kFaceTimeColumn) call.setCallMode(length >= 1 ? "FaceTime" : "Call");
    }
    return carved;
}

bool LongerThanTwo(const OptString& text) {
    return text && LegacyRecovery::CharacterCount(*text) > 2;
}

// The serial types of the duration and flags columns, which follow the date, when the
// pattern that found the row tells them.
struct DurationAndFlags {
    std::uint8_t duration = 0;
    std::uint8_t flags = 0;
    bool known = false;
};

// Lists a call of the older tables: the number's len bytes at p (ISO-2022-JP, line breaks as
// blanks), the four date bytes after them and, when their types are known, the duration and
// the flags (the call's type). Bytes of a live row, and a number that does not decode, give no
// call; whether one was listed.
bool ListNumberAndDate(BrimleyAppDelegate& state, FileBytes b, std::int64_t p, std::int64_t len,
                       Iso2022JpText& decoder, const LegacyLiveCells& live, DurationAndFlags types = {}) {
    if (live.overlaps(p, p + len + 4)) return false;
    const OptString number = decoder.decode(b.text(p, len));
    if (!number || number->empty()) return false;
    auto call = std::make_shared<CallLog>();
    call->setAddress(Replaced(*number, '\n', " "));
    call->setSlNo(static_cast<std::int32_t>(state.DeletedCallLog.size()) + 1);
    call->setIsChecked(0);
    if (OptString date = DateOfBytes(b, p + len)) call->setLocalTime(*date);
    if (types.known) {
        const std::int64_t at = p + len + 4;
        if (const auto duration = IntegerOfType(b, at, types.duration)) {
            call->setCallDuration(static_cast<std::int32_t>(*duration));
            if (const auto flags = IntegerOfType(b, at + ContentLength(types.duration), types.flags))
                call->setCallType(TypeOfCall(static_cast<std::int32_t>(*flags), *duration));
        }
    }
    state.DeletedCallLog.append(std::move(call));
    ++state.DeletedCallLogCount;
    return true;
}

}  // namespace

std::int32_t LegacyCallHistoryCarving::columnsAfterRowId() const {
    const auto count = run_.columnCount(DatabaseRole::CallHistory, "call");
    return count && *count > 1 ? *count - 1 : kCallColumns;
}

std::unique_ptr<DAOs> LegacyCallHistoryCarving::liveQueries() {
    // Only queries that open connections of their own are asked: the results record's handle
    // is neither read nor replaced.
    return std::make_unique<DAOs>(std::shared_ptr<FMDBUtils>(), run_.context());
}

bool LegacyCallHistoryCarving::RecoverDeletedCallHistory() {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCallLog.clear();
    if (run_.iOSMajorVersion() >= 5) return RecoverDeletedNewCallHistory();

    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::CallHistory);
    const FileBytes b = database.bytes();
    if (b.empty()) return false;

    Iso2022JpText decoder(Iso2022JpText::OnBadBytes::NoText);
    const LegacyLiveCells live(b);
    const auto callByte = [](std::uint8_t v) { return OneOf(v, {1, 2, 3, 8, 9}); };
    std::int32_t count = 0;
    StopCheck stop(run_);
    std::int64_t p = 32;
    while (p < b.length() - 400) {
        if (stop.sometimes()) break;
        std::int64_t len = 0;
        DurationAndFlags types;
        bool matched = true;
        if (b[p] != 0x88 && b[p + 2] != 9 && b[p + 5] == 4 && callByte(b[p + 6]) && callByte(b[p + 7]) &&
            callByte(b[p + 8]) && b[p + 9] == 13 && b[p + 10] == 19) {
            if (b[p + 4] != 0) len = (b[p + 4] - 15) / 2 + 1;
            types = {b[p + 6], b[p + 7], true};
            p += 11;
        } else if (b[p] != 8 && b[p + 1] != 0x53 && b[p + 6] == 4 && callByte(b[p + 7]) && callByte(b[p + 8]) &&
                   callByte(b[p + 9]) && b[p + 10] == 13 && b[p + 11] == 19) {
            if (b[p + 5] != 0) len = (b[p + 5] - 15) / 2 + 1;
            types = {b[p + 7], b[p + 8], true};
            p += 12;
        } else if ((b[p] == 9 || b[p] == 1) && b[p + 1] == 1 && b[p + 3] == 13 && b[p + 4] == 19 && b[p + 5] == 17) {
            if (b[p - 2] != 0) len = b[p - 2] / 2 - 6;
            p += 6;
        } else {
            matched = false;
        }
        // Zero bytes are skipped only on the way from a matched header to its values: a run of
        // zeros may be the start of the next header (a freed cell's head is overwritten).
        if (!matched) {
            ++p;
            continue;
        }
        if (stop.now()) break;
        while (p < b.length() && b[p] == 0) ++p;
        if (len < 1) {
            ++p;
            continue;
        }
        // The address text and the four date bytes after it must lie inside the file.
        if (!b.has(p, len + 4)) continue;
        if (ListNumberAndDate(state, b, p, len, decoder, live, types)) ++count;
    }
    return count >= 1;
}

bool LegacyCallHistoryCarving::RecoverDeletedNewCallHistory() {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCallLog.clear();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::CallHistory);
    const FileBytes b = database.bytes();
    if (b.empty()) return false;

    Iso2022JpText decoder(Iso2022JpText::OnBadBytes::NoText);
    const LegacyLiveCells live(b);
    std::int32_t count = 0;
    StopCheck stop(run_);
    std::int64_t p = 32;
    while (p < b.length() - 20) {
        if (stop.sometimes()) break;
        std::int64_t len = 0;
        DurationAndFlags types;
        if (b[p] == 4 && (b[p + 1] == 8 || b[p + 1] == 1) && b[p + 4] == 13) {
            if (stop.now()) break;
            if (b[p - 2] != 0 || b[p - 3] != 0) len = (b[p - 1] - 13) / 2;
            types = {b[p + 1], b[p + 2], true};
            p += 7;
            while (p < b.length() && b[p] == 0) ++p;
        }
        while (p < b.length() && b[p] == 0) ++p;
        if (len < 1) {
            ++p;
            continue;
        }
        if (!b.has(p, len + 4)) continue;
        if (ListNumberAndDate(state, b, p, len, decoder, live, types)) ++count;
    }
    return count > 0;
}

bool LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory() {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCallLog.clear();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::CallHistory);
    const FileBytes b = database.bytes();
    if (b.length() < 4096) return false;

    const std::unique_ptr<DAOs> daos = liveQueries();
    LazyAddressBookNames names(run_.context().databasePath(DatabaseRole::AddressBook));
    const RowIdMap live = daos->GetAllCallHistroyRowID();
    const LegacyLiveCells liveCells(b);
    // A carriage return standing alone (no other one beside it).
    const auto loneReturn = [&](std::int64_t at) { return b[at] == 13 && b[at + 1] != 13 && b[at - 1] != 13; };

    std::int32_t count = 0;
    StopCheck stop(run_);
    std::int64_t p = 32;
    while (p < b.length() - 20) {
        if (stop.sometimes()) break;
        std::int64_t len = 0;
        std::int32_t rowid = -1;
        const std::int64_t start = p;
        if (b[p] == 4 && (b[p + 1] == 8 || b[p + 1] == 1 || b[p + 2] == 8 || b[p + 2] == 1) && b[p + 4] == 13) {
            if (stop.now()) break;
            if (b[p - 2] > 0 || b[p - 3] > 0) len = (b[p - 1] - 13) / 2;
            p += 5;
            if (b[p] < 0x30) {
                while (p < b.length() && b[p] < 0x30 && b[p] != 0x2B && !loneReturn(p)) ++p;
            }
            rowid = b[start - 4];
            if (b[start - 5] > 0x80)
                rowid = LegacyRecovery::GetValue(static_cast<std::int8_t>(b[start - 5]),
                                                 static_cast<std::int8_t>(b[start - 4]));
        }
        if (len <= 3 || liveCells.contains(start)) {
            ++p;
            continue;
        }
        if (b[p] == 13) ++p;
        const OptString number = LegacyRecovery::GetValidPhno(b, p, static_cast<std::int32_t>(len));
        if (!number || LegacyRecovery::CharacterCount(*number) <= 5) continue;
        const auto stored = live.find(std::to_string(rowid));
        if (stored != live.end() && stored->second == *number) continue;
        const std::string address = Replaced(Replaced(*number, '\r', ""), '\n', " ");
        auto call = std::make_shared<CallLog>();
        call->setSlNo(static_cast<std::int32_t>(state.CallLogContent.size() + state.DeletedCallLog.size()) + 1);
        call->setAddress(address);
        call->setContactName(names.nameFor(address));
        call->setIsChecked(0);
        if (b.has(p + len, 4)) {
            if (OptString date = DateOfBytes(b, p + len)) call->setLocalTime(*date);
        }
        state.DeletedCallLog.append(std::move(call));
        ++state.DeletedCallLogCount;
        ++count;
    }
    return count >= 1;
}

bool LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4() {
    BrimleyAppDelegate& state = run_.appDelegate();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::CallHistory);
    const FileBytes b = database.bytes();
    if (b.empty()) return false;

    const std::unique_ptr<DAOs> daos = liveQueries();
    LazyAddressBookNames names(run_.context().databasePath(DatabaseRole::AddressBook));
    const RowIdMap liveRows = daos->GetAllCallHistroyRowID();
    const LegacyLiveCells live(b);
    const std::int32_t callColumns = columnsAfterRowId();
    const auto anchor = [&](std::int64_t at) {
        return b[at] == 4 && OneOf(b[at + 1], {8, 9, 1, 2}) && OneOf(b[at + 3], {8, 1, 2, 9});
    };

    CallColumns columns;
    std::set<std::tuple<std::string, std::string, std::int32_t, std::string>> listed;
    StopCheck stop(run_);
    std::int64_t i = 0;
    while (i < b.length() - 6) {
        if (stop.sometimes()) break;
        if (!anchor(i)) {
            ++i;
            continue;
        }
        if (stop.now()) break;
        // h: where the row id's NULL serial type stands (or would stand); the serial types are
        // read from h + k, the byte just before the date's.
        std::int64_t h = i - 3;
        std::int64_t k = 2;
        if (b[i - 2] <= 0x80 && b[i - 3] != 0) {
            h = i - 2;
            k = 1;
        }
        // Otherwise either the address type takes two bytes, or the four bytes before it hold a
        // freeblock header now (its size's high byte, 0, at h). A byte above 0x80 just before
        // the address type is far more often a freeblock's size than the first byte of an
        // address type of 58 characters or more, so both are read from the byte before the date.
        const std::int64_t s = h + k;
        const std::int32_t r = b[h - 2] < 0x80 && b[h - 3] > 0x80 ? 2 : 1;
        const std::int32_t rowid = Constants::huffman_calc(h - r - 1, r, b);
        if (live.contains(s) || !ReadColumns(b, s, callColumns, columns)) {
            ++i;
            continue;
        }
        // Another record header inside this one: the scan goes on there.
        const std::int64_t end = std::min(h + columns.typeBytes + columns.valueBytes - 1, b.length());
        std::int64_t inner = -1;
        for (std::int64_t q = h + k + 5; q < end; ++q) {
            if (anchor(q)) {
                inner = q;
                break;
            }
        }
        if (inner >= 0) {
            i = inner;
            continue;
        }
        std::int64_t d = s + columns.typeBytes;
        std::optional<CarvedCall> carved = ReadValues(b, d, columns, "yyyy-MM-dd HH:mm:ss", true);
        if (!carved) {
            ++i;
            continue;
        }
        CallLog& call = *carved->call;
        bool keep = false;
        if (LongerThanTwo(call.Address())) {
            const auto stored = liveRows.find(std::to_string(rowid));
            if (rowid == 0 || stored == liveRows.end()) {
                keep = true;
            } else {
                // The live row's time is minute-precise; the carved one is compared in the same form.
                const std::string carvedTime =
                    carved->seconds ? FormatDateWithPattern(DateFromUnixSeconds(*carved->seconds), "yyyy-MM-dd hh:mm a")
                                    : std::string();
                keep = daos->dateForRowID(rowid) != carvedTime;
            }
        }
        // A freed copy of a page holds the same freed rows again: one call is listed once.
        if (keep && listed.insert({call.Address().value_or(""), call.LocalTime().value_or(""), call.CallDuration(),
                                   call.CallType().value_or("")})
                        .second) {
            call.setContactName(names.nameFor(call.Address()));
            state.DeletedCallLog.append(carved->call);
            ++state.DeletedCallLogCount;
        }
        i = d;
    }
    return !state.DeletedCallLog.empty();
}

bool LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_2() {
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::CallHistory);
    const FileBytes b = database.bytes();
    if (b.empty()) return false;

    const std::unique_ptr<DAOs> daos = liveQueries();
    LazyAddressBookNames names(run_.context().databasePath(DatabaseRole::AddressBook));
    const RowIdMap liveRows = daos->GetAllCallHistroyRowID();
    const LegacyLiveCells live(b);
    const std::int32_t callColumns = columnsAfterRowId();
    // A freed cell: the freeblock header's size (high byte 0), the address type, the date.
    const auto anchor = [&](std::int64_t at) {
        return b[at] == 0 && b[at + 1] != 0 && b[at + 3] == 4 && OneOf(b[at + 4], {8, 9, 1, 2}) &&
               OneOf(b[at + 6], {8, 1, 2, 9});
    };

    CallList kept;
    CallColumns columns;
    StopCheck stop(run_);
    std::int64_t i = 0;
    while (i < b.length() - 6) {
        if (stop.sometimes()) break;
        if (!anchor(i)) {
            ++i;
            continue;
        }
        if (stop.now()) break;
        const std::int64_t h = i;
        const std::int32_t r = b[h - 2] < 0x80 && b[h - 3] > 0x80 ? 2 : 1;
        const std::int32_t rowid = Constants::huffman_calc(h - r - 1, r, b);
        if (live.contains(i + 2) || !ReadColumns(b, i + 2, callColumns, columns)) {
            ++i;
            continue;
        }
        const std::int64_t end = std::min(i + columns.typeBytes + columns.valueBytes - 1, b.length());
        std::int64_t inner = -1;
        for (std::int64_t q = i + 2; q < end; ++q) {
            if (anchor(q)) {
                inner = q;
                break;
            }
        }
        if (inner >= 0) {
            i = inner;
            continue;
        }
        std::int64_t d = i + columns.typeBytes + 2;
        std::optional<CarvedCall> carved = ReadValues(b, d, columns, "yyyy-MM-dd hh:mm a", false);
        if (!carved) {
            ++i;
            continue;
        }
        CallLog& call = *carved->call;
        if (LongerThanTwo(call.Address())) {
            const bool liveRow = liveRows.count(std::to_string(rowid)) != 0;
            if (!liveRow || daos->dateForRowID(rowid) != call.LocalTime().value_or(std::string())) {
                call.setContactName(names.nameFor(call.Address()));
                if (liveRow && !call.ContactName()) call.setContactName("UnKnown");
                kept.push_back(carved->call);
            }
        }
        i = d;
    }
    splitCallLog(kept);
    return !run_.appDelegate().DeletedCallLog.empty();
}

void LegacyCallHistoryCarving::splitCallLog(const std::vector<std::shared_ptr<CallLog>>& calls) {
    CallList phone;
    CallList faceTime;
    for (const auto& call : calls) {
        if (!call || !call->CallMode()) continue;
        if (*call->CallMode() == "Call")
            phone.push_back(call);
        else if (*call->CallMode() == "FaceTime")
            faceTime.push_back(call);
    }
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCallLog.replace(std::move(phone));
    state.DeletedFaceTime.replace(std::move(faceTime));
}

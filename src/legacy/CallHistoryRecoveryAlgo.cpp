#include "legacy/CallHistoryRecoveryAlgo.h"

#include "records/CallHistory.h"
#include "legacy/LegacyText.h"

#include "database/DAOs.h"
#include "database/QueryDates.h"
#include "legacy/CommanFunctions.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"

#include <algorithm>
#include <bit>

namespace {

// Seconds from 1970-01-01 to 2001-01-01, where Core Data dates count from.
constexpr double kAppleEpochOffset = 978307200.0;

// The byte length of a value of a SQLite serial type.
std::int32_t SerialLength(std::int64_t type) {
    if (type >= 12) return static_cast<std::int32_t>(std::min<std::int64_t>((type - 12) / 2, INT32_MAX));
    switch (type) {
    case 1: case 2: case 3: case 4: return static_cast<std::int32_t>(type);
    case 5: return 6;
    case 6: case 7: return 8;
    default: return 0;
    }
}

// The count bytes at offset as a signed big-endian integer (count 1 to 8).
std::int64_t SignedBigEndian(FileBytes bytes, std::int64_t offset, std::int32_t count) {
    std::uint64_t value = (bytes[offset] & 0x80) ? ~std::uint64_t{0} : 0;
    for (std::int32_t i = 0; i < count; ++i) value = (value << 8) | bytes[offset + i];
    return static_cast<std::int64_t>(value);
}

double BigEndianDouble(FileBytes bytes, std::int64_t offset) {
    std::uint64_t value = 0;
    for (std::int32_t i = 0; i < 8; ++i) value = (value << 8) | bytes[offset + i];
    return std::bit_cast<double>(value);
}

std::int64_t IntegerOf(const CallLogRecord& record, std::string_view name) {
    const CallLogColumn* column = record.column(name);
    return column ? column->value.asInteger() : 0;
}

}  // namespace

CallHistoryRecoveryAlgo::CallHistoryRecoveryAlgo(ScanContext context) : context_(std::move(context)) {}

CallHistoryRecoveryAlgo::~CallHistoryRecoveryAlgo() = default;

void CallHistoryRecoveryAlgo::getBufferFromHaxFile() {
    file_ = MappedFile();
    if (OptString path = context_.locate(kCallStoreName)) file_ = MappedFile::open(*path);
    lpBuf = file_.bytes();
    leng = lpBuf.size();
}

std::int32_t CallHistoryRecoveryAlgo::getRowID(std::int64_t p) const {
    const CommanFunctions& common = CommanFunctions::sharedObject();
    if (lpBuf[p - 2] > 0x80)
        return common.GetRowID(static_cast<std::int8_t>(lpBuf[p - 2]), static_cast<std::int8_t>(lpBuf[p - 1]));
    return lpBuf[p - 1];
}

std::int32_t CallHistoryRecoveryAlgo::getPayLoadLength(std::int64_t p) const {
    const CommanFunctions& common = CommanFunctions::sharedObject();
    // The payload length stands before the row id, which takes two bytes when its first has
    // the high bit set.
    const std::int64_t end = lpBuf[p - 2] > 0x80 ? p - 3 : p - 2;
    if (lpBuf[end - 1] > 0x80)
        return common.GetRowID(static_cast<std::int8_t>(lpBuf[end - 1]), static_cast<std::int8_t>(lpBuf[end]));
    return lpBuf[end];
}

void CallHistoryRecoveryAlgo::getIntegerHeaderLength(std::int64_t q, CallLogColumn& column) const {
    const std::int32_t t = lpBuf[q];
    column.serialType = t;
    column.headerBytelength = 1;
    if (t == 8 || t == 9) {
        column.length = 0;
        column.value = std::int64_t{t == 9 ? 1 : 0};
        return;
    }
    column.length = SerialLength(t);
    column.value = std::string();
}

void CallHistoryRecoveryAlgo::getTIMESTAMPHeaderLength(std::int64_t q, CallLogColumn& column) const {
    getIntegerHeaderLength(q, column);
}

void CallHistoryRecoveryAlgo::getVarCharHeaderLength(std::int64_t q, CallLogColumn& column) const {
    std::int32_t v = lpBuf[q];
    column.headerBytelength = 1;
    if (v > 0x80) {
        v = CommanFunctions::sharedObject().GetRowID(static_cast<std::int8_t>(lpBuf[q]),
                                                     static_cast<std::int8_t>(lpBuf[q + 1]));
        column.headerBytelength = 2;
    }
    column.serialType = v;
    // Below 12 a text column holds nothing (NULL); above, a text or blob of (v - 12) / 2 bytes
    // (a text of one character is 15, a blob of one byte 14).
    column.length = v < 12 ? 0 : SerialLength(v);
    column.value = std::string();
}

void CallHistoryRecoveryAlgo::getIntegerValueLength(std::int64_t q, CallLogColumn& column) const {
    if (column.length <= 0 || !column.pending()) return;
    if (column.serialType == 7) {
        // A number column holding a fraction: whole units.
        const double number = BigEndianDouble(lpBuf, q);
        column.value = number >= -9.0e18 && number <= 9.0e18 ? static_cast<std::int64_t>(number) : std::int64_t{0};
    } else if (column.length > 4) {
        column.value = SignedBigEndian(lpBuf, q, column.length);
    } else {
        column.value = std::int64_t{
            CommanFunctions::sharedObject().ParseIntegerValueFromBytes(lpBuf.from(q), column.length)};
    }
}

void CallHistoryRecoveryAlgo::getTIMESTAMPValueLength(std::int64_t q, CallLogColumn& column) const {
    if (column.length <= 0 || !column.pending()) return;
    // Core Data keeps dates as seconds since 2001-01-01: a double, or an integer when the value
    // is whole.
    double seconds = 0;
    if (column.serialType == 7)
        seconds = BigEndianDouble(lpBuf, q);
    else if (column.serialType >= 1 && column.serialType <= 6)
        seconds = static_cast<double>(SignedBigEndian(lpBuf, q, column.length));
    else
        return;
    const OptDate date = DateFromUnixSeconds(seconds + kAppleEpochOffset);
    if (!date) return;
    column.value = FormatDateWithPattern(date, "yyyy-MM-dd'T'HH:mm:ssZ");
}

void CallHistoryRecoveryAlgo::getVarCharValueLength(std::int64_t q, CallLogColumn& column) const {
    if (column.length <= 0 || !column.pending()) return;
    column.value = AsciiOrReplacement(lpBuf.text(q, column.length));
}

bool CallHistoryRecoveryAlgo::fetchHeader(std::int64_t p, CallLogRecord& record, std::int32_t) const {
    std::int64_t q = p + 1;
    for (CallLogColumn& column : record.ZCALLRECORDSchema) {
        if (!lpBuf.has(q, column.type == kCallLogVarChar ? 2 : 1)) return false;
        switch (column.type) {
        case kCallLogTimestamp: getTIMESTAMPHeaderLength(q, column); break;
        case kCallLogVarChar: getVarCharHeaderLength(q, column); break;
        default: getIntegerHeaderLength(q, column); break;
        }
        q += column.headerBytelength;
    }
    return true;
}

bool CallHistoryRecoveryAlgo::fetchRecord(std::int64_t dataStart, CallLogRecord& record, std::int32_t) const {
    std::int64_t q = dataStart;
    for (CallLogColumn& column : record.ZCALLRECORDSchema) {
        if (!lpBuf.has(q, column.length)) return false;
        switch (column.type) {
        case kCallLogTimestamp: getTIMESTAMPValueLength(q, column); break;
        case kCallLogVarChar: getVarCharValueLength(q, column); break;
        default: getIntegerValueLength(q, column); break;
        }
        q += column.length;
    }
    return true;
}

bool CallHistoryRecoveryAlgo::isLiveRow(std::int32_t rowId) {
    if (auto known = liveRows_.find(rowId); known != liveRows_.end()) return known->second;
    if (!daos_) {
        // The live table is read through a connection of the query's own on the call store;
        // the results record's handle is neither used nor replaced.
        ScanContext reading = context_;
        reading.databaseNames[static_cast<std::size_t>(DatabaseRole::CallHistory)] = kCallStoreName;
        daos_ = std::make_unique<DAOs>(std::shared_ptr<FMDBUtils>(), std::move(reading));
    }
    const bool live = daos_->isDeletedZCALLRECORD(rowId);
    liveRows_.emplace(rowId, live);
    return live;
}

std::int32_t CallHistoryRecoveryAlgo::fetchCallHistoryFrom_ZCALLRECORD_Table() {
    getBufferFromHaxFile();
    if (leng == 0) return 0;

    const std::int64_t length = lpBuf.length();
    std::vector<CallLogRecord> found;
    std::int64_t p = 32;
    std::uint32_t steps = 0;
    while (p < length - 18) {
        // The stop token is asked at every candidate and once per 65536 positions.
        if (lpBuf[p] != 18 || lpBuf[p + 1] != 0) {
            if (++steps % (1u << 16) == 0 && context_.cancelled()) break;
            ++p;
            continue;
        }
        if (context_.cancelled()) break;
        CallLogRecord record;
        const std::int32_t rowid = getRowID(p);
        const std::int32_t payload = getPayLoadLength(p);
        const std::int32_t header = static_cast<std::int32_t>(
            CommanFunctions::sharedObject().ParseIntegerValueFromBytes(lpBuf.from(p), 1));
        const bool whole = fetchHeader(p, record, header) && fetchRecord(p + header, record, payload);
        p += header;
        if (!whole) continue;
        record.ZCALLRECORDSchema.front().value = std::int64_t{rowid};
        if (rowid >= 1 && !isLiveRow(rowid)) found.push_back(std::move(record));
    }

    std::vector<std::shared_ptr<CallLog>> calls;
    calls.reserve(found.size());
    for (const CallLogRecord& record : found) {
        auto call = std::make_shared<CallLog>();
        call->setIsChecked(0);
        for (const CallLogColumn& column : record.ZCALLRECORDSchema) {
            if (column.name == "Z_PK") {
                call->setSlNo(static_cast<std::int32_t>(column.value.asInteger()));
            } else if (column.name == "ZADDRESS") {
                if (const std::string* text = column.value.text()) {
                    call->setAddress(*text);
                    call->setPhoneNumber(*text);
                }
            } else if (column.name == "ZDATE") {
                if (const std::string* text = column.value.text(); text && !text->empty())
                    call->setLocalTime(*text);
            } else if (column.name == "ZDURATION") {
                call->setCallDuration(static_cast<std::int32_t>(column.value.asInteger()));
            } else if (column.name == "ZORIGINATED") {
                call->setCallMode(column.value.toText().value_or(std::string()));
            }
        }
        // ZORIGINATED is 1 for a call this phone made, ZANSWERED 1 for a call that was taken.
        const bool outgoing = IntegerOf(record, "ZORIGINATED") == 1;
        const bool answered = IntegerOf(record, "ZANSWERED") == 1;
        call->setCallType(CallTypeText(outgoing, answered));
        calls.push_back(std::move(call));
    }
    // The parsed calls join the list after the records already in it.
    BrimleyAppDelegate& state = appDelegate();
    for (auto& call : calls) state.DeletedCallLog.append(std::move(call));
    const auto count = static_cast<std::int32_t>(state.DeletedCallLog.size());
    state.DeletedCallLogCount = count;
    return count;
}

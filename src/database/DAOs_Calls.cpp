// Call-history queries: the `call` table of iOS 7 and earlier, the ZCALLRECORD table of the
// call store from iOS 8 on.

#include "database/DAOs.h"
#include "database/PartnerNames.h"
#include "database/QueryDates.h"
#include "records/CallHistory.h"
#include "records/CallLog.h"

#include <optional>

namespace {

// The text of a flags value of the older `call` table; none for a value outside the table
// (each reader has its own text for those).
std::optional<std::string> KnownCallType(std::int32_t flags) {
    switch (flags) {
        case 5:
            return "Outgoing Call";
        case 4:
        case 8:
        case 0x170004:
            return "Incoming Call";
        case 21:
        case 0x10001:
        case 0x10005:
        case 0x120005:
        case 0x170005:
        case 0x1B0005:
            return "Outgoing Cancelled";
        default:
            return std::nullopt;
    }
}

}  // namespace

RecordList<CallLog> DAOs::GetCallLogs() {
    state().CallLogRowIDs.set({});
    const bool callStore = iOSMajorVersion() >= 8;
    // The call store's dates are read raw and shown by the date helpers, so that every date
    // text of the program follows one rule (UTC instants in the local zone of Clock).
    // The store's answered mark is read where it keeps one.
    const char* sql =
        callStore ? "SELECT Z_PK, ZADDRESS as address, ZDATE as date, ZDURATION as duration, "
                    "ZCALLTYPE as flags, ZISO_COUNTRY_CODE, ZORIGINATED FROM ZCALLRECORD "
                    "order by ZDATE desc, Z_PK"
                  : "SELECT * FROM call where face_time_data IS NULL";
    // The table of iOS 4 has no FaceTime column: every row is a phone call.
    const char* const withoutFaceTime = "SELECT * FROM call";
    const char* const withAnswered =
        "SELECT Z_PK, ZADDRESS as address, ZDATE as date, ZDURATION as duration, ZCALLTYPE as "
        "flags, ZISO_COUNTRY_CODE, ZORIGINATED, ZANSWERED FROM ZCALLRECORD order by ZDATE desc, "
        "Z_PK";

    RecordList<CallLog> result;
    std::int32_t n = 1;
    LazyAddressBookNames names(databasePath(DatabaseRole::AddressBook));
    auto connection = boundConnection();
    if (connection) {
        const bool answeredColumn =
            callStore && connection->isOpen() && connection->hasColumn("ZCALLRECORD", "ZANSWERED");
        const bool faceTimeColumn = !callStore && connection->isOpen() &&
                                    connection->hasColumn("call", "face_time_data");
        const char* statement = answeredColumn ? withAnswered
                                : callStore || faceTimeColumn ? sql
                                                              : withoutFaceTime;
        auto rows = connection->executeQuery(statement);
        while (rows.next()) {
            auto log = std::make_shared<CallLog>();
            log->setAddress(rows.stringForColumn("address"));
            CallFacts facts;
            facts.callStore = callStore;
            facts.seconds = CallSeconds(rows.doubleForColumn("duration"));
            facts.flags = rows.intForColumn("flags");
            const char* const answeredName = callStore ? "ZANSWERED" : "answered";
            if (const ColumnValue mark = rows.valueForColumn(answeredName); mark.isNumber())
                facts.answered = mark.asInteger() != 0;
            if (callStore) {
                log->setLocalTime(DisplayTextOfDate(AppleDateOfColumn(rows, "date")));
                facts.originated = rows.intForColumn("ZORIGINATED") == 1;
            } else {
                log->setLocalTime(DisplayTextOfDate(UnixDateOfInt32Column(rows, "date")));
            }
            // One table types the calls listed here and the calls carved.
            const CallKind kind = KindOfCall(facts);
            log->setCallType(kind.type);
            log->setCallMode(kind.mode);
            log->setCallDuration(static_cast<std::int32_t>(facts.seconds));
            log->setSlNo(n++);
            // The name comes from the backup's address book, not from the bound database.
            log->setContactName(names.nameFor(log->Address()));
            log->setIsChecked(0);
            state().AllCallLogContent.append(log);
            result.push_back(std::move(log));
        }
    }
    state().CallLogCount = n - 1;
    return result;
}

RecordList<CallLog> DAOs::GetCallLogGroup() {
    RecordList<CallLog> result;
    LazyAddressBookNames names(databasePath(DatabaseRole::AddressBook));
    auto connection = boundConnection();
    if (!connection) return result;
    auto rows = connection->executeQuery(
        "SELECT address,date FROM call GROUP BY address ORDER BY date desc");
    while (rows.next()) {
        auto log = std::make_shared<CallLog>();
        log->setAddress(rows.stringForColumn("address"));
        log->setLocalTime(DisplayTextOfDate(UnixDateOfInt32Column(rows, "date")));
        std::string name = names.nameFor(log->Address());
        // A number without a name in the address book is shown as the number.
        log->setContactName(name.empty() ? log->Address() : OptString(std::move(name)));
        log->setIsChecked(0);
        result.push_back(std::move(log));
    }
    return result;
}

RecordList<CallLog> DAOs::GetFaceTimeLogs() {
    state().CallLogRowIDs.set({});
    RecordList<CallLog> result;
    std::int32_t n = 1;
    LazyAddressBookNames names(databasePath(DatabaseRole::AddressBook));
    if (auto connection = boundConnection()) {
        // A table without the FaceTime column (iOS 4) holds no FaceTime call.
        auto rows = connection->isOpen() && connection->hasColumn("call", "face_time_data")
                        ? connection->executeQuery(
                              "SELECT * FROM call where face_time_data IS NOT NULL")
                        : SqliteResultSet();
        while (rows.next()) {
            auto log = std::make_shared<CallLog>();
            log->setAddress(rows.stringForColumn("address"));
            log->setLocalTime(
                FormatDateWithPattern(UnixDateOfInt32Column(rows, "date"), "MM/dd/yyyy hh:mm a"));
            log->setCallDuration(rows.intForColumn("duration"));
            log->setSlNo(n++);
            log->setContactName(names.nameFor(log->Address()));
            log->setIsChecked(0);
            if (auto type = KnownCallType(rows.intForColumn("flags"))) log->setCallType(*type);
            result.push_back(std::move(log));
        }
    }
    state().FaceTimeCount = n - 1;
    return result;
}

std::string DAOs::GetCallType(std::int32_t flags) {
    return KnownCallType(flags).value_or("Outgoing Cancelled");
}

RowIdMap DAOs::GetAllCallHistroyRowID() {
    RowIdMap map;
    auto rows =
        openPrivate(DatabaseRole::CallHistory)->executeQuery("SELECT ROWID,address FROM call");
    while (rows.next()) {
        auto rowId = rows.stringForColumn("ROWID");
        auto address = rows.stringForColumn("address");
        if (rowId && address) map[*rowId] = *address;
    }
    return map;
}

std::string DAOs::dateForRowID(std::int32_t rowId) {
    auto rows = openPrivate(DatabaseRole::CallHistory)
                    ->executeQuery("SELECT date FROM call where ROWID = ?", {ColumnValue(rowId)});
    while (rows.next()) {
        if (!rows.stringForColumn("date")) continue;
        return FormatDateWithPattern(
            DateFromUnixSeconds(static_cast<double>(rows.longLongIntForColumn("date"))),
            "yyyy-MM-dd hh:mm a");
    }
    return {};
}

bool DAOs::isDeletedZCALLRECORD(std::int32_t key) {
    auto connection = openPrivate(DatabaseRole::CallHistory);
    if (!connection->isOpen()) return false;
    auto rows =
        connection->executeQuery("SELECT * FROM ZCALLRECORD WHERE Z_PK = ?", {ColumnValue(key)});
    return rows.next();
}

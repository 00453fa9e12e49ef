#include "services/CallHistoryRecoverers.h"

#include "carving/SqLiteTableSignatures.h"
#include "common/DateUtils.h"
#include "records/CallHistory.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/RecordKey.h"
#include "services/LiveTableReader.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 10> kCallNames = {
    "address",      "date", "duration", "flags",    "id", "country_code",
    "network_code", "read", "name",     "answered"};
constexpr std::array<std::string_view, 9> kCallRecordNames = {
    "zaddress",  "zdate",     "zfacetimedata",     "zoriginated", "zduration",
    "zcalltype", "zanswered", "zios_country_code", "zunique_id"};

template <std::size_t N>
bool IsOneOf(const std::array<std::string_view, N>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Two listed calls are one find when everything the list shows of them agrees.
OptString ListedCallKey(const CallLog& call) {
    return RecordKey()
        .add(call.Address())
        .add(call.LocalTime())
        .add(std::int64_t{call.CallDuration()})
        .add(call.CallType())
        .add(call.CallMode())
        .take();
}

}  // namespace

CallHistorySQLiteRecovery::CallHistorySQLiteRecovery(ScanContext context)
    : ScanRecoverer(std::move(context)) {
    // A freed call row's content begins right behind its header, also in a freeblock.
    setFreeblockStartOffset(0);
}

void CallHistorySQLiteRecovery::setSignature(const std::string&) {
    std::vector<TablePattern> own;
    const auto catalogue = context().signatures;
    const SQLiteSignature* signature =
        catalogue ? catalogue->Find("HomeDomain", "CallHistory.storedata", "zcallrecord") : nullptr;
    if (signature) {
        for (const TablePattern& pattern : signature->TablePatterns()) {
            const auto& mappings = pattern.AttributesMapping();
            if (std::any_of(mappings.begin(), mappings.end(), [&](const AttributesMapping& m) {
                    return m.Name() && isOwnName(*m.Name());
                }))
                own.push_back(pattern);
        }
    }
    setTablePatterns(std::move(own));
}

void CallHistorySQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setSignature(path);
    liveCalls_.clear();
    const LiveTableReader file(path);
    // Where the schema no longer names the table, the rows of its width stand for its rows.
    const LiveTableReader::Layout layout = LiveTableReader::LayoutOf(tablePatterns());
    for (const auto& row : file.rows(liveCallsTable(), liveCallsColumns(), &layout).rows)
        liveCalls_.emplace(row[0].toText(), row[1].asDouble(), row[2].asInteger());
    liveRowIds_.reset(path, liveCallsTable(), layout);
    liveUniqueIds_.clear();
    if (const char* statement = liveUniqueIdsStatement(); statement && file.hasTable(liveCallsTable())) {
        SqliteResultSet ids = file.query(statement);
        while (ids.next())
            if (OptString id = ids.stringForColumn("id"); id && !id->empty())
                liveUniqueIds_.insert(std::move(*id));
    }
    // The contacts are all listed before calls are carved: their names are read once.
    names_ = std::make_unique<ContactNamesByNumber>(results());
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    names_.reset();
}

std::shared_ptr<baseRecoveryObject> CallHistorySQLiteRecovery::GetNewRecoveryObject() {
    currentHasDate_ = false;
    currentDamaged_ = false;
    return std::make_shared<CallHistory>();
}

void CallHistorySQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                          const TablePattern& tablePattern) {
    if (object.isNull()) currentDamaged_ = true;
    const std::string* mapped = tablePattern.mappedName(column);
    auto* call = dynamic_cast<CallHistory*>(currentRecord().get());
    if (!mapped || !call || !isOwnName(*mapped)) return;
    // A blob where a text or number belongs whose bytes are no text: overwritten in part.
    if (object.isBlob() && !getStringFromValue(object)) currentDamaged_ = true;
    markCurrentMapped();
    const std::string& name = *mapped;
    if (name == "date" || name == "zdate") currentHasDate_ = object.isNumber();
    fillCall(*call, name, object);
}

bool CallHistorySQLiteRecovery::isOwnName(const std::string& name) const {
    return IsOneOf(kCallNames, name);
}

void CallHistorySQLiteRecovery::fillCall(CallHistory& call, const std::string& name,
                                         const ColumnValue& value) {
    if (name == "address") {
        call.setAddress(getStringFromValue(value));
    } else if (name == "date") {
        // Unix seconds.
        call.setDate(DateUtils::DateTimeToString(
            DateUtils::ConvertFromUnixTimeStampToDateTime(value.asDouble())));
        call.setOriginalDate(static_cast<double>(value.asInteger()));
    } else if (name == "duration") {
        call.setDuration(CallSeconds(value.asDouble()));
    } else if (name == "flags") {
        call.setFlags(static_cast<std::int32_t>(value.asInteger() & 0xFF));
    } else if (name == "id") {
        call.setContactRowId(value.asInteger());
    } else if (name == "country_code") {
        call.setMobileCountryCode(getStringFromValue(value));
    } else if (name == "network_code") {
        call.setMobileNetworkCode(getStringFromValue(value));
    } else if (name == "read") {
        call.setRead(static_cast<std::int32_t>(value.asInteger()) != 0);
    } else if (name == "answered") {
        if (value.isNumber()) call.setZAnswered(value.asInteger() != 0);
    } else if (name == "name") {
        auto contact = std::make_shared<Contact>();
        contact->setNickName(getStringFromValue(value));
        call.setContact(std::move(contact));
    }
}

const char* CallHistorySQLiteRecovery::liveCallsTable() const {
    return "call";
}

std::vector<std::string> CallHistorySQLiteRecovery::liveCallsColumns() const {
    return {"address", "date", "duration"};
}

std::int32_t CallHistorySQLiteRecovery::verifyDataPosition(ByteView) {
    return kKeepPosition;
}

bool CallHistorySQLiteRecovery::isLiveCall(const CallHistory& call) const {
    // A record with the identifier of a live call is a copy of that call, however its other
    // columns were decoded (a copy read a few bytes off shows a wrong date and address).
    if (call.ZUniqueId() && liveUniqueIds_.count(*call.ZUniqueId()) != 0) return true;
    if (const auto rowId = currentRecordRowId(); rowId && liveRowIds_.holds(*rowId)) return true;
    return currentHasDate_ &&
           liveCalls_.count({call.Address(), call.OriginalDate(), call.Duration()}) != 0;
}

const char* CallHistorySQLiteRecovery::liveUniqueIdsStatement() const {
    return nullptr;
}

void CallHistorySQLiteRecovery::addRecoveredObject() {
    auto call = std::dynamic_pointer_cast<CallHistory>(currentRecord());
    // A record cut short by the end of its area (its tail overwritten by a later cell), or with a
    // text that is no valid UTF-8 (overwritten in part), holds wrong values such as half a phone
    // number: no call that was stored.
    if (!call || !currentWasMapped() || !currentRecordIsComplete() || currentDamaged_ ||
        isLiveCall(*call))
        return;
    // Numbered as the next entry of the deleted-calls list, which only this thread extends.
    std::shared_ptr<CallLog> log = names_ ? call->generateCallLogObject(results(), *names_)
                                          : call->generateCallLogObject(results());
    const bool isNew = results().AllDeletedCallLog.appendUnlessKey(log, &ListedCallKey);
    if (!isNew) return;
    ++results().DeletedCallLogCount;
    results().DeletedCallLog.append(log);
    if (refreshesWindow()) results().updateUIfoundRecoveredData();
}

std::int32_t CallHistorySQLiteRecovery::setRecoveryCount(std::int32_t count) {
    results().DeletedCallLogCount = count;
    return count;
}

std::int32_t CallHistorySQLiteRecovery::incrementRecoveryCount() {
    return ++results().DeletedCallLogCount;
}

// ---- The newer store ----

bool CallHistoryIos8Recovery::isOwnName(const std::string& name) const {
    return IsOneOf(kCallRecordNames, name);
}

void CallHistoryIos8Recovery::fillCall(CallHistory& call, const std::string& name,
                                       const ColumnValue& value) {
    call.setInCallStore(true);
    if (name == "zaddress") {
        call.setAddress(getStringFromValue(value));
    } else if (name == "zdate") {
        // Apple seconds; a value that is no date leaves the text unset.
        call.setDate(DateUtils::DateTimeToString(DateUtils::DoubleToIOSDateTime(value.asDouble())));
        call.setOriginalDate(value.asDouble());
    } else if (name == "zfacetimedata") {
        call.setZFaceTimeData(value.asInteger());
    } else if (name == "zoriginated") {
        call.setZOriginated(value.asInteger() != 0);
    } else if (name == "zduration") {
        // Fractions of a second: a call taken for a moment still lasted.
        call.setDuration(CallSeconds(value.asDouble()));
    } else if (name == "zcalltype") {
        call.setFlags(static_cast<std::int32_t>(value.asInteger()));
    } else if (name == "zios_country_code") {
        call.setMobileCountryCode(getStringFromValue(value));
    } else if (name == "zanswered") {
        if (value.isNumber()) call.setZAnswered(value.asInteger() != 0);
    } else if (name == "zunique_id") {
        call.setZUniqueId(getStringFromValue(value));
    }
}

const char* CallHistoryIos8Recovery::liveUniqueIdsStatement() const {
    return "SELECT ZUNIQUE_ID AS id FROM ZCALLRECORD";
}

const char* CallHistoryIos8Recovery::liveCallsTable() const {
    return "ZCALLRECORD";
}

std::vector<std::string> CallHistoryIos8Recovery::liveCallsColumns() const {
    return {"ZADDRESS", "ZDATE", "ZDURATION"};
}

// ---- Comparison with the live calls ----

void CallHistorySQLiteRecovery::filterMessages(const std::string& path) {
    KeepRecordsNotLive(*this, path, [this](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* call = RecordOf<CallHistory>(record);
        if (!call) return std::nullopt;
        return liveCallStatement(*call);
    });
}

LiveStatement CallHistorySQLiteRecovery::liveCallStatement(const CallHistory& call) const {
    // The older table keeps the time as whole Unix seconds.
    return {"SELECT ROWID FROM call WHERE address IS ? AND date = ? AND duration = ?",
            {call.Address() ? ColumnValue(*call.Address()) : ColumnValue(),
             ColumnValue(static_cast<std::int64_t>(call.OriginalDate())),
             ColumnValue(call.Duration())}};
}

LiveStatement CallHistoryIos8Recovery::liveCallStatement(const CallHistory& call) const {
    return {"SELECT Z_PK FROM ZCALLRECORD WHERE ZADDRESS IS ? AND ZDATE = ? AND ZDURATION = ?",
            {call.Address() ? ColumnValue(*call.Address()) : ColumnValue(),
             ColumnValue(call.OriginalDate()), ColumnValue(call.Duration())}};
}

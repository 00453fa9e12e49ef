#include "services/MessageRecoverers.h"

#include "carving/SqLiteTableSignatures.h"
#include "carving/StoredTables.h"
#include "common/DateUtils.h"
#include "common/StringUtils.h"
#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "database/GenerateSMSObject.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Message.h"
#include "records/SMS.h"
#include "services/CarvedRecordCheck.h"
#include "services/LiveTableReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <sstream>

namespace {

constexpr std::string_view kDomain = "HomeDomain";
constexpr std::string_view kDatabase = "sms.db";
constexpr std::string_view kTable = "MESSAGE";

// The message table's date columns count nanoseconds from iOS 11 on; no date in seconds comes
// near 10^11.
double AppleSecondsOf(double value) {
    return std::fabs(value) >= 1e11 ? std::trunc(value / 1e9) : value;
}

std::unique_ptr<DAOs> QueriesOn(const std::string& path, const ScanContext& context) {
    return std::make_unique<DAOs>(std::make_shared<FMDBUtils>(path), context);
}

// The carved value of a text column: a text as it is, a number as its decimal text.
OptString TextOf(const ColumnValue& value) {
    return AbstractSqLiteRecovery::getStringFromValue(value);
}

// The columns that every message recoverer maps the same way; false for the date columns and
// names it does not know.
bool FillCommonColumn(Message& message, const std::string& name, const ColumnValue& value) {
    if (name == "guid") {
        message.setGuid(TextOf(value));
    } else if (name == "text") {
        message.setText(TextOf(value));
    } else if (name == "handle_id") {
        if (value.isNumber()) message.setHandleId(value.asInteger());
    } else if (name == "service") {
        message.setService(TextOf(value));
    } else if (name == "account") {
        message.setAccount(TextOf(value));
    } else if (name == "account_guid") {
        message.setAccountGuid(TextOf(value));
    } else if (name == "address") {
        message.setAddress(TextOf(value));
    } else if (name == "flags") {
        if (!value.isNumber()) return true;
        const auto flags = static_cast<std::int32_t>(value.asInteger());
        message.setFlags(flags);
        // Sent, and the two kinds of failed sending.
        if (flags == 3 || flags == 33 || flags == 35) message.setIsFromMe(true);
    } else if (name == "is_from_me") {
        if (value.isNumber()) message.setIsFromMe(value.asInteger() != 0);
    } else {
        return false;
    }
    return true;
}

bool Blank(const OptString& text) {
    return !text || text->find_first_not_of(' ') == std::string::npos;
}

// Whether a carved GUID is one: 36 characters in the form 8-4-4-4-12. A GUID cut short by the
// end of its area (a stale row whose freeblock a newer cell took the rest of), or another
// column read in its place, is none.
bool IsWholeGuid(const OptString& guid) {
    return guid && guid->size() == 36 &&
           AbstractSqLiteRecovery::IsGuidAsciiValue(
               ByteView(reinterpret_cast<const std::uint8_t*>(guid->data()), guid->size()));
}

// A carved row without GUID, text or a date that can be shown (none, or one that is no moment
// yet passed) holds nothing that tells a message: a stale or misread copy, never a message to
// list.
bool SaysNothing(const Message& message) {
    return !IsWholeGuid(message.Guid()) && Blank(message.Text()) && Blank(message.Date());
}

// What tells a message from the others where its GUID cannot (a copy whose GUID bytes were
// damaged): its text, its date and its handle. None for a message without a text or a date.
std::optional<std::string> CopyKey(const OptString& text, double date, std::int64_t handle) {
    if (Blank(text) || date == 0) return std::nullopt;
    std::string key = *text;
    key.push_back('\0');
    key.append(reinterpret_cast<const char*>(&date), sizeof date);
    key.append(reinterpret_cast<const char*>(&handle), sizeof handle);
    return key;
}

std::int64_t HandleOf(const ColumnValue& value) {
    return value.isNumber() ? value.asInteger() : 0;
}

// The GUIDs a damaged GUID may have been: when exactly one of its characters breaks the form of
// a GUID (8-4-4-4-12 hexadecimal digits), the GUID with that character made each one the form
// allows there; none otherwise (a sound GUID, or one that lost more than one character).
std::vector<std::string> GuidRepairs(const std::string& guid) {
    constexpr std::size_t kLength = 36;
    const auto dashAt = [](std::size_t at) { return at == 8 || at == 13 || at == 18 || at == 23; };
    if (guid.size() != kLength) return {};
    std::size_t broken = kLength;
    for (std::size_t at = 0; at < kLength; ++at) {
        const bool fits =
            dashAt(at) ? guid[at] == '-' : std::isxdigit(static_cast<unsigned char>(guid[at])) != 0;
        if (fits) continue;
        if (broken != kLength) return {};
        broken = at;
    }
    if (broken == kLength) return {};
    std::vector<std::string> repairs;
    for (const char c :
         dashAt(broken) ? std::string_view("-") : std::string_view("0123456789ABCDEFabcdef")) {
        repairs.push_back(guid);
        repairs.back()[broken] = c;
    }
    return repairs;
}

// Where the column of that (lower-case) name is among the names, compared without case; the
// number of names when it is not there.
std::size_t ColumnIndex(const std::vector<std::string>& names, std::string_view wanted) {
    const auto at = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return std::equal(
            name.begin(), name.end(), wanted.begin(), wanted.end(),
            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    });
    return static_cast<std::size_t>(at - names.begin());
}

}  // namespace

// ---- iOS 6 and later ----

MessagesSQLiteRecovery::MessagesSQLiteRecovery(ScanContext context)
    : MessageTableRecovery(std::move(context)) {}

MessagesSQLiteRecovery::~MessagesSQLiteRecovery() = default;

std::string MessagesSQLiteRecovery::CarvedDateText(double value) {
    return DateUtils::doubleIOSDateTimeToString(AppleSecondsOf(value));
}

void MessagesSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    const auto catalogue = context().signatures;
    if (catalogue)
        setPatternsFromSignature(kDomain, kDatabase, kTable, catalogue.get());
    else
        setTablePatterns(std::vector<TablePattern>{});
    daos_ = QueriesOn(path, context());
    live_ = SqliteConnection::OpenReadOnly(path);
    guidLookupFails_ = false;
    path_ = path;
    storedRows_.reset();
    cut_.clear();
    listedBefore_ = results().DeletedSMS.snapshot();

    AbstractSqLiteRecovery::DoRecoveryPath(path);

    // A record cut short is worth keeping only when it still says something, and worth listing
    // only when no whole copy of the same message was listed.
    for (const auto& message : cut_) {
        if (isCancelled()) break;
        if (StringUtils::IsNullOrEmpty(message->Guid()) &&
            StringUtils::IsNullOrEmpty(message->Text()))
            continue;
        if (SaysNothing(*message)) continue;
        keep(message);
    }
    cut_.clear();
}

void MessagesSQLiteRecovery::keep(const std::shared_ptr<Message>& message) {
    RecoveredFiltered().push_back(message);
    // A copy of a live message (pages are searched whole too, and the phone leaves older copies
    // of rows it rewrites) is no deleted message.
    if (isLive(message->Guid()) || isCopyOfLive(*message)) return;
    if (!isListed(message->Guid())) list(message);
}

bool MessagesSQLiteRecovery::isLiveOrListed(const OptString& guid) const {
    return isLive(guid) || isListed(guid);
}

bool MessagesSQLiteRecovery::isListed(const OptString& guid) const {
    return guid && results().AllDeletedSMS.containsKey(*guid, &SMS::GuidKey);
}

bool MessagesSQLiteRecovery::isLive(const OptString& guid) const {
    if (!guid) return false;
    // A message of the live list (read from the same file) is live, whatever else answers.
    if (results().AllSMSContent.containsKey(*guid, &SMS::GuidKey)) return true;
    // The carved file's own message table answers by its GUID index.
    if (live_ && live_->isOpen() && !guidLookupFails_) {
        auto row =
            live_->executeQuery("SELECT 1 FROM message WHERE guid = ?", {ColumnValue(*guid)});
        if (row.next()) return true;
        // SQLite cannot answer: a message table without GUIDs (before iOS 6), or a file it
        // cannot read. It fails alike for every message.
        if (!row || row.failed()) guidLookupFails_ = true;
    }
    // A damaged index answers "no row" without an error, so no row found through it is
    // confirmed by the table itself: its rows read whole, and the file's own pages.
    return storedRows().guids.contains(*guid);
}

bool MessagesSQLiteRecovery::isCopyOfLive(const Message& message) const {
    const auto key = CopyKey(message.Text(), message.OriginalDate(), message.HandleId());
    if (key && storedRows().copies.contains(*key)) return true;
    // Its other columns may be gone too (the page's later cells written over them): a GUID
    // that one damaged character keeps from a live row's is that row's.
    if (!message.Guid()) return false;
    const auto repairs = GuidRepairs(*message.Guid());
    return std::any_of(repairs.begin(), repairs.end(),
                       [&](const std::string& guid) { return isLive(guid); });
}

const MessagesSQLiteRecovery::StoredRows& MessagesSQLiteRecovery::storedRows() const {
    if (storedRows_) return *storedRows_;
    StoredRows& stored = storedRows_.emplace();
    const auto keep = [&stored](const OptString& guid, const OptString& text,
                                const ColumnValue& date, const ColumnValue& handle) {
        if (guid) {
            stored.guids.add(*guid);
            // A live row whose own GUID lost a character: a copy that kept it sound is its copy.
            for (const std::string& repair : GuidRepairs(*guid)) stored.guids.add(repair);
        }
        if (const auto key = CopyKey(text, date.asDouble(), HandleOf(handle)))
            stored.copies.add(*key);
    };
    // The table read past its indexes: its b-tree as SQLite reads it, as far as it goes.
    if (live_ && live_->isOpen()) {
        auto rows =
            live_->executeQuery(
                "SELECT ROWID, guid, text, date, handle_id FROM message NOT INDEXED");
        while (rows.next()) {
            if (const auto rowId = rows.valueForColumn("ROWID"); rowId.isInteger())
                stored.rowIds.push_back(rowId.asInteger());
            keep(rows.stringForColumn("guid"), rows.stringForColumn("text"),
                 rows.valueForColumn("date"), rows.valueForColumn("handle_id"));
        }
    }
    // The pages and the indexes below name mostly the same rows again: only what SQLite did not
    // read is added, so the lists do not grow with every index of the table.
    std::sort(stored.rowIds.begin(), stored.rowIds.end());
    const std::size_t readBySqlite = stored.rowIds.size();
    const auto addRowId = [&stored, readBySqlite](std::int64_t rowId) {
        const auto read = stored.rowIds.begin() + static_cast<std::ptrdiff_t>(readBySqlite);
        if (!std::binary_search(stored.rowIds.begin(), read, rowId)) stored.rowIds.push_back(rowId);
    };
    stored.guids.seal();
    stored.copies.seal();
    // The file's own pages, leaves cut off from the b-tree included. Where the schema no longer
    // names the table or one of its columns (its entry damaged), the rows and columns are found
    // by the layout of the widest carving pattern that holds whole rows.
    std::vector<std::string> layout;
    std::size_t fewest = 0;
    for (const TablePattern& pattern : tablePatterns()) {
        std::istringstream words(pattern.columns().value_or(""));
        std::vector<std::string> names;
        for (std::string name; words >> name;) names.push_back(std::move(name));
        if (ColumnIndex(names, "rowid") != 0 || ColumnIndex(names, "guid") >= names.size())
            continue;
        fewest = fewest == 0 ? names.size() : std::min(fewest, names.size());
        if (names.size() > layout.size()) layout = std::move(names);
    }
    const auto keepRows = [&](const std::vector<std::string>& names, const auto& read) {
        const auto indexOf = [&](std::string_view name) {
            const std::size_t at = ColumnIndex(names, name);
            return at < names.size() ? at : ColumnIndex(layout, name);
        };
        const std::size_t guid = indexOf("guid"), text = indexOf("text"), date = indexOf("date"),
                          handle = indexOf("handle_id");
        const ColumnValue none;
        read([&](StoredTables::Row&& row) {
            const auto value = [&](std::size_t at) -> const ColumnValue& {
                return at < row.values.size() ? row.values[at] : none;
            };
            const std::string* guidText = value(guid).text();
            keep(guidText ? OptString(*guidText) : OptString(), value(text).toText(), value(date),
                 value(handle));
        });
    };
    const StoredTables file(path_);
    if (const auto columns = file.columnsOf("message")) {
        keepRows(*columns, [&](const auto& visit) {
            file.forEachRow("message", {}, [&](StoredTables::Row&& row) {
                addRowId(row.rowId);
                visit(std::move(row));
            });
        });
    } else if (file.readable() && !layout.empty()) {
        keepRows(layout, [&](const auto& visit) {
            file.forEachRowOfWidth(fewest, layout.size(), {}, visit);
        });
    }
    file.forEachIndexedRowId("message", {}, addRowId);
    std::sort(stored.rowIds.begin(), stored.rowIds.end());
    stored.rowIds.erase(std::unique(stored.rowIds.begin(), stored.rowIds.end()),
                        stored.rowIds.end());
    stored.rowIds.shrink_to_fit();
    stored.guids.seal();
    stored.copies.seal();
    return stored;
}

bool MessagesSQLiteRecovery::StoredRows::holdsRowId(std::int64_t rowId) const {
    return std::binary_search(rowIds.begin(), rowIds.end(), rowId);
}

void MessagesSQLiteRecovery::HashSet::add(std::string_view key) {
    const std::uint64_t hash = std::hash<std::string_view>{}(key);
    const auto sealed = hashes_.begin() + static_cast<std::ptrdiff_t>(sealed_);
    if (!std::binary_search(hashes_.begin(), sealed, hash)) hashes_.push_back(hash);
}

void MessagesSQLiteRecovery::HashSet::seal() {
    std::sort(hashes_.begin(), hashes_.end());
    hashes_.erase(std::unique(hashes_.begin(), hashes_.end()), hashes_.end());
    hashes_.shrink_to_fit();
    sealed_ = hashes_.size();
}

bool MessagesSQLiteRecovery::HashSet::contains(std::string_view key) const {
    return std::binary_search(hashes_.begin(), hashes_.end(), std::hash<std::string_view>{}(key));
}

bool MessagesSQLiteRecovery::alreadyInDB(const SMS& sms) const {
    return isLiveOrListed(sms.GUID());
}

std::int32_t MessageTableRecovery::setRecoveryCount(std::int32_t n) {
    results().DeletediMessageCount = n;
    results().DeletedFaceTimeCount = n;
    results().DeletedSMSCount = n;
    return n;
}

std::int32_t MessageTableRecovery::incrementRecoveryCount() {
    return ++results().DeletedSMSCount;
}

std::shared_ptr<baseRecoveryObject> MessageTableRecovery::GetNewRecoveryObject() {
    fingerprint_.clear();
    return std::make_shared<Message>();
}

void MessagesSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                       const TablePattern& tablePattern) {
    fingerprint_.add(object);
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    markCurrentMapped();
    auto& message = static_cast<Message&>(*currentRecord());
    const std::string& name = *mapped;
    if (FillCommonColumn(message, name, object) || !object.isNumber()) return;
    const double value = object.asDouble();
    if (name == "date") {
        message.setOriginalDate(value);
        message.setDate(CarvedDateText(value));
    } else if (name == "date_read") {
        message.setOriginalDateRead(value);
        message.setDateRead(CarvedDateText(value));
    } else if (name == "date_delivered") {
        message.setOriginalDataDelivered(value);
        message.setDateDelivered(CarvedDateText(value));
    }
}

void MessagesSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    if (!mapped || !currentRecord()) return;
    // The same record seen again (a page searched by a walk and by a sweep) says nothing new.
    if (!sightings_.firstSighting(fingerprint_)) return;
    auto message = std::static_pointer_cast<Message>(currentRecord());
    // A cell whose head still names a live row is that row's copy, whole or cut short.
    const auto rowId = currentRowIdWasRead() ? std::optional(message->RowId()) : currentCellRowId();
    if (rowId && storedRows().holdsRowId(*rowId)) return;
    if (!currentRecordIsComplete()) {
        cut_.push_back(std::move(message));
        return;
    }
    if (SaysNothing(*message)) return;
    keep(message);
}

void MessagesSQLiteRecovery::list(const std::shared_ptr<Message>& message) {
    auto sms = generateSMSObject(*message, *daos_);
    // The test and the append are one step, so a message is listed once even if another thread
    // lists messages at the same time.
    const bool added = results().AllDeletedSMS.appendUnlessKey(sms, &SMS::GuidKey);
    if (!added) return;
    results().DeletedSMS.append(sms);
    ++results().DeletedSMSCount;
    results().updateUIfoundRecoveredData();
}

// ---- Before iOS 6 ----

OlderMessagesSQLiteRecovery::OlderMessagesSQLiteRecovery(ScanContext context, std::string version,
                                                         DateStyle style)
    : MessageTableRecovery(std::move(context)), version_(std::move(version)), style_(style) {}

OlderMessagesSQLiteRecovery::~OlderMessagesSQLiteRecovery() = default;

void OlderMessagesSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    // The patterns of this version only; the shared catalogue itself stays as it is.
    const auto catalogue = context().signatures;
    const SQLiteSignature* signature =
        catalogue ? catalogue->Find(kDomain, kDatabase, kTable) : nullptr;
    setTablePatterns(signature ? signature->FindPatternsByVersion(version_)
                               : std::vector<TablePattern>{});
    daos_ = QueriesOn(path, context());
    live_ = SqliteConnection::OpenReadOnly(path);
    path_ = path;
    stored_.reset();
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    CheckIfinDB(path);
}

void OlderMessagesSQLiteRecovery::CheckIfinDB(const std::string& path) {
    live_ = SqliteConnection::OpenReadOnly(path);
    if (!live_->isOpen()) return;
    for (const auto& message : carved_) {
        if (isCancelled()) return;
        if (StringUtils::IsNullOrEmpty(message->Text()) || message->OriginalDate() == 0) continue;
        if (!CheckMessageInDB(*message)) RecoveredFiltered().push_back(message);
    }
}

bool OlderMessagesSQLiteRecovery::CheckMessageInDB(const Message& message) const {
    if (!live_ || !live_->isOpen() || !message.Text()) return false;
    auto row = message.OriginalDate() > 0
                   ? live_->executeQuery(
                         "SELECT text, date FROM message where text=? and date=?",
                         {ColumnValue(*message.Text()), ColumnValue(message.OriginalDate())})
                   : live_->executeQuery("SELECT text, date FROM message where text=?",
                                         {ColumnValue(*message.Text())});
    if (row.next()) return true;
    if (row && !row.failed()) return false;
    // SQLite cannot read the table: the file's own pages say which messages are live.
    if (!stored_) {
        stored_.emplace();
        for (const auto& live : LiveTableReader(path_).rows("message", {"text", "date"}).rows) {
            const OptString text = live[0].toText();
            if (!text) continue;
            stored_->texts.insert(*text);
            if (live[1].isNumber()) stored_->textsAndDates.emplace(*text, live[1].asDouble());
        }
    }
    return message.OriginalDate() > 0
               ? stored_->textsAndDates.count({*message.Text(), message.OriginalDate()}) != 0
               : stored_->texts.count(*message.Text()) != 0;
}

std::shared_ptr<baseRecoveryObject> OlderMessagesSQLiteRecovery::GetNewRecoveryObject() {
    madrid_ = false;
    dateMapped_ = false;
    return MessageTableRecovery::GetNewRecoveryObject();
}

void OlderMessagesSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                            const TablePattern& tablePattern) {
    fingerprint_.add(object);
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    markCurrentMapped();
    auto& message = static_cast<Message&>(*currentRecord());
    const std::string& name = *mapped;
    if (FillCommonColumn(message, name, object) || !object.isNumber()) return;
    // The dates are written out once the whole row is read: whether a row is an iMessage comes
    // after them.
    const double value = object.asDouble();
    if (name == "date") {
        message.setOriginalDate(value);
        dateMapped_ = true;
    } else if (style_ == DateStyle::IOS5_6 && name == "date_read") {
        message.setOriginalDateRead(value);
        message.setDateRead(MadridMomentText(value));
    } else if (style_ == DateStyle::IOS5_6 && name == "date_delivered") {
        message.setOriginalDataDelivered(value);
        message.setDateDelivered(MadridMomentText(value));
    } else if (name == "is_madrid") {
        madrid_ = value != 0;
    }
}

std::string OlderMessagesSQLiteRecovery::MadridMomentText(double appleSeconds) {
    // A read or delivery time of 0 means "not yet".
    if (std::trunc(appleSeconds) == 0) return std::string();
    return DateUtils::DateTimeToString(DateUtils::DoubleToIOSDateTime(appleSeconds)).value_or("");
}

std::string OlderMessagesSQLiteRecovery::DateText(double value, bool madrid) {
    // The SMS rows of these tables count Unix seconds; the iMessage ("madrid") rows of iOS 5
    // count Apple seconds, as every later table does.
    const OptDate date = madrid ? DateUtils::DoubleToIOSDateTime(value)
                                : DateUtils::ConvertFromUnixTimeStampToDateTime(std::trunc(value));
    return DateUtils::DateTimeToString(date).value_or("");
}

void OlderMessagesSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    if (!mapped || !currentRecord() || !sightings_.firstSighting(fingerprint_)) return;
    auto message = std::static_pointer_cast<Message>(currentRecord());
    if (dateMapped_) message->setDate(DateText(message->OriginalDate(), madrid_));
    carved_.push_back(message);
    // Free space also holds older copies of rows that still exist.
    if ((Blank(message->Text()) && message->OriginalDate() == 0) || CheckMessageInDB(*message))
        return;
    auto sms = generateSMSObject(*message, *daos_);
    results().DeletedSMS.append(sms);
    ++results().DeletedSMSCount;
}

bool MessageTableRecovery::acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                                        std::int64_t contentShift) {
    return recordCheck_.looksWritten(area, info, contentShift);
}

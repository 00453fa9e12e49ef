#include "services/MessageJoinRecoverers.h"

#include "carving/SqLiteTableSignatures.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/MessageTableRecords.h"
#include "services/CarvedRecordCheck.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::string_view kDomain = "HomeDomain";
constexpr std::string_view kDatabase = "sms.db";

// Width in bytes of the content of a serial type.
std::int64_t ContentWidth(std::int64_t serialType) {
    static constexpr std::int64_t kNumberWidths[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (serialType < 0) return 0;
    if (serialType < 12) return kNumberWidths[serialType];
    return (serialType - 12) / 2;
}

// Calls test with the value and first byte of every varint that could end exactly at end
// (inclusive): one to nine bytes whose last one has its high bit clear and whose others have it
// set. Stops at the first candidate for which test answers true.
template <class Test>
bool AnyVarintEndingAt(ByteView area, std::int64_t end, Test&& test) {
    if (end < 0 || end >= static_cast<std::int64_t>(area.size()) || (area[end] & 0x80))
        return false;
    for (std::int64_t length = 1; length <= 9 && end - length + 1 >= 0; ++length) {
        const std::int64_t first = end - length + 1;
        if (length > 1 && !(area[first] & 0x80)) break;  // a longer varint would include this byte
        std::uint64_t value = 0;
        const int taken = ReadVarint(area.data() + first, area.data() + end + 1, value);
        if (taken == length && test(value, first)) return true;
    }
    return false;
}

bool IsPrintableAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 32 && c <= 126; });
}

bool IsWord(const OptString& text) {
    return text && !text->empty() && std::all_of(text->begin(), text->end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

// A handle names a service ("SMS", "iMessage") and a country code by plain words, and an
// address without blanks; carved text that is not a handle (schema text, other rows) fails this.
bool LooksLikeHandle(const MessageHandle& handle) {
    return handle.RowId() != 0 && MessageHandleSQLiteRecovery::IsValid(handle.Id()) &&
           !handle.Id()->empty() && handle.Id()->find(' ') == std::string::npos &&
           IsWord(handle.Country()) && IsWord(handle.Service());
}

// Reads a handle id written as decimal text; -1 for anything else.
std::int64_t DecimalOrMinusOne(const OptString& text) {
    if (!text || text->empty() || text->size() > 18) return -1;
    std::int64_t value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

// ---- Handles ----

MessageHandleSQLiteRecovery::MessageHandleSQLiteRecovery(ScanContext context)
    : ScanRecoverer(std::move(context)) {}

bool MessageHandleSQLiteRecovery::IsValid(const OptString& text) {
    return text && IsPrintableAscii(*text);
}

void MessageHandleSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    const auto catalogue = context().signatures;
    if (catalogue)
        setPatternsFromSignature(kDomain, kDatabase, "HANDLE", catalogue.get());
    else
        setTablePatterns(std::vector<TablePattern>{});
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    setRecoveredData(carved_);

    const auto live = SqliteConnection::OpenReadOnly(path);
    if (!live->isOpen()) return;
    bool tableAnswers = true;
    for (const auto& record : carved_) {
        const auto& handle = static_cast<const MessageHandle&>(*record);
        if (isCancelled()) return;
        if (!LooksLikeHandle(handle)) continue;
        // A failing query counts as no row; it fails alike for every handle, so it is asked once.
        bool stillLive = false;
        if (tableAnswers) {
            auto row = live->executeQuery(
                "SELECT ROWID, id, country, service FROM handle where id=? and country=? and "
                "service=?",
                {ColumnValue(*handle.Id()), ColumnValue(*handle.Country()),
                 ColumnValue(*handle.Service())});
            tableAnswers = static_cast<bool>(row);
            stillLive = row.next();
        }
        if (!stillLive) RecoveredFiltered().push_back(record);
    }
}

std::shared_ptr<baseRecoveryObject> MessageHandleSQLiteRecovery::GetNewRecoveryObject() {
    fingerprint_.clear();
    return std::make_shared<MessageHandle>();
}

void MessageHandleSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                            const TablePattern& tablePattern) {
    fingerprint_.add(object);
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    auto& handle = static_cast<MessageHandle&>(*currentRecord());
    const std::string& name = *mapped;
    if (name == "id")
        handle.setId(getStringFromValue(object));
    else if (name == "country")
        handle.setCountry(getStringFromValue(object));
    else if (name == "service")
        handle.setService(getStringFromValue(object));
}

void MessageHandleSQLiteRecovery::addRecoveredObject() {
    // A record cut by the end of its area holds pieces of other bytes.
    if (!currentRecord() || !currentRecordIsComplete() || !sightings_.firstSighting(fingerprint_))
        return;
    carved_.push_back(currentRecord());
}

// ---- Whole-page search ----

MessageWholePageRecovery::MessageWholePageRecovery(ScanContext context)
    : ScanRecoverer(std::move(context)) {}

bool MessageWholePageRecovery::IsFramedRecord(ByteView area, const SQLiteTableHeaderInfo& info) {
    if (!info.Valid || info.HeaderTruncated || info.Header.empty()) return false;
    const std::int64_t start = info.HeaderStartIndex;
    const std::int64_t headerLength = info.headerDataTaken;
    const auto size = static_cast<std::int64_t>(area.size());
    // Position 0 is the header-length byte: records this small have a one-byte header length.
    if (start < 0 || start >= size || headerLength >= 0x80 || area[start] != headerLength)
        return false;
    std::int64_t payload = headerLength;
    for (std::size_t i = 1; i < info.Header.size(); ++i)
        payload += ContentWidth(info.Header[i].first);
    if (start + payload > size) return false;
    auto isPayload = [&](std::uint64_t value, std::int64_t) {
        return value == static_cast<std::uint64_t>(payload);
    };
    // An index cell: the payload length, then the record.
    if (AnyVarintEndingAt(area, start - 1, isPayload)) return true;
    // A table cell: the payload length, the row id, then the record.
    return AnyVarintEndingAt(area, start - 1, [&](std::uint64_t, std::int64_t rowIdStart) {
        return AnyVarintEndingAt(area, rowIdStart - 1, isPayload);
    });
}

bool MessageWholePageRecovery::acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                                            std::int64_t) {
    return IsFramedRecord(area, info);
}

void MessageWholePageRecovery::setSignature(std::string_view table) {
    const auto catalogue = context().signatures;
    if (catalogue)
        setPatternsFromSignature(kDomain, kDatabase, table, catalogue.get());
    else
        setTablePatterns(std::vector<TablePattern>{});
}

void MessageWholePageRecovery::openLiveDatabase(const std::string& path) {
    live_ = SqliteConnection::OpenReadOnly(path);
}

bool MessageWholePageRecovery::liveRowExists(std::string_view sql,
                                             const std::vector<ColumnValue>& args) const {
    if (!live_ || !live_->isOpen() || unanswerable_.count(std::string(sql))) return false;
    auto row = live_->executeQuery(sql, args);
    // A file without the table (an older layout) answers no statement on it; asking again for
    // every record would only fill the log.
    if (!row) unanswerable_.insert(std::string(sql));
    return row.next();
}

// ---- chat_message_join ----

void MessageChatMessageJoinSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setFullDBPath(path);
    _maxMessageRowId = getMaxRowIdforTable("message");
    _maxChatRowId = getMaxRowIdforTable("chat");
    setSignature("ChatMessageJoin");
    openLiveDatabase(path);
    AbstractSQLiteRecoveryFullSearch::DoRecoveryPath(path);
}

std::shared_ptr<baseRecoveryObject> MessageChatMessageJoinSQLiteRecovery::GetNewRecoveryObject() {
    startRecord();
    return std::make_shared<ChatMessageJoin>();
}

void MessageChatMessageJoinSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                                     const TablePattern& tablePattern) {
    noteValue(object);
    if (!currentRecord()) return;
    for (const auto& mapping : tablePattern.AttributesMapping()) {
        markCurrentMapped();
        if (mapping.Column() != column || !mapping.Name()) continue;
        if (*mapping.Name() == "chatId")
            currentRecord()->setChatId(object.asInteger());
        else if (*mapping.Name() == "messageId")
            currentRecord()->setMessageId(object.asInteger());
    }
}

void MessageChatMessageJoinSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    if (!mapped || !currentRecord()) return;
    const std::int64_t chat = currentRecord()->ChatId();
    const std::int64_t message = currentRecord()->MessageId();
    if (!WithinSequence(chat, _maxChatRowId) || !WithinSequence(message, _maxMessageRowId)) return;
    // A chat_handle_join record has the same bytes; one that the live file holds as such and not
    // as a message link is that.
    const std::vector<ColumnValue> pair{ColumnValue(chat), ColumnValue(message)};
    if (!liveRowExists("SELECT 1 FROM chat_message_join WHERE chat_id = ? AND message_id = ?",
                       pair) &&
        liveRowExists("SELECT 1 FROM chat_handle_join WHERE chat_id = ? AND handle_id = ?", pair))
        return;
    if (firstSighting()) RecoveredFiltered().push_back(currentRecord());
}

// ---- Message GUIDs ----

void MessageGuidAndRowIdConnectionSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setFullDBPath(path);
    _maxMessageRowId = getMaxMessageRowId();
    setSignature("MessageGuidAndRowIdConnection");
    AbstractSQLiteRecoveryFullSearch::DoRecoveryPath(path);
}

std::int32_t MessageGuidAndRowIdConnectionSQLiteRecovery::getMaxMessageRowId() const {
    const auto connection = SqliteConnection::OpenReadOnly(fullDBPath());
    if (!connection->isOpen()) return -1;
    auto rows =
        connection->executeQuery("SELECT seq FROM sqlite_sequence where name = 'message'");
    std::int32_t seq = -1;
    while (rows.next()) seq = rows.intForColumn("seq");
    return seq;
}

std::shared_ptr<baseRecoveryObject>
MessageGuidAndRowIdConnectionSQLiteRecovery::GetNewRecoveryObject() {
    startRecord();
    return std::make_shared<MessageGuidRowId>();
}

void MessageGuidAndRowIdConnectionSQLiteRecovery::FillModel(std::int64_t column,
                                                            const ColumnValue& object,
                                                            const TablePattern& tablePattern) {
    noteValue(object);
    if (!currentRecord()) return;
    auto& link = static_cast<MessageGuidRowId&>(*currentRecord());
    for (const auto& mapping : tablePattern.AttributesMapping()) {
        if (mapping.Column() != column || !mapping.Name()) continue;
        markCurrentMapped();
        if (*mapping.Name() == "RowId")
            link.setRowId(object.asInteger());
        else if (*mapping.Name() == "Guid")
            link.setGuid(object.text() ? OptString(*object.text()) : std::nullopt);
    }
}

void MessageGuidAndRowIdConnectionSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    if (!mapped || !currentRecord()) return;
    const auto& link = static_cast<const MessageGuidRowId&>(*currentRecord());
    const OptString& guid = link.Guid();
    if (!guid || guid->size() != 36 ||
        !IsGuidAsciiValue(
            ByteView(reinterpret_cast<const std::uint8_t*>(guid->data()), guid->size())))
        return;
    if (!WithinSequence(link.RowId(), _maxMessageRowId)) return;
    if (firstSighting()) RecoveredFiltered().push_back(currentRecord());
}

// ---- Chat GUIDs ----

OptString MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery::PartnerOfChatGuid(
    const OptString& guid) {
    if (!guid || guid->empty()) return std::nullopt;
    const auto separator = guid->rfind(';');
    if (separator == std::string::npos || separator == 0 || separator + 1 >= guid->size())
        return std::nullopt;
    return guid->substr(separator + 1);
}

void MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery::DoRecoveryPath(
    const std::string& path) {
    setFullDBPath(path);
    _maxChatRowId = getMaxRowIdforTable("chat");
    setSignature("MessageChatGuidAndChatIdHandleConnection");
    AbstractSQLiteRecoveryFullSearch::DoRecoveryPath(path);
}

std::shared_ptr<baseRecoveryObject>
MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery::GetNewRecoveryObject() {
    startRecord();
    return std::make_shared<MessageChatGuidAndChatIdHandleConnection>();
}

void MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery::FillModel(
    std::int64_t column, const ColumnValue& object, const TablePattern& tablePattern) {
    noteValue(object);
    const std::string* mapped = tablePattern.mappedName(column);
    if (!mapped || !currentRecord()) return;
    markCurrentMapped();
    auto& chat = static_cast<MessageChatGuidAndChatIdHandleConnection&>(*currentRecord());
    if (*mapped == "RowId") {
        chat.setRowId(object.asInteger());
    } else if (*mapped == "Guid") {
        chat.setGuid(object.text() ? OptString(*object.text()) : std::nullopt);
        if (OptString partner = PartnerOfChatGuid(chat.Guid())) chat.setId(std::move(partner));
    }
}

void MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    if (!mapped || !currentRecord()) return;
    const auto& chat =
        static_cast<const MessageChatGuidAndChatIdHandleConnection&>(*currentRecord());
    const OptString& guid = chat.Guid();
    // A chat GUID always names its service and style ("SMS;-;..."); one ending in "-" was cut.
    if (!guid || guid->find(';') == std::string::npos || guid->back() == '-' ||
        !IsPrintableAscii(*guid))
        return;
    if (!WithinSequence(chat.RowId(), _maxChatRowId)) return;
    if (firstSighting()) RecoveredFiltered().push_back(currentRecord());
}

// ---- chat_handle_join ----

void MessageChatHandleJoinSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setFullDBPath(path);
    _maxChatRowId = getMaxRowIdforTable("chat");
    maxHandleRowId_ = MaxRowIdOfTable(path, "handle");
    setSignature("ChatHandleJoin");
    openLiveDatabase(path);
    AbstractSQLiteRecoveryFullSearch::DoRecoveryPath(path);
}

std::shared_ptr<baseRecoveryObject> MessageChatHandleJoinSQLiteRecovery::GetNewRecoveryObject() {
    startRecord();
    return std::make_shared<ChatHandleJoin>();
}

void MessageChatHandleJoinSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                                    const TablePattern& tablePattern) {
    noteValue(object);
    if (!currentRecord()) return;
    auto& join = static_cast<ChatHandleJoin&>(*currentRecord());
    for (const auto& mapping : tablePattern.AttributesMapping()) {
        if (mapping.Column() != column || !mapping.Name()) continue;
        markCurrentMapped();
        if (*mapping.Name() == "chatId")
            join.setChatId(object.asInteger());
        else if (*mapping.Name() == "handleId")
            join.setHandleId(std::to_string(object.asInteger()));
    }
}

void MessageChatHandleJoinSQLiteRecovery::addRecoveredObject() {
    const bool mapped = currentWasMapped();
    if (!mapped || !currentRecord()) return;
    const auto& join = static_cast<const ChatHandleJoin&>(*currentRecord());
    const std::int64_t chat = join.ChatId();
    const std::int64_t handle = DecimalOrMinusOne(join.HandleId());
    if (!WithinSequence(chat, _maxChatRowId) || !WithinSequence(handle, maxHandleRowId_)) return;
    // A chat_message_join record has the same bytes; one that the live file holds as such and not
    // as a handle link is that.
    const std::vector<ColumnValue> pair{ColumnValue(chat), ColumnValue(handle)};
    if (!liveRowExists("SELECT 1 FROM chat_handle_join WHERE chat_id = ? AND handle_id = ?",
                       pair) &&
        liveRowExists("SELECT 1 FROM chat_message_join WHERE chat_id = ? AND message_id = ?", pair))
        return;
    if (firstSighting()) RecoveredFiltered().push_back(currentRecord());
}

bool MessageHandleSQLiteRecovery::acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                                               std::int64_t contentShift) {
    return recordCheck_.looksWritten(area, info, contentShift);
}

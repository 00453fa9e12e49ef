#include "database/DAOs.h"

#include "common/DateUtils.h"
#include "database/MessageLayout.h"
#include "records/Chat.h"
#include "records/MessageTableRecords.h"
#include "records/SMS.h"

#include <algorithm>
#include <cmath>

namespace {

// The message table of iOS 5 and earlier: a flags number per row.
constexpr std::int32_t kDeletedFlags = 129;

const char* const kSmsStatementBeforeIOS6 = "SELECT * FROM message";
const char* const kIMessageStatementBeforeIOS6 = "SELECT * FROM message where service = 'iMessage'";

OptString OldSchemaType(std::int32_t flags) {
    switch (flags) {
        case 33:
        case 35:
            return "Message Send Failure";
        case 3:
            return "Sent to";
        case 22:
        case 2:
            return "Received from";
        case 129:
            return "Deleted";
        case 131:
            return "Unknown";
        default:
            return std::nullopt;
    }
}

// The display text of a message's date column. Before iOS 6 SMS rows count Unix seconds while
// the iMessage rows of iOS 5 ("madrid" rows) count Apple seconds like every later schema; from
// iOS 11 on the column counts nanoseconds, recognised by their size (no date in seconds comes
// near 10^11). A NULL date has no text.
std::string MessageDateText(const SqliteResultSet& row, bool appleSeconds) {
    if (row.valueForColumn("date").isNull()) return std::string();
    double seconds = row.doubleForColumn("date");
    if (std::fabs(seconds) >= 1e11) seconds = std::trunc(seconds / 1e9);
    if (appleSeconds) return BaseDAO::getStringFromDate(DateUtils::DoubleToIOSDateTime(seconds));
    return BaseDAO::getStringFromDate(DateFromUnixSeconds(std::trunc(seconds)));
}

bool RowCountsAppleSeconds(const SqliteResultSet& row, std::int32_t iOSMajor) {
    return iOSMajor >= 6 || row.longLongIntForColumn("is_madrid") == 1;
}

std::string WithoutLineFeeds(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

}  // namespace

OptString DAOs::MessageTypeOfFlags(std::int32_t flags) {
    return OldSchemaType(flags);
}

std::string DAOs::GetMessageType(std::int32_t error, std::int32_t isFromMe) {
    if (error == 4) return "Message Send Failure";
    if (isFromMe == 1) return "Sent to";
    return "Received from";
}

// One display record from a row of the message statements, or nullptr for a row that the old
// schemas flag as deleted. The type comes from the flags before iOS 6, from error and sender
// after.
std::shared_ptr<SMS> DAOs::MessageFromRow(const SqliteResultSet& row, std::int32_t iOSMajor,
                                          std::int32_t slNo) {
    const std::int32_t flags = row.intForColumn("flags");
    // Only the old schemas have flags; a missing column reads 0 and drops nothing.
    if (flags == kDeletedFlags) return nullptr;
    auto sms = std::make_shared<SMS>();
    sms->setAddress(row.stringForColumn("address"));
    sms->setLocalTime(MessageDateText(row, RowCountsAppleSeconds(row, iOSMajor)));
    if (auto text = row.stringForColumn("text")) sms->setMessage(WithoutLineFeeds(*text));
    sms->setSlNo(slNo);
    sms->setType(iOSMajor >= 6
                     ? GetMessageType(row.intForColumn("error"), row.intForColumn("is_from_me"))
                     : MessageTypeOfFlags(flags));
    sms->setIsChecked(0);
    return sms;
}

void DAOs::CompleteFromGroupLayout(const SqliteConnection& connection, const SqliteResultSet& row,
                                   SMS& sms) {
    if (!sms.Message() || sms.Message()->empty()) {
        if (connection.hasTable("msg_pieces")) {
            auto parts = connection.executeQuery(
                "SELECT data FROM msg_pieces WHERE message_id = ? AND content_type LIKE "
                "'text/plain%' ORDER BY part_id, ROWID",
                {ColumnValue(row.longLongIntForColumn("ROWID"))});
            std::string text;
            while (parts.next()) {
                const OptString part = parts.stringForColumn("data");
                if (!part || part->empty()) continue;
                if (!text.empty()) text += ' ';
                text += *part;
            }
            if (!text.empty()) sms.setMessage(WithoutLineFeeds(std::move(text)));
        }
    }
    if ((!sms.Address() || sms.Address()->empty()) && connection.hasTable("group_member") &&
        !row.valueForColumn("group_id").isNull()) {
        auto members = connection.executeQuery(
            "SELECT address FROM group_member WHERE group_id = ? ORDER BY ROWID",
            {ColumnValue(row.longLongIntForColumn("group_id"))});
        std::string partners;
        while (members.next()) {
            const OptString member = members.stringForColumn("address");
            if (!member || member->empty()) continue;
            if (!partners.empty()) partners += ", ";
            partners += *member;
        }
        if (!partners.empty()) sms.setAddress(std::move(partners));
    }
}

std::optional<RecordList<SMS>> DAOs::ReadMessages(const char* beforeIOS6,
                                                  std::atomic<std::int32_t>& count,
                                                  bool listAsExisting) {
    count = 0;
    auto connection = boundConnection();
    if (!connection) return std::nullopt;
    // The file's own layout decides when the backup's version is missing or says another one.
    const std::int32_t iOSMajor =
        VersionForLayout(MessageLayoutOf(connection.get(), iOSMajorVersion()), iOSMajorVersion());
    // A database of another shape (a table or column of the messages missing) is read as far
    // as it goes: the messages keep what the file still has. The scan's database check names
    // what is missing.
    auto row = iOSMajor < 6 ? connection->executeQuery(beforeIOS6)
                            : connection->executeQuery(ChatsLayoutMessageStatement(*connection, !listAsExisting));
    if (!row) return std::nullopt;
    RecordList<SMS> result;
    std::int32_t n = 1;
    while (row.next()) {
        auto sms = MessageFromRow(row, iOSMajor, n);
        if (!sms) continue;
        if (iOSMajor < 6) CompleteFromGroupLayout(*connection, row, *sms);
        if (listAsExisting) {
            sms->setGUID(row.stringForColumn("guid"));
            sms->setRowID(row.intForColumn("realRowId"));
            sms->setIsRecovered(false);
            state().AllSMSContent.append(sms);
        }
        result.push_back(std::move(sms));
        ++n;
    }
    count = n - 1;
    return result;
}

std::optional<RecordList<SMS>> DAOs::GetSMS() {
    return ReadMessages(kSmsStatementBeforeIOS6, state().SMSCount, true);
}

std::optional<RecordList<SMS>> DAOs::GetiMessage() {
    return ReadMessages(kIMessageStatementBeforeIOS6, state().iMessageCount, false);
}

bool DAOs::GetPhoneNumberForID(std::int32_t hid, OptString& phno) {
    auto connection = numberUTILS_.get(databasePath(DatabaseRole::Messages));
    // The group layout before iOS 6 keeps no handles.
    if (!connection->hasTable("handle")) return false;
    auto row = connection->executeQuery("SELECT id FROM handle where ROWID=?", {ColumnValue(hid)});
    if (!row.next()) return false;
    phno = row.stringForColumn("id");
    return true;
}

OptString DAOs::GetPhoneNumberForHID(std::int32_t hid, OptString phno) {
    GetPhoneNumberForID(hid, phno);
    return phno;
}

void DAOs::GetChatMessageJoin() {
    auto connection = openPrivate(DatabaseRole::Messages);
    // The join table has a rowid of its own, which "*" does not list.
    auto row = connection->executeQuery("SELECT rowid, * from chat_message_join");
    RecordList<ChatMessageJoin> joins;
    while (row.next()) {
        auto join = std::make_shared<ChatMessageJoin>();
        join->setRowId(row.longLongIntForColumn("rowid"));
        join->setChatId(row.longLongIntForColumn("chat_id"));
        join->setMessageId(row.longLongIntForColumn("message_id"));
        joins.push_back(std::move(join));
    }
    state().AllChatMessageJoinContent.replace(std::move(joins));
}

void DAOs::GetAllChats() {
    auto connection = openPrivate(DatabaseRole::Messages);
    auto row = connection->executeQuery("SELECT ROWID,chat_identifier,service_name from chat");
    RecordList<Chat> chats;
    while (row.next()) {
        auto chat = std::make_shared<Chat>();
        chat->setRowId(row.longLongIntForColumn("ROWID"));
        chat->setChat_identifier(row.stringForColumn("chat_identifier"));
        chat->setServicType(row.stringForColumn("service_name"));
        chats.push_back(std::move(chat));
    }
    state().AllChatsContent.replace(std::move(chats));
}

RecordList<Chat> DAOs::GetChatsOf(const OptString& chatIdentifier) {
    RecordList<Chat> lines;
    if (!chatIdentifier) return lines;
    const std::int32_t iOSMajor = iOSMajorVersion();
    auto connection = openPrivate(DatabaseRole::Messages);
    auto row = connection->executeQuery(
        "SELECT chat.chat_identifier AS chat_identifier, message.is_from_me AS is_from_me, message.date AS date, "
        "message.text AS text from chat INNER JOIN chat_message_join ON "
        "chat.ROWID = chat_message_join.chat_id INNER JOIN message ON message.ROWID = "
        "chat_message_join.message_id WHERE chat_identifier = ?",
        {ColumnValue(*chatIdentifier)});
    while (row.next()) {
        auto chat = std::make_shared<Chat>();
        chat->setChat_identifier(row.stringForColumn("chat_identifier"));
        chat->setIs_from_me(std::to_string(row.intForColumn("is_from_me")));
        chat->setText(row.stringForColumn("text"));
        chat->setDate(MessageDateText(row, iOSMajor >= 6));
        lines.push_back(std::move(chat));
    }
    return lines;
}

RowIdMap DAOs::GetAllMessageRowID() {
    RowIdMap map;
    auto connection = openPrivate(DatabaseRole::Messages);
    auto row = connection->executeQuery("SELECT ROWID,text FROM message");
    while (row.next()) {
        auto rowId = row.stringForColumn("ROWID");
        auto text = row.stringForColumn("text");
        if (rowId && !rowId->empty() && text && !text->empty()) map[*rowId] = *text;
    }
    return map;
}

RowIdMap DAOs::GetAllMessageGUID() {
    RowIdMap map;
    auto connection = openPrivate(DatabaseRole::Messages);
    auto row = connection->executeQuery("SELECT guid,ROWID FROM message");
    while (row.next()) {
        auto rowId = row.stringForColumn("ROWID");
        auto guid = row.stringForColumn("guid");
        if (rowId && !rowId->empty() && guid && !guid->empty()) map[*guid] = *guid;
    }
    return map;
}

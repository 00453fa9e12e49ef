#include "database/MessageLayout.h"

#include "database/SqliteConnection.h"

#include <string_view>

MessageLayout MessageLayoutOf(const SqliteConnection* database, std::int32_t iOSMajor) {
    if (database && database->isOpen()) {
        if (database->hasTable("chat")) return MessageLayout::Chats;
        if (database->hasTable("group_member"))
            return database->hasTable("madrid_chat") ? MessageLayout::GroupsIOS5
                                                     : MessageLayout::GroupsIOS4;
    }
    if (iOSMajor >= 6 || iOSMajor <= 0) return MessageLayout::Chats;
    return iOSMajor == 5 ? MessageLayout::GroupsIOS5 : MessageLayout::GroupsIOS4;
}

std::int32_t VersionForLayout(MessageLayout layout, std::int32_t iOSMajor) {
    switch (layout) {
        case MessageLayout::Chats:
            return iOSMajor >= 6 ? iOSMajor : 6;
        case MessageLayout::GroupsIOS5:
            return 5;
        case MessageLayout::GroupsIOS4:
            return iOSMajor >= 1 && iOSMajor <= 4 ? iOSMajor : 4;
    }
    return iOSMajor;
}

std::string ChatsLayoutMessageStatement(const SqliteConnection& database, bool iMessagesOnly) {
    // Every column is named with its table, so that a column of the same name that another
    // version (or shape) adds to the other table cannot make the statement ambiguous. A column
    // the file lacks reads as NULL (SqliteConnection); without the handle table the messages
    // come without their partners' numbers.
    const bool handles = database.hasTable("handle");
    std::string sql =
        "SELECT message.ROWID AS realRowId, message.text AS text, message.date AS date, " +
        std::string(handles ? "handle.id" : "NULL") +
        " AS address, message.error AS error, message.is_from_me AS is_from_me, message.handle_id AS handle_id, "
        "message.guid AS guid FROM message";
    if (handles) sql += iMessagesOnly ? " INNER JOIN handle ON message.handle_id = handle.ROWID"
                                      : " LEFT JOIN handle ON message.handle_id = handle.ROWID";
    if (iMessagesOnly) sql += " WHERE message.service = 'iMessage'";
    return sql;
}

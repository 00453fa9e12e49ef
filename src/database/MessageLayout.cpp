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

namespace {

// The columns of the message table that its messages are read with, and what is lost without
// each.
struct MessageColumn {
    const char* name;
    const char* lost;
};
constexpr MessageColumn kMessageColumns[] = {
    {"text", "messages are listed without their texts"},
    {"date", "messages are listed without their dates"},
    {"handle_id", "messages are listed without their partners' numbers"},
    {"guid", "messages are listed without their identifiers"},
    {"attributedBody", nullptr},
    {"error", nullptr},
    {"is_from_me", "messages are listed without their direction"},
};

}  // namespace

std::vector<std::string> MissingMessageParts(const SqliteConnection& database) {
    std::vector<std::string> missing;
    // Only a file that shows the chats layout by its own tables; a message table alone says
    // too little to be read as one.
    if (!database.isOpen() || !database.hasTable("chat")) return missing;
    if (!database.hasTable("message")) return missing;  // no messages database at all: said elsewhere
    if (!database.hasTable("handle"))
        missing.push_back("table handle: messages are listed without their partners' numbers");
    for (const MessageColumn& column : kMessageColumns)
        if (column.lost && !database.hasColumn("message", column.name))
            missing.push_back(std::string("column message.") + column.name + ": " + column.lost);
    return missing;
}

std::string ChatsLayoutMessageStatement(const SqliteConnection& database) {
    std::string columns = "message.ROWID as realRowId";
    for (const MessageColumn& column : kMessageColumns) {
        if (std::string_view(column.name) == "handle_id") continue;
        columns += ", ";
        columns += database.hasColumn("message", column.name) ? std::string("message.") + column.name
                                                             : std::string("NULL");
        columns += std::string(" as ") + column.name;
    }
    const bool handles = database.hasTable("handle") && database.hasColumn("message", "handle_id");
    columns += database.hasColumn("message", "handle_id") ? ", message.handle_id as handle_id"
                                                          : ", NULL as handle_id";
    columns += handles ? ", handle.id as address" : ", NULL as address";
    return "SELECT " + columns + " FROM message" +
           (handles ? " LEFT JOIN handle ON message.handle_id = handle.ROWID" : "");
}

std::vector<std::string> MissingAddressBookParts(const SqliteConnection& database) {
    std::vector<std::string> missing;
    if (!database.isOpen() || !database.hasTable("ABPerson")) return missing;
    if (!database.hasTable("ABMultiValue"))
        missing.push_back(
            "table ABMultiValue: contacts are listed without their numbers, e-mail addresses and "
            "other details, and calls and messages are not named by them");
    return missing;
}

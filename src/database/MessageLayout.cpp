#include "database/MessageLayout.h"

#include "database/SqliteConnection.h"

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

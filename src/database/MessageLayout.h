#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SqliteConnection;

// The two layouts of the messages database: chats, handles and join tables from iOS 6 on;
// numbered groups of members before (iOS 5 adds the iMessage "madrid" tables and columns).
enum class MessageLayout { Chats, GroupsIOS5, GroupsIOS4 };

// The layout of an open messages database. Its own tables decide where they tell (a chat table:
// chats; group_member without a chat table: groups, of iOS 5 when it has the madrid tables), so
// that a backup whose iOS version is missing, or says another layout than the file has, is read
// as the file is. Otherwise the iOS major version decides (6 on: chats; 5; below: iOS 4; 0, not
// known: chats). A missing or unopened database is decided by the version.
MessageLayout MessageLayoutOf(const SqliteConnection* database, std::int32_t iOSMajor);

// The iOS major version whose statements read that layout: the given version when it agrees
// with the layout, else the layout's own (6 for chats, 5 and 4 for the groups).
std::int32_t VersionForLayout(MessageLayout layout, std::int32_t iOSMajor);


// The statement that reads the messages of a database of the chats layout, or its iMessages
// alone, as far as its shape allows: without the handle table the messages come without their
// partners' numbers (and every message counts as one of the phone's own partner-less ones).
std::string ChatsLayoutMessageStatement(const SqliteConnection& database, bool iMessagesOnly);

#include "database/DatabaseParts.h"

#include "database/MessageLayout.h"
#include "database/SqliteConnection.h"

#include <span>

namespace {

// One table or column that a kind's records are read with, and what its records lose without
// it. A part without a column is the table itself.
struct Part {
    const char* table;
    const char* column;
    const char* lost;
};

// A layout of a kind: the table it is known by, and its parts.
struct Layout {
    DatabaseKind kind;
    const char* keyTable;
    std::span<const Part> parts;
};

constexpr Part kChatMessages[] = {
    {"message", nullptr, "no message is listed"},
    {"message", "text", "messages are listed without their texts"},
    {"message", "date", "messages are listed without their dates"},
    {"message", "handle_id", "messages are listed without their partners' numbers"},
    {"message", "guid", "messages are listed without their identifiers"},
    {"message", "error", "messages that could not be sent are not told apart"},
    {"message", "is_from_me", "messages are listed without their direction"},
    {"message", "service", "iMessages are not told apart"},
    {"handle", nullptr, "messages are listed without their partners' numbers"},
    {"handle", "id", "messages are listed without their partners' numbers"},
    {"chat", nullptr, "messages are not grouped in their chats"},
    {"chat", "chat_identifier", "messages are not grouped in their chats"},
    {"chat_message_join", nullptr, "messages are not grouped in their chats"},
    {"chat_message_join", "chat_id", "messages are not grouped in their chats"},
    {"chat_message_join", "message_id", "messages are not grouped in their chats"},
};
constexpr Part kGroupMessages[] = {
    {"message", nullptr, "no message is listed"},
    {"message", "address", "messages are listed without their partners' numbers"},
    {"message", "date", "messages are listed without their dates"},
    {"message", "text", "messages are listed without their texts"},
    {"message", "flags", "messages are listed without their direction"},
};
constexpr Part kAddressBook[] = {
    {"ABPerson", nullptr, "no contact is listed"},
    {"ABPerson", "First", "contacts are listed without their first names, and calls and messages are not named"},
    {"ABPerson", "Last", "contacts are listed without their last names"},
    {"ABPerson", "Middle", "contacts are listed without their middle names"},
    {"ABPerson", "Organization", "contacts are listed without their organizations"},
    {"ABPerson", "Department", "contacts are listed without their departments"},
    {"ABPerson", "JobTitle", "contacts are listed without their job titles"},
    {"ABPerson", "Nickname", "contacts are listed without their nicknames"},
    {"ABPerson", "CreationDate", "contacts are listed without their creation dates"},
    {"ABPerson", "ModificationDate", "contacts are listed without their modification dates"},
    {"ABMultiValue", nullptr,
     "contacts are listed without their numbers, e-mail addresses and other details, and calls and "
     "messages are not named by them"},
    {"ABMultiValue", "record_id",
     "contacts are listed without their numbers and e-mail addresses, and calls and messages are not "
     "named by them"},
    {"ABMultiValue", "property", "contacts are listed without their numbers and e-mail addresses"},
    {"ABMultiValue", "value",
     "contacts are listed without their numbers and e-mail addresses, and calls and messages are not "
     "named by them"},
};
constexpr Part kCallStore[] = {
    {"ZCALLRECORD", nullptr, "no call is listed"},
    {"ZCALLRECORD", "ZADDRESS", "calls are listed without their numbers"},
    {"ZCALLRECORD", "ZDATE", "calls are listed without their times"},
    {"ZCALLRECORD", "ZDURATION", "calls are listed without their durations"},
    {"ZCALLRECORD", "ZCALLTYPE", "calls are listed without their kinds"},
    {"ZCALLRECORD", "ZORIGINATED", "calls are listed without their direction"},
};
constexpr Part kCallTable[] = {
    {"call", nullptr, "no call is listed"},
    {"call", "address", "calls are listed without their numbers"},
    {"call", "date", "calls are listed without their times"},
    {"call", "duration", "calls are listed without their durations"},
    {"call", "flags", "calls are listed without their kinds"},
};
constexpr Part kNoteStore[] = {
    {"ZICCLOUDSYNCINGOBJECT", nullptr, "no note is listed"},
    {"ZICCLOUDSYNCINGOBJECT", "ZTITLE1", "notes are listed without their titles"},
    {"ZICCLOUDSYNCINGOBJECT", "ZSNIPPET", "notes are listed without their texts"},
    {"ZICCLOUDSYNCINGOBJECT", "ZCREATIONDATE", "notes are listed without their creation dates"},
    {"ZICCLOUDSYNCINGOBJECT", "ZMODIFICATIONDATE", "notes are listed without their modification dates"},
    {"ZICCLOUDSYNCINGOBJECT", "ZFOLDERSMODIFICATIONDATE",
     "deleted notes (the \"Recently Deleted\" folder) are listed as existing"},
    {"ZICCLOUDSYNCINGOBJECT", "ZNOTEDATA", "no note is listed"},
    {"ZICNOTEDATA", nullptr, "no note is listed"},
    {"ZICNOTEDATA", "Z_PK", "no note is listed"},
};
constexpr Part kNotes[] = {
    {"ZNOTE", nullptr, "no note is listed"},
    {"ZNOTE", "ZTITLE", "notes are listed without their titles"},
    {"ZNOTE", "ZCREATIONDATE", "notes are listed without their creation dates"},
    {"ZNOTE", "ZDELETEDFLAG", "no note is listed"},
    {"ZNOTEBODY", nullptr, "no note is listed"},
    {"ZNOTEBODY", "ZOWNER", "no note is listed"},
    {"ZNOTEBODY", "ZCONTENT", "notes are listed without their texts"},
};
constexpr Part kCalendarItems[] = {
    {"CalendarItem", nullptr, "no event is listed"},
    {"CalendarItem", "summary", "events are listed without their titles"},
    {"CalendarItem", "description", "events are listed without their descriptions"},
    {"CalendarItem", "start_date", "events are listed without their start times"},
    {"CalendarItem", "end_date", "events are listed without their end times"},
    {"CalendarItem", "all_day", "all-day events are not told apart"},
};
constexpr Part kEvents[] = {
    {"Event", nullptr, "no event is listed"},
    {"Event", "summary", "events are listed without their titles"},
    {"Event", "location", "events are listed without their places"},
    {"Event", "description", "events are listed without their descriptions"},
    {"Event", "start_date", "events are listed without their start times"},
    {"Event", "end_date", "events are listed without their end times"},
};
constexpr Part kWhatsApp[] = {
    {"ZWAMESSAGE", nullptr, "no message is listed"},
    {"ZWAMESSAGE", "ZTEXT", "messages are listed without their texts"},
    {"ZWAMESSAGE", "ZMESSAGEDATE", "messages are listed without their dates"},
    {"ZWAMESSAGE", "ZFROMJID", "messages are listed without their senders"},
    {"ZWAMESSAGE", "ZTOJID", "messages are listed without their receivers"},
    {"ZWAMESSAGE", "ZPUSHNAME", "messages are listed without their senders' names"},
};
constexpr Part kHistory[] = {
    {"history_items", nullptr, "no visited page is listed"},
    {"history_items", "id", "no visited page is listed"},
    {"history_items", "url", "visited pages are listed without their addresses"},
    {"history_items", "visit_count", "visited pages are listed without their visit counts"},
    {"history_visits", nullptr, "no visited page is listed"},
    {"history_visits", "history_item", "no visited page is listed"},
    {"history_visits", "visit_time", "visited pages are listed without their times"},
    {"history_visits", "title", "visited pages are listed without their titles"},
};
constexpr Part kAssets[] = {
    {"ZGENERICASSET", nullptr, "no photo of the library is listed"},
    {"ZGENERICASSET", "ZDIRECTORY", "photos of the library are listed without their folders"},
    {"ZGENERICASSET", "ZFILENAME", "photos of the library are listed without their file names"},
    {"ZGENERICASSET", "ZDATECREATED", "photos of the library are listed without their dates"},
};
constexpr Part kOlderPhotos[] = {
    {"Photo", nullptr, "no photo of the library is listed"},
    {"Photo", "directory", "photos of the library are listed without their folders"},
    {"Photo", "filename", "photos of the library are listed without their file names"},
    {"Photo", "captureTime", "photos of the library are listed without their dates"},
};

// In order of preference: the first layout whose table the file has (or has as a view) is the
// file's. The messages database is decided apart (MessageLayoutOf).
constexpr Layout kLayouts[] = {
    {DatabaseKind::AddressBook, "ABPerson", kAddressBook},
    {DatabaseKind::CallHistory, "ZCALLRECORD", kCallStore},
    {DatabaseKind::CallHistory, "call", kCallTable},
    {DatabaseKind::Notes, "ZICCLOUDSYNCINGOBJECT", kNoteStore},
    {DatabaseKind::Notes, "ZNOTE", kNotes},
    {DatabaseKind::Calendar, "CalendarItem", kCalendarItems},
    {DatabaseKind::Calendar, "Event", kEvents},
    {DatabaseKind::WhatsApp, "ZWAMESSAGE", kWhatsApp},
    {DatabaseKind::InternetHistory, "history_items", kHistory},
    {DatabaseKind::PhotoLibrary, "ZGENERICASSET", kAssets},
    {DatabaseKind::PhotoLibrary, "Photo", kOlderPhotos},
};

bool Present(const SqliteConnection& database, const char* table) {
    return database.hasTable(table) || database.hasView(table);
}

}  // namespace

std::vector<std::string> MissingDatabaseParts(DatabaseKind kind, const SqliteConnection& database,
                                              std::int32_t iOSMajor) {
    std::vector<std::string> missing;
    if (!database.isOpen()) return missing;
    std::span<const Part> parts;
    if (kind == DatabaseKind::Messages) {
        if (!Present(database, "message")) return missing;
        parts = MessageLayoutOf(&database, iOSMajor) == MessageLayout::Chats ? std::span<const Part>(kChatMessages)
                                                                            : std::span<const Part>(kGroupMessages);
    } else {
        for (const Layout& layout : kLayouts)
            if (layout.kind == kind && Present(database, layout.keyTable)) {
                parts = layout.parts;
                break;
            }
    }
    // A table named once: when it is missing or a view, its columns are not named again.
    std::vector<std::string> tablesNamed;
    const auto named = [&](const char* table) {
        for (const std::string& name : tablesNamed)
            if (name == table) return true;
        return false;
    };
    for (const Part& part : parts) {
        if (named(part.table)) continue;
        if (database.hasView(part.table)) {
            missing.push_back(std::string("its table ") + part.table + " is a view, which is not read: " + part.lost);
            tablesNamed.emplace_back(part.table);
        } else if (!database.hasTable(part.table)) {
            missing.push_back(std::string("it has no table ") + part.table + ": " + part.lost);
            tablesNamed.emplace_back(part.table);
        } else if (part.column && !database.hasColumn(part.table, part.column)) {
            missing.push_back(std::string("it has no column ") + part.table + "." + part.column + ": " + part.lost);
        }
    }
    return missing;
}

#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SqliteConnection;

// The kinds of backup database whose records the scan reads with SQL.
enum class DatabaseKind {
    Messages,
    AddressBook,
    CallHistory,
    Notes,
    Calendar,
    WhatsApp,
    InternetHistory,
    PhotoLibrary,
};

// What a database of that kind lacks of the tables and columns its records are read with, in
// words, one entry per part ("it has no column ABPerson.First: contacts are listed without their
// first names"; "its table message is a view, which is not read: ..."). Each kind has its layouts, told
// apart by their own tables (the messages database as MessageLayoutOf decides, with the
// backup's iOS major version); the parts of the layout the file shows are looked for. None when
// the file has them all, when it holds none of the kind's tables (the database check says that),
// and when it is not open.
std::vector<std::string> MissingDatabaseParts(DatabaseKind kind, const SqliteConnection& database,
                                              std::int32_t iOSMajor);

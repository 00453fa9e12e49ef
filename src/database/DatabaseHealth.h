#pragma once

#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

// Whether SQLite can read a database file of a backup, and if not, what it cannot read. The
// file is opened read-only and immutable, its schema read, every table read row by row (every
// value of every row, so that damaged pages anywhere in a table are met) and its structure
// checked. Linear in the file's size.
struct DatabaseHealth {
    // SQLite could read the schema: the file is a database at all.
    bool readable = false;
    // Why not (SQLite's words), when it is not.
    std::string error;
    // The tables whose rows could not all be read, each with SQLite's words.
    struct Table {
        std::string name;
        std::size_t rowsRead = 0;
        std::string error;
    };
    std::vector<Table> damagedTables;
    // The names of the tables its schema lists (virtual ones included), when it is readable.
    std::vector<std::string> tables;
    // The names of its views, which are not read.
    std::vector<std::string> views;
    // SQLite's first complaint about the file's structure (an index, the free pages) when
    // every table could be read; empty when it has none.
    std::string structure;

    bool ok() const { return readable && damagedTables.empty() && structure.empty(); }
    // What could not be read, in words: "it cannot be read at all (file is not a database)",
    // "table ZCALLRECORD could not be read completely (3 rows read: database disk image is
    // malformed)", ...
    std::string describe() const;

    // Examines the file; a stop request ends the examination early (what was seen stands).
    static DatabaseHealth Examine(const std::string& path, std::stop_token stop = {});
};

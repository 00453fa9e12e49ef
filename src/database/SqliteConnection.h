#pragma once

#include "common/ColumnValue.h"
#include "common/Types.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One running statement and the row it stands on. Columns are read by name, case-insensitively,
// as the queries name them; a name the result does not hold reads as an absent text or 0, which
// several statements rely on (one statement serves schemas that lack some of its columns).
//
class SqliteStatementCache;
struct SqlitePreparedStatement;

// The statement is given back to its connection when the object goes away, for the next query
// of the same text. It keeps its connection alive, so a handle that replaces its connection
// never pulls it from under a running walk.
class SqliteResultSet {
public:
    // No result set: the statement could not be prepared (or there was no open connection).
    SqliteResultSet() = default;
    ~SqliteResultSet();
    SqliteResultSet(SqliteResultSet&& other) noexcept;
    SqliteResultSet& operator=(SqliteResultSet&& other) noexcept;
    SqliteResultSet(const SqliteResultSet&) = delete;
    SqliteResultSet& operator=(const SqliteResultSet&) = delete;

    // Whether the statement was prepared; a walk of a missing result set takes no row.
    explicit operator bool() const { return stmt_ != nullptr; }

    // Moves to the next row; false at the end, on an error (logged) or without a result set.
    bool next();
    // Whether a step failed (a damaged page, a file SQLite cannot read): the rows seen so far
    // are not all the statement's rows.
    bool failed() const { return failed_; }

    bool hasColumn(std::string_view name) const { return columnIndex(name) >= 0; }
    // The column as text (numbers in SQLite's decimal form, blobs as their bytes); absent for
    // NULL or a missing column.
    OptString stringForColumn(std::string_view name) const;
    // The column as a 32-bit integer: the low 32 bits of its 64-bit value, taken as signed.
    std::int32_t intForColumn(std::string_view name) const;
    std::int64_t longLongIntForColumn(std::string_view name) const;
    double doubleForColumn(std::string_view name) const;
    // The column as stored: absent, integer, double, text or blob.
    ColumnValue valueForColumn(std::string_view name) const;

    // Ends the statement now; later reads see no row.
    void close();

private:
    friend class SqliteConnection;
    // Takes the prepared statement over.
    SqliteResultSet(std::shared_ptr<SqliteStatementCache> cache, SqlitePreparedStatement* prepared);
    int columnIndex(std::string_view name) const;

    std::shared_ptr<SqliteStatementCache> cache_;
    SqlitePreparedStatement* prepared_ = nullptr;  // owned
    sqlite3_stmt* stmt_ = nullptr;
    bool onRow_ = false;
    bool failed_ = false;
};

// While one of these lives, a stop request on its token interrupts the statement that the
// thread is running on any connection, within a fraction of a second (the statement's walk ends
// as a failed step). Scopes nest; the innermost counts.
class SqliteStopScope {
public:
    explicit SqliteStopScope(std::stop_token stop);
    ~SqliteStopScope();
    SqliteStopScope(const SqliteStopScope&) = delete;
    SqliteStopScope& operator=(const SqliteStopScope&) = delete;

private:
    std::stop_token previous_;
};

// One connection to a database file of a backup. Backups are only ever read, so the file is
// opened read-only and immutable (only a regular file: never a pipe or a device), and a
// missing file is reported as missing, never created
// (not opened, and left to the scan to log once: ScanContext::locate). A connection that failed
// to open still exists: every query on it yields no result set.
//
// Statements are prepared once per text and kept for the connection's life: the recoverers ask
// the same question of the live tables for every carved record.
class SqliteConnection {
public:
    static std::shared_ptr<SqliteConnection> OpenReadOnly(const std::string& path);

    bool isOpen() const { return db_ != nullptr; }
    const std::string& path() const { return path_; }

    // Prepares the statement and binds the arguments to its "?" parameters in order (absent
    // binds NULL). No result set when the connection is not open or the statement does not
    // prepare (a missing table, say); the reason goes to the log, once per text and connection
    // (a text that failed is not prepared again).
    SqliteResultSet executeQuery(std::string_view sql,
                                 const std::vector<ColumnValue>& args = {}) const;

    // Whether the database has a table of that name, compared as SQLite compares names (ASCII
    // letters in either case). A view is no table: no query of this class reads one (a
    // statement that would is refused when it is prepared), since a view's rows are made by
    // whatever SQL the file holds, which may never end. The names are read once per connection: a backup's
    // file does not change under it. False when the connection is not open.
    bool hasTable(std::string_view name) const;
    // Whether the database has a view of that name (compared as above).
    bool hasView(std::string_view name) const;
    // Whether the table has a column of that name (compared as SQLite compares names).
    bool hasColumn(std::string_view table, std::string_view column) const;

    // The "file:" URI under which a path is opened read-only and immutable.
    static std::string ReadOnlyUri(std::string_view path);
    // Why the file is not opened, in words ("it is a pipe (FIFO), not a database file"): only a
    // regular file is, since opening a pipe or a device may wait for ever. Empty for a regular
    // file.
    static std::string RefusalToOpen(const std::string& path);
    // Makes a stop request of the calling thread's SqliteStopScope interrupt the statements of
    // that connection. Every connection this class opens has it.
    static void WatchForStop(sqlite3* db);

private:
    SqliteConnection() = default;

    std::string path_;
    std::shared_ptr<sqlite3> db_;
    std::shared_ptr<SqliteStatementCache> statements_;
    mutable std::mutex tablesMutex_;
    bool schemaHas(std::string_view name, bool view) const;

    // The names of its tables and views (lower-cased), each with whether it is a view.
    mutable std::optional<std::vector<std::pair<std::string, bool>>> tables_;
};

#pragma once

#include "database/SqliteConnection.h"

#include <memory>
#include <mutex>
#include <string>

// One database path and the connection last opened on it. A query object keeps one of these as
// its handle; the caller chooses the file and opens it before the queries run.
//
// The connection is shared, not borrowed: a query takes its own reference for the length of its
// walk, so a later openDatabase (or the handle going away) never closes a connection under it.
// The last reference closes the connection.
class FMDBUtils {
public:
    explicit FMDBUtils(std::string dbPath);
    FMDBUtils(const FMDBUtils&) = delete;
    FMDBUtils& operator=(const FMDBUtils&) = delete;

    // Opens dbPath read-only and keeps the connection, also when the open failed (its queries
    // then yield nothing); a second call replaces the kept connection. Whether it opened.
    bool openDatabase();
    // The connection of the last openDatabase; nullptr before the first.
    std::shared_ptr<SqliteConnection> sharedDB() const;

    std::string dbPath() const;
    void setDbPath(std::string path);

private:
    mutable std::mutex mutex_;
    std::string dbPath_;
    std::shared_ptr<SqliteConnection> sharedDBObj_;
};

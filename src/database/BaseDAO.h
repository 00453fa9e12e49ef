#pragma once

#include "common/Clock.h"
#include "database/FMDBUtils.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/ScanContext.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// The base of the query object: the handle its bound queries read, and the scan it serves: the
// backup folder and database names its other queries open, and the shared state record whose
// lists and counts they fill (the context's results record).
//
// The handle is captured when the object is made; a later change of the state record's handle
// does not reach an existing query object, so a running query keeps the database it started on.
class BaseDAO {
public:
    // Captures the results record's handle at this moment.
    explicit BaseDAO(ScanContext context);
    BaseDAO(std::shared_ptr<FMDBUtils> dbUtils, ScanContext context);
    virtual ~BaseDAO();
    BaseDAO(const BaseDAO&) = delete;
    BaseDAO& operator=(const BaseDAO&) = delete;

    std::shared_ptr<FMDBUtils> dbUtils() const { return dbUtils_.get(); }
    void setDbUtils(std::shared_ptr<FMDBUtils> handle) { dbUtils_.set(std::move(handle)); }

    // The record the queries fill.
    BrimleyAppDelegate& state() const { return context_.sink(); }
    const ScanContext& context() const { return context_; }

    // The display text of a date, "yyyy-MM-dd HH:mm:ss" in local time; the empty text for none.
    static std::string getStringFromDate(const OptDate& date);

protected:
    // The connection of the object's own handle, or nullptr when it has none or never opened it.
    std::shared_ptr<SqliteConnection> boundConnection() const;
    // Where the backup keeps the role's database: the backup folder + "/" + its backup file name,
    // or the two-digit sub-folder of iOS 10 and later.
    std::string databasePath(DatabaseRole role) const { return context_.databasePath(role); }
    // A connection of the calling query's own on a role's database; it closes when dropped.
    std::shared_ptr<SqliteConnection> openPrivate(DatabaseRole role) const;
    // The iOS major version of the device being read (0 while none is known).
    std::int32_t iOSMajorVersion() const;

    // A connection on one role's database that a query object opens on first use and keeps for
    // lookups that run once per row. It follows the role's current path: when the backup folder
    // or the file name changed since it was opened, the next use opens the new file.
    class RoleConnection {
    public:
        std::shared_ptr<SqliteConnection> get(const std::string& path);

    private:
        std::mutex mutex_;
        std::shared_ptr<SqliteConnection> connection_;
    };

private:
    ScanContext context_;
    Guarded<std::shared_ptr<FMDBUtils>> dbUtils_;
};

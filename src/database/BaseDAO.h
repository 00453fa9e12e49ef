#pragma once

#include "common/Clock.h"
#include "database/FMDBUtils.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// The base of the query object: the handle its bound queries read, and the shared state record
// whose lists, counts, backup folder and database names the queries use.
//
// The handle is captured when the object is made; a later change of the state record's handle
// does not reach an existing query object, so a running query keeps the database it started on.
class BaseDAO {
public:
    // Captures the state record's handle at this moment.
    explicit BaseDAO(BrimleyAppDelegate& state = BrimleyAppDelegate::appDelegate());
    BaseDAO(std::shared_ptr<FMDBUtils> dbUtils,
            BrimleyAppDelegate& state = BrimleyAppDelegate::appDelegate());
    virtual ~BaseDAO();
    BaseDAO(const BaseDAO&) = delete;
    BaseDAO& operator=(const BaseDAO&) = delete;

    std::shared_ptr<FMDBUtils> dbUtils() const { return dbUtils_.get(); }
    void setDbUtils(std::shared_ptr<FMDBUtils> handle) { dbUtils_.set(std::move(handle)); }

    BrimleyAppDelegate& state() const { return state_; }

    // The display text of a date, "yyyy-MM-dd HH:mm:ss" in local time; the empty text for none.
    static std::string getStringFromDate(const OptDate& date);

protected:
    // The connection of the object's own handle, or nullptr when it has none or never opened it.
    std::shared_ptr<SqliteConnection> boundConnection() const;
    // Where the backup keeps the role's database: BACKUP_DIRECTORY + "/" + its backup file name,
    // or the two-digit sub-folder of iOS 10 and later.
    std::string databasePath(const Guarded<std::string>& roleFileName) const;
    // A connection of the calling query's own on a role's database; it closes when dropped.
    std::shared_ptr<SqliteConnection> openPrivate(const Guarded<std::string>& roleFileName) const;
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
    BrimleyAppDelegate& state_;
    Guarded<std::shared_ptr<FMDBUtils>> dbUtils_;
};

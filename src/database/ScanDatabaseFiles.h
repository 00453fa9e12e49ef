#pragma once

#include "common/Types.h"
#include "records/ScanContext.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

// How a scan reads the databases of a backup, SQLite's way: a database whose write-ahead log
// ("-wal" file) the backup keeps is read with that log applied. Rows that the phone had written
// only to the log are then listed, and carving sees the pages as they stand after the log, so
// a row that is live in the log is not taken for a deleted one.
//
// The backup is never written: the database and its log are copied into a private folder (mode
// 0700) below the working folder, under the names SQLite expects ("<name>" and "<name>-wal"),
// the log is checkpointed into the copy there, and the copy is what every query and every
// carving run of the scan reads. Each database is copied once per scan, on first use, whichever
// thread asks first; the copies go with the object.
//
// The backup keeps a database's log under the backup name of the log's own device path (the
// SHA-1 of "domain-relativePath-wal"); a log stored as "<database name>-wal" is taken too.
// A database without a log, or with an empty one, is read where the backup keeps it.
class ScanDatabaseFiles : public BackupFileAccess {
public:
    // The copies go into a new folder below workingFolder, made when the first one is needed.
    explicit ScanDatabaseFiles(std::string workingFolder);
    ~ScanDatabaseFiles() override;
    ScanDatabaseFiles(const ScanDatabaseFiles&) = delete;
    ScanDatabaseFiles& operator=(const ScanDatabaseFiles&) = delete;

    std::string readablePath(const std::string& backupFolder, const std::string& backupName,
                             const std::string& backupPath) override;
    bool firstMissOf(const std::string& backupName) override;

    // The backup's write-ahead log of a database, when it keeps a non-empty one.
    static OptString LogOf(const std::string& backupFolder, const std::string& backupName);
    // Applies the log that lies beside a database file ("<path>-wal") to it and removes the
    // log; whether the file now holds everything the log held. The reason for a failure goes
    // to stderr.
    static bool ApplyLog(const std::string& databasePath);

    // The folder the copies are in; empty until the first copy.
    std::string copiesFolder() const;

private:
    struct Copy {
        std::mutex mutex;
        bool made = false;
        // Empty when no copy could be made: the database is then read in place.
        std::string path;
    };

    // The copy of the database at backupPath with the log at logPath; empty when it fails.
    std::string makeCopy(const std::string& backupName, const std::string& backupPath,
                         const std::string& logPath);
    // The private folder, made on first use; empty when it cannot be made.
    std::string folder();

    const std::string workingFolder_;
    mutable std::mutex mutex_;
    std::string folder_;
    std::size_t copiesMade_ = 0;
    std::map<std::string, std::shared_ptr<Copy>> copies_;
    std::set<std::string> missing_;
};

#include "database/ScanDatabaseFiles.h"

#include "common/AppPaths.h"
#include "common/BackupFiles.h"
#include "common/SHA1Util.h"
#include "common/TemporaryFiles.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace {

// The device paths ("domain-relativePath") of the databases the program reads; the backup
// keeps each one's log under the SHA-1 of its path followed by "-wal".
constexpr const char* kDatabaseDevicePaths[] = {
    "HomeDomain-Library/SMS/sms.db",
    "HomeDomain-Library/AddressBook/AddressBook.sqlitedb",
    "HomeDomain-Library/AddressBook/AddressBookImages.sqlitedb",
    "HomeDomain-Library/Calendar/Calendar.sqlitedb",
    "HomeDomain-Library/Notes/notes.sqlite",
    "AppDomainGroup-group.com.apple.notes-NoteStore.sqlite",
    "WirelessDomain-Library/CallHistory/call_history.db",
    "HomeDomain-Library/CallHistoryDB/CallHistory.storedata",
    "AppDomain-net.whatsapp.WhatsApp-Documents/ChatStorage.sqlite",
    "AppDomainGroup-group.net.whatsapp.WhatsApp.shared-ChatStorage.sqlite",
    "CameraRollDomain-Media/PhotoData/Photos.sqlite",
    "MediaDomain-Media/PhotoData/Photos.sqlite",
    "AppDomain-com.apple.mobilesafari-Library/Safari/History.db",
    "HomeDomain-Library/Safari/History.db",
};

// The backup name of each database's log, by the database's backup name.
const std::unordered_map<std::string, std::string>& LogNames() {
    static const std::unordered_map<std::string, std::string> names = [] {
        std::unordered_map<std::string, std::string> byDatabase;
        for (const char* path : kDatabaseDevicePaths)
            byDatabase[SHA1Util::SHA1HashStringForUTF8String(path)] =
                SHA1Util::SHA1HashStringForUTF8String(std::string(path) + "-wal");
        return byDatabase;
    }();
    return names;
}

bool NonEmptyRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool RegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void RemoveQuietly(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

// A row of "PRAGMA wal_checkpoint": busy, frames in the log, frames checkpointed.
int CheckpointRow(void* out, int columns, char** values, char**) {
    auto& numbers = *static_cast<std::vector<long long>*>(out);
    for (int i = 0; i < columns; ++i)
        numbers.push_back(values[i] ? std::strtoll(values[i], nullptr, 10) : 0);
    return 0;
}

}  // namespace

ScanDatabaseFiles::ScanDatabaseFiles(std::string workingFolder)
    : workingFolder_(std::move(workingFolder)) {}

ScanDatabaseFiles::~ScanDatabaseFiles() {
    std::lock_guard lock(mutex_);
    if (folder_.empty()) return;
    // Only the folder this object made; links inside it are removed, never followed.
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    TemporaryFiles::forget(folder_);
}

OptString ScanDatabaseFiles::LogOf(const std::string& backupFolder,
                                   const std::string& backupName) {
    std::vector<std::string> names;
    const auto& logNames = LogNames();
    if (const auto known = logNames.find(backupName); known != logNames.end())
        names.push_back(known->second);
    names.push_back(backupName + "-wal");
    for (const std::string& name : names)
        if (OptString log = BackupFiles::locate(backupFolder, name); log && NonEmptyRegularFile(*log))
            return log;
    return std::nullopt;
}

bool ScanDatabaseFiles::ApplyLog(const std::string& databasePath) {
    sqlite3* db = nullptr;
    // Read-write, on the private copy only: a checkpoint writes the log's pages into the file.
    int rc = sqlite3_open_v2(databasePath.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    std::vector<long long> result;
    char* error = nullptr;
    if (rc == SQLITE_OK) {
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        rc = sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", &CheckpointRow, &result, &error);
    }
    std::string reason = rc == SQLITE_OK ? std::string()
                         : error         ? std::string(error)
                         : db            ? std::string(sqlite3_errmsg(db))
                                         : std::string(sqlite3_errstr(rc));
    sqlite3_free(error);
    // Busy, or fewer frames written back than the log holds: the copy lacks part of the log.
    // (-1 frames: the database is not in log mode, and SQLite reads it without the log too.)
    if (rc == SQLITE_OK &&
        (result.size() != 3 || result[0] != 0 || (result[1] >= 0 && result[2] != result[1])))
        reason = "the log was only partly applied";
    // Closing the last connection removes the log and its index; a log of a file that is not in
    // log mode is left to us.
    sqlite3_close_v2(db);
    RemoveQuietly(databasePath + "-wal");
    RemoveQuietly(databasePath + "-shm");
    if (reason.empty()) return true;
    std::fprintf(stderr, "torvane: cannot apply the write-ahead log of %s: %s\n",
                 databasePath.c_str(), reason.c_str());
    return false;
}

std::string ScanDatabaseFiles::folder() {
    std::lock_guard lock(mutex_);
    if (!folder_.empty() || workingFolder_.empty()) return folder_;
    // Made as one step with respect to a program that is ending at once, which then makes
    // nothing (not even the working folder it has just removed).
    int error = ECANCELED;
    folder_ = TemporaryFiles::make([&] {
        if (!AppPaths::ensurePrivateDirectory(workingFolder_)) return std::string();
        // mkdtemp makes it with mode 0700 under a name nobody else holds.
        std::string pattern = workingFolder_ + "/databases-XXXXXX";
        const bool made = ::mkdtemp(pattern.data()) != nullptr;
        error = errno;
        return made ? pattern : std::string();
    });
    if (folder_.empty() && error != 0)
        std::fprintf(stderr, "torvane: cannot create a folder in %s: %s\n", workingFolder_.c_str(),
                     std::strerror(error));
    return folder_;
}

std::string ScanDatabaseFiles::copiesFolder() const {
    std::lock_guard lock(mutex_);
    return folder_;
}

std::string ScanDatabaseFiles::makeCopy(const std::string& backupName,
                                        const std::string& backupPath, const std::string& logPath) {
    const std::string into = folder();
    if (into.empty()) {
        std::fprintf(stderr,
                     "torvane: no working folder for a copy of %s; it is read without its "
                     "write-ahead log\n",
                     backupPath.c_str());
        return {};
    }
    std::string target;
    {
        std::lock_guard lock(mutex_);
        // Two backups' databases can share a name (the photo libraries of other backups).
        target = into + "/" + std::to_string(++copiesMade_) + "-" + backupName;
    }
    std::error_code error;
    std::filesystem::copy_file(backupPath, target, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error)
        std::filesystem::copy_file(logPath, target + "-wal",
                                   std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr,
                     "torvane: cannot copy %s with its write-ahead log: %s; it is read without "
                     "the log\n",
                     backupPath.c_str(), error.message().c_str());
    } else if (ApplyLog(target)) {
        return target;
    }
    RemoveQuietly(target);
    RemoveQuietly(target + "-wal");
    return {};
}

std::string ScanDatabaseFiles::readablePath(const std::string& backupFolder,
                                            const std::string& backupName,
                                            const std::string& backupPath) {
    const OptString log = LogOf(backupFolder, backupName);
    if (!log) return backupPath;
    std::shared_ptr<Copy> copy;
    {
        std::lock_guard lock(mutex_);
        auto& slot = copies_[backupPath];
        if (!slot) slot = std::make_shared<Copy>();
        copy = slot;
    }
    // One thread makes the copy; the others wait for it.
    std::lock_guard lock(copy->mutex);
    // A copy removed meanwhile (the working folder emptied) is made again.
    if (!copy->made || (!copy->path.empty() && !RegularFile(copy->path))) {
        copy->path = makeCopy(backupName, backupPath, *log);
        copy->made = true;
    }
    return copy->path.empty() ? backupPath : copy->path;
}

bool ScanDatabaseFiles::firstMissOf(const std::string& backupName) {
    std::lock_guard lock(mutex_);
    return missing_.insert(backupName).second;
}

#pragma once

#include "common/Types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

class BrimleyAppDelegate;
class DeviceInfo;
class SqLiteTableSignatures;

// The databases of a backup, by what they hold. Which backup file holds each depends on the
// iOS version; the scan chooses the names before it starts.
enum class DatabaseRole : std::size_t {
    Messages,
    AddressBook,
    Calendar,
    Notes,
    CallHistory,
    WhatsApp,
    MapHistory,
    DynamicDictionary,
    Account,
    Keychain,
    InternetHistory,
    Applications,
};
inline constexpr std::size_t kDatabaseRoleCount = 12;

// What a role's database holds, as a log line names it ("address book").
const char* DescriptionOf(DatabaseRole role);

// How one scan reads the files of a backup. The backup folder is only ever read, and a database
// whose write-ahead log lies beside it in the backup holds rows that only the log has: those
// are read from a private copy of the database with its log applied. The database layer gives
// the implementation; one object serves a whole scan and is shared by every copy of its
// context, from any thread.
class BackupFileAccess {
public:
    virtual ~BackupFileAccess() = default;
    // Where to read the file the backup keeps at backupPath (backupName in backupFolder): a
    // private copy of it with its write-ahead log applied when the backup keeps a log of it,
    // else backupPath itself.
    virtual std::string readablePath(const std::string& backupFolder,
                                     const std::string& backupName,
                                     const std::string& backupPath) = 0;
    // True the first time the scan asks about the backup lacking that file, false after: the
    // scan says so once.
    virtual bool firstMissOf(const std::string& backupName) = 0;
};

// Everything one scan reads, and the record its results go to. The front end fills one when a
// scan starts and hands it down, as a value, to the services, their recoverers and the queries;
// none of them looks anywhere else to learn what to scan. Two scans with two contexts (and two
// result records) run side by side without touching each other.
struct ScanContext {
    // The backup folder being read.
    std::string backupFolder;
    // The device or backup being read; never null once the scan has started.
    std::shared_ptr<const DeviceInfo> device;
    // The backup file name of each role's database, by DatabaseRole.
    std::array<std::string, kDatabaseRoleCount> databaseNames{};
    // The table signatures the recoverers carve with; none until they are loaded.
    std::shared_ptr<const SqLiteTableSignatures> signatures;
    // Asks the scan to stop.
    std::stop_token stop;
    // 0 until a named device has left once, 1 from then on (the front end's RecoverType): only
    // the first recovery of a device also reads its other backups' photo libraries.
    std::int32_t recoverType = 0;
    // Where the results go: the lists, counts and window refresh of this scan's state record.
    BrimleyAppDelegate* results = nullptr;
    // How the backup's files are read; none: each file where the backup keeps it, without its
    // write-ahead log.
    std::shared_ptr<BackupFileAccess> files;
    // Where a recoverer tells how far its walk over a file's pages has got (pages walked, pages
    // to walk; see AbstractSqLiteRecovery::setPageProgress); none: nowhere.
    std::function<void(std::int64_t walked, std::int64_t pages)> pageProgress;

    // The results record; throws std::logic_error when the context has none.
    BrimleyAppDelegate& sink() const;
    bool cancelled() const { return stop.stop_requested(); }

    const std::string& databaseName(DatabaseRole role) const {
        return databaseNames[static_cast<std::size_t>(role)];
    }
    // The path to read a file of the backup at, by its backup name: where the backup keeps it
    // (flat or in the two-digit sub-folder), or the private copy of a database with its
    // write-ahead log applied (see BackupFileAccess); none when the backup lacks it (or no
    // folder or name is given). With a BackupFileAccess, a database of one of the roles that the
    // backup lacks is named in the log, once per scan.
    OptString locate(const std::string& backupName) const;
    // The same for a file of another backup folder (another backup of the same phone); what it
    // lacks is not logged.
    OptString locateIn(const std::string& folder, const std::string& backupName) const;
    // As locate, but where the file would lie directly in the folder when it is missing, so that
    // opening it fails as "missing"; empty without a folder or a name.
    std::string backupFilePath(const std::string& backupName) const;
    std::string databasePath(DatabaseRole role) const { return backupFilePath(databaseName(role)); }
    // The iOS major version of the device being read; 0 while none is known.
    std::int32_t iOSMajorVersion() const;
};

#pragma once

#include "common/Types.h"

#include <array>
#include <cstddef>
#include <cstdint>
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

    // The results record; throws std::logic_error when the context has none.
    BrimleyAppDelegate& sink() const;
    bool cancelled() const { return stop.stop_requested(); }

    const std::string& databaseName(DatabaseRole role) const {
        return databaseNames[static_cast<std::size_t>(role)];
    }
    // The path of a file of the backup by its backup name, flat or in the two-digit sub-folder;
    // none when the backup lacks it (or no folder or name is given).
    OptString locate(const std::string& backupName) const;
    // As locate, but where the file would lie directly in the folder when it is missing, so that
    // opening it fails as "missing"; empty without a folder or a name.
    std::string backupFilePath(const std::string& backupName) const;
    std::string databasePath(DatabaseRole role) const { return backupFilePath(databaseName(role)); }
    // The iOS major version of the device being read; 0 while none is known.
    std::int32_t iOSMajorVersion() const;
};

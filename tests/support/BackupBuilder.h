#pragma once

#include "support/FixtureDatabase.h"

#include "common/Types.h"

#include <chrono>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>
#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

// How a backup keeps its files: every file directly in the backup folder (iOS 9 and earlier),
// or in a sub-folder named by the first two hexadecimal digits of its name (iOS 10 and later).
enum class BackupLayout { Flat, Sharded };

// The device details written into Info.plist and the Lockdown dictionary of Manifest.plist.
// An absent value leaves its key out.
struct DeviceDetails {
    OptString deviceName = "Test iPhone";
    OptString displayName = "Test iPhone";
    OptString serialNumber = "F2LXK0ABCDEF";
    OptString productType = "iPhone8,1";
    OptString uniqueIdentifier = "0123456789ABCDEF0123456789ABCDEF01234567";
    OptString productVersion = "9.3.5";
    OptString phoneNumber = "+49 151 23456789";
    OptString iccid = "8949020000012345678";
    OptString buildVersion = "13G36";
    OptString guid = "0A1B2C3D4E5F60718293A4B5C6D7E8F9";  // the computer's iTunes GUID
    // "Last Backup Date" of Info.plist and "Date" of Manifest.plist (2016-09-01 10:00:00 UTC).
    std::optional<std::chrono::sys_seconds> backupDate =
        std::chrono::sys_seconds(std::chrono::seconds(1472724000));
    // A top-level "ProductVersion" in Manifest.plist, which only old backups have.
    OptString manifestProductVersion;
    std::optional<bool> isEncrypted = false;  // absent: Manifest.plist has no IsEncrypted key
    bool withLockdown = true;                 // false: Manifest.plist has no Lockdown dictionary
};

// Builds an iOS backup folder the way iTunes and idevicebackup2 leave it.
class BackupBuilder {
public:
    BackupBuilder(std::filesystem::path folder, BackupLayout layout = BackupLayout::Flat);

    // The lower-case hexadecimal SHA-1 of "domain-relativePath".
    static std::string BackupName(std::string_view domain, std::string_view relativePath);

    // Writes Info.plist (XML) and Manifest.plist (binary) from the details.
    void writeInfoPlist(const DeviceDetails& details = {});
    void writeManifestPlist(const DeviceDetails& details = {});
    void writePlists(const DeviceDetails& details = {}) {
        writeInfoPlist(details);
        writeManifestPlist(details);
    }

    // Where the backup keeps the device file domain-relativePath (parent folder created).
    std::filesystem::path pathFor(std::string_view domain, std::string_view relativePath) const;
    // Stores bytes as the device file domain-relativePath; returns its path in the backup.
    std::filesystem::path addFile(std::string_view domain, std::string_view relativePath,
                                  const Bytes& contents);
    // Creates the device file domain-relativePath as a new SQLite database with the tables of
    // one schema file; the caller fills it and closes it.
    FixtureDatabase addDatabase(std::string_view domain, std::string_view relativePath,
                                std::string_view schemaFile, DatabaseOptions options = {});

    // The file list of the backup, naming every device file stored so far by its domain and
    // relative path: Manifest.mbdb as iOS 5 to 9 leave it, or Manifest.db (table Files) as
    // iOS 10 and later do. `except` names relative paths left out of the list.
    void writeManifestMbdb(const std::vector<std::string>& except = {});
    void writeManifestDb(const std::vector<std::string>& except = {});

    const std::filesystem::path& folder() const { return folder_; }
    BackupLayout layout() const { return layout_; }

private:
    // The stored device files in the order first stored: domain and relative path.
    std::vector<std::pair<std::string, std::string>> listedFiles(
        const std::vector<std::string>& except) const;

    std::filesystem::path folder_;
    BackupLayout layout_;
    mutable std::vector<std::pair<std::string, std::string>> stored_;
    mutable std::set<std::string> storedNames_;
};

}  // namespace testsupport

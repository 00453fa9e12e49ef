#pragma once

#include <memory>
#include <string>

class BrimleyAppDelegate;
class DeviceInfo;
class MainWindowActions;

// Fills the record's deviceInfo with the details of what is about to be read, and answers
// whether they are usable: exactly when a product version was found. Each reading builds a
// new DeviceInfo from the current one and then replaces it, so a thread that holds the old
// one keeps a consistent record.
//
// The backup reading takes Info.plist (device name, version and identifiers) and
// Manifest.plist (the encryption flag, and the details themselves for a backup without an
// Info.plist). A property list that cannot be read, or whose values have unexpected types,
// counts as one without those keys.
//
// The connected-device readings (getInfoFromDevice, and getInfoFromDeviceOrBackup, which picks
// between the two) belong here too; they need the device layer's lockdown values and join this
// class with it, built on the same first and last steps as the backup reading.
class DeviceDetailsReader {
public:
    DeviceDetailsReader(BrimleyAppDelegate& record, MainWindowActions& window);

    // Reads the backup in the record's BACKUP_DIRECTORY; shows the device name in the window's
    // device-name label and keeps the name and identifier in deviceInfoBackup.
    bool getInfoFromBackup();

    // Reads only the encryption flag of the backup's Manifest.plist (a modern manifest, one
    // without a top-level ProductVersion) into deviceInfo; true when the backup is known to
    // be encrypted.
    bool isBackupEncrypted();

    // "Info.plist" as backups name it; "info.plist" is accepted too.
    static std::string infoPlistPath(const std::string& backupDirectory);

private:
    std::shared_ptr<DeviceInfo> startReading() const;
    bool finishReading(std::shared_ptr<DeviceInfo> info);

    BrimleyAppDelegate& record_;
    MainWindowActions& window_;
};

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
// between the two) take the device layer's lockdown values, with the same first and last
// steps as the backup reading (DeviceDetailsFromDevice.cpp).
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

    // Reads the connected device's lockdown values: the record's mDevice, else the first listed
    // device that answers a name and an identifier (which becomes mDevice). Sets
    // BACKUP_DIRECTORY to the device's folder in `mobileSyncFolder` and reads the encryption
    // flag of a backup already there. False without a connected device (BACKUP_DIRECTORY
    // stays) or when the device gives no product version (untrusted or locked).
    bool getInfoFromDevice(const std::string& mobileSyncFolder);
    // The device reading when a device is connected and RecoverType is 0, else the backup
    // reading; neither reads the encryption flag or changes deviceInfoBackup.
    bool getInfoFromDeviceOrBackup(const std::string& mobileSyncFolder);
    // A device's backup folder: the lower-case identifier inside the MobileSync folder, or the
    // identifier as the device spells it when only that folder exists (the backup tool names
    // it so).
    static std::string deviceBackupFolder(const std::string& mobileSyncFolder, const std::string& udid);

private:
    std::shared_ptr<DeviceInfo> startReading() const;
    bool finishReading(std::shared_ptr<DeviceInfo> info, bool keepBackupRecord = true);
    bool readDevice(const std::string& mobileSyncFolder, bool withEncryption);

    BrimleyAppDelegate& record_;
    MainWindowActions& window_;
};

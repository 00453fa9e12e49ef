// The connected-device readings of DeviceDetailsReader.

#include "app/DeviceDetails.h"

#include "common/FileUtils.h"
#include "common/PropertyList.h"
#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <cctype>
#include <iostream>
#include <memory>
#include <utility>

namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The connected device to read: the record's mDevice, else the first listed device with a name
// and an identifier (kept as mDevice). None without a connected device.
std::shared_ptr<AMDevice> DeviceToRead(BrimleyAppDelegate& record, bool& connected) {
    connected = false;
    const auto access = record.MobileDevice.get();
    if (!record.isDeviceConnected || !access) return nullptr;
    const auto devices = access->devices();
    if (devices.empty()) return nullptr;
    connected = true;
    if (auto current = record.mDevice.get()) return current;
    for (const auto& device : devices)
        if (device->deviceName() && device->udid()) {
            record.mDevice.set(device);
            return device;
        }
    record.mDevice.set(nullptr);
    return nullptr;
}

}  // namespace

std::string DeviceDetailsReader::deviceBackupFolder(const std::string& mobileSyncFolder,
                                                    const std::string& udid) {
    const std::string lower = mobileSyncFolder + "/" + LowerCase(udid);
    const std::string asSpelt = mobileSyncFolder + "/" + udid;
    if (!FileUtils::fileExistsAtPath(lower) && FileUtils::fileExistsAtPath(asSpelt)) return asSpelt;
    return lower;
}

bool DeviceDetailsReader::getInfoFromDevice(const std::string& mobileSyncFolder) {
    return readDevice(mobileSyncFolder, true);
}

bool DeviceDetailsReader::getInfoFromDeviceOrBackup(const std::string& mobileSyncFolder) {
    bool connected = false;
    DeviceToRead(record_, connected);
    if (connected && record_.RecoverType == 0) return readDevice(mobileSyncFolder, false);

    // The backup reading, without its encryption flags and without deviceInfoBackup.
    const auto backupRecord = record_.deviceInfoBackup.get();
    const bool usable = getInfoFromBackup();
    record_.deviceInfoBackup.set(backupRecord);
    if (const auto current = record_.deviceInfo.get()) {
        auto info = std::make_shared<DeviceInfo>(*current);
        info->setIsEncrypted(false);
        info->setKnownIfEncrypted(false);
        record_.deviceInfo.set(std::move(info));
    }
    return usable;
}

bool DeviceDetailsReader::readDevice(const std::string& mobileSyncFolder, bool withEncryption) {
    auto info = startReading();
    bool connected = false;
    const std::shared_ptr<AMDevice> device = DeviceToRead(record_, connected);
    if (!connected) return finishReading(std::move(info), false);

    info->setConnected(true);
    // Each value costs a connection and a session of its own, as the device layer reads them.
    const auto value = [&](const char* key) -> OptString {
        return device ? device->deviceValueForKey(key).asText() : std::nullopt;
    };
    info->setProductVersion(value("ProductVersion"));
    info->setDeviceName(value("DeviceName"));
    info->setSerialNumber(value("SerialNumber"));
    info->setProductType(value("ProductType"));
    info->setUniqueDeviceID(value("UniqueDeviceID"));
    info->setFirmwareVersion(value("FirmwareVersion"));
    info->setPhoneNumber(value("PhoneNumber"));
    if (OptString imsi = value("InternationalMobileSubscriberIdentity")) info->setIMSI(std::move(imsi));
    if (OptString imei = value("InternationalMobileEquipmentIdentity")) info->setIMEI(std::move(imei));
    if (OptString iccid = value("IntegratedCircuitCardIdentity")) info->setICICD(std::move(iccid));
    if (device && !info->ProductVersion() && device->lasterror())
        std::cerr << ("getInfoFromDevice: " + *device->lasterror() + "\n");

    // Without an identifier there is no backup folder to name: the location stays as it was.
    if (const OptString udid = info->UniqueDeviceID())
        record_.BACKUP_DIRECTORY.set(deviceBackupFolder(mobileSyncFolder, *udid));

    if (withEncryption) {
        const std::string manifestPath = record_.BACKUP_DIRECTORY.get() + "/Manifest.plist";
        if (FileUtils::fileExistsAtPath(manifestPath)) {
            const auto manifest = PropertyListFile::read(manifestPath);
            if (!manifest) {
                info->setKnownIfEncrypted(false);
            } else if (!manifest->root().string("ProductVersion")) {
                if (const std::optional<bool> encrypted = manifest->root().boolean("IsEncrypted")) {
                    info->setIsEncrypted(*encrypted);
                    info->setKnownIfEncrypted(true);
                } else {
                    info->setKnownIfEncrypted(false);
                }
            }
        }
    }
    // A device that gave no identifier (it stopped answering midway) names no backup folder: its
    // details are of no use for a backup.
    const bool identified = info->UniqueDeviceID().has_value();
    return finishReading(std::move(info), false) && identified;
}

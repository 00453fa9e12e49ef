#include "app/DeviceDetails.h"

#include "app/MainWindow.h"
#include "common/BackupFiles.h"
#include "common/DateUtils.h"
#include "common/FileUtils.h"
#include "common/PropertyList.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// A property list at the top of the backup folder; one reached through a link that leads out
// of the folder is not the backup's, and counts as missing.
std::optional<PropertyListFile> ReadIfPresent(const std::string& backup, const std::string& path,
                                              bool& exists) {
    exists = FileUtils::fileExistsAtPath(path) && BackupFiles::staysInside(backup, path);
    if (!exists) return std::nullopt;
    return PropertyListFile::read(path);
}

// The product version a manifest names: its top-level one (older manifests), else its
// lockdown record's.
OptString ManifestVersion(const std::optional<PlistDictionary>& manifest) {
    if (!manifest) return std::nullopt;
    if (OptString version = manifest->string("ProductVersion")) return version;
    const auto lockdown = manifest->dictionary("Lockdown");
    return lockdown ? lockdown->string("ProductVersion") : std::nullopt;
}

// The encryption flag of a manifest: known only when the manifest says so.
void ReadEncryption(const PlistDictionary& manifest, DeviceInfo& info) {
    if (const std::optional<bool> encrypted = manifest.boolean("IsEncrypted")) {
        info.setIsEncrypted(*encrypted);
        info.setKnownIfEncrypted(true);
    } else {
        info.setKnownIfEncrypted(false);
    }
}

// A backup that says anywhere (its manifest of any form, its Info.plist) that it is encrypted
// is taken as encrypted: reading it as plain would list nothing and say nothing.
void MarkEncryptedWhenSaid(const PlistDictionary& plist, DeviceInfo& info) {
    if (plist.boolean("IsEncrypted").value_or(false)) {
        info.setIsEncrypted(true);
        info.setKnownIfEncrypted(true);
    }
}

bool HasUsableVersion(const OptString& version) {
    if (!version) return false;
    return std::any_of(version->begin(), version->end(),
                       [](unsigned char c) { return !std::isspace(c); });
}

std::string AsciiLowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

DeviceDetailsReader::DeviceDetailsReader(BrimleyAppDelegate& record, MainWindowActions& window)
    : record_(record), window_(window) {}

std::string DeviceDetailsReader::infoPlistPath(const std::string& backupDirectory) {
    const std::string upper = backupDirectory + "/Info.plist";
    if (FileUtils::fileExistsAtPath(upper)) return upper;
    const std::string lower = backupDirectory + "/info.plist";
    if (FileUtils::fileExistsAtPath(lower)) return lower;
    return upper;
}

std::shared_ptr<DeviceInfo> DeviceDetailsReader::startReading() const {
    const auto current = record_.deviceInfo.get();
    auto info = std::make_shared<DeviceInfo>(current ? *current : DeviceInfo{});
    info->setKnownIfEncrypted(false);
    // Unknown until this reading says otherwise: a flag of an earlier backup must not stick.
    info->setIsEncrypted(false);
    info->setProductVersion("");
    info->setIMSI("");
    info->setIMEI("");
    info->setICICD("");
    info->setDeviceName("");
    info->setDisplayName("");
    info->setPhoneNumber("");
    info->setBackupDate("N/A");
    // The version numbers describe this reading only; a backup without a version must not
    // inherit the numbers (and so the database names) of the one read before.
    info->setIOSMajorVersion(0);
    info->setIOSMinorVersion(0);
    return info;
}

bool DeviceDetailsReader::finishReading(std::shared_ptr<DeviceInfo> info, bool keepBackupRecord) {
    if (info->UniqueDeviceID()) info->setUniqueDeviceID(AsciiLowerCase(*info->UniqueDeviceID()));
    info->applyVersionNumbers(info->ProductVersion());
    info->setBackupLocation(record_.BACKUP_DIRECTORY.get());
    const bool usable = HasUsableVersion(info->ProductVersion());
    const OptString deviceName = info->DeviceName();
    const OptString uniqueId = info->UniqueDeviceID();
    record_.deviceInfo.set(std::move(info));
    if (deviceName) window_.updateDisplayName(*deviceName);
    if (deviceName && keepBackupRecord) {
        auto backup = std::make_shared<DeviceInfo>();
        backup->setDeviceName(deviceName);
        backup->setUniqueDeviceID(uniqueId);
        record_.deviceInfoBackup.set(std::move(backup));
    }
    return usable;
}

bool DeviceDetailsReader::getInfoFromBackup() {
    const std::string backup = record_.BACKUP_DIRECTORY.get();
    auto info = startReading();

    bool infoExists = false;
    bool manifestExists = false;
    const auto infoPlist = ReadIfPresent(backup, infoPlistPath(backup), infoExists);
    const auto manifest = ReadIfPresent(backup, backup + "/Manifest.plist", manifestExists);
    const auto infoRoot = infoPlist ? std::optional(infoPlist->root()) : std::nullopt;
    const auto manifestRoot = manifest ? std::optional(manifest->root()) : std::nullopt;

    if (infoRoot && infoRoot->string("Device Name")) {
        info->setDeviceName(infoRoot->string("Device Name"));
        info->setDisplayName(infoRoot->string("Display Name"));
        info->setSerialNumber(infoRoot->string("Serial Number"));
        info->setProductType(infoRoot->string("Product Type"));
        info->setUniqueDeviceID(infoRoot->string("Unique Identifier"));
        info->setProductVersion(infoRoot->string("Product Version"));
        // An Info.plist without a usable version (missing, or of another type) leaves the
        // version to the manifest, which names it as well.
        if (!HasUsableVersion(info->ProductVersion()))
            if (OptString version = ManifestVersion(manifestRoot)) info->setProductVersion(version);
        info->setPhoneNumber(infoRoot->string("Phone Number"));
        // The time of the backup, in local time; "N/A" stays when the file does not say.
        if (const auto when = infoRoot->appleSeconds("Last Backup Date"))
            if (OptString text = DateUtils::ConvertToString(*when); text && !text->empty())
                info->setBackupDate(std::move(text));
        info->setConnected(false);
        if (manifestRoot) ReadEncryption(*manifestRoot, *info);
        MarkEncryptedWhenSaid(*infoRoot, *info);
    } else if (manifestExists) {
        // An unreadable manifest reads as one without keys, so the lockdown step below runs on
        // an empty dictionary and leaves the fields absent.
        const OptString topLevelVersion =
            manifestRoot ? manifestRoot->string("ProductVersion") : std::nullopt;
        info->setProductVersion(topLevelVersion);
        if (topLevelVersion && manifestRoot) ReadEncryption(*manifestRoot, *info);
        if (!topLevelVersion) {
            const auto lockdown =
                manifestRoot ? manifestRoot->dictionary("Lockdown") : std::nullopt;
            const auto field = [&](const char* key) {
                return lockdown ? lockdown->string(key) : std::nullopt;
            };
            info->setProductVersion(field("ProductVersion"));
            info->setDeviceName(field("DeviceName"));
            info->setProductType(field("ProductType"));
            info->setUniqueDeviceID(field("UniqueDeviceID"));
            info->setSerialNumber(field("SerialNumber"));
            if (!infoExists) info->setDisplayName(info->DeviceName());
            info->setConnected(false);
            if (manifestRoot)
                ReadEncryption(*manifestRoot, *info);
            else
                info->setKnownIfEncrypted(false);
            if (OptString iccid = field("IntegratedCircuitCardIdentity"))
                info->setICICD(std::move(iccid));
        }
    }
    return finishReading(std::move(info));
}

bool DeviceDetailsReader::isBackupEncrypted() {
    const auto current = record_.deviceInfo.get();
    auto info = std::make_shared<DeviceInfo>(current ? *current : DeviceInfo{});
    // The answer describes this backup alone, not one read before.
    info->setKnownIfEncrypted(false);
    info->setIsEncrypted(false);
    bool exists = false;
    const std::string backup = record_.BACKUP_DIRECTORY.get();
    const auto manifest = ReadIfPresent(backup, backup + "/Manifest.plist", exists);
    if (manifest) ReadEncryption(manifest->root(), *info);
    bool infoExists = false;
    if (const auto infoPlist = ReadIfPresent(backup, infoPlistPath(backup), infoExists))
        MarkEncryptedWhenSaid(infoPlist->root(), *info);
    const bool encrypted = info->knownIfEncrypted() && info->isEncrypted();
    record_.deviceInfo.set(std::move(info));
    return encrypted;
}

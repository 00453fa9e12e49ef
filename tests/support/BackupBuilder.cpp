#include "support/BackupBuilder.h"

#include <openssl/evp.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Property lists count dates from 2001-01-01 00:00:00 UTC.
constexpr std::int64_t kAppleEpochInUnixSeconds = 978307200;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

void SetString(plist_t dict, const char* key, const OptString& value) {
    if (value) plist_dict_set_item(dict, key, plist_new_string(value->c_str()));
}

void SetDate(plist_t dict, const char* key,
             const std::optional<std::chrono::sys_seconds>& value) {
    if (!value) return;
    const std::int64_t appleSeconds =
        value->time_since_epoch().count() - kAppleEpochInUnixSeconds;
    if (appleSeconds < std::numeric_limits<std::int32_t>::min() ||
        appleSeconds > std::numeric_limits<std::int32_t>::max())
        throw std::runtime_error(std::string("date out of range for property list key ") + key);
    plist_dict_set_item(dict, key, plist_new_date(static_cast<std::int32_t>(appleSeconds), 0));
}

void WriteFile(const fs::path& file, const char* data, std::size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + file.string());
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void WriteXml(plist_t root, const fs::path& file) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::unique_ptr<char, void (*)(char*)> owned(xml, plist_to_xml_free);
    if (!xml) throw std::runtime_error("cannot encode " + file.string());
    WriteFile(file, xml, length);
}

void WriteBinary(plist_t root, const fs::path& file) {
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    std::unique_ptr<char, void (*)(char*)> owned(binary, plist_to_bin_free);
    if (!binary) throw std::runtime_error("cannot encode " + file.string());
    WriteFile(file, binary, length);
}

}  // namespace

BackupBuilder::BackupBuilder(fs::path folder, BackupLayout layout)
    : folder_(std::move(folder)), layout_(layout) {
    fs::create_directories(folder_);
}

std::string BackupBuilder::BackupName(std::string_view domain, std::string_view relativePath) {
    std::string input;
    input.reserve(domain.size() + 1 + relativePath.size());
    input.append(domain).append("-").append(relativePath);

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &digestLength, EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("SHA-1 failed");

    static constexpr char kHex[] = "0123456789abcdef";
    std::string name;
    name.reserve(2 * digestLength);
    for (unsigned int i = 0; i < digestLength; ++i) {
        name += kHex[digest[i] >> 4];
        name += kHex[digest[i] & 0x0f];
    }
    return name;
}

fs::path BackupBuilder::pathFor(std::string_view domain, std::string_view relativePath) const {
    const std::string name = BackupName(domain, relativePath);
    if (storedNames_.insert(name).second)
        stored_.emplace_back(std::string(domain), std::string(relativePath));
    const fs::path file =
        layout_ == BackupLayout::Sharded ? folder_ / name.substr(0, 2) / name : folder_ / name;
    fs::create_directories(file.parent_path());
    return file;
}

fs::path BackupBuilder::addFile(std::string_view domain, std::string_view relativePath,
                                const Bytes& contents) {
    const fs::path file = pathFor(domain, relativePath);
    WriteFile(file, reinterpret_cast<const char*>(contents.data()), contents.size());
    return file;
}

FixtureDatabase BackupBuilder::addDatabase(std::string_view domain, std::string_view relativePath,
                                           std::string_view schemaFile, DatabaseOptions options) {
    return FixtureDatabase::FromSchema(pathFor(domain, relativePath), schemaFile, options);
}

void BackupBuilder::writeInfoPlist(const DeviceDetails& details) {
    Plist root(plist_new_dict());
    plist_t dict = root.get();
    SetString(dict, "Build Version", details.buildVersion);
    SetString(dict, "Device Name", details.deviceName);
    SetString(dict, "Display Name", details.displayName);
    SetString(dict, "GUID", details.guid);
    SetString(dict, "ICCID", details.iccid);
    SetDate(dict, "Last Backup Date", details.backupDate);
    SetString(dict, "Phone Number", details.phoneNumber);
    SetString(dict, "Product Type", details.productType);
    SetString(dict, "Product Version", details.productVersion);
    SetString(dict, "Serial Number", details.serialNumber);
    SetString(dict, "Target Identifier", details.uniqueIdentifier);
    plist_dict_set_item(dict, "Target Type", plist_new_string("Device"));
    SetString(dict, "Unique Identifier", details.uniqueIdentifier);
    WriteXml(dict, folder_ / "Info.plist");
}

void BackupBuilder::writeManifestPlist(const DeviceDetails& details) {
    Plist root(plist_new_dict());
    plist_t dict = root.get();
    if (details.isEncrypted)
        plist_dict_set_item(dict, "IsEncrypted", plist_new_bool(*details.isEncrypted ? 1 : 0));
    // The manifest format version follows the era of the layout.
    plist_dict_set_item(dict, "Version",
                        plist_new_string(layout_ == BackupLayout::Sharded ? "10.0" : "9.1"));
    SetDate(dict, "Date", details.backupDate);
    plist_dict_set_item(dict, "WasPasscodeSet", plist_new_bool(0));
    SetString(dict, "ProductVersion", details.manifestProductVersion);
    if (details.withLockdown) {
        plist_t lockdown = plist_new_dict();
        SetString(lockdown, "ProductVersion", details.productVersion);
        SetString(lockdown, "DeviceName", details.deviceName);
        SetString(lockdown, "ProductType", details.productType);
        SetString(lockdown, "UniqueDeviceID", details.uniqueIdentifier);
        SetString(lockdown, "SerialNumber", details.serialNumber);
        SetString(lockdown, "IntegratedCircuitCardIdentity", details.iccid);
        SetString(lockdown, "BuildVersion", details.buildVersion);
        plist_dict_set_item(dict, "Lockdown", lockdown);  // the root now owns it
    }
    WriteBinary(dict, folder_ / "Manifest.plist");
}

std::vector<std::pair<std::string, std::string>> BackupBuilder::listedFiles(
    const std::vector<std::string>& except) const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& file : stored_)
        if (std::find(except.begin(), except.end(), file.second) == except.end())
            files.push_back(file);
    return files;
}

void BackupBuilder::writeManifestMbdb(const std::vector<std::string>& except) {
    std::string list = "mbdb";
    list += '\x05';
    list += '\x00';
    const auto string = [&](const std::string* text) {
        if (!text) {
            list += "\xFF\xFF";
            return;
        }
        list += static_cast<char>((text->size() >> 8) & 0xFF);
        list += static_cast<char>(text->size() & 0xFF);
        list += *text;
    };
    for (const auto& [domain, path] : listedFiles(except)) {
        string(&domain);
        string(&path);
        for (int i = 0; i < 3; ++i) string(nullptr);  // link target, data hash, encryption key
        list += "\x81\xA4";                            // mode: a regular file
        list.append(8 + 4 * 5 + 8, '\0');              // inode, ids, times, size
        list.append(2, '\0');                          // flag, no properties
    }
    WriteFile(folder_ / "Manifest.mbdb", list.data(), list.size());
}

void BackupBuilder::writeManifestDb(const std::vector<std::string>& except) {
    FixtureDatabase db(folder_ / "Manifest.db");
    db.exec("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
            "flags INTEGER, file BLOB)");
    for (const auto& [domain, path] : listedFiles(except))
        db.insert("Files", {{"fileID", BackupName(domain, path)},
                            {"domain", domain},
                            {"relativePath", path},
                            {"flags", 1}});
    db.close();
}

}  // namespace testsupport

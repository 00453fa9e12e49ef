#include "records/ScanContext.h"

#include "common/BackupFiles.h"
#include "records/DeviceInfo.h"

#include <cstdio>
#include <stdexcept>

namespace {

// A folder path without trailing slashes, so that one "/" joins it to a name ("/" stays).
std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

const char* DescriptionOf(DatabaseRole role) {
    switch (role) {
        case DatabaseRole::Messages:
            return "messages database";
        case DatabaseRole::AddressBook:
            return "address book";
        case DatabaseRole::Calendar:
            return "calendar";
        case DatabaseRole::Notes:
            return "notes database of iOS 8 and earlier";
        case DatabaseRole::CallHistory:
            return "call history";
        case DatabaseRole::WhatsApp:
            return "WhatsApp chat storage";
        case DatabaseRole::MapHistory:
            return "map history";
        case DatabaseRole::DynamicDictionary:
            return "keyboard dictionary";
        case DatabaseRole::Account:
            return "accounts database";
        case DatabaseRole::Keychain:
            return "keychain";
        case DatabaseRole::InternetHistory:
            return "browser history";
        case DatabaseRole::Applications:
            return "applications database";
    }
    return "database";
}

BrimleyAppDelegate& ScanContext::sink() const {
    if (!results) throw std::logic_error("a scan context without a results record");
    return *results;
}

OptString ScanContext::locate(const std::string& backupName) const {
    if (backupName.empty()) return std::nullopt;
    if (OptString found = locateIn(backupFolder, backupName)) return found;
    // A database the scan reads by its role: the one line that says the backup lacks it, in
    // place of a failure of every query that would have read it.
    for (std::size_t role = 0; files && role < kDatabaseRoleCount; ++role) {
        if (databaseNames[role] != backupName) continue;
        if (files->firstMissOf(backupName))
            std::fprintf(stderr, "torvane: the backup has no %s (%s); nothing is read from it\n",
                         DescriptionOf(static_cast<DatabaseRole>(role)), backupName.c_str());
        break;
    }
    return std::nullopt;
}

OptString ScanContext::locateIn(const std::string& folder, const std::string& backupName) const {
    if (backupName.empty()) return std::nullopt;
    const std::string plain = WithoutTrailingSlashes(folder);
    OptString found = BackupFiles::locate(plain, backupName);
    if (!found || !files) return found;
    return files->readablePath(plain, backupName, *found);
}

std::string ScanContext::backupFilePath(const std::string& backupName) const {
    if (OptString found = locate(backupName)) return *found;
    const std::string folder = WithoutTrailingSlashes(backupFolder);
    // Without a folder there is no path: a bare name would be read from the working folder.
    if (folder.empty() || backupName.empty()) return {};
    return folder == "/" ? folder + backupName : folder + "/" + backupName;
}

std::int32_t ScanContext::iOSMajorVersion() const {
    return device ? device->iOSMajorVersion() : 0;
}

#include "records/ScanContext.h"

#include "common/BackupFiles.h"
#include "records/DeviceInfo.h"

#include <stdexcept>

namespace {

// A folder path without trailing slashes, so that one "/" joins it to a name ("/" stays).
std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

BrimleyAppDelegate& ScanContext::sink() const {
    if (!results) throw std::logic_error("a scan context without a results record");
    return *results;
}

OptString ScanContext::locate(const std::string& backupName) const {
    if (backupName.empty()) return std::nullopt;
    return BackupFiles::locate(WithoutTrailingSlashes(backupFolder), backupName);
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

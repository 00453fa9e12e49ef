#include "services/abstractServices.h"

#include "common/BackupFiles.h"
#include "database/FMDBUtils.h"
#include "records/BaseRecoveryObject.h"
#include "records/BrimleyAppDelegate.h"

#include <filesystem>
#include <system_error>

abstractServices::abstractServices(BrimleyAppDelegate& record) : record_(record) {}

abstractServices::abstractServices() : abstractServices(BrimleyAppDelegate::appDelegate()) {}

abstractServices::~abstractServices() = default;

std::string abstractServices::WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

OptString abstractServices::LocateBackupFile(const std::string& fileName) const {
    return BackupFiles::locate(WithoutTrailingSlashes(record_.BACKUP_DIRECTORY.get()), fileName);
}

std::string abstractServices::BackupFilePath(const std::string& fileName) const {
    if (OptString found = LocateBackupFile(fileName)) return *found;
    const std::string folder = WithoutTrailingSlashes(record_.BACKUP_DIRECTORY.get());
    // Without a backup folder there is no path: a bare name would be read from the working folder.
    if (folder.empty() || fileName.empty()) return {};
    return folder == "/" ? folder + fileName : folder + "/" + fileName;
}

std::string abstractServices::ConnectionFileFullPath(const DeviceInfo& device) const {
    if (device.fullPath()) return *device.fullPath();
    if (!_SqliteDbName || _SqliteDbName->empty()) return {};
    return BackupFilePath(*_SqliteDbName);
}

std::string abstractServices::ConnectionStringfromDevice(const DeviceInfo& device) const {
    return ConnectionFileFullPath(device);
}

OptString abstractServices::ConnectionString(const DeviceInfo& device) const {
    if (device.fullPath()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(*device.fullPath(), error)) return device.fullPath();
        return std::nullopt;
    }
    if (!_SqliteDbName) return std::nullopt;
    return LocateBackupFile(*_SqliteDbName);
}

void abstractServices::RecoverFromDevice(const DeviceInfo&, std::stop_token) {}

void abstractServices::RecoverFromIOSBackup(const DeviceInfo&, std::stop_token) {}

bool abstractServices::openOwnDatabase(const std::string& path) {
    dbUtils = std::make_shared<FMDBUtils>(path);
    // SQLite would open an empty name as a new temporary database.
    return !path.empty() && dbUtils->openDatabase();
}

#include "services/abstractServices.h"

#include "database/FMDBUtils.h"
#include "records/BaseRecoveryObject.h"
#include "records/DeviceInfo.h"

#include <filesystem>
#include <system_error>

abstractServices::abstractServices() = default;

abstractServices::~abstractServices() = default;

std::string abstractServices::WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string abstractServices::ConnectionFileFullPath(const ScanContext& context) const {
    if (context.device && context.device->fullPath()) return *context.device->fullPath();
    if (!_SqliteDbName || _SqliteDbName->empty()) return {};
    return context.backupFilePath(*_SqliteDbName);
}

std::string abstractServices::ConnectionStringfromDevice(const ScanContext& context) const {
    return ConnectionFileFullPath(context);
}

OptString abstractServices::ConnectionString(const ScanContext& context) const {
    return context.device ? ConnectionString(context, *context.device)
                          : ConnectionString(context, DeviceInfo());
}

OptString abstractServices::ConnectionString(const ScanContext& context,
                                             const DeviceInfo& device) const {
    if (device.fullPath()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(*device.fullPath(), error)) return device.fullPath();
        return std::nullopt;
    }
    if (!_SqliteDbName) return std::nullopt;
    return context.locate(*_SqliteDbName);
}

void abstractServices::RecoverFromDevice(const ScanContext&) {}

void abstractServices::RecoverFromIOSBackup(const ScanContext&) {}

bool abstractServices::openOwnDatabase(const std::string& path) {
    dbUtils = std::make_shared<FMDBUtils>(path);
    // SQLite would open an empty name as a new temporary database.
    return !path.empty() && dbUtils->openDatabase();
}

void abstractServices::releaseResults() {
    model.clear();
    model.shrink_to_fit();
    dbUtils.reset();
}

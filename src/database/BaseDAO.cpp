#include "database/BaseDAO.h"

#include "common/BackupFiles.h"
#include "common/DateUtils.h"

#include <utility>

BaseDAO::BaseDAO(BrimleyAppDelegate& state) : BaseDAO(state.dbUtils.get(), state) {}

BaseDAO::BaseDAO(std::shared_ptr<FMDBUtils> dbUtils, BrimleyAppDelegate& state)
    : state_(state), dbUtils_(std::move(dbUtils)) {}

BaseDAO::~BaseDAO() = default;

std::shared_ptr<SqliteConnection> BaseDAO::boundConnection() const {
    auto handle = dbUtils_.get();
    return handle ? handle->sharedDB() : nullptr;
}

std::string BaseDAO::databasePath(const Guarded<std::string>& roleFileName) const {
    const std::string folder = state_.BACKUP_DIRECTORY.get();
    const std::string name = roleFileName.get();
    // iOS 10 and later keep the file in a sub-folder; a missing file keeps its flat path so
    // that opening it fails as "missing".
    return BackupFiles::locate(folder, name).value_or(folder + "/" + name);
}

std::shared_ptr<SqliteConnection> BaseDAO::openPrivate(
    const Guarded<std::string>& roleFileName) const {
    return SqliteConnection::OpenReadOnly(databasePath(roleFileName));
}

std::int32_t BaseDAO::iOSMajorVersion() const {
    auto device = state_.deviceInfo.get();
    return device ? device->iOSMajorVersion() : 0;
}

std::shared_ptr<SqliteConnection> BaseDAO::RoleConnection::get(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (!connection_ || connection_->path() != path)
        connection_ = SqliteConnection::OpenReadOnly(path);
    return connection_;
}

std::string BaseDAO::getStringFromDate(const OptDate& date) {
    return DateUtils::DateTimeToString(date).value_or(std::string());
}

#include "database/BaseDAO.h"

#include "common/BackupFiles.h"
#include "common/DateUtils.h"

#include <utility>

BaseDAO::BaseDAO(ScanContext context)
    : context_(std::move(context)), dbUtils_(context_.sink().dbUtils.get()) {}

BaseDAO::BaseDAO(std::shared_ptr<FMDBUtils> dbUtils, ScanContext context)
    : context_(std::move(context)), dbUtils_(std::move(dbUtils)) {}

BaseDAO::~BaseDAO() = default;

std::shared_ptr<SqliteConnection> BaseDAO::boundConnection() const {
    auto handle = dbUtils_.get();
    return handle ? handle->sharedDB() : nullptr;
}

std::shared_ptr<SqliteConnection> BaseDAO::openPrivate(DatabaseRole role) const {
    return SqliteConnection::OpenReadOnly(databasePath(role));
}

std::int32_t BaseDAO::iOSMajorVersion() const {
    return context_.iOSMajorVersion();
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

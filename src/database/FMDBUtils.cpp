#include "database/FMDBUtils.h"

#include <utility>

FMDBUtils::FMDBUtils(std::string dbPath) : dbPath_(std::move(dbPath)) {}

bool FMDBUtils::openDatabase() {
    auto connection = SqliteConnection::OpenReadOnly(dbPath());
    const bool opened = connection->isOpen();
    std::lock_guard lock(mutex_);
    sharedDBObj_ = std::move(connection);
    return opened;
}

std::shared_ptr<SqliteConnection> FMDBUtils::sharedDB() const {
    std::lock_guard lock(mutex_);
    return sharedDBObj_;
}

std::string FMDBUtils::dbPath() const {
    std::lock_guard lock(mutex_);
    return dbPath_;
}

void FMDBUtils::setDbPath(std::string path) {
    std::lock_guard lock(mutex_);
    dbPath_ = std::move(path);
}

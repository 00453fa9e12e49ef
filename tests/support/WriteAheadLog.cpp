#include "support/WriteAheadLog.h"

#include <stdexcept>
#include <string>

namespace testsupport {

namespace fs = std::filesystem;

void KeepChangesInLog(FixtureDatabase& db) {
    db.exec("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0");
    if (db.queryValue("PRAGMA journal_mode").text() == nullptr ||
        *db.queryValue("PRAGMA journal_mode").text() != "wal")
        throw std::runtime_error("the fixture database did not switch to a write-ahead log");
}

fs::path StoreWithLog(const FixtureDatabase& db, const BackupBuilder& backup,
                      std::string_view domain, std::string_view relativePath, LogName name) {
    const fs::path log = db.path().string() + "-wal";
    if (!fs::is_regular_file(log))
        throw std::runtime_error("the fixture database has no write-ahead log: " + log.string());
    const fs::path database = backup.pathFor(domain, relativePath);
    const fs::path storedLog =
        name == LogName::DevicePath
            ? backup.pathFor(domain, std::string(relativePath) + "-wal")
            : fs::path(database.string() + "-wal");
    fs::copy_file(db.path(), database, fs::copy_options::overwrite_existing);
    fs::copy_file(log, storedLog, fs::copy_options::overwrite_existing);
    return database;
}

}  // namespace testsupport

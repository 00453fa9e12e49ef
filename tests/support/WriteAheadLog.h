#pragma once

#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"

#include <filesystem>
#include <string_view>

namespace testsupport {

// Rows written from now on stay in the database's write-ahead log, as on a phone between two
// checkpoints: the open fixture switches to a log that is never written back into the file while
// the fixture stays open.
void KeepChangesInLog(FixtureDatabase& db);

// How a backup names a database's log: by the log's own device path (the SHA-1 of
// "domain-relativePath-wal"), as the phone's backups do, or as the database's backup name
// followed by "-wal".
enum class LogName { DevicePath, DatabaseNameSuffix };

// Stores the open database's file and its log as they stand now (the log not applied) in the
// backup, as the device file domain-relativePath and its log. Returns the database's path in
// the backup. The fixture stays open; closing it later changes nothing in the backup.
std::filesystem::path StoreWithLog(const FixtureDatabase& db, const BackupBuilder& backup,
                                   std::string_view domain, std::string_view relativePath,
                                   LogName name = LogName::DevicePath);

}  // namespace testsupport

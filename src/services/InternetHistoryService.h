#pragma once

#include "services/abstractServices.h"

#include <array>
#include <stop_token>
#include <string>

// The browser history: read with SQL from the history database of iOS 8 and later, and from
// the History.plist property list of iOS 7 and earlier, one visit per record. Nothing is
// carved and nothing is marked deleted.
class InternetHistoryService : public abstractServices {
public:
    // The backup names tried, in this order: Safari's History.db, then the History.plist names
    // of iOS 7 and of iOS 6 and earlier (property lists, no SQLite files).
    static constexpr std::array<const char*, 3> kHistoryDatabaseNames = {
        "e74113c185fd8297e140cfcf9c99436c5cc06b57",
        "ed50eadf14505ef0b433e0c4a380526ad6656d3a",
        "1d6740792a2b845f4c1e6220c43906d7f0afe8ab",
    };

    // Empties AllInternetContent and AllDeletedInternet, then reads every history database of
    // the backup, newest visit first, into InternetContent and AllInternetContent.
    void RecoverFromIOSBackup(const ScanContext& context) override;

    // Reads the database or property list named by _SqliteDbName. A backup without that file
    // is skipped without a refresh; otherwise the window is told once that the lists grew,
    // rows or none.
    void queryDbForHistory(const ScanContext& context);
};

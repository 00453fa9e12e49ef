#pragma once

#include "services/abstractServices.h"

#include <memory>
#include <stop_token>
#include <vector>

class baseRecoveryObject;

// Deleted calendar events: runs the event recoverer over the backup's calendar database; the
// recoverer lists each deleted event in the shared state record and tells the window of it.
class CalendarsService : public abstractServices {
public:
    // HomeDomain-Library/Calendar/Calendar.sqlitedb.
    static constexpr const char* CalendarsSqliteDbName = "2041457d5fe04d39d0ab481178355df6781e6858";

    CalendarsService();

    // initaliseForRecovery, doRecovery, processPostRecovery.
    void RecoverFromIOSBackup(const ScanContext& context) override;
    void releaseResults() override;

    // Zeroes the run's counts.
    void initaliseForRecovery();
    // Carves the calendar database with a new recoverer.
    void doRecovery(const ScanContext& context);
    // Nothing is left to do after the carving.
    void processPostRecovery() {}

    // The recoverer's accepted records of the last run.
    const std::vector<std::shared_ptr<baseRecoveryObject>>& recoveredFiltered() const {
        return _recoveredFiltered;
    }

private:
    std::vector<std::shared_ptr<baseRecoveryObject>> _recoveredFiltered;
};

#include "services/CalendarsService.h"

#include "records/BrimleyAppDelegate.h"
#include "services/CalendarRecoverers.h"

CalendarsService::CalendarsService() {
    _SqliteDbName = CalendarsSqliteDbName;
}

void CalendarsService::RecoverFromIOSBackup(const ScanContext& context) {
    initaliseForRecovery();
    doRecovery(context);
    processPostRecovery();
}

void CalendarsService::initaliseForRecovery() {
    retrieved = 0;
    recovered = 0;
}

void CalendarsService::doRecovery(const ScanContext& context) {
    AppointmentsSQLiteRecovery recovery(context);
    recovery.DoRecoveryPath(ConnectionFileFullPath(context));
    _recoveredFiltered = recovery.RecoveredFiltered();
}

void CalendarsService::releaseResults() {
    abstractServices::releaseResults();
    _recoveredFiltered.clear();
    _recoveredFiltered.shrink_to_fit();
}

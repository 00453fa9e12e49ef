#include "services/CalendarsService.h"

#include "records/BrimleyAppDelegate.h"
#include "services/CalendarRecoverers.h"

CalendarsService::CalendarsService(BrimleyAppDelegate& record) : abstractServices(record) {
    _SqliteDbName = CalendarsSqliteDbName;
}

CalendarsService::CalendarsService() : CalendarsService(BrimleyAppDelegate::appDelegate()) {}

void CalendarsService::RecoverFromIOSBackup(const DeviceInfo& device, std::stop_token stop) {
    initaliseForRecovery();
    doRecovery(device, std::move(stop));
    processPostRecovery();
}

void CalendarsService::initaliseForRecovery() {
    retrieved = 0;
    recovered = 0;
}

void CalendarsService::doRecovery(const DeviceInfo& device, std::stop_token stop) {
    AppointmentsSQLiteRecovery recovery(appDel());
    recovery.setStopToken(std::move(stop));
    recovery.DoRecoveryPath(ConnectionFileFullPath(device));
    _recoveredFiltered = recovery.RecoveredFiltered();
}

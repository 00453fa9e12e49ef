#include "services/CallHistoryService.h"

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/CallHistoryRecoverers.h"

namespace {

// Holds the record's busy flag for the service's run, however the run ends.
class CallListBusy {
public:
    explicit CallListBusy(BrimleyAppDelegate& record) : record_(record) {
        record_.isDoingCallList = true;
    }
    ~CallListBusy() { record_.isDoingCallList = false; }
    CallListBusy(const CallListBusy&) = delete;
    CallListBusy& operator=(const CallListBusy&) = delete;

private:
    BrimleyAppDelegate& record_;
};

}  // namespace

CallHistoryService::CallHistoryService(BrimleyAppDelegate& record) : abstractServices(record) {
    _SqliteDbName = CallHistoryIOS7641SqliteDbName;
}

CallHistoryService::CallHistoryService() : CallHistoryService(BrimleyAppDelegate::appDelegate()) {}

void CallHistoryService::RecoverFromDevice(const DeviceInfo& device, std::stop_token stop) {
    RecoverFromIOSBackup(device, std::move(stop));
}

void CallHistoryService::RecoverFromIOSBackup(const DeviceInfo& device, std::stop_token stop) {
    doRecovery(device, std::move(stop));
}

void CallHistoryService::doRecovery(const DeviceInfo& device, std::stop_token stop) {
    CallListBusy busy(appDel());
    doRecovery5_6_7(device, stop);
    if (stop.stop_requested()) return;
    doRecovery8(device, stop);
}

void CallHistoryService::doRecovery5_6_7(const DeviceInfo& device, std::stop_token stop) {
    _SqliteDbName = CallHistoryIOS7641SqliteDbName;
    ios567Path_ = ConnectionFileFullPath(device);
    CallHistorySQLiteRecovery recovery(appDel());
    recovery.setStopToken(std::move(stop));
    recovery.DoRecoveryPath(ios567Path_);
}

void CallHistoryService::doRecovery8(const DeviceInfo& device, std::stop_token stop) {
    _SqliteDbName = CallHistoryIOS8SqliteDbName;
    ios8Path_ = ConnectionFileFullPath(device);
    CallHistoryIos8Recovery recovery(appDel());
    recovery.setStopToken(std::move(stop));
    recovery.DoRecoveryPath(ios8Path_);
}

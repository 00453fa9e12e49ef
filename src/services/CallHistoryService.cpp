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

CallHistoryService::CallHistoryService() {
    _SqliteDbName = CallHistoryIOS7641SqliteDbName;
}

void CallHistoryService::RecoverFromDevice(const ScanContext& context) {
    RecoverFromIOSBackup(context);
}

void CallHistoryService::RecoverFromIOSBackup(const ScanContext& context) {
    doRecovery(context);
}

void CallHistoryService::doRecovery(const ScanContext& context) {
    CallListBusy busy(context.sink());
    doRecovery5_6_7(context);
    if (context.cancelled()) return;
    doRecovery8(context);
}

void CallHistoryService::doRecovery5_6_7(const ScanContext& context) {
    _SqliteDbName = CallHistoryIOS7641SqliteDbName;
    ios567Path_ = ConnectionFileFullPath(context);
    CallHistorySQLiteRecovery recovery(context);
    recovery.DoRecoveryPath(ios567Path_);
}

void CallHistoryService::doRecovery8(const ScanContext& context) {
    _SqliteDbName = CallHistoryIOS8SqliteDbName;
    ios8Path_ = ConnectionFileFullPath(context);
    CallHistoryIos8Recovery recovery(context);
    recovery.DoRecoveryPath(ios8Path_);
}

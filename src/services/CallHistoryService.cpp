#include "services/CallHistoryService.h"

#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallHistory.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "services/CallHistoryRecoverers.h"
#include "services/ContactServices.h"

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
    for (const auto& record : recovery.RecoveredFiltered()) {
        auto call = std::dynamic_pointer_cast<CallHistory>(record);
        if (!call) continue;
        call->setContact(ContactFor(*call, -1));
        model.push_back(call);
        ++recovered;
    }
}

void CallHistoryService::doRecovery8(const ScanContext& context) {
    _SqliteDbName = CallHistoryIOS8SqliteDbName;
    ios8Path_ = ConnectionFileFullPath(context);
    CallHistoryIos8Recovery recovery(context);
    recovery.DoRecoveryPath(ios8Path_);
}

std::shared_ptr<Contact> CallHistoryService::ContactFor(const CallHistory& call,
                                                        std::int64_t rowId) const {
    std::shared_ptr<Contact> contact;
    if (contactServ_)
        contact = rowId != -1 ? contactServ_->FindContactByContactRowId(rowId)
                              : contactServ_->FindContactByPhoneNumber(call.Address());
    return contact ? contact : std::make_shared<Contact>();
}

void CallHistoryService::getWhatisExisting(const ScanContext& context) {
    getWhatisExistingIos5_6_7(context);
    getWhatisExistingIos8(context);
}

void CallHistoryService::getWhatisExistingIos5_6_7(const ScanContext& context) {
    _SqliteDbName = CallHistoryIOS7641SqliteDbName;
    ios567Path_ = ConnectionFileFullPath(context);
    if (!openOwnDatabase(ios567Path_)) return;
    auto rows = dbUtils->sharedDB()->executeQuery(
        "SELECT ROWID, address, datetime([date], 'unixepoch','localtime') AS CallDate, duration, "
        "flags, id, country_code, network_code FROM call order by [date] desc, ROWID, id");
    while (rows.next()) {
        if (context.cancelled()) return;
        auto call = std::make_shared<CallHistory>();
        call->setRowId(rows.longLongIntForColumn("ROWID"));
        call->setAddress(rows.stringForColumn("address"));
        call->setDate(rows.stringForColumn("CallDate"));
        call->setDuration(rows.intForColumn("duration"));
        call->setFlags(rows.intForColumn("flags"));
        call->setContactRowId(rows.longLongIntForColumn("id"));
        call->setMobileCountryCode(rows.stringForColumn("country_code"));
        call->setMobileNetworkCode(rows.stringForColumn("network_code"));
        call->setContact(ContactFor(*call, call->ContactRowId()));
        model.push_back(call);
        ++retrieved;
    }
}

void CallHistoryService::getWhatisExistingIos8(const ScanContext& context) {
    _SqliteDbName = CallHistoryIOS8SqliteDbName;
    ios8Path_ = ConnectionFileFullPath(context);
    if (!openOwnDatabase(ios8Path_)) return;
    auto rows = dbUtils->sharedDB()->executeQuery(
        "SELECT Z_PK, ZADDRESS, datetime(ZDATE + 978307200, 'unixepoch','localtime') AS CallDate, "
        "ZDURATION, ZCALLTYPE, ZISO_COUNTRY_CODE, ZORIGINATED FROM ZCALLRECORD order by ZDATE "
        "desc, Z_PK");
    while (rows.next()) {
        if (context.cancelled()) return;
        auto call = std::make_shared<CallHistory>();
        call->setRowId(rows.longLongIntForColumn("Z_PK"));
        call->setAddress(rows.stringForColumn("ZADDRESS"));
        call->setDate(rows.stringForColumn("CallDate"));
        call->setFlags(rows.intForColumn("ZCALLTYPE"));
        call->setContactRowId(-1);
        call->setMobileCountryCode(rows.stringForColumn("ZISO_COUNTRY_CODE"));
        call->setZOriginated(rows.longLongIntForColumn("ZORIGINATED") != 0);
        call->setDuration(rows.longLongIntForColumn("ZDURATION"));
        call->setContact(ContactFor(*call, -1));
        model.push_back(call);
        ++retrieved;
    }
}

#pragma once

#include "services/abstractServices.h"

#include <stop_token>
#include <string>

// Deleted calls: carves both call stores a backup may hold, the older call database (iOS 4 to
// 7) and the newer call store (iOS 8 on), one after the other whatever the device's version.
// The calls reach the shared state record's deleted-call lists through the recoverers. While
// it runs, the record's isDoingCallList flag says the service is busy.
class CallHistoryService : public abstractServices {
public:
    // WirelessDomain-Library/CallHistory/call_history.db (table `call`).
    static constexpr const char* CallHistoryIOS7641SqliteDbName =
        "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca";
    // HomeDomain-Library/CallHistoryDB/CallHistory.storedata (table ZCALLRECORD).
    static constexpr const char* CallHistoryIOS8SqliteDbName =
        "5a4935c78a5255723f707230a451d79c540d2741";

    CallHistoryService();

    void RecoverFromDevice(const ScanContext& context) override;
    void RecoverFromIOSBackup(const ScanContext& context) override;

    // The two stores' carvings, older first.
    void doRecovery(const ScanContext& context);
    void doRecovery5_6_7(const ScanContext& context);
    void doRecovery8(const ScanContext& context);

    // The paths of the two stores in the last run.
    const std::string& callHistoryIOS567ConnectionString() const { return ios567Path_; }
    const std::string& callHistoryIOS8ConnectionString() const { return ios8Path_; }

private:
    std::string ios567Path_;
    std::string ios8Path_;
};

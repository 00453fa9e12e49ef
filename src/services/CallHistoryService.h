#pragma once

#include "services/abstractServices.h"

#include <memory>
#include <stop_token>
#include <string>

class CallHistory;
class Contact;
class contactServices;

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

    // The two stores' carvings, older first. The calls the older store's recoverer keeps in
    // RecoveredFiltered are named from contactServ and kept in the service's model, each
    // counting in recovered.
    void doRecovery(const ScanContext& context);
    void doRecovery5_6_7(const ScanContext& context);
    void doRecovery8(const ScanContext& context);

    // The existing calls of both stores, older first, into the service's model (each counts in
    // retrieved), each with its contact: by row id where the older store names one, else by
    // number, else an empty contact. A store that does not open adds nothing.
    void getWhatisExisting(const ScanContext& context);
    void getWhatisExistingIos5_6_7(const ScanContext& context);
    void getWhatisExistingIos8(const ScanContext& context);
    // There is nothing more to filter.
    void AdditionalFiltering() {}

    // The contact look-up for the calls' parties; none until one is set. The service does not
    // own it.
    contactServices* contactServ() const { return contactServ_; }
    void setContactServ(contactServices* contacts) { contactServ_ = contacts; }

    // The paths of the two stores in the last run.
    const std::string& callHistoryIOS567ConnectionString() const { return ios567Path_; }
    const std::string& callHistoryIOS8ConnectionString() const { return ios8Path_; }

private:
    // The contact of the party: by row id when rowId is not -1, else by number; an empty
    // contact when the look-up finds none or there is none to ask.
    std::shared_ptr<Contact> ContactFor(const CallHistory& call, std::int64_t rowId) const;

    contactServices* contactServ_ = nullptr;
    std::string ios567Path_;
    std::string ios8Path_;
};

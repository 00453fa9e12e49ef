#pragma once

#include "services/abstractServices.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

class Contact;

// The recovery service of the address book: runs the multi-value, the full-text and then the
// person recoverer over the backup's address book ("AddressBook.sqlitedb"); the last two list
// the deleted contacts in the shared state record, with the numbers of their multi-value rows. The message and call-history services start only after
// it has finished, because they name their partners from those lists.
class contactServices : public abstractServices {
public:
    static constexpr const char* ContactsIOS641SqliteDbName =
        "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
    static constexpr const char* ContactsImagesIOS641SqliteDbName =
        "cd6702cea29fe89cf280a76794405adb17f9a0ee";

    contactServices();
    ~contactServices() override;

    void RecoverFromIOSBackup(const ScanContext& context) override;
    void releaseResults() override;
    // Empties ContactsAll and the run's counts.
    void initaliseForRecovery();
    // The carving run: the multi-value, the full-text and then the person recoverer, on the
    // same file.
    void checkForExisitngData(const ScanContext& context);

    // The contact of ContactsAll with a number equal to the given one (loosely, as phone numbers
    // are written in several ways); none when there is none. Safe from any thread.
    std::shared_ptr<Contact> FindContactByPhoneNumber(const OptString& phoneNumber) const;
    // The first contact of ContactsAll with that row id; none when there is none.
    std::shared_ptr<Contact> FindContactByContactRowId(std::int64_t rowId) const;
    // The backup's address-book images database: "data source=" and its path; none when the
    // backup (BackupLocation) lacks it or it is empty.
    OptString ImagesConnectionString(const DeviceInfo& device) const;

    std::vector<std::shared_ptr<Contact>> ContactsAll() const;

    std::atomic<std::int32_t> DisplayedRecoveredMessages{0};
    std::atomic<std::int32_t> DisplayedRecoveredCallHistory{0};
    std::atomic<std::int32_t> DisplayedRetrievedMessages{0};
    std::atomic<std::int32_t> DisplayedRetrievedCallHistory{0};

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Contact>> ContactsAll_;
};

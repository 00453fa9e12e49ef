#include "services/ContactServices.h"

#include "common/BackupFiles.h"
#include "common/PhoneAndEmailUtils.h"
#include "common/StringUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/ContactData.h"
#include "records/DeviceInfo.h"
#include "services/ContactRecoverers.h"

#include <cstdio>

contactServices::contactServices() {
    _SqliteDbName = ContactsIOS641SqliteDbName;
}

contactServices::~contactServices() = default;

void contactServices::RecoverFromIOSBackup(const ScanContext& context) {
    initaliseForRecovery();
    checkForExisitngData(context);
}

void contactServices::initaliseForRecovery() {
    {
        std::lock_guard lock(mutex_);
        ContactsAll_.clear();
    }
    retrieved = 0;
    recovered = 0;
}

void contactServices::checkForExisitngData(const ScanContext& context) {
    const std::string path = ConnectionFileFullPath(context);
    // Without the file both recoverers would find nothing, each after failing to open it (the
    // scan names the missing file once).
    if (!ConnectionString(context)) return;
    // The full-text rows come first: they carry the numbers and addresses, and the person
    // recoverer leaves out the people they have listed.
    ContactSearchsSQLiteRecovery fullText(context);
    fullText.DoRecoveryPath(path);
    if (context.cancelled()) return;
    ContactsSQLiteRecovery persons(context);
    persons.DoRecoveryPath(path);
}

std::vector<std::shared_ptr<Contact>> contactServices::ContactsAll() const {
    std::lock_guard lock(mutex_);
    return ContactsAll_;
}

std::shared_ptr<Contact> contactServices::FindContactByPhoneNumber(
    const OptString& phoneNumber) const {
    if (StringUtils::IsNullOrEmpty(phoneNumber)) return nullptr;
    for (const auto& contact : ContactsAll())
        for (const auto& number : contact->ContactNumbers())
            if (number && !StringUtils::IsNullOrEmpty(number->Number()) &&
                iPhoneNumberUtils::AreEqual(number->Number(), phoneNumber))
                return contact;
    return nullptr;
}

std::shared_ptr<Contact> contactServices::FindContactByContactRowId(std::int64_t rowId) const {
    for (const auto& contact : ContactsAll())
        if (contact->RowId() == rowId) return contact;
    return nullptr;
}

OptString contactServices::ImagesConnectionString(const DeviceInfo& device) const {
    if (!device.BackupLocation() ||
        !BackupFiles::holdsNonEmpty(WithoutTrailingSlashes(*device.BackupLocation()),
                                    ContactsImagesIOS641SqliteDbName))
        return std::nullopt;
    const OptString path = BackupFiles::locate(WithoutTrailingSlashes(*device.BackupLocation()),
                                               ContactsImagesIOS641SqliteDbName);
    if (!path) return std::nullopt;
    return "data source=" + *path;
}

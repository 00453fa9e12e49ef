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

void contactServices::releaseResults() {
    abstractServices::releaseResults();
    std::lock_guard lock(mutex_);
    ContactsAll_.clear();
    ContactsAll_.shrink_to_fit();
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
    // The deleted multi-value rows first: the numbers and e-mail addresses as the phone stored
    // them, which the contacts listed take in the place of their full-text forms.
    ContactsABMultiValueSQLiteRecovery values(context);
    values.DoRecoveryPath(path);
    if (context.cancelled()) return;
    // The full-text rows come next: they carry the numbers and addresses, and the person
    // recoverer leaves out the people they have listed.
    ContactSearchsSQLiteRecovery fullText(context);
    fullText.setCarvedValues(values.deletedValues());
    fullText.DoRecoveryPath(path);
    if (context.cancelled()) return;
    ContactsSQLiteRecovery persons(context);
    persons.setCarvedValues(values.deletedValues());
    persons.setSameNamesAsLive(fullText.sameNamesAsLive());
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

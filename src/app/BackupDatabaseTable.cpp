#include "app/BackupDatabaseTable.h"

#include "common/BackupFiles.h"
#include "records/BrimleyAppDelegate.h"

void setupDataBase(BrimleyAppDelegate& record) {
    namespace names = BackupDatabaseNames;
    const auto device = record.deviceInfo.get();
    const std::int32_t major = device ? device->iOSMajorVersion() : 0;
    const std::string backup = record.BACKUP_DIRECTORY.get();

    record.SMS_DATABASE.set(names::kSms);
    record.ADDRESSBOOK_DATABASE.set(names::kAddressBook);
    record.CALENDAR_DATABASE.set(names::kCalendar);
    record.NOTES_DATABASE.set(names::kNotes);
    record.CALLHISTORY_DATABASE.set(major >= 8 ? names::kCallHistory
                                               : names::kCallHistoryBeforeIOS8);
    record.DYNAMICDIT_DATABASE.set(major >= 5 ? names::kUserDictionary
                                              : names::kUserDictionaryBeforeIOS5);
    record.MAPHISTORY_DATABASE.set(names::kMapHistory);
    record.KEYCHAIN_DATABASE.set(names::kKeychain);
    record.ACCOUNT_DATABASE.set(names::kAccounts);
    record.APPLICATIONS_DATABASE.set(names::kApplications);

    // An empty file holds no database, so it counts as missing.
    record.WHATSAPP_DATABASE.set(BackupFiles::holdsNonEmpty(backup, names::kWhatsApp)
                                     ? names::kWhatsApp
                                     : names::kWhatsAppFallback);

    const char* internet = major >= 7 ? names::kInternetHistory : names::kInternetHistoryBeforeIOS7;
    record.INTERNET_HISTROY_DATABASE.set(
        BackupFiles::holdsNonEmpty(backup, internet) ? internet : names::kInternetHistoryFallback);
}

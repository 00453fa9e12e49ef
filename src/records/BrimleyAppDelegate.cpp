#include "records/BrimleyAppDelegate.h"

#include <stdexcept>
#include <utility>

BrimleyAppDelegate::BrimleyAppDelegate() = default;
BrimleyAppDelegate::~BrimleyAppDelegate() = default;

BrimleyAppDelegate& BrimleyAppDelegate::appDelegate() {
    // Built on first use (thread-safe) and kept until the process ends.
    static BrimleyAppDelegate* const record = new BrimleyAppDelegate();
    return *record;
}

void BrimleyAppDelegate::updateUIfoundRecoveredData() {
    if (auto w = window_.get()) w->updateUIfoundRecoveredData();
}

void BrimleyAppDelegate::updatePhotosUI() {
    if (auto w = window_.get()) w->updatePhotosUI();
}

Guarded<std::string>& BrimleyAppDelegate::databaseName(DatabaseRole role) {
    return const_cast<Guarded<std::string>&>(std::as_const(*this).databaseName(role));
}

const Guarded<std::string>& BrimleyAppDelegate::databaseName(DatabaseRole role) const {
    switch (role) {
        case DatabaseRole::Messages:
            return SMS_DATABASE;
        case DatabaseRole::AddressBook:
            return ADDRESSBOOK_DATABASE;
        case DatabaseRole::Calendar:
            return CALENDAR_DATABASE;
        case DatabaseRole::Notes:
            return NOTES_DATABASE;
        case DatabaseRole::CallHistory:
            return CALLHISTORY_DATABASE;
        case DatabaseRole::WhatsApp:
            return WHATSAPP_DATABASE;
        case DatabaseRole::MapHistory:
            return MAPHISTORY_DATABASE;
        case DatabaseRole::DynamicDictionary:
            return DYNAMICDIT_DATABASE;
        case DatabaseRole::Account:
            return ACCOUNT_DATABASE;
        case DatabaseRole::Keychain:
            return KEYCHAIN_DATABASE;
        case DatabaseRole::InternetHistory:
            return INTERNET_HISTROY_DATABASE;
        case DatabaseRole::Applications:
            return APPLICATIONS_DATABASE;
    }
    throw std::invalid_argument("unknown database role");
}

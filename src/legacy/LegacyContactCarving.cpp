#include "legacy/LegacyContactCarving.h"

#include "legacy/LegacyRecovery.h"

// Not built yet.
bool LegacyContactCarving::RecoverDeletedContacts() {
    return false;
}

bool LegacyContactCarving::RecoverDeletedNewIOS6Contacts() {
    return false;
}

bool LegacyContactCarving::RecoverDeletedNewIOS6Contacts_Future() {
    return false;
}

bool LegacyContactCarving::DeletediOS7Contacts() {
    return false;
}

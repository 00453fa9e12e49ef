#include "legacy/LegacyMessageCarving.h"

#include "legacy/LegacyRecovery.h"

// Not built yet.
bool LegacyMessageCarving::RecoverIOS6DeletedSMS() {
    return false;
}

bool LegacyMessageCarving::RecoverNewDeletedSMS() {
    return false;
}

bool LegacyMessageCarving::RecoverDeletediMessage_iOS7_0_2() {
    return false;
}

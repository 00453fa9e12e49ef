#include "legacy/LegacyCallHistoryCarving.h"

#include "legacy/LegacyRecovery.h"

// Not built yet.
bool LegacyCallHistoryCarving::RecoverDeletedCallHistory() {
    return false;
}

bool LegacyCallHistoryCarving::RecoverDeletedNewCallHistory() {
    return false;
}

bool LegacyCallHistoryCarving::RecoverDeletedNewIOS6CallHistory() {
    return false;
}

bool LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_4() {
    return false;
}

bool LegacyCallHistoryCarving::RecoverDeletedCallHistory_iOS7_0_2() {
    return false;
}

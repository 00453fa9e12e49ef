#include "legacy/LegacyWhatsAppCarving.h"

#include "legacy/LegacyRecovery.h"

// Not built yet.
bool LegacyWhatsAppCarving::RecoverDeletedWhatsAppMsg_iOS7_0_2() {
    return false;
}

#include "legacy/LegacyNoteCarving.h"

#include "legacy/LegacyRecovery.h"

// Not built yet.
bool LegacyNoteCarving::RecoverDeletedNotes() {
    return false;
}

bool LegacyNoteCarving::RecoverDeletedNewNotes() {
    return false;
}

bool LegacyNoteCarving::RecoverDeletedNewIOS6Notes() {
    return false;
}

bool LegacyNoteCarving::RecoverDeletedNewIOS7Notes() {
    return false;
}

bool LegacyNoteCarving::RecoverDeletedNotes_iOS6() {
    return false;
}

bool LegacyNoteCarving::RecoverDeletedNotes_iOS7_0_2() {
    return false;
}

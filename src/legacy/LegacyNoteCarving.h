#pragma once

class LegacyRecovery;

// The note routines over the notes file.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyNoteCarving {
public:
    explicit LegacyNoteCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverDeletedNotes();
    bool RecoverDeletedNewNotes();
    bool RecoverDeletedNewIOS6Notes();
    bool RecoverDeletedNewIOS7Notes();
    bool RecoverDeletedNotes_iOS6();
    bool RecoverDeletedNotes_iOS7_0_2();

private:
    LegacyRecovery& run_;
};

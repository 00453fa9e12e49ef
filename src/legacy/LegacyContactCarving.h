#pragma once

class LegacyRecovery;

// The contact routines over the address book file.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyContactCarving {
public:
    explicit LegacyContactCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverDeletedContacts();
    bool RecoverDeletedNewIOS6Contacts();
    bool RecoverDeletedNewIOS6Contacts_Future();
    bool DeletediOS7Contacts();

private:
    LegacyRecovery& run_;
};

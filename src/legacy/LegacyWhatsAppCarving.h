#pragma once

class LegacyRecovery;

// The WhatsApp routine over the chat database file.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyWhatsAppCarving {
public:
    explicit LegacyWhatsAppCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverDeletedWhatsAppMsg_iOS7_0_2();

private:
    LegacyRecovery& run_;
};

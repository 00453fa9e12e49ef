#pragma once

class LegacyRecovery;

// The message routines: the iOS 6-and-later routine, the one for iOS 5 and earlier, and the
// iOS 7 iMessage parser that no sequence runs.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyMessageCarving {
public:
    explicit LegacyMessageCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverIOS6DeletedSMS();
    bool RecoverNewDeletedSMS();
    bool RecoverDeletediMessage_iOS7_0_2();

private:
    LegacyRecovery& run_;
};

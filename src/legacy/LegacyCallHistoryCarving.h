#pragma once

class LegacyRecovery;

// The call-history routines, one per iOS version.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyCallHistoryCarving {
public:
    explicit LegacyCallHistoryCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverDeletedCallHistory();
    bool RecoverDeletedNewCallHistory();
    bool RecoverDeletedNewIOS6CallHistory();
    bool RecoverDeletedCallHistory_iOS7_0_4();
    bool RecoverDeletedCallHistory_iOS7_0_2();

private:
    LegacyRecovery& run_;
};

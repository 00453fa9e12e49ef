#pragma once

class LegacyRecovery;

// The calendar routines, one per iOS version.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
class LegacyCalendarCarving {
public:
    explicit LegacyCalendarCarving(LegacyRecovery& run) : run_(run) {}

    bool RecoverDeletedCalendar_iOS7_0_2();
    bool RecoverDeletedNewIOS5CalendarInfo();
    bool RecoverDeletedNewIOS6CalendarInfo();
    bool RecoverDeletedNewIOS6CalendarInfo1();
    bool RecoverDeletedCalendarInfo();

private:
    LegacyRecovery& run_;
};

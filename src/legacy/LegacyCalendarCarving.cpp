#include "legacy/LegacyCalendarCarving.h"

#include "legacy/LegacyRecovery.h"

// Not built yet.
bool LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2() {
    return false;
}

bool LegacyCalendarCarving::RecoverDeletedNewIOS5CalendarInfo() {
    return false;
}

bool LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo() {
    return false;
}

bool LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo1() {
    return false;
}

bool LegacyCalendarCarving::RecoverDeletedCalendarInfo() {
    return false;
}

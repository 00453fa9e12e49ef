#pragma once

#include "common/Types.h"
#include "database/DAOs.h"

#include <cstdint>
#include <memory>

class LegacyRecovery;
class Calendar;

// The calendar routines, one per iOS version.
// Each replaces its type's deleted list and fills it from the whole file; see LegacyRecovery.
//
// RecoverDeletedCalendar_iOS7_0_2 (iOS 6 on) reads the record header of an event row and cuts
// its columns from the values. The iOS 5 routine and its two iOS 6 variants find a byte pattern
// of the event row's header and take the summary (and description) from the run of printable
// text that follows; RecoverDeletedCalendarInfo (before iOS 5) takes three texts per match,
// read as ISO-2022-JP. Every routine but the oldest drops events whose row is live or that are
// listed already: by their summary, or where the header gives the times, by summary and times. Every position is tested at most once as a match, so the scans
// always move on.
class LegacyCalendarCarving {
public:
    explicit LegacyCalendarCarving(LegacyRecovery& run) : run_(run) {}

    // All answer false (the caller reads the list).
    bool RecoverDeletedCalendar_iOS7_0_2();
    bool RecoverDeletedNewIOS5CalendarInfo();
    bool RecoverDeletedNewIOS6CalendarInfo();
    bool RecoverDeletedNewIOS6CalendarInfo1();
    bool RecoverDeletedCalendarInfo();

    // The three routines of the letter search.
    enum class PatternVariant { IOS5, IOS6, IOS6Simple };

private:
    bool RecoverByPattern(PatternVariant variant);
    // Appends the event and counts it unless its row is live or its summary is listed already.
    void keep(const std::shared_ptr<Calendar>& event, std::int32_t rowId, const RowIdMap& live);
    void append(const std::shared_ptr<Calendar>& event);

    LegacyRecovery& run_;
};

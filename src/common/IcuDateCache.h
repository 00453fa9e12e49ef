#pragma once

#include "common/Clock.h"

#include <string>
#include <string_view>

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>

// The date patterns of the display texts (Unicode TR 35).
enum class DatePattern {
    DateTime24,        // "yyyy-MM-dd HH:mm:ss", the standard record date text
    DateTime12Marker,  // "yyyy-MM-dd hh:mm a"
    DateTime12,        // "yyyy-MM-dd hh:mm:ss", 12-hour clock without a marker
    ShortExport,       // "MM-dd-yyyy HH:mm"
    DayMonth,          // "dd.MM."
    CsvExport,         // "yyyy/MM/dd hh:mm a", the date columns of the export files
};

// Per-thread ICU formatters and a Gregorian calendar in the local time zone of Clock, with the
// fixed locale "en_US_POSIX" so texts do not depend on the user's settings. ICU formatters are
// costly to build and unsafe to share between threads, and dates are formatted for every carved
// record, so each thread builds its own once and rebuilds them only when the zone changes.
// The references stay valid on the calling thread until the local time zone is changed.
class IcuDateCache {
public:
    static icu::SimpleDateFormat& Formatter(DatePattern pattern);
    // The text of a date in one of the patterns. Dates of the Gregorian calendar's own era
    // (1583 to 9999) are written directly from the zone's offset, as the formatter would write
    // them but many times faster; others go through the formatter.
    static std::string Format(DatePattern pattern, Date date);
    // The date of a local "yyyy-MM-dd HH:mm:ss" text, parsed strictly: what the DateTime24
    // formatter's parse gives, written out directly for the plain texts that round-trip.
    static OptDate ParseDateTime24(std::string_view text);
    // Lenient, so components out of range roll over (month 13, minute 60).
    static icu::Calendar& Calendar();

    static UDate ToUDate(Date date) { return static_cast<UDate>(date.time_since_epoch().count()); }
    // No date outside the handled span.
    static OptDate FromUDate(UDate millis) { return DateFromUnixSeconds(millis / 1000.0); }
};

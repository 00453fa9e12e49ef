#pragma once

#include "common/Clock.h"

#include <cstdint>
#include <optional>

// Calendar differences between two dates, largest unit first (see componentsWithOffsetFromDate).
struct DateComponents {
    std::int64_t year = 0;
    std::int64_t month = 0;
    std::int64_t day = 0;
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    bool operator==(const DateComponents&) const = default;
};

// Date arithmetic and calendar tests. "Now" is Clock::Now(); calendar fields are those of a
// Gregorian calendar in the local time zone with weeks starting on Sunday. Counts of units are
// plain seconds arithmetic (a day is 86400 s), and saturate instead of overflowing. Dates
// outside the handled span (see Clock.h) have no calendar fields: the field operations give 0
// and the tests give false for them.
class DateUtilities {
public:
    static constexpr std::int64_t kMinute = 60;
    static constexpr std::int64_t kHour = 3600;
    static constexpr std::int64_t kDay = 86400;
    static constexpr std::int64_t kWeek = 604800;

    // Relative to now.
    static Date dateWithDaysFromNow(std::uint64_t days);
    static Date dateWithDaysBeforeNow(std::uint64_t days);
    static Date dateTomorrow();
    static Date dateYesterday();
    static Date dateWithHoursFromNow(std::uint64_t hours);
    static Date dateWithHoursBeforeNow(std::uint64_t hours);
    static Date dateWithMinutesFromNow(std::uint64_t minutes);
    static Date dateWithMinutesBeforeNow(std::uint64_t minutes);

    // Comparisons.
    static bool isEqualToDateIgnoringTime(Date date, Date other);
    static bool isToday(Date date);
    static bool isTomorrow(Date date);
    static bool isYesterday(Date date);
    // Same week of year and less than a week apart.
    static bool isSameWeekAsDate(Date date, Date other);
    static bool isThisWeek(Date date);
    static bool isNextWeek(Date date);
    static bool isLastWeek(Date date);
    static bool isSameYearAsDate(Date date, Date other);
    static bool isThisYear(Date date);
    static bool isNextYear(Date date);
    static bool isLastYear(Date date);
    // Both true for two equal dates.
    static bool isEarlierThanDate(Date date, Date other);
    static bool isLaterThanDate(Date date, Date other);

    // Arithmetic.
    static Date dateByAddingDays(Date date, std::uint64_t days);
    static Date dateBySubtractingDays(Date date, std::uint64_t days);
    static Date dateByAddingHours(Date date, std::uint64_t hours);
    static Date dateBySubtractingHours(Date date, std::uint64_t hours);
    static Date dateByAddingMinutes(Date date, std::uint64_t minutes);
    static Date dateBySubtractingMinutes(Date date, std::uint64_t minutes);

    // Local midnight at the start of the date's day.
    static OptDate dateAtStartOfDay(Date date);
    // Years, months, days, hours, minutes and seconds from other to date (negative when date is
    // earlier).
    static std::optional<DateComponents> componentsWithOffsetFromDate(Date date, Date other);
    // Whole units (truncated toward zero) from other to date, or from date to other.
    static std::int64_t minutesAfterDate(Date date, Date other);
    static std::int64_t minutesBeforeDate(Date date, Date other);
    static std::int64_t hoursAfterDate(Date date, Date other);
    static std::int64_t hoursBeforeDate(Date date, Date other);
    static std::int64_t daysAfterDate(Date date, Date other);
    static std::int64_t daysBeforeDate(Date date, Date other);

    // The hour (0-23) of now plus 30 minutes.
    static int nearestHour();

    // Calendar fields: weekday 1 = Sunday; nthWeekday is the weekday's ordinal in its month;
    // week is the week of the year.
    static int hour(Date date);
    static int minute(Date date);
    static int seconds(Date date);
    static int day(Date date);
    static int month(Date date);
    static int week(Date date);
    static int weekday(Date date);
    static int nthWeekday(Date date);
    static int year(Date date);

    // Sets the minute by quarters, 0-22 to :15, 23-37 to :30, 38-52 to :45 and 53-59 to the next
    // full hour, and clears the seconds.
    static OptDate dateToNearest15Minutes(Date date);
};

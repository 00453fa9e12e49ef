#include "common/DateUtilities.h"

#include "common/IcuDateCache.h"

#include <algorithm>

namespace {

using Millis = std::chrono::milliseconds;

// date ± count × unit seconds, saturating at the ends of the representable range.
Date Shift(Date date, std::uint64_t count, std::int64_t unitSeconds, bool forward) {
    // Any count beyond this already leaves the handled span from anywhere inside it.
    const auto maxCount =
        static_cast<std::uint64_t>(2 * kMaxDateSeconds) / static_cast<std::uint64_t>(unitSeconds) +
        1;
    const auto millis = static_cast<std::int64_t>(std::min(count, maxCount)) * unitSeconds * 1000;
    std::int64_t result = 0;
    const std::int64_t base = date.time_since_epoch().count();
    const bool overflow = forward ? __builtin_add_overflow(base, millis, &result)
                                  : __builtin_sub_overflow(base, millis, &result);
    if (overflow) return forward ? Date::max() : Date::min();
    return Date(Millis(result));
}

// The thread's calendar set to the date, or nullptr for a date without calendar fields.
icu::Calendar* CalendarAt(Date date) {
    if (!IsRepresentableDate(date)) return nullptr;
    icu::Calendar& calendar = IcuDateCache::Calendar();
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(IcuDateCache::ToUDate(date), status);
    return U_SUCCESS(status) ? &calendar : nullptr;
}

std::optional<int> Field(Date date, UCalendarDateFields field) {
    icu::Calendar* calendar = CalendarAt(date);
    if (!calendar) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const int value = calendar->get(field, status);
    return U_SUCCESS(status) ? std::optional<int>(value) : std::nullopt;
}

bool SameFields(Date date, Date other, std::initializer_list<UCalendarDateFields> fields) {
    for (const UCalendarDateFields field : fields) {
        const auto a = Field(date, field);
        if (!a || a != Field(other, field)) return false;
    }
    return true;
}

// The calendar's fields after a change, turned back into a date.
OptDate Resolve(icu::Calendar& calendar) {
    UErrorCode status = U_ZERO_ERROR;
    const UDate millis = calendar.getTime(status);
    return U_SUCCESS(status) ? IcuDateCache::FromUDate(millis) : std::nullopt;
}

// Whole units from earlier to later, truncated toward zero; 0 when either has no calendar date.
std::int64_t UnitsBetween(Date later, Date earlier, std::int64_t unitSeconds) {
    if (!IsRepresentableDate(later) || !IsRepresentableDate(earlier)) return 0;
    return (later - earlier).count() / (unitSeconds * 1000);
}

}  // namespace

Date DateUtilities::dateWithDaysFromNow(std::uint64_t days) {
    return Shift(Clock::Now(), days, kDay, true);
}
Date DateUtilities::dateWithDaysBeforeNow(std::uint64_t days) {
    return Shift(Clock::Now(), days, kDay, false);
}
Date DateUtilities::dateTomorrow() {
    return dateWithDaysFromNow(1);
}
Date DateUtilities::dateYesterday() {
    return dateWithDaysBeforeNow(1);
}
Date DateUtilities::dateWithHoursFromNow(std::uint64_t hours) {
    return Shift(Clock::Now(), hours, kHour, true);
}
Date DateUtilities::dateWithHoursBeforeNow(std::uint64_t hours) {
    return Shift(Clock::Now(), hours, kHour, false);
}
Date DateUtilities::dateWithMinutesFromNow(std::uint64_t minutes) {
    return Shift(Clock::Now(), minutes, kMinute, true);
}
Date DateUtilities::dateWithMinutesBeforeNow(std::uint64_t minutes) {
    return Shift(Clock::Now(), minutes, kMinute, false);
}

bool DateUtilities::isEqualToDateIgnoringTime(Date date, Date other) {
    return SameFields(date, other, {UCAL_EXTENDED_YEAR, UCAL_MONTH, UCAL_DATE});
}
bool DateUtilities::isToday(Date date) {
    return isEqualToDateIgnoringTime(date, Clock::Now());
}
bool DateUtilities::isTomorrow(Date date) {
    return isEqualToDateIgnoringTime(date, dateTomorrow());
}
bool DateUtilities::isYesterday(Date date) {
    return isEqualToDateIgnoringTime(date, dateYesterday());
}

bool DateUtilities::isSameWeekAsDate(Date date, Date other) {
    if (!SameFields(date, other, {UCAL_WEEK_OF_YEAR})) return false;
    // Week numbers repeat every year, so the dates must also be less than a week apart.
    const auto apart = std::chrono::duration_cast<std::chrono::seconds>(date - other).count();
    return apart > -kWeek && apart < kWeek;
}
bool DateUtilities::isThisWeek(Date date) {
    return isSameWeekAsDate(date, Clock::Now());
}
bool DateUtilities::isNextWeek(Date date) {
    return isSameWeekAsDate(date, Shift(Clock::Now(), 1, kWeek, true));
}
bool DateUtilities::isLastWeek(Date date) {
    return isSameWeekAsDate(date, Shift(Clock::Now(), 1, kWeek, false));
}

bool DateUtilities::isSameYearAsDate(Date date, Date other) {
    return SameFields(date, other, {UCAL_EXTENDED_YEAR});
}
bool DateUtilities::isThisYear(Date date) {
    return isSameYearAsDate(date, Clock::Now());
}
bool DateUtilities::isNextYear(Date date) {
    const auto mine = Field(date, UCAL_EXTENDED_YEAR);
    return mine && mine == Field(Clock::Now(), UCAL_EXTENDED_YEAR).value_or(0) + 1;
}
bool DateUtilities::isLastYear(Date date) {
    const auto mine = Field(date, UCAL_EXTENDED_YEAR);
    return mine && mine == Field(Clock::Now(), UCAL_EXTENDED_YEAR).value_or(0) - 1;
}

bool DateUtilities::isEarlierThanDate(Date date, Date other) {
    return date <= other;
}
bool DateUtilities::isLaterThanDate(Date date, Date other) {
    return date >= other;
}

Date DateUtilities::dateByAddingDays(Date date, std::uint64_t days) {
    return Shift(date, days, kDay, true);
}
Date DateUtilities::dateBySubtractingDays(Date date, std::uint64_t days) {
    return Shift(date, days, kDay, false);
}
Date DateUtilities::dateByAddingHours(Date date, std::uint64_t hours) {
    return Shift(date, hours, kHour, true);
}
Date DateUtilities::dateBySubtractingHours(Date date, std::uint64_t hours) {
    return Shift(date, hours, kHour, false);
}
Date DateUtilities::dateByAddingMinutes(Date date, std::uint64_t minutes) {
    return Shift(date, minutes, kMinute, true);
}
Date DateUtilities::dateBySubtractingMinutes(Date date, std::uint64_t minutes) {
    return Shift(date, minutes, kMinute, false);
}

OptDate DateUtilities::dateAtStartOfDay(Date date) {
    icu::Calendar* calendar = CalendarAt(date);
    if (!calendar) return std::nullopt;
    calendar->set(UCAL_HOUR_OF_DAY, 0);
    calendar->set(UCAL_MINUTE, 0);
    calendar->set(UCAL_SECOND, 0);
    calendar->set(UCAL_MILLISECOND, 0);
    return Resolve(*calendar);
}

std::optional<DateComponents> DateUtilities::componentsWithOffsetFromDate(Date date, Date other) {
    icu::Calendar* calendar = CalendarAt(other);
    if (!calendar || !IsRepresentableDate(date)) return std::nullopt;
    // fieldDifference moves the calendar on by each difference, so each smaller unit counts
    // what the larger ones left over.
    const UDate target = IcuDateCache::ToUDate(date);
    UErrorCode status = U_ZERO_ERROR;
    DateComponents parts;
    parts.year = calendar->fieldDifference(target, UCAL_YEAR, status);
    parts.month = calendar->fieldDifference(target, UCAL_MONTH, status);
    parts.day = calendar->fieldDifference(target, UCAL_DATE, status);
    parts.hour = calendar->fieldDifference(target, UCAL_HOUR_OF_DAY, status);
    parts.minute = calendar->fieldDifference(target, UCAL_MINUTE, status);
    parts.second = calendar->fieldDifference(target, UCAL_SECOND, status);
    if (U_FAILURE(status)) return std::nullopt;
    return parts;
}

std::int64_t DateUtilities::minutesAfterDate(Date date, Date other) {
    return UnitsBetween(date, other, kMinute);
}
std::int64_t DateUtilities::minutesBeforeDate(Date date, Date other) {
    return UnitsBetween(other, date, kMinute);
}
std::int64_t DateUtilities::hoursAfterDate(Date date, Date other) {
    return UnitsBetween(date, other, kHour);
}
std::int64_t DateUtilities::hoursBeforeDate(Date date, Date other) {
    return UnitsBetween(other, date, kHour);
}
std::int64_t DateUtilities::daysAfterDate(Date date, Date other) {
    return UnitsBetween(date, other, kDay);
}
std::int64_t DateUtilities::daysBeforeDate(Date date, Date other) {
    return UnitsBetween(other, date, kDay);
}

int DateUtilities::nearestHour() {
    return hour(Shift(Clock::Now(), 30, kMinute, true));
}

int DateUtilities::hour(Date date) {
    return Field(date, UCAL_HOUR_OF_DAY).value_or(0);
}
int DateUtilities::minute(Date date) {
    return Field(date, UCAL_MINUTE).value_or(0);
}
int DateUtilities::seconds(Date date) {
    return Field(date, UCAL_SECOND).value_or(0);
}
int DateUtilities::day(Date date) {
    return Field(date, UCAL_DATE).value_or(0);
}
int DateUtilities::month(Date date) {
    return Field(date, UCAL_MONTH).value_or(-1) + 1;
}
int DateUtilities::week(Date date) {
    return Field(date, UCAL_WEEK_OF_YEAR).value_or(0);
}
int DateUtilities::weekday(Date date) {
    return Field(date, UCAL_DAY_OF_WEEK).value_or(0);
}
int DateUtilities::nthWeekday(Date date) {
    return Field(date, UCAL_DAY_OF_WEEK_IN_MONTH).value_or(0);
}
int DateUtilities::year(Date date) {
    return Field(date, UCAL_EXTENDED_YEAR).value_or(0);
}

OptDate DateUtilities::dateToNearest15Minutes(Date date) {
    icu::Calendar* calendar = CalendarAt(date);
    if (!calendar) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const int minuteOfHour = calendar->get(UCAL_MINUTE, status);
    if (U_FAILURE(status)) return std::nullopt;
    // Minute 60 carries into the next hour: the calendar is lenient.
    calendar->set(UCAL_MINUTE, (minuteOfHour - 8) / 15 * 15 + 15);
    calendar->set(UCAL_SECOND, 0);
    calendar->set(UCAL_MILLISECOND, 0);
    return Resolve(*calendar);
}

#pragma once

#include "common/Clock.h"
#include "common/Types.h"

#include <cstdint>
#include <optional>
#include <string>

// Dates read from the backup's databases and the display texts every record carries.
// Apple seconds count from 2001-01-01 00:00:00 UTC, Unix seconds from 1970-01-01 00:00:00 UTC;
// texts are in the local time zone of Clock. Safe to call from any thread.
class DateUtils {
public:
    // Seconds between the Unix and the Apple epochs.
    static constexpr std::int64_t kAppleEpochOffsetSeconds = 978307200;

    // The date that many seconds after 1970-01-01 UTC; no date for NaN or far-off values.
    static OptDate ConvertFromUnixTimeStampToDateTime(double unixSeconds);
    // "yyyy-MM-dd hh:mm a"; "" for values less than a second from 0 and for no date.
    static std::string ConvertFromUnixTimestampToString(double unixSeconds);
    // "yyyy-MM-dd hh:mm a" of DoubleToIOSDateTime; "" for values less than a second from 0;
    // absent when there is no date (negative or far-off values).
    static OptString ConvertToString(double appleSeconds);

    // "yyyy-MM-dd HH:mm:ss", the standard record date text; absent for no date.
    static OptString DateTimeToString(const OptDate& date);
    // For a date made from Unix seconds of a column that really holds Apple seconds: shows it
    // moved forward by the distance between the two epochs.
    static OptString DateTimeToStringWithOffset(const OptDate& date);
    // "MM-dd-yyyy HH:mm"; absent for no date.
    static OptString DateTimeToShortStringForExportToServer(const OptDate& date);
    // "dd.MM."; absent for no date.
    static OptString DateTimeToStringDayMonth(const OptDate& date);
    // Parses "yyyy-MM-dd HH:mm:ss" in local time; no date when the whole text does not parse.
    static OptDate StringToDateTime(const OptString& text);
    // DateTimeToString of the date that many seconds after 1970-01-01 UTC.
    static OptString LongToString(double unixSeconds);

    // The date of an Apple-seconds column: the epoch plus the whole seconds (fractions dropped).
    // No date for an absent value, for a negative one (a carved or stored negative time is not a
    // real date) and for NaN or far-off values.
    static OptDate DoubleToIOSDateTime(std::optional<double> appleSeconds);
    // Local midnight at the start of that day, Gregorian calendar; months and days out of range
    // roll over. No date for values far out of range.
    static OptDate dateWithYear(std::int64_t year, std::int64_t month, std::int64_t day);
    // The epoch plus the seconds; no date for 0 or far-off values.
    static OptDate LongToIOSDateTime(std::int64_t appleSeconds);
    // "yyyy-MM-dd hh:mm:ss" (12-hour clock, no marker); "-" for 0 or no date.
    static std::string IOSDateTimeToString(std::int64_t appleSeconds);
    // 2001-01-01 00:00:00 UTC.
    static Date IOSDateTimeOffset();
    // 1970-01-01 00:00:00 UTC.
    static Date UnixDateTimeOffset();
    // The display text of an Apple-seconds column: DateTimeToString of DoubleToIOSDateTime when
    // that date lies before Clock::Now(), otherwise (no date, or a date not in the past) " ".
    static std::string doubleIOSDateTimeToString(std::optional<double> appleSeconds);
};

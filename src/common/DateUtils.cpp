#include "common/DateUtils.h"

#include "common/IcuDateCache.h"

#include <unicode/parsepos.h>

#include <cmath>

namespace {

OptString Format(DatePattern pattern, const OptDate& date) {
    if (!date || !IsRepresentableDate(*date)) return std::nullopt;
    return IcuDateCache::Format(pattern, *date);
}

// A date this many whole seconds from another, or no date outside the handled span.
OptDate AddSeconds(Date base, std::int64_t seconds) {
    constexpr auto limit = static_cast<std::int64_t>(kMaxDateSeconds);
    if (!IsRepresentableDate(base) || seconds > limit || seconds < -limit) return std::nullopt;
    const Date moved = base + std::chrono::seconds(seconds);
    return IsRepresentableDate(moved) ? OptDate(moved) : std::nullopt;
}

}  // namespace

OptDate DateUtils::ConvertFromUnixTimeStampToDateTime(double unixSeconds) {
    return DateFromUnixSeconds(unixSeconds);
}

std::string DateUtils::ConvertFromUnixTimestampToString(double unixSeconds) {
    if (std::fabs(unixSeconds) < 1.0) return "";
    return Format(DatePattern::DateTime12Marker, ConvertFromUnixTimeStampToDateTime(unixSeconds))
        .value_or("");
}

OptString DateUtils::ConvertToString(double appleSeconds) {
    if (std::fabs(appleSeconds) < 1.0) return "";
    return Format(DatePattern::DateTime12Marker, DoubleToIOSDateTime(appleSeconds));
}

OptString DateUtils::DateTimeToString(const OptDate& date) {
    return Format(DatePattern::DateTime24, date);
}

OptString DateUtils::DateTimeToStringWithOffset(const OptDate& date) {
    if (!date) return std::nullopt;
    return Format(DatePattern::DateTime24, AddSeconds(*date, kAppleEpochOffsetSeconds));
}

OptString DateUtils::DateTimeToShortStringForExportToServer(const OptDate& date) {
    return Format(DatePattern::ShortExport, date);
}

OptString DateUtils::DateTimeToStringDayMonth(const OptDate& date) {
    return Format(DatePattern::DayMonth, date);
}

OptDate DateUtils::StringToDateTime(const OptString& text) {
    if (!text) return std::nullopt;
    return IcuDateCache::ParseDateTime24(*text);
}

OptString DateUtils::LongToString(double unixSeconds) {
    return DateTimeToString(ConvertFromUnixTimeStampToDateTime(unixSeconds));
}

OptDate DateUtils::DoubleToIOSDateTime(std::optional<double> appleSeconds) {
    if (!appleSeconds || !std::isfinite(*appleSeconds) || *appleSeconds < 0.0) return std::nullopt;
    const double whole = std::trunc(*appleSeconds);
    if (whole > kMaxDateSeconds) return std::nullopt;
    return AddSeconds(IOSDateTimeOffset(), static_cast<std::int64_t>(whole));
}

OptDate DateUtils::dateWithYear(std::int64_t year, std::int64_t month, std::int64_t day) {
    // Bounds that keep the calendar's 32-bit fields and its arithmetic far from overflow; the
    // result is checked against the handled span below.
    constexpr std::int64_t kYears = 400000;
    const auto outside = [](std::int64_t value, std::int64_t limit) {
        return value > limit || value < -limit;
    };
    if (outside(year, kYears) || outside(month, kYears * 12) || outside(day, kYears * 366))
        return std::nullopt;
    icu::Calendar& calendar = IcuDateCache::Calendar();
    calendar.clear();
    calendar.set(static_cast<std::int32_t>(year), static_cast<std::int32_t>(month - 1),
                 static_cast<std::int32_t>(day));
    UErrorCode status = U_ZERO_ERROR;
    const UDate millis = calendar.getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    return IcuDateCache::FromUDate(millis);
}

OptDate DateUtils::LongToIOSDateTime(std::int64_t appleSeconds) {
    if (appleSeconds == 0) return std::nullopt;
    return AddSeconds(IOSDateTimeOffset(), appleSeconds);
}

std::string DateUtils::IOSDateTimeToString(std::int64_t appleSeconds) {
    return Format(DatePattern::DateTime12, LongToIOSDateTime(appleSeconds)).value_or("-");
}

Date DateUtils::IOSDateTimeOffset() {
    return Date(std::chrono::seconds(kAppleEpochOffsetSeconds));
}

Date DateUtils::UnixDateTimeOffset() {
    return Date{};
}

std::string DateUtils::doubleIOSDateTimeToString(std::optional<double> appleSeconds) {
    const OptDate date = DoubleToIOSDateTime(appleSeconds);
    // A carved timestamp in the future is garbage, not a date.
    if (!date || *date >= Clock::Now()) return " ";
    return DateTimeToString(date).value_or(" ");
}

#include "common/IcuDateCache.h"

#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::array<const char*, 6> kPatterns = {
    "yyyy-MM-dd HH:mm:ss",
    "yyyy-MM-dd hh:mm a",
    "yyyy-MM-dd hh:mm:ss",
    "MM-dd-yyyy HH:mm",
    "dd.MM.",
    "yyyy/MM/dd hh:mm a",
};

const icu::Locale& PosixLocale() {
    static const icu::Locale locale("en_US_POSIX");
    return locale;
}

struct ThreadCache {
    std::uint64_t generation = 0;  // Clock's generations start at 1
    std::unique_ptr<icu::TimeZone> zone;
    std::array<std::unique_ptr<icu::SimpleDateFormat>, kPatterns.size()> formatters;
    std::unique_ptr<icu::Calendar> calendar;

    // Drops everything built for an older zone.
    void Refresh() {
        const std::uint64_t current = Clock::TimeZoneGeneration();
        if (current == generation) return;
        zone.reset(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(Clock::TimeZoneId())));
        for (auto& f : formatters) f.reset();
        calendar.reset();
        generation = current;
    }
};

thread_local ThreadCache tCache;

void Fail(const char* what, UErrorCode status) {
    // Only a broken ICU installation gets here; the data is part of the package.
    std::fprintf(stderr, "IcuDateCache: cannot create %s: %s\n", what, u_errorName(status));
    std::abort();
}

}  // namespace

icu::SimpleDateFormat& IcuDateCache::Formatter(DatePattern pattern) {
    tCache.Refresh();
    auto& slot = tCache.formatters[static_cast<std::size_t>(pattern)];
    if (!slot) {
        UErrorCode status = U_ZERO_ERROR;
        auto formatter = std::make_unique<icu::SimpleDateFormat>(
            icu::UnicodeString(kPatterns[static_cast<std::size_t>(pattern)], -1, US_INV),
            PosixLocale(), status);
        if (U_FAILURE(status)) Fail("a date formatter", status);
        formatter->setTimeZone(*tCache.zone);
        // Parsing is strict, as "2021-02-30" is not a date.
        formatter->setLenient(false);
        slot = std::move(formatter);
    }
    return *slot;
}

namespace {

// The civil date of a day count from 1970-01-01 (proleptic Gregorian).
void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

void Append(std::string& out, std::int64_t value, int digits) {
    char buffer[8];
    for (int i = digits - 1; i >= 0; --i) {
        buffer[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(buffer, static_cast<std::size_t>(digits));
}

}  // namespace

std::string IcuDateCache::Format(DatePattern pattern, Date date) {
    const UDate millis = ToUDate(date);
    // From 1583-01-01 to 9999-12-31, UTC, with a day's margin for the zone's offset.
    constexpr double kFirst = -12212553600000.0 + 86400000.0;
    constexpr double kLast = 253402300799000.0 - 86400000.0;
    tCache.Refresh();
    std::int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    if (millis >= kFirst && millis <= kLast)
        tCache.zone->getOffset(millis, false, raw, dst, status);
    if (millis < kFirst || millis > kLast || U_FAILURE(status)) {
        icu::UnicodeString text;
        Formatter(pattern).format(millis, text);
        std::string out;
        return text.toUTF8String(out);
    }
    const auto local = static_cast<std::int64_t>(millis) + raw + dst;
    constexpr std::int64_t kDay = 86400000;
    const std::int64_t days = (local >= 0 ? local : local - (kDay - 1)) / kDay;
    const std::int64_t secondOfDay = (local - days * kDay) / 1000;
    std::int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    const int hour = static_cast<int>(secondOfDay / 3600);
    const int minute = static_cast<int>(secondOfDay / 60 % 60);
    const int second = static_cast<int>(secondOfDay % 60);
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;

    std::string out;
    out.reserve(24);
    switch (pattern) {
        case DatePattern::DateTime24:
        case DatePattern::DateTime12:
        case DatePattern::DateTime12Marker:
            Append(out, year, 4);
            out += '-';
            Append(out, month, 2);
            out += '-';
            Append(out, day, 2);
            out += ' ';
            Append(out, pattern == DatePattern::DateTime24 ? hour : hour12, 2);
            out += ':';
            Append(out, minute, 2);
            if (pattern == DatePattern::DateTime12Marker) {
                out += hour < 12 ? " AM" : " PM";
            } else {
                out += ':';
                Append(out, second, 2);
            }
            break;
        case DatePattern::ShortExport:
            Append(out, month, 2);
            out += '-';
            Append(out, day, 2);
            out += '-';
            Append(out, year, 4);
            out += ' ';
            Append(out, hour, 2);
            out += ':';
            Append(out, minute, 2);
            break;
        case DatePattern::DayMonth:
            Append(out, day, 2);
            out += '.';
            Append(out, month, 2);
            out += '.';
            break;
        case DatePattern::CsvExport:
            Append(out, year, 4);
            out += '/';
            Append(out, month, 2);
            out += '/';
            Append(out, day, 2);
            out += ' ';
            Append(out, hour12, 2);
            out += ':';
            Append(out, minute, 2);
            out += hour < 12 ? " AM" : " PM";
            break;
    }
    return out;
}

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The digits of text[from, from + count) as a number; -1 when one is no digit.
int Digits(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

OptDate ParseWithFormatter(std::string_view text) {
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    icu::ParsePosition position(0);
    const UDate parsed = IcuDateCache::Formatter(DatePattern::DateTime24).parse(input, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length()) return std::nullopt;
    return IcuDateCache::FromUDate(parsed);
}

}  // namespace

OptDate IcuDateCache::ParseDateTime24(std::string_view text) {
    // "yyyy-MM-dd HH:mm:ss" exactly, from 1583 on; anything else takes the formatter's way.
    const bool plain = text.size() == 19 && text[4] == '-' && text[7] == '-' && text[10] == ' ' &&
                       text[13] == ':' && text[16] == ':';
    const int year = plain ? Digits(text, 0, 4) : -1;
    const int month = plain ? Digits(text, 5, 2) : -1;
    const int day = plain ? Digits(text, 8, 2) : -1;
    const int hour = plain ? Digits(text, 11, 2) : -1;
    const int minute = plain ? Digits(text, 14, 2) : -1;
    const int second = plain ? Digits(text, 17, 2) : -1;
    if (year < 1583 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return ParseWithFormatter(text);
    const std::int64_t localMillis =
        (DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second) * 1000;
    tCache.Refresh();
    std::int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    tCache.zone->getOffset(static_cast<UDate>(localMillis), true, raw, dst, status);
    if (U_FAILURE(status)) return ParseWithFormatter(text);
    const Date date{std::chrono::milliseconds(localMillis - raw - dst)};
    // A day past the month's end, or a wall time that the zone skips, does not come back as
    // written: the formatter decides those.
    if (Format(DatePattern::DateTime24, date) != text) return ParseWithFormatter(text);
    return date;
}

icu::Calendar& IcuDateCache::Calendar() {
    tCache.Refresh();
    if (!tCache.calendar) {
        UErrorCode status = U_ZERO_ERROR;
        auto calendar =
            std::make_unique<icu::GregorianCalendar>(*tCache.zone, PosixLocale(), status);
        if (U_FAILURE(status)) Fail("a calendar", status);
        calendar->setLenient(true);
        tCache.calendar = std::move(calendar);
    }
    return *tCache.calendar;
}

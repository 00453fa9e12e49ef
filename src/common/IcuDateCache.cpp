#include "common/IcuDateCache.h"

#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::array<const char*, 5> kPatterns = {
    "yyyy-MM-dd HH:mm:ss",
    "yyyy-MM-dd hh:mm a",
    "yyyy-MM-dd hh:mm:ss",
    "MM-dd-yyyy HH:mm",
    "dd.MM.",
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

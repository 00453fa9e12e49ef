#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// An instant: milliseconds since 1970-01-01 00:00:00 UTC. Display texts are made from it in
// the local time zone of Clock.
using Date = std::chrono::sys_time<std::chrono::milliseconds>;
// A date that may be missing: a NULL column, a zero or invalid timestamp.
using OptDate = std::optional<Date>;

// The span of dates handled (about 300,000 years either side of 1970). Carved timestamps are
// often garbage; beyond this span (and for NaN or infinities) there is no date, which keeps
// arithmetic and the calendar code far from overflow.
inline constexpr double kMaxDateSeconds = 1e13;

// The date that many seconds (fractions kept to the millisecond) after 1970-01-01 UTC, or no
// date outside the handled span.
OptDate DateFromUnixSeconds(double unixSeconds);
// Whether a date lies inside the handled span.
bool IsRepresentableDate(Date date);
// Seconds since 1970-01-01 UTC, fractions included.
double UnixSecondsOf(Date date);

// "Now" and the local time zone, both replaceable so that tests see a fixed moment and zone.
// Safe to use and to change from any thread.
class Clock {
public:
    // The fixed moment when one is set, otherwise the system clock.
    static Date Now();
    // Fixes "now" for the whole process; std::nullopt returns to the system clock.
    static void SetNow(OptDate fixedNow);
    // The fixed moment, if one is set.
    static OptDate FixedNow();

    // The Olson identifier of the local time zone: the one set with SetTimeZone, otherwise the
    // host's (TZ, then /etc/localtime).
    static std::string TimeZoneId();
    // Replaces the local time zone; std::nullopt returns to the host's. Returns false, changing
    // nothing, for an identifier the time-zone database does not know.
    static bool SetTimeZone(const std::optional<std::string>& zoneId);
    // The zone set with SetTimeZone, if any.
    static std::optional<std::string> TimeZoneOverride();
    // Changes whenever the local time zone changes, so cached formatters know to rebuild.
    static std::uint64_t TimeZoneGeneration();

    // Fixes "now" for the lifetime of the object, then restores what was there (tests).
    class ScopedNow {
    public:
        explicit ScopedNow(Date fixedNow) : previous_(Clock::FixedNow()) {
            Clock::SetNow(fixedNow);
        }
        ~ScopedNow() { Clock::SetNow(previous_); }
        ScopedNow(const ScopedNow&) = delete;
        ScopedNow& operator=(const ScopedNow&) = delete;

    private:
        OptDate previous_;
    };

    // Sets the local time zone for the lifetime of the object, then restores what was there
    // (tests). An unknown zone leaves the zone as it is.
    class ScopedTimeZone {
    public:
        explicit ScopedTimeZone(const std::string& zoneId) : previous_(Clock::TimeZoneOverride()) {
            Clock::SetTimeZone(zoneId);
        }
        ~ScopedTimeZone() { Clock::SetTimeZone(previous_); }
        ScopedTimeZone(const ScopedTimeZone&) = delete;
        ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    private:
        std::optional<std::string> previous_;
    };
};

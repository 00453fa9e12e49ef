#include "common/Clock.h"

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

OptDate DateFromUnixSeconds(double unixSeconds) {
    if (!std::isfinite(unixSeconds) || std::fabs(unixSeconds) > kMaxDateSeconds)
        return std::nullopt;
    // Floor, as the calendar does: -0.5 s lies in the second before the epoch.
    return Date(
        std::chrono::milliseconds(static_cast<std::int64_t>(std::floor(unixSeconds * 1000.0))));
}

bool IsRepresentableDate(Date date) {
    constexpr auto limit = static_cast<std::int64_t>(kMaxDateSeconds) * 1000;
    const auto ms = date.time_since_epoch().count();
    return ms >= -limit && ms <= limit;
}

double UnixSecondsOf(Date date) {
    return static_cast<double>(date.time_since_epoch().count()) / 1000.0;
}

namespace {

constexpr std::int64_t kSystemClock = std::numeric_limits<std::int64_t>::min();
std::atomic<std::int64_t> gFixedNowMs{kSystemClock};

struct ZoneState {
    std::mutex mutex;
    std::optional<std::string> overrideId;
    std::optional<std::string> hostId;  // resolved once, on first use
    std::atomic<std::uint64_t> generation{1};
};

ZoneState& Zone() {
    static ZoneState state;
    return state;
}

std::string IdOf(const icu::TimeZone& zone) {
    icu::UnicodeString id;
    zone.getID(id);
    std::string out;
    id.toUTF8String(out);
    return out;
}

std::string DetectHostZoneId() {
    // ICU reads TZ (names, ":name" and zoneinfo paths) and falls back to /etc/localtime.
    std::unique_ptr<icu::TimeZone> host(icu::TimeZone::detectHostTimeZone());
    if (!host) return "UTC";
    std::string id = IdOf(*host);
    return id == "Etc/Unknown" ? "UTC" : id;
}

}  // namespace

Date Clock::Now() {
    if (const OptDate fixed = FixedNow()) return *fixed;
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

void Clock::SetNow(OptDate fixedNow) {
    gFixedNowMs.store(fixedNow ? fixedNow->time_since_epoch().count() : kSystemClock,
                      std::memory_order_release);
}

OptDate Clock::FixedNow() {
    const std::int64_t fixed = gFixedNowMs.load(std::memory_order_acquire);
    if (fixed == kSystemClock) return std::nullopt;
    return Date(std::chrono::milliseconds(fixed));
}

std::optional<std::string> Clock::TimeZoneOverride() {
    ZoneState& zone = Zone();
    std::lock_guard lock(zone.mutex);
    return zone.overrideId;
}

std::string Clock::TimeZoneId() {
    ZoneState& zone = Zone();
    std::lock_guard lock(zone.mutex);
    if (zone.overrideId) return *zone.overrideId;
    if (!zone.hostId) zone.hostId = DetectHostZoneId();
    return *zone.hostId;
}

bool Clock::SetTimeZone(const std::optional<std::string>& zoneId) {
    if (zoneId) {
        std::unique_ptr<icu::TimeZone> probe(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(*zoneId)));
        if (!probe || *probe == icu::TimeZone::getUnknown()) return false;
    }
    ZoneState& zone = Zone();
    std::lock_guard lock(zone.mutex);
    zone.overrideId = zoneId;
    zone.generation.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

std::uint64_t Clock::TimeZoneGeneration() {
    return Zone().generation.load(std::memory_order_acquire);
}

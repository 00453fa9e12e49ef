#include "app/TimeOfUse.h"

#include "common/AppPaths.h"
#include "common/FileUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iostream>

namespace {

constexpr std::int32_t kMaxStoredBytes = 64;

}  // namespace

TimeOfUse::TimeOfUse(std::string storePath)
    : path_(std::move(storePath)), startMs_(Clock::Now().time_since_epoch().count()) {}

std::string TimeOfUse::defaultStorePath() {
    return AppPaths::configDirectory() + "/TimeTracker";
}

double TimeOfUse::parseSeconds(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\n' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\n' || text[end - 1] == '\t' ||
                           text[end - 1] == '\r'))
        --end;
    double value = 0.0;
    const auto [at, error] = std::from_chars(text.data() + begin, text.data() + end, value);
    if (error != std::errc() || at != text.data() + end || !std::isfinite(value) || value < 0.0)
        return 0.0;
    return value;
}

double TimeOfUse::storedSeconds() const {
    if (!FileUtils::fileExistsAtPath(path_)) return 0.0;
    const auto bytes = FileUtils::readStartofFile(path_, kMaxStoredBytes);
    if (!bytes) return 0.0;
    return parseSeconds(std::string(bytes->begin(), bytes->end()));
}

bool TimeOfUse::store(double seconds) const {
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty() && !AppPaths::ensurePrivateDirectory(folder.string())) return false;
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, seconds);
    if (error != std::errc()) return false;
    const Bytes data(text, end);
    if (!FileUtils().CreateFile(data, path_)) {
        std::cerr << "time of use: cannot store it in " << path_ << '\n';
        return false;
    }
    return true;
}

void TimeOfUse::restart(Date now) {
    startMs_ = now.time_since_epoch().count();
}

Date TimeOfUse::startTime() const {
    return Date(std::chrono::milliseconds(startMs_.load()));
}

bool TimeOfUse::addTimeOfUse(Date now) const {
    const double seconds = std::chrono::duration<double>(now - startTime()).count();
    // A clock that went backwards adds nothing.
    return store(storedSeconds() + std::max(0.0, seconds));
}

void TimeOfUse::reported(Date now) {
    store(0.0);
    restart(now);
}

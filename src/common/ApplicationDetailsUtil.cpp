#include "common/ApplicationDetailsUtil.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>

// The build system may pass the real values; these are a development build's.
#ifndef TORVANE_VERSION
#define TORVANE_VERSION "0.1.0"
#endif
#ifndef TORVANE_BUILD_NUMBER
#define TORVANE_BUILD_NUMBER "1"
#endif

OptString ApplicationDetailsUtil::getApplicationVersion() {
    const std::string version = TORVANE_VERSION;
    if (version.empty()) return std::nullopt;
    return version;
}

std::string ApplicationDetailsUtil::getBuildNumber() {
    const std::string build = TORVANE_BUILD_NUMBER;
    return buildNumberFromText(build.empty() ? OptString() : OptString(build));
}

std::string ApplicationDetailsUtil::buildNumberFromText(const OptString& text) {
    if (!text) return "0";
    std::size_t i = 0;
    const std::string& s = *text;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    // Accumulated as a magnitude no larger than the 32-bit limit, so it never overflows.
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    std::int64_t magnitude = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        magnitude = std::min<std::int64_t>(limit, magnitude * 10 + (s[i] - '0'));
    }
    return std::to_string(negative ? -magnitude : magnitude);
}

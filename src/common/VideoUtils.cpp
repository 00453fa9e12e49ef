#include "common/VideoUtils.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 13> kVideoSuffixes{".mp4", ".mov", ".mpg", ".mpeg", ".avi",
                                                          ".rv",  ".rm",  ".wmv", ".ogg",  ".flv",
                                                          ".mxf", ".m4v", ".mkv"};

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view lowerSuffix) {
    if (text.size() < lowerSuffix.size()) return false;
    const std::string_view tail = text.substr(text.size() - lowerSuffix.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (asciiLower(tail[i]) != lowerSuffix[i]) return false;
    }
    return true;
}

}  // namespace

bool VideoUtils::IsKnownVideoFormat(const OptString& fileName) {
    if (!fileName) return false;
    for (const std::string_view suffix : kVideoSuffixes) {
        if (endsWithIgnoringAsciiCase(*fileName, suffix)) return true;
    }
    return false;
}

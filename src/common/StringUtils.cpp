#include "common/StringUtils.h"

#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <cstdio>

namespace {

void EraseAll(std::string& text, std::string_view what) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
        text.erase(at, what.size());
}

}  // namespace

std::string StringUtils::FormatAbMultiValueLabel(const OptString& label) {
    if (IsNullOrEmpty(label)) return "Other";
    std::string plain = *label;
    EraseAll(plain, ">!$_");
    EraseAll(plain, "_$!<");
    return plain;
}

std::string StringUtils::RemoveSpacesAndPhoneBracketZeros(const OptString& number) {
    if (IsNullOrEmpty(number)) return "";
    std::string digits = RemoveSpaces(*number);
    EraseAll(digits, "(0)");
    // A national number's trunk zero; international forms have lost it with "(0)".
    if (!digits.empty() && digits.front() == '0') digits.erase(0, 1);
    return digits;
}

std::string StringUtils::RemoveSpaces(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != ' ') out.push_back(c);
    return out;
}

OptString StringUtils::BytesToString(std::int64_t bytes) {
    constexpr std::int64_t kKB = 1024, kMB = 1048576, kGB = 1073741824;
    // The largest size shown, a little under 1024 GB.
    constexpr std::int64_t kLimit = 1099511600000;
    if (bytes < kKB) return std::to_string(bytes) + "B";
    if (bytes < kMB) return std::to_string(bytes / kKB) + "KB";
    if (bytes < kGB) return std::to_string(bytes / kMB) + "MB";
    if (bytes < kLimit) return std::to_string(bytes / kGB) + "GB";
    return std::nullopt;
}

OptString StringUtils::ClearUrl(const OptString& url) {
    if (!url) return std::nullopt;
    std::string bare = *url;
    EraseAll(bare, "http://");
    EraseAll(bare, "https://");
    if (const auto slash = bare.find('/'); slash != std::string::npos) return bare.substr(0, slash);
    if (const auto query = bare.find('?'); query != std::string::npos) return bare.substr(0, query);
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(bare);
    constexpr int32_t kShortLength = 15;
    if (units.length() < kShortLength) return url;
    // Never cut a surrogate pair in two: that would leave half a character.
    int32_t cut = kShortLength;
    if (U16_IS_TRAIL(units.charAt(cut)) && U16_IS_LEAD(units.charAt(cut - 1))) --cut;
    std::string out;
    return units.tempSubString(0, cut).toUTF8String(out);
}

std::string StringUtils::NullToEmpty(const OptString& text) {
    return text.value_or("");
}

bool StringUtils::IsNullOrEmpty(const OptString& text) {
    return !text || text->empty();
}

std::string StringUtils::ByteArrayToString(const Bytes& bytes) {
    return NSDataToHex(bytes);
}

OptString StringUtils::getStringFromObject(const ColumnValue& value) {
    return value.toText();
}

std::int64_t StringUtils::indexOf(const OptString& text, const OptString& toFind) {
    if (!text || IsNullOrEmpty(toFind)) return kNotFound;
    const int32_t at =
        icu::UnicodeString::fromUTF8(*text).lastIndexOf(icu::UnicodeString::fromUTF8(*toFind));
    return at < 0 ? kNotFound : at;
}

std::string StringUtils::stringToHex(const std::string& text) {
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
    std::string out;
    out.reserve(static_cast<std::size_t>(units.length()) * 2);
    char buffer[8];
    for (int32_t i = 0; i < units.length(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned>(units.charAt(i)));
        out += buffer;
    }
    return out;
}

std::string NSDataToHex(const Bytes& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        out.push_back(itoh(byte >> 4));
        out.push_back(itoh(byte & 0x0F));
    }
    return out;
}

char itoh(unsigned value) {
    const unsigned nibble = value & 0x0F;
    return static_cast<char>(nibble <= 9 ? '0' + nibble : 'A' + (nibble - 10));
}

#include "common/NSStringUtils.h"

#include "common/ApplicationDetailsUtil.h"
#include "common/Base64.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <string_view>

std::string NSStringUtils::encodeAsURIComponent(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    char escaped[4];
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= 'A' && byte <= 'Z') || byte == '-' || byte == '_';
        if (plain) {
            out.push_back(c);
        } else {
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        }
    }
    return out;
}

std::string NSStringUtils::base64encode(const OptString& text) {
    if (!text || text->empty()) return "";
    std::string out(4 * ((text->size() + 2) / 3) + 1, '\0');  // EVP_EncodeBlock adds a NUL
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                        reinterpret_cast<const unsigned char*>(text->data()),
                                        static_cast<int>(text->size()));
    out.resize(written < 0 ? 0 : static_cast<std::size_t>(written));
    return out;
}

std::string NSStringUtils::escapeHTML(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string NSStringUtils::unescapeHTML(const std::string& text) {
    static constexpr std::array<std::pair<std::string_view, char>, 4> kEntities = {{
        {"&lt;", '<'},
        {"&gt;", '>'},
        {"&quot;", '"'},
        {"&amp;", '&'},
    }};
    std::string out;
    out.reserve(text.size());
    const std::string_view rest(text);
    for (std::size_t i = 0; i < rest.size();) {
        bool replaced = false;
        if (rest[i] == '&') {
            for (const auto& [entity, character] : kEntities) {
                if (rest.substr(i, entity.size()) == entity) {
                    out.push_back(character);
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out.push_back(rest[i++]);
    }
    return out;
}

OptString NSStringUtils::Trim(const OptString& text) {
    if (!text) return std::nullopt;
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(*text);
    int32_t start = 0;
    int32_t end = units.length();
    while (start < end && u_isUWhiteSpace(units.char32At(start)))
        start = units.moveIndex32(start, 1);
    while (end > start) {
        const int32_t previous = units.moveIndex32(end, -1);
        if (!u_isUWhiteSpace(units.char32At(previous))) break;
        end = previous;
    }
    std::string out;
    return units.tempSubStringBetween(start, end).toUTF8String(out);
}

bool NSStringUtils::isEmpty(const OptString& text) {
    const OptString trimmed = Trim(text);
    return trimmed && trimmed->empty();
}

bool NSStringUtils::filterType(const std::string& text, const std::string& type,
                               const std::string& inputValue, std::int32_t length,
                               std::int32_t maxLength) {
    const icu::UnicodeString allowedText = icu::UnicodeString::fromUTF8(type);
    std::set<UChar32> allowed;
    for (int32_t i = 0; i < allowedText.length(); i = allowedText.moveIndex32(i, 1))
        allowed.insert(allowedText.char32At(i));
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(inputValue);
    icu::UnicodeString filtered;
    for (int32_t i = 0; i < input.length(); i = input.moveIndex32(i, 1)) {
        const UChar32 c = input.char32At(i);
        if (allowed.count(c)) filtered.append(c);
    }
    return icu::UnicodeString::fromUTF8(text) == filtered && length < maxLength;
}

OptString NSStringUtils::generateUUID() {
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) return std::nullopt;
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char out[37];
    std::snprintf(out, sizeof out,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return std::string(out);
}

OptString NSStringUtils::decodeBase64(const OptString& text) {
    if (!text) return std::nullopt;
    std::string whole = text->substr(0, text->size() - text->size() % 4);
    if (whole.empty()) return std::string();
    std::replace(whole.begin(), whole.end(), '-', '/');
    return Base64::stringWithBase64EncodedString(whole);
}

OptString NSStringUtils::localizedString(std::string_view key) {
    if (key == "CFBundleName" || key == "CFBundleDisplayName") return std::string("Torvane");
    if (key == "CFBundleShortVersionString") return ApplicationDetailsUtil::getApplicationVersion();
    if (key == "CFBundleVersion") return ApplicationDetailsUtil::getBuildNumber();
    return std::nullopt;
}

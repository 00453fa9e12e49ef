#pragma once

#include "common/Types.h"

#include <cstdint>
#include <string>
#include <string_view>

// Helpers on a text: trimming and emptiness, and URI, HTML, Base64 and UUID conversions.
class NSStringUtils {
public:
    // The UTF-8 bytes with every byte other than 0-9, a-z, A-Z, "-" and "_" written "%XX".
    static std::string encodeAsURIComponent(const std::string& text);
    // The UTF-8 text that a Base64 text encodes, read from the text cut to a whole number of
    // four-character groups; "-" counts as "/" (the alphabet ends "+-" or "+/"). None for an
    // absent text, one that does not decode or one whose bytes are not UTF-8; "" for a text
    // shorter than one group.
    static OptString decodeBase64(const OptString& text);
    // The application's own value under a key of its localised information: "CFBundleName"
    // and "CFBundleDisplayName" (the product name), "CFBundleShortVersionString" (the version)
    // and "CFBundleVersion" (the build number); none for any other key.
    static OptString localizedString(std::string_view key);
    // Standard Base64 ("=" padded) of the UTF-8 bytes; "" for an absent or empty text.
    static std::string base64encode(const OptString& text);
    // "<", ">", "&" and the double quote as entities.
    static std::string escapeHTML(const std::string& text);
    // "&lt;", "&gt;", "&quot;" and "&amp;" back to their characters; any other "&" stays.
    static std::string unescapeHTML(const std::string& text);
    // The text without leading and trailing white space and line ends (Unicode White_Space);
    // absent stays absent.
    static OptString Trim(const OptString& text);
    // True when the trimmed text is empty; false for an absent text.
    static bool isEmpty(const OptString& text);
    // True when text equals inputValue with every character not in type removed, and length is
    // below maxLength.
    static bool filterType(const std::string& text, const std::string& type,
                           const std::string& inputValue, std::int32_t length,
                           std::int32_t maxLength);
    // A new random UUID, upper-case 8-4-4-4-12; absent when no random bytes can be had.
    static OptString generateUUID();
};

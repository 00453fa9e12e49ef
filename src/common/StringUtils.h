#pragma once

#include "common/ColumnValue.h"
#include "common/Types.h"

#include <cstdint>
#include <string>

// Text helpers used while records are built and matched. Positions and lengths count UTF-16
// code units, as the phone's databases do.
class StringUtils {
public:
    // The value indexOf gives when the part does not occur.
    static constexpr std::int64_t kNotFound = INT64_MAX;

    // An address-book label ("_$!<Mobile>!$_") as its plain word ("Mobile"); "Other" when absent
    // or empty.
    static std::string FormatAbMultiValueLabel(const OptString& label);
    // The number without blanks and "(0)" and without one leading "0"; "" when absent or empty.
    static std::string RemoveSpacesAndPhoneBracketZeros(const OptString& number);
    // The text without its blanks (U+0020 only).
    static std::string RemoveSpaces(const std::string& text);
    // A byte count in whole B, KB, MB or GB (units of 1024); absent from 1099511600000 bytes on.
    static OptString BytesToString(std::int64_t bytes);
    // A short form of a URL for display: without its scheme, cut at the first "/" or else the
    // first "?", or its first 15 units; a short text without either is given back unchanged.
    static OptString ClearUrl(const OptString& url);
    static std::string NullToEmpty(const OptString& text);
    // True for an absent and for an empty text (not for blanks).
    static bool IsNullOrEmpty(const OptString& text);
    // Two upper-case hexadecimal digits per byte.
    static std::string ByteArrayToString(const Bytes& bytes);
    // A text column as it is, a number in decimal (doubles in their shortest form), a blob's bytes
    // as UTF-8; absent for NULL.
    static OptString getStringFromObject(const ColumnValue& value);
    // Where the last occurrence of the part begins, in UTF-16 units; kNotFound when it does not
    // occur or either text is absent or the part is empty.
    static std::int64_t indexOf(const OptString& text, const OptString& toFind);
    // Each UTF-16 unit as at least two lower-case hexadecimal digits, no separator.
    static std::string stringToHex(const std::string& text);
};

// Two upper-case hexadecimal digits per byte, high nibble first; "" for no bytes.
std::string NSDataToHex(const Bytes& bytes);
// The upper-case hexadecimal digit of the value's low four bits.
char itoh(unsigned value);

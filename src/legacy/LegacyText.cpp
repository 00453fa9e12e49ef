#include "legacy/LegacyText.h"

#include <algorithm>

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

Iso2022JpText::Iso2022JpText(OnBadBytes onBadBytes) : onBadBytes_(onBadBytes) {
    UErrorCode status = U_ZERO_ERROR;
    converter_ = ucnv_open("ISO-2022-JP", &status);
    if (U_FAILURE(status)) {
        if (converter_) ucnv_close(converter_);
        converter_ = nullptr;
        return;
    }
    if (onBadBytes_ == OnBadBytes::NoText)
        ucnv_setToUCallBack(converter_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
}

Iso2022JpText::~Iso2022JpText() {
    if (converter_) ucnv_close(converter_);
}

OptString Iso2022JpText::decode(std::string_view bytes) {
    const bool replace = onBadBytes_ == OnBadBytes::Replace;
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    if (!converter_) {
        // Without the converter only ASCII can be read.
        return replace ? OptString(AsciiOrReplacement(bytes)) : DecodeAscii(bytes);
    }
    ucnv_reset(converter_);
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString text(bytes.data(), static_cast<std::int32_t>(bytes.size()), converter_, status);
    if (U_FAILURE(status) || text.isBogus())
        return replace ? OptString(std::string(kReplacement)) : std::nullopt;
    std::string out;
    text.toUTF8String(out);
    return out;
}

OptString DecodeAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    return std::string(bytes);
}

std::string AsciiOrReplacement(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) < 0x80)
            text += c;
        else
            text += kReplacement;
    return text;
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        std::uint32_t min = 0;
        std::uint32_t value = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, min = 0x80, value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, min = 0x800, value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, min = 0x10000, value = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        p += extra + 1;
    }
    return true;
}

bool HasControlBytes(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F;
    });
}

#pragma once

// Decoding the texts the older carving path takes from raw record bytes.

#include "common/Types.h"

#include <string>
#include <string_view>

struct UConverter;

// ISO-2022-JP through ICU (plain ASCII passes unchanged), one converter reused for every text
// of a routine. Not shared between threads.
class Iso2022JpText {
public:
    enum class OnBadBytes {
        NoText,   // a sequence that does not decode gives no text
        Replace,  // it gives U+FFFD in its place
    };

    explicit Iso2022JpText(OnBadBytes onBadBytes = OnBadBytes::NoText);
    ~Iso2022JpText();
    Iso2022JpText(const Iso2022JpText&) = delete;
    Iso2022JpText& operator=(const Iso2022JpText&) = delete;

    // The bytes as UTF-8; none only in NoText mode (or for more than 2 GB of bytes).
    OptString decode(std::string_view bytes);

private:
    OnBadBytes onBadBytes_;
    UConverter* converter_ = nullptr;
};

// The bytes as they are when every one is ASCII; none when one is 0x80 or more.
OptString DecodeAscii(std::string_view bytes);

// The bytes as ASCII, each byte of 0x80 or more replaced by U+FFFD.
std::string AsciiOrReplacement(std::string_view bytes);

// Whether the bytes hold a control character other than a tab or a line break (NUL included):
// the bytes of no text.
bool HasControlBytes(std::string_view bytes);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

#pragma once

#include "common/Types.h"

#include <optional>
#include <string_view>

// Standard Base64 (RFC 4648 alphabet with "=" padding) on byte buffers and on UTF-8 texts.
// The overloads taking a text work on the text's UTF-8 bytes.
namespace Base64 {

// The bytes of a Base64 text. Characters outside the alphabet and "=" (line breaks, blanks) are
// skipped; what remains must be whole groups of four with padding only at the very end. None
// for an absent or empty text, a text that does not decode, or one that decodes to nothing.
std::optional<Bytes> dataWithBase64EncodedString(const OptString& text);

// The Base64 text of the bytes, wrapped: width 0 gives one line; any other width gives lines
// of the width rounded down to a multiple of 4 (at least 4), separated by "\r\n", with no line
// end after the last; a width at least as long as the text gives one line. None for no bytes.
OptString base64EncodedStringWithWrapWidth(const Bytes& data, unsigned wrapWidth);
// The same on one line.
OptString base64EncodedString(const Bytes& data);

// The decoded bytes read as UTF-8; none when decoding gives none or the bytes are not UTF-8.
OptString stringWithBase64EncodedString(const OptString& text);
OptString base64EncodedStringWithWrapWidth(std::string_view text, unsigned wrapWidth);
OptString base64EncodedString(std::string_view text);
// stringWithBase64EncodedString of the text itself.
OptString base64DecodedString(std::string_view text);
// dataWithBase64EncodedString of the text itself.
std::optional<Bytes> base64DecodedData(std::string_view text);

}  // namespace Base64

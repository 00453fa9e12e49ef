#include "common/Base64.h"

#include <unicode/utf8.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int8_t kSkip = -1;
constexpr std::int8_t kPad = -2;

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table) entry = kSkip;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    table[static_cast<unsigned char>('=')] = kPad;
    return table;
}
constexpr std::array<std::int8_t, 256> kDecode = makeDecodeTable();

std::string encodeOneLine(const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t group =
            (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(kAlphabet[(group >> 6) & 0x3F]);
        out.push_back(kAlphabet[group & 0x3F]);
    }
    const std::size_t rest = size - i;
    if (rest > 0) {
        std::uint32_t group = std::uint32_t{data[i]} << 16;
        if (rest == 2) group |= std::uint32_t{data[i + 1]} << 8;
        out.push_back(kAlphabet[(group >> 18) & 0x3F]);
        out.push_back(kAlphabet[(group >> 12) & 0x3F]);
        out.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

OptString encodeWrapped(const std::uint8_t* data, std::size_t size, unsigned wrapWidth) {
    if (size == 0) return std::nullopt;
    std::string line = encodeOneLine(data, size);
    if (wrapWidth == 0 || wrapWidth >= line.size()) return line;

    // Lines hold whole groups of four; widths below 4 would give empty lines, so they get one
    // group.
    std::size_t lineLength = wrapWidth - wrapWidth % 4;
    if (lineLength == 0) lineLength = 4;
    std::string wrapped;
    wrapped.reserve(line.size() + line.size() / lineLength * 2);
    for (std::size_t start = 0; start < line.size(); start += lineLength) {
        if (start > 0) wrapped += "\r\n";
        wrapped.append(line, start, lineLength);
    }
    return wrapped;
}

bool isValidUtf8(const Bytes& bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    const auto* s = reinterpret_cast<const char*>(bytes.data());
    const auto length = static_cast<std::int32_t>(bytes.size());
    std::int32_t i = 0;
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

}  // namespace

namespace Base64 {

std::optional<Bytes> dataWithBase64EncodedString(const OptString& text) {
    if (!text || text->empty()) return std::nullopt;

    Bytes out;
    out.reserve(text->size() / 4 * 3);
    std::uint32_t group = 0;
    int inGroup = 0;        // sextets (or pads) collected in the current group of four
    int padding = 0;        // "=" seen in the current group
    bool finished = false;  // a padded group ended the text; nothing may follow
    for (const char ch : *text) {
        const std::int8_t value = kDecode[static_cast<unsigned char>(ch)];
        if (value == kSkip) continue;
        if (finished) return std::nullopt;
        if (value == kPad) {
            // Padding may only fill the third and fourth places of a group.
            if (inGroup < 2) return std::nullopt;
            ++padding;
        } else {
            if (padding > 0) return std::nullopt;
            group |= static_cast<std::uint32_t>(value) << (18 - 6 * inGroup);
        }
        if (++inGroup == 4) {
            out.push_back(static_cast<std::uint8_t>(group >> 16));
            if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
            if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
            finished = padding > 0;
            group = 0;
            inGroup = 0;
            padding = 0;
        }
    }
    if (inGroup != 0 || out.empty()) return std::nullopt;
    return out;
}

OptString base64EncodedStringWithWrapWidth(const Bytes& data, unsigned wrapWidth) {
    return encodeWrapped(data.data(), data.size(), wrapWidth);
}

OptString base64EncodedString(const Bytes& data) {
    return base64EncodedStringWithWrapWidth(data, 0);
}

OptString stringWithBase64EncodedString(const OptString& text) {
    const std::optional<Bytes> bytes = dataWithBase64EncodedString(text);
    if (!bytes || !isValidUtf8(*bytes)) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

OptString base64EncodedStringWithWrapWidth(std::string_view text, unsigned wrapWidth) {
    return encodeWrapped(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                         wrapWidth);
}

OptString base64EncodedString(std::string_view text) {
    return base64EncodedStringWithWrapWidth(text, 0);
}

OptString base64DecodedString(std::string_view text) {
    return stringWithBase64EncodedString(std::string(text));
}

std::optional<Bytes> base64DecodedData(std::string_view text) {
    return dataWithBase64EncodedString(std::string(text));
}

}  // namespace Base64

#include "common/TerminalText.h"

#include "common/FileName.h"

namespace {

// The length of the well-formed UTF-8 character at text[i]; 0 when there is none.
std::size_t CharacterLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t length;
    unsigned int min;
    unsigned int cp;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        length = 2, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, cp = c & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

// Whether the well-formed character at text[i] is one of the C1 controls U+0080 to U+009F.
bool IsC1Control(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]) == 0xC2 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

std::string Clean(std::string_view text, bool keepLineFeeds) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && keepLineFeeds) {
            out += '\n';
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            out += '?';
            ++i;
            continue;
        }
        const std::size_t length = CharacterLength(text, i);
        if (length == 0 || (length == 2 && IsC1Control(text, i))) {
            out += '?';
            i += length == 0 ? 1 : length;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace

std::string TerminalText(std::string_view text, std::size_t maxBytes) {
    // Never more is cleaned than can be shown, so a huge text costs no more than a short one.
    constexpr std::string_view kCut = "...";
    const bool cut = text.size() > maxBytes;
    std::string out = Clean(cut ? text.substr(0, maxBytes + 4) : text, false);
    if (!cut && out.size() <= maxBytes) return out;
    const std::size_t keep = maxBytes > kCut.size() ? maxBytes - kCut.size() : 0;
    std::string shown(Utf8Prefix(out, keep));
    shown += kCut;
    return shown;
}

std::string TerminalLines(std::string_view text) {
    return Clean(text, true);
}

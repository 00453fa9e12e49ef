#include "common/FileName.h"

namespace {

// Extensions longer than this are part of the name ("a.b very long tail" has none).
constexpr std::size_t kMaxExtensionBytes = 16;

// Where the extension starts (its "."), or the name's size when it has none.
std::size_t ExtensionStart(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes)
        return name.size();
    return dot;
}

}  // namespace

std::string MakeSafeFileName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
    }
    if (out.empty()) return "_";
    if (out.front() == '.') out.front() = '_';
    return out;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t cut = maxBytes;
    // Back off over continuation bytes to the start of the character that would be cut.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

std::string FitFileName(std::string_view name, std::size_t maxBytes) {
    if (name.size() <= maxBytes) return std::string(name);
    const std::size_t dot = ExtensionStart(name);
    const std::string_view extension = name.substr(dot);
    if (extension.size() >= maxBytes) return std::string(Utf8Prefix(name, maxBytes));
    std::string fitted(Utf8Prefix(name.substr(0, dot), maxBytes - extension.size()));
    fitted += extension;
    return fitted;
}

std::string NumberedFileName(std::string_view name, int number, std::size_t maxBytes) {
    const std::size_t dot = ExtensionStart(name);
    const std::string suffix = " (" + std::to_string(number) + ")";
    const std::string_view extension = name.substr(dot);
    const std::size_t room = suffix.size() + extension.size();
    std::string numbered(Utf8Prefix(name.substr(0, dot), maxBytes > room ? maxBytes - room : 0));
    numbered += suffix;
    numbered += extension;
    return FitFileName(numbered, maxBytes);
}

std::string TemporaryPatternBeside(std::string_view target, std::string_view tag) {
    const std::size_t slash = target.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : target.substr(0, slash + 1);
    const std::string_view name = slash == std::string_view::npos ? target : target.substr(slash + 1);
    // "." before the name, "." + tag + "-XXXXXX" after it.
    const std::size_t around = 1 + 1 + tag.size() + 7;
    std::string pattern(folder);
    pattern += '.';
    pattern += FitFileName(name, kMaxFileNameBytes > around ? kMaxFileNameBytes - around : 1);
    pattern += '.';
    pattern += tag;
    pattern += "-XXXXXX";
    return pattern;
}

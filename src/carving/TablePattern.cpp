#include "carving/TablePattern.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

// Reads a signed decimal integer the lenient way the pattern texts have always been read:
// leading white space skipped, an optional sign, digits up to the first other character; no
// digits give 0 and values beyond 32 bits are clamped.
std::int32_t LenientInt32(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    if (negative) value = -value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void TablePattern::addVersion(std::string_view value) {
    if (value.size() > 4 && value.substr(0, 3) == "iOS")
        for (char c : value.substr(3)) SupportedVersions_.push_back(std::string("iOS") + c);
    SupportedVersions_.emplace_back(value);
}

bool TablePattern::CheckIfVersionSupported(std::string_view version) const {
    return std::find(SupportedVersions_.begin(), SupportedVersions_.end(), version) !=
           SupportedVersions_.end();
}

const ::AttributesMapping* TablePattern::mappingForColumn(std::int64_t column) const {
    for (const auto& mapping : AttributesMapping_)
        if (mapping.Column() == column) return &mapping;
    return nullptr;
}

const std::string* TablePattern::mappedName(std::int64_t column) const {
    const ::AttributesMapping* mapping = mappingForColumn(column);
    return mapping && mapping->Name() ? &*mapping->Name() : nullptr;
}

std::vector<std::vector<std::int32_t>> TablePattern::Header() const {
    std::vector<std::vector<std::int32_t>> positions;
    if (!headerPattern_) return positions;
    const std::string_view text = *headerPattern_;
    positions.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), ';')) + 1);
    // Each field is split at ";", each value at "," (brackets dropped); a value is read from the
    // text between separators with the brackets left out.
    std::vector<std::int32_t> values;
    std::string value;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ';';
        if (c == '[' || c == ']') continue;
        if (c == ',' || c == ';') {
            values.push_back(LenientInt32(value));
            value.clear();
            if (c == ';') {
                positions.push_back(std::move(values));
                values.clear();
            }
            continue;
        }
        value += c;
    }
    return positions;
}

#include "carving/SQLiteSignature.h"

std::vector<TablePattern> SQLiteSignature::FindPatternsByVersion(std::string_view version) const {
    std::vector<TablePattern> found;
    for (const auto& pattern : TablePatterns_)
        if (pattern.CheckIfVersionSupported(version)) found.push_back(pattern);
    return found;
}

#include "services/CarvedRecordCheck.h"

#include "carving/TablePattern.h"

#include <algorithm>

namespace {

std::int64_t ContentWidth(std::int64_t serialType) {
    static constexpr std::int64_t kNumberWidths[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (serialType < 0) return 0;
    if (serialType < 12) return kNumberWidths[serialType];
    return (serialType - 12) / 2;
}

bool IsWrittenByte(std::uint8_t byte) {
    return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r' || byte == 0x1E ||
           byte == 0x1F;
}

}  // namespace

const CarvedRecordCheck::Positions& CarvedRecordCheck::positionsOf(const TablePattern& pattern) {
    const auto known = positions_.find(&pattern);
    if (known != positions_.end()) return known->second;
    Positions positions;
    std::int64_t column = 0;
    for (const auto& allowed : pattern.Header()) {
        auto has = [&](std::int32_t value) {
            return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
        };
        // An empty text (13) allowed, and neither an empty blob (12), a short one (14) nor the
        // class of every text and blob (-1).
        const bool textOnly = has(13) && !has(12) && !has(14) && !has(-1);
        positions.textOnly.push_back(textOnly);
        positions.judged.push_back(textOnly || pattern.mappedName(column) != nullptr);
        ++column;
    }
    return positions_.emplace(&pattern, std::move(positions)).first->second;
}

bool CarvedRecordCheck::looksWritten(ByteView area, const SQLiteTableHeaderInfo& info,
                                     std::int64_t contentShift) {
    const Positions* positions = info.tablePattern ? &positionsOf(*info.tablePattern) : nullptr;
    const auto is = [&](const std::vector<bool> Positions::*which, std::size_t i) {
        return !positions || (i < (positions->*which).size() && (positions->*which)[i]);
    };
    const auto size = static_cast<std::int64_t>(area.size());
    std::int64_t at = info.DataStartIndex() + contentShift;
    for (std::size_t i = 1; i < info.Header.size(); ++i) {
        const std::int64_t type = info.Header[i].first;
        if (type >= 12 && type % 2 == 0 && positions && is(&Positions::textOnly, i))
            return false;
        const std::int64_t width = ContentWidth(type);
        if (type >= 13 && type % 2 == 1 && is(&Positions::judged, i) && at >= 0 && at < size) {
            const std::int64_t end = std::min(size, at + width);
            if (!std::all_of(area.begin() + at, area.begin() + end, IsWrittenByte)) return false;
        }
        at += width;
    }
    return true;
}

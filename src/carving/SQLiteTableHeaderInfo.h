#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class TablePattern;

// The result of one record-header match: where the matched header begins in the searched area,
// one (serial type, header bytes taken) pair per pattern position examined, and the pattern that
// matched. The index of a pair is the column number that the pattern's attribute mappings name.
struct SQLiteTableHeaderInfo {
    bool Valid = false;
    std::int64_t HeaderStartIndex = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> Header;
    // The row id read from the header in row-id mode; 0 otherwise.
    std::int64_t RowId = 0;
    // Whether RowId was read from the header (row-id mode), rather than left unknown.
    bool RowIdRead = false;
    const TablePattern* tablePattern = nullptr;
    std::int64_t headerDataTaken = 0;
    // Whether the area ended before the pattern's last position could be read.
    bool HeaderTruncated = false;

    std::int32_t HeaderLength() const { return static_cast<std::int32_t>(headerDataTaken); }
    // The first byte of the record's content.
    std::int64_t DataStartIndex() const { return HeaderStartIndex + HeaderLength(); }
    std::int64_t DataContentLength() const {
        std::int64_t sum = 0;
        for (const auto& pair : Header) sum += pair.second;
        return sum;
    }
};

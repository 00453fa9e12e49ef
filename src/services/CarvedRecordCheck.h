#pragma once

#include "carving/SQLiteTableHeaderInfo.h"
#include "carving/SQLiteUtils.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class TablePattern;

// Whether a record that a header pattern found was written as such, judged by its values.
//
// A freed cell keeps a 4-byte freeblock head where its length, row id, header-length byte and
// (in a short row) first serial type were, also when it ends up in a page's unallocated gap, and
// a gap also keeps the old cell pointers of rows deleted before. Patterns of tables whose columns
// are mostly texts then fit bytes that are no record: the head's size byte read as a serial type
// one byte before the record, or a pointer read as a two-byte serial type. Such a match decodes
// every value from the wrong place, and may swallow the rest of its area. Texts that people or
// the system wrote hold no control characters, and a column that only ever holds texts never
// has the even serial type of a blob; a match that breaks either rule is passed over so that
// the search goes on a byte further.
//
// Only the texts that the recoverer reads (mapped columns) and the columns that only ever hold
// texts are judged: columns of texts or blobs that nobody reads may hold bytes of any value
// (the address book's sort keys are collation keys, full of bytes below 0x20).
//
// One object per recoverer; it keeps what it has learnt about each pattern.
class CarvedRecordCheck {
public:
    // True when no judged text of the record (as far as it lies inside the area) holds a
    // control character other than tab, line feed, carriage return and the unit and record
    // separators, and no text-only position holds a blob. contentShift is added to the record's content
    // start, as the engine adds it.
    bool looksWritten(ByteView area, const SQLiteTableHeaderInfo& info, std::int64_t contentShift);

    // The nearest header at or after offset that find answers and that looks written.
    template <class Find>
    SQLiteTableHeaderInfo findWritten(ByteView area, std::int64_t offset, std::int64_t contentShift,
                                      Find&& find) {
        for (;;) {
            SQLiteTableHeaderInfo info = find(area, offset);
            if (!info.Valid || looksWritten(area, info, contentShift)) return info;
            offset = info.HeaderStartIndex + 1;
        }
    }

private:
    // For each position of a pattern: whether it allows texts but no blobs, and whether its
    // texts are judged.
    struct Positions {
        std::vector<bool> textOnly;
        std::vector<bool> judged;
    };
    const Positions& positionsOf(const TablePattern& pattern);

    std::unordered_map<const TablePattern*, Positions> positions_;
};

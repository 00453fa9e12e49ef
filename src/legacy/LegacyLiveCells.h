#pragma once

#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <utility>
#include <vector>

// Which bytes of a whole database file belong to live rows, read from the file's own pages: the
// cells that the cell pointer array of a b-tree page lists (pages on the freelist and
// pointer-map pages hold none) and the overflow pages that those cells lead to. A record that
// the older routines find inside such bytes is a live row (or a misreading of one), never a
// deleted one.
//
// Bytes that are no database (no usable file header) hold no live cell, so every candidate of
// such data is judged by the routines' own tests alone. Every page, pointer and chain is read
// within the data; a freelist or an overflow chain that loops ends where it meets a page again.
class LegacyLiveCells {
public:
    LegacyLiveCells() = default;
    explicit LegacyLiveCells(FileBytes file);

    // Whether the byte at the file offset lies inside a live cell or a live overflow page.
    bool contains(std::int64_t offset) const;
    // Whether any byte of [begin, end) does.
    bool overlaps(std::int64_t begin, std::int64_t end) const;

private:
    // Sorted, non-overlapping [begin, end) file offsets.
    std::vector<std::pair<std::int64_t, std::int64_t>> spans_;
};

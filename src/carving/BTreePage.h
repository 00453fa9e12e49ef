#pragma once

#include "carving/SQLiteUtils.h"

#include <cstdint>
#include <optional>
#include <vector>

// One b-tree page of a database file as the file format lays it out: its type, its cells (from
// the cell pointer array) and where each cell's bytes lie. Every offset read is checked against
// the page; a pointer or a size that leads out of the page ends that cell, not the reading.
namespace BTreePage {

enum class Type : std::uint8_t {
    InteriorIndex = 2,
    InteriorTable = 5,
    LeafIndex = 10,
    LeafTable = 13,
};

// Where the page's own header starts: 100 on page 1 (behind the file header), else 0.
inline std::int64_t HeaderOffset(std::int64_t pageNumber) {
    return pageNumber == 1 ? 100 : 0;
}

// The page's type, when its type byte names a b-tree page.
std::optional<Type> TypeOf(ByteView page, std::int64_t headerOffset);

// One cell: the bytes it takes on the page, [start, end), and what its head says.
struct Cell {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t leftChild = 0;     // interior pages
    std::int64_t rowId = 0;         // table pages
    std::uint64_t payloadSize = 0;  // leaf table and index pages
    std::int64_t payloadStart = 0;  // where the payload's bytes on the page begin
    std::int64_t localSize = 0;     // payload bytes on the page
    std::int64_t overflowPage = 0;  // the first overflow page, 0 for none
};

// The cells the page's cell pointer array lists, in that order. `usable` is the page size less
// the reserved bytes at the end of each page. A cell whose pointer or extent lies outside the
// page is left out.
std::vector<Cell> Cells(ByteView page, std::int64_t headerOffset, std::int64_t usable);

// The right-most child of an interior page; 0 for other pages.
std::int64_t RightChild(ByteView page, std::int64_t headerOffset);

// How many payload bytes of a cell lie on its page, by the file format's rule for pages of
// that kind; the rest goes to overflow pages.
std::int64_t LocalPayloadSize(Type type, std::uint64_t payloadSize, std::int64_t usable);

}  // namespace BTreePage

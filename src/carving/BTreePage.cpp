#include "carving/BTreePage.h"

#include <algorithm>

namespace BTreePage {

namespace {

bool IsInterior(Type type) {
    return type == Type::InteriorIndex || type == Type::InteriorTable;
}

}  // namespace

std::optional<Type> TypeOf(ByteView page, std::int64_t headerOffset) {
    if (headerOffset < 0 || headerOffset + 8 > static_cast<std::int64_t>(page.size()))
        return std::nullopt;
    switch (page[static_cast<std::size_t>(headerOffset)]) {
        case 2:
            return Type::InteriorIndex;
        case 5:
            return Type::InteriorTable;
        case 10:
            return Type::LeafIndex;
        case 13:
            return Type::LeafTable;
        default:
            return std::nullopt;
    }
}

std::int64_t LocalPayloadSize(Type type, std::uint64_t payloadSize, std::int64_t usable) {
    const std::int64_t maxLocal =
        type == Type::LeafTable ? usable - 35 : ((usable - 12) * 64 / 255) - 23;
    const std::int64_t minLocal = ((usable - 12) * 32 / 255) - 23;
    if (maxLocal <= 0 || minLocal <= 0) return 0;
    if (payloadSize <= static_cast<std::uint64_t>(maxLocal))
        return static_cast<std::int64_t>(payloadSize);
    const std::uint64_t spill = (payloadSize - static_cast<std::uint64_t>(minLocal)) %
                                static_cast<std::uint64_t>(usable - 4);
    const std::int64_t local = minLocal + static_cast<std::int64_t>(spill);
    return local <= maxLocal ? local : minLocal;
}

std::int64_t RightChild(ByteView page, std::int64_t headerOffset) {
    const auto type = TypeOf(page, headerOffset);
    if (!type || !IsInterior(*type) || headerOffset + 12 > static_cast<std::int64_t>(page.size()))
        return 0;
    return ReadBigEndian32(page.data() + headerOffset + 8);
}

std::vector<Cell> Cells(ByteView page, std::int64_t headerOffset, std::int64_t usable) {
    std::vector<Cell> cells;
    const auto type = TypeOf(page, headerOffset);
    const std::int64_t size =
        std::min<std::int64_t>(static_cast<std::int64_t>(page.size()), usable);
    if (!type || usable < 480) return cells;
    const std::int64_t pageHeader = IsInterior(*type) ? 12 : 8;
    const std::int64_t arrayStart = headerOffset + pageHeader;
    const std::int64_t count = ReadBigEndian16(page.data() + headerOffset + 3);
    const std::int64_t arrayEnd = arrayStart + 2 * count;
    if (arrayEnd > size) return cells;
    const std::uint8_t* end = page.data() + size;
    cells.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        Cell cell;
        cell.start = ReadBigEndian16(page.data() + arrayStart + 2 * i);
        if (cell.start < arrayEnd || cell.start >= size) continue;
        const std::uint8_t* p = page.data() + cell.start;
        if (IsInterior(*type)) {
            if (end - p < 4) continue;
            cell.leftChild = ReadBigEndian32(p);
            p += 4;
        }
        std::uint64_t value = 0;
        int taken = 0;
        if (*type != Type::InteriorTable) {
            if ((taken = ReadVarint(p, end, value)) == 0) continue;
            cell.payloadSize = value;
            p += taken;
        }
        if (*type == Type::InteriorTable || *type == Type::LeafTable) {
            if ((taken = ReadVarint(p, end, value)) == 0) continue;
            cell.rowId = static_cast<std::int64_t>(value);
            p += taken;
        }
        std::int64_t length = p - (page.data() + cell.start);
        cell.payloadStart = cell.start + length;
        if (*type != Type::InteriorTable) {
            cell.localSize = LocalPayloadSize(*type, cell.payloadSize, usable);
            length += cell.localSize;
            if (static_cast<std::uint64_t>(cell.localSize) < cell.payloadSize) {
                if (cell.start + length + 4 > size) continue;
                cell.overflowPage = ReadBigEndian32(page.data() + cell.start + length);
                length += 4;
            }
        }
        // SQLite never gives a cell fewer than 4 bytes.
        cell.end = cell.start + std::max<std::int64_t>(length, 4);
        if (cell.end > size) continue;
        cells.push_back(cell);
    }
    return cells;
}

}  // namespace BTreePage

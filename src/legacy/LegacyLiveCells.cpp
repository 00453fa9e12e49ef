#include "legacy/LegacyLiveCells.h"

#include "carving/BTreePage.h"
#include "carving/SQLiteHeader.h"

#include <algorithm>

namespace {

// The four-byte big-endian page number at offset of the data; 0 when it lies outside.
std::int64_t PageNumberAt(FileBytes file, std::int64_t offset) {
    if (!file.has(offset, 4)) return 0;
    return static_cast<std::int64_t>(ReadBigEndian32(file.data() + offset));
}

}  // namespace

LegacyLiveCells::LegacyLiveCells(FileBytes file) {
    SQLiteHeader header;
    if (!header.ReadFromBytes(
            ByteView(file.data(), std::min<std::size_t>(file.size(), SQLiteHeader::kHeaderSize)),
            file.length()) ||
        !header.isUsable())
        return;
    const std::int64_t pageSize = header.PageSize();
    const std::int64_t usable = pageSize - header.reservedSpace();
    const std::int64_t pages = std::min(header.PageCountInFile(), file.length() / pageSize);
    if (usable < 480 || pages < 1) return;
    const auto startOf = [&](std::int64_t page) { return (page - 1) * pageSize; };
    const auto inFile = [&](std::int64_t page) { return page >= 1 && page <= pages; };

    // 0 not yet seen, 1 free or pointer map, 2 overflow page of a live cell.
    std::vector<std::uint8_t> kind(static_cast<std::size_t>(pages) + 1, 0);
    // The freelist: its trunks and the leaves each lists.
    for (std::int64_t trunk = header.PageNumberOfFirstListTrunkPage();
         inFile(trunk) && kind[trunk] == 0;) {
        kind[static_cast<std::size_t>(trunk)] = 1;
        const std::int64_t at = startOf(trunk);
        const std::int64_t leaves = std::min(PageNumberAt(file, at + 4), usable / 4 - 2);
        for (std::int64_t i = 0; i < leaves; ++i) {
            const std::int64_t leaf = PageNumberAt(file, at + 8 + 4 * i);
            if (inFile(leaf)) kind[static_cast<std::size_t>(leaf)] = 1;
        }
        trunk = PageNumberAt(file, at);
    }
    // Pointer-map pages of an auto-vacuum file: page 2 and every (usable / 5 + 1) pages after.
    if (header.IsAutoVacuum())
        for (std::int64_t map = 2; map <= pages; map += usable / 5 + 1)
            kind[static_cast<std::size_t>(map)] = 1;

    for (std::int64_t page = 1; page <= pages; ++page) {
        if (kind[static_cast<std::size_t>(page)] != 0) continue;
        const std::int64_t begin = startOf(page);
        const ByteView bytes(file.data() + begin, static_cast<std::size_t>(pageSize));
        for (const BTreePage::Cell& cell :
             BTreePage::Cells(bytes, BTreePage::HeaderOffset(page), usable)) {
            spans_.emplace_back(begin + cell.start, begin + cell.end);
            // The rest of the row lies on its overflow pages.
            for (std::int64_t next = cell.overflowPage;
                 inFile(next) && kind[static_cast<std::size_t>(next)] == 0;) {
                kind[static_cast<std::size_t>(next)] = 2;
                spans_.emplace_back(startOf(next), startOf(next) + pageSize);
                next = PageNumberAt(file, startOf(next));
            }
        }
    }
    std::sort(spans_.begin(), spans_.end());
    // Merged, so that a search finds the one span an offset can lie in.
    std::vector<std::pair<std::int64_t, std::int64_t>> merged;
    for (const auto& span : spans_) {
        if (!merged.empty() && span.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, span.second);
        else
            merged.push_back(span);
    }
    spans_ = std::move(merged);
}

bool LegacyLiveCells::contains(std::int64_t offset) const {
    return overlaps(offset, offset + 1);
}

bool LegacyLiveCells::overlaps(std::int64_t begin, std::int64_t end) const {
    // The first span that ends after begin.
    const auto it =
        std::upper_bound(spans_.begin(), spans_.end(), begin,
                         [](std::int64_t at, const auto& span) { return at < span.second; });
    return it != spans_.end() && it->first < end;
}

#include "carving/LivePages.h"

#include "carving/BTreePage.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kNotLive = 1;
constexpr std::uint8_t kReached = 2;
// SQLite never uses the page that holds the byte at 1 GiB (its lock bytes).
constexpr std::int64_t kLockByteOffset = 0x40000000;
constexpr int kMaxDepth = 40;

}  // namespace

bool LivePages::read(const PagedFile& file, const SQLiteHeader& header, std::stop_token stop) {
    *this = LivePages();
    if (!header.isUsable() || !file.isOpen()) return false;
    pageSize_ = header.PageSize();
    usable_ = pageSize_ - header.reservedSpace();
    if (usable_ < 480) usable_ = pageSize_;
    pages_ = std::min(header.PageCountInFile(), file.size() / pageSize_);
    marks_.assign(static_cast<std::size_t>(pages_ + 1), 0);
    std::vector<std::uint8_t> page(static_cast<std::size_t>(pageSize_));
    const auto readPage = [&](std::int64_t number) {
        return number >= 1 && number <= pages_ &&
               file.readAt((number - 1) * pageSize_, page.data(), page.size()) == pageSize_;
    };

    // The lock-byte page, and the pointer-map pages of an auto-vacuum file.
    const std::int64_t lockPage = kLockByteOffset / pageSize_ + 1;
    if (lockPage <= pages_) marks_[static_cast<std::size_t>(lockPage)] = kNotLive;
    if (header.IsAutoVacuum()) {
        const std::int64_t spacing = usable_ / 5 + 1;
        for (std::int64_t map = 2; map <= pages_; map += spacing) {
            if (map == lockPage) ++map;
            if (map <= pages_) marks_[static_cast<std::size_t>(map)] = kNotLive;
        }
    }

    // The freelist: trunk pages, each naming its leaf pages. A chain that loops ends.
    const std::int64_t maxLeaves = usable_ / 4 - 2;
    std::int64_t trunk = header.PageNumberOfFirstListTrunkPage();
    for (std::int64_t steps = 0; trunk >= 2 && steps < pages_ && !stop.stop_requested(); ++steps) {
        if (marks_[static_cast<std::size_t>(std::min(trunk, pages_))] == kNotLive && steps > 0)
            break;
        if (!readPage(trunk)) break;
        marks_[static_cast<std::size_t>(trunk)] = kNotLive;
        const std::int64_t leaves =
            std::min<std::int64_t>(ReadBigEndian32(page.data() + 4), maxLeaves);
        for (std::int64_t i = 0; i < leaves; ++i) {
            const std::int64_t leaf = ReadBigEndian32(page.data() + 8 + 4 * i);
            if (leaf >= 2 && leaf <= pages_) marks_[static_cast<std::size_t>(leaf)] = kNotLive;
        }
        trunk = ReadBigEndian32(page.data());
    }

    // The pages the schema's b-trees reach. The schema's own b-tree (from page 1) is read
    // whole, as its rows name the root page of every table and index.
    std::vector<std::pair<std::int64_t, int>> pending;
    {
        // The schema table itself: its rows name every root.
        std::vector<std::pair<std::int64_t, int>> schemaPages = {{1, 0}};
        while (!schemaPages.empty() && !stop.stop_requested()) {
            const auto [number, depth] = schemaPages.back();
            schemaPages.pop_back();
            if (depth > kMaxDepth || number < 1 || number > pages_ ||
                (marks_[static_cast<std::size_t>(number)] & kReached) || !readPage(number))
                continue;
            marks_[static_cast<std::size_t>(number)] |= kReached;
            const std::int64_t at = BTreePage::HeaderOffset(number);
            const ByteView bytes(page.data(), page.size());
            const auto type = BTreePage::TypeOf(bytes, at);
            const auto cells = BTreePage::Cells(bytes, at, usable_);
            if (type == BTreePage::Type::InteriorTable) {
                schemaPages.push_back({BTreePage::RightChild(bytes, at), depth + 1});
                for (const auto& cell : cells) schemaPages.push_back({cell.leftChild, depth + 1});
                continue;
            }
            if (type != BTreePage::Type::LeafTable) continue;
            for (const auto& cell : cells) {
                // The fourth value of a schema row is its root page; the row is short enough
                // to lie on the page in all but absurd cases, and only its head is read.
                const ByteView payload = bytes.subspan(static_cast<std::size_t>(cell.payloadStart),
                                                       static_cast<std::size_t>(cell.localSize));
                const std::uint8_t* p = payload.data();
                const std::uint8_t* end = p + payload.size();
                std::uint64_t headerSize = 0;
                const int taken = ReadVarint(p, end, headerSize);
                if (taken == 0 || headerSize > payload.size()) continue;
                const std::uint8_t* types = p + taken;
                const std::uint8_t* typesEnd = p + headerSize;
                const std::uint8_t* value = typesEnd;
                static constexpr int kWidths[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
                for (int column = 0; column < 4 && types < typesEnd; ++column) {
                    std::uint64_t serial = 0;
                    const int n = ReadVarint(types, typesEnd, serial);
                    if (n == 0) break;
                    types += n;
                    const std::int64_t width = serial >= 12
                                                   ? static_cast<std::int64_t>((serial - 12) / 2)
                                                   : kWidths[serial < 12 ? serial : 0];
                    if (column == 3 && serial >= 1 && serial <= 6 && end - value >= width) {
                        pending.push_back({ReadBigEndianSigned(value, static_cast<int>(width)), 0});
                        break;
                    }
                    if (end - value < width) break;
                    value += width;
                }
            }
        }
    }
    // Below each root only interior pages are read: the children of an interior page are all
    // leaves or all interior pages, so one child read tells which, and leaves are marked unread.
    while (!pending.empty() && !stop.stop_requested()) {
        const auto [number, depth] = pending.back();
        pending.pop_back();
        if (depth > kMaxDepth || number < 1 || number > pages_ ||
            (marks_[static_cast<std::size_t>(number)] & kReached))
            continue;
        marks_[static_cast<std::size_t>(number)] |= kReached;
        if (!readPage(number)) continue;
        ByteView bytes(page.data(), page.size());
        auto type = BTreePage::TypeOf(bytes, 0);
        if (type != BTreePage::Type::InteriorTable && type != BTreePage::Type::InteriorIndex)
            continue;
        std::vector<std::int64_t> children;
        for (const auto& cell : BTreePage::Cells(bytes, 0, usable_))
            children.push_back(cell.leftChild);
        children.push_back(BTreePage::RightChild(bytes, 0));
        std::erase_if(children, [&](std::int64_t c) { return c < 1 || c > pages_; });
        if (children.empty() || !readPage(children.front())) continue;
        bytes = ByteView(page.data(), page.size());
        type = BTreePage::TypeOf(bytes, 0);
        const bool leaves =
            type == BTreePage::Type::LeafTable || type == BTreePage::Type::LeafIndex;
        for (const std::int64_t child : children) {
            if (leaves)
                marks_[static_cast<std::size_t>(child)] |= kReached;
            else
                pending.push_back({child, depth + 1});
        }
    }
    return true;
}

bool LivePages::isLive(std::int64_t pageNumber) const {
    if (pageNumber < 1 || pageNumber > pages_) return false;
    const std::uint8_t mark = marks_[static_cast<std::size_t>(pageNumber)];
    return (mark & kReached) || mark == 0;
}

bool LivePages::isUnreached(std::int64_t pageNumber) const {
    return pageNumber >= 1 && pageNumber <= pages_ &&
           marks_[static_cast<std::size_t>(pageNumber)] == 0;
}

bool LivePages::insideLiveCell(std::int64_t pageNumber, ByteView page, std::int64_t offset) const {
    if (!isLive(pageNumber) || offset < 0 || offset >= static_cast<std::int64_t>(page.size()))
        return false;
    const auto cells = BTreePage::Cells(page, BTreePage::HeaderOffset(pageNumber), usable_);
    return std::any_of(cells.begin(), cells.end(), [&](const BTreePage::Cell& cell) {
        return offset >= cell.start && offset < cell.end;
    });
}

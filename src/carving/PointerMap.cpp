#include "carving/PointerMap.h"

std::string_view PointerMapTypeName(int type) {
    switch (type) {
        case 1: return "BTreeRootPage";
        case 2: return "FreePage";
        case 3: return "OverflowFirstPage";
        case 4: return "OverflowChainPage";
        case 5: return "BTreePage";
        default: return {};
    }
}

PointerMapScan ReadPointerMapPage(std::int64_t pageNumber, ByteView page) {
    std::vector<PointerMap> entries;
    std::optional<std::int64_t> next;
    const std::int64_t slots = static_cast<std::int64_t>(page.size()) / 5;
    for (std::int64_t n = 1; n <= slots; ++n) {
        const std::uint8_t* entry = page.data() + (n - 1) * 5;
        if (entry[0] < 1 || entry[0] > 5) break;
        entries.emplace_back(static_cast<std::int32_t>(n),
                             std::array<std::uint8_t, 5>{entry[0], entry[1], entry[2], entry[3], entry[4]});
        // A full map page means the file goes on beyond the pages it covers.
        if (n == slots) next = pageNumber + slots + 1;
    }
    return PointerMapScan{PointerMapPage(pageNumber, std::move(entries)), next};
}

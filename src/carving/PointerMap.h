#pragma once

#include "carving/SQLiteUtils.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// One 5-byte entry of an auto-vacuum file's pointer map: its 1-based number on its page and its
// bytes (the type byte, then the 4-byte parent page number).
class PointerMap {
public:
    PointerMap(std::int32_t number, std::array<std::uint8_t, 5> data) : number_(number), data_(data) {}
    std::int32_t number() const { return number_; }
    const std::array<std::uint8_t, 5>& data() const { return data_; }
    std::uint8_t type() const { return data_[0]; }
    std::uint32_t parentPage() const { return ReadBigEndian32(data_.data() + 1); }

private:
    std::int32_t number_;
    std::array<std::uint8_t, 5> data_;
};

// The entries of one pointer-map page, in entry order.
class PointerMapPage {
public:
    PointerMapPage(std::int64_t pageNumber, std::vector<PointerMap> pointerMaps)
        : pageNumber_(pageNumber), pointerMaps_(std::move(pointerMaps)) {}
    std::int64_t pageNumber() const { return pageNumber_; }
    const std::vector<PointerMap>& pointerMaps() const { return pointerMaps_; }

private:
    std::int64_t pageNumber_;
    std::vector<PointerMap> pointerMaps_;
};

// The name of a pointer-map entry type (1 "BTreeRootPage" to 5 "BTreePage"); empty for others.
std::string_view PointerMapTypeName(int type);

// What one pointer-map page says: its entries up to the first slot without a valid type, and
// the page where the next map page is expected, which is known only when every slot is valid.
struct PointerMapScan {
    PointerMapPage page;
    std::optional<std::int64_t> nextMapPage;
};

PointerMapScan ReadPointerMapPage(std::int64_t pageNumber, ByteView page);

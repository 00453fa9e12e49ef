#include "carving/PointerMap.h"
#include "carving/SQLiteHeader.h"
#include "carving/SQLiteUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {
ByteView View(const Bytes& b) {
    return ByteView(b.data(), b.size());
}
}  // namespace

TEST(Varint, DecodesOneToNineBytesAndRefusesToRunPastTheEnd) {
    struct Case {
        Bytes bytes;
        std::optional<std::int64_t> value;
        std::int64_t length;
    };
    const Case cases[] = {
        {{0x7F}, 127, 1},
        {{0x81, 0x00}, 128, 2},
        {{0x81, 0x00, 0x55}, 128, 2},  // bytes after the varint are not taken
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1, 9},  // all 64 bits set
        {{0x82, 0x80, 0x01}, (2 << 14) | 1, 3},
        // A varint that ends right at the end of the data is read, however short the data.
        {{0x00}, 0, 1},
        // One that needs more bytes than there are is not.
        {{0x81}, std::nullopt, 0},
        {{0xFF, 0xFF, 0xFF}, std::nullopt, 0},
        {{}, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        const auto v = SQLiteUtils::convertRealVarintToIntfromByteArray(View(c.bytes), 0);
        ASSERT_EQ(v.has_value(), c.value.has_value());
        if (!v) continue;
        EXPECT_EQ(v->value, *c.value);
        EXPECT_EQ(v->position, c.length);
    }
    EXPECT_FALSE(SQLiteUtils::convertRealVarintToIntfromByteArray(View(Bytes{0x01}), 1));
    EXPECT_FALSE(SQLiteUtils::convertRealVarintToIntfromByteArray(View(Bytes{0x01}), -1));
}

TEST(ByteReaders, BigEndianFieldsAndFreeblocksAreBoundsChecked) {
    const Bytes page = {0x01, 0x02, 0x00, 0x00, 0x00, 0x07, 0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_EQ(SQLiteUtils::convertToint16fromData(View(page), 0), 258);
    EXPECT_FALSE(SQLiteUtils::convertToint16fromData(View(page), 9));
    EXPECT_FALSE(SQLiteUtils::convertToint16fromData(View(page), -1));
    // A freeblock at 2: next 0x0000, size 7 -> bytes 2..8, its own head included.
    EXPECT_EQ(SQLiteUtils::NextFreeblockOffset(View(page), 2), 0);
    EXPECT_EQ(SQLiteUtils::FreeblockSize(View(page), 2), 7);
    const auto block = SQLiteUtils::FreeblockData(View(page), 2);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->size(), 7u);
    EXPECT_EQ((*block)[0], 0x00);
    EXPECT_EQ((*block)[6], 0xCC);
    // A freeblock whose size runs past the page is refused, not read beyond it.
    Bytes tooLong = page;
    tooLong[5] = 20;
    EXPECT_FALSE(SQLiteUtils::FreeblockData(View(tooLong), 2));

    EXPECT_EQ(SQLiteUtils::reverseData(View(Bytes{1, 2, 3})), (Bytes{3, 2, 1}));
    EXPECT_TRUE(SQLiteUtils::reverseData(View(Bytes{})).empty());
    EXPECT_TRUE(SQLiteUtils::IsOdd(-3));
    EXPECT_TRUE(SQLiteUtils::IsEven(0));

    EXPECT_EQ(dataUtils::indexOfCharinData(View(Bytes{'a', 'b'}), '-'), -1);
    EXPECT_EQ(dataUtils::indexOfCharinData(View(Bytes{'a', '-', '-'}), '-'), 1);
    EXPECT_EQ(dataUtils::getBytefromData(View(Bytes{'a', 'b'}), 2), -1);
    EXPECT_EQ(dataUtils::getBytefromData(View(Bytes{'a', 0xFF}), 1), 0xFF);
    EXPECT_EQ(dataUtils::ConvertNSDataToDouble(View(Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F})), 1.0);
    EXPECT_FALSE(dataUtils::ConvertNSDataToDouble(View(Bytes{1, 2, 3})));
}

TEST(SQLiteHeader, ReadsPageSizeCountsAndAutoVacuum) {
    auto header = [](std::uint16_t pageSize, std::uint32_t pages, std::uint32_t root,
                     std::uint32_t changeCounter, std::uint32_t validFor) {
        Bytes h(100, 0);
        h[16] = pageSize >> 8, h[17] = pageSize & 0xFF;
        auto put32 = [&](int at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) h[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
        };
        put32(24, changeCounter);
        put32(28, pages);
        put32(32, 7);
        put32(36, 3);
        put32(52, root);
        put32(92, validFor);
        return h;
    };
    SQLiteHeader h;
    ASSERT_TRUE(h.ReadFromBytes(View(header(0x1000, 5, 0, 9, 9)), 5 * 4096));
    EXPECT_EQ(h.PageSize(), 4096);
    EXPECT_EQ(h.NumberOfPages(), 5);
    EXPECT_EQ(h.PageNumberOfFirstListTrunkPage(), 7);
    EXPECT_EQ(h.TotalNumberOfFreeListPages(), 3);
    EXPECT_FALSE(h.IsAutoVacuum());
    EXPECT_TRUE(h.isUsable());
    EXPECT_EQ(h.PageCountInFile(), 5);

    ASSERT_TRUE(h.ReadFromBytes(View(header(1, 2, 5, 1, 1)), 2 * 65536));
    EXPECT_EQ(h.PageSize(), 65536);
    EXPECT_TRUE(h.IsAutoVacuum());
    EXPECT_EQ(h.HighestNUmberedRootPageNumber(), 5);

    struct CountCase {
        std::uint32_t pages, changeCounter, validFor;
        std::int64_t fileSize, expected;
    };
    const CountCase counts[] = {
        {5, 1, 1, 3 * 4096, 3},        // a count past the end of the file is clipped
        {0, 1, 1, 4 * 4096 + 100, 4},  // no count: the whole pages of the file
        {2, 8, 7, 4 * 4096, 4},        // a stale count (old writer): the file decides
    };
    for (const auto& c : counts) {
        ASSERT_TRUE(h.ReadFromBytes(View(header(0x1000, c.pages, 0, c.changeCounter, c.validFor)),
                                    c.fileSize));
        EXPECT_EQ(h.PageCountInFile(), c.expected);
    }

    for (std::uint16_t bad : {0, 2, 256, 1000, 3000}) {
        ASSERT_TRUE(h.ReadFromBytes(View(header(bad, 1, 0, 1, 1)), 4096));
        EXPECT_FALSE(h.isUsable()) << bad;
        EXPECT_EQ(h.PageCountInFile(), 0);
    }
    EXPECT_FALSE(h.ReadFromBytes(View(Bytes(99, 0)), 99));
}

TEST(PointerMap, NextMapPageIsExpectedOnlyAfterAFullMapPage) {
    Bytes page(1024, 0);
    for (int n = 0; n < 204; ++n) page[n * 5] = static_cast<std::uint8_t>(1 + n % 5);
    const auto full = ReadPointerMapPage(2, ByteView(page.data(), page.size()));
    EXPECT_EQ(full.page.pointerMaps().size(), 204u);
    EXPECT_EQ(full.nextMapPage, 207);
    EXPECT_EQ(full.page.pointerMaps()[1].number(), 2);
    EXPECT_EQ(full.page.pointerMaps()[1].type(), 2);

    page[100 * 5] = 0;
    const auto partial = ReadPointerMapPage(2, ByteView(page.data(), page.size()));
    EXPECT_EQ(partial.page.pointerMaps().size(), 100u);
    EXPECT_FALSE(partial.nextMapPage);
    EXPECT_EQ(PointerMapTypeName(3), "OverflowFirstPage");
    EXPECT_EQ(PointerMapTypeName(6), "");
}

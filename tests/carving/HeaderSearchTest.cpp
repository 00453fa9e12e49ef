#include "CarvingTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <limits>
#include <optional>
#include <random>

using carvingtest::MakePattern;
using carvingtest::TestRecoverer;

namespace {

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

SQLiteTableHeaderInfo Find(const std::vector<std::string>& headers, const Bytes& area,
                           std::int64_t offset = 0) {
    TestRecoverer engine;
    std::vector<TablePattern> patterns;
    for (const auto& h : headers) patterns.push_back(MakePattern(h));
    engine.setTablePatterns(patterns);
    SQLiteTableHeaderInfo info = engine.findHeader(ByteView(area.data(), area.size()), offset);
    // The pattern pointer belongs to the engine, which is gone: keep only which one it was.
    if (info.tablePattern)
        info.tablePattern = reinterpret_cast<const TablePattern*>(
            static_cast<std::uintptr_t>(info.tablePattern - &engine.tablePatterns()[0]) + 1);
    return info;
}

// Which pattern (1-based) matched, from Find's rewritten pointer.
std::size_t Which(const SQLiteTableHeaderInfo& info) {
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(info.tablePattern));
}

Bytes Padded(Bytes bytes, std::size_t size = 40) {
    bytes.resize(std::max(size, bytes.size()), 0xEE);
    return bytes;
}

}  // namespace

TEST(HeaderSearch, PlainPatternTakesOneByteThenSerialTypes) {
    const auto info = Find({"[0];[1];[-1]"}, Padded({0x03, 0x01, 0x17}));
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(info.HeaderStartIndex, 0);
    EXPECT_EQ(info.Header, (Pairs{{0, 1}, {1, 1}, {23, 1}}));
    EXPECT_EQ(info.headerDataTaken, 3);
    EXPECT_EQ(info.DataStartIndex(), 3);
    EXPECT_EQ(info.RowId, 0);
    EXPECT_FALSE(info.RowIdRead);

    // 0x0B (11) is no text or blob: the position fails and the search moves on by one byte.
    const auto moved = Find({"[0];[1];[-1]"}, Padded({0x03, 0x01, 0x0B, 0x01, 0x0D}));
    ASSERT_TRUE(moved.Valid);
    EXPECT_EQ(moved.HeaderStartIndex, 2);
}

TEST(HeaderSearch, AllowedValueClasses) {
    struct Case {
        const char* position;
        int serialType;
        bool accepted;
    };
    const Case cases[] = {
        {"[-1]", 12, true},    {"[-1]", 11, false}, {"[-2]", 13, true},  {"[-2]", 12, false},
        {"[-5]", 6, true},     {"[-5]", 5, false},  {"[0]", 0, true},    {"[0]", 1, false},
        {"[3,7]", 7, true},    {"[3,7]", 5, false}, {"[-1]", 300, true}, {"[300]", 300, true},
        {"[301]", 300, false},
    };
    for (const auto& c : cases) {
        Bytes area = {0x02, 0x09};  // position 0, then a 1 (serial type 9) for the first position
        if (c.serialType < 128) {
            area.push_back(static_cast<std::uint8_t>(c.serialType));
        } else {
            area.push_back(static_cast<std::uint8_t>(0x80 | (c.serialType >> 7)));
            area.push_back(static_cast<std::uint8_t>(c.serialType & 0x7F));
        }
        const auto info = Find({std::string("[0];[9];") + c.position}, Padded(area, 20));
        EXPECT_EQ(info.Valid && info.HeaderStartIndex == 0, c.accepted)
            << c.position << " " << c.serialType;
    }
}

// Files of a schema format below 4 hold the integers 0 and 1 as one-byte integers (serial type
// 1): where a position allows 8 (0) or 9 (1), such a file's records may have a one-byte integer
// holding that value there instead.
TEST(HeaderSearch, OneByteIntegersForZeroAndOneInOlderFiles) {
    struct Case {
        const char* position;
        bool oneByte;  // the file writes 0 and 1 as one-byte integers
        std::uint8_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"[8,9]", true, 0, true},       {"[8,9]", true, 1, true},    {"[8,9]", true, 2, false},
        {"[8,9]", false, 1, false},     {"[9]", true, 1, true},      {"[9]", true, 0, false},
        {"[8]", true, 1, false},        {"[1,8,9]", false, 7, true}, {"[1,8,9]", true, 7, true},
        {"[0,2,4,8,9]", true, 1, true}, {"[2,3]", true, 1, false},
    };
    for (const auto& c : cases) {
        TestRecoverer engine(MakePattern(std::string("[0];") + c.position + ";[-1]"));
        engine.setSmallIntegersAsOneByte(c.oneByte);
        // Header length, a one-byte integer, a text of one byte; then the content.
        const Bytes area = Padded({0x03, 0x01, 0x0F, c.value, 'x'});
        const auto info = engine.findHeader(ByteView(area.data(), area.size()), 0);
        EXPECT_EQ(info.Valid && info.HeaderStartIndex == 0, c.accepted)
            << c.position << (c.oneByte ? " one-byte " : " ") << int{c.value};
    }
}

TEST(HeaderSearch, RowIdModeReadsTheRowIdAndSkipsTwoBytes) {
    const auto info = Find({"[1];[0];[0];[1]"}, Padded({0x81, 0x00, 0x05, 0x00, 0x01}));
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(info.HeaderStartIndex, 0);
    EXPECT_EQ(info.RowId, 128);
    EXPECT_TRUE(info.RowIdRead);
    EXPECT_EQ(info.headerDataTaken, 5);
    EXPECT_EQ(info.Header, (Pairs{{0, 2}, {0, 1}, {0, 1}, {1, 1}}));
}

// Zero bytes read as NULL serial types: a header of nothing but NULLs is no record, so the first
// header found in zero-filled space is the real one behind it, for plain and row-id patterns.
TEST(HeaderSearch, ZeroFilledSpaceHoldsNoHeader) {
    Bytes area(4096, 0);
    area.insert(area.end(), {0x04, 0x01, 0x00, 0x01});
    area.resize(area.size() + 4096, 0);
    for (const char* pattern : {"[0];[0,1];[0,1];[0,1]", "[1];[0];[0];[0,1];[0,1];[0,1]"}) {
        const auto info = Find({pattern}, area);
        ASSERT_TRUE(info.Valid) << pattern;
        EXPECT_EQ(info.HeaderStartIndex, pattern[1] == '0' ? 4096 : 4094) << pattern;
        EXPECT_FALSE(Find({pattern}, Bytes(8192, 0)).Valid) << pattern;
    }
}

TEST(HeaderSearch, NearestHeaderWinsAndTheFirstPatternWinsATie) {
    // Pattern 2 fits at 0, pattern 1 only at 10: the nearer header is taken, so a record of a
    // second layout in front of one of the first is not skipped.
    Bytes area = Padded({0x02, 0x00, 0x0F}, 10);
    area.insert(area.end(), {0x02, 0x01, 0x0F, 0x0F});
    area = Padded(area, 40);
    const auto nearest = Find({"[0];[1];[-1];[-1]", "[0];[0];[-1]"}, area);
    ASSERT_TRUE(nearest.Valid);
    EXPECT_EQ(nearest.HeaderStartIndex, 0);
    EXPECT_EQ(Which(nearest), 2u);
    // From offset 1 on only pattern 1 remains.
    EXPECT_EQ(Which(Find({"[0];[1];[-1];[-1]", "[0];[0];[-1]"}, area, 1)), 1u);

    // Both fit at 0 (a longer layout and its own prefix): the one listed first is taken.
    const Bytes both = Padded({0x03, 0x00, 0x0F, 0x09, 0x41});
    EXPECT_EQ(Which(Find({"[0];[0];[-1];[9]", "[0];[0];[-1]"}, both)), 1u);
    EXPECT_EQ(Find({"[0];[0];[-1];[9]", "[0];[0];[-1]"}, both).Header.size(), 4u);
    EXPECT_EQ(Which(Find({"[0];[0];[-1]", "[0];[0];[-1];[9]"}, both)), 1u);
}

TEST(HeaderSearch, PatternsWithoutPositionsAreLeftOut) {
    TestRecoverer engine;
    TablePattern none;  // no header text at all
    engine.setTablePatterns({none, MakePattern("[0];[1]")});
    const Bytes area = Padded({0x05, 0x01});
    const auto info = engine.findHeader(ByteView(area.data(), area.size()), 0);
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(info.tablePattern, &engine.tablePatterns()[1]);
    EXPECT_FALSE(Find({}, area).Valid);
}

TEST(HeaderSearch, AreaEndsAndVarintsNearTheEnd) {
    // A header cut off by the end of the area counts as matched as far as it was read.
    const Bytes cut = {0x05, 0x00, 0x81, 0x00};
    const auto info = Find({"[0];[0];[-1];[-1]"}, cut);
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(info.Header, (Pairs{{0, 1}, {0, 1}, {128, 2}}));
    EXPECT_TRUE(info.HeaderTruncated);

    // A varint that would run past the end matches nothing, and the search goes on.
    EXPECT_FALSE(Find({"[0];[0];[-1]"}, Bytes{0x05, 0x00, 0x81}).Valid);

    // A header that ends right at the end of the area is read, however close the end is.
    const auto tight = Find({"[0];[1];[9]"}, Bytes{0xEE, 0xEE, 0x03, 0x01, 0x09});
    ASSERT_TRUE(tight.Valid);
    EXPECT_EQ(tight.HeaderStartIndex, 2);
    EXPECT_FALSE(tight.HeaderTruncated);

    // An area shorter than the pattern has no place for it.
    EXPECT_FALSE(Find({"[0];[1];[9];[9]"}, Bytes{0x03, 0x01, 0x09}).Valid);
}

TEST(HeaderSearch, SerialTypesAreShortestFormVarints) {
    // 0x80 0x0D would decode to 13, but SQLite never writes a varint with a leading zero group.
    EXPECT_FALSE(Find({"[0];[0];[-1]"}, Padded({0x02, 0x00, 0x80, 0x0D}, 8)).Valid);
    EXPECT_TRUE(Find({"[0];[0];[-1]"}, Padded({0x02, 0x00, 0x81, 0x0D}, 8)).Valid);
}

namespace {

// The search as the rules state it, one pattern and one place at a time: the reference for the
// optimised matcher.
struct ReferenceMatch {
    std::int64_t pos = -1;
    std::size_t pattern = 0;
    Pairs pairs;
    std::int64_t taken = 0;
};

bool Allows(const std::vector<std::int32_t>& values, std::uint64_t serialType) {
    if (serialType > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    const auto t = static_cast<std::int64_t>(serialType);
    for (const std::int32_t v : values) {
        if (v >= 0 && t == v) return true;
        if (v < 0 && t > (v == -1 ? 11 : v == -2 ? 12 : -static_cast<std::int64_t>(v))) return true;
    }
    return false;
}

std::optional<ReferenceMatch> MatchAt(const std::vector<std::vector<std::int32_t>>& p,
                                      const Bytes& area, std::int64_t pos) {
    const auto length = static_cast<std::int64_t>(area.size());
    const auto n = static_cast<std::int64_t>(p.size());
    if (pos > length - n) return std::nullopt;
    ReferenceMatch m;
    m.pos = pos;
    std::size_t i = 1;
    const std::uint8_t* end = area.data() + area.size();
    if (p[0][0] >= 1) {
        std::uint64_t rowId = 0;
        const int l = ReadVarint(area.data() + pos, end, rowId);
        if (l == 0) return std::nullopt;
        m.pairs = {{0, l}, {0, 1}, {0, 1}};
        m.taken = l + 2;
        i = 3;
    } else {
        m.pairs = {{0, 1}};
        m.taken = 1;
    }
    for (; i < p.size(); ++i) {
        if (pos + m.taken >= length) break;  // cut off by the end of the area: a match
        if (area[static_cast<std::size_t>(pos + m.taken)] == 0x80) return std::nullopt;
        std::uint64_t t = 0;
        const int l = ReadVarint(area.data() + pos + m.taken, end, t);
        if (l == 0 || !Allows(p[i], t)) return std::nullopt;
        m.pairs.emplace_back(static_cast<std::int64_t>(t), l);
        m.taken += l;
    }
    // Examined serial types that are all 0 read nothing but NULLs: no record.
    const std::size_t first = p[0][0] >= 1 ? 3 : 1;
    if (m.pairs.size() > first &&
        std::all_of(m.pairs.begin() + static_cast<std::ptrdiff_t>(first), m.pairs.end(),
                    [](const auto& pair) { return pair.first == 0; }))
        return std::nullopt;
    return m;
}

std::optional<ReferenceMatch> Reference(const std::vector<TablePattern>& patterns,
                                        const Bytes& area, std::int64_t offset) {
    std::vector<std::vector<std::vector<std::int32_t>>> lists;
    for (const auto& pattern : patterns) lists.push_back(pattern.Header());
    for (std::int64_t pos = offset; pos < static_cast<std::int64_t>(area.size()); ++pos)
        for (std::size_t k = 0; k < patterns.size(); ++k) {
            const auto& p = lists[k];
            if (p.empty() || p[0].empty()) continue;
            if (auto m = MatchAt(p, area, pos)) {
                m->pattern = k;
                return m;
            }
        }
    return std::nullopt;
}

}  // namespace

TEST(HeaderSearch, AgreesWithTheRulesOnRandomPatternsAndBytes) {
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::int32_t kValues[] = {0,  1,  2,   4,   7,  8,  9,  12,  13,
                                    15, 85, 200, 300, -1, -2, -5, -12, -14};
    const std::uint8_t kBytes[] = {0, 0, 0, 1, 4, 8, 9, 13, 15, 85, 0x80, 0x81, 0xC5, 0xFF, 0x2A};
    int matches = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<TablePattern> patterns;
        const int count = 1 + pick(5);
        std::string shared;  // patterns often share their first positions
        for (int k = 0; k < count; ++k) {
            std::string header = pick(5) == 0 ? "[1]" : "[0]";
            const int positions = pick(12);
            for (int i = 0; i < positions; ++i) {
                header += ";[";
                const int values = 1 + pick(3);
                for (int v = 0; v < values; ++v)
                    header += (v ? "," : "") +
                              std::to_string(kValues[pick(static_cast<int>(std::size(kValues)))]);
                header += "]";
            }
            if (k > 0 && pick(2) == 0) header = shared + header.substr(3);
            if (k == 0) shared = header;
            patterns.push_back(MakePattern(header));
        }
        Bytes area(static_cast<std::size_t>(16 + pick(200)));
        for (auto& b : area)
            b = pick(3) == 0 ? static_cast<std::uint8_t>(random())
                             : kBytes[pick(static_cast<int>(std::size(kBytes)))];

        TestRecoverer engine;
        engine.setTablePatterns(patterns);
        for (std::int64_t offset :
             {std::int64_t{0}, static_cast<std::int64_t>(pick(static_cast<int>(area.size())))}) {
            const auto expected = Reference(patterns, area, offset);
            const auto got = engine.findHeader(ByteView(area.data(), area.size()), offset);
            ASSERT_EQ(got.Valid, expected.has_value()) << "round " << round << " offset " << offset;
            if (!expected) continue;
            ++matches;
            ASSERT_EQ(got.HeaderStartIndex, expected->pos) << "round " << round;
            ASSERT_EQ(got.tablePattern, &engine.tablePatterns()[expected->pattern])
                << "round " << round;
            ASSERT_EQ(got.Header, expected->pairs) << "round " << round;
            ASSERT_EQ(got.headerDataTaken, expected->taken) << "round " << round;
        }
    }
    EXPECT_GT(matches, 500);  // the rounds must exercise matches, not only misses
}

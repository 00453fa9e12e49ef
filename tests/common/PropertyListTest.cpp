#include "common/PropertyList.h"

#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using testsupport::TempDir;

namespace {

std::string NestedXml(int levels) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>";
    for (int i = 0; i < levels; ++i) xml += "<array>";
    for (int i = 0; i < levels; ++i) xml += "</array>";
    return xml + "</dict></plist>";
}

// A binary list of `objects` arrays: a dictionary {"a": array 2} on top, and array i holding
// `fanOut` references to array i + 1. With fanOut 2 the tree doubles at every level while the
// file stays a few hundred bytes.
std::string ChainedBinary(int objects, int fanOut) {
    std::string b = "bplist00";
    std::vector<std::uint32_t> offsets;
    const auto ref = [&](std::uint32_t r) {
        for (int k = 3; k >= 0; --k) b += static_cast<char>((r >> (8 * k)) & 0xFF);
    };
    offsets.push_back(static_cast<std::uint32_t>(b.size()));  // 0: the top dictionary
    b += static_cast<char>(0xD1);
    ref(1);
    ref(2);
    offsets.push_back(static_cast<std::uint32_t>(b.size()));  // 1: its key
    b += "\x51"
         "a";
    for (int i = 2; i < objects; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(b.size()));
        if (i + 1 < objects) {
            b += static_cast<char>(0xA0 | fanOut);
            for (int f = 0; f < fanOut; ++f) ref(static_cast<std::uint32_t>(i + 1));
        } else {
            b += static_cast<char>(0xA0);
        }
    }
    const auto table = static_cast<std::uint64_t>(b.size());
    for (std::uint32_t o : offsets) ref(o);
    std::string trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 4;
    for (int k = 0; k < 8; ++k) {
        trailer[8 + k] =
            static_cast<char>((static_cast<std::uint64_t>(objects) >> (8 * (7 - k))) & 0xFF);
        trailer[24 + k] = static_cast<char>((table >> (8 * (7 - k))) & 0xFF);
    }
    return b + trailer;
}

}  // namespace

TEST(PropertyListFile, RefusesShapesThatWouldExhaustTheParser) {
    const struct Case {
        const char* name;
        std::string contents;
        bool readable;
    } cases[] = {
        {"XML, 50 levels", NestedXml(50), true},
        {"XML, 100000 levels", NestedXml(100000), false},
        {"binary, 50 levels", ChainedBinary(52, 1), true},
        {"binary, 100000 levels", ChainedBinary(100002, 1), false},
        {"binary, 2^16 leaves from 20 objects", ChainedBinary(18, 2), true},
        {"binary, 2^40 leaves from 42 objects", ChainedBinary(42, 2), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto file = dir / "x.plist";
        std::ofstream(file, std::ios::binary) << c.contents;
        const auto list = PropertyListFile::read(file.string());
        EXPECT_EQ(list.has_value(), c.readable);
    }
}

TEST(PropertyListFile, BinaryReferencesThatLeadAstrayAreRefused) {
    TempDir dir;
    const auto file = dir / "x.plist";
    std::string good = ChainedBinary(4, 1);
    std::string cycle = good;
    // Array 2 (after the 9-byte dictionary and the 2-byte key) holds itself instead of array 3.
    cycle[8 + 9 + 2 + 4] = 2;
    std::string outOfRange = good;
    outOfRange[good.size() - 32 + 8 + 7] = 1;  // fewer objects than the top one references
    for (const auto& [name, contents] :
         {std::pair{"intact", good}, std::pair{"cycle", cycle}, std::pair{"range", outOfRange}}) {
        SCOPED_TRACE(name);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
        EXPECT_EQ(PropertyListFile::read(file.string()).has_value(), std::string(name) == "intact");
    }
}

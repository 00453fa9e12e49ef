#include "common/PropertyList.h"

#include "support/FixtureDatabase.h"
#include "support/HostilePlists.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using testsupport::ChainedBinary;
using testsupport::NestedXml;
using testsupport::TempDir;

TEST(PropertyListFile, RefusesShapesThatWouldExhaustTheParser) {
    const struct Case {
        const char* name;
        std::string contents;
        bool readable;
    } cases[] = {
        {"XML, 50 levels", NestedXml(50), true},
        {"XML, 100000 levels", NestedXml(100000), false},
        {"XML, 200000 levels whose closing tags hide in comments", NestedXml(200000, true), false},
        {"XML, 50 levels with comments", NestedXml(50, true), true},
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

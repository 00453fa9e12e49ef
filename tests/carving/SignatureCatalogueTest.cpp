#include "CarvingTestSupport.h"

#include "carving/SqLiteTableSignatures.h"
#include "carving/SqLiteTableSignaturesParser.h"
#include "common/AppPaths.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

using carvingtest::MakePattern;

namespace {

std::shared_ptr<SqLiteTableSignatures> Parse(const std::string& xml, bool expectOk = true) {
    auto catalogue = std::make_shared<SqLiteTableSignatures>();
    SqLiteTableSignaturesParser parser(xml);
    parser.setSqLiteTableSignatures(catalogue);
    EXPECT_EQ(parser.parseTableSignatures(), expectOk) << parser.errorMessage();
    return catalogue;
}

// Writes the first `bytes` bytes of the file at from into to.
void CopyStart(const std::string& from, const std::filesystem::path& to, std::size_t bytes) {
    std::ifstream in(from, std::ios::binary);
    std::string start(bytes, '\0');
    in.read(start.data(), static_cast<std::streamsize>(bytes));
    ASSERT_EQ(static_cast<std::size_t>(in.gcount()), bytes) << from;
    std::ofstream(to, std::ios::binary) << start;
}

const char* const kTwoTables = R"(<?xml version="1.0"?>
<signatures>
  <signature name="HomeDomain" database="sms.db" table="HANDLE">
    <pattern>
      <version value="iOS456"/>
      <version value="iOS7"/>
      <columns>ROWID id</columns>
      <header>  [0];[0];[-1]  </header>
      <attributemapping name="id" column="2"/>
      <attributemapping name="country" column="x"/>
      <attributemapping name="service"/>
    </pattern>
    <pattern><header>[0];[0]</header></pattern>
  </signature>
  <signature name="HomeDomain" database="sms.db" table="HANDLE"><pattern/></signature>
  <signature database="sms.db" table="NONAME"/>
</signatures>)";

}  // namespace

TEST(TablePattern, HeaderTextBecomesOneListPerPosition) {
    struct Case {
        const char* text;
        std::vector<std::vector<std::int32_t>> expected;
    };
    const Case cases[] = {
        {"[1,2];[3]", {{1, 2}, {3}}},
        {"1;2", {{1}, {2}}},
        {"[-1,7]", {{-1, 7}}},
        {"[1];", {{1}, {0}}},
        {"", {{0}}},
        {"[]", {{0}}},
        {"[x]", {{0}}},
        {"[ 5 ]", {{5}}},
        {"[0];\n        [1, 2]", {{0}, {1, 2}}},
        {"[99999999999];[-99999999999]", {{2147483647}, {-2147483647 - 1}}},
        {"[12abc]", {{12}}},
    };
    for (const auto& c : cases) EXPECT_EQ(MakePattern(c.text).Header(), c.expected) << c.text;
    EXPECT_TRUE(TablePattern().Header().empty());
}

TEST(TablePattern, VersionValuesExpandPerCharacter) {
    struct Case {
        const char* value;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"iOS456", {"iOS4", "iOS5", "iOS6", "iOS456"}},
        {"iOS7", {"iOS7"}},
        {"iOS", {"iOS"}},
        {"ios78", {"ios78"}},
        {"iOS10", {"iOS1", "iOS0", "iOS10"}},
    };
    for (const auto& c : cases) {
        TablePattern pattern;
        pattern.addVersion(c.value);
        EXPECT_EQ(pattern.SupportedVersions(), c.expected) << c.value;
    }
    SQLiteSignature signature;
    TablePattern old;
    old.addVersion("iOS456");
    TablePattern modern;
    modern.addVersion("iOS7");
    signature.addTablePattern(old);
    signature.addTablePattern(modern);
    EXPECT_EQ(signature.FindPatternsByVersion("iOS6").size(), 1u);
    EXPECT_TRUE(signature.FindPatternsByVersion("iOS8").empty());
}

TEST(SignatureParser, ReadsSignaturesPatternsAndMappings) {
    const auto catalogue = Parse(kTwoTables);
    ASSERT_EQ(catalogue->tableSignatures().size(), 3u);
    const SQLiteSignature* handle = catalogue->Find("HomeDomain", "sms.db", "HANDLE");
    ASSERT_NE(handle, nullptr);
    // Two signatures with the same triple: the first in file order is found.
    EXPECT_EQ(handle, &catalogue->tableSignatures()[0]);
    ASSERT_EQ(handle->TablePatterns().size(), 2u);
    const TablePattern& first = handle->TablePatterns()[0];
    EXPECT_EQ(first.SupportedVersions(),
              (std::vector<std::string>{"iOS4", "iOS5", "iOS6", "iOS456", "iOS7"}));
    EXPECT_EQ(first.columns(), OptString("ROWID id"));
    // Blanks around a text are trimmed.
    EXPECT_EQ(first.headerPattern(), OptString("[0];[0];[-1]"));
    ASSERT_EQ(first.AttributesMapping().size(), 3u);
    EXPECT_EQ(first.AttributesMapping()[0].Name(), OptString("id"));
    EXPECT_EQ(first.AttributesMapping()[0].Column(), 2);
    EXPECT_EQ(first.AttributesMapping()[1].Column(), 0);  // not a number
    EXPECT_EQ(first.AttributesMapping()[2].Column(), 0);  // missing
    EXPECT_EQ(first.mappingForColumn(2), &first.AttributesMapping()[0]);

    // Look-ups are exact and case-sensitive; a signature without a name is never found.
    EXPECT_EQ(catalogue->Find("homedomain", "sms.db", "HANDLE"), nullptr);
    EXPECT_EQ(catalogue->Find("HomeDomain", "sms.db", "handle"), nullptr);
    EXPECT_FALSE(catalogue->tableSignatures()[2].Name().has_value());
}

TEST(SignatureParser, ElementTextRules) {
    // Only blanks are trimmed: a tab or line break around the text stays. An element whose
    // character data was interrupted by a child element's start keeps nothing before it.
    const auto catalogue = Parse(
        "<signatures><signature name='a' database='b' table='c'>"
        "<pattern><header>\t[0];[1] </header><columns>x<b/>y</columns></pattern>"
        "<pattern><header/><columns><![CDATA[ [9] ]]></columns></pattern>"
        "</signature></signatures>");
    const auto& patterns = catalogue->Find("a", "b", "c")->TablePatterns();
    ASSERT_EQ(patterns.size(), 2u);
    EXPECT_EQ(patterns[0].headerPattern(), OptString("\t[0];[1]"));
    EXPECT_EQ(patterns[0].columns(), OptString("y"));
    EXPECT_EQ(patterns[1].headerPattern(), OptString(""));
    EXPECT_EQ(patterns[1].columns(), OptString("[9]"));
}

TEST(SignatureParser, ColumnNumbers) {
    struct Case {
        std::optional<std::string> text;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"2", 2},   {"x", 0},   {std::nullopt, 0}, {" 12 ", 12}, {"1,234", 1234},
        {"2.7", 2}, {"-3", -3}, {"", 0},           {"1,,2", 0},  {"99999999999999999999", 0},
        {"3.x", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(SqLiteTableSignaturesParser::ParseColumnNumber(c.text), c.expected)
            << c.text.value_or("<none>");
}

TEST(SignatureParser, BadDocumentsKeepWhatWasCompleteAndNothingElse) {
    // An error part-way: signatures completed before it stay.
    const auto partial = Parse(
        "<signatures><signature name='a' database='b' table='1'/>"
        "<signature name='a' database='b' table='2'><pattern></signature></signatures>",
        false);
    EXPECT_NE(partial->Find("a", "b", "1"), nullptr);
    EXPECT_EQ(partial->Find("a", "b", "2"), nullptr);

    for (const char* bad : {"", "not xml at all", "<signatures>", "<?xml version='1.0'?><a></b>"})
        EXPECT_TRUE(Parse(bad, false)->tableSignatures().empty()) << bad;

    // A root other than <signatures> still yields its signatures.
    EXPECT_NE(
        Parse("<other><signature name='a' database='b' table='c'/></other>")->Find("a", "b", "c"),
        nullptr);

    // Declared entities are neither expanded nor fetched: no billion laughs, no file read.
    const std::string laughs =
        "<!DOCTYPE s [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>"
        "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'><!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'>"
        "<!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;'><!ENTITY f '&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;'>"
        "<!ENTITY x SYSTEM 'file:///etc/passwd'>]>"
        "<signatures><signature name='a' database='b' table='c'><pattern><header>&f;&x;</header>"
        "</pattern></signature></signatures>";
    const auto catalogue = std::make_shared<SqLiteTableSignatures>();
    SqLiteTableSignaturesParser parser(laughs);
    parser.setSqLiteTableSignatures(catalogue);
    parser.parseTableSignatures();
    for (const auto& signature : catalogue->tableSignatures())
        for (const auto& pattern : signature.TablePatterns())
            EXPECT_LT(pattern.headerPattern().value_or("").size(), 100u);
    // Nor is a small one: a document with a document type declaration is refused.
    EXPECT_TRUE(Parse("<!DOCTYPE s [<!ENTITY a 'x'>]><signatures>"
                      "<signature name='&a;' database='b' table='c'/></signatures>",
                      false)
                    ->tableSignatures()
                    .empty());
}

TEST(SignatureCatalogue, LoadsTheResourceFileAndSurvivesAMissingOne) {
    testsupport::TempDir dir;
    {
        std::ofstream out(dir / "RecoverySignatures.xml");
        out << kTwoTables;
    }
    // The resources folder is process-wide: put it back however the test ends.
    struct Restore {
        ~Restore() { AppPaths::setResourcesDirectory(std::nullopt); }
    } restore;
    AppPaths::setResourcesDirectory(dir.path().string());
    SqLiteTableSignatures catalogue;
    catalogue.loadSignatures();
    EXPECT_TRUE(catalogue.loaded());
    EXPECT_NE(catalogue.Find("HomeDomain", "sms.db", "HANDLE"), nullptr);

    AppPaths::setResourcesDirectory((dir / "nowhere").string());
    SqLiteTableSignatures empty;
    empty.loadSignatures();
    EXPECT_TRUE(empty.loaded());
    EXPECT_TRUE(empty.tableSignatures().empty());
    EXPECT_FALSE(empty.connected());
}

// A signature file that cannot serve carving is refused with its reason, never read through
// a FIFO (which would block for ever) and never read past the size limit.
TEST(SignatureCatalogue, AFileThatCannotServeCarvingSaysWhy) {
    const struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* reason;
    } cases[] = {
        {"missing", [](const std::filesystem::path&) {}, "cannot be opened"},
        {"empty", [](const std::filesystem::path& p) { std::ofstream{p}; },
         "not a well-formed signature file"},
        {"another root",
         [](const std::filesystem::path& p) { std::ofstream{p} << "<settings><a/></settings>"; },
         "holds no recovery signatures"},
        {"no signature inside",
         [](const std::filesystem::path& p) { std::ofstream{p} << "<signatures/>"; },
         "holds no recovery signatures"},
        {"a FIFO", [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "not a regular file"},
        {"a folder", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
         "not a regular file"},
        {"far too large",
         [](const std::filesystem::path& p) {
             std::ofstream{p};
             std::filesystem::resize_file(p, 65 * 1024 * 1024);  // sparse: costs no disk
         },
         "larger than"},
        // The shipped file cut short: the signatures before the cut are complete, yet a
        // catalogue of some data types only would have the others passed over unsaid.
        {"the shipped file cut at 120,000 bytes",
         [](const std::filesystem::path& p) { CopyStart(SqLiteTableSignatures::ResourcePath(), p, 120000); },
         "not a well-formed signature file"},
        {"the shipped file cut at 200,000 bytes",
         [](const std::filesystem::path& p) { CopyStart(SqLiteTableSignatures::ResourcePath(), p, 200000); },
         "not a well-formed signature file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const auto path = dir / "RecoverySignatures.xml";
        c.make(path);
        SqLiteTableSignatures catalogue;
        EXPECT_FALSE(catalogue.LoadSignaturesFile(path.string()));
        ASSERT_TRUE(catalogue.problem());
        EXPECT_NE(catalogue.problem()->find(c.reason), std::string::npos) << *catalogue.problem();
        EXPECT_NE(catalogue.problem()->find(path.string()), std::string::npos);
        EXPECT_TRUE(catalogue.tableSignatures().empty());
    }
    testsupport::TempDir dir;
    const auto good = dir / "RecoverySignatures.xml";
    std::ofstream{good} << kTwoTables;
    SqLiteTableSignatures catalogue;
    EXPECT_TRUE(catalogue.LoadSignaturesFile(good.string()));
    EXPECT_FALSE(catalogue.problem());
}

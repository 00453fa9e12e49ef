#include "common/CsvWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "csv-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(CsvWriter, QuotesOnlyFieldsThatNeedIt) {
    struct Case {
        std::string field, encoded;
    } cases[] = {
        {"plain text", "plain text"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rhere", "\"cr\rhere\""},
        {"line\xE2\x80\xA8sep", "\"line\xE2\x80\xA8sep\""},
        {"Grüße; 'quoted'", "Grüße; 'quoted'"},
    };
    for (const auto& c : cases) EXPECT_EQ(CsvWriter::EncodeField(c.field), c.encoded) << c.field;
}

TEST(CsvWriter, WritesLinesAndMovesTheFileIntoPlaceOnlyOnClose) {
    ScratchDir dir;
    const auto target = dir.path / "out.csv";
    {
        CsvWriter w(target.string());
        w.writeLineOfFields({"Name", std::nullopt, "x,y"});
        w.writeField(std::string("last"));
        w.writeLine();
        EXPECT_FALSE(std::filesystem::exists(target));
        ASSERT_TRUE(w.closeFile());
    }
    EXPECT_EQ(Slurp(target), "Name,,\"x,y\"\nlast\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);

    {  // An abandoned write leaves the earlier file untouched and no stray file.
        CsvWriter w(target.string());
        w.writeLineOfFields({"half"});
    }
    EXPECT_EQ(Slurp(target), "Name,,\"x,y\"\nlast\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

TEST(CsvWriter, UnwritableTargetIsAFailure) {
    CsvWriter w("/nonexistent-folder/out.csv");
    w.writeLineOfFields({"a"});
    EXPECT_FALSE(w.closeFile());
}

// A write that may only make a new file leaves anything under its name alone (a file, a link
// someone planted) and writes nothing through it; no temporary file stays behind.
TEST(CsvWriter, ANewFileOnlyWriteLeavesWhatIsThereAndFollowsNoLink) {
    ScratchDir dir;
    const auto victim = dir.path / "victim";
    std::ofstream(victim) << "keep";
    const auto target = dir.path / "out.csv";
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link" : "a file");
        std::filesystem::remove(target);
        if (link)
            std::filesystem::create_symlink(victim, target);
        else
            std::ofstream(target) << "older";
        CsvWriter w(target.string(), CsvWriter::Placement::NewFileOnly);
        w.writeLineOfFields({"new"});
        EXPECT_FALSE(w.closeFile());
        EXPECT_EQ(Slurp(victim), "keep");
        EXPECT_EQ(Slurp(target), link ? "keep" : "older");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2);
    }
    // Where the name is free the file is written, also under the longest name there can be.
    const auto longName = dir.path / (std::string(251, 'n') + ".csv");
    CsvWriter w(longName.string(), CsvWriter::Placement::NewFileOnly);
    w.writeLineOfFields({"new"});
    ASSERT_TRUE(w.closeFile());
    EXPECT_EQ(Slurp(longName), "new\n");
}

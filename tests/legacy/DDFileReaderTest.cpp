// The line reader: lines with their delimiter, chunk boundaries, trimmed lines and files that
// cannot be read.

#include "legacy/DDFileReader.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string WriteFile(const testsupport::TempDir& dir, const std::string& name, const std::string& bytes) {
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

std::vector<std::string> AllLines(DDFileReader& reader, bool trimmed = false) {
    std::vector<std::string> lines;
    while (auto line = trimmed ? reader.readTrimmedLine() : reader.readLine()) lines.push_back(*line);
    return lines;
}

std::span<const std::uint8_t> AsSpan(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

TEST(DDFileReader, ReadsLinesWithTheirDelimiter) {
    const struct {
        const char* name;
        std::string content;
        std::string delimiter;
        std::uint64_t chunk;
        std::vector<std::string> lines;
        std::vector<std::string> trimmed;
    } cases[] = {
        {"final break missing", "ab\ncd", "\n", 10, {"ab\n", "cd"}, {"ab", "cd"}},
        {"final break", "ab\ncd\n", "\n", 10, {"ab\n", "cd\n"}, {"ab", "cd"}},
        {"empty file", "", "\n", 10, {}, {}},
        {"CRLF, LF delimiter", "one\r\ntwo\r\n", "\n", 10, {"one\r\n", "two\r\n"}, {"one", "two"}},
        {"CRLF split over chunks", "abc\r\nd\r\n", "\r\n", 4, {"abc\r\n", "d\r\n"}, {"abc", "d"}},
        {"line longer than a chunk", "0123456789abcdefghij\n  x  ", "\n", 3,
         {"0123456789abcdefghij\n", "  x  "}, {"0123456789abcdefghij", "x"}},
        {"empty lines", "\n\n", "\n", 1, {"\n", "\n"}, {"", ""}},
        {"UTF-8 text", "Gr\xc3\xbc\xc3\x9f" "e\nok", "\n", 2, {"Gr\xc3\xbc\xc3\x9f" "e\n", "ok"}, {"Gr\xc3\xbc\xc3\x9f" "e", "ok"}},
        {"chunk size 0 reads bytewise", "a\nb", "\n", 0, {"a\n", "b"}, {"a", "b"}},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = WriteFile(dir, "lines", c.content);
        for (const bool trimmed : {false, true}) {
            auto reader = DDFileReader::initWithFilePath(path);
            ASSERT_TRUE(reader) << c.name;
            EXPECT_EQ(reader->lineDelimiter(), "\n");
            EXPECT_EQ(reader->chunkSize(), 10u);
            EXPECT_EQ(reader->totalFileLength(), c.content.size());
            reader->setLineDelimiter(c.delimiter);
            reader->setChunkSize(c.chunk);
            EXPECT_EQ(AllLines(*reader, trimmed), trimmed ? c.trimmed : c.lines) << c.name;
            EXPECT_FALSE(reader->readLine()) << c.name;
        }
    }
}

TEST(DDFileReader, EnumerationStopsOnRequestAndAtABadLine) {
    testsupport::TempDir dir;
    auto reader = DDFileReader::initWithFilePath(WriteFile(dir, "three", "a\nb\nc\n"));
    ASSERT_TRUE(reader);
    std::vector<std::string> seen;
    reader->enumerateLinesUsingBlock([&](const std::string& line, bool* stop) {
        seen.push_back(line);
        *stop = seen.size() == 2;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a\n", "b\n"}));
    EXPECT_EQ(reader->readLine(), "c\n");

    // A line that is not UTF-8 ends the lines.
    reader = DDFileReader::initWithFilePath(WriteFile(dir, "bad", "ok\n\xff\xfe\nafter\n"));
    ASSERT_TRUE(reader);
    seen.clear();
    reader->enumerateLinesUsingBlock([&](const std::string& line, bool*) { seen.push_back(line); });
    EXPECT_EQ(seen, (std::vector<std::string>{"ok\n"}));
}

TEST(DDFileReader, AFileThatCannotBeReadGivesNoReader) {
    testsupport::TempDir dir;
    EXPECT_FALSE(DDFileReader::initWithFilePath((dir / "missing").string()));
    EXPECT_FALSE(DDFileReader::initWithFilePath(dir.path().string()));
}

TEST(DDFileReader, RangeOfData) {
    const struct {
        std::string haystack, needle;
        std::size_t location;
    } cases[] = {{"abcabc", "ca", 2}, {"abc", "abc", 0}, {"abc", "d", kNotFound},
                 {"ab", "abc", kNotFound}, {"abc", "", kNotFound}, {"", "a", kNotFound}};
    for (const auto& c : cases) {
        const auto range = rangeOfData_dd(AsSpan(c.haystack), AsSpan(c.needle));
        EXPECT_EQ(range.first, c.location) << c.haystack << " / " << c.needle;
        EXPECT_EQ(range.second, c.needle.size());
    }
}

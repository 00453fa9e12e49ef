// Which bytes of a database file belong to live rows: cells of b-tree pages and the overflow
// pages of their rows, never freed cells, freelist pages or bytes that are no database.

#include "legacy/LegacyLiveCells.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::TempDir;

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::int64_t OffsetOf(const std::vector<std::uint8_t>& file, const std::string& text) {
    const auto at = std::search(file.begin(), file.end(), text.begin(), text.end());
    return at == file.end() ? -1 : static_cast<std::int64_t>(at - file.begin());
}

}  // namespace

TEST(LegacyLiveCells, LiveRowsAndTheirOverflowAreLiveAndFreedRowsAreNot) {
    TempDir dir;
    const std::string longText = "Overflowing text " + std::string(6000, 'x') + " end of the long row";
    {
        FixtureDatabase db(dir / "cells.db");
        db.exec("PRAGMA page_size = 1024; CREATE TABLE note (body TEXT);");
        db.insert("note", {{"body", "A row that stays"}});
        const auto freed = db.insert("note", {{"body", "A row that goes"}});
        db.insert("note", {{"body", longText}});
        // A whole page of rows that goes: its page ends on the freelist.
        db.exec("CREATE TABLE scratch (body TEXT);");
        for (int i = 0; i < 40; ++i) db.insert("scratch", {{"body", "Scratch row number " + std::to_string(i)}});
        db.exec("PRAGMA secure_delete = OFF; DROP TABLE scratch;");
        ASSERT_TRUE(db.deleteRow("note", freed));
        db.close();
    }
    const auto file = ReadFile(dir / "cells.db");
    const LegacyLiveCells cells(FileBytes(file.data(), file.size()));
    const struct {
        std::string text;
        bool live;
    } cases[] = {{"A row that stays", true},
                 {"A row that goes", false},
                 {"Overflowing text", true},
                 {"end of the long row", true},
                 {"Scratch row number 7", false}};
    for (const auto& c : cases) {
        const std::int64_t at = OffsetOf(file, c.text);
        ASSERT_GE(at, 0) << c.text;
        EXPECT_EQ(cells.contains(at), c.live) << c.text;
        EXPECT_EQ(cells.overlaps(at - 2, at + 3), c.live) << c.text;
    }
    // The same bytes without a file header hold no live cell.
    std::vector<std::uint8_t> headless = file;
    std::fill(headless.begin(), headless.begin() + 100, std::uint8_t{0});
    const LegacyLiveCells none(FileBytes(headless.data(), headless.size()));
    EXPECT_FALSE(none.contains(OffsetOf(file, "A row that stays")));
    EXPECT_FALSE(LegacyLiveCells(FileBytes()).contains(0));
}

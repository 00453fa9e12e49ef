#include "carving/BTreePage.h"
#include "carving/LivePages.h"
#include "carving/StoredTables.h"

#include "support/FixtureDatabase.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

// Shows a value as a test failure names it.
void PrintTo(const ColumnValue& value, std::ostream* out) {
    if (value.isNull())
        *out << "NULL";
    else if (value.isBlob())
        *out << "blob(" << value.blob()->size() << ")";
    else
        *out << (value.isText() ? "'" : "") << *value.toText() << (value.isText() ? "'" : "")
             << (value.isDouble() ? "d" : "");
}

namespace fs = std::filesystem;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

namespace {

// Rows of a table as SQLite reads them: row id -> values.
using RowMap = std::map<std::int64_t, std::vector<ColumnValue>>;

RowMap SqlRows(const fs::path& path, const std::string& table, int columns) {
    RowMap rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT rowid, * FROM " + table).c_str(), -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<ColumnValue> values;
        for (int i = 1; i <= columns; ++i) {
            switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER:
                    values.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
                    break;
                case SQLITE_FLOAT:
                    values.emplace_back(sqlite3_column_double(stmt, i));
                    break;
                case SQLITE_TEXT:
                    values.emplace_back(
                        std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))));
                    break;
                case SQLITE_BLOB: {
                    const auto* data =
                        static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, i));
                    values.emplace_back(Bytes(data, data + sqlite3_column_bytes(stmt, i)));
                    break;
                }
                default:
                    values.emplace_back();
            }
        }
        rows[sqlite3_column_int64(stmt, 0)] = values;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

RowMap StoredRows(const fs::path& path, const std::string& table) {
    RowMap rows;
    for (auto& row : StoredTables(path.string()).rows(table).rows) rows[row.rowId] = row.values;
    return rows;
}

void SetByte(const fs::path& path, std::int64_t offset, std::uint8_t value) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.put(static_cast<char>(value));
}

// A table of several levels with long texts on overflow pages, numbers, blobs and NULLs, some
// rows deleted so that pages went to the freelist; `more` is run last.
fs::path BuildPeople(const fs::path& path, const char* encoding, const std::string& more = {}) {
    FixtureDatabase db(path, {1024});
    db.exec(std::string("PRAGMA encoding = '") + encoding + "'");
    db.exec(
        "CREATE TABLE person (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, \"age\" "
        "INTEGER, score REAL, photo BLOB, note TEXT, CONSTRAINT u UNIQUE (name))");
    for (int i = 1; i <= 300; ++i) {
        testsupport::Row row = {
            {"name", ColumnValue("person " + std::to_string(i) + " \xC3\xA9")},
            {"age", ColumnValue(std::int64_t{i * 1000003})},
            {"score", ColumnValue(i / 7.0)},
            {"photo", ColumnValue(Bytes(static_cast<std::size_t>(i % 5), 0xAB))},
            {"note", i % 3 ? ColumnValue(std::string(i * 13, 'n')) : ColumnValue()}};
        db.insert("person", row);
    }
    db.exec("ALTER TABLE person ADD COLUMN added TEXT");
    db.deleteWhere("person", "ROWID BETWEEN 40 AND 160");
    if (!more.empty()) db.exec(more);
    db.close();
    return path;
}

// A second, narrower table of ten rows, written after the people.
std::string OtherTable() {
    std::string other = "CREATE TABLE other (id INTEGER PRIMARY KEY, word TEXT);";
    for (int i = 1000; i < 1010; ++i)
        other += "INSERT INTO other VALUES (" + std::to_string(i) + ", 'w');";
    return other;
}

}  // namespace

// The rows read from the file's own pages are the rows SQLite reads, in either text encoding,
// with overflow pages, a column added later and the row id's alias.
TEST(StoredTables, ReadsTheRowsSqliteReads) {
    for (const char* encoding : {"UTF-8", "UTF-16le", "UTF-16be"}) {
        SCOPED_TRACE(encoding);
        TempDir dir;
        const fs::path path = BuildPeople(dir / "people.sqlite", encoding);
        const StoredTables tables(path.string());
        ASSERT_TRUE(tables.readable());
        EXPECT_TRUE(tables.hasTable("PERSON"));
        EXPECT_FALSE(tables.hasTable("nobody"));
        EXPECT_EQ(
            tables.columnsOf("person"),
            (std::vector<std::string>{"ROWID", "name", "age", "score", "photo", "note", "added"}));
        const RowMap expected = SqlRows(path, "person", 7);
        ASSERT_EQ(expected.size(), 179u);
        EXPECT_EQ(StoredRows(path, "person"), expected);
        EXPECT_FALSE(tables.rows("person").damaged);
    }
}

// A file that SQLite refuses for one changed header byte still holds its rows.
TEST(StoredTables, ReadsAFileSqliteRefuses) {
    TempDir dir;
    const fs::path path = BuildPeople(dir / "people.sqlite", "UTF-8");
    const RowMap expected = SqlRows(path, "person", 7);
    SetByte(path, 23, 0xFF);
    EXPECT_TRUE(SqlRows(path, "person", 7).empty());
    EXPECT_EQ(StoredRows(path, "person"), expected);

    // A page of the table zeroed: the rows of the other pages are still read, and the damage
    // is said.
    const fs::path zeroed = BuildPeople(dir / "zeroed.sqlite", "UTF-8");
    std::int64_t leaf = 0;
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(zeroed.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT pageno FROM dbstat WHERE name = 'person' AND pagetype = 'leaf'",
                           -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW) leaf = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    ASSERT_GT(leaf, 1);
    for (int i = 0; i < 1024; ++i) SetByte(zeroed, (leaf - 1) * 1024 + i, 0);
    const auto rows = StoredTables(zeroed.string()).rows("person");
    EXPECT_TRUE(rows.damaged);
    EXPECT_FALSE(rows.rows.empty());
    EXPECT_LT(rows.rows.size(), expected.size());
    for (const auto& row : rows.rows) EXPECT_EQ(expected.at(row.rowId), row.values);

    // Garbage is no database.
    std::ofstream(dir / "garbage") << std::string(4096, 'g');
    EXPECT_FALSE(StoredTables((dir / "garbage").string()).readable());
    EXPECT_FALSE(StoredTables((dir / "missing").string()).readable());
}

// A child pointer of the table's b-tree changed to name a leaf of another table: the leaf it
// named is cut off from every b-tree but still holds live rows, which are read all the same.
TEST(StoredTables, ReadsLeavesCutOffFromTheTree) {
    TempDir dir;
    const fs::path path = BuildPeople(dir / "people.sqlite", "UTF-8", OtherTable());
    const RowMap expected = SqlRows(path, "person", 7);
    const auto rootOf = [&](const std::string& table) {
        return SqlRows(path, "sqlite_master WHERE name = '" + table + "'", 4)
            .begin()
            ->second.at(3)
            .asInteger();
    };
    const std::int64_t root = rootOf("person");
    const std::int64_t otherRoot = rootOf("other");
    ASSERT_GT(root, 1);
    ASSERT_GT(otherRoot, 1);
    // Down the left edge of the table's b-tree to the interior page above its first leaf.
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const auto pageOf = [&](std::int64_t number) {
        return ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()) + (number - 1) * 1024,
                        1024);
    };
    std::int64_t parent = root;
    for (int depth = 0; depth < 10; ++depth) {
        const auto cells = BTreePage::Cells(pageOf(parent), 0, 1024);
        ASSERT_EQ(BTreePage::TypeOf(pageOf(parent), 0), BTreePage::Type::InteriorTable);
        ASSERT_FALSE(cells.empty());
        if (BTreePage::TypeOf(pageOf(cells[0].leftChild), 0) == BTreePage::Type::LeafTable) break;
        parent = cells[0].leftChild;
    }
    const auto first = BTreePage::Cells(pageOf(parent), 0, 1024).at(0);
    const auto lost = BTreePage::Cells(pageOf(first.leftChild), 0, 1024);
    ASSERT_FALSE(lost.empty());
    for (int i = 0; i < 4; ++i)
        SetByte(path, (parent - 1) * 1024 + first.start + i,
                static_cast<std::uint8_t>(otherRoot >> (8 * (3 - i))));

    const auto rows = StoredTables(path.string()).rows("person");
    EXPECT_TRUE(rows.damaged);
    RowMap read;
    for (const auto& row : rows.rows) read[row.rowId] = row.values;
    for (const auto& cell : lost) {
        ASSERT_TRUE(read.count(cell.rowId)) << "row " << cell.rowId;
        EXPECT_EQ(read.at(cell.rowId), expected.at(cell.rowId));
    }
}

// A schema whose entry for a table was damaged (its name changed) names no such table, while
// its rows are still on the live pages: the rows of its width are read from every live leaf,
// those of a narrower table and those on freelist pages left out.
TEST(StoredTables, ReadsRowsOfAWidthWhereTheSchemaNamesNoTable) {
    TempDir dir;
    const fs::path path = BuildPeople(dir / "people.sqlite", "UTF-8", OtherTable());
    const RowMap expected = SqlRows(path, "person", 7);
    ASSERT_EQ(expected.size(), 179u);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    const std::size_t entry = bytes.find("tablepersonperson");
    ASSERT_NE(entry, std::string::npos);
    SetByte(path, static_cast<std::int64_t>(entry + 5), 'q');

    const StoredTables tables(path.string());
    ASSERT_TRUE(tables.readable());
    EXPECT_FALSE(tables.hasTable("person"));
    RowMap read;
    EXPECT_TRUE(tables.forEachRowOfWidth(6, 7, {}, [&](StoredTables::Row&& row) {
        EXPECT_FALSE(read.count(row.rowId)) << "row " << row.rowId << " read twice";
        read[row.rowId] = std::move(row.values);
    }));
    ASSERT_EQ(read.size(), expected.size());
    for (const auto& [rowId, values] : read) {
        ASSERT_TRUE(expected.count(rowId)) << "row " << rowId;
        ASSERT_GE(values.size(), 2u);
        EXPECT_EQ(values[1], expected.at(rowId)[1]) << "row " << rowId;
    }
}

// The indexes of a table name each of its live rows once, deleted ones not at all, also when
// the table's own pages are lost or the schema's entry for the table itself is damaged.
TEST(StoredTables, TheIndexesOfATableNameItsLiveRows) {
    TempDir dir;
    const auto pagesOf = [](const fs::path& path, const std::string& name) {
        std::vector<std::int64_t> pages;
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, ("SELECT pageno FROM dbstat WHERE name = '" + name + "'").c_str(),
                           -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) pages.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return pages;
    };
    const struct Case {
        const char* name;
        std::function<void(const fs::path&)> damage;
    } cases[] = {
        {"a sound file", [](const fs::path&) {}},
        {"the table's pages zeroed",
         [&](const fs::path& path) {
             const auto pages = pagesOf(path, "person");
             ASSERT_GT(pages.size(), 2u);
             for (const std::int64_t page : pages)
                 for (int i = 0; i < 1024; ++i) SetByte(path, (page - 1) * 1024 + i, 0);
         }},
        {"the table's name in the schema",
         [](const fs::path& path) {
             std::ifstream in(path, std::ios::binary);
             const std::string bytes((std::istreambuf_iterator<char>(in)), {});
             const std::size_t entry = bytes.find("tablepersonperson");
             ASSERT_NE(entry, std::string::npos);
             SetByte(path, static_cast<std::int64_t>(entry + 5), 'q');
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = BuildPeople(dir / (std::string(c.name) + ".sqlite"), "UTF-8",
                                          OtherTable() + "CREATE INDEX person_age ON person(age);");
        const RowMap expected = SqlRows(path, "person", 7);
        ASSERT_EQ(expected.size(), 179u);
        c.damage(path);
        std::map<std::int64_t, int> named;
        EXPECT_TRUE(StoredTables(path.string()).forEachIndexedRowId(
            "PERSON", {}, [&](std::int64_t rowId) { ++named[rowId]; }));
        ASSERT_EQ(named.size(), expected.size());
        for (const auto& [rowId, times] : named) {
            EXPECT_TRUE(expected.count(rowId)) << "row " << rowId;
            EXPECT_EQ(times, 2) << "row " << rowId;  // the unique name and the age
        }
    }
}

TEST(StoredTables, ReadsTheColumnsOfATableStatement) {
    const struct Case {
        const char* sql;
        std::vector<std::string> names;
        int alias;
    } cases[] = {
        {"CREATE TABLE t (a, b)", {"a", "b"}, -1},
        {"CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT "
         "NULL, text TEXT, date INTEGER DEFAULT (0))",
         {"ROWID", "guid", "text", "date"},
         0},
        {"CREATE TABLE \"x y\" ([first col] TEXT, \"sec\"\"ond\" INT, `third`, c DECIMAL(10, 2), "
         "PRIMARY KEY (c), FOREIGN KEY (a) REFERENCES o(id), CHECK (a > 0))",
         {"first col", "sec\"ond", "third", "c"},
         -1},
        {"CREATE TABLE z (Z_PK integer primary   key, ZNAME VARCHAR)", {"Z_PK", "ZNAME"}, 0},
        {"CREATE TABLE i (id INT PRIMARY KEY)", {"id"}, -1},
    };
    for (const Case& c : cases) {
        const auto columns = StoredTables::ParseCreateTable(c.sql);
        ASSERT_TRUE(columns) << c.sql;
        EXPECT_EQ(columns->names, c.names) << c.sql;
        EXPECT_EQ(columns->rowIdAlias, c.alias) << c.sql;
    }
    EXPECT_FALSE(StoredTables::ParseCreateTable("CREATE TABLE w (a PRIMARY KEY) WITHOUT ROWID"));
    EXPECT_FALSE(StoredTables::ParseCreateTable("CREATE TABLE broken (a, b"));
}

// The pages that hold live cells are exactly SQLite's b-tree pages (its freelist pages are
// not live), and every cell SQLite's pages list is a live cell, its whole extent.
TEST(LivePages, AgreeWithSqlitesOwnPageList) {
    for (const bool autoVacuum : {false, true}) {
        SCOPED_TRACE(autoVacuum ? "auto-vacuum" : "plain");
        TempDir dir;
        fs::path path = dir / "people.sqlite";
        {
            FixtureDatabase db(path, {1024, autoVacuum ? testsupport::AutoVacuum::Incremental
                                                       : testsupport::AutoVacuum::None});
            db.exec("CREATE TABLE t (a TEXT, b TEXT); CREATE INDEX tb ON t (b)");
            for (int i = 0; i < 400; ++i)
                db.insert("t", {{"a", ColumnValue(std::string(150, 'a'))},
                                {"b", ColumnValue("b" + std::to_string(i))}});
            db.deleteWhere("t", "rowid BETWEEN 100 AND 300");
            db.close();
        }
        std::map<std::int64_t, std::string> kinds;  // page -> "leaf", "internal", "overflow"
        {
            sqlite3* db = nullptr;
            sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(db, "SELECT pageno, pagetype FROM dbstat", -1, &stmt, nullptr);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                kinds[sqlite3_column_int64(stmt, 0)] =
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
            sqlite3_finalize(stmt);
            sqlite3_close(db);
        }
        SQLiteHeader header;
        ASSERT_TRUE(header.ReadSQLiteDatabaseHeader(path.string()));
        ASSERT_GT(header.PageNumberOfFirstListTrunkPage(), 0);
        PagedFile file;
        ASSERT_TRUE(file.open(path.string()));
        LivePages live;
        ASSERT_TRUE(live.read(file, header));
        std::vector<std::uint8_t> page(1024);
        int free = 0;
        for (std::int64_t n = 1; n <= header.PageCountInFile(); ++n) {
            const bool btree = kinds.count(n) && kinds[n] != "overflow";
            if (!kinds.count(n)) {
                ++free;
                EXPECT_FALSE(live.isLive(n)) << n;
            }
            if (!btree) continue;
            EXPECT_TRUE(live.isLive(n)) << n;
            ASSERT_EQ(file.readAt((n - 1) * 1024, page.data(), page.size()), 1024);
            const ByteView bytes(page.data(), page.size());
            const auto cells = BTreePage::Cells(bytes, BTreePage::HeaderOffset(n), 1024);
            EXPECT_EQ(static_cast<std::int64_t>(cells.size()),
                      ReadBigEndian16(page.data() + BTreePage::HeaderOffset(n) + 3));
            for (const auto& cell : cells) {
                EXPECT_TRUE(live.insideLiveCell(n, bytes, cell.start));
                EXPECT_TRUE(live.insideLiveCell(n, bytes, cell.end - 1));
            }
            // A freeblock's bytes are no cell's.
            const std::int64_t freeblock =
                ReadBigEndian16(page.data() + BTreePage::HeaderOffset(n) + 1);
            if (freeblock > 0) {
                EXPECT_FALSE(live.insideLiveCell(n, bytes, freeblock + 4));
            }
        }
        EXPECT_GT(free, 3);
    }
}

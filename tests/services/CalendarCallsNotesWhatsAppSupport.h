#pragma once

// Shared by the tests of the note, call, calendar and WhatsApp recovery: the application's
// signature file, a shared state record wired to a backup, and the check that a signature's
// patterns follow the real tables.

#include "CountingWindow.h"
#include "carving/HeaderMatcher.h"
#include "carving/SqLiteTableSignatures.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "support/BackupBuilder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace othertest {

// The application's own signature file, loaded once.
inline std::shared_ptr<const SqLiteTableSignatures> AppSignatures() {
    static std::once_flag once;
    static std::shared_ptr<const SqLiteTableSignatures> catalogue;
    std::call_once(once, [] {
        auto loaded = std::make_shared<SqLiteTableSignatures>();
        if (!loaded->LoadSignaturesFile(SqLiteTableSignatures::ResourcePath()))
            throw std::runtime_error("cannot load " + SqLiteTableSignatures::ResourcePath());
        catalogue = loaded;
    });
    return catalogue;
}

// A shared state record with the signatures loaded and a window that counts refreshes, and the
// device record of the backup a test builds.
class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        record.setWindow(window);
        record.recoverySignatures.set(AppSignatures());
    }

    // Points the record and the device at the backup folder.
    void useBackup(const testsupport::BackupBuilder& backup, std::int32_t iOSMajorVersion) {
        record.BACKUP_DIRECTORY.set(backup.folder().string());
        device.setBackupLocation(backup.folder().string());
        device.setIOSMajorVersion(iOSMajorVersion);
    }

    testsupport::TempDir dir;
    BrimleyAppDelegate record;
    std::shared_ptr<CountingWindow> window = std::make_shared<CountingWindow>();
    DeviceInfo device;
};

// The column names of a pattern, from its <columns> text.
inline std::vector<std::string> PatternColumns(const TablePattern& pattern) {
    std::istringstream in(pattern.columns().value_or(""));
    return {std::istream_iterator<std::string>(in), {}};
}

struct DeclaredColumn {
    std::string name;
    std::string type;
    bool primaryKey = false;
};

// The columns of a table of a schema file (changed by a statement, if one is given), in their
// record order.
inline std::vector<DeclaredColumn> SchemaColumns(const char* schemaFile, const char* table,
                                                 const char* change = nullptr) {
    testsupport::TempDir dir;
    auto db = testsupport::FixtureDatabase::FromSchema(dir / "schema.db", schemaFile);
    if (change) db.exec(change);
    sqlite3_stmt* info = nullptr;
    const std::string sql = std::string("PRAGMA table_info(") + table + ")";
    if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &info, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql);
    std::vector<DeclaredColumn> columns;
    while (sqlite3_step(info) == SQLITE_ROW)
        columns.push_back({reinterpret_cast<const char*>(sqlite3_column_text(info, 1)),
                           reinterpret_cast<const char*>(sqlite3_column_text(info, 2)),
                           sqlite3_column_int(info, 5) != 0});
    sqlite3_finalize(info);
    return columns;
}

struct SchemaTable {
    const char* schemaFile;
    const char* table;
    // A statement that changes the table as a later release did (ALTER TABLE ... ADD COLUMN).
    const char* change = nullptr;
};

// Every pattern of the signature follows one of the tables: its columns are that table's, from
// the first column or (for rows whose first serial type a freeblock head overwrote) the second;
// each position allows what the column's declared type can hold and nothing of another kind; the
// mappings name the columns expected of them (mapping name -> column name).
inline void ExpectPatternsFollowTables(const SQLiteSignature& signature,
                                       const std::vector<SchemaTable>& tables,
                                       const std::map<std::string, std::string>& mappedColumns) {
    ASSERT_FALSE(signature.TablePatterns().empty());
    std::vector<std::vector<DeclaredColumn>> declared;
    for (const auto& t : tables) declared.push_back(SchemaColumns(t.schemaFile, t.table, t.change));

    for (const TablePattern& pattern : signature.TablePatterns()) {
        const auto names = PatternColumns(pattern);
        SCOPED_TRACE(names.empty() ? std::string("<no columns>")
                                   : names.front() + "... (" + std::to_string(names.size()) + ")");
        // The table whose columns the pattern lists, and where in it the pattern starts.
        const std::vector<DeclaredColumn>* table = nullptr;
        std::size_t first = 0;
        for (const auto& columns : declared)
            for (std::size_t start : {std::size_t{0}, std::size_t{1}})
                if (!table && start + names.size() == columns.size() &&
                    std::equal(
                        names.begin(), names.end(), columns.begin() + static_cast<long>(start),
                        [](const std::string& n, const DeclaredColumn& c) { return n == c.name; }))
                    table = &columns, first = start;
        ASSERT_NE(table, nullptr) << "the pattern's columns are no table's";

        const auto header = pattern.Header();
        ASSERT_EQ(header.size(), names.size() + 1);
        for (std::size_t k = 0; k < names.size(); ++k) {
            const DeclaredColumn& column = (*table)[k + first];
            SCOPED_TRACE(column.name);
            const SerialTypeSet allowed = SerialTypeSet::FromValues(header[k + 1]);
            std::string type = column.type;
            std::transform(type.begin(), type.end(), type.begin(), ::toupper);
            if (column.primaryKey) {
                EXPECT_TRUE(allowed.accepts(0) && !allowed.accepts(1) && !allowed.accepts(13));
            } else if (type == "INTEGER") {
                EXPECT_TRUE(allowed.accepts(1) || allowed.accepts(4) || allowed.accepts(9));
                for (std::uint64_t t : {10, 11, 12, 13, 200}) EXPECT_FALSE(allowed.accepts(t)) << t;
            } else if (type == "REAL" || type == "FLOAT" || type == "TIMESTAMP") {
                // A stored real, or the integer SQLite writes for one without a fraction.
                EXPECT_TRUE(allowed.accepts(7) && allowed.accepts(4));
                for (std::uint64_t t : {10, 11, 12, 13, 200}) EXPECT_FALSE(allowed.accepts(t)) << t;
            } else {  // TEXT, VARCHAR, BLOB: a text or blob of any length from one byte on
                for (std::uint64_t t : {14, 15, 16, 99, 500, 100001})
                    EXPECT_TRUE(allowed.accepts(t)) << t;
                for (std::uint64_t t : {1, 4, 7}) EXPECT_FALSE(allowed.accepts(t)) << t;
            }
        }
        for (const auto& mapping : pattern.AttributesMapping()) {
            ASSERT_TRUE(mapping.Name().has_value());
            const auto expected = mappedColumns.find(*mapping.Name());
            ASSERT_NE(expected, mappedColumns.end()) << *mapping.Name();
            ASSERT_GE(mapping.Column(), 1);
            ASSERT_LE(static_cast<std::size_t>(mapping.Column()), names.size());
            EXPECT_EQ(names[static_cast<std::size_t>(mapping.Column()) - 1], expected->second)
                << *mapping.Name();
        }
    }
}

// ---- Which deleted rows a file still holds ----
// SQLite moves cells when it rebalances pages after deletions, and may overwrite freed rows
// then. A deleted row can be carved exactly when the bytes of its record from the second serial
// type on (what a freeblock head leaves of it) are still in the file.

// Every column of one row as SQLite stored it, in the table's column order.
inline std::vector<ColumnValue> ReadStoredRow(sqlite3* db, const std::string& table,
                                              std::int64_t rowId) {
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT * FROM " + table + " WHERE rowid = " + std::to_string(rowId);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql);
    std::vector<ColumnValue> row;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    row.emplace_back(std::int64_t{sqlite3_column_int64(statement, i)});
                    break;
                case SQLITE_FLOAT:
                    row.emplace_back(sqlite3_column_double(statement, i));
                    break;
                case SQLITE_TEXT:
                    row.emplace_back(std::string(
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, i)),
                        static_cast<std::size_t>(sqlite3_column_bytes(statement, i))));
                    break;
                case SQLITE_BLOB: {
                    const auto* p =
                        static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, i));
                    row.emplace_back(Bytes(p, p + sqlite3_column_bytes(statement, i)));
                    break;
                }
                default:
                    row.emplace_back(ColumnValue::Null());
            }
        }
    }
    sqlite3_finalize(statement);
    if (row.empty()) throw std::runtime_error("no row " + std::to_string(rowId) + " in " + table);
    return row;
}

inline void PutVarint(Bytes& out, std::uint64_t v) {
    std::uint8_t buffer[10];
    int n = 0;
    do {
        buffer[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v);
    for (int i = n - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(buffer[i] | (i ? 0x80 : 0)));
}

// The record bytes SQLite writes for a row from its second serial type on, then the content.
// Reals without a fraction are written as integers (the tables' REAL and TIMESTAMP columns).
inline Bytes RecordTail(const std::vector<ColumnValue>& row) {
    Bytes types, content;
    auto putInteger = [&](std::int64_t n) {
        if (n == 0 || n == 1) {
            types.push_back(n == 0 ? 8 : 9);
            return;
        }
        static const std::pair<int, std::int64_t> kWidths[] = {
            {1, 0x7F}, {2, 0x7FFF}, {3, 0x7FFFFF}, {4, 0x7FFFFFFF}, {6, 0x7FFFFFFFFFFF}};
        int type = 6, width = 8;
        for (int t = 0; t < 5; ++t)
            if (n <= kWidths[t].second && n >= -kWidths[t].second - 1) {
                type = t + 1, width = kWidths[t].first;
                break;
            }
        types.push_back(static_cast<std::uint8_t>(type));
        for (int b = width - 1; b >= 0; --b)
            content.push_back(static_cast<std::uint8_t>(n >> (8 * b)));
    };
    for (std::size_t i = 1; i < row.size(); ++i) {
        const ColumnValue& v = row[i];
        if (v.isNull()) {
            types.push_back(0);
        } else if (v.isInteger()) {
            putInteger(v.asInteger());
        } else if (v.isDouble()) {
            const double d = v.asDouble();
            if (d == std::trunc(d) && std::fabs(d) < 1e15) {
                putInteger(static_cast<std::int64_t>(d));
            } else {
                types.push_back(7);
                const auto bits = std::bit_cast<std::uint64_t>(d);
                for (int b = 7; b >= 0; --b)
                    content.push_back(static_cast<std::uint8_t>(bits >> (8 * b)));
            }
        } else if (v.isText()) {
            PutVarint(types, 13 + 2 * v.text()->size());
            content.insert(content.end(), v.text()->begin(), v.text()->end());
        } else if (v.isBlob()) {
            PutVarint(types, 12 + 2 * v.blob()->size());
            content.insert(content.end(), v.blob()->begin(), v.blob()->end());
        }
    }
    types.insert(types.end(), content.begin(), content.end());
    return types;
}

inline Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline bool Holds(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// The rows of a table as written, and whether the closed file still holds each of them whole.
class DeletedRows {
public:
    // Reads the row as it is stored now: call before deleting it, and before the table gains a
    // column (rows written earlier keep their fewer columns on disk).
    void remember(sqlite3* db, const std::string& table, std::int64_t rowId) {
        rows_[rowId] = RecordTail(ReadStoredRow(db, table, rowId));
    }
    // The remembered rows that the file still holds whole.
    std::set<std::int64_t> recoverable(const std::filesystem::path& file) const {
        const Bytes bytes = FileBytes(file);
        std::set<std::int64_t> result;
        for (const auto& [rowId, tail] : rows_)
            if (Holds(bytes, tail)) result.insert(rowId);
        return result;
    }
    // Of the remembered rows with these row ids, those the file still holds whole.
    std::set<std::int64_t> recoverable(const std::filesystem::path& file,
                                       const std::set<std::int64_t>& rowIds) const {
        std::set<std::int64_t> result;
        for (auto rowId : recoverable(file))
            if (rowIds.count(rowId)) result.insert(rowId);
        return result;
    }
    std::size_t size() const { return rows_.size(); }

private:
    std::map<std::int64_t, Bytes> rows_;
};

}  // namespace othertest

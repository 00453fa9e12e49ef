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
#include "support/StoredRecords.h"

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

// The rows of a table as written, and whether the closed file still holds each of them whole.
class DeletedRows {
public:
    // Reads the row as it is stored now: call before deleting it, and before the table gains a
    // column (rows written earlier keep their fewer columns on disk).
    void remember(sqlite3* db, const std::string& table, std::int64_t rowId) {
        const testsupport::StoredRow row = testsupport::ReadStoredRow(db, table, rowId);
        if (row.empty())
            throw std::runtime_error("no row " + std::to_string(rowId) + " in " + table);
        rows_[rowId] = testsupport::RecordTail(row, testsupport::IntegralReals::AsIntegers);
    }
    // The remembered rows that the file still holds whole.
    std::set<std::int64_t> recoverable(const std::filesystem::path& file) const {
        const Bytes bytes = testsupport::FileBytes(file);
        std::set<std::int64_t> result;
        for (const auto& [rowId, tail] : rows_)
            if (testsupport::ContainsBytes(bytes, tail)) result.insert(rowId);
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

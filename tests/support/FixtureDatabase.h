#pragma once

#include "common/ColumnValue.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

namespace testsupport {

// The folder of real iOS database schemas (one .sql file per database and iOS era).
std::filesystem::path SchemaDir();
// The SQL text of one schema file of SchemaDir(), e.g. "sms-ios9.sql". Throws when missing.
std::string LoadSchema(std::string_view schemaFile);

enum class AutoVacuum { None = 0, Full = 1, Incremental = 2 };

struct DatabaseOptions {
    int pageSize = 4096;                    // a power of two from 512 to 65536
    AutoVacuum autoVacuum = AutoVacuum::None;
};

using Row = std::vector<std::pair<std::string, ColumnValue>>;

// A real SQLite file built at test time: created fresh (an existing file is replaced), with
// secure_delete off so that deleted rows stay in free space where the carver can find them,
// and a rollback journal so that closing leaves one self-contained file.
// Every failure throws std::runtime_error with SQLite's message.
class FixtureDatabase {
public:
    FixtureDatabase(std::filesystem::path path, DatabaseOptions options = {});
    // A new database at path with the tables of one schema file of SchemaDir(). Triggers that
    // call Apple's own SQL functions are commented out in those files, but a column declared
    // DEFAULT (ab_generate_guid()) is kept: an insert must give such a column a value.
    static FixtureDatabase FromSchema(std::filesystem::path path, std::string_view schemaFile,
                                      DatabaseOptions options = {});
    ~FixtureDatabase();
    FixtureDatabase(FixtureDatabase&& other) noexcept;
    FixtureDatabase& operator=(FixtureDatabase&& other) noexcept;
    FixtureDatabase(const FixtureDatabase&) = delete;
    FixtureDatabase& operator=(const FixtureDatabase&) = delete;

    // Runs one or more SQL statements.
    void exec(std::string_view sql);
    // Inserts one row with every value bound as a parameter; returns its row id.
    std::int64_t insert(std::string_view table, const Row& row);
    // Deletes the rows that match a WHERE clause (written without "WHERE"); returns how many.
    int deleteWhere(std::string_view table, std::string_view condition);
    // Deletes one row by its row id; returns whether it existed.
    bool deleteRow(std::string_view table, std::int64_t rowId);
    // The first column of the first row of a query, or NULL when it returns no row.
    ColumnValue queryValue(std::string_view sql);
    // Gives the file the schema format number of an older SQLite (1 to 4; the file's header
    // bytes 44-47), as a file first made by it keeps through later versions, and opens it again:
    // SQLite writes the rows that follow as that format has it (below 4: the integers 0 and 1
    // as one-byte integers instead of the serial types 8 and 9).
    void setSchemaFormat(int format);
    // Closes the connection; the file is then complete on disk. Further calls throw.
    void close();

    const std::filesystem::path& path() const { return path_; }
    sqlite3* handle() const { return db_; }

private:
    std::filesystem::path path_;
    sqlite3* db_ = nullptr;
};

// A unique folder below the system's temporary folder, removed with everything in it when the
// object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace testsupport

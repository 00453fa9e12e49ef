#include "support/FixtureDatabase.h"

#include <sqlite3.h>
#include <stdlib.h>  // mkdtemp

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#ifndef TORVANE_IOS_SCHEMA_DIR
#error "TORVANE_IOS_SCHEMA_DIR must name the folder of the iOS schema files"
#endif

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Schema files are long; an error message quotes only the start of the failing statement.
std::string Excerpt(std::string_view sql) {
    constexpr std::size_t kMaxQuoted = 400;
    if (sql.size() <= kMaxQuoted) return std::string(sql);
    return std::string(sql.substr(0, kMaxQuoted)) + "...";
}

[[noreturn]] void Fail(sqlite3* db, std::string_view what, std::string_view sql) {
    std::string message = "SQLite: ";
    message += what;
    message += ": ";
    message += db ? sqlite3_errmsg(db) : "no connection";
    if (!sql.empty()) {
        message += " [SQL: ";
        message += Excerpt(sql);
        message += "]";
    }
    throw std::runtime_error(message);
}

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Prepares the first statement of sql; tail receives what follows it. A null statement means
// sql held only whitespace or comments.
Statement Prepare(sqlite3* db, std::string_view sql, std::string_view* tail = nullptr) {
    if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::runtime_error("SQLite: statement too long");
    sqlite3_stmt* raw = nullptr;
    const char* rest = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &rest) != SQLITE_OK)
        Fail(db, "prepare failed", sql);
    if (tail) *tail = sql.substr(static_cast<std::size_t>(rest - sql.data()));
    return Statement(raw);
}

// Runs a prepared statement to its end, skipping any rows it returns.
void RunToEnd(sqlite3* db, sqlite3_stmt* statement) {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Fail(db, "step failed", sqlite3_sql(statement));
}

std::string QuoteIdentifier(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void Bind(sqlite3* db, sqlite3_stmt* statement, int index, const ColumnValue& value) {
    int rc;
    if (value.isNull()) {
        rc = sqlite3_bind_null(statement, index);
    } else if (value.isInteger()) {
        rc = sqlite3_bind_int64(statement, index, value.asInteger());
    } else if (value.isDouble()) {
        rc = sqlite3_bind_double(statement, index, value.asDouble());
    } else if (const std::string* text = value.text()) {
        rc = sqlite3_bind_text64(statement, index, text->data(), text->size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    } else {
        const Bytes& blob = *value.blob();
        // A null data pointer would bind NULL; an empty blob must stay a blob.
        rc = blob.empty() ? sqlite3_bind_zeroblob(statement, index, 0)
                          : sqlite3_bind_blob64(statement, index, blob.data(), blob.size(),
                                                SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) Fail(db, "bind failed", sqlite3_sql(statement));
}

ColumnValue ReadColumn(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return ColumnValue(static_cast<std::int64_t>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return ColumnValue(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        return ColumnValue(std::string(text ? text : "", text ? static_cast<std::size_t>(size) : 0));
    }
    case SQLITE_BLOB: {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        return ColumnValue(data ? Bytes(data, data + size) : Bytes{});
    }
    default:
        return ColumnValue::Null();
    }
}

bool IsValidPageSize(int size) {
    return size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
}

void RemoveIfPresent(const fs::path& file) {
    std::error_code error;
    fs::remove(file, error);
    if (error) throw std::runtime_error("cannot remove " + file.string() + ": " + error.message());
}

}  // namespace

fs::path SchemaDir() {
    if (const char* overridden = std::getenv("TORVANE_IOS_SCHEMA_DIR");
        overridden && *overridden)
        return fs::path(overridden);
    return fs::path(TORVANE_IOS_SCHEMA_DIR);
}

std::string LoadSchema(std::string_view schemaFile) {
    const fs::path file = SchemaDir() / schemaFile;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read schema file " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw std::runtime_error("cannot read schema file " + file.string());
    return std::move(text).str();
}

FixtureDatabase::FixtureDatabase(fs::path path, DatabaseOptions options) : path_(std::move(path)) {
    if (!IsValidPageSize(options.pageSize))
        throw std::runtime_error("page size " + std::to_string(options.pageSize) +
                                 " is not a power of two from 512 to 65536");
    // A leftover journal next to a fresh file would be rolled back into it on open.
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        RemoveIfPresent(fs::path(path_.string() + suffix));

    const std::string name = path_.string();
    if (sqlite3_open_v2(name.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("SQLite: cannot create " + name + ": " + message);
    }
    try {
        sqlite3_extended_result_codes(db_, 1);
        // Page size and auto-vacuum only take effect while the file has no table yet.
        exec("PRAGMA page_size=" + std::to_string(options.pageSize) + ";");
        exec("PRAGMA auto_vacuum=" + std::to_string(static_cast<int>(options.autoVacuum)) + ";");
        // Some builds default to secure_delete on, which would zero the deleted rows the
        // carving tests look for.
        exec("PRAGMA secure_delete=OFF;");
        exec("PRAGMA journal_mode=DELETE;");
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

FixtureDatabase FixtureDatabase::FromSchema(fs::path path, std::string_view schemaFile,
                                            DatabaseOptions options) {
    const std::string schema = LoadSchema(schemaFile);
    FixtureDatabase database(std::move(path), options);
    try {
        database.exec(schema);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string(schemaFile) + ": " + error.what());
    }
    return database;
}

FixtureDatabase::~FixtureDatabase() {
    if (!db_) return;
    sqlite3_stmt* statement;
    while ((statement = sqlite3_next_stmt(db_, nullptr)) != nullptr) sqlite3_finalize(statement);
    if (sqlite3_close(db_) != SQLITE_OK)
        std::cerr << "FixtureDatabase: cannot close " << path_ << ": " << sqlite3_errmsg(db_) << '\n';
}

FixtureDatabase::FixtureDatabase(FixtureDatabase&& other) noexcept
    : path_(std::move(other.path_)), db_(std::exchange(other.db_, nullptr)) {}

FixtureDatabase& FixtureDatabase::operator=(FixtureDatabase&& other) noexcept {
    if (this != &other) {
        FixtureDatabase old(std::move(*this));  // closes the current connection
        path_ = std::move(other.path_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

void FixtureDatabase::exec(std::string_view sql) {
    if (!db_) throw std::runtime_error("SQLite: database " + path_.string() + " is closed");
    // One statement at a time, so that an error names the statement that failed.
    while (!sql.empty()) {
        std::string_view tail;
        Statement statement = Prepare(db_, sql, &tail);
        if (statement) RunToEnd(db_, statement.get());
        sql = tail;
    }
}

std::int64_t FixtureDatabase::insert(std::string_view table, const Row& row) {
    if (!db_) throw std::runtime_error("SQLite: database " + path_.string() + " is closed");
    std::string sql = "INSERT INTO " + QuoteIdentifier(table);
    if (row.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        std::string columns;
        std::string placeholders;
        for (const auto& [column, value] : row) {
            if (!columns.empty()) {
                columns += ", ";
                placeholders += ", ";
            }
            columns += QuoteIdentifier(column);
            placeholders += '?';
        }
        sql += " (" + columns + ") VALUES (" + placeholders + ")";
    }
    Statement statement = Prepare(db_, sql);
    for (std::size_t i = 0; i < row.size(); ++i)
        Bind(db_, statement.get(), static_cast<int>(i + 1), row[i].second);
    RunToEnd(db_, statement.get());
    return sqlite3_last_insert_rowid(db_);
}

int FixtureDatabase::deleteWhere(std::string_view table, std::string_view condition) {
    if (!db_) throw std::runtime_error("SQLite: database " + path_.string() + " is closed");
    if (condition.find_first_not_of(" \t\r\n") == std::string_view::npos)
        throw std::runtime_error("deleteWhere needs a condition; pass \"1\" to delete every row");
    const std::string sql =
        "DELETE FROM " + QuoteIdentifier(table) + " WHERE " + std::string(condition);
    Statement statement = Prepare(db_, sql);
    RunToEnd(db_, statement.get());
    return sqlite3_changes(db_);
}

bool FixtureDatabase::deleteRow(std::string_view table, std::int64_t rowId) {
    if (!db_) throw std::runtime_error("SQLite: database " + path_.string() + " is closed");
    const std::string sql = "DELETE FROM " + QuoteIdentifier(table) + " WHERE rowid = ?";
    Statement statement = Prepare(db_, sql);
    Bind(db_, statement.get(), 1, ColumnValue(rowId));
    RunToEnd(db_, statement.get());
    return sqlite3_changes(db_) > 0;
}

ColumnValue FixtureDatabase::queryValue(std::string_view sql) {
    if (!db_) throw std::runtime_error("SQLite: database " + path_.string() + " is closed");
    std::string_view tail;
    Statement statement = Prepare(db_, sql, &tail);
    if (!statement) throw std::runtime_error("SQLite: no statement in query [SQL: " + Excerpt(sql) + "]");
    // A second statement would silently not run.
    if (tail.find_first_not_of(" \t\r\n;") != std::string_view::npos)
        throw std::runtime_error("SQLite: queryValue takes one statement [SQL: " + Excerpt(sql) + "]");
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) return ColumnValue::Null();
    if (rc != SQLITE_ROW) Fail(db_, "step failed", sql);
    return ReadColumn(statement.get(), 0);
}

void FixtureDatabase::close() {
    if (!db_) throw std::runtime_error("SQLite: database " + path_.string() + " is already closed");
    // Statements left open through handle() would keep the connection busy.
    sqlite3_stmt* statement;
    while ((statement = sqlite3_next_stmt(db_, nullptr)) != nullptr) sqlite3_finalize(statement);
    if (sqlite3_close(db_) != SQLITE_OK) Fail(db_, "close failed", {});
    db_ = nullptr;
}

void FixtureDatabase::setSchemaFormat(int format) {
    if (format < 1 || format > 4) throw std::runtime_error("schema formats are 1 to 4");
    close();
    {
        std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
        const char bytes[4] = {0, 0, 0, static_cast<char>(format)};
        if (!file.seekp(44) || !file.write(bytes, sizeof bytes) || !file.flush())
            throw std::runtime_error("cannot write the header of " + path_.string());
    }
    const std::string name = path_.string();
    if (sqlite3_open_v2(name.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("SQLite: cannot open " + name + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    exec("PRAGMA secure_delete=OFF;");
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "torvane-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
    if (!error) return;
    // A test may have made a folder read-only (backups are only ever read); give the
    // owner write access back (each folder before the walk enters it), then try again.
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    error.clear();
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->symlink_status(ignored).type() == fs::file_type::directory)
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    error.clear();
    fs::remove_all(path_, error);
    if (error) std::cerr << "TempDir: cannot remove " << path_ << ": " << error.message() << '\n';
}

}  // namespace testsupport

#include "database/SqliteConnection.h"

#include "common/FileUtils.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// The stop token of the scope the calling thread stands in (SqliteStopScope).
thread_local std::stop_token tCurrentStop;

// How many virtual-machine steps SQLite takes between two looks at the stop token: a look is
// one atomic load, and thousands of steps take well under a millisecond.
constexpr int kStepsBetweenStopChecks = 4096;

// How many columns a query may read as empty before it is given up: each one costs a prepare.
constexpr int kMostColumnsReadAsEmpty = 32;

int InterruptWhenStopped(void*) {
    return tCurrentStop.stop_requested() ? 1 : 0;
}

// What a connection refuses to read: the views of its file. A view's rows are made by whatever
// SQL the file holds, which may never end; a backup's own tables are all the scan reads.
struct ConnectionGuard {
    std::vector<std::string> views;  // lower-cased
};

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

bool EqualIgnoringAsciiCase(std::string_view lower, std::string_view name) {
    if (lower.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (lower[i] != LowerAscii(name[i])) return false;
    return true;
}

bool IsIdentifierByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// The statement with every reference to the column (as SQLite's complaint spells it: "name" or
// "table.name", compared without regard to ASCII case) replaced by NULL. Texts in quotes stay as
// they are, and so does a name that follows AS (a result's own name). Empty when there is none.
std::string WithColumnAsNull(std::string_view sql, std::string_view column) {
    std::string result;
    bool replaced = false;
    std::string_view lastWord;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::size_t end = sql.find(close, i + 1);
            end = end == std::string_view::npos ? sql.size() : end + 1;
            // A quoted name ("[date]") is the column's name too; a text in single quotes never is.
            const std::string_view inner = sql.substr(i + 1, end > i + 1 ? end - i - 2 : 0);
            const bool afterAs = lastWord.size() == 2 && LowerAscii(lastWord) == "as";
            if (c != '\'' && !afterAs && (i == 0 || sql[i - 1] != '.') && inner.size() == column.size() &&
                EqualIgnoringAsciiCase(LowerAscii(column), inner)) {
                result += "NULL";
                replaced = true;
            } else {
                result.append(sql.substr(i, end - i));
            }
            lastWord = {};
            i = end;
            continue;
        }
        if (!IsIdentifierByte(c) || (i > 0 && IsIdentifierByte(sql[i - 1]))) {
            result += c;
            if (c != ' ' && c != '\n' && c != '\t') lastWord = {};
            ++i;
            continue;
        }
        // A word, or a word qualified by another ("table.column").
        std::size_t end = i;
        while (end < sql.size() && IsIdentifierByte(sql[end])) ++end;
        if (end + 1 < sql.size() && sql[end] == '.' && IsIdentifierByte(sql[end + 1])) {
            ++end;
            while (end < sql.size() && IsIdentifierByte(sql[end])) ++end;
        }
        const std::string_view word = sql.substr(i, end - i);
        const bool qualifiedHere = i > 0 && sql[i - 1] == '.';
        const bool afterAs = lastWord.size() == 2 && LowerAscii(lastWord) == "as";
        if (!qualifiedHere && !afterAs && word.size() == column.size() &&
            EqualIgnoringAsciiCase(LowerAscii(column), word)) {
            result += "NULL";
            replaced = true;
        } else {
            result.append(word);
        }
        lastWord = word;
        i = end;
    }
    return replaced ? result : std::string();
}

void LogSqliteError(const char* what, sqlite3* db, std::string_view detail) {
    std::fprintf(stderr, "torvane: %s: %s (%.*s)\n", what,
                 db ? sqlite3_errmsg(db) : "no connection", static_cast<int>(detail.size()),
                 detail.data());
}

bool BindArgument(sqlite3_stmt* stmt, int index, const ColumnValue& value) {
    if (value.isNull()) return sqlite3_bind_null(stmt, index) == SQLITE_OK;
    if (value.isInteger()) return sqlite3_bind_int64(stmt, index, value.asInteger()) == SQLITE_OK;
    if (value.isDouble()) return sqlite3_bind_double(stmt, index, value.asDouble()) == SQLITE_OK;
    if (const std::string* text = value.text())
        return sqlite3_bind_text64(stmt, index, text->data(), text->size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8) == SQLITE_OK;
    const Bytes* blob = value.blob();
    return sqlite3_bind_blob64(stmt, index, blob->data(), blob->size(), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

}  // namespace

// A prepared statement with the lower-cased names of its result columns.
struct SqlitePreparedStatement {
    std::string sql;
    sqlite3_stmt* stmt = nullptr;
    std::vector<std::string> lowerNames;

    SqlitePreparedStatement() = default;
    SqlitePreparedStatement(const SqlitePreparedStatement&) = delete;
    SqlitePreparedStatement& operator=(const SqlitePreparedStatement&) = delete;
    ~SqlitePreparedStatement() { sqlite3_finalize(stmt); }
};

// The idle prepared statements of one connection, by their text. A statement in use belongs to
// its result set; a statement given back is reset and waits for the next query of its text. The
// cache keeps the connection open while a statement lives.
class SqliteStatementCache {
public:
    explicit SqliteStatementCache(std::shared_ptr<sqlite3> db) : db_(std::move(db)) {}
    ~SqliteStatementCache() {
        // Statements are finalised before the connection may close.
        idle_.clear();
    }

    sqlite3* db() const { return db_.get(); }

    // Whether this is the first time the text failed to prepare. A backup's file does not change
    // under the connection, so a text that failed once fails again: it is not tried again, and
    // a lookup that runs per row leaves one line in the log, not one per row.
    bool firstFailure(std::string_view sql) {
        std::lock_guard lock(mutex_);
        if (failed_.size() >= kMaxIdle) return false;
        return failed_.emplace(sql).second;
    }
    // Whether this is the first time the text prepared only with columns read as empty.
    bool firstEmptied(std::string_view sql) {
        std::lock_guard lock(mutex_);
        if (emptied_.size() >= kMaxIdle) return false;
        return emptied_.emplace(sql).second;
    }
    bool failedBefore(std::string_view sql) {
        std::lock_guard lock(mutex_);
        return failed_.count(std::string(sql)) != 0;
    }

    std::unique_ptr<SqlitePreparedStatement> take(std::string_view sql) {
        std::lock_guard lock(mutex_);
        const auto it = idle_.find(std::string(sql));
        if (it == idle_.end()) return nullptr;
        auto prepared = std::move(it->second);
        idle_.erase(it);
        return prepared;
    }

    void giveBack(std::unique_ptr<SqlitePreparedStatement> prepared) {
        sqlite3_reset(prepared->stmt);
        sqlite3_clear_bindings(prepared->stmt);
        std::lock_guard lock(mutex_);
        // One idle statement per text; a second one (a query nested in a walk of its own text)
        // is finalised.
        if (idle_.size() >= kMaxIdle) return;
        std::string sql = prepared->sql;
        idle_.try_emplace(std::move(sql), std::move(prepared));
    }

private:
    static constexpr std::size_t kMaxIdle = 256;
    std::shared_ptr<sqlite3> db_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::unique_ptr<SqlitePreparedStatement>> idle_;
    std::unordered_set<std::string> failed_;
    std::unordered_set<std::string> emptied_;
};

// ---- SqliteResultSet ----

SqliteResultSet::SqliteResultSet(std::shared_ptr<SqliteStatementCache> cache,
                                 SqlitePreparedStatement* prepared)
    : cache_(std::move(cache)), prepared_(prepared), stmt_(prepared->stmt) {}

SqliteResultSet::~SqliteResultSet() {
    close();
}

SqliteResultSet::SqliteResultSet(SqliteResultSet&& other) noexcept
    : cache_(std::move(other.cache_)),
      prepared_(std::exchange(other.prepared_, nullptr)),
      stmt_(std::exchange(other.stmt_, nullptr)),
      onRow_(std::exchange(other.onRow_, false)),
      failed_(std::exchange(other.failed_, false)) {}

SqliteResultSet& SqliteResultSet::operator=(SqliteResultSet&& other) noexcept {
    if (this != &other) {
        close();
        cache_ = std::move(other.cache_);
        prepared_ = std::exchange(other.prepared_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
        onRow_ = std::exchange(other.onRow_, false);
        failed_ = std::exchange(other.failed_, false);
    }
    return *this;
}

void SqliteResultSet::close() {
    std::unique_ptr<SqlitePreparedStatement> prepared(std::exchange(prepared_, nullptr));
    if (prepared && cache_) cache_->giveBack(std::move(prepared));
    stmt_ = nullptr;
    onRow_ = false;
    cache_.reset();
}

bool SqliteResultSet::next() {
    if (!stmt_) return false;
    const int rc = sqlite3_step(stmt_);
    onRow_ = rc == SQLITE_ROW;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        failed_ = true;
        // A stop request (SqliteStopScope) ends the walk without complaint.
        if (rc != SQLITE_INTERRUPT)
            LogSqliteError("query step failed", cache_ ? cache_->db() : nullptr, sqlite3_sql(stmt_));
    }
    return onRow_;
}

int SqliteResultSet::columnIndex(std::string_view name) const {
    if (!prepared_) return -1;
    const auto& names = prepared_->lowerNames;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (EqualIgnoringAsciiCase(names[i], name)) return static_cast<int>(i);
    return -1;
}

OptString SqliteResultSet::stringForColumn(std::string_view name) const {
    const int i = columnIndex(name);
    if (!onRow_ || i < 0 || sqlite3_column_type(stmt_, i) == SQLITE_NULL) return std::nullopt;
    const auto* text = sqlite3_column_text(stmt_, i);
    const int size = sqlite3_column_bytes(stmt_, i);
    if (!text) return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::int32_t SqliteResultSet::intForColumn(std::string_view name) const {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(longLongIntForColumn(name))));
}

std::int64_t SqliteResultSet::longLongIntForColumn(std::string_view name) const {
    const int i = columnIndex(name);
    if (!onRow_ || i < 0) return 0;
    return sqlite3_column_int64(stmt_, i);
}

double SqliteResultSet::doubleForColumn(std::string_view name) const {
    const int i = columnIndex(name);
    if (!onRow_ || i < 0) return 0.0;
    return sqlite3_column_double(stmt_, i);
}

ColumnValue SqliteResultSet::valueForColumn(std::string_view name) const {
    const int i = columnIndex(name);
    if (!onRow_ || i < 0) return ColumnValue::Null();
    switch (sqlite3_column_type(stmt_, i)) {
        case SQLITE_INTEGER:
            return ColumnValue(static_cast<std::int64_t>(sqlite3_column_int64(stmt_, i)));
        case SQLITE_FLOAT:
            return ColumnValue(sqlite3_column_double(stmt_, i));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
            const int size = sqlite3_column_bytes(stmt_, i);
            return ColumnValue(std::string(text ? text : "", static_cast<std::size_t>(size)));
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, i));
            const int size = sqlite3_column_bytes(stmt_, i);
            return ColumnValue(data ? Bytes(data, data + size) : Bytes());
        }
        default:
            return ColumnValue::Null();
    }
}

// ---- SqliteConnection ----

std::string SqliteConnection::ReadOnlyUri(std::string_view path) {
    // Everything but unreserved characters and "/" is percent-escaped, so "?", "#" and "%" in a
    // folder name stay part of the path. An absolute path gets an empty authority ("file:///").
    static const char* const hex = "0123456789ABCDEF";
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 0x0F];
        }
    }
    uri += "?mode=ro&immutable=1";
    return uri;
}

std::shared_ptr<SqliteConnection> SqliteConnection::OpenReadOnly(const std::string& path) {
    std::shared_ptr<SqliteConnection> connection(new SqliteConnection());
    connection->path_ = path;
    // SQLite would open an empty name as a new temporary database.
    if (path.empty()) return connection;
    // A file the backup lacks is no failure of SQLite: the scan says once which files the backup
    // lacks (ScanContext::locate).
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return connection;
    // Opening a pipe or a device would wait for a writer that may never come.
    if (const std::string refusal = RefusalToOpen(path); !refusal.empty()) {
        std::fprintf(stderr, "torvane: cannot open database: %s (%s)\n", refusal.c_str(), path.c_str());
        return connection;
    }
    sqlite3* raw = nullptr;
    // FULLMUTEX: a screen's connection may be read from the main thread and a helper thread.
    const int rc =
        sqlite3_open_v2(ReadOnlyUri(path).c_str(), &raw,
                        SQLITE_OPEN_URI | SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        LogSqliteError("cannot open database", raw, path);
        sqlite3_close_v2(raw);
        return connection;
    }
    WatchForStop(raw);
    auto guard = std::make_shared<ConnectionGuard>();
    {
        sqlite3_stmt* views = nullptr;
        if (sqlite3_prepare_v2(raw, "SELECT name FROM sqlite_master WHERE type = 'view'", -1, &views,
                               nullptr) == SQLITE_OK)
            while (sqlite3_step(views) == SQLITE_ROW)
                if (const auto* name = sqlite3_column_text(views, 0))
                    guard->views.push_back(LowerAscii(reinterpret_cast<const char*>(name)));
        sqlite3_finalize(views);
    }
    sqlite3_set_authorizer(
        raw,
        [](void* data, int action, const char* table, const char*, const char*, const char* within) {
            const auto& views = static_cast<const ConnectionGuard*>(data)->views;
            const auto isView = [&](const char* name) {
                if (!name) return false;
                for (const std::string& view : views)
                    if (EqualIgnoringAsciiCase(view, name)) return true;
                return false;
            };
            return (action == SQLITE_READ && isView(table)) || isView(within) ? SQLITE_DENY : SQLITE_OK;
        },
        guard.get());
    // The guard lives as long as the connection that reads it.
    connection->db_ = std::shared_ptr<sqlite3>(raw, [guard](sqlite3* db) { sqlite3_close_v2(db); });
    connection->statements_ = std::make_shared<SqliteStatementCache>(connection->db_);
    return connection;
}

std::string SqliteConnection::RefusalToOpen(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
    const std::string kind = FileUtils::kindOfNonRegularFile(info.st_mode);
    if (kind.empty()) return {};
    if (S_ISSOCK(info.st_mode) || kind == "no regular file") return "it is no regular file";
    return "it is " + kind + ", not a database file";
}

void SqliteConnection::WatchForStop(sqlite3* db) {
    sqlite3_progress_handler(db, kStepsBetweenStopChecks, &InterruptWhenStopped, nullptr);
}

SqliteStopScope::SqliteStopScope(std::stop_token stop) : previous_(std::exchange(tCurrentStop, std::move(stop))) {}

SqliteStopScope::~SqliteStopScope() {
    tCurrentStop = std::move(previous_);
}

SqliteResultSet SqliteConnection::executeQuery(std::string_view sql,
                                               const std::vector<ColumnValue>& args) const {
    if (!db_) return {};
    auto prepared = statements_->take(sql);
    if (!prepared) {
        if (statements_->failedBefore(sql)) return {};
        sqlite3_stmt* stmt = nullptr;
        // A column the file's table lacks (another version's or another shape's table) is read
        // as empty: the rest of each row is still read. The database check names what is missing.
        std::string text(sql);
        std::string emptied;
        int rc = sqlite3_prepare_v2(db_.get(), text.data(), static_cast<int>(text.size()), &stmt, nullptr);
        for (int tries = 0; rc != SQLITE_OK && tries < kMostColumnsReadAsEmpty; ++tries) {
            constexpr std::string_view kNoColumn = "no such column: ";
            const std::string_view message = sqlite3_errmsg(db_.get());
            if (!message.starts_with(kNoColumn)) break;
            std::string changed = WithColumnAsNull(text, message.substr(kNoColumn.size()));
            if (changed.empty()) break;
            emptied += (emptied.empty() ? "" : ", ") + std::string(message.substr(kNoColumn.size()));
            text = std::move(changed);
            sqlite3_finalize(stmt);
            stmt = nullptr;
            rc = sqlite3_prepare_v2(db_.get(), text.data(), static_cast<int>(text.size()), &stmt, nullptr);
        }
        if (rc != SQLITE_OK || !stmt) {
            if (statements_->firstFailure(sql)) LogSqliteError("query failed", db_.get(), sql);
            sqlite3_finalize(stmt);
            return {};
        }
        if (!emptied.empty() && statements_->firstEmptied(sql))
            std::fprintf(stderr, "torvane: the database %s has no column %s; read as empty (%.*s)\n",
                         path_.c_str(), emptied.c_str(), static_cast<int>(sql.size()), sql.data());
        prepared = std::make_unique<SqlitePreparedStatement>();
        prepared->sql = std::string(sql);
        prepared->stmt = stmt;
        const int count = sqlite3_column_count(stmt);
        prepared->lowerNames.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const char* name = sqlite3_column_name(stmt, i);
            prepared->lowerNames.push_back(LowerAscii(name ? name : ""));
        }
    }
    sqlite3_stmt* stmt = prepared->stmt;
    SqliteResultSet results(statements_, prepared.release());
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!BindArgument(stmt, static_cast<int>(i + 1), args[i])) {
            LogSqliteError("cannot bind query argument", db_.get(), sql);
            return {};
        }
    }
    return results;
}

bool SqliteConnection::hasTable(std::string_view name) const {
    return schemaHas(name, false);
}

bool SqliteConnection::hasView(std::string_view name) const {
    return schemaHas(name, true);
}

bool SqliteConnection::schemaHas(std::string_view name, bool view) const {
    if (!db_) return false;
    std::lock_guard lock(tablesMutex_);
    if (!tables_) {
        tables_.emplace();
        auto rows = executeQuery("SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view')");
        while (rows.next())
            if (OptString table = rows.stringForColumn("name"))
                tables_->push_back({LowerAscii(*table), rows.stringForColumn("type") == std::string("view")});
    }
    for (const auto& [table, isView] : *tables_)
        if (isView == view && EqualIgnoringAsciiCase(table, name)) return true;
    return false;
}

bool SqliteConnection::hasColumn(std::string_view table, std::string_view column) const {
    if (!db_) return false;
    auto rows =
        executeQuery("SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE",
                     {ColumnValue(std::string(table)), ColumnValue(std::string(column))});
    return rows.next();
}

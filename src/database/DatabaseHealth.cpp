#include "database/DatabaseHealth.h"

#include "database/SqliteConnection.h"

#include <sqlite3.h>

#include <memory>
#include <string_view>

namespace {

// How many of the structure check's complaints are asked for: the first says enough.
constexpr int kStructureComplaints = 1;

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

// A table name as an SQL identifier.
std::string Quoted(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string DatabaseHealth::describe() const {
    if (!readable) return "it cannot be read at all (" + error + ")";
    std::string words;
    for (const Table& table : damagedTables) {
        if (!words.empty()) words += "; ";
        words += "table " + table.name + " could not be read completely (" +
                 std::to_string(table.rowsRead) + (table.rowsRead == 1 ? " row" : " rows") +
                 " read: " + table.error + ")";
    }
    if (!structure.empty()) {
        if (!words.empty()) words += "; ";
        words += "its structure is damaged (" + structure + ")";
    }
    return words;
}

DatabaseHealth DatabaseHealth::Examine(const std::string& path, std::stop_token stop) {
    DatabaseHealth health;
    // A pipe or a device would hold the open (or the first read) for ever.
    if (std::string refusal = SqliteConnection::RefusalToOpen(path); !refusal.empty()) {
        health.error = std::move(refusal);
        return health;
    }
    const SqliteStopScope scope(stop);
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(SqliteConnection::ReadOnlyUri(path).c_str(), &raw,
                        SQLITE_OPEN_URI | SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    if (opened != SQLITE_OK) {
        health.error = raw ? sqlite3_errmsg(raw) : "cannot open the file";
        return health;
    }
    SqliteConnection::WatchForStop(raw);

    // The schema: a file SQLite does not take for a database fails here.
    std::vector<std::string> tables;
    {
        Statement schema;
        if (sqlite3_prepare_v2(raw, "SELECT name, sql, type FROM sqlite_master WHERE type IN ('table', 'view')",
                               -1, &schema.stmt, nullptr) != SQLITE_OK) {
            health.error = sqlite3_errmsg(raw);
            return health;
        }
        int rc;
        while ((rc = sqlite3_step(schema.stmt)) == SQLITE_ROW) {
            const auto* name = sqlite3_column_text(schema.stmt, 0);
            const auto* sql = sqlite3_column_text(schema.stmt, 1);
            const auto* type = sqlite3_column_text(schema.stmt, 2);
            // A view is never read: its rows are made by the file's own SQL, which may not end.
            if (type && std::string_view(reinterpret_cast<const char*>(type)) == "view") {
                if (name) health.views.emplace_back(reinterpret_cast<const char*>(name));
                continue;
            }
            // A virtual table is read through a module that may be missing here, not from
            // pages of its own (its shadow tables are ordinary tables, read below).
            const std::string text = sql ? reinterpret_cast<const char*>(sql) : "";
            if (name) health.tables.emplace_back(reinterpret_cast<const char*>(name));
            if (name && text.find("VIRTUAL") == std::string::npos &&
                text.find("virtual") == std::string::npos)
                tables.emplace_back(reinterpret_cast<const char*>(name));
        }
        if (rc != SQLITE_DONE) {
            health.error = sqlite3_errmsg(raw);
            return health;
        }
    }
    health.readable = true;

    for (const std::string& name : tables) {
        if (stop.stop_requested()) return health;
        Statement rows;
        if (sqlite3_prepare_v2(raw, ("SELECT * FROM " + Quoted(name)).c_str(), -1, &rows.stmt,
                               nullptr) != SQLITE_OK) {
            health.damagedTables.push_back({name, 0, sqlite3_errmsg(raw)});
            continue;
        }
        const int columns = sqlite3_column_count(rows.stmt);
        std::size_t read = 0;
        int rc;
        while ((rc = sqlite3_step(rows.stmt)) == SQLITE_ROW) {
            // Every value is taken, so that a damaged overflow page of a long one is met too.
            for (int i = 0; i < columns; ++i) sqlite3_column_bytes(rows.stmt, i);
            ++read;
            if ((read & 1023) == 0 && stop.stop_requested()) return health;
        }
        if (rc != SQLITE_DONE) health.damagedTables.push_back({name, read, sqlite3_errmsg(raw)});
    }
    if (stop.stop_requested() || !health.damagedTables.empty()) return health;

    Statement check;
    const std::string pragma = "PRAGMA quick_check(" + std::to_string(kStructureComplaints) + ")";
    if (sqlite3_prepare_v2(raw, pragma.c_str(), -1, &check.stmt, nullptr) != SQLITE_OK) {
        health.structure = sqlite3_errmsg(raw);
        return health;
    }
    const int rc = sqlite3_step(check.stmt);
    if (rc == SQLITE_ROW) {
        const auto* answer = sqlite3_column_text(check.stmt, 0);
        const std::string text = answer ? reinterpret_cast<const char*>(answer) : "";
        if (text != "ok") health.structure = text;
    } else if (rc != SQLITE_DONE) {
        health.structure = sqlite3_errmsg(raw);
    }
    return health;
}

#include "services/LiveTableReader.h"

#include "carving/AbstractSqLiteRecovery.h"
#include "carving/StoredTables.h"
#include "carving/TablePattern.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace {

std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

LiveTableReader::LiveTableReader(const std::string& path) : path_(path) {
    std::error_code error;
    // Only an existing file is opened: the carvers are also handed paths the backup lacks.
    if (!path.empty() && std::filesystem::is_regular_file(path, error))
        connection_ = SqliteConnection::OpenReadOnly(path);
}

LiveTableReader::~LiveTableReader() = default;

const StoredTables& LiveTableReader::stored() const {
    std::call_once(storedOnce_, [this] { stored_ = std::make_unique<StoredTables>(path_); });
    return *stored_;
}

bool LiveTableReader::schemaUnreadable() const {
    if (!isOpen()) return false;
    SqliteResultSet rows = connection_->executeQuery("SELECT 1 FROM sqlite_master LIMIT 1");
    if (!rows) return true;
    rows.next();
    return rows.failed();
}

bool LiveTableReader::hasTable(std::string_view table) const {
    if (!isOpen()) return false;
    SqliteResultSet rows = connection_->executeQuery(
        "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
        {ColumnValue(std::string(table))});
    if (rows.next()) return true;
    if (rows && !rows.failed()) return false;
    return stored().hasTable(table);
}

bool LiveTableReader::mayHoldTable(std::string_view table) const {
    if (!isOpen()) return false;
    if (hasTable(table)) return true;
    return schemaUnreadable() && !stored().readable();
}

SqliteResultSet LiveTableReader::query(std::string_view sql,
                                       const std::vector<ColumnValue>& args) const {
    if (!isOpen()) return {};
    return connection_->executeQuery(sql, args);
}

LiveTableReader::Rows LiveTableReader::rows(std::string_view table,
                                            const std::vector<std::string>& columns,
                                            const Layout* layout) const {
    Rows result;
    if (!isOpen() || columns.empty()) return result;
    if (hasTable(table)) {
        std::string sql = "SELECT ";
        for (std::size_t i = 0; i < columns.size(); ++i)
            sql += (i ? ", " : "") + Quoted(columns[i]);
        // The table's own b-tree: a damaged index answers for rows that are not there, or
        // misses some that are.
        sql += " FROM " + Quoted(table) + " NOT INDEXED";
        SqliteResultSet rows = connection_->executeQuery(sql);
        while (rows.next()) {
            std::vector<ColumnValue> values;
            values.reserve(columns.size());
            for (const std::string& column : columns) values.push_back(rows.valueForColumn(column));
            result.rows.push_back(std::move(values));
        }
        // A statement that prepared and ran to its end answered for the table.
        if (rows && !rows.failed()) return result;
    }
    // SQLite cannot read the table whole: the file's own pages say what it holds. Rows SQLite
    // read before it failed stay; a row listed twice changes no answer.
    const StoredTables& file = stored();
    auto names = file.columnsOf(table);
    const bool byWidth = !names && layout && !layout->names.empty();
    if (byWidth) names = layout->names;
    if (!names) return result;
    std::vector<int> at;
    for (const std::string& column : columns) {
        int found = -1;
        for (std::size_t i = 0; i < names->size(); ++i)
            if (SameName((*names)[i], column)) found = static_cast<int>(i);
        at.push_back(found);
    }
    result.fromStructure = true;
    const auto take = [&](StoredTables::Row&& row) {
        std::vector<ColumnValue> values;
        values.reserve(columns.size());
        for (const int index : at)
            values.push_back(index >= 0 && static_cast<std::size_t>(index) < row.values.size()
                                 ? std::move(row.values[static_cast<std::size_t>(index)])
                                 : ColumnValue());
        result.rows.push_back(std::move(values));
    };
    if (byWidth)
        file.forEachRowOfWidth(std::min(layout->fewest, names->size()), names->size(), {}, take);
    else
        for (auto& row : file.rows(table).rows) take(std::move(row));
    return result;
}

std::vector<std::int64_t> LiveTableReader::rowIds(std::string_view table,
                                                  const Layout* layout) const {
    std::vector<std::int64_t> ids;
    if (!isOpen()) return ids;
    if (hasTable(table)) {
        SqliteResultSet rows =
            connection_->executeQuery("SELECT ROWID AS id FROM " + Quoted(table) + " NOT INDEXED");
        while (rows.next())
            if (const ColumnValue id = rows.valueForColumn("id"); id.isInteger())
                ids.push_back(id.asInteger());
    }
    const StoredTables& file = stored();
    if (file.columnsOf(table) || !layout || layout->names.empty())
        file.forEachRow(table, {}, [&](StoredTables::Row&& row) { ids.push_back(row.rowId); });
    else
        file.forEachRowOfWidth(std::min(layout->fewest, layout->names.size()),
                               layout->names.size(), {},
                               [&](StoredTables::Row&& row) { ids.push_back(row.rowId); });
    file.forEachIndexedRowId(table, {}, [&](std::int64_t id) { ids.push_back(id); });
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

LiveTableReader::Layout LiveTableReader::LayoutOf(const std::vector<TablePattern>& patterns) {
    Layout layout;
    std::vector<std::vector<std::string>> layouts;
    for (const TablePattern& pattern : patterns) {
        std::istringstream words(pattern.columns().value_or(""));
        std::vector<std::string> names;
        for (std::string name; words >> name;) names.push_back(std::move(name));
        if (!names.empty()) layouts.push_back(std::move(names));
    }
    for (const auto& names : layouts)
        if (names.size() > layout.names.size()) layout.names = names;
    layout.fewest = layout.names.size();
    for (const auto& names : layouts)
        if (names.front() == layout.names.front())
            layout.fewest = std::min(layout.fewest, names.size());
    return layout;
}

void LiveRowIds::reset(std::string path, std::string table, LiveTableReader::Layout layout) {
    path_ = std::move(path);
    table_ = std::move(table);
    layout_ = std::move(layout);
    ids_.reset();
}

bool LiveRowIds::holds(std::int64_t rowId) const {
    if (!ids_) ids_ = LiveTableReader(path_).rowIds(table_, &layout_);
    return std::binary_search(ids_->begin(), ids_->end(), rowId);
}

void KeepRecordsNotLive(
    AbstractSqLiteRecovery& recoverer, const std::string& path,
    const std::function<std::optional<LiveStatement>(const baseRecoveryObject&)>& statementOf) {
    const LiveTableReader live(path);
    if (!live.isOpen()) return;
    const auto records = recoverer.RecoveredData();
    for (const auto& record : records) {
        if (recoverer.isCancelled()) return;
        if (!record) continue;
        const auto statement = statementOf(*record);
        if (!statement) continue;
        auto rows = live.query(statement->sql, statement->args);
        if (!rows.next()) recoverer.RecoveredFiltered().push_back(record);
    }
}

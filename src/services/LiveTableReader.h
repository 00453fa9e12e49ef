#pragma once

#include "database/SqliteConnection.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class AbstractSqLiteRecovery;
class StoredTables;
class TablePattern;
class baseRecoveryObject;

// The live tables of a database file that a recoverer carves. Free space holds stale copies of
// rows that still exist (SQLite moves cells when it defragments or rebalances a page), so the
// recoverers look a carved row up among the live rows before they list it as deleted.
//
// The file is opened read-only and immutable; a missing file reads as empty. Where SQLite
// cannot answer (it does not take the file for a database, or a page it needs is damaged),
// the answers come from the file's own pages (StoredTables), as far as they go: a failed query
// never makes a live row look deleted.
class LiveTableReader {
public:
    explicit LiveTableReader(const std::string& path);
    ~LiveTableReader();

    bool isOpen() const { return connection_ && connection_->isOpen(); }
    // Whether the file has a table of that name (SQLite compares names without case); where
    // SQLite cannot read the schema, whether the file's own schema names it.
    bool hasTable(std::string_view table) const;
    // Whether the file may hold the table: false only when a schema that could be read (by
    // SQLite or from the file's pages) lacks it. Carving needs no schema, so a file whose
    // schema cannot be read at all is carved.
    bool mayHoldTable(std::string_view table) const;
    // The rows of a statement; no result set when the file is not open or the statement fails.
    SqliteResultSet query(std::string_view sql, const std::vector<ColumnValue>& args = {}) const;

    struct Rows {
        // Per row the values of the columns asked for, in their order (NULL for a column the
        // table lacks).
        std::vector<std::vector<ColumnValue>> rows;
        // SQLite could not read the table whole: the rows come (also) from the file's pages.
        bool fromStructure = false;
    };
    // Where the schema no longer names a table (its page cut off or damaged), the rows of the
    // table's known widths stand for its rows: every live leaf page's rows of `fewest` to
    // `names.size()` values, read by those column names. A row of another table of that width
    // is taken too; a row taken for live is never listed as deleted.
    struct Layout {
        std::vector<std::string> names;
        std::size_t fewest = 0;
    };
    // The layout of the widest of a table's carving patterns, with the fewest columns of those
    // that begin with the same column (a pattern that starts one column later is no layout).
    static Layout LayoutOf(const std::vector<TablePattern>& patterns);
    // The values of the named columns of every live row of a table (names compared without
    // case); empty when there is no such table (nor, with a layout, rows of its width).
    Rows rows(std::string_view table, const std::vector<std::string>& columns,
              const Layout* layout = nullptr) const;
    // The row ids of the table's live rows, sorted, each once: those SQLite reads from the
    // table itself (past its indexes), those of the file's own pages (leaves cut off from the
    // b-tree included) and those its indexes name (where the file lost the row's own leaf); with
    // a layout, where the schema no longer names the table, those of the rows of its width.
    // A table with row ids hands each out once unless the largest is deleted, so a whole cell
    // that carries one of them is a copy of that live row, whatever its other bytes say.
    std::vector<std::int64_t> rowIds(std::string_view table, const Layout* layout = nullptr) const;
    // Whether SQLite fails to read the file's schema (the file reads as no database).
    bool schemaUnreadable() const;

private:
    const StoredTables& stored() const;

    std::string path_;
    std::shared_ptr<SqliteConnection> connection_;
    mutable std::once_flag storedOnce_;
    mutable std::unique_ptr<StoredTables> stored_;
};

// The row ids of one table's live rows (LiveTableReader::rowIds), read when first asked: what a
// recoverer tests a carved cell that names its row id against.
class LiveRowIds {
public:
    // Forgets what was read; the next question reads the table of the file at path, by the
    // layout where the schema no longer names the table.
    void reset(std::string path, std::string table, LiveTableReader::Layout layout = {});
    bool holds(std::int64_t rowId) const;

private:
    std::string path_;
    std::string table_;
    LiveTableReader::Layout layout_;
    mutable std::optional<std::vector<std::int64_t>> ids_;
};

// One question to the live database: a statement and the values bound to its parameters.
struct LiveStatement {
    std::string sql;
    std::vector<ColumnValue> args;
};

// A recoverer's comparison with the live database at path: for each record of its
// RecoveredData, in order, the statement that statementOf makes of it (none: the record is
// passed over) is run, and the record is appended to its RecoveredFiltered when the statement
// finds no row (a statement SQLite cannot answer finds none). Nothing is done when the
// database does not open; a stop request of the recoverer ends the walk.
void KeepRecordsNotLive(
    AbstractSqLiteRecovery& recoverer, const std::string& path,
    const std::function<std::optional<LiveStatement>(const baseRecoveryObject&)>& statementOf);

// The record as the recoverer's record type, for statementOf: none for a record of another type.
template <class Record>
const Record* RecordOf(const baseRecoveryObject& record) {
    return dynamic_cast<const Record*>(&record);
}

#pragma once

#include "carving/PagedFile.h"
#include "carving/SQLiteHeader.h"
#include "common/ColumnValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// The tables of a database file as its own pages hold them, read without SQLite: the schema
// from page 1 and each table's live rows from its b-tree. For where SQLite cannot read a file
// that still holds its rows (a changed header byte, a damaged page elsewhere in the file).
//
// Reading follows the file format and checks every page number, offset and length it meets:
// a page that cannot be a page of the b-tree being read is passed over (and noted as damage),
// a loop of pages is followed once, and nothing is read beyond the file.
class StoredTables {
public:
    struct Row {
        std::int64_t rowId = 0;
        // By column, in the table's order; a column the row does not hold (added to the table
        // later) is NULL, the row id alias holds the row id.
        std::vector<ColumnValue> values;
    };
    struct Rows {
        std::vector<Row> rows;
        // A page or a cell of the table could not be read: rows may be missing.
        bool damaged = false;
    };

    explicit StoredTables(const std::string& path);
    ~StoredTables();
    StoredTables(const StoredTables&) = delete;
    StoredTables& operator=(const StoredTables&) = delete;

    // Whether the header and the schema could be read.
    bool readable() const { return readable_; }
    // Whether the schema names an ordinary table of that name (compared without case).
    bool hasTable(std::string_view name) const;
    // The table's column names, in order; none when there is no such table.
    std::optional<std::vector<std::string>> columnsOf(std::string_view table) const;
    // The live rows of the table (none when there is no such table); a stop request ends the
    // reading early. Besides the rows of the table's b-tree, the rows of leaf pages that no
    // b-tree reaches (their parent damaged) and that no freelist names are taken when they have
    // about as many columns as the table: they may be the table's, and a row taken for live is
    // never listed as deleted. Such rows, or a page or cell that could not be read, make the
    // rows damaged.
    Rows rows(std::string_view table, std::stop_token stop = {}) const;
    // The same rows one by one, without holding them all: for a large table of which only a
    // column or two is kept. Answers whether the table was read whole and sound.
    bool forEachRow(std::string_view table, std::stop_token stop,
                    const std::function<void(Row&&)>& visit) const;
    // The rows of every live table leaf page of the file (LivePages), whichever table they
    // belong to, that have from `fewest` to `most` values, as the records hold them: for a
    // table whose rows are still in the file while the schema no longer names it (its name or
    // its statement damaged), rows of its width may be its rows. Answers false when the reading
    // was stopped or cut short.
    bool forEachRowOfWidth(std::size_t fewest, std::size_t most, std::stop_token stop,
                           const std::function<void(Row&&)>& visit) const;

    // The row ids that the indexes of a table with row ids hold, one call per index entry (a
    // row id comes once per index): every entry names a live row (each live row has one in every
    // index that is not partial), and a deleted row's entries go with it. The indexes are found
    // by the table name of their schema rows, so they answer also where the table's own schema
    // row or its leaves are lost (a file cut short). Answers whether every index was read whole.
    bool forEachIndexedRowId(std::string_view table, std::stop_token stop,
                             const std::function<void(std::int64_t)>& visit) const;

    // The column names of a "CREATE TABLE" statement, and which one (if any) is the row id's
    // alias (declared "INTEGER PRIMARY KEY").
    struct Columns {
        std::vector<std::string> names;
        int rowIdAlias = -1;
        // Per column, whether its declared type gives it REAL affinity: SQLite stores such a
        // value without a fraction as an integer and reads it back as a double.
        std::vector<bool> real;
    };
    static std::optional<Columns> ParseCreateTable(std::string_view sql);

private:
    struct Table {
        std::string name;
        std::int64_t rootPage = 0;
        Columns columns;
    };
    struct Index {
        std::string table;
        std::int64_t rootPage = 0;
    };
    const Table* find(std::string_view name) const;
    // Reads every cell of the table b-tree below root; visit(rowId, payload) for each. With
    // index set, the b-tree is an index's: visit(0, payload) for every entry, those of its
    // interior pages included.
    template <class Visit>
    bool walk(std::int64_t root, const std::stop_token& stop, Visit&& visit,
              bool index = false) const;
    // Reads the cells of the table leaf pages that pick(livePages, pageNumber) takes; visit(rowId,
    // values) for each record of from fewest to most values. False when a stop was requested
    // or the bytes read ran past what the file could hold.
    template <class Pick, class Visit>
    bool leafRows(Pick&& pick, std::size_t fewest, std::size_t most, const std::stop_token& stop,
                  Visit&& visit) const;
    bool readPage(std::int64_t number, std::vector<std::uint8_t>& into) const;
    // The whole payload of a leaf cell, its overflow pages followed; none when damaged.
    std::optional<Bytes> payloadOf(ByteView page, std::int64_t start, std::int64_t local,
                                   std::uint64_t size, std::int64_t overflow) const;
    std::vector<ColumnValue> decodeRecord(ByteView payload) const;

    PagedFile file_;
    SQLiteHeader header_;
    std::int64_t pageSize_ = 0;
    std::int64_t usable_ = 0;
    std::int64_t pages_ = 0;
    int textEncoding_ = 1;
    bool readable_ = false;
    std::vector<Table> tables_;
    std::vector<Index> indexes_;
};

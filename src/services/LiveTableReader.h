#pragma once

#include "database/SqliteConnection.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The live tables of a database file that a recoverer carves. Free space holds stale copies of
// rows that still exist (SQLite moves cells when it defragments or rebalances a page), so the
// recoverers look a carved row up among the live rows before they list it as deleted.
//
// The file is opened read-only and immutable; a missing or unreadable file reads as empty.
class LiveTableReader {
public:
    explicit LiveTableReader(const std::string& path);

    bool isOpen() const { return connection_ && connection_->isOpen(); }
    // Whether the file has a table of that name (SQLite compares names without case).
    bool hasTable(std::string_view table) const;
    // The rows of a statement; no result set when the file is not open or the statement fails.
    SqliteResultSet query(std::string_view sql, const std::vector<ColumnValue>& args = {}) const;

private:
    std::shared_ptr<SqliteConnection> connection_;
};

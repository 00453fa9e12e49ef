#pragma once

#include "carving/TablePattern.h"
#include "common/Types.h"

#include <string_view>
#include <vector>

// The record-header patterns of one table of one database in one backup domain. Name, Database
// and Table form the signature triple by which a recoverer looks its table up.
class SQLiteSignature {
public:
    const OptString& Name() const { return Name_; }
    void setName(OptString v) { Name_ = std::move(v); }
    const OptString& Database() const { return Database_; }
    void setDatabase(OptString v) { Database_ = std::move(v); }
    const OptString& Table() const { return Table_; }
    void setTable(OptString v) { Table_ = std::move(v); }

    const std::vector<TablePattern>& TablePatterns() const { return TablePatterns_; }
    void setTablePatterns(std::vector<TablePattern> patterns) { TablePatterns_ = std::move(patterns); }
    void addTablePattern(TablePattern pattern) { TablePatterns_.push_back(std::move(pattern)); }

    // The patterns that support version, in their order.
    std::vector<TablePattern> FindPatternsByVersion(std::string_view version) const;
    // A pattern chosen by its number of columns: a new, empty pattern, for a caller to fill.
    static TablePattern FindByNumberOfColumns() { return TablePattern(); }

private:
    OptString Name_;
    OptString Database_;
    OptString Table_;
    std::vector<TablePattern> TablePatterns_;
};

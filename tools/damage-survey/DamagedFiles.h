#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

// What the damage survey and the end-to-end tests read to tell which live rows a damaged
// database still holds and what a scan exported of it.
namespace damaged {

// Where a row of a table keeps its cell: its page, the cell's bytes on the page [start, end),
// and the end of the page's header and cell pointer array.
struct RowCell {
    std::int64_t page = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t pointersEnd = 0;

    // Whether none of the changed file offsets lies in the cell, or in the page's header and
    // cell pointer array.
    bool keptBy(const std::set<std::int64_t>& changed, std::int64_t pageSize) const;
    // Whether the cell lies wholly within the first `length` bytes of the file.
    bool within(std::int64_t length, std::int64_t pageSize) const {
        return (page - 1) * pageSize + end <= length;
    }
};

// What one seed did to a file: the offsets changed and the length it was cut to.
struct Mutation {
    std::set<std::int64_t> changed;
    std::int64_t length = 0;

    // Whether the cell's bytes are unchanged and still in the file; with evenCut, whether they
    // are unchanged, in the file or in the part cut off.
    bool keeps(const RowCell& cell, std::int64_t pageSize, bool evenCut = false) const {
        return cell.keptBy(changed, pageSize) && (evenCut || cell.within(length, pageSize));
    }
};

// Writes the pristine bytes to `into` with from 1 to 100 bytes changed at offsets and to values
// drawn from the seed; every fourth seed also cuts the file at a length drawn from it. Throws
// std::runtime_error when the file cannot be written.
Mutation DamageFile(const std::vector<char>& pristine, const std::filesystem::path& into,
                    std::uint32_t seed);

// The cell of each row of the table whose b-tree starts at root, by row id, read from an intact
// file.
std::map<std::int64_t, RowCell> CellsOfRows(const std::filesystem::path& path, std::int64_t root);

// The first column of each row of a query, as text ("" for NULL); none when it fails.
std::vector<std::string> SqlStrings(const std::filesystem::path& path, const std::string& sql);

// The records of a CSV file as the export writes it: quoted fields may hold commas, quotes
// (doubled) and line breaks.
std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& path);

}  // namespace damaged

#pragma once

#include "common/ColumnValue.h"
#include "common/Types.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

// Ground truth for carving tests: the bytes SQLite wrote for a row, and whether a closed file
// still holds them. SQLite moves cells when it rebalances pages after deletions and may overwrite
// freed rows then; a deleted row can be carved exactly when the bytes of its record from the
// second serial type on (what a freeblock head leaves of it) are still in the file.
namespace testsupport {

// Every column of one row as SQLite returns it, in the table's column order; empty when the
// table has no such row.
using StoredRow = std::vector<std::pair<std::string, ColumnValue>>;
StoredRow ReadStoredRow(sqlite3* db, const std::string& table, std::int64_t rowId);

// How the row's doubles were stored: as reals, or (in REAL and TIMESTAMP columns) as integers
// when they have no fraction, which is how SQLite writes such values there.
enum class IntegralReals { AsReals, AsIntegers };

// How the integers 0 and 1 were stored: as the serial types 8 and 9 (schema format 4), or as
// one-byte integers (files of an older schema format).
enum class SmallIntegers { AsConstants, AsOneByte };

// The record bytes of a row from its second serial type on, then its content. The first column
// is the INTEGER PRIMARY KEY, stored as NULL, which a freeblock head overwrites.
Bytes RecordTail(const std::vector<ColumnValue>& values,
                 IntegralReals reals = IntegralReals::AsReals,
                 SmallIntegers small = SmallIntegers::AsConstants);
Bytes RecordTail(const StoredRow& row, IntegralReals reals = IntegralReals::AsReals,
                 SmallIntegers small = SmallIntegers::AsConstants);

Bytes FileBytes(const std::filesystem::path& path);
bool ContainsBytes(const Bytes& haystack, const Bytes& needle);

}  // namespace testsupport

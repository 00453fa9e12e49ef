#include "support/StoredRecords.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

namespace {

void PutVarint(Bytes& out, std::uint64_t v) {
    std::uint8_t buffer[10];
    int n = 0;
    do {
        buffer[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v);
    for (int i = n - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(buffer[i] | (i ? 0x80 : 0)));
}

// Serial type and content of an integer, in the smallest width SQLite uses for it.
void PutInteger(Bytes& types, Bytes& content, std::int64_t n, SmallIntegers small) {
    if ((n == 0 || n == 1) && small == SmallIntegers::AsConstants) {
        types.push_back(n == 0 ? 8 : 9);
        return;
    }
    struct Width {
        int type, bytes;
        std::int64_t max;
    };
    static constexpr Width kWidths[] = {
        {1, 1, 0x7F}, {2, 2, 0x7FFF}, {3, 3, 0x7FFFFF}, {4, 4, 0x7FFFFFFF}, {5, 6, 0x7FFFFFFFFFFF}};
    Width width{6, 8, 0};
    for (const Width& w : kWidths)
        if (n <= w.max && n >= -w.max - 1) {
            width = w;
            break;
        }
    types.push_back(static_cast<std::uint8_t>(width.type));
    for (int b = width.bytes - 1; b >= 0; --b)
        content.push_back(static_cast<std::uint8_t>(n >> (8 * b)));
}

}  // namespace

StoredRow ReadStoredRow(sqlite3* db, const std::string& table, std::int64_t rowId) {
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT * FROM " + table + " WHERE rowid = " + std::to_string(rowId);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql);
    StoredRow row;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const std::string name = sqlite3_column_name(statement, i);
            switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    row.emplace_back(name, std::int64_t{sqlite3_column_int64(statement, i)});
                    break;
                case SQLITE_FLOAT:
                    row.emplace_back(name, sqlite3_column_double(statement, i));
                    break;
                case SQLITE_TEXT:
                    row.emplace_back(
                        name, std::string(
                                  reinterpret_cast<const char*>(sqlite3_column_text(statement, i)),
                                  static_cast<std::size_t>(sqlite3_column_bytes(statement, i))));
                    break;
                case SQLITE_BLOB: {
                    const auto* p =
                        static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, i));
                    row.emplace_back(name, Bytes(p, p + sqlite3_column_bytes(statement, i)));
                    break;
                }
                default:
                    row.emplace_back(name, ColumnValue::Null());
            }
        }
    }
    sqlite3_finalize(statement);
    return row;
}

Bytes RecordTail(const std::vector<ColumnValue>& values, IntegralReals reals, SmallIntegers small) {
    Bytes types, content;
    for (std::size_t i = 1; i < values.size(); ++i) {
        const ColumnValue& v = values[i];
        if (v.isNull()) {
            types.push_back(0);
        } else if (v.isInteger()) {
            PutInteger(types, content, v.asInteger(), small);
        } else if (v.isDouble()) {
            const double d = v.asDouble();
            if (reals == IntegralReals::AsIntegers && d == std::trunc(d) && std::fabs(d) < 1e15) {
                PutInteger(types, content, static_cast<std::int64_t>(d), small);
            } else {
                types.push_back(7);
                const auto bits = std::bit_cast<std::uint64_t>(d);
                for (int b = 7; b >= 0; --b)
                    content.push_back(static_cast<std::uint8_t>(bits >> (8 * b)));
            }
        } else if (v.isText()) {
            PutVarint(types, 13 + 2 * v.text()->size());
            content.insert(content.end(), v.text()->begin(), v.text()->end());
        } else if (v.isBlob()) {
            PutVarint(types, 12 + 2 * v.blob()->size());
            content.insert(content.end(), v.blob()->begin(), v.blob()->end());
        }
    }
    types.insert(types.end(), content.begin(), content.end());
    return types;
}

Bytes RecordTail(const StoredRow& row, IntegralReals reals, SmallIntegers small) {
    std::vector<ColumnValue> values;
    values.reserve(row.size());
    for (const auto& column : row) values.push_back(column.second);
    return RecordTail(values, reals, small);
}

Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool ContainsBytes(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

}  // namespace testsupport

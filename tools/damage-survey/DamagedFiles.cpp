#include "damage-survey/DamagedFiles.h"

#include "carving/BTreePage.h"
#include "carving/PagedFile.h"
#include "carving/SQLiteHeader.h"

#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace damaged {

bool RowCell::keptBy(const std::set<std::int64_t>& changed, std::int64_t pageSize) const {
    const std::int64_t base = (page - 1) * pageSize;
    const auto hits = [&](std::int64_t from, std::int64_t to) {
        const auto at = changed.lower_bound(base + from);
        return at != changed.end() && *at < base + to;
    };
    return !hits(start, end) && !hits(0, pointersEnd);
}

Mutation DamageFile(const std::vector<char>& pristine, const std::filesystem::path& into,
                    std::uint32_t seed) {
    std::vector<char> bytes = pristine;
    Mutation mutation;
    std::mt19937 random(seed);
    const std::uint32_t count = 1 + random() % 100;
    for (std::uint32_t i = 0; i < count && !bytes.empty(); ++i) {
        const std::size_t at = random() % bytes.size();
        bytes[at] = static_cast<char>(random() % 256);
        mutation.changed.insert(static_cast<std::int64_t>(at));
    }
    if (seed % 4 == 0 && bytes.size() > 512) bytes.resize(512 + random() % (bytes.size() - 512));
    mutation.length = static_cast<std::int64_t>(bytes.size());
    std::ofstream out(into, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + into.string());
    return mutation;
}

std::map<std::int64_t, RowCell> CellsOfRows(const std::filesystem::path& path, std::int64_t root) {
    std::map<std::int64_t, RowCell> cellsOfRows;
    SQLiteHeader header;
    PagedFile file;
    if (!header.ReadSQLiteDatabaseHeader(path.string()) || !file.open(path.string()))
        return cellsOfRows;
    const std::int64_t size = header.PageSize();
    std::vector<std::uint8_t> page(static_cast<std::size_t>(size));
    std::vector<std::int64_t> pending = {root};
    std::set<std::int64_t> seen;
    while (!pending.empty()) {
        const std::int64_t number = pending.back();
        pending.pop_back();
        if (!seen.insert(number).second ||
            file.readAt((number - 1) * size, page.data(), page.size()) != size)
            continue;
        const ByteView bytes(page.data(), page.size());
        const std::int64_t at = BTreePage::HeaderOffset(number);
        const auto cells = BTreePage::Cells(bytes, at, size - header.reservedSpace());
        if (BTreePage::TypeOf(bytes, at) == BTreePage::Type::InteriorTable) {
            for (const auto& cell : cells) pending.push_back(cell.leftChild);
            pending.push_back(BTreePage::RightChild(bytes, at));
        } else {
            const std::int64_t pointersEnd = at + 8 + 2 * static_cast<std::int64_t>(cells.size());
            for (const auto& cell : cells)
                cellsOfRows[cell.rowId] = {number, cell.start, cell.end, pointersEnd};
        }
    }
    return cellsOfRows;
}

std::vector<std::string> SqlStrings(const std::filesystem::path& path, const std::string& sql) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(stmt, 0);
                values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return values;
}

std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            fields.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(fields));
            fields.clear();
        } else {
            field += c;
        }
    }
    return records;
}

}  // namespace damaged

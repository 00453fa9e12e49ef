#include "carving/StoredTables.h"

#include "carving/BTreePage.h"
#include "carving/LivePages.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <unordered_set>

namespace {

// No b-tree of a real file is this deep; a deeper one loops.
constexpr int kMaxDepth = 40;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size() || !SameName(text.substr(0, word.size()), word)) return false;
    if (text.size() == word.size()) return true;
    const char next = text[word.size()];
    return !(std::isalnum(static_cast<unsigned char>(next)) || next == '_');
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// The first token of a column definition, unquoted, and the rest.
std::pair<std::string, std::string_view> FirstToken(std::string_view text) {
    if (text.empty()) return {};
    const char open = text.front();
    const char close = open == '[' ? ']' : open;
    if (open == '"' || open == '`' || open == '[' || open == '\'') {
        std::string name;
        std::size_t i = 1;
        for (; i < text.size(); ++i) {
            if (text[i] == close) {
                // A doubled quote stands for one (not inside brackets).
                if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
                    name += close;
                    ++i;
                    continue;
                }
                break;
            }
            name += text[i];
        }
        return {name, i < text.size() ? text.substr(i + 1) : std::string_view()};
    }
    std::size_t i = 0;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) && text[i] != '(')
        ++i;
    return {std::string(text.substr(0, i)), text.substr(i)};
}

bool ContainsText(std::string_view text, std::string_view part) {
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
        if (SameName(text.substr(i, part.size()), part)) return true;
    return false;
}

// SQLite's affinity rules, in their order: a declared type with "INT" is an integer, one with
// "CHAR", "CLOB" or "TEXT" a text, one with "BLOB" (or none) a blob, and only then one with
// "REAL", "FLOA" or "DOUB" a real number.
bool HasRealAffinity(std::string_view declaration) {
    // The declared type ends where the column's constraints begin.
    std::string_view type = declaration;
    for (const char* word : {"PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT", "COLLATE",
                             "REFERENCES", "GENERATED", "AS", "CONSTRAINT"})
        for (std::size_t i = 0; i < type.size(); ++i)
            if ((i == 0 || std::isspace(static_cast<unsigned char>(type[i - 1]))) &&
                StartsWithWord(type.substr(i), word)) {
                type = type.substr(0, i);
                break;
            }
    if (ContainsText(type, "INT") || ContainsText(type, "CHAR") || ContainsText(type, "CLOB") ||
        ContainsText(type, "TEXT") || ContainsText(type, "BLOB"))
        return false;
    return ContainsText(type, "REAL") || ContainsText(type, "FLOA") || ContainsText(type, "DOUB");
}

bool ContainsWords(std::string_view text, std::string_view first, std::string_view second) {
    // "PRIMARY KEY" with any white space between the words, any case.
    for (std::size_t i = 0; i + first.size() <= text.size(); ++i) {
        if (i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_'))
            continue;
        if (!StartsWithWord(text.substr(i), first)) continue;
        std::string_view rest = Trim(text.substr(i + first.size()));
        if (StartsWithWord(rest, second)) return true;
    }
    return false;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf16ToUtf8(ByteView bytes, bool bigEndian) {
    std::string out;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        return bigEndian ? (std::uint32_t{bytes[i]} << 8) | bytes[i + 1]
                         : (std::uint32_t{bytes[i + 1]} << 8) | bytes[i];
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < bytes.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace

std::optional<StoredTables::Columns> StoredTables::ParseCreateTable(std::string_view sql) {
    const std::size_t open = sql.find('(');
    if (open == std::string_view::npos) return std::nullopt;
    Columns columns;
    // The definitions between the outer parentheses, split at commas outside nested ones and
    // outside quotes.
    int depth = 0;
    char quote = 0;
    std::size_t from = open + 1;
    bool closed = false;
    std::vector<std::string_view> parts;
    for (std::size_t i = open + 1; i < sql.size() && !closed; ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'' || c == '`') {
            quote = c;
        } else if (c == '[') {
            quote = ']';
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if ((c == ',' || c == ')') && depth == 0) {
            parts.push_back(Trim(sql.substr(from, i - from)));
            from = i + 1;
            closed = c == ')';
        }
    }
    if (!closed) return std::nullopt;
    // A table without row ids keeps its rows in an index b-tree: not read here.
    if (ContainsWords(sql.substr(from), "WITHOUT", "ROWID")) return std::nullopt;
    for (std::string_view part : parts) {
        if (part.empty()) continue;
        if (StartsWithWord(part, "CONSTRAINT") || StartsWithWord(part, "PRIMARY") ||
            StartsWithWord(part, "UNIQUE") || StartsWithWord(part, "CHECK") ||
            StartsWithWord(part, "FOREIGN"))
            continue;
        auto [name, rest] = FirstToken(part);
        rest = Trim(rest);
        // Only a type of exactly "INTEGER" makes a primary key the row id's alias.
        if (StartsWithWord(rest, "INTEGER") && ContainsWords(rest, "PRIMARY", "KEY") &&
            columns.rowIdAlias < 0)
            columns.rowIdAlias = static_cast<int>(columns.names.size());
        columns.names.push_back(std::move(name));
        columns.real.push_back(HasRealAffinity(rest));
    }
    if (columns.names.empty()) return std::nullopt;
    return columns;
}

StoredTables::StoredTables(const std::string& path) {
    if (!header_.ReadSQLiteDatabaseHeader(path) || !header_.isUsable() || !file_.open(path)) return;
    pageSize_ = header_.PageSize();
    usable_ = pageSize_ - header_.reservedSpace();
    if (usable_ < 480) usable_ = pageSize_;
    pages_ = std::min(header_.PageCountInFile(), file_.size() / pageSize_);
    std::uint8_t encoding[4] = {};
    if (file_.readAt(56, encoding, 4) == 4)
        textEncoding_ = static_cast<int>(ReadBigEndian32(encoding));

    // The schema is the table b-tree of page 1: type, name, table name, root page, statement.
    const bool walked = walk(1, {}, [&](std::int64_t, ByteView payload) {
        const auto values = decodeRecord(payload);
        if (values.size() >= 4 && values[0].text() && *values[0].text() == "index" &&
            values[2].text() && values[3].isInteger() && values[3].asInteger() > 0) {
            indexes_.push_back({*values[2].text(), values[3].asInteger()});
            return;
        }
        if (values.size() < 5 || !values[0].text() || *values[0].text() != "table" ||
            !values[1].text() || !values[3].isInteger() || !values[4].text())
            return;
        auto columns = ParseCreateTable(*values[4].text());
        if (!columns) return;
        tables_.push_back({*values[1].text(), values[3].asInteger(), std::move(*columns)});
    });
    readable_ = walked || !tables_.empty();
}

StoredTables::~StoredTables() = default;

const StoredTables::Table* StoredTables::find(std::string_view name) const {
    for (const Table& table : tables_)
        if (SameName(table.name, name)) return &table;
    return nullptr;
}

bool StoredTables::hasTable(std::string_view name) const {
    return find(name) != nullptr;
}

std::optional<std::vector<std::string>> StoredTables::columnsOf(std::string_view table) const {
    const Table* found = find(table);
    if (!found) return std::nullopt;
    return found->columns.names;
}

bool StoredTables::readPage(std::int64_t number, std::vector<std::uint8_t>& into) const {
    if (number < 1 || number > pages_) return false;
    into.resize(static_cast<std::size_t>(pageSize_));
    return file_.readAt((number - 1) * pageSize_, into.data(), into.size()) == pageSize_;
}

template <class Visit>
bool StoredTables::walk(std::int64_t root, const std::stop_token& stop, Visit&& visit,
                        bool index) const {
    const BTreePage::Type interior =
        index ? BTreePage::Type::InteriorIndex : BTreePage::Type::InteriorTable;
    const BTreePage::Type leaf = index ? BTreePage::Type::LeafIndex : BTreePage::Type::LeafTable;
    bool whole = true;
    std::unordered_set<std::int64_t> seen;
    struct Step {
        std::int64_t page;
        int depth;
    };
    std::vector<Step> pending = {{root, 0}};
    std::vector<std::uint8_t> page;
    // Cells of a hostile file may share one long overflow chain: what is read in all is
    // bounded by the file's size, so memory stays bounded too.
    std::uint64_t budget = 2 * static_cast<std::uint64_t>(file_.size()) + (1u << 20);
    while (!pending.empty()) {
        if (stop.stop_requested()) return false;
        const Step step = pending.back();
        pending.pop_back();
        if (step.depth > kMaxDepth || !seen.insert(step.page).second ||
            !readPage(step.page, page)) {
            whole = false;
            continue;
        }
        const std::int64_t at = BTreePage::HeaderOffset(step.page);
        const ByteView bytes(page.data(), page.size());
        const auto type = BTreePage::TypeOf(bytes, at);
        const auto cells = BTreePage::Cells(bytes, at, usable_);
        if (type == interior) {
            // Children are taken in key order: the right-most last, so pushed first.
            pending.push_back({BTreePage::RightChild(bytes, at), step.depth + 1});
            for (auto cell = cells.rbegin(); cell != cells.rend(); ++cell)
                pending.push_back({cell->leftChild, step.depth + 1});
        }
        if (type == leaf || (index && type == interior)) {
            for (const auto& cell : cells) {
                const auto payload = payloadOf(bytes, cell.payloadStart, cell.localSize,
                                               cell.payloadSize, cell.overflowPage);
                if (!payload) {
                    whole = false;
                    continue;
                }
                if (payload->size() > budget) return false;
                budget -= payload->size();
                visit(cell.rowId, ByteView(payload->data(), payload->size()));
            }
        } else if (type != interior) {
            whole = false;
        }
        const std::int64_t listed = ReadBigEndian16(page.data() + at + 3);
        if (type && static_cast<std::int64_t>(cells.size()) != listed) whole = false;
    }
    return whole;
}

std::optional<Bytes> StoredTables::payloadOf(ByteView page, std::int64_t start, std::int64_t local,
                                             std::uint64_t size, std::int64_t overflow) const {
    if (start < 0 || start + local > static_cast<std::int64_t>(page.size())) return std::nullopt;
    // A payload cannot be larger than the file that holds it.
    if (size > static_cast<std::uint64_t>(file_.size())) return std::nullopt;
    Bytes payload(page.begin() + start, page.begin() + start + local);
    std::unordered_set<std::int64_t> seen;
    std::vector<std::uint8_t> next;
    while (payload.size() < size) {
        if (overflow == 0 || !seen.insert(overflow).second || !readPage(overflow, next))
            return std::nullopt;
        const std::size_t take = std::min<std::size_t>(
            static_cast<std::size_t>(usable_ - 4), static_cast<std::size_t>(size) - payload.size());
        payload.insert(payload.end(), next.begin() + 4,
                       next.begin() + 4 + static_cast<std::ptrdiff_t>(take));
        overflow = ReadBigEndian32(next.data());
    }
    return payload;
}

std::vector<ColumnValue> StoredTables::decodeRecord(ByteView payload) const {
    std::vector<ColumnValue> values;
    const std::uint8_t* p = payload.data();
    const std::uint8_t* end = p + payload.size();
    std::uint64_t headerSize = 0;
    const int taken = ReadVarint(p, end, headerSize);
    if (taken == 0 || headerSize < static_cast<std::uint64_t>(taken) || headerSize > payload.size())
        return values;
    const std::uint8_t* types = p + taken;
    const std::uint8_t* typesEnd = p + headerSize;
    const std::uint8_t* data = typesEnd;
    while (types < typesEnd) {
        std::uint64_t serial = 0;
        const int n = ReadVarint(types, typesEnd, serial);
        if (n == 0) break;
        types += n;
        static constexpr int kWidths[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
        if (serial >= 1 && serial <= 7) {
            const int width = kWidths[serial];
            if (end - data < width) break;
            if (serial == 7)
                values.emplace_back(std::bit_cast<double>(
                    static_cast<std::uint64_t>(ReadBigEndianSigned(data, 8))));
            else
                values.emplace_back(ReadBigEndianSigned(data, width));
            data += width;
        } else if (serial == 8 || serial == 9) {
            values.emplace_back(std::int64_t{serial == 9 ? 1 : 0});
        } else if (serial >= 12) {
            const std::uint64_t width = (serial - 12) / 2;
            if (static_cast<std::uint64_t>(end - data) < width) break;
            const ByteView bytes(data, static_cast<std::size_t>(width));
            if (serial % 2 == 0)
                values.emplace_back(Bytes(bytes.begin(), bytes.end()));
            else if (textEncoding_ == 2 || textEncoding_ == 3)
                values.emplace_back(Utf16ToUtf8(bytes, textEncoding_ == 3));
            else
                values.emplace_back(std::string(bytes.begin(), bytes.end()));
            data += width;
        } else {
            values.emplace_back();  // NULL, and the reserved types 10 and 11
        }
    }
    return values;
}

StoredTables::Rows StoredTables::rows(std::string_view table, std::stop_token stop) const {
    Rows result;
    result.damaged =
        !forEachRow(table, stop, [&](Row&& row) { result.rows.push_back(std::move(row)); });
    return result;
}

bool StoredTables::forEachRow(std::string_view table, std::stop_token stop,
                              const std::function<void(Row&&)>& visit) const {
    const Table* found = find(table);
    if (!found) return true;
    const std::size_t columns = found->columns.names.size();
    const int alias = found->columns.rowIdAlias;
    // The row as the table declares it: the row id in its alias, REAL columns as doubles.
    const auto take = [&](std::int64_t rowId, std::vector<ColumnValue>&& values) {
        Row row{rowId, std::move(values)};
        row.values.resize(std::max(columns, row.values.size()));
        if (alias >= 0 && row.values[static_cast<std::size_t>(alias)].isNull())
            row.values[static_cast<std::size_t>(alias)] = ColumnValue(rowId);
        for (std::size_t i = 0; i < found->columns.real.size() && i < row.values.size(); ++i)
            if (found->columns.real[i] && row.values[i].isInteger())
                row.values[i] = ColumnValue(static_cast<double>(row.values[i].asInteger()));
        visit(std::move(row));
    };
    const bool whole = walk(found->rootPage, stop, [&](std::int64_t rowId, ByteView payload) {
        take(rowId, decodeRecord(payload));
    });
    if (stop.stop_requested()) return whole;

    // Leaves that no b-tree reaches, although no freelist names them either: a damaged
    // interior page (a child pointer changed, even to another valid page) cuts them off while
    // their cells are still live. Rows of about this table's width are taken as its rows. A
    // sound file has no such page, so this costs one pass over the interior pages.
    bool orphans = false;
    const bool read = leafRows(
        [](const LivePages& live, std::int64_t number) { return live.isUnreached(number); },
        std::max<std::size_t>(1, columns * 2 / 3), columns, stop,
        [&](std::int64_t rowId, std::vector<ColumnValue>&& values) {
            orphans = true;
            take(rowId, std::move(values));
        });
    return read && whole && !orphans;
}

bool StoredTables::forEachIndexedRowId(std::string_view table, std::stop_token stop,
                                       const std::function<void(std::int64_t)>& visit) const {
    bool whole = true;
    // A hostile schema may name one root many times: each b-tree is read once.
    std::unordered_set<std::int64_t> walked;
    for (const Index& index : indexes_) {
        if (!SameName(index.table, table) || !walked.insert(index.rootPage).second) continue;
        // An entry holds the indexed values, then the row id.
        whole = walk(index.rootPage, stop, [&](std::int64_t, ByteView payload) {
            const auto values = decodeRecord(payload);
            if (!values.empty() && values.back().isInteger()) visit(values.back().asInteger());
        }, true) && whole;
        if (stop.stop_requested()) return false;
    }
    return whole;
}

bool StoredTables::forEachRowOfWidth(std::size_t fewest, std::size_t most, std::stop_token stop,
                                     const std::function<void(Row&&)>& visit) const {
    return leafRows([](const LivePages& live, std::int64_t number) { return live.isLive(number); },
                    fewest, most, stop,
                    [&](std::int64_t rowId, std::vector<ColumnValue>&& values) {
                        visit(Row{rowId, std::move(values)});
                    });
}

template <class Pick, class Visit>
bool StoredTables::leafRows(Pick&& pick, std::size_t fewest, std::size_t most,
                            const std::stop_token& stop, Visit&& visit) const {
    LivePages live;
    if (!live.read(file_, header_, stop)) return !stop.stop_requested();
    std::vector<std::uint8_t> page;
    std::uint64_t budget = 2 * static_cast<std::uint64_t>(file_.size()) + (1u << 20);
    for (std::int64_t number = 2; number <= live.pageCount(); ++number) {
        if (stop.stop_requested()) return false;
        if (!pick(live, number) || !readPage(number, page)) continue;
        const ByteView bytes(page.data(), page.size());
        if (BTreePage::TypeOf(bytes, 0) != BTreePage::Type::LeafTable) continue;
        for (const auto& cell : BTreePage::Cells(bytes, 0, usable_)) {
            const auto payload = payloadOf(bytes, cell.payloadStart, cell.localSize,
                                           cell.payloadSize, cell.overflowPage);
            if (!payload) continue;
            if (payload->size() > budget) return false;
            budget -= payload->size();
            auto values = decodeRecord(ByteView(payload->data(), payload->size()));
            if (values.size() < fewest || values.size() > most) continue;
            visit(cell.rowId, std::move(values));
        }
    }
    return true;
}

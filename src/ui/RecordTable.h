#pragma once

#include "common/Types.h"
#include "config/LanguageConfig.h"
#include "ui/ScreenText.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The shown list of a data-type screen, without the toolkit: rows of one kind, the columns that
// show them and the order they are in. The table view reads it through TableRows.

enum class ColumnKind {
    Text,    // sorted as text
    Number,  // sorted as a number
    Date,    // a date text, sorted by the time it stands for (texts in no date form first)
};

template <class Row>
struct TableColumn {
    // The record property the column shows: the column's identifier and sort key.
    std::string identifier;
    // Its header: a language text, else the fixed title.
    std::optional<LanguageKey> title;
    std::string fixedTitle;
    ColumnKind kind = ColumnKind::Text;
    // What a cell shows (Text and Date columns), or its number (Number columns).
    std::function<OptString(const Row&)> text;
    std::function<std::int64_t(const Row&)> number;
};

// What the table model needs of a shown list.
class TableRows {
public:
    virtual ~TableRows() = default;
    virtual std::size_t size() const = 0;
    virtual std::size_t columns() const = 0;
    virtual const std::string& identifier(std::size_t column) const = 0;
    virtual std::string header(std::size_t column) const = 0;
    virtual bool numeric(std::size_t column) const = 0;
    virtual OptString cell(std::size_t row, std::size_t column) const = 0;
    // Whether the row stands for a deleted record.
    virtual bool deleted(std::size_t row) const = 0;
    // Whether the rows carry ticks, and a row's tick.
    virtual bool hasTicks() const = 0;
    virtual bool ticked(std::size_t row) const = 0;
    virtual void setTicked(std::size_t row, bool ticked) = 0;
};

template <class Row>
class RowTable : public TableRows {
public:
    std::vector<TableColumn<Row>> columnList;
    std::vector<Row> rows;
    // Ticks: none for rows without one.
    std::function<bool(const Row&)> tickOf;
    std::function<void(Row&, bool)> setTickOf;
    std::function<bool(const Row&)> deletedOf;

    std::size_t size() const override { return rows.size(); }
    std::size_t columns() const override { return columnList.size(); }
    const std::string& identifier(std::size_t column) const override {
        return columnList[column].identifier;
    }
    std::string header(std::size_t column) const override {
        const TableColumn<Row>& c = columnList[column];
        if (c.title) return LanguageConfig::sharedObject().text(*c.title).value_or(std::string());
        return c.fixedTitle;
    }
    bool numeric(std::size_t column) const override {
        return columnList[column].kind == ColumnKind::Number;
    }
    OptString cell(std::size_t row, std::size_t column) const override {
        const TableColumn<Row>& c = columnList[column];
        if (c.kind == ColumnKind::Number) return std::to_string(c.number(rows[row]));
        return c.text(rows[row]);
    }
    bool deleted(std::size_t row) const override { return deletedOf && deletedOf(rows[row]); }
    bool hasTicks() const override { return static_cast<bool>(tickOf); }
    bool ticked(std::size_t row) const override { return tickOf && tickOf(rows[row]); }
    void setTicked(std::size_t row, bool ticked) override {
        if (setTickOf) setTickOf(rows[row], ticked);
    }

    // The column whose identifier this is; none when there is no such column.
    std::optional<std::size_t> columnOf(const std::string& identifier) const {
        for (std::size_t i = 0; i < columnList.size(); ++i)
            if (columnList[i].identifier == identifier) return i;
        return std::nullopt;
    }

    // Sorts the rows by the column, keeping the order of rows with equal keys. Ascending puts
    // rows without a value (absent text, a date in no date form) first.
    void sortBy(std::size_t column, bool ascending) {
        const TableColumn<Row>& c = columnList[column];
        using Key = std::variant<std::monostate, std::int64_t, std::string>;
        std::vector<Key> keys;
        keys.reserve(rows.size());
        for (const Row& row : rows) {
            if (c.kind == ColumnKind::Number) {
                keys.emplace_back(c.number(row));
            } else if (c.kind == ColumnKind::Date) {
                if (auto key = ScreenText::DateSortKey(c.text(row)))
                    keys.emplace_back(*key);
                else
                    keys.emplace_back(std::monostate{});
            } else if (OptString text = c.text(row)) {
                keys.emplace_back(std::move(*text));
            } else {
                keys.emplace_back(std::monostate{});
            }
        }
        std::vector<std::size_t> order(rows.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return ascending ? keys[a] < keys[b] : keys[b] < keys[a];
        });
        std::vector<Row> sorted;
        sorted.reserve(rows.size());
        for (std::size_t i : order) sorted.push_back(std::move(rows[i]));
        rows = std::move(sorted);
    }
};

// The rule of a header click: ascending on a column other than the one sorted last, descending
// on a repeated click. Answers the direction and remembers the column.
inline bool HeaderClickAscending(std::string& identifier, const std::string& clicked) {
    const bool ascending = clicked != identifier;
    identifier = clicked;
    return ascending;
}

// One record of a shown list and whether it is a deleted one.
template <class R>
struct RecordRow {
    std::shared_ptr<R> record;
    bool deleted = false;
};

// Find-next through a list: the first match after the selected row (from the top when none is
// selected), else the first from the top up to and including the selected row. None: no match.
template <class Matches>
std::optional<std::size_t> FindNext(std::size_t count, std::optional<std::size_t> selected,
                                    Matches matches) {
    const std::size_t start = selected ? *selected + 1 : 0;
    for (std::size_t i = start; i < count; ++i)
        if (matches(i)) return i;
    if (selected)
        for (std::size_t i = 0; i <= *selected && i < count; ++i)
            if (matches(i)) return i;
    return std::nullopt;
}

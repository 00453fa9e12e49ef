#pragma once

#include "ui/RecordTable.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Pieces the data-type screens build their lists and columns from.
namespace ScreenHelpers {

template <class R>
using Rows = std::vector<RecordRow<R>>;

// The records of a list as rows, numbered from `first` on when `number` is set.
template <class R>
inline Rows<R> Numbered(const std::vector<std::shared_ptr<R>>& list, bool deleted, std::int32_t first,
                 bool number = true) {
    Rows<R> rows;
    rows.reserve(list.size());
    for (const auto& record : list) {
        if (!record) continue;
        if constexpr (requires { record->setSlNo(first); })
            if (number) record->setSlNo(first++);
        rows.push_back({record, deleted});
    }
    return rows;
}

// The records of rows, in the rows' order.
template <class R>
std::vector<std::shared_ptr<R>> RecordsOf(const Rows<R>& rows) {
    std::vector<std::shared_ptr<R>> records;
    records.reserve(rows.size());
    for (const auto& row : rows) records.push_back(row.record);
    return records;
}

template <class R>
Rows<R> Joined(Rows<R> a, Rows<R> b) {
    a.insert(a.end(), std::make_move_iterator(b.begin()), std::make_move_iterator(b.end()));
    return a;
}

template <class R>
void SetTicks(const std::vector<std::shared_ptr<R>>& list, bool ticked) {
    for (const auto& record : list)
        if (record) record->setIsChecked(ticked ? 1 : 0);
}

// Ticks (or clears) the deleted list, and the existing one too when `withExisting`, and returns
// the rows then shown: existing before deleted, keeping the numbers they had.
template <class R>
Rows<R> TickAll(const std::vector<std::shared_ptr<R>>& existing, const std::vector<std::shared_ptr<R>>& deleted,
                bool withExisting, bool ticked) {
    SetTicks(deleted, ticked);
    if (!withExisting) return Numbered(deleted, true, 0, false);
    SetTicks(existing, ticked);
    return Joined(Numbered(existing, false, 0, false), Numbered(deleted, true, 0, false));
}

// Ticks, deletion and the row number of record rows.
template <class R>
void RecordBasics(RowTable<RecordRow<R>>& table, bool ticks) {
    table.deletedOf = [](const RecordRow<R>& row) { return row.deleted; };
    if constexpr (requires(R& r) { r.setIsChecked(1); }) {
        if (!ticks) return;
        table.tickOf = [](const RecordRow<R>& row) { return row.record->isChecked() == 1; };
        table.setTickOf = [](const RecordRow<R>& row, bool on) { row.record->setIsChecked(on ? 1 : 0); };
    }
}

template <class Row>
TableColumn<Row> Number(std::string identifier, std::string title, std::function<std::int64_t(const Row&)> number) {
    TableColumn<Row> c;
    c.identifier = std::move(identifier);
    c.fixedTitle = std::move(title);
    c.kind = ColumnKind::Number;
    c.number = std::move(number);
    return c;
}

template <class Row>
TableColumn<Row> Text(std::string identifier, std::optional<LanguageKey> title, std::string fixedTitle,
                      std::function<OptString(const Row&)> text, ColumnKind kind = ColumnKind::Text) {
    TableColumn<Row> c;
    c.identifier = std::move(identifier);
    c.title = title;
    c.fixedTitle = std::move(fixedTitle);
    c.kind = kind;
    c.text = std::move(text);
    return c;
}

template <class R>
TableColumn<RecordRow<R>> SlNoColumn() {
    return Number<RecordRow<R>>("SlNo", "#", [](const RecordRow<R>& row) { return row.record->SlNo(); });
}

// The counts of the caption line: deleted and existing rows shown.
template <class R>
std::pair<std::size_t, std::size_t> ShownCounts(const RowTable<RecordRow<R>>& table) {
    std::size_t deleted = 0;
    for (const auto& row : table.rows) deleted += row.deleted;
    return {deleted, table.rows.size() - deleted};
}

}  // namespace ScreenHelpers

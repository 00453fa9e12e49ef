#include "legacy/LegacyCalendarCarving.h"
#include "legacy/LegacyText.h"

#include "carving/StoredTables.h"
#include "common/Clock.h"
#include "common/IcuDateCache.h"
#include "legacy/Constants.h"
#include "legacy/LegacyLiveCells.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"


#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <utility>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

// Seconds from 1970-01-01 to 2001-01-01 (UTC), where the calendar counts its dates from.
constexpr double kReferenceDateOffset = 978307200.0;

// The event row's columns after the row id that the header parse walks when the file's schema
// cannot be read: 50, or 51 when the byte after the 50 serial types is one more (a NULL).
constexpr std::int32_t kEventColumns = 50;
// The all-day column, counted from the summary (0).
constexpr std::int32_t kAllDayColumn = 6;

bool OneOf(std::uint8_t byte, std::initializer_list<std::uint8_t> values) {
    return std::find(values.begin(), values.end(), byte) != values.end();
}

bool IsLetter(std::uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// The count bytes at offset as ASCII; none when they do not lie wholly in the data or one of
// them is not ASCII. A count that is not positive reads as the empty text.
OptString Ascii(FileBytes b, std::int64_t offset, std::int64_t count) {
    if (count <= 0) return std::string();
    if (!b.has(offset, count)) return std::nullopt;
    return DecodeAscii(b.text(offset, count));
}

// The count bytes at offset read as ISO-2022-JP (bytes that do not decode become replacement
// characters); the empty text when they do not lie wholly in the data.
std::string Iso2022Jp(Iso2022JpText& japanese, FileBytes b, std::int64_t offset, std::int64_t count) {
    if (count <= 0 || !b.has(offset, count)) return {};
    return japanese.decode(b.text(offset, count)).value_or(std::string());
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// The most columns after the row id that a record header is read for.
constexpr std::int32_t kMostEventColumns = 64;

// The serial type at offset and the bytes it takes; none past the data or for a value no
// column can have.
std::optional<std::pair<std::int64_t, std::int64_t>> SerialTypeAt(FileBytes b, std::int64_t offset) {
    const auto varint = ReadVarint(b, offset);
    if (!varint || varint->value < 0 || varint->value > (1 << 30) || ContentLength(varint->value) < 0)
        return std::nullopt;
    return std::pair<std::int64_t, std::int64_t>(varint->value, varint->size);
}

bool IsTextOrNull(std::int64_t type) {
    return type == 0 || (type >= 13 && type % 2 == 1);
}
// An integer, a double or one of the constants 0 and 1.
bool IsDateType(std::int64_t type) {
    return type >= 1 && type <= 9;
}

// Whether an event row's header starts at p: the row id's NULL (which the free-block header
// of a freed short row covers, so its byte is not tested), then the serial types of the
// summary (a text), the location (a small number or NULL), the description (text or NULL), the
// start date, its time zone (text or NULL), the end date, the all-day flag and the calendar.
bool EventHeaderAt(FileBytes b, std::int64_t p) {
    std::array<std::int64_t, 8> types{};
    std::int64_t at = p + 1;
    for (std::int64_t& type : types) {
        const auto read = SerialTypeAt(b, at);
        if (!read) return false;
        type = read->first;
        at += read->second;
    }
    const auto [summary, location, description, start, zone, end, allDay, calendar] = types;
    return summary >= 13 && summary % 2 == 1 && OneOf(static_cast<std::uint8_t>(location), {0, 1, 2, 8, 9}) &&
           location <= 9 && IsTextOrNull(description) && IsDateType(start) && IsTextOrNull(zone) && IsDateType(end) &&
           OneOf(static_cast<std::uint8_t>(allDay), {0, 1, 8, 9}) && allDay <= 9 &&
           OneOf(static_cast<std::uint8_t>(calendar), {1, 2, 8, 9}) && calendar <= 9;
}

// The row id whose varint ends just before offset (one or two bytes).
std::int32_t RowIdBefore(FileBytes b, std::int64_t offset) {
    const std::int32_t r = (b[offset - 1] < 0x80 && b[offset - 2] > 0x80) ? 2 : 1;
    return Constants::huffman_calc(offset - r, r, b);
}

// The count bytes at offset as UTF-8 text; none when they do not lie in the data, are no
// well-formed UTF-8 or hold control bytes (a run of NUL bytes is no text).
OptString Utf8(FileBytes b, std::int64_t offset, std::int64_t count) {
    if (count <= 0) return std::string();
    if (!b.has(offset, count)) return std::nullopt;
    const std::string_view bytes = b.text(offset, count);
    if (!IsValidUtf8(bytes) || HasControlBytes(bytes)) return std::nullopt;
    return std::string(bytes);
}

// A date column of the serial type at offset (an integer or a double of seconds since
// 2001-01-01 UTC); none for NULL and other types.
OptString EventDateOfType(FileBytes b, std::int64_t offset, std::int64_t type) {
    double seconds = 0;
    if (type == 8 || type == 9 || (type >= 1 && type <= 6)) {
        const auto value = IntegerOfType(b, offset, type);
        if (!value) return std::nullopt;
        seconds = static_cast<double>(*value);
    } else if (type == 7) {
        if (!b.has(offset, 8)) return std::nullopt;
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[offset + i];
        std::memcpy(&seconds, &bits, sizeof seconds);
        if (!std::isfinite(seconds)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    const OptDate date = DateFromUnixSeconds(seconds + kReferenceDateOffset);
    if (!date) return std::nullopt;
    return IcuDateCache::Format(DatePattern::DateTime24, *date);
}

// The summaries and start dates of the file's live events: a freed copy of one of them (the row
// was rewritten elsewhere) is no deleted event.
using LiveEvents = std::set<std::pair<std::string, std::string>>;
LiveEvents ReadLiveEvents(const std::string& path) {
    LiveEvents events;
    if (path.empty()) return events;
    const StoredTables tables(path);
    const auto columns = tables.columnsOf("CalendarItem");
    if (!columns) return events;
    const auto indexOf = [&](std::string_view name) -> std::size_t {
        for (std::size_t i = 0; i < columns->size(); ++i)
            if ((*columns)[i] == name) return i;
        return columns->size();
    };
    const std::size_t summary = indexOf("summary");
    const std::size_t start = indexOf("start_date");
    for (const auto& row : tables.rows("CalendarItem").rows) {
        if (summary >= row.values.size() || start >= row.values.size()) continue;
        const std::string* text = row.values[summary].text();
        if (!text) continue;
        const ColumnValue& date = row.values[start];
        const OptDate when =
            date.isNumber() ? DateFromUnixSeconds(date.asDouble() + kReferenceDateOffset) : OptDate();
        events.emplace(*text, when ? IcuDateCache::Format(DatePattern::DateTime24, *when) : std::string());
    }
    return events;
}

}  // namespace

void LegacyCalendarCarving::append(const std::shared_ptr<Calendar>& event) {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCalendar.append(event);
    ++state.DeletedCalendarCount;
}

void LegacyCalendarCarving::keep(const std::shared_ptr<Calendar>& event, std::int32_t rowId, const RowIdMap& live) {
    if (live.count(std::to_string(rowId)) != 0) return;
    // The same event found again (a freed copy of its row) has its title and its times; events
    // that share only a title (a series created one by one) are each listed.
    const bool listed = run_.appDelegate().DeletedCalendar.any([&](const Calendar& other) {
        return other.Summary() == event->Summary() && other.StartDate() == event->StartDate() &&
               other.EndDate() == event->EndDate();
    });
    if (!listed) append(event);
}

bool LegacyCalendarCarving::RecoverDeletedCalendar_iOS7_0_2() {
    run_.appDelegate().DeletedCalendar.clear();
    // A missing file ends this routine without ending the recovery.
    const bool recovering = run_.isRecovering;
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Calendar);
    if (database.empty()) {
        run_.isRecovering = recovering;
        return false;
    }
    const FileBytes b = database.bytes();
    const std::int64_t length = b.length();
    const RowIdMap live = DAOs(run_.context()).GetAllCalenderRowID();
    const LegacyLiveCells liveCells(b);
    const LiveEvents liveEvents = ReadLiveEvents(run_.context().databasePath(DatabaseRole::Calendar));
    // The columns after the row id: from the file's schema, else 50 (51 when one more NULL
    // follows the 50 serial types).
    const auto declared = run_.columnCount(DatabaseRole::Calendar, "CalendarItem");
    const std::optional<std::int32_t> fromSchema =
        declared && *declared > 8 && *declared - 1 <= kMostEventColumns ? std::optional(*declared - 1) : std::nullopt;

    std::array<std::int64_t, kMostEventColumns> types{};
    std::int64_t p = 0;
    while (p < length - 6) {
        // p stands on the row id's serial type; the summary's follows.
        if (!EventHeaderAt(b, p)) {
            ++p;
            continue;
        }
        if (run_.stopRequested()) break;
        const std::int64_t h = p + 1;
        std::int32_t count = fromSchema.value_or(kEventColumns);
        if (!fromSchema) {
            std::int64_t at = h;
            for (std::int32_t k = 0; k < kEventColumns; ++k) at += Constants::huffman_check(at, b);
            if (b[at] == 0) count = kEventColumns + 1;
        }
        std::int64_t at = h;
        std::int64_t valueBytes = 0;
        bool readable = true;
        for (std::int32_t k = 0; k < count && readable; ++k) {
            const auto type = SerialTypeAt(b, at);
            readable = type.has_value();
            if (!readable) break;
            types[static_cast<std::size_t>(k)] = type->first;
            valueBytes += ContentLength(type->first);
            at += type->second;
        }
        const std::int64_t data = at;
        // Values running past the end of the file, or a row that is live: no record.
        if (!readable || !b.has(data, valueBytes) || liveCells.contains(p) || liveCells.contains(data)) {
            ++p;
            continue;
        }
        // An intact record keeps its header's length and its row id before it; a freed one has
        // the free-block header there instead, which tells nothing of the row.
        const bool intact = b[p - 1] == data - (p - 1);
        const std::int32_t rowId = intact ? RowIdBefore(b, p - 1) : 0;

        auto event = std::make_shared<Calendar>();
        bool decodable = true;
        std::int64_t cursor = data;
        for (std::int32_t k = 0; k < count; ++k) {
            const std::int64_t type = types[static_cast<std::size_t>(k)];
            const std::int64_t start = cursor;
            cursor += ContentLength(type);
            if (type >= 13 && type % 2 == 1) {
                const OptString text = Utf8(b, start, ContentLength(type));
                if (k == 0) decodable = text && !text->empty();
                if (!text) continue;
                if (k == 0)
                    event->setSummary(*text);
                else if (k == 2)
                    event->setDescription(*text);
                else if (k == 4 && *text != "_float")
                    event->setStart_TimeZone(*text);
            } else if (k == 3 || k == 5) {
                const OptString date = EventDateOfType(b, start, type);
                if (k == 3)
                    event->setStartDate(date);
                else
                    event->setEndDate(date);
            } else if (k == kAllDayColumn) {
                // As the live events show it: the column's number.
                if (const auto allDay = IntegerOfType(b, start, type)) event->setAllDay(std::to_string(*allDay));
            }
        }
        // A header whose summary does not decode was no record: the scan goes on from the next
        // byte, not past the values it claimed.
        if (!decodable) {
            ++p;
            continue;
        }
        p = cursor + 1;
        if (liveEvents.count({*event->Summary(), event->StartDate().value_or(std::string())}) != 0) continue;
        keep(event, rowId, live);
    }
    return false;
}

bool LegacyCalendarCarving::RecoverDeletedNewIOS5CalendarInfo() {
    return RecoverByPattern(PatternVariant::IOS5);
}

bool LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo() {
    return RecoverByPattern(PatternVariant::IOS6);
}

bool LegacyCalendarCarving::RecoverDeletedNewIOS6CalendarInfo1() {
    return RecoverByPattern(PatternVariant::IOS6Simple);
}

bool LegacyCalendarCarving::RecoverByPattern(PatternVariant variant) {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCalendar.clear();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Calendar);
    if (database.empty()) return false;
    const FileBytes b = database.bytes();
    const std::int64_t length = b.length();
    const RowIdMap live = DAOs(run_.context()).GetAllCalenderRowID();
    const bool ios5 = variant == PatternVariant::IOS5;

    std::int64_t p = 32;
    std::int64_t previous = -1;
    // The iOS 6 routine's guard: the furthest position reached and the last one it moved on from.
    std::int64_t furthest = 0, movedFrom = 0;
    // The furthest match taken: a scan sent back before it moves on over it rather than taking it
    // again (and again).
    std::int64_t lastMatch = -1;
    while (p < length - 20) {
        switch (variant) {
            case PatternVariant::IOS5:
                if (p == previous) p += 1;
                break;
            case PatternVariant::IOS6:
                if (p <= furthest) {
                    if (p == movedFrom) p += 20;
                    movedFrom = p;
                    p += 6;
                } else {
                    furthest = p;
                }
                break;
            case PatternVariant::IOS6Simple:
                if (p == previous) p += 6;
                break;
        }
        previous = p;

        bool match = b[p] == 4 && b[p + 3] == 8 && b[p + 4] == 1 && b[p + 5] == 8;
        if (ios5 && !match) match = b[p] == 4 && b[p + 1] == 9 && b[p + 2] == 1 && b[p + 3] == 8;
        if (!match || p <= lastMatch) {
            ++p;
            continue;
        }
        if (run_.stopRequested()) break;
        if (variant == PatternVariant::IOS6) {
            for (std::int64_t r = p + 2; r <= p + 39; ++r) {
                if (b[r] == 4 && OneOf(b[r + 3], {8, 9}) && b[r + 4] == 1 && b[r + 5] == 8) {
                    p = r;
                    break;
                }
                if (b[r] == 0 && OneOf(b[r + 3], {8, 9}) && b[r + 4] == 1 && b[r + 5] == 8 && b[r + 6] == 0 &&
                    b[r + 7] == 8) {
                    p = r - 1;
                    break;
                }
            }
        }
        lastMatch = std::max(lastMatch, p);

        // Back to the row id's serial type (a 0 that is not a value of the header).
        std::int64_t q = p;
        while (q > p - 12 && (b[q] != 0 || b[q - 1] == 1 ||
                              (ios5 ? (b[q - 1] == 8 && b[q - 2] != 1) : b[q - 1] == 8)))
            --q;
        std::int32_t rowId = b[q - 2];
        if (b[q - 3] > 0x80)
            rowId = LegacyRecovery::GetValue(static_cast<std::int8_t>(b[q - 3]), static_cast<std::int8_t>(b[q - 2]));

        std::int64_t s1 = b[q + 1];
        p = q + 1;
        if (s1 > 0x80) {
            s1 = (s1 - 0x80) * 128 + b[q + 2];
            p = q + 2;
        }
        std::int64_t l1 = (s1 - 13) / 2;
        const std::uint8_t u = b[p + 1];
        std::int64_t s2 = b[p + 2];
        if (s2 > 0x80) s2 = (s2 - 0x80) * 128 + b[p + 3];
        std::int64_t l2 = std::max<std::int64_t>((s2 - 13) / 2, 0);

        if (l1 < (ios5 ? 4 : 1)) {
            p += 3;
            continue;
        }
        // The summary: the first run of printable text from two letters on.
        p += 12;
        while (p + 1 < length && !(IsLetter(b[p]) && IsLetter(b[p + 1]))) ++p;
        if (p + 1 >= length) break;
        std::int64_t n = 0;
        while (p + n < length && b[p + n] >= 0x20 && b[p + n] <= 0x80) ++n;

        switch (variant) {
            case PatternVariant::IOS5:
                if (l1 < n)
                    l2 = n - l1;
                else
                    l1 = n;
                break;
            case PatternVariant::IOS6:
                if (n < l1 + l2) {
                    if (l1 < n)
                        l2 = n - l1;
                    else
                        l1 = n;
                }
                break;
            case PatternVariant::IOS6Simple: l1 = n - (l2 + 1); break;
        }
        if (ios5 && l1 <= 3) continue;

        const OptString text = Ascii(b, p, l1);
        if (live.count(std::to_string(rowId)) != 0 || run_.isDuplicateCalender(text)) l1 = 0;
        bool make = text && !text->empty() && l1 > 0;
        switch (variant) {
            case PatternVariant::IOS5:
                p += l1 + (u < 2 ? 1 : 0);
                break;
            case PatternVariant::IOS6:
                if (n == l1 + l2 + 1)
                    p += l1 + 1;
                else
                    p += l1 + (u < 2 ? 1 : 0);
                if (!text || text->empty() || l1 < 1) {
                    p += 1;
                    make = false;
                }
                break;
            case PatternVariant::IOS6Simple: p += l1 + 1; break;
        }
        if (make) {
            auto event = std::make_shared<Calendar>();
            const auto listed = static_cast<std::int32_t>(state.DeletedCalendar.size());
            event->setSlNo(variant == PatternVariant::IOS6Simple
                               ? listed + 1
                               : static_cast<std::int32_t>(state.CalendarContent.size()) + listed + 1);
            event->setSummary(OneLine(*text));
            event->setDescription(OneLine(*text));
            if (l2 > 0 && (!ios5 || (l2 > 3 && LegacyRecovery::isAsciiValue(static_cast<std::int8_t>(b[p]))))) {
                const OptString description = Ascii(b, p, l2);
                event->setDescription(description ? OptString(OneLine(*description)) : std::nullopt);
            }
            append(event);
        }
        if (l1 > 0) p += l2;
    }
    return false;
}

bool LegacyCalendarCarving::RecoverDeletedCalendarInfo() {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCalendar.clear();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Calendar);
    if (database.empty()) return false;
    const FileBytes b = database.bytes();
    Iso2022JpText japanese(Iso2022JpText::OnBadBytes::Replace);
    const std::int64_t length = b.length();
    const std::int32_t iOSMajor = run_.iOSMajorVersion();
    // A text's length from its serial-type byte; negative for bytes below 13.
    const auto textLength = [](std::uint8_t serialType) { return (std::int64_t{serialType} - 15) / 2 + 1; };

    std::int64_t l1 = 0, l2 = 0, l3 = 0;
    std::int64_t p = 32;
    while (p < length - 20) {
        const bool match = b[p] == 4 && b[p + 2] == 4 && OneOf(b[p + 26], {1, 8}) &&
                           (b[p + 21] == 'U' || b[p + 22] == 'U');
        if (!match) {
            ++p;
            continue;
        }
        if (run_.stopRequested()) break;
        if (b[p - 4] == 0) {
            l1 = textLength(b[p - 3]);
            l2 = textLength(b[p - 2]);
            l3 = b[p - 1] == 0 ? 0 : textLength(b[p - 1]);
        } else if (b[p - 5] == 0) {
            l1 = textLength(b[p - 4]);
            l2 = textLength(b[p - 3]);
            l3 = (b[p - 2] == 0 && b[p - 1] == 0) ? 0 : textLength(b[p - 2]);
        }
        const std::int64_t start = b[p + 21] == 'U' ? p + 37 : p + 27;
        const std::int64_t longest = std::max(l1, l3);
        if (iOSMajor >= 5 && b[p - 5] == '*') {
            p += longest > 0 ? longest : 1;
            continue;
        }
        if (longest == 0) {
            ++p;
            continue;
        }
        std::array<std::string, 3> texts;
        if (l1 > 0) texts[0] = Iso2022Jp(japanese, b, start, l1);
        std::int64_t t = start + l1;
        if (l2 > 0) {
            texts[1] = Iso2022Jp(japanese, b, t, l2);
            t += l2;
        }
        if (l3 > 0) texts[2] = Iso2022Jp(japanese, b, t, l3);
        for (const std::string& text : texts) {
            if (text.empty()) continue;
            auto event = std::make_shared<Calendar>();
            event->setSlNo(static_cast<std::int32_t>(state.DeletedCalendar.size()) + 1);
            event->setSummary(OneLine(text));
            append(event);
        }
        p = t;
    }
    return false;
}

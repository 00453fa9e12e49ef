#include "legacy/LegacyCalendarCarving.h"
#include "legacy/LegacyText.h"

#include "common/Clock.h"
#include "common/IcuDateCache.h"
#include "legacy/Constants.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"


#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

// Seconds from 1970-01-01 to 2001-01-01 (UTC), where the calendar counts its dates from.
constexpr double kReferenceDateOffset = 978307200.0;

// The event row's columns after the summary that the header parse walks: 50, or 51 when the
// byte after the 50 serial types is one more (a NULL).
constexpr std::int32_t kEventColumns = 50;

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

// Four bytes, unsigned and most significant first, as seconds since 2001-01-01 UTC.
OptString EventDate(std::string_view value) {
    const std::uint32_t seconds = static_cast<std::uint32_t>(Constants::big_endian(0, 4, FileBytes(value)));
    const OptDate date = DateFromUnixSeconds(static_cast<double>(seconds) + kReferenceDateOffset);
    if (!date) return std::nullopt;
    return IcuDateCache::Format(DatePattern::DateTime24, *date);
}

}  // namespace

void LegacyCalendarCarving::append(const std::shared_ptr<Calendar>& event) {
    BrimleyAppDelegate& state = run_.appDelegate();
    state.DeletedCalendar.append(event);
    ++state.DeletedCalendarCount;
}

void LegacyCalendarCarving::keep(const std::shared_ptr<Calendar>& event, std::int32_t rowId, const RowIdMap& live) {
    if (live.count(std::to_string(rowId)) != 0 || run_.isDuplicateCalender(event->Summary())) return;
    append(event);
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

    std::array<Constants::ColumnDescriptor, kEventColumns + 1> columns;
    std::array<std::int64_t, kEventColumns + 1> lengths{};
    std::int64_t p = 0;
    while (p < length - 6) {
        // p stands on the row id's serial type; the summary's (n bytes) follows.
        const std::int64_t n = Constants::huffman_check(p + 1, b);
        const bool match = OneOf(b[p + n + 1], {1, 2, 8, 9}) && OneOf(b[p + n + 3], {4, 9}) &&
                           OneOf(b[p + n + 5], {4, 9}) && OneOf(b[p + n + 6], {8, 9}) && b[p + n + 7] == 1 &&
                           b[p + n + 8] == 8;
        if (!match) {
            ++p;
            continue;
        }
        if (run_.stopRequested()) break;
        const std::int32_t r = (b[p - 2] < 0x80 && b[p - 3] > 0x80) ? 2 : 1;
        const std::int32_t rowId = Constants::huffman_calc(p - r - 1, r, b);

        const std::int64_t h = p + 1;
        std::int64_t at = h;
        for (std::int32_t k = 0; k < kEventColumns; ++k) at += Constants::huffman_check(at, b);
        const std::int32_t count = b[at] == 0 ? kEventColumns + 1 : kEventColumns;
        at = h;
        std::int64_t valueBytes = 0;
        for (std::int32_t k = 0; k < count; ++k) {
            const std::int32_t m = Constants::huffman_check(at, b);
            columns[k] = Constants::getDataType(Constants::huffman_calc(at, m, b));
            lengths[k] = std::stoll(columns[k].second);
            valueBytes += lengths[k];
            at += m;
        }
        const std::int64_t data = at;
        if (!b.has(data, valueBytes)) {
            // Values running past the end of the file: no record.
            ++p;
            continue;
        }

        auto event = std::make_shared<Calendar>();
        std::int64_t cursor = data;
        for (std::int32_t k = 0; k < count; ++k) {
            cursor += lengths[k];
            const std::int64_t start = cursor - lengths[k];
            const std::string& kind = columns[k].first;
            if (kind == "TEXT") {
                const OptString text = Ascii(b, start, lengths[k]);
                if (!text) continue;
                if (k == 0)
                    event->setSummary(*text);
                else if (k == 2)
                    event->setDescription(*text);
                else if (k == 4 && *text != "_float")
                    event->setStart_TimeZone(*text);
            } else if (kind == "INTEGER" && lengths[k] == 4 && (k == 3 || k == 5)) {
                const OptString date = EventDate(b.text(start, 4));
                if (k == 3)
                    event->setStartDate(date);
                else
                    event->setEndDate(date);
            }
        }
        p = cursor + 1;
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

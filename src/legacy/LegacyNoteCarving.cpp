#include "legacy/LegacyNoteCarving.h"
#include "legacy/LegacyText.h"

#include "carving/StoredTables.h"
#include "common/DateUtils.h"
#include "database/DAOs.h"
#include "legacy/Constants.h"
#include "legacy/LegacyLiveCells.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Note.h"


#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

// How often the slide tests the stop token between candidates (positions).
constexpr std::int64_t kStopStride = 1 << 16;

constexpr int kAny = FileBytes::kAnyByte;

// A length as this file format's older records give it: one byte v, or (v - 128) * 128 plus
// the next byte when v is above 0x80; the text length is (value - 13) / 2. *width receives the
// byte count.
std::int32_t TwoByteLength(FileBytes b, std::int64_t at, std::int32_t* width = nullptr) {
    const std::int32_t v = b[at];
    std::int32_t value = v;
    std::int32_t bytes = 1;
    if (v > 0x80) {
        value = (v - 128) * 128 + b[at + 1];
        bytes = 2;
    }
    if (width) *width = bytes;
    return (value - 13) / 2;
}

bool IsLetter(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::int64_t ToLength(const std::string& digits) {
    std::int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// A candidate's text: the bytes, or none when they would run past the end of the data.
std::optional<std::string_view> Cut(FileBytes b, std::int64_t at, std::int64_t count) {
    if (!b.has(at, count)) return std::nullopt;
    return b.text(at, count);
}

// What the text-by-pattern routines share: the database, the list started anew, the live
// note queries.
struct NoteScan {
    LegacyRecovery& run;
    LegacyRecovery::Database database;
    FileBytes bytes;
    bool found = false;

    NoteScan(LegacyRecovery& r, bool clearsRecoveringWhenMissing) : run(r) {
        run.appDelegate().DeletedNotes.clear();
        const bool recovering = run.isRecovering.load();
        database = run.readDatabase(DatabaseRole::Notes);
        bytes = database.bytes();
        if (bytes.empty() && !clearsRecoveringWhenMissing) run.isRecovering = recovering;
    }

    void append(std::shared_ptr<Note> note) {
        run.appDelegate().DeletedNotes.append(std::move(note));
        ++run.appDelegate().DeletedNoteCount;
    }

    std::int32_t nextSlNo() const {
        return static_cast<std::int32_t>(run.appDelegate().DeletedNotes.size()) + 1;
    }
};

// Whether to stop at this position: a stopped scan ends promptly.
bool Stopped(const LegacyRecovery& run, std::int64_t p, bool candidate) {
    return (candidate || p % kStopStride == 0) && run.stopRequested();
}

// The older and the iOS 5 notes: texts after fixed record-header patterns.
bool TextByPattern(LegacyRecovery& run, bool newNotes) {
    NoteScan scan(run, true);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    Iso2022JpText japanese;
    const std::int64_t length = b.length();
    std::int64_t p = 32;
    while (p < length - 22) {
        if (Stopped(run, p, false)) break;
        std::int32_t n = 0;
        bool matched = false;
        if (b.matches(p, {0x01, 0x01, 0x01, kAny, 0x00, 0x00, 0x04})) {
            n = b[p - 1];
            p += 9;
            matched = true;
        } else if (b.matches(p, {0x01, 0x01, 0x01, 0x07, 0x07, 0x00, 0x00, 0x00, 0x0D}) &&
                   (!newNotes || b[p + 17] == 0xFF)) {
            n = TwoByteLength(b, p + 9);
            p += 44;
            matched = true;
        } else if (newNotes && b.matches(p, {0x08, 0x01, 0x09, 0x07, 0x07, 0x00, 0x00, 0x00, 0x0D})) {
            n = TwoByteLength(b, p + 9);
            p += 35;
            matched = true;
        }
        if (newNotes) {
            if (b.matches(p, {0x08, 0x08, 0x08, 0x08, 0x05, 0x01})) {
                n = TwoByteLength(b, p + 15);
                p += 41;
            } else {
                p += 1;
            }
        } else if (!matched) {
            p += 1;
            continue;
        }
        if (newNotes ? n <= 0 : n == 0) continue;
        if (Stopped(run, p, true)) break;
        scan.found = true;
        std::optional<std::string_view> raw;
        if (newNotes)
            raw = Cut(b, p, n);
        else
            raw = Cut(b, p, LegacyRecovery::GetTheLengthOfTheStringBytes(b, p) - p);
        if (!raw) break;
        const OptString text = japanese.decode(*raw);
        if (!text || text->empty()) continue;
        auto note = std::make_shared<Note>();
        note->setSlNo(scan.nextSlNo());
        note->setSummary(*text);
        scan.append(std::move(note));
    }
    return scan.found;
}

bool PatternA(FileBytes b, std::int64_t at) {
    return b.matches(at, {0x08, 0x08, 0x08, 0x08, 0x05}) && (b[at + 5] == 0x01 || b[at + 5] == 0x02);
}

// Where the note's text starts for pattern A at p and how many printable bytes it has; none
// when a later header lies close ahead (p is then moved just before it).
bool TextOfPatternA(FileBytes b, std::int64_t& p, std::int64_t& t, std::int64_t& n) {
    std::int32_t l0 = b[p + 11];
    if (l0 > 13) l0 = (l0 - 13) / 2;
    if (l0 < 1) l0 = 0;
    p += 15;
    if (b[p] > 0x80) p += 1;
    for (std::int64_t q = p; q < p + 30; ++q) {
        if (PatternA(b, q)) {
            p = q - 5;
            return false;
        }
    }
    std::int64_t x = p + 26 + (l0 > 0 ? l0 - 8 : 0);
    const bool lettersAhead = IsLetter(b[x]) && IsLetter(b[x + 1]) && IsLetter(b[x + 2]);
    const bool lettersBehind = IsLetter(b[x]) && IsLetter(b[x - 1]) && IsLetter(b[x - 2]);
    if (!lettersAhead && !lettersBehind) {
        for (std::int64_t q = x; q < x + 30; ++q) {
            if (IsLetter(b[q]) && b.has(q, 3) && b[q + 1] < 0x80 && b[q + 2] < 0x80) {
                x = q;
                break;
            }
        }
    }
    const auto inWord = [](std::uint8_t c) {
        return (c >= '0' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ' || c == '(';
    };
    std::int64_t y = x;
    while (y >= 0 && inWord(b[y])) --y;
    t = y + 1;
    n = 0;
    while (b.has(t + n, 1) && b[t + n] >= 32 && b[t + n] < 128) ++n;
    return true;
}

// The iOS 6 and iOS 7 notes: texts found from the note table's header patterns.
bool TextByLaterPattern(LegacyRecovery& run, bool ios7) {
    NoteScan scan(run, true);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    Iso2022JpText japanese;
    DAOs live(run.context());
    const std::int64_t length = b.length();
    std::int64_t p = 32;
    while (p < length - 22) {
        if (Stopped(run, p, false)) break;
        std::int64_t t = 0;
        std::int64_t n = 0;
        if (PatternA(b, p)) {
            if (!TextOfPatternA(b, p, t, n)) n = 0;
        } else if (!ios7 && b.matches(p, {0x01, 0x01, 0x08, 0x08, 0x09, 0x03})) {
            std::int32_t width = 1;
            n = TwoByteLength(b, p + 17, &width);
            t = p + 17 + width + 61;
        } else if (ios7 && b.matches(p, {0x01, 0x01, 0x08, 0x08}) && (b[p + 4] == 0x08 || b[p + 4] == 0x09) &&
                   b[p + 5] == 0x03) {
            for (std::int64_t q = p + 10; q < p + 64; ++q) {
                if (b.matches(q, {0x01, 0x01, 0x08, 0x08}) && (b[q + 4] == 0x08 || b[q + 4] == 0x09) &&
                    b[q + 5] == 0x03) {
                    p = q;
                    break;
                }
            }
            std::int32_t width = 1;
            const std::int32_t l1 = TwoByteLength(b, p + 14, &width);
            const std::int64_t at = p + 14 + width - 1 + 4;
            n = TwoByteLength(b, at, &width);
            const std::int64_t e = at + width;
            t = l1 > 0 ? e + 19 + l1 + 36 + (b[e + 16] == 0x17 ? 1 : 0) : e + 61;
        }
        if (n <= 0) {
            p += 1;
            continue;
        }
        if (Stopped(run, p, true)) break;
        scan.found = true;
        const std::int64_t from = ios7 ? t : t + 36;
        const std::int64_t count = ios7 ? n : n - 36;
        // Never back: the next position lies after the current one.
        const std::int64_t next = std::max(ios7 ? t + 6 : t + 42, p + 1);
        if (count > 0) {
            const auto raw = Cut(b, from, count);
            if (!raw) break;
            const OptString text = japanese.decode(*raw);
            if (text && !text->empty() && !live.isDuplicateNote(text) && !run.isDuplicateNotes(text)) {
                auto note = std::make_shared<Note>();
                note->setSlNo(scan.nextSlNo());
                note->setTitle(*text);
                if (!ios7) note->setSummary(*text);
                scan.append(std::move(note));
            }
        }
        p = next;
    }
    return scan.found;
}

// The iOS 6 and iOS 7.0.2 notes: note-table records whose header is decoded serial type by
// serial type. columns: 18 (iOS 6) or 19 (iOS 7.0.2).
bool DecodedHeader(LegacyRecovery& run, bool ios7) {
    NoteScan scan(run, false);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    const std::int32_t columns = ios7 ? 19 : 18;
    RowIdMap liveRows;
    if (ios7) liveRows = DAOs(run.context()).GetAllNotesRowID();
    const std::int64_t length = b.length();
    std::int64_t p = 0;
    while (p < length - 6) {
        if (Stopped(run, p, false)) break;
        bool header = b[p] == 1 && (b[p + 1] == 1 || b[p + 1] == 9);
        for (int i = 2; header && i <= 4; ++i) header = b[p + i] == 8 || b[p + i] == 9;
        if (header && !ios7) header = (b[p + 11] == 7 || b[p + 11] == 4) && (b[p + 12] == 7 || b[p + 12] == 4);
        if (header && ios7) header = (b[p + 12] == 7 || b[p + 11] == 4) && (b[p + 13] == 7 || b[p + 12] == 4);
        if (!header) {
            ++p;
            continue;
        }
        if (Stopped(run, p, true)) break;
        std::int32_t rowId = 0;
        if (ios7) {
            const std::int32_t n = b[p - 3] < 0x80 && b[p - 4] > 0x80 ? 2 : 1;
            rowId = Constants::huffman_calc(p - 3 - (n - 1), n, b);
        }
        std::int64_t q = p;
        std::array<Constants::ColumnDescriptor, 19> types{};
        for (std::int32_t i = 0; i < columns; ++i) {
            const std::int32_t k = Constants::huffman_check(q, b);
            const std::int32_t value = k == 1 ? b[q] : Constants::huffman_calc(q, k, b);
            types[static_cast<std::size_t>(i)] = Constants::getDataType(value);
            q += k;
        }
        std::int64_t d = q;  // the data start, p + H
        bool deleted = false;
        bool complete = true;
        auto note = std::make_shared<Note>();
        for (std::int32_t i = 0; i < columns; ++i) {
            const auto& [kind, size] = types[static_cast<std::size_t>(i)];
            const std::int64_t count = ToLength(size);
            if (!b.has(d, count)) {
                complete = false;
                break;
            }
            if (kind == "TEXT" && (i == 17 || i == 18)) {
                const std::string text = DecodeAscii(b.text(d, count)).value_or(std::string());
                if (i == 17)
                    note->setSummary(text);
                else
                    note->setTitle(text);
            } else if (kind == "1" && i == 4) {
                deleted = true;
            }
            d += count;
        }
        // A column running past the end of the data ends the scan.
        if (!complete) break;
        if (!ios7) {
            if (deleted) scan.append(std::move(note));
            p = d;
        } else {
            if (deleted || liveRows.count(std::to_string(rowId)) == 0) scan.append(std::move(note));
            p = d + 1;
        }
    }
    return !run.appDelegate().DeletedNotes.empty();
}

// The note table's columns of iOS 4 to 6 (the row id's included), whose rows the text patterns
// above were drawn from.
constexpr std::size_t kPatternNoteColumns = 19;

// What a column of the note table holds, by its name: a text, a date (seconds since 2001, a
// double or an integer) or, for every other column, an integer; each may be NULL.
enum class NoteColumn { Integer, Date, Text };
NoteColumn NoteColumnOf(std::string_view name) {
    for (const char* text : {"ZAUTHOR", "ZGUID", "ZSERVERID", "ZSUMMARY", "ZTITLE"})
        if (name == text) return NoteColumn::Text;
    if (name == "ZCREATIONDATE" || name == "ZMODIFICATIONDATE") return NoteColumn::Date;
    return NoteColumn::Integer;
}

bool FitsNoteColumn(std::int64_t type, NoteColumn kind) {
    switch (kind) {
        case NoteColumn::Integer: return (type >= 0 && type <= 6) || type == 8 || type == 9;
        case NoteColumn::Date: return (type >= 0 && type <= 9);
        case NoteColumn::Text: return type == 0 || (type >= 13 && type % 2 == 1);
    }
    return false;
}

// A date column's seconds; none for NULL or bytes that are no finite number.
std::optional<double> SecondsOfType(FileBytes b, std::int64_t offset, std::int64_t type) {
    if (type != 7) {
        const auto value = IntegerOfType(b, offset, type);
        return value ? std::optional<double>(static_cast<double>(*value)) : std::nullopt;
    }
    if (!b.has(offset, 8)) return std::nullopt;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[offset + i];
    double seconds = 0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    if (!std::isfinite(seconds)) return std::nullopt;
    return seconds;
}

// The note table of a layout the text patterns do not know (iOS 7 inserted a column in the
// middle of the record), read record by record from each header: after the row id's serial
// type (which a freed cell's free-block header may cover, so it is not tested), one serial type
// per column that fits what the column holds, the values inside the file and decodable, a
// GUID, a creation date and a title or summary.
// A header inside a live cell is a live row; a freed copy of a live note (the note was saved
// anew) has its creation date and body; a note found in several freed copies is listed once.
bool NotesByHeader(LegacyRecovery& run, const std::vector<std::string>& columns) {
    NoteScan scan(run, true);
    const FileBytes b = scan.bytes;
    if (b.empty() || columns.size() < 2) return false;
    const auto indexOf = [&](std::string_view name) {
        return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) - columns.begin());
    };
    const std::size_t created = indexOf("ZCREATIONDATE"), modified = indexOf("ZMODIFICATIONDATE"),
                      body = indexOf("ZBODY"), summary = indexOf("ZSUMMARY"), title = indexOf("ZTITLE"),
                      guid = indexOf("ZGUID");
    if (title >= columns.size() && summary >= columns.size()) return false;
    std::vector<NoteColumn> kinds;
    for (const std::string& name : columns) kinds.push_back(NoteColumnOf(name));

    // The live notes by creation date and body, read from the file's own pages.
    std::set<std::pair<double, std::int64_t>> live;
    const std::string path = run.context().databasePath(DatabaseRole::Notes);
    if (!path.empty())
        StoredTables(path).forEachRow("ZNOTE", {}, [&](StoredTables::Row&& row) {
            const auto number = [&](std::size_t column) {
                return column < row.values.size() && row.values[column].isNumber() ? row.values[column].asDouble()
                                                                                   : 0.0;
            };
            live.emplace(number(created), static_cast<std::int64_t>(number(body)));
        });
    const LegacyLiveCells liveCells(b);
    std::set<std::tuple<double, std::int64_t, std::string, std::string>> listed;

    std::vector<std::int64_t> types(columns.size());
    const std::int64_t length = b.length();
    std::int64_t p = 0;
    while (p < length - static_cast<std::int64_t>(columns.size())) {
        if (Stopped(run, p, false)) break;
        // The serial types after the row id's, each fitting its column.
        std::int64_t at = p + 1;
        std::int64_t valueBytes = 0;
        bool fits = true;
        for (std::size_t c = 1; c < columns.size() && fits; ++c) {
            const auto type = ReadVarint(b, at);
            fits = type && FitsNoteColumn(type->value, kinds[c]);
            if (!fits) break;
            types[c] = type->value;
            valueBytes += ContentLength(type->value);
            at += type->size;
        }
        const std::int64_t data = at;
        if (!fits || !b.has(data, valueBytes) || liveCells.contains(p + 1) || liveCells.contains(data)) {
            ++p;
            continue;
        }
        if (Stopped(run, p, true)) break;
        std::vector<std::int64_t> offsets(columns.size(), data);
        for (std::size_t c = 2; c < columns.size(); ++c) offsets[c] = offsets[c - 1] + ContentLength(types[c - 1]);
        const auto text = [&](std::size_t c) -> std::optional<OptString> {
            if (c >= columns.size() || types[c] == 0) return OptString();
            const std::string_view raw = b.text(offsets[c], ContentLength(types[c]));
            if (!IsValidUtf8(raw) || HasControlBytes(raw)) return std::nullopt;  // no text: not a record
            return OptString(std::string(raw));
        };
        const auto seconds = [&](std::size_t c) -> std::optional<double> {
            return c < columns.size() ? SecondsOfType(b, offsets[c], types[c]) : std::nullopt;
        };
        const auto noteTitle = text(title), noteSummary = text(summary), noteGuid = text(guid);
        const auto blank = [](const std::optional<OptString>& t) {
            return !t || !*t || (*t)->find_first_not_of(" \t\r\n") == std::string::npos;
        };
        // A note has its key and its creation date, and a title or a summary to show.
        if (!noteTitle || !noteSummary || blank(noteGuid) || !seconds(created) ||
            (blank(noteTitle) && blank(noteSummary))) {
            ++p;
            continue;
        }
        p = data + valueBytes;
        const double createdAt = seconds(created).value_or(0.0);
        const std::int64_t bodyId = body < columns.size() ? IntegerOfType(b, offsets[body], types[body]).value_or(0) : 0;
        if (live.count({createdAt, bodyId}) ||
            !listed.emplace(createdAt, bodyId, noteTitle->value_or(""), noteSummary->value_or("")).second)
            continue;
        auto note = std::make_shared<Note>();
        note->setSlNo(scan.nextSlNo());
        note->setTitle(*noteTitle);
        // A note without a summary is shown by its title, as the listed notes are.
        note->setSummary(*noteSummary ? *noteSummary : *noteTitle);
        note->setGUID(*noteGuid);
        note->setNoteBodyId(bodyId);
        if (const auto when = seconds(created)) {
            note->setCreatedDate(DateUtils::doubleIOSDateTimeToString(when));
            note->setOriginalCreationDate(*when);
        }
        if (const auto when = seconds(modified)) {
            note->setModificationDate(DateUtils::doubleIOSDateTimeToString(when));
            note->setOriginalModificationDate(*when);
        }
        scan.found = true;
        scan.append(std::move(note));
    }
    return scan.found;
}

}  // namespace

bool LegacyNoteCarving::RecoverDeletedNotes() {
    return TextByPattern(run_, false);
}

bool LegacyNoteCarving::RecoverDeletedNewNotes() {
    return TextByPattern(run_, true);
}

bool LegacyNoteCarving::RecoverDeletedNewIOS6Notes() {
    const auto columns = run_.columnNames(DatabaseRole::Notes, "ZNOTE");
    if (columns && columns->size() != kPatternNoteColumns) return NotesByHeader(run_, *columns);
    return TextByLaterPattern(run_, false);
}

bool LegacyNoteCarving::RecoverDeletedNewIOS7Notes() {
    return TextByLaterPattern(run_, true);
}

bool LegacyNoteCarving::RecoverDeletedNotes_iOS6() {
    return DecodedHeader(run_, false);
}

bool LegacyNoteCarving::RecoverDeletedNotes_iOS7_0_2() {
    return DecodedHeader(run_, true);
}

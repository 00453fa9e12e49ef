#include "legacy/LegacyNoteCarving.h"
#include "legacy/LegacyText.h"

#include "database/DAOs.h"
#include "legacy/Constants.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Note.h"


#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

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

}  // namespace

bool LegacyNoteCarving::RecoverDeletedNotes() {
    return TextByPattern(run_, false);
}

bool LegacyNoteCarving::RecoverDeletedNewNotes() {
    return TextByPattern(run_, true);
}

bool LegacyNoteCarving::RecoverDeletedNewIOS6Notes() {
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

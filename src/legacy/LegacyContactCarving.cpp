#include "legacy/LegacyContactCarving.h"
#include "legacy/LegacyText.h"

#include "common/Clock.h"
#include "common/IcuDateCache.h"
#include "database/DAOs.h"
#include "database/SqliteConnection.h"
#include "legacy/Constants.h"
#include "legacy/LegacyLiveCells.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"


#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

// How often the slide tests the stop token between candidates (positions).
constexpr std::int64_t kStopStride = 1 << 16;
// Seconds from 1970-01-01 to 2001-01-01, the address book's time base.
constexpr std::int64_t kAppleEpochOffset = 978307200;

constexpr int kAny = FileBytes::kAnyByte;

bool Stopped(const LegacyRecovery& run, std::int64_t p, bool candidate) {
    return (candidate || p % kStopStride == 0) && run.stopRequested();
}

std::int64_t ToLength(const std::string& digits) {
    std::int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// The list started anew and the address book's bytes, as every routine begins.
struct ContactScan {
    LegacyRecovery& run;
    LegacyRecovery::Database database;
    FileBytes bytes;

    ContactScan(LegacyRecovery& r, bool clearsRecoveringWhenMissing) : run(r) {
        run.appDelegate().DeletedContact.clear();
        const bool recovering = run.isRecovering.load();
        database = run.readDatabase(DatabaseRole::AddressBook);
        bytes = database.bytes();
        if (bytes.empty() && !clearsRecoveringWhenMissing) run.isRecovering = recovering;
    }

    void append(std::shared_ptr<Contact> contact, bool counted = true) {
        run.appDelegate().DeletedContact.append(std::move(contact));
        if (counted) ++run.appDelegate().DeletedContactCount;
    }

    // The serial number of the next contact of the routines that follow the live ones.
    std::int32_t nextSlNoAfterLive() const {
        return static_cast<std::int32_t>(run.appDelegate().ContactContent.size() +
                                         run.appDelegate().DeletedContact.size()) + 1;
    }
};

// ---- iOS 7 person records ----

// The person table's record header, recognised from the header length byte at p: the first
// column's serial type is not 1, and seven of the later ones (the kind, the two dates, the store
// and the sort and link columns) have the serial types they take in a person record.
bool PersonHeader(FileBytes b, std::int64_t p) {
    const std::int64_t s = p + 1;
    if (b[s] == 1) return false;
    const auto small = [](std::uint8_t t) { return t == 0 || t == 1 || t == 2 || t == 8 || t == 9; };
    const auto date = [](std::uint8_t t) { return t == 4 || t == 8; };
    std::int64_t q = s;
    for (int i = 0; i <= 30; ++i) {
        if (!b.has(q, 1)) return false;
        switch (i) {
            case 9:
            case 23:
            case 28:
            case 29:
            case 30:
                if (!small(b[q])) return false;
                break;
            case 17:
            case 18:
                if (!date(b[q])) return false;
                break;
            default: break;
        }
        q += Constants::huffman_check(q, b);
    }
    return true;
}

constexpr std::int32_t kPersonColumns = 35;

struct PersonColumns {
    std::vector<std::string> lengths;
    std::vector<std::string> kinds;
    std::int64_t headerSpan = 0;  // H: from the first serial type to the data
    std::int64_t dataLength = 0;  // D
};

PersonColumns ReadPersonColumns(FileBytes b, std::int64_t s) {
    PersonColumns columns;
    columns.lengths.reserve(kPersonColumns);
    columns.kinds.reserve(kPersonColumns);
    std::int64_t q = s;
    for (std::int32_t i = 0; i < kPersonColumns; ++i) {
        const std::int32_t k = Constants::huffman_check(q, b);
        const std::int32_t value = k == 1 ? b[q] : Constants::huffman_calc(q, k, b);
        auto [kind, length] = Constants::getDataType(value);
        columns.dataLength += ToLength(length);
        columns.kinds.push_back(std::move(kind));
        columns.lengths.push_back(std::move(length));
        q += k;
    }
    columns.headerSpan = q - s;
    return columns;
}

// The text columns of a person record that a contact shows, by column number.
void SetPersonText(Contact& contact, std::size_t column, const std::string& text) {
    switch (column) {
        case 0: contact.setFirstName(text); break;
        case 1: contact.setLastName(text); break;
        case 2: contact.setMiddleName(text); break;
        case 6: contact.setOrganization(text); break;
        case 7: contact.setDepartment(text); break;
        case 11: contact.setJobTitle(text); break;
        case 12: contact.setNickName(text); break;
        default: break;
    }
}

// "yyyy-MM-dd HH:mm:ss" (local time) of a count of seconds since 2001-01-01 UTC.
OptString CreationDateText(std::int64_t appleSeconds) {
    const OptDate date = DateFromUnixSeconds(static_cast<double>(appleSeconds + kAppleEpochOffset));
    if (!date) return std::nullopt;
    return IcuDateCache::Format(DatePattern::DateTime24, *date);
}

// The GUID column of the iOS 7 person record, counted from the first name.
constexpr std::size_t kPersonGuidColumn = 33;

// The text of a column of a person record whose data starts at dataStart; none when the column
// is no text or does not lie in the data.
OptString PersonText(FileBytes b, std::int64_t dataStart, const PersonColumns& columns, std::size_t column) {
    if (column >= columns.kinds.size() || columns.kinds[column] != "TEXT") return std::nullopt;
    std::int64_t at = dataStart;
    for (std::size_t i = 0; i < column; ++i) at += ToLength(columns.lengths[i]);
    const std::int64_t count = ToLength(columns.lengths[column]);
    if (!b.has(at, count)) return std::nullopt;
    return DecodeAscii(b.text(at, count));
}

// The GUIDs and the names (first and last, "\n" between) of the live persons of the backup's
// address book, read through a connection of their own; empty without one.
struct LivePersons {
    std::unordered_set<std::string> guids;
    std::unordered_set<std::string> names;

    static std::string NameKey(const OptString& first, const OptString& last) {
        return first.value_or("") + "\n" + last.value_or("");
    }
    explicit LivePersons(const ScanContext& context) {
        const std::string path = context.databasePath(DatabaseRole::AddressBook);
        if (path.empty()) return;
        const auto connection = SqliteConnection::OpenReadOnly(path);
        if (!connection || !connection->isOpen()) return;
        auto row = connection->executeQuery("SELECT guid, First, Last FROM ABPerson");
        while (row.next()) {
            if (auto guid = row.stringForColumn("guid")) guids.insert(std::move(*guid));
            names.insert(NameKey(row.stringForColumn("First"), row.stringForColumn("Last")));
        }
    }
};

// Where the first of the names, titles and GUID of a person record whose data starts at
// dataStart that does not decode as a text starts (the sort keys hold bytes of their own); -1
// when all decode. Where a later cell was written over the record, its bytes show there as
// bytes of no text: the record is whole only up to that column. Columns past the end of the
// bytes are not this record's to judge.
std::int64_t FirstUndecodedText(FileBytes b, std::int64_t dataStart, const PersonColumns& columns) {
    static constexpr std::size_t kTexts[] = {0, 1, 2, 6, 7, 11, 12, kPersonGuidColumn};
    std::int64_t at = dataStart;
    for (std::size_t i = 0; i < columns.kinds.size(); ++i) {
        const std::int64_t count = ToLength(columns.lengths[i]);
        if (columns.kinds[i] == "TEXT" && b.has(at, count) &&
            std::find(std::begin(kTexts), std::end(kTexts), i) != std::end(kTexts)) {
            const std::string_view text = b.text(at, count);
            if (HasControlBytes(text) || !IsValidUtf8(text)) return at;
        }
        at += count;
    }
    return -1;
}

// The key by which one carved person is told from another: its names (freed copies of one
// person's record may differ in the other fields, as it was edited).
std::string PersonKey(const Contact& contact) {
    std::string key;
    for (const OptString& text : {contact.FirstName(), contact.MiddleName(), contact.LastName()})
        key += text.value_or("") + "\n";
    return key;
}

// Whether a carved person has any of the names or titles a contact shows: a record without
// them does not decode as a person.
bool HasName(const Contact& contact) {
    for (const OptString& text : {contact.FirstName(), contact.LastName(), contact.MiddleName(),
                                  contact.Organization(), contact.Department(), contact.JobTitle(),
                                  contact.NickName()})
        if (text && !text->empty()) return true;
    return false;
}

// Decodes the columns of a person record from its data start; returns the end of its data.
std::int64_t DecodePerson(const LegacyRecovery& run, FileBytes b, std::int64_t p,
                          const std::vector<std::string>& lengths, const std::vector<std::string>& kinds,
                          bool withDate, Contact& contact) {
    for (std::size_t i = 0; i < kinds.size() && i < lengths.size(); ++i) {
        const std::int64_t count = ToLength(lengths[i]);
        p += count;
        const std::int64_t from = p - count;
        if (kinds[i] == "TEXT") {
            // A column past the end of the bytes (a record cut short) is left unset.
            const OptString text = b.has(from, count) ? DecodeAscii(b.text(from, count)) : std::nullopt;
            if (text && run.isValidString(text)) SetPersonText(contact, i, *text);
        } else if (kinds[i] == "INTEGER" && (i == 17 || i == 18) && withDate && count > 0 && count <= 8) {
            // A signed big-endian integer of the column's width: the creation and the
            // modification date.
            std::uint64_t value = 0;
            for (std::int64_t k = 0; k < count; ++k) value = (value << 8) | b[from + k];
            const int unused = static_cast<int>(64 - 8 * count);
            const auto seconds = static_cast<std::int64_t>(value << unused) >> unused;
            if (OptString date = CreationDateText(seconds))
                i == 17 ? contact.setCreatedDate(*date) : contact.setModifiedDate(*date);
        }
    }
    return p;
}


// ---- Person records of iOS 4 and 5 ----

// The column of the creation date (counted from 0, after the row id).
constexpr std::int64_t kCreationColumn = 17;

// A person record whose header was read around a known serial type: its columns' kinds and
// lengths (as DecodePerson takes them) and where its values start.
struct PersonRecord {
    std::vector<std::string> lengths;
    std::vector<std::string> kinds;
    std::int64_t data = 0;
};

// Reads the header of a person record of `columns` columns whose creation date's serial type
// stands at p: the types before it from p backwards (a varint ends at a byte below 0x80, its
// other bytes are 0x80 or more, so the walk back is unambiguous), the rest forwards. The name
// columns and the rest of the first fifteen must be texts or NULL, and every value must lie in
// the data; none otherwise. The row id and the header's length before the first type are not
// read: a freed record has the free-block header there.
std::optional<PersonRecord> PersonRecordAround(FileBytes b, std::int64_t p, std::int64_t columns) {
    std::vector<std::int64_t> types(static_cast<std::size_t>(columns));
    std::int64_t end = p - 1;
    for (std::int64_t c = kCreationColumn - 1; c >= 0; --c) {
        std::int64_t start = end;
        // The first column's type is taken as one byte: what stands before it is no type.
        if (c > 0)
            while (start > end - 8 && b[start - 1] >= 0x80) --start;
        const auto type = ReadVarint(b, start);
        if (!type || start + type->size - 1 != end) return std::nullopt;
        types[static_cast<std::size_t>(c)] = type->value;
        end = start - 1;
    }
    std::int64_t at = p;
    for (std::int64_t c = kCreationColumn; c < columns; ++c) {
        const auto type = ReadVarint(b, at);
        if (!type) return std::nullopt;
        types[static_cast<std::size_t>(c)] = type->value;
        at += type->size;
    }
    const auto textOrNull = [](std::int64_t type) { return type == 0 || (type >= 13 && type % 2 == 1); };
    PersonRecord record;
    std::int64_t valueBytes = 0;
    for (std::int64_t c = 0; c < columns; ++c) {
        const std::int64_t type = types[static_cast<std::size_t>(c)];
        const std::int64_t size = ContentLength(type);
        if (size < 0 || (c < 15 && c != 9 && !textOrNull(type))) return std::nullopt;
        const auto [kind, digits] = Constants::getDataType(static_cast<std::int32_t>(std::min<std::int64_t>(type, 1 << 30)));
        record.kinds.push_back(kind);
        record.lengths.push_back(std::to_string(size));
        valueBytes += size;
    }
    record.data = at;
    if (!b.has(record.data, valueBytes)) return std::nullopt;
    return record;
}

// ---- iOS 6 full-text-search rows ----

// The address book's bytes as the full-text rows are read: a number's no-break spaces (0xA0,
// and the 0xC2 lead byte of its UTF-8 form) read as blanks once the routine has met them there.
// The file itself is never written.
class BlankedBytes {
public:
    explicit BlankedBytes(FileBytes bytes) : bytes_(bytes) {}
    std::uint8_t operator[](std::int64_t at) const {
        if (!blanked_.empty() && blanked_.count(at)) return ' ';
        return bytes_[at];
    }
    void blank(std::int64_t at) {
        if (bytes_.has(at, 1)) blanked_.insert(at);
    }
    FileBytes bytes() const { return bytes_; }
    std::int64_t length() const { return bytes_.length(); }

private:
    FileBytes bytes_;
    std::unordered_set<std::int64_t> blanked_;
};

constexpr std::int64_t kPageSize = 4096;
// Above this size the content table is taken to start on page 10.
constexpr std::int64_t kLargeAddressBook = 862144;
constexpr std::string_view kContentTable = "ABPersonFullTextSearch_content";

bool IsLetter(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsNoBreak(std::uint8_t c) {
    return c == 0xA0 || c == 0xC2;
}

// The page that the content table starts on, from its schema row (its name written twice,
// then its root page); page 10 in a large file; 0 when the name is not there.
std::int64_t ContentRootPage(FileBytes b) {
    if (b.length() > kLargeAddressBook) return 10;
    const std::string twice = std::string(kContentTable) + std::string(kContentTable);
    const std::string_view all = b.text(0, b.length());
    const std::size_t limit = b.length() > 400 ? static_cast<std::size_t>(b.length() - 400) : 0;
    std::size_t at = all.find(twice, 32);
    if (at == std::string_view::npos || at >= limit) return 0;
    return b[static_cast<std::int64_t>(at + twice.size())];
}

class FullTextRows {
public:
    FullTextRows(LegacyRecovery& run, ContactScan& scan, FileBytes bytes, RowIdMap liveRows)
        : run_(run), scan_(scan), b_(bytes), length_(bytes.length()), end_(bytes.length() - kPageSize),
          live_(std::move(liveRows)) {}

    // Carves from the given offset on; whether a candidate record was built.
    bool carve(std::int64_t start);

private:
    bool marker(std::int64_t at) const {
        return (b_[at] == 0x0E && b_[at + 1] == 0x07) || (b_[at] == 0x0D && b_[at + 1] == 0x44);
    }
    bool goodMarker(std::int64_t at) const { return marker(at) && b_[at + 4] == 0 && b_[at + 5] != 0; }
    bool zeros(std::int64_t at, std::int64_t count) const {
        for (std::int64_t i = 0; i < count; ++i)
            if (b_[at + i] != 0) return false;
        return true;
    }
    bool textual(std::int64_t at) const {
        const auto in = [](std::uint8_t c) { return c > 0x28 && c < 0x80; };
        return in(b_[at]) && in(b_[at + 1]);
    }
    // A two-byte value: two bytes when the first has its top bit set.
    std::int32_t value(std::int64_t at, std::int32_t* width = nullptr) const {
        if (b_[at] & 0x80) {
            if (width) *width = 2;
            return LegacyRecovery::GetValue(static_cast<std::int8_t>(b_[at]), static_cast<std::int8_t>(b_[at + 1]));
        }
        if (width) *width = 1;
        return b_[at];
    }
    // A serial type of this header: one byte, or two when the first is above 0x80.
    std::int32_t serialType(std::int64_t& at) const {
        const std::int32_t first = b_[at];
        if (first > 0x80) {
            const std::int32_t v = (first - 128) * 128 + b_[at + 1];
            at += 2;
            return v;
        }
        at += 1;
        return first;
    }
    static std::int64_t textLength(std::int32_t type) { return std::max((type - 13) / 2, 0); }
    std::string ascii(std::int64_t at, std::int64_t count) const {
        if (count <= 0 || !b_.bytes().has(at, count)) return {};
        std::string text;
        text.reserve(static_cast<std::size_t>(count));
        for (std::int64_t i = 0; i < count; ++i) {
            const std::uint8_t c = b_[at + i];
            if (c >= 0x80) return {};
            text.push_back(static_cast<char>(c));
        }
        return text;
    }
    // The next position from x that starts a run of nine zero bytes, then its first non-zero
    // byte after; -1 when none lies before the end of the scan.
    std::int64_t afterZeroRun(std::int64_t x) const;
    void record(std::int64_t& x, bool& resync);

    LegacyRecovery& run_;
    ContactScan& scan_;
    BlankedBytes b_;
    std::int64_t length_;
    std::int64_t end_;  // positions reaching this end the routine
    RowIdMap live_;
    bool found_ = false;
    bool finished_ = false;
    std::int64_t previousStart_ = -1;
    std::int64_t lastF_ = -1;
    std::int32_t rowId_ = 0;
    std::int64_t c_ = 0;
};

std::int64_t FullTextRows::afterZeroRun(std::int64_t x) const {
    std::int64_t run = 0;
    for (; x < end_; ++x) {
        run = b_[x] == 0 ? run + 1 : 0;
        if (run == 9) break;
    }
    for (; x < end_; ++x)
        if (b_[x] != 0) return x;
    return -1;
}

bool FullTextRows::carve(std::int64_t start) {
    std::int64_t x = afterZeroRun(std::max<std::int64_t>(start, 0));
    while (x >= 0 && !finished_) {
        if (run_.stopRequested()) break;
        bool resync = false;
        const std::int64_t entry = x;
        record(x, resync);
        if (finished_) break;
        // Never back, never in place: a record's framing moves the scan on.
        if (x <= entry) x = entry + 1;
        if (resync) x = afterZeroRun(x);
        if (x >= end_) break;
    }
    return found_;
}

// Frames one record from x and lists its contact when it passes; x becomes where the next
// framing starts. A record lies within one page: a forward search that runs further than a page
// gives up on this record, and the scan goes on where the search stopped, so no stretch of the
// file is searched again and again.
void FullTextRows::record(std::int64_t& x, bool& resync) {
    // 1. Where this record begins.
    if (x == previousStart_) ++x;
    previousStart_ = x;
    while (x < end_ && IsLetter(b_[x - 1]) && IsLetter(b_[x])) ++x;
    if (x >= end_) return void(finished_ = true);

    // 2. Its start and length.
    bool direct = false;
    std::int64_t r = x;
    std::int64_t L = 0;
    const auto eOrN = [](std::uint8_t c) { return c == 0x0E || c == 0x0D; };
    const auto firstGoodMarker = [&](std::int64_t from) -> std::int64_t {
        for (std::int64_t q = from; q < from + 12; ++q)
            if (goodMarker(q)) return q;
        return -1;
    };
    if (zeros(x - 5, 5) && b_[x + 16] > 0x7F && b_[x + 17] < 0x50) {
        x -= 3;
        direct = true;
        r = x;
    } else if ((b_[x + 2] < 2 && eOrN(b_[x])) || (b_[x + 3] < 2 && eOrN(b_[x + 1]))) {
        if (b_[x + 3] == 0 && eOrN(b_[x + 1])) ++x;
        if (goodMarker(x)) {
            if (const std::int64_t q = firstGoodMarker(x + 3); q >= 0) x = q;
            x += 2;
        } else if (marker(x)) {
            if (const std::int64_t q = firstGoodMarker(x + 3); q >= 0) x = q;
            direct = true;
        }
        r = x;
    } else if (b_[x + 1] == ' ' && zeros(x + 2, 3)) {
        x += 4;
        r = x;
    } else if (b_[x] == ' ' && zeros(x + 1, 3)) {
        x += 3;
        r = x;
    } else if (b_[x - 1] == ' ' && zeros(x, 3)) {
        x += 2;
        r = x;
    } else {
        if (zeros(x + 1, 5))
            while (x < end_ && b_[x + 1] == 0) ++x;
        std::int64_t y = x;
        if (b_[x] >= 0x80 && b_[x + 2] >= 0x80 && b_[x + 5] == 0) {
            y = x + 5;
        } else if (b_[x] < 0x80 && b_[x + 1] >= 0x80 && b_[x + 4] == 0) {
            y = x + 4;
        } else {
            for (;; ++y) {
                if (y >= end_) return void(finished_ = true);
                if (y - x > kPageSize) return void(x = y);
                if (b_[y] == ' ' && zeros(y + 1, 3)) {
                    y += 4;
                    break;
                }
                if (b_[y] >= 0x80 && b_[y + 1] == 0 && b_[y + 2] == 0x1A && b_[y + 3] == 0) {
                    y += 3;
                    break;
                }
                if (b_[y] == 0 && b_[y - 1] > 9 && b_[y - 2] && b_[y - 3] && b_[y - 4] && b_[y + 2] == 0) break;
            }
        }
        r = b_[y - 3] > 0x80 ? y - 4 : y - 3;
        if (b_[r - 1] & 0x80) --r;
        std::int32_t width = 1;
        L = value(r, &width);
        if (L == 0) {
            if (b_[r + 4] == 0) {
                x = r + 2;
            } else if (b_[r + 3] != 0) {
                x = r + 9;
                resync = true;
                return;
            } else {
                x = r + 1;
            }
        } else {
            x = r + width;
        }
    }

    // 3 and 4. The row id, the header and the data end.
    std::int64_t h = 0;
    std::int64_t H = 0;
    std::int64_t e = r + L;
    if (!direct) {
        std::int32_t width = 1;
        rowId_ = value(x, &width);
        h = x + width;
        H = b_[h];
        if (H != 20) {
            std::int64_t z = h;
            c_ = 0;
            for (; z < x + 24; ++z)
                if (b_[z] > 0x80) ++c_;
            for (; !textual(z); ++z) {
                if (z >= end_) return void(finished_ = true);
                if (z - h > kPageSize) return void(x = z);
                if (b_[z] > 0x80) ++c_;
            }
            H = z - h;
        }
        if (r + L + 1 < end_) {
            e = h + H + 1;
            for (;; ++e) {
                if (e >= end_) return void(finished_ = true);
                if (e - h > kPageSize) return void(x = e);
                if (b_[e] == ' ' && zeros(e + 1, 3)) {
                    e += 5;
                    break;
                }
                if (b_[e] >= 0x80 && b_[e + 1] == 0 && b_[e + 2] == 0x1A && b_[e + 3] == 0) {
                    e += 3;
                    break;
                }
                if (marker(e)) break;
                if (b_[e] == 0 && b_[e - 1] != 0 && b_[e + 1] != 0) break;
                if (zeros(e + 1, 3)) break;
            }
            if ((b_[e] == 0x0D && b_[e + 1] == 0x44 && b_[e + 2] == 0x01) ||
                (b_[e] == 0x0E && b_[e + 1] == 0x07 && (b_[e + 2] == 0x01 || b_[x + 6] == 0))) {
                e -= 1;
            } else if (b_[e] != ' ') {
                e -= b_[e - 2] > 0x80 ? 4 : 3;
                e -= (b_[e - 1] & 0x80) ? 2 : 1;
                if (b_[e] < 0x21) e -= 1;
            }
            L = e - r;
        }
        x += zeros(x + 2, 3) ? 4 : 2;
        if (!(b_[x - 2] == 0 && b_[x] <= 0x4F && b_[x - 1] >= 0x51 && b_[x + 5] == 0 && b_[x + 15] >= 0x81)) ++x;
    } else {
        h = x + 4;
        std::int64_t z = x + 26;
        for (; !textual(z); ++z) {
            if (z >= end_) return void(finished_ = true);
            if (z - h > kPageSize) return void(x = z);
        }
        H = z - h;
        if (H > 0) {
            for (e = h + H;; ++e) {
                if (e >= end_) return void(finished_ = true);
                if (e - h > kPageSize) return void(x = e);
                if (marker(e)) {
                    e -= 1;
                    break;
                }
                if (b_[e] == 0 && b_[e - 1] != 0) {
                    e = b_[e - 1] > 0x80 ? e - 2 : e - 1;
                    e -= (b_[e - 1] & 0x80) ? 2 : 1;
                    if (b_[e] < 0x21) e -= 1;
                    break;
                }
            }
            L = e - h;
        }
        x = h;
        r = h;
    }

    // 5. The header position.
    if (b_[x] >= 0x39) ++x;
    if (b_[x] == 0) {
        std::int64_t f = x;
        while (b_[f] < 0x7F && f - x < 22) ++f;
        if (f - x < 15 && b_[f - 1] == 0 && f != lastF_) {
            x = f - 15;
            lastF_ = f;
        }
    }
    const std::int64_t dataStart = h + H;
    const std::int64_t D = L - H;

    // The serial types: three names, twelve more texts, the number.
    std::int64_t at = x;
    const std::int64_t l1 = textLength(serialType(at));
    const std::int64_t l2 = textLength(serialType(at));
    const std::int64_t l3 = textLength(serialType(at));
    std::int64_t lm = 0;
    for (int i = 0; i < 12; ++i) lm += textLength(serialType(at));
    if (b_[at] == 0 && b_[at + 1] == 'U') ++at;
    const std::int64_t l4raw = textLength(serialType(at));
    std::array<std::int64_t, 5> lengths = {l1, l2, l3, lm, l4raw};
    std::int64_t left = std::max<std::int64_t>(D, 0);
    for (std::int64_t& length : lengths) {
        length = std::min(length, left);
        left -= length;
    }
    const auto [L1, L2, L3, Lm, L4] = lengths;

    const auto smallByte = [&](std::int64_t q) { return b_[q] >= 1 && b_[q] <= 14; };
    if (H < 22 || H > c_ + 26 || L < 1 || D < 1 || smallByte(x) || smallByte(x + 1) || smallByte(x + 2)) {
        x += 1;
        return;
    }
    // A record whose data would run past the end of the scan ends it.
    if (r + L + 4 >= end_ || !b_.bytes().has(dataStart, D)) return void(finished_ = true);
    const std::int64_t next = e + 1;

    // 6. A live person's row.
    if (rowId_ > 0 && L1 >= 1) {
        const auto person = live_.find(std::to_string(rowId_));
        if (person != live_.end() && ascii(dataStart, L1).find(person->second) != std::string::npos) {
            x = e;
            return;
        }
    }

    // 7. Only text.
    if (L1 > 0 || L2 > 0 || L3 > 0 || Lm > 0 || L4 > 0) {
        for (std::int64_t q = dataStart; q < e - 2; ++q) {
            const std::uint8_t byte = b_[q];
            if (!((byte >= 32 && byte <= 128) || IsNoBreak(byte))) {
                x = q;
                return;
            }
        }
    }
    if (b_[dataStart] >= '0' && b_[dataStart] <= '9') {
        x = next;
        return;
    }

    // 8. The fields.
    std::string first = ascii(dataStart, L1);
    const std::string second = ascii(dataStart + L1, L2);
    const std::int64_t thirdEnd = dataStart + L1 + L2 + L3;
    std::string phone;
    const auto numberish = [](std::uint8_t c) { return c >= '(' && c <= '9'; };
    const std::int64_t k = thirdEnd + Lm + 1;
    if (L4 > 0 && (((numberish(b_[k]) || b_[k] == ' ') && numberish(b_[k + 1]) && numberish(b_[k + 2])) ||
                   IsNoBreak(b_[k]))) {
        std::int64_t w = thirdEnd + Lm;
        while (w >= 0) {
            const std::uint8_t c = b_[w];
            if (IsNoBreak(c)) {
                b_.blank(w);
            } else if (!((c >= '0' && c <= '9') || c == ' ' || c == '+')) {
                break;
            }
            --w;
        }
        // The number starts at the last byte the walk took (where it starts when it took none).
        const std::int64_t from = w < thirdEnd + Lm ? w + 1 : w;
        for (std::int64_t i = 0; i < L4; ++i)
            if (IsNoBreak(b_[from + i])) b_.blank(from + i);
        phone = ascii(from, L4);
    }

    // 9. The contact.
    if (LegacyRecovery::CharacterCount(first) > 2 && first.find('+') != std::string::npos)
        first = first.substr(0, first.find('+'));
    auto contact = std::make_shared<Contact>();
    std::string number;
    if (!phone.empty()) {
        number = run_.GetPhoneNumber(phone);
        if (number.size() == phone.size()) {
            const auto plus = phone.find('+');
            if (plus != std::string::npos) {
                const std::string after = phone.substr(plus + 1);
                const auto blank = after.find(' ');
                if (blank != std::string::npos) number = after.substr(0, blank);
            } else {
                number = phone;
            }
        }
        contact->setContactNo1(number);
    }
    std::string name = first + " ";
    if (!second.empty()) name += second;
    contact->setFirstName(name);
    contact->setSlNo(scan_.nextSlNoAfterLive());
    found_ = true;

    // 10. Acceptance.
    if (LegacyRecovery::CharacterCount(phone) > 1 && LegacyRecovery::CharacterCount(number) < 17 &&
        LegacyRecovery::CharacterCount(name) > 1 && !run_.isDuplicateContact(name) && run_.isValidString(name))
        scan_.append(std::move(contact));

    // 11. On after the data.
    x = next;
}

}  // namespace

bool LegacyContactCarving::RecoverDeletedContacts() {
    ContactScan scan(run_, true);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    const LegacyLiveCells live(b);
    // The person table's columns after the row id, as the file declares them (33 on iOS 4).
    const auto declared = run_.columnCount(DatabaseRole::AddressBook, "ABPerson");
    const std::int64_t columns = declared && *declared > kCreationColumn + 2 ? *declared - 1 : 33;
    bool found = false;
    const std::int64_t length = b.length();
    std::int64_t p = 32;
    while (p < length - 20) {
        if (Stopped(run_, p, false)) break;
        const bool match =
            b.matches(p, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0x0F, 0x01, 0x01, 0x01, 0x00, 0x01}) ||
            b.matches(p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x08, 0x00, 0x00, 0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09}) ||
            b.matches(p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x08, 0x00, 0x00, 0x00, 0x0F, 0x04, 0x08, 0x01, 0x00, 0x09}) ||
            b.matches(p, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x04, 0x01, 0x01, 0x00, 0x01}) ||
            b.matches(p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x09, 0x00, 0x00, 0x00, 0x0F, 0x04, 0x01, 0x01, 0x00, 0x01}) ||
            b.matches(p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x09, 0x00, 0x00, 0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09}) ||
            b.matches(p, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x0F, 0x0F});
        if (!match) {
            ++p;
            continue;
        }
        if (Stopped(run_, p, true)) break;
        // p stands on the creation date's serial type; the record's header is read around it.
        const std::optional<PersonRecord> person = PersonRecordAround(b, p, columns);
        if (!person || live.contains(p) || live.contains(person->data)) {
            ++p;
            continue;
        }
        auto contact = std::make_shared<Contact>();
        const std::int64_t end = DecodePerson(run_, b, person->data, person->lengths, person->kinds, true, *contact);
        if (!contact->FirstName() && !contact->LastName() && !contact->Organization()) {
            ++p;
            continue;
        }
        p = end;
        if (run_.isDuplicateContactName(contact->FirstName(), contact->CreatedDate())) continue;
        contact->setSlNo(static_cast<std::int32_t>(run_.appDelegate().DeletedContact.size()) + 1);
        scan.append(std::move(contact));
        found = true;
    }
    return found;
}

bool LegacyContactCarving::RecoverDeletedNewIOS6Contacts() {
    ContactScan scan(run_, true);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    bool found = false;
    const std::int64_t length = b.length();
    std::int64_t p = 32;
    while (p < length - 20) {
        if (Stopped(run_, p, false)) break;
        if (!b.matches(p, {0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09})) {
            ++p;
            continue;
        }
        if (Stopped(run_, p, true)) break;
        std::array<std::int32_t, 3> lengths{};
        const std::array<std::int64_t, 3> at = {p - 26, p - 25, p - 20};
        std::int32_t n = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            lengths[k] = std::max((static_cast<std::int32_t>(b[at[k]]) - 13) / 2, 0);
            n += lengths[k];
        }
        if (b[p - 28] == 0x23) n = 0;
        p += 7;
        if (n > 0) {
            if (!b.has(p, n)) break;
            std::string joined;
            std::int64_t from = p;
            for (std::int32_t count : lengths) {
                const OptString text = DecodeAscii(b.text(from, count));
                from += count;
                if (text && !text->empty()) joined += *text + " ";
            }
            if (!joined.empty()) {
                auto contact = std::make_shared<Contact>();
                contact->setSlNo(scan.nextSlNoAfterLive());
                contact->setContactNo1(joined);
                scan.append(std::move(contact));
                found = true;
            }
            p += n;
        }
        ++p;
    }
    return found;
}

bool LegacyContactCarving::RecoverDeletedNewIOS6Contacts_Future() {
    ContactScan scan(run_, true);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    // Without the content table's schema row there is no page to start from: nothing is carved.
    const std::int64_t rootPage = ContentRootPage(b);
    if (rootPage < 1) return false;
    FullTextRows rows(run_, scan, b, DAOs(run_.context()).GetAllContactRowID());
    return rows.carve((rootPage - 1) * kPageSize);
}

bool LegacyContactCarving::DeletediOS7Contacts() {
    ContactScan scan(run_, false);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    const RowIdMap liveRows = DAOs(run_.context()).GetAllContactRowID();
    const LivePersons livePersons(run_.context());
    const LegacyLiveCells liveCells(b);
    // A record that does not decode is no person. A person is live when its record lies in a
    // live cell, when its row id (where the cell's head still confirms it: a freed cell's first
    // bytes are overwritten) is a live one, or when its GUID or its names are a live person's (a
    // freed copy of a live record, or an earlier row of a person stored again).
    // view: the bytes up to where the record is whole (a later record's header may cut it).
    const auto listable = [&](std::int64_t p, const PersonColumns& columns, FileBytes view) {
        const std::int64_t dataStart = p + columns.headerSpan + 1;
        if (liveCells.contains(p) || FirstUndecodedText(view, dataStart, columns) >= 0) return false;
        const std::int64_t headerLength = columns.headerSpan + 2;
        std::optional<std::int64_t> rowId;
        if (b[p - 1] == headerLength) rowId = ConfirmedRowId(b, p - 1, headerLength + columns.dataLength);
        if (rowId && liveRows.count(std::to_string(*rowId))) return false;
        const OptString guid = PersonText(view, dataStart, columns, kPersonGuidColumn);
        if (guid && livePersons.guids.count(*guid)) return false;
        return !livePersons.names.count(LivePersons::NameKey(PersonText(view, dataStart, columns, 0),
                                                              PersonText(view, dataStart, columns, 1)));
    };
    bool found = false;
    std::unordered_set<const Contact*> counted;  // the contacts DeletedContactCount counts
    const std::int64_t length = b.length();
    std::int64_t p = 0;
    while (p < length - 35) {
        if (Stopped(run_, p, false)) break;
        if (!PersonHeader(b, p)) {
            ++p;
            continue;
        }
        if (Stopped(run_, p, true)) break;
        const std::int64_t s = p + 1;
        const PersonColumns columns = ReadPersonColumns(b, s);
        const std::int64_t h = columns.headerSpan;
        const std::int64_t d = columns.dataLength;

        // A person header inside this record's span means this one is a remnant that a later
        // record overwrote: its columns are read without the creation date, and the scan goes
        // on at that header. The search stays inside the data.
        std::int64_t nested = -1;
        for (std::int64_t q = s + 1; q <= s + d - 1 && q < length - 35; ++q) {
            if (PersonHeader(b, q)) {
                nested = q;
                break;
            }
        }
        // Another cell written over the record's later columns (one of another table) is read
        // alike: the record is whole up to the first of its texts that does not decode.
        // (A header found among this record's own serial types cuts none of its values; the
        // head of the cell before that header shows as a text that does not decode.)
        std::int64_t cut = nested >= p + h + 1 ? nested : -1;
        const std::int64_t undecoded =
            FirstUndecodedText(cut >= 0 ? FileBytes(b.data(), static_cast<std::size_t>(cut)) : b, p + h + 1, columns);
        if (undecoded >= 0) cut = undecoded;
        if (cut >= 0) {
            // Only the columns before that header are this record's.
            const FileBytes whole(b.data(), static_cast<std::size_t>(cut));
            if (listable(p, columns, whole) && length >= p + d + h + 1)
                GetValue(p + h + 1, columns.lengths, columns.kinds, length, d, whole);
            p = nested >= 0 ? nested : p + h + 1 + d;
            continue;
        }
        if (nested >= 0) {
            p = nested;
            continue;
        }

        const bool isLive = !listable(p, columns, b);
        p += h + 1;
        if (columns.kinds.front() != "TEXT" || length < p + d) continue;
        auto contact = std::make_shared<Contact>();
        p = DecodePerson(run_, b, p, columns.lengths, columns.kinds, true, *contact);
        found = true;
        if (!isLive && HasName(*contact) &&
            !run_.isDuplicateContactName(contact->FirstName(), contact->CreatedDate())) {
            counted.insert(contact.get());
            scan.append(std::move(contact));
        }
    }

    // One person once: freed copies of one record (a whole one and cut ones) are one contact,
    // the one with its creation date where there is one.
    const auto carved = run_.appDelegate().DeletedContact.snapshot();
    std::vector<std::shared_ptr<Contact>> kept;
    std::unordered_map<std::string, std::size_t> byKey;
    for (const auto& contact : carved) {
        const auto [at, added] = byKey.emplace(PersonKey(*contact), kept.size());
        if (added)
            kept.push_back(contact);
        else if (!kept[at->second]->CreatedDate() && contact->CreatedDate())
            kept[at->second] = contact;
    }
    std::int32_t keptCounted = 0;
    for (const auto& contact : kept) keptCounted += counted.count(contact.get()) ? 1 : 0;
    run_.appDelegate().DeletedContactCount += keptCounted - static_cast<std::int32_t>(counted.size());
    run_.appDelegate().DeletedContact.replace(std::move(kept));
    return found;
}

void LegacyContactCarving::GetValue(std::int64_t dataStart, const std::vector<std::string>& lengths,
                                    const std::vector<std::string>& kinds, std::int64_t fileLength,
                                    std::int64_t dataLength, FileBytes bytes) {
    if (kinds.empty() || kinds.front() != "TEXT") return;
    if (fileLength < dataStart + dataLength) return;
    auto contact = std::make_shared<Contact>();
    DecodePerson(run_, bytes, dataStart, lengths, kinds, false, *contact);
    if (HasName(*contact) && !run_.isDuplicateContactName(contact->FirstName(), contact->CreatedDate()))
        run_.appDelegate().DeletedContact.append(std::move(contact));
}

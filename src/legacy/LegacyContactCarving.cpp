#include "legacy/LegacyContactCarving.h"

#include "common/Clock.h"
#include "common/IcuDateCache.h"
#include "database/DAOs.h"
#include "legacy/Constants.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

// How often the slide tests the stop token between candidates (positions).
constexpr std::int64_t kStopStride = 1 << 16;
// Seconds from 1970-01-01 to 2001-01-01, the address book's time base.
constexpr std::int64_t kAppleEpochOffset = 978307200;

constexpr int kAny = -1;

bool Matches(FileBytes b, std::int64_t at, std::initializer_list<int> pattern) {
    if (!b.has(at, static_cast<std::int64_t>(pattern.size()))) return false;
    std::int64_t i = 0;
    for (int want : pattern) {
        if (want != kAny && b[at + i] != want) return false;
        ++i;
    }
    return true;
}

bool Stopped(const LegacyRecovery& run, std::int64_t p, bool candidate) {
    return (candidate || p % kStopStride == 0) && run.stopRequested();
}

// ISO-2022-JP through ICU; bytes that do not convert give no text.
class Iso2022Jp {
public:
    Iso2022Jp() {
        UErrorCode status = U_ZERO_ERROR;
        converter_ = ucnv_open("ISO-2022-JP", &status);
        if (U_FAILURE(status)) {
            converter_ = nullptr;
            return;
        }
        ucnv_setToUCallBack(converter_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    }
    ~Iso2022Jp() {
        if (converter_) ucnv_close(converter_);
    }
    Iso2022Jp(const Iso2022Jp&) = delete;
    Iso2022Jp& operator=(const Iso2022Jp&) = delete;

    OptString decode(std::string_view bytes) {
        if (!converter_ || bytes.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
        ucnv_reset(converter_);
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString text(bytes.data(), static_cast<std::int32_t>(bytes.size()), converter_, status);
        if (U_FAILURE(status)) return std::nullopt;
        std::string out;
        text.toUTF8String(out);
        return out;
    }

private:
    UConverter* converter_ = nullptr;
};

// ASCII: a byte of 0x80 or more gives no text.
OptString DecodeAscii(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    return std::string(bytes);
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

// Decodes the columns of a person record from its data start; returns the end of its data.
std::int64_t DecodePerson(const LegacyRecovery& run, FileBytes b, std::int64_t p,
                          const std::vector<std::string>& lengths, const std::vector<std::string>& kinds,
                          bool withDate, Contact& contact) {
    for (std::size_t i = 0; i < kinds.size() && i < lengths.size(); ++i) {
        const std::int64_t count = ToLength(lengths[i]);
        p += count;
        const std::int64_t from = p - count;
        if (kinds[i] == "TEXT") {
            const OptString text = DecodeAscii(b.text(from, count));
            if (text && run.isValidString(text)) SetPersonText(contact, i, *text);
        } else if (kinds[i] == "INTEGER" && i == 17 && withDate && count > 0 && count <= 8) {
            // A signed big-endian integer of the column's width.
            std::uint64_t value = 0;
            for (std::int64_t k = 0; k < count; ++k) value = (value << 8) | b[from + k];
            const int unused = static_cast<int>(64 - 8 * count);
            const auto seconds = static_cast<std::int64_t>(value << unused) >> unused;
            if (OptString created = CreationDateText(seconds)) contact.setCreatedDate(*created);
        }
    }
    return p;
}

}  // namespace

bool LegacyContactCarving::RecoverDeletedContacts() {
    ContactScan scan(run_, true);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    Iso2022Jp japanese;
    bool found = false;
    const std::int64_t length = b.length();
    std::int64_t p = 32;
    while (p < length - 20) {
        if (Stopped(run_, p, false)) break;
        const bool match =
            Matches(b, p, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0x0F, 0x01, 0x01, 0x01, 0x00, 0x01}) ||
            Matches(b, p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x08, 0x00, 0x00, 0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09}) ||
            Matches(b, p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x08, 0x00, 0x00, 0x00, 0x0F, 0x04, 0x08, 0x01, 0x00, 0x09}) ||
            Matches(b, p, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x04, 0x01, 0x01, 0x00, 0x01}) ||
            Matches(b, p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x09, 0x00, 0x00, 0x00, 0x0F, 0x04, 0x01, 0x01, 0x00, 0x01}) ||
            Matches(b, p, {kAny, kAny, kAny, kAny, kAny, kAny, 0x09, 0x00, 0x00, 0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09}) ||
            Matches(b, p, {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x0F, 0x0F});
        if (!match) {
            ++p;
            continue;
        }
        if (Stopped(run_, p, true)) break;
        std::int32_t n = 0;
        const std::uint8_t before = b[p - 21];
        if (b[p - 19] != 0x23 || (b[p - 18] == 0 && before <= 2)) {
            for (std::int64_t at : {p - 17, p - 16}) {
                const std::int32_t v = b[at];
                if (v != 0) n += (v - 15) / 2 + 1;
            }
        }
        p += 16;
        while (p < length && b[p] == 0) ++p;
        if (n > 0) {
            if (!b.has(p, n + 1)) break;
            auto contact = std::make_shared<Contact>();
            contact->setSlNo(static_cast<std::int32_t>(run_.appDelegate().DeletedContact.size()) + 1);
            contact->setContactNo1(japanese.decode(b.text(p, n + 1)).value_or(std::string()));
            scan.append(std::move(contact));
            found = true;
        }
        ++p;
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
        if (!Matches(b, p, {0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09})) {
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
    return false;
}

bool LegacyContactCarving::DeletediOS7Contacts() {
    ContactScan scan(run_, false);
    const FileBytes b = scan.bytes;
    if (b.empty()) return false;
    const RowIdMap liveRows = DAOs(run_.context()).GetAllContactRowID();
    const auto live = [&](std::int32_t rowId) { return liveRows.count(std::to_string(rowId)) != 0; };
    bool found = false;
    const std::int64_t length = b.length();
    std::int64_t p = 0;
    while (p < length - 35) {
        if (Stopped(run_, p, false)) break;
        if (!PersonHeader(b, p)) {
            ++p;
            continue;
        }
        if (Stopped(run_, p, true)) break;
        const std::int32_t n = b[p - 2] < 0x80 && b[p - 3] > 0x80 ? 2 : 1;
        const std::int32_t rowId = Constants::huffman_calc(p - 2 - (n - 1), n, b);
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
        if (nested >= 0) {
            if (!live(rowId) && length >= p + d + h + 1)
                GetValue(p + h + 1, columns.lengths, columns.kinds, length, d, b);
            p = nested;
            continue;
        }

        p += h + 1;
        if (columns.kinds.front() != "TEXT" || length < p + d) continue;
        auto contact = std::make_shared<Contact>();
        p = DecodePerson(run_, b, p, columns.lengths, columns.kinds, true, *contact);
        found = true;
        if (!live(rowId) && !run_.isDuplicateContactName(contact->FirstName(), contact->CreatedDate()))
            scan.append(std::move(contact));
    }
    return found;
}

void LegacyContactCarving::GetValue(std::int64_t dataStart, const std::vector<std::string>& lengths,
                                    const std::vector<std::string>& kinds, std::int64_t fileLength,
                                    std::int64_t dataLength, FileBytes bytes) {
    if (kinds.empty() || kinds.front() != "TEXT") return;
    if (fileLength > bytes.length() || fileLength < dataStart + dataLength) return;
    auto contact = std::make_shared<Contact>();
    DecodePerson(run_, bytes, dataStart, lengths, kinds, false, *contact);
    if (!run_.isDuplicateContactName(contact->FirstName(), contact->CreatedDate()))
        run_.appDelegate().DeletedContact.append(std::move(contact));
}

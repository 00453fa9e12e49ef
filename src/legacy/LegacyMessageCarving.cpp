#include "legacy/LegacyMessageCarving.h"
#include "legacy/LegacyText.h"

#include "common/Clock.h"
#include "common/DateUtils.h"
#include "common/IcuDateCache.h"
#include "database/FMDBUtils.h"
#include "carving/BTreePage.h"
#include "carving/SQLiteHeader.h"
#include "carving/StoredTables.h"
#include "legacy/Constants.h"
#include "legacy/LegacyLiveCells.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/SMS.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <set>
#include <tuple>
#include <utility>

namespace {

// How far a scan runs between two looks at the stop token when no window matches.
constexpr std::int64_t kStopTestStride = 1 << 20;

// The number of columns of an iOS 7 message record after the row id.
constexpr int kIOS7Columns = 37;

// Columns of the iOS 7 record, counted from 0 (the GUID) after the row id.
constexpr int kGuidColumn = 0;
constexpr int kTextColumn = 1;
constexpr int kHandleColumn = 4;
constexpr int kServiceColumn = 10;
constexpr int kErrorColumn = 13;
constexpr int kDateColumn = 14;
constexpr int kFromMeColumn = 20;

// The rows of five-byte windows of the iOS 6 record header: each cell lists its allowed bytes.
struct Cell {
    std::uint8_t first;
    std::uint8_t second;  // same as first when one value is allowed
    bool allows(std::uint8_t byte) const { return byte == first || byte == second; }
};
constexpr std::array<std::array<Cell, 5>, 3> kIOS6Windows = {{
    {{{0x01, 0x08}, {0x04, 0x04}, {0x08, 0x08}, {0x08, 0x08}, {0x08, 0x08}}},
    {{{0x08, 0x08}, {0x04, 0x04}, {0x04, 0x08}, {0x04, 0x04}, {0x08, 0x09}}},
    {{{0x08, 0x08}, {0x04, 0x04}, {0x04, 0x08}, {0x08, 0x08}, {0x09, 0x09}}},
}};

// The rows of ten-byte windows of the older message table's header.
constexpr std::array<std::array<Cell, 10>, 3> kOlderWindows = {{
    {{{0x01, 0x02}, {0x01, 0x04}, {0x01, 0x01}, {0x01, 0x01}, {0x01, 0x01}, {0x00, 0x00},
      {0x11, 0x11}, {0x00, 0x00}, {0x00, 0x00}, {0x01, 0x01}}},
    {{{0x01, 0x01}, {0x08, 0x08}, {0x08, 0x08}, {0x01, 0x08}, {0x08, 0x08}, {0x00, 0x00},
      {0x11, 0x11}, {0x00, 0x00}, {0x00, 0x00}, {0x08, 0x09}}},
    {{{0x01, 0x01}, {0x04, 0x04}, {0x08, 0x08}, {0x01, 0x08}, {0x08, 0x08}, {0x00, 0x00},
      {0x11, 0x11}, {0x00, 0x00}, {0x00, 0x00}, {0x08, 0x08}}},
}};

template <std::size_t N>
bool MatchesAny(FileBytes bytes, std::int64_t at, const std::array<std::array<Cell, N>, 3>& rows) {
    for (const auto& row : rows) {
        bool all = true;
        for (std::size_t k = 0; k < N && all; ++k) all = row[k].allows(bytes[at + static_cast<std::int64_t>(k)]);
        if (all) return true;
    }
    return false;
}

// The bytes as a text of ASCII characters; a byte outside ASCII gives a replacement character.
std::string AsciiText(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (const char c : raw) {
        if (static_cast<unsigned char>(c) < 0x80)
            text.push_back(c);
        else
            text += "\xEF\xBF\xBD";
    }
    return text;
}

// The standard record date text ("yyyy-MM-dd HH:mm:ss", as every listed message has it) of a
// count of seconds since 2001-01-01 00:00:00 UTC (message dates of iOS 11 and later count
// nanoseconds).
OptString AppleSecondsText(std::int64_t seconds) {
    const double value = seconds >= 100'000'000'000 ? static_cast<double>(seconds) / 1e9 : static_cast<double>(seconds);
    const OptDate date = DateFromUnixSeconds(value + static_cast<double>(DateUtils::kAppleEpochOffsetSeconds));
    if (!date) return std::nullopt;
    return IcuDateCache::Format(DatePattern::DateTime24, *date);
}

std::int64_t DecimalLength(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return 0;
    return value;
}

// The message record of iOS 6 and later, as the file format lays out a row of the message
// table: its columns counted from the row id's (0), in the order of the header.
constexpr std::int64_t kIOS6Columns = 38;
constexpr std::size_t kIOS6GuidColumn = 1;
constexpr std::size_t kIOS6TextColumn = 2;
constexpr std::size_t kIOS6HandleColumn = 5;
constexpr std::size_t kIOS6ErrorColumn = 14;  // where the five-byte window starts
constexpr std::size_t kIOS6DateColumn = 15;
constexpr std::size_t kIOS6FromMeColumn = 21;
// What each of those columns may hold: I an integer, T a text, B a blob (either may be NULL).
// Columns that later versions add at the end may hold anything.
constexpr std::string_view kIOS6Kinds = "ITTITITTBIITTTIIIIIIIIIIIIIIIIIIIIITII";
static_assert(kIOS6Kinds.size() == kIOS6Columns);

bool FitsKind(std::int64_t serialType, std::size_t column) {
    if (serialType < 0 || serialType == 10 || serialType == 11) return false;
    if (column >= kIOS6Kinds.size()) return true;
    switch (kIOS6Kinds[column]) {
    case 'I': return serialType <= 6 || serialType == 8 || serialType == 9;
    case 'T': return serialType == 0 || (serialType >= 13 && serialType % 2 == 1);
    default: return serialType == 0 || serialType >= 12;
    }
}

// One message record read whole from its header.
struct IOS6MessageRecord {
    FileBytes bytes;
    std::int64_t headerStart = 0;  // the header's length, or its first serial type when that is gone
    std::int64_t dataEnd = 0;
    std::vector<std::int64_t> types;
    std::vector<std::int64_t> offsets;
    std::optional<std::int64_t> rowId;  // when the cell's own head confirms it

    std::string_view text(std::size_t column) const {
        const std::int64_t type = types[column];
        if (type < 13 || type % 2 == 0) return {};
        return bytes.text(offsets[column], ContentLength(type));
    }
    std::optional<std::int64_t> integer(std::size_t column) const {
        return IntegerOfType(bytes, offsets[column], types[column]);
    }
};

// Reads message records around the windows of the iOS 6 routine: the header from the row id's
// serial type on, every column's serial type fitting its column, the values inside the file
// and on the cell's own page (a cell never crosses a page; a record that goes on to overflow
// pages is not whole here).
class IOS6MessageLayout {
public:
    IOS6MessageLayout(FileBytes bytes, std::int64_t columns) : bytes_(bytes), columns_(columns) {
        SQLiteHeader header;
        if (header.ReadFromBytes(
                ByteView(bytes.data(), std::min<std::size_t>(bytes.size(), SQLiteHeader::kHeaderSize)),
                bytes.length()) &&
            header.isUsable()) {
            pageSize_ = header.PageSize();
            usable_ = pageSize_ - header.reservedSpace();
        }
    }

    // The record whose error column's serial type stands at window.
    std::optional<IOS6MessageRecord> recordAt(std::int64_t window) const {
        if (columns_ <= static_cast<std::int64_t>(kIOS6FromMeColumn)) return std::nullopt;
        std::optional<IOS6MessageRecord> best;
        // The fourteen serial types before the window take one to three bytes each.
        for (std::int64_t first = window - static_cast<std::int64_t>(kIOS6ErrorColumn);
             first >= window - 3 * static_cast<std::int64_t>(kIOS6ErrorColumn) && first > 0; --first) {
            auto record = headerFrom(first, window);
            if (!record) continue;
            const bool confirmed = record->headerStart < first;
            if (confirmed) return record;
            if (!best) best = std::move(record);
        }
        return best;
    }

private:
    // The serial types of a header whose row id's stands at first and whose error column's at
    // window, each fitting its column; where the header ends.
    std::optional<std::int64_t> typesFrom(std::int64_t first, std::int64_t window,
                                          std::vector<std::int64_t>& types) const {
        types.clear();
        if (bytes_[first] != 0x00) return std::nullopt;
        std::int64_t at = first;
        for (std::int64_t column = 0; column < columns_; ++column) {
            if (column == static_cast<std::int64_t>(kIOS6ErrorColumn) && at != window) return std::nullopt;
            const auto type = ReadVarint(bytes_, at);
            if (!type || !FitsKind(type->value, static_cast<std::size_t>(column))) return std::nullopt;
            types.push_back(type->value);
            at += type->size;
        }
        if (types[kIOS6GuidColumn] < 13) return std::nullopt;
        return at;
    }

    // Whether another record's header stands in [begin, end): a cell written over this
    // record's values, later freed in turn.
    bool headerInside(std::int64_t begin, std::int64_t end) const {
        std::vector<std::int64_t> types;
        for (std::int64_t q = begin; q < end; ++q) {
            if (!MatchesAny(bytes_, q, kIOS6Windows)) continue;
            for (std::int64_t first = q - static_cast<std::int64_t>(kIOS6ErrorColumn);
                 first >= q - 3 * static_cast<std::int64_t>(kIOS6ErrorColumn) && first > 0; --first)
                if (typesFrom(first, q, types)) return true;
        }
        return false;
    }

    std::optional<IOS6MessageRecord> headerFrom(std::int64_t first, std::int64_t window) const {
        IOS6MessageRecord record;
        record.bytes = bytes_;
        const auto end = typesFrom(first, window, record.types);
        if (!end) return std::nullopt;
        const std::int64_t headerEnd = *end;
        std::int64_t values = 0;
        for (const std::int64_t type : record.types) {
            record.offsets.push_back(headerEnd + values);
            values += ContentLength(type);
        }
        if (!bytes_.has(headerEnd, values) || headerInside(headerEnd, headerEnd + values)) return std::nullopt;
        record.dataEnd = headerEnd + values;
        // Every text decodes: where another cell was written over the record's values, its
        // bytes show in some text column and the record does not decode.
        for (std::size_t column = 0; column < record.types.size(); ++column) {
            const std::string_view text = record.text(column);
            if (!IsValidUtf8(text) || HasControlBytes(text)) return std::nullopt;
        }

        // The header's own length, when its bytes are still there (a freed cell's first four
        // bytes are the free block's link and size), and before it the row id and the payload's
        // length, which confirm each other.
        record.headerStart = first;
        for (std::int64_t size = 1; size <= 2; ++size) {
            const auto length = ReadVarint(bytes_, first - size);
            if (length && length->size == size && length->value == headerEnd - (first - size)) {
                record.headerStart = first - size;
                break;
            }
        }
        const std::int64_t payload = record.dataEnd - (record.headerStart < first ? record.headerStart : first - 1);
        if (record.headerStart < first) record.rowId = ConfirmedRowId(bytes_, record.headerStart, payload);

        if (pageSize_ > 0) {
            if (record.headerStart / pageSize_ != (record.dataEnd - 1) / pageSize_) return std::nullopt;
            if (BTreePage::LocalPayloadSize(BTreePage::Type::LeafTable, static_cast<std::uint64_t>(payload),
                                            usable_) < payload)
                return std::nullopt;
        }
        return record;
    }

    FileBytes bytes_;
    std::int64_t columns_;
    std::int64_t pageSize_ = 0;
    std::int64_t usable_ = 0;
};

// Whether the header test of the iOS 7 routine holds at p, p being the row id's serial type.
bool IOS7Header(FileBytes bytes, std::int64_t p) {
    if (bytes[p] != 0x00) return false;
    const auto flagLike = [](std::uint8_t b) { return b == 0x01 || b == 0x02 || b == 0x08 || b == 0x09; };
    std::int64_t at = p + 1;
    for (int column = 1; column <= 8; ++column) {
        if (column == 3 || column == 5) {
            if (!flagLike(bytes[at])) return false;
            at += 1;
        } else {
            at += Constants::huffman_check(at, bytes);
        }
        if (!bytes.has(at, 1)) return false;
    }
    // Columns 9 and 10 (one byte each), then the service's serial type: a text of 3 or 8 bytes.
    const std::uint8_t service = bytes[at + 2];
    return flagLike(bytes[at]) && flagLike(bytes[at + 1]) && (service == 19 || service == 29);
}

}  // namespace

LegacyMessageCarving::LegacyMessageCarving(LegacyRecovery& run) : run_(run) {}

LegacyMessageCarving::~LegacyMessageCarving() = default;

DAOs* LegacyMessageCarving::daos() {
    if (run_.context().databasePath(DatabaseRole::Messages).empty()) return nullptr;
    if (!daos_) {
        // The queries list nothing in a results record, but their object needs one: a scratch
        // record, so the scan's own lists stay as they are.
        scratch_ = std::make_unique<BrimleyAppDelegate>();
        ScanContext reading = run_.context();
        reading.results = scratch_.get();
        daos_ = std::make_unique<DAOs>(std::make_shared<FMDBUtils>(reading.databasePath(DatabaseRole::Messages)),
                                       reading);
    }
    return daos_.get();
}

// ---- iOS 6 and later ----

bool LegacyMessageCarving::RecoverIOS6DeletedSMS() {
    BrimleyAppDelegate& record = run_.appDelegate();
    record.DeletedSMS.clear();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Messages);
    if (database.empty()) return false;
    const FileBytes b = database.bytes();
    const std::int64_t length = b.length();
    const RowIdMap live = daos() ? daos()->GetAllMessageRowID() : RowIdMap();
    const RowIdMap liveGuids = daos() ? daos()->GetAllMessageGUID() : RowIdMap();
    const LegacyLiveCells liveCells(b);
    const auto declared = run_.columnNames(DatabaseRole::Messages, "message");
    const IOS6MessageLayout layout(b, declared ? static_cast<std::int64_t>(declared->size()) : kIOS6Columns);
    // The GUIDs listed by this run: a record found twice (a freed copy of a freed row) is one.
    std::set<std::string> listed;

    std::int64_t count = 0;
    std::int64_t nextStopTest = 0;
    std::int64_t i = 32;
    while (i < length - 10) {
        if (i >= nextStopTest) {
            if (run_.stopRequested()) break;
            nextStopTest = i + kStopTestStride;
        }
        // A window inside a live row is that row's header.
        if (!MatchesAny(b, i, kIOS6Windows) || liveCells.contains(i)) {
            ++i;
            continue;
        }
        ++count;
        if (run_.stopRequested()) break;
        const std::int64_t window = i++;

        // The whole record around the window, or none: a window that is no message record's
        // error and date columns, a record whose bytes live rows took over in part, or one that
        // went on to overflow pages gives no record.
        const std::optional<IOS6MessageRecord> found = layout.recordAt(window);
        if (!found || liveCells.overlaps(found->headerStart, found->dataEnd)) continue;
        const IOS6MessageRecord& m = *found;

        // The GUID is the message's own key: a live GUID is a live message (or a stale copy of
        // one), and a GUID already listed is that record again.
        const OptString guid = DecodeAscii(m.text(kIOS6GuidColumn));
        if (!guid || guid->empty() || liveGuids.count(*guid) || listed.count(*guid)) continue;
        if (m.rowId && live.count(std::to_string(*m.rowId))) continue;
        // A text that does not decode, or holds control bytes, is no message's text.
        const std::string_view raw = m.text(kIOS6TextColumn);
        if (raw.empty() || !IsValidUtf8(raw) || HasControlBytes(raw)) continue;
        const OptString text = std::string(raw);
        run_.isDuplicateSMS(text);

        auto sms = std::make_shared<SMS>();
        sms->setMessage(text);
        const std::int64_t handle = m.integer(kIOS6HandleColumn).value_or(0);
        OptString address;
        if (handle > 0 && handle <= INT32_MAX && daos() &&
            daos()->GetPhoneNumberForID(static_cast<std::int32_t>(handle), address))
            sms->setAddress(address);
        if (const auto date = m.integer(kIOS6DateColumn); date && *date > 0)
            sms->setLocalTime(AppleSecondsText(*date));
        const std::int64_t error = m.integer(kIOS6ErrorColumn).value_or(0);
        const std::int64_t fromMe = m.integer(kIOS6FromMeColumn).value_or(0);
        sms->setType(DAOs::GetMessageType(static_cast<std::int32_t>(error), static_cast<std::int32_t>(fromMe)));
        sms->setSlNo(static_cast<std::int32_t>(record.SMSContent.size() + record.DeletedSMS.size() + 1));
        listed.insert(*guid);
        record.DeletedSMS.append(std::move(sms));
        ++record.DeletedSMSCount;
        i = std::max(i, m.dataEnd);
    }
    return count > 0;
}

// ---- iOS 5 and earlier ----

namespace {

// A text column's bytes: UTF-8 as SQLite stores it, else ISO-2022-JP; none when they are
// neither, or hold control characters other than tabs and line breaks (the bytes of no text).
OptString DecodedText(Iso2022JpText& japanese, std::string_view bytes) {
    OptString text = IsValidUtf8(bytes) ? OptString(std::string(bytes)) : japanese.decode(bytes);
    if (!text || HasControlBytes(*text)) return std::nullopt;
    return text;
}

// What tells one message of the older table from another: its address, date and text. A
// freed copy of a live row (left where the row stood before SQLite wrote it anew) has all
// three of the live row's; a deleted row whose cell was freed more than once is found once per
// copy, each with the same three.
using OlderMessageKey = std::tuple<std::string, std::int64_t, std::string>;

std::set<OlderMessageKey> LiveOlderMessages(const std::string& path, const std::vector<std::string>& columns) {
    std::set<OlderMessageKey> live;
    const auto indexOf = [&](std::string_view name) {
        return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) - columns.begin());
    };
    const std::size_t address = indexOf("address"), date = indexOf("date"), text = indexOf("text");
    if (path.empty() || text >= columns.size()) return live;
    const StoredTables tables(path);
    tables.forEachRow("message", {}, [&](StoredTables::Row&& row) {
        const auto textOf = [&](std::size_t column) {
            const std::string* value = column < row.values.size() ? row.values[column].text() : nullptr;
            return value ? *value : std::string();
        };
        const std::int64_t seconds =
            date < row.values.size() && row.values[date].isNumber() ? row.values[date].asInteger() : 0;
        live.emplace(textOf(address), seconds, textOf(text));
    });
    return live;
}

}  // namespace

bool LegacyMessageCarving::RecoverNewDeletedSMS() {
    Iso2022JpText japanese;
    BrimleyAppDelegate& record = run_.appDelegate();
    record.DeletedSMS.clear();
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Messages);
    if (database.empty()) return false;
    const FileBytes b = database.bytes();
    const std::int64_t length = b.length();
    const LegacyLiveCells liveCells(b);
    // The message table's columns as the file declares them; else those of the iOS version:
    // 17 before iOS 5, 33 from it on.
    const auto declared = run_.columnNames(DatabaseRole::Messages, "message");
    const auto columns =
        static_cast<std::int64_t>(declared ? declared->size() : (run_.iOSMajorVersion() >= 5 ? 33 : 17));
    // Where iMessage rows ("madrid" rows) are marked: their dates count from 2001, not 1970.
    std::int64_t madridColumn = -1;
    if (declared) {
        const auto at = std::find(declared->begin(), declared->end(), "is_madrid");
        if (at != declared->end()) madridColumn = at - declared->begin();
    }
    const std::set<OlderMessageKey> live =
        declared ? LiveOlderMessages(run_.context().databasePath(DatabaseRole::Messages), *declared)
                 : std::set<OlderMessageKey>();
    std::set<OlderMessageKey> listed;

    std::int64_t count = 0;
    std::int64_t nextStopTest = 0;
    std::int64_t i = 32;
    while (i < length - 10) {
        if (i >= nextStopTest) {
            if (run_.stopRequested()) break;
            nextStopTest = i + kStopTestStride;
        }
        if (!MatchesAny(b, i, kOlderWindows)) {
            ++i;
            continue;
        }
        ++count;
        if (run_.stopRequested()) break;
        const std::int64_t window = i++;
        // The window starts at the group id's serial type (column 7). Before it: the service
        // centre's, the replace flag's and the flags' (one byte each), the text's (one or two
        // bytes), the date's and the address's (one byte each).
        std::int64_t textType = window - 4;
        if (b[textType - 1] & 0x80) --textType;
        const std::int64_t addressType = textType - 2;
        if (addressType < 0 || (b[window - 4] & 0x80) || (b[textType - 1] & 0x80) || (b[addressType] & 0x80))
            continue;
        // The header from the address on: one serial type per column after the row id.
        std::vector<std::int64_t> types;
        std::int64_t at = addressType;
        for (std::int64_t c = 1; c < columns; ++c) {
            const auto type = ReadVarint(b, at);
            if (!type || ContentLength(type->value) < 0) break;
            types.push_back(type->value);
            at += type->size;
        }
        if (static_cast<std::int64_t>(types.size()) + 1 != columns) continue;
        const std::int64_t data = at;
        std::int64_t valueBytes = 0;
        for (const std::int64_t type : types) valueBytes += ContentLength(type);
        // The address and the text are texts (or NULL); a live row's bytes are no deleted message.
        const auto isText = [](std::int64_t type) { return type >= 13 && type % 2 == 1; };
        if ((types[0] != 0 && !isText(types[0])) || !isText(types[2]) || !b.has(data, valueBytes) ||
            liveCells.contains(window) || liveCells.contains(data))
            continue;

        // The columns' offsets.
        std::vector<std::int64_t> offsets(types.size());
        std::int64_t cursor = data;
        for (std::size_t c = 0; c < types.size(); ++c) {
            offsets[c] = cursor;
            cursor += ContentLength(types[c]);
        }
        const OptString text = DecodedText(japanese, b.text(offsets[2], ContentLength(types[2])));
        if (!text || text->empty()) {
            --count;
            continue;
        }
        i = cursor;
        // A text that holds a stored message and its address is that message's row.
        if (LegacyRecovery::CharacterCount(*text) <= 3 || run_.isNormalSMS(text)) continue;
        const OptString address =
            types[0] != 0 ? DecodedText(japanese, b.text(offsets[0], ContentLength(types[0]))) : std::nullopt;
        OlderMessageKey key(address.value_or(std::string()), IntegerOfType(b, offsets[1], types[1]).value_or(0), *text);
        if (live.count(key) || !listed.insert(std::move(key)).second) continue;
        auto sms = std::make_shared<SMS>();
        sms->setSlNo(static_cast<std::int32_t>(record.DeletedSMS.size() + 1));
        sms->setMessage(text);
        if (address) sms->setAddress(address);
        // Sent or received, by the flags as the live list reads them.
        if (const auto flags = IntegerOfType(b, offsets[3], types[3]))
            sms->setType(DAOs::MessageTypeOfFlags(static_cast<std::int32_t>(*flags)));
        if (const auto seconds = IntegerOfType(b, offsets[1], types[1]); seconds && *seconds > 0) {
            const bool madrid = madridColumn > 0 && madridColumn - 1 < static_cast<std::int64_t>(types.size()) &&
                                IntegerOfType(b, offsets[static_cast<std::size_t>(madridColumn - 1)],
                                              types[static_cast<std::size_t>(madridColumn - 1)])
                                        .value_or(0) == 1;
            sms->setLocalTime(DateUtils::DateTimeToString(
                DateFromUnixSeconds(static_cast<double>(*seconds) +
                                    (madrid ? static_cast<double>(DateUtils::kAppleEpochOffsetSeconds) : 0.0))));
        }
        record.DeletedSMS.append(std::move(sms));
        ++record.DeletedSMSCount;
    }
    return count >= 1;
}

// ---- iOS 7 iMessages ----

void LegacyMessageCarving::readColumns(FileBytes bytes, std::int64_t dataStart,
                                       const std::vector<std::int64_t>& lengths,
                                       const std::vector<std::string>& kinds, SMS& sms) const {
    std::int32_t error = 0;
    std::int32_t fromMe = 0;
    std::int64_t at = dataStart;
    for (std::size_t c = 0; c < lengths.size() && c < kinds.size(); ++c) {
        const std::int64_t size = lengths[c];
        if (!bytes.has(at, size)) return;
        const std::string& kind = kinds[c];
        const int column = static_cast<int>(c);
        if (kind == "0" || kind == "1") {
            const std::int32_t value = kind == "1" ? 1 : 0;
            if (column == kErrorColumn) error = value;
            // SQLite stores the handle ids 0 and 1 as these constants.
            if (column == kHandleColumn) sms.setHandleID(value);
            if (column == kFromMeColumn) {
                fromMe = value;
                sms.setType(DAOs::GetMessageType(error, fromMe));
            }
        } else if (kind == "INTEGER") {
            const auto width = static_cast<std::int32_t>(std::min<std::int64_t>(size, 8));
            const std::int32_t value = Constants::big_endian(at, width, bytes);
            if (column == kDateColumn) {
                // The first four bytes, or the whole column when it is shorter.
                const auto dateWidth = static_cast<std::int32_t>(std::min<std::int64_t>(size, 4));
                const auto seconds = static_cast<std::uint32_t>(Constants::big_endian(at, dateWidth, bytes));
                sms.setLocalTime(AppleSecondsText(seconds));
            } else if (column == kHandleColumn) {
                sms.setHandleID(value);
            } else if (column == kErrorColumn) {
                error = value;
            } else if (column == kFromMeColumn) {
                fromMe = value;
                sms.setType(DAOs::GetMessageType(error, fromMe));
            }
        } else if (kind == "TEXT") {
            const std::string text = AsciiText(bytes.text(at, size));
            if (column == kGuidColumn) sms.setGUID(text);
            if (column == kTextColumn) sms.setMessage(text);
            if (column == kServiceColumn) sms.setService(text);
        }
        at += size;
    }
}

void LegacyMessageCarving::keepRecord(std::shared_ptr<SMS> sms, std::vector<std::shared_ptr<SMS>>& result) {
    if (!sms->Message()) return;
    if (sms->GUID() && liveGuids_.count(*sms->GUID())) return;
    const OptString address =
        daos() ? daos()->GetPhoneNumberForHID(sms->handleID(), std::string()) : OptString();
    sms->setAddress(address && !address->empty() ? *address : std::string("UnKnown"));
    if (!LegacyRecovery::isDuplicateSms(sms->Message(), sms->LocalTime(), result)) result.push_back(std::move(sms));
}

void LegacyMessageCarving::GetValue(std::int64_t dataStart, const std::vector<std::int64_t>& lengths,
                                    const std::vector<std::string>& kinds, std::uint64_t fileLength,
                                    std::int64_t sumOfLengths, FileBytes, FileBytes bytes, std::int32_t,
                                    std::vector<std::shared_ptr<SMS>>& result) {
    auto sms = std::make_shared<SMS>();
    if (dataStart >= 0 && sumOfLengths >= 0 &&
        fileLength >= static_cast<std::uint64_t>(dataStart) + static_cast<std::uint64_t>(sumOfLengths))
        readColumns(bytes, dataStart, lengths, kinds, *sms);
    keepRecord(std::move(sms), result);
}

bool LegacyMessageCarving::RecoverDeletediMessage_iOS7_0_2() {
    std::vector<std::shared_ptr<SMS>> result;
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Messages);
    if (database.empty()) return false;
    const FileBytes b = database.bytes();
    const std::int64_t length = b.length();
    const RowIdMap live = daos() ? daos()->GetAllMessageRowID() : RowIdMap();
    liveGuids_ = daos() ? daos()->GetAllMessageGUID() : RowIdMap();

    std::vector<std::int64_t> lengths;
    std::vector<std::string> kinds;
    lengths.reserve(kIOS7Columns);
    kinds.reserve(kIOS7Columns);
    std::int64_t nextStopTest = 0;
    std::int64_t p = 0;
    while (p < length - 37) {
        if (p >= nextStopTest) {
            if (run_.stopRequested()) break;
            nextStopTest = p + kStopTestStride;
        }
        if (!IOS7Header(b, p)) {
            ++p;
            continue;
        }
        if (run_.stopRequested()) break;

        const std::int32_t rowId = b[p - 2] < 128 && b[p - 3] > 128 ? Constants::huffman_calc(p - 3, 2, b)
                                                                    : Constants::huffman_calc(p - 2, 1, b);
        lengths.clear();
        kinds.clear();
        std::int64_t sum = 0;
        std::int64_t at = p + 1;
        for (int column = 0; column < kIOS7Columns; ++column) {
            const std::int32_t size = Constants::huffman_check(at, b);
            const std::int32_t type = size == 1 ? b[at] : Constants::huffman_calc(at, size, b);
            auto [kind, text] = Constants::getDataType(type);
            const std::int64_t columnLength = DecimalLength(text);
            kinds.push_back(std::move(kind));
            lengths.push_back(columnLength);
            sum += columnLength;
            at += size;
        }
        const std::int64_t headerBytes = at - (p + 1);
        const std::int64_t dataStart = p + headerBytes + 1;
        const std::int64_t end = p + 2 + sum + headerBytes;

        // A second header inside this record's extent: the record was cut short there.
        std::int64_t second = -1;
        std::int64_t q = p + 2;
        for (; q < end - 1 && q + headerBytes < length; ++q) {
            if (IOS7Header(b, q)) {
                second = q;
                break;
            }
        }
        const bool whole = length >= dataStart + sum;
        if (second >= 0) {
            if (!live.count(std::to_string(rowId)) && length >= second + sum)
                GetValue(dataStart, lengths, kinds, static_cast<std::uint64_t>(length), sum, b.from(dataStart), b,
                         static_cast<std::int32_t>(std::min<std::int64_t>(end, INT32_MAX)), result);
            p = second;
            continue;
        }
        auto sms = std::make_shared<SMS>();
        sms->setRowID(rowId);
        if (whole) readColumns(b, dataStart, lengths, kinds, *sms);
        // No header stands between here and the end of the search, so the scan can go on from
        // there: the outcome is the same as testing each of those positions again.
        p = whole ? dataStart + sum : std::max(dataStart, q);
        keepRecord(std::move(sms), result);
    }

    BrimleyAppDelegate& record = run_.appDelegate();
    record.DeletediMessage.clear();
    for (auto& sms : result) record.DeletedSMS.append(std::move(sms));
    return true;
}

void LegacyMessageCarving::splitMsg(const std::vector<std::shared_ptr<SMS>>& list) {
    std::vector<std::shared_ptr<SMS>> imessages;
    std::vector<std::shared_ptr<SMS>> sms;
    for (const auto& message : list) {
        if (!message || !message->service()) continue;
        if (*message->service() == "iMessage") imessages.push_back(message);
        if (*message->service() == "SMS") sms.push_back(message);
    }
    BrimleyAppDelegate& record = run_.appDelegate();
    record.DeletediMessage.replace(std::move(imessages));
    record.DeletedSMS.replace(std::move(sms));
}

#include "legacy/LegacyWhatsAppCarving.h"

#include "common/Clock.h"
#include "common/IcuDateCache.h"
#include "database/DAOs.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/WhatsApp.h"

#include <unicode/unistr.h>

#include <bit>
#include <string>
#include <string_view>

namespace {

// The columns read from a message row, counted from the one after the row id.
constexpr std::int32_t kColumnCount = 19;
constexpr std::size_t kDateColumn = 13;
constexpr std::size_t kSenderColumn = 14;
constexpr std::size_t kNameColumn = 15;
constexpr std::size_t kTextColumn = 17;
constexpr std::size_t kReceiverColumn = 18;

// Seconds from 1970-01-01 to 2001-01-01 (UTC), where the store counts its dates from.
constexpr double kReferenceDateOffset = 978307200.0;

bool OneOf(std::uint8_t byte, std::initializer_list<std::uint8_t> values) {
    for (std::uint8_t v : values)
        if (byte == v) return true;
    return false;
}

// The serial types of a message row from the row-id column on: small integers and flags, then
// the message date as a 4-byte integer or a float.
bool IsMessageHeader(FileBytes b, std::int64_t i) {
    return OneOf(b[i + 1], {1, 9, 0}) && OneOf(b[i + 2], {1, 9}) && OneOf(b[i + 3], {8, 9}) &&
           OneOf(b[i + 4], {8, 9}) && OneOf(b[i + 13], {8, 0}) && OneOf(b[i + 14], {4, 7});
}

// The bytes as ASCII; none when one of them is not ASCII.
OptString Ascii(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    return std::string(bytes);
}

// The bytes as UTF-8, ill-formed sequences replaced by U+FFFD.
std::string Utf8(std::string_view bytes) {
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), static_cast<std::int32_t>(bytes.size())))
        .toUTF8String(out);
    return out;
}

bool Has(const OptString& text, char c) {
    return text && text->find(c) != std::string::npos;
}

// The text before the first "-" (all of it without one).
std::string BeforeDash(const std::string& text) {
    return text.substr(0, text.find('-'));
}

// The message date of a column value: a 4-byte big-endian integer or an 8-byte big-endian
// double, seconds since 2001-01-01 UTC.
OptDate MessageDateOf(const Constants::ColumnDescriptor& kind, std::string_view value) {
    const FileBytes bytes(value);
    double seconds = 0;
    if ((kind.first == "INTEGER" || kind.first == "TEXT") && value.size() >= 4) {
        seconds = Constants::big_endian(0, 4, bytes);
    } else if (kind.first == "FLOAT" && value.size() == 8) {
        std::uint64_t raw = 0;
        for (std::int64_t k = 0; k < 8; ++k) raw = (raw << 8) | bytes[k];
        seconds = std::bit_cast<double>(raw);
    } else {
        return std::nullopt;
    }
    return DateFromUnixSeconds(seconds + kReferenceDateOffset);
}

// The two ways a candidate's record is built: the scan's own (for a candidate that ends before
// the next header) and GetValueForWhatsApp's (for one that runs into it).
enum class Build { Scan, Overlapping };

std::shared_ptr<WhatsApp> BuildMessage(FileBytes b, std::int64_t dataStart,
                                       const LegacyWhatsAppCarving::Columns& columns, Build build) {
    auto message = std::make_shared<WhatsApp>();
    std::int64_t d = dataStart;
    for (std::size_t c = 0; c < columns.lengths.size(); ++c) {
        const std::int64_t length = columns.lengths[c];
        d += length;
        const std::string_view value = b.text(d - length, length);
        const std::string& kind = columns.kinds[c].first;
        if (c == kDateColumn && (kind == "INTEGER" || kind == "TEXT" || kind == "FLOAT")) {
            if (const OptDate date = MessageDateOf(columns.kinds[c], value))
                message->setMessageDate(IcuDateCache::Format(
                    build == Build::Scan ? DatePattern::DateTime24 : DatePattern::DateTime12Marker, *date));
            continue;
        }
        if (kind != "TEXT") continue;
        const OptString t = Ascii(value);
        const bool idLike = Has(t, '-') || Has(t, '@');
        switch (c) {
            case kSenderColumn: {
                if (!idLike) break;
                const std::string first = BeforeDash(*t);
                if (!Has(t, '@')) {
                    if (LegacyRecovery::isValidChar(first)) {
                        message->setIsSent(true);
                        message->setFromMsgID(first + WhatsAppUserSuffix);
                    }
                } else if (LegacyRecovery::isValidChar(t)) {
                    message->setIsSent(true);
                    message->setFromMsgID(build == Build::Scan ? first : *t);
                }
                break;
            }
            case kNameColumn:
                // An empty name is no name.
                if (t && !t->empty() && LegacyRecovery::isValidChar(t)) {
                    message->setContactName(*t);
                    message->setIshavingName(true);
                }
                break;
            case kTextColumn: message->setZText(Utf8(value)); break;
            case kReceiverColumn: {
                if (message->FromMsgID() || !idLike) break;
                if (build == Build::Scan && t->size() <= 2) break;
                const std::string first = BeforeDash(*t);
                if (build == Build::Overlapping && Has(t, '@')) {
                    if (LegacyRecovery::isValidChar(t)) {
                        message->setIsSent(false);
                        message->setFromMsgID(*t);
                    }
                } else if (LegacyRecovery::isValidChar(first)) {
                    message->setIsSent(false);
                    message->setFromMsgID(first);
                }
                break;
            }
            default: break;
        }
    }
    return message;
}

}  // namespace

bool LegacyWhatsAppCarving::RecoverDeletedWhatsAppMsg_iOS7_0_2() {
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::WhatsApp);
    if (database.empty()) return false;
    const FileBytes b = database.bytes();
    const std::int64_t length = b.length();
    const RowIdMap live = DAOs(run_.context()).GetAllWhatsAppRowID();
    // What the list holds, as the duplicate test reads it; this routine alone adds to it.
    std::vector<std::shared_ptr<WhatsApp>> deleted = run_.appDelegate().DeletedWhatsApp.snapshot();

    Columns columns;
    columns.lengths.reserve(kColumnCount);
    columns.kinds.reserve(kColumnCount);
    std::int64_t i = 0;
    while (i < length - 6) {
        if (!IsMessageHeader(b, i)) {
            ++i;
            continue;
        }
        if (run_.stopRequested()) break;
        const std::int32_t r = (b[i - 2] < 0x80 && b[i - 3] > 0x80) ? 2 : 1;
        const std::int32_t rowId = Constants::huffman_calc(i - r - 1, r, b);

        // The descriptors of the 19 columns; a serial type of several bytes counts them all.
        columns.lengths.clear();
        columns.kinds.clear();
        std::int64_t serialBytes = kColumnCount;
        std::int64_t valueBytes = 0;
        for (std::int64_t c = 0; c < serialBytes; ++c) {
            const std::int32_t m = Constants::huffman_check(i + 1 + c, b);
            const std::int32_t serialType = m == 1 ? b[i + 1 + c] : Constants::huffman_calc(i + 1 + c, m, b);
            if (m > 1) {
                serialBytes += m - 1;
                c += m - 1;
            }
            Constants::ColumnDescriptor kind = Constants::getDataType(serialType);
            const std::int64_t bytes = std::stoll(kind.second);
            valueBytes += bytes;
            columns.lengths.push_back(bytes);
            columns.kinds.push_back(std::move(kind));
        }
        const std::int64_t dataStart = i + serialBytes + 1;
        const std::int64_t end = dataStart + valueBytes;
        const bool whole = b.has(dataStart, valueBytes);
        const bool isLive = live.count(std::to_string(rowId)) != 0;

        // A candidate whose extent holds the next header was cut short by it.
        std::int64_t next = -1;
        for (std::int64_t q = i + 1; q < end - 1 && q < length; ++q) {
            if (IsMessageHeader(b, q)) {
                next = q;
                break;
            }
        }
        if (next >= 0) {
            if (whole && !isLive) GetValueForWhatsApp(dataStart, columns, b, deleted);
            i = next;
            continue;
        }
        if (!whole) {
            // Values running past the end of the file: no record.
            ++i;
            continue;
        }
        const auto message = BuildMessage(b, dataStart, columns, Build::Scan);
        if (!isLive) keep(message, deleted);
        i = end;
    }
    return false;
}

void LegacyWhatsAppCarving::GetValueForWhatsApp(std::int64_t dataStart, const Columns& columns, FileBytes bytes,
                                                std::vector<std::shared_ptr<WhatsApp>>& deleted) {
    if (columns.lengths.size() != columns.kinds.size()) return;
    keep(BuildMessage(bytes, dataStart, columns, Build::Overlapping), deleted);
}

void LegacyWhatsAppCarving::keep(const std::shared_ptr<WhatsApp>& message,
                                 std::vector<std::shared_ptr<WhatsApp>>& deleted) {
    if (!message->zText() || message->zText()->empty() || !message->FromMsgID()) return;
    if (LegacyRecovery::isDuplicateWhatsAppmsg(message->zText(), message->MessageDate(), deleted)) return;
    message->setFromMsgID(BeforeDash(*message->FromMsgID()));
    deleted.push_back(message);
    run_.appDelegate().DeletedWhatsApp.append(message);
}

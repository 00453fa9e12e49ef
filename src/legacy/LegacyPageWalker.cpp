#include "legacy/LegacyPageWalker.h"

#include "carving/BTreePage.h"
#include "carving/SQLiteUtils.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/SMS.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// A header longer than this is taken for noise: the widest message table has well under a
// hundred columns, each serial type at most a few bytes.
constexpr std::uint64_t kLongestHeader = 1024;

ByteView ViewOf(FileBytes bytes) {
    return {bytes.data(), bytes.size()};
}

// The bytes a value of the serial type takes in a record.
std::int64_t ContentSize(std::uint64_t serialType) {
    static constexpr std::array<std::int64_t, 12> kFixed = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (serialType < kFixed.size()) return kFixed[serialType];
    return static_cast<std::int64_t>((serialType - 12) / 2);
}

// UTF-16 units of UTF-8 text; a byte that does not begin a well-formed sequence counts as
// U+FFFD.
std::vector<std::uint16_t> Utf16Of(const std::string& text) {
    std::vector<std::uint16_t> units;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        std::uint32_t min = 0;
        std::uint32_t value = c;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, min = 0x80, value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, min = 0x800, value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, min = 0x10000, value = c & 0x07;
        } else if (c >= 0x80) {
            units.push_back(0xFFFD);
            ++p;
            continue;
        }
        bool good = end - p > extra;
        for (int i = 1; good && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) good = false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        if (good && extra > 0 && (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)))
            good = false;
        if (!good) {
            units.push_back(0xFFFD);
            ++p;
            continue;
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (value >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(value));
        }
        p += extra + 1;
    }
    return units;
}

}  // namespace

LegacyPageWalker::LegacyPageWalker(LegacyRecovery& run) : run_(run) {}

LegacyPageWalker::~LegacyPageWalker() = default;

bool LegacyPageWalker::MessagesSQLiteRecovery() {
    // The messages the walk keeps: none, since it only finds and steps over record headers.
    std::vector<std::shared_ptr<SMS>> candidates;
    const LegacyRecovery::Database database = run_.readDatabase(DatabaseRole::Messages);
    if (database.empty()) return false;
    DoRecovery(database.bytes(), run_.context().databasePath(DatabaseRole::Messages));
    std::vector<std::shared_ptr<SMS>> kept;
    for (auto& sms : candidates)
        if (sms && sms->service() == "SMS") kept.push_back(std::move(sms));
    run_.appDelegate().DeletedSMS.replace(std::move(kept));
    return true;
}

void LegacyPageWalker::DoRecovery(const std::string& path) {
    const MappedFile file = MappedFile::open(path);
    DoRecovery(file.bytes(), path);
}

void LegacyPageWalker::DoRecovery(FileBytes file, const std::string& path) {
    file_ = file;
    visited_.clear();
    pagesWalked_.clear();
    headersFound_ = 0;
    const SQLiteHeader header = ReadSQLiteDatabaseHeader(file, path);
    if (header.PageNumberOfFirstListTrunkPage() > 0) ProcessFreelistTrunkPage(header);
}

SQLiteHeader LegacyPageWalker::ReadSQLiteDatabaseHeader(const std::string& path) {
    return SQLiteHeader(path);
}

SQLiteHeader LegacyPageWalker::ReadSQLiteDatabaseHeader(FileBytes file, const std::string& path) {
    SQLiteHeader header;
    header.ReadFromBytes(ViewOf(file.from(0)), file.length(), path);
    return header;
}

FileBytes LegacyPageWalker::Page(const SQLiteHeader& header, std::int64_t pageNumber) const {
    const std::int64_t size = header.PageSize();
    if (!header.isUsable() || pageNumber < 1 || pageNumber > file_.length() / size) return {};
    return FileBytes(file_.data() + (pageNumber - 1) * size, static_cast<std::size_t>(size));
}

bool LegacyPageWalker::Visit(const SQLiteHeader& header, std::int64_t pageNumber) {
    if (Page(header, pageNumber).empty()) return false;
    const auto pages = static_cast<std::size_t>(file_.length() / header.PageSize());
    if (visited_.size() < pages + 1) visited_.resize(pages + 1, false);
    if (visited_[static_cast<std::size_t>(pageNumber)]) return false;
    visited_[static_cast<std::size_t>(pageNumber)] = true;
    pagesWalked_.push_back(pageNumber);
    return true;
}

bool LegacyPageWalker::IsPointerMapPage(const SQLiteHeader& header, std::int64_t pageNumber) const {
    // Page 2 is the first map page; each maps the usable size / 5 pages that follow it.
    const std::int64_t usable = header.PageSize() - header.reservedSpace();
    const std::int64_t entries = usable / 5;
    if (!header.IsAutoVacuum() || pageNumber < 2 || entries <= 0) return false;
    return (pageNumber - 2) % (entries + 1) == 0;
}

void LegacyPageWalker::ProcessFreelistTrunkPage(const SQLiteHeader& header) {
    if (!header.isUsable()) return;
    const std::int64_t usable = header.PageSize() - header.reservedSpace();
    // A trunk page: the next trunk page, the number of leaf pages, then their numbers.
    const std::int64_t mostLeaves = std::max<std::int64_t>(usable / 4 - 2, 0);
    std::int64_t trunk = header.PageNumberOfFirstListTrunkPage();
    // A trunk page already walked (a loop) or outside the file ends the list.
    while (trunk > 0 && !run_.stopRequested() && Visit(header, trunk)) {
        const FileBytes page = Page(header, trunk);
        ParseHeaderAndData(page, 0);
        const std::int64_t leaves = std::min<std::int64_t>(LegacyRecovery::GetDwordFromBuffer(page, 4, 4), mostLeaves);
        for (std::int64_t i = 0; i < leaves && !run_.stopRequested(); ++i) {
            const std::int64_t leaf = LegacyRecovery::GetDwordFromBuffer(page, 8 + 4 * i, 4);
            if (Visit(header, leaf)) ParseHeaderAndData(Page(header, leaf), 0);
        }
        trunk = LegacyRecovery::GetDwordFromBuffer(page, 0, 4);
    }
}

void LegacyPageWalker::ProcessAutoVacuumSqliteDatabase(const SQLiteHeader& header) {
    if (!header.isUsable()) return;
    const std::int64_t last = std::min<std::int64_t>(header.HighestNUmberedRootPageNumber(),
                                                     file_.length() / header.PageSize());
    for (std::int64_t i = 2; i <= last && !run_.stopRequested(); ++i) {
        if (IsPointerMapPage(header, i) || !Visit(header, i)) continue;
        ProcessSQLitePage(Page(header, i), i);
    }
}

void LegacyPageWalker::ProcessNonAutoVacuumSQLiteDatabase(const SQLiteHeader& header) {
    const std::int64_t last = header.PageCountInFile();
    for (std::int64_t i = 3; i <= last && !run_.stopRequested(); ++i)
        if (Visit(header, i)) ProcessSQLitePage(Page(header, i), i);
}

void LegacyPageWalker::ProcessPagesAfterHighestNumberedRootPage(const SQLiteHeader& header) {
    if (!header.IsAutoVacuum()) return;
    const std::int64_t last = header.PageCountInFile();
    for (std::int64_t i = std::int64_t{header.HighestNUmberedRootPageNumber()} + 1;
         i <= last && !run_.stopRequested(); ++i) {
        if (IsPointerMapPage(header, i) || !Visit(header, i)) continue;
        ParseHeaderAndData(Page(header, i), 0);
    }
}

void LegacyPageWalker::ProcessSQLitePage(FileBytes page, std::int64_t pageNumber) {
    const std::int64_t headerOffset = BTreePage::HeaderOffset(pageNumber);
    const auto type = BTreePage::TypeOf(ViewOf(page), headerOffset);
    if (!type || *type == BTreePage::Type::InteriorIndex || *type == BTreePage::Type::LeafIndex) return;
    // Past the page header (12 bytes on interior pages, 8 on leaves) and its cell pointers lies
    // the unallocated area, then the cells; freed records are found in both.
    const std::int64_t pageHeader = *type == BTreePage::Type::InteriorTable ? 12 : 8;
    const std::int64_t cells = LegacyRecovery::GetDwordFromBuffer(page, headerOffset + 3, 2);
    ParseHeaderAndData(page, headerOffset + pageHeader + 2 * cells);
}

void LegacyPageWalker::ParseHeaderAndData(FileBytes page, std::int64_t headersize) {
    std::int64_t offset = std::max<std::int64_t>(headersize, 0);
    while (offset < page.length() - 1 && !run_.stopRequested()) {
        const SQLiteTableHeaderInfo info = FindSQLiteTableHeader(page, offset);
        if (!info.Valid) return;
        ++headersFound_;
        // Step over the values; the header search only accepts values that fit on the page.
        std::int64_t values = 0;
        for (const auto& column : info.Header) values += ContentSize(static_cast<std::uint64_t>(column.first));
        offset = info.DataStartIndex() + values;
    }
}

SQLiteTableHeaderInfo LegacyPageWalker::FindSQLiteTableHeader(FileBytes page, std::int64_t offset) {
    SQLiteTableHeaderInfo info;
    const std::uint8_t* begin = page.data();
    const std::uint8_t* end = begin + page.size();
    for (std::int64_t at = std::max<std::int64_t>(offset, 0); at + 2 < page.length(); ++at) {
        std::uint64_t headerLength = 0;
        const int lengthBytes = ReadVarint(begin + at, end, headerLength);
        if (lengthBytes == 0 || headerLength < static_cast<std::uint64_t>(lengthBytes) + 2 ||
            headerLength > kLongestHeader || !page.has(at, static_cast<std::int64_t>(headerLength)))
            continue;
        const std::uint8_t* p = begin + at + lengthBytes;
        const std::uint8_t* headerEnd = begin + at + headerLength;
        std::int64_t content = 0;
        bool allNull = true;
        bool fits = true;
        info.Header.clear();
        while (p < headerEnd) {
            std::uint64_t serialType = 0;
            const int taken = ReadVarint(p, headerEnd, serialType);
            if (taken == 0 || serialType == 10 || serialType == 11) {
                fits = false;
                break;
            }
            if (serialType != 0) allNull = false;
            // A value longer than the page cannot be on it (and the sum stays far from overflow).
            const std::int64_t size = serialType > static_cast<std::uint64_t>(2 * page.length() + 13)
                                          ? page.length() + 1
                                          : ContentSize(serialType);
            content += size;
            if (content > page.length()) {
                fits = false;
                break;
            }
            info.Header.emplace_back(static_cast<std::int64_t>(serialType), taken);
            p += taken;
        }
        if (!fits || allNull || info.Header.size() < 2 ||
            !page.has(at + static_cast<std::int64_t>(headerLength), content))
            continue;
        info.Valid = true;
        info.HeaderStartIndex = at;
        info.headerDataTaken = static_cast<std::int64_t>(headerLength);
        return info;
    }
    info = SQLiteTableHeaderInfo();
    return info;
}

std::int64_t LegacyPageWalker::FindIndexOfHeaderDefinitionBytesForMessageRowIdAndGuid(FileBytes,
                                                                                     std::int64_t) {
    return -1;
}

std::int64_t LegacyPageWalker::FindIndexOfBytesForGuidDataContent(FileBytes, std::int64_t) {
    return -1;
}

std::string LegacyPageWalker::escapedUnicode(const std::string& text) {
    std::string escaped;
    for (const std::uint16_t unit : Utf16Of(text)) {
        if (unit < 127) {
            escaped.push_back(static_cast<char>(unit));
        } else {
            std::array<char, 8> code{};
            std::snprintf(code.data(), code.size(), "\\u%04x", unit);
            escaped += code.data();
        }
    }
    return escaped;
}

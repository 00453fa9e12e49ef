#include "carving/AbstractSqLiteRecovery.h"

#include "carving/BTreePage.h"
#include "carving/PagedFile.h"
#include "carving/PointerMap.h"
#include "carving/SqLiteTableSignatures.h"
#include "carving/StoredTables.h"
#include "common/Reachability.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

namespace {

// Tells the run's page progress how far a walk over the pages has got: every so many pages, and
// once at its end (also an end cut short), with the walk's last page.
class PageWalkReport {
public:
    PageWalkReport(const AbstractSqLiteRecovery::PageProgress& report, std::int64_t pages)
        : report_(report), pages_(pages) {}
    ~PageWalkReport() {
        if (report_) report_(pages_, pages_);
    }
    PageWalkReport(const PageWalkReport&) = delete;
    PageWalkReport& operator=(const PageWalkReport&) = delete;

    void walked(std::int64_t page) const {
        if (report_ && page % kPagesPerReport == 0) report_(page, pages_);
    }

private:
    static constexpr std::int64_t kPagesPerReport = 256;
    const AbstractSqLiteRecovery::PageProgress& report_;
    std::int64_t pages_;
};


constexpr std::uint8_t kInteriorTablePage = 5;
constexpr std::uint8_t kLeafIndexPage = 10;
constexpr std::uint8_t kLeafTablePage = 13;

// Whether bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(ByteView bytes) {
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* end = p + bytes.size();
    while (p < end) {
        // Plain ASCII runs are the common case; take them eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p >= end) break;
        const std::uint8_t c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        std::uint32_t min;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += extra + 1;
    }
    return true;
}

// Width in bytes of the content of a numeric serial type (1 to 7); 0 for the others.
int NumberWidth(std::int64_t serialType) {
    static constexpr int kWidths[8] = {0, 1, 2, 3, 4, 6, 8, 8};
    return serialType >= 1 && serialType <= 7 ? kWidths[serialType] : 0;
}

// Width in bytes of the content of any serial type.
std::int64_t ContentWidth(std::int64_t serialType) {
    return serialType >= 12 ? (serialType - 12) / 2 : NumberWidth(serialType);
}

}  // namespace

// ---- Patterns and hooks ----

void AbstractSqLiteRecovery::setTablePatterns(std::vector<TablePattern> patterns) {
    patterns_ = CompiledTablePatterns::Compile(std::move(patterns));
}

void AbstractSqLiteRecovery::setTablePatterns(
    std::shared_ptr<const CompiledTablePatterns> patterns) {
    patterns_ = patterns ? std::move(patterns) : CompiledTablePatterns::None();
}

bool AbstractSqLiteRecovery::setPatternsFromSignature(std::string_view name, std::string_view db,
                                                      std::string_view table,
                                                      const SqLiteTableSignatures* catalogue) {
    const SQLiteSignature* signature = catalogue ? catalogue->Find(name, db, table) : nullptr;
    setTablePatterns(signature ? signature->TablePatterns() : std::vector<TablePattern>{});
    return signature != nullptr;
}

bool AbstractSqLiteRecovery::acceptHeader(ByteView, const SQLiteTableHeaderInfo&, std::int64_t) {
    return true;
}

std::shared_ptr<baseRecoveryObject> AbstractSqLiteRecovery::GetNewRecoveryObject() {
    return std::make_shared<baseRecoveryObject>();
}

void AbstractSqLiteRecovery::FillModel(std::int64_t, const ColumnValue&, const TablePattern&) {}

void AbstractSqLiteRecovery::setRecoveredData(
    std::vector<std::shared_ptr<baseRecoveryObject>> records) {
    RecoveredData_ = std::move(records);
    recoveredDataObjects_.clear();
    recoveredDataRowIds_.clear();
    for (const auto& listed : RecoveredData_) {
        recoveredDataObjects_.insert(listed.get());
        if (listed) recoveredDataRowIds_.insert(listed->RowId());
    }
}

bool AbstractSqLiteRecovery::isAlreadyOnList(
    const std::shared_ptr<baseRecoveryObject>& record) const {
    if (recoveredDataObjects_.count(record.get()) != 0) return true;
    // A record whose row id was not in its header carries a stand-in row id that says nothing
    // about which row it was.
    return currentRowIdRead_ && record && recoveredDataRowIds_.count(record->RowId()) != 0;
}

// ---- File and page walks ----

void AbstractSqLiteRecovery::DoRecoveryPath(const std::string& path) {
    if (path.empty() || isCancelled()) return;
    PagedFile file;
    if (!file.open(path)) return;
    std::array<std::uint8_t, SQLiteHeader::kHeaderSize> first{};
    SQLiteHeader header;
    if (file.readAt(0, first.data(), first.size()) != SQLiteHeader::kHeaderSize ||
        !header.ReadFromBytes(ByteView(first.data(), first.size()), file.size(), path) ||
        !header.isUsable())
        return;
    // Every walk of this run reads the one open file.
    file_ = &file;
    struct Release {
        PagedFile*& file;
        ~Release() { file = nullptr; }
    } release{file_};
    pointerMapPageNumbers_.clear();
    smallIntegersAsOneByte_ = header.WritesSmallIntegersAsOneByte();
    if (!livePages_.read(file, header, stopToken_)) livePages_ = LivePages();
    if (header.IsAutoVacuum()) {
        ProcessAutoVacuumSqliteDatabase(header);
        if (header.HighestNUmberedRootPageNumber() > 0)
            ProcessPagesAfterHighestNumberedRootPage(header);
    } else {
        ProcessNonAutoVacuumSqliteDatabase(header);
    }
    if (header.PageNumberOfFirstListTrunkPage() > 0) {
        ProcessFreeListTrunkPage(header);
        ProcessFreeListPagesBeforeFirstTrunk(header);
    }
}

void AbstractSqLiteRecovery::ProcessAutoVacuumSqliteDatabase(const SQLiteHeader& header) {
    if (!header.isUsable() || !file_) return;
    PagedFile& file = *file_;
    const std::int64_t pageSize = header.PageSize();
    const std::int64_t lastPage =
        std::min<std::int64_t>(header.HighestNUmberedRootPageNumber(), file.size() / pageSize);
    std::int64_t nextMap = -1;
    const PageWalkReport report(pageProgress_, lastPage);
    file.forEachPiece(0, lastPage * pageSize, pageSize, [&](std::int64_t at, ByteView page) {
        if (isCancelled() || static_cast<std::int64_t>(page.size()) < pageSize) return false;
        const std::int64_t number = at / pageSize + 1;
        report.walked(number);
        if (number == 2 || number == nextMap) {
            const PointerMapScan scan = ReadPointerMapPage(number, page);
            pointerMapPageNumbers_.push_back(number);
            if (scan.nextMapPage) nextMap = *scan.nextMapPage;
        } else if (number > 1) {
            enterPage(number, page);
            ProcessSQLitePage(page);
            leavePage();
        }
        return true;
    });
}

void AbstractSqLiteRecovery::ProcessNonAutoVacuumSqliteDatabase(const SQLiteHeader& header) {
    if (!header.isUsable() || !file_) return;
    PagedFile& file = *file_;
    const std::int64_t pageSize = header.PageSize();
    const std::int64_t lastPage = std::min(header.PageCountInFile(), file.size() / pageSize);
    // Page 1 holds the schema behind the file header; page 2 is an ordinary b-tree page.
    const PageWalkReport report(pageProgress_, lastPage);
    file.forEachPiece(pageSize, lastPage * pageSize, pageSize, [&](std::int64_t at, ByteView page) {
        if (isCancelled() || static_cast<std::int64_t>(page.size()) < pageSize) return false;
        report.walked(at / pageSize + 1);
        enterPage(at / pageSize + 1, page);
        ProcessSQLitePage(page);
        leavePage();
        return true;
    });
}

void AbstractSqLiteRecovery::ProcessPagesAfterHighestNumberedRootPage(const SQLiteHeader& header) {
    if (!header.isUsable() || header.HighestNUmberedRootPageNumber() <= 0 || !file_) return;
    PagedFile& file = *file_;
    const std::int64_t pageSize = header.PageSize();
    file.forEachPiece(header.HighestNUmberedRootPageNumber() * pageSize, file.size(), pageSize,
                      [&](std::int64_t at, ByteView page) {
                          if (isCancelled()) return false;
                          enterPage(at / pageSize + 1, page);
                          ParseHeaderAndData(page, 0);
                          leavePage();
                          return true;
                      });
}

void AbstractSqLiteRecovery::ProcessFreeListTrunkPage(const SQLiteHeader& header) {
    const std::int64_t firstTrunk = header.PageNumberOfFirstListTrunkPage();
    if (!header.isUsable() || firstTrunk <= 0 || !file_) return;
    PagedFile& file = *file_;
    const std::int64_t pageSize = header.PageSize();
    file.forEachPiece((firstTrunk - 1) * pageSize, file.size(), pageSize,
                      [&](std::int64_t at, ByteView page) {
                          if (isCancelled()) return false;
                          enterPage(at / pageSize + 1, page);
                          ParseHeaderAndData(page, 0);
                          leavePage();
                          return true;
                      });
}

void AbstractSqLiteRecovery::ProcessFreeListPagesBeforeFirstTrunk(const SQLiteHeader& header) {
    const std::int64_t firstTrunk = header.PageNumberOfFirstListTrunkPage();
    if (!header.isUsable() || firstTrunk <= 1 || !file_) return;
    const PagedFile& file = *file_;
    const std::int64_t pageSize = header.PageSize();
    const std::int64_t pages = std::min(header.PageCountInFile(), file.size() / pageSize);
    if (firstTrunk > pages) return;
    std::vector<std::uint8_t> trunk(static_cast<std::size_t>(pageSize));
    std::vector<std::uint8_t> leaf(static_cast<std::size_t>(pageSize));
    auto searchWhole = [&](std::int64_t number, std::vector<std::uint8_t>& buffer) {
        if (number < 2 || number >= firstTrunk || number > pages) return;
        if (file.readAt((number - 1) * pageSize, buffer.data(), buffer.size()) != pageSize) return;
        enterPage(number, ByteView(buffer.data(), buffer.size()));
        ParseHeaderAndData(ByteView(buffer.data(), buffer.size()), 0);
        leavePage();
    };
    // A trunk page: the next trunk, the number of leaves, then the leaf page numbers. The chain
    // is followed at most once per page of the file, so a looping chain ends.
    const std::int64_t maxLeaves = pageSize / 4 - 2;
    std::int64_t trunkNumber = firstTrunk;
    for (std::int64_t steps = 0; trunkNumber >= 1 && trunkNumber <= pages && steps < pages;
         ++steps) {
        if (isCancelled()) return;
        if (file.readAt((trunkNumber - 1) * pageSize, trunk.data(), trunk.size()) != pageSize)
            return;
        if (trunkNumber != firstTrunk) searchWhole(trunkNumber, leaf);
        const std::int64_t leaves =
            std::min<std::int64_t>(ReadBigEndian32(trunk.data() + 4), maxLeaves);
        for (std::int64_t i = 0; i < leaves; ++i) {
            if (isCancelled()) return;
            searchWhole(ReadBigEndian32(trunk.data() + 8 + 4 * i), leaf);
        }
        trunkNumber = ReadBigEndian32(trunk.data());
        if (trunkNumber == firstTrunk) return;
    }
}

void AbstractSqLiteRecovery::ProcessSQLitePage(ByteView page) {
    if (page.size() < 8 || isCancelled()) return;
    const std::uint8_t type = page[0];
    if (type != kInteriorTablePage && type != kLeafIndexPage && type != kLeafTablePage) return;
    const std::int64_t length = static_cast<std::int64_t>(page.size());
    const std::int64_t headerSize = type == kInteriorTablePage ? 12 : 8;
    const std::int64_t cells = ReadBigEndian16(page.data() + 3);
    std::int64_t contentStart = ReadBigEndian16(page.data() + 5);
    if (contentStart == 0) contentStart = 65536;
    const std::int64_t gapStart = headerSize + 2 * cells;
    // A content start past the page is no b-tree page (an overflow or freed page read as one).
    if (contentStart > length || contentStart <= gapStart) return;
    ParseHeaderAndData(page.subspan(static_cast<std::size_t>(gapStart),
                                    static_cast<std::size_t>(contentStart - gapStart)),
                       0);
    searchFreeblocks(page);
}

void AbstractSqLiteRecovery::searchFreeblocks(ByteView page) {
    const std::int64_t length = static_cast<std::int64_t>(page.size());
    std::int64_t offset = ReadBigEndian16(page.data() + 1);
    // Freeblocks are kept in ascending order and take at least 4 bytes each, so a chain that
    // goes backwards or runs longer than that is corrupt and ends.
    for (std::int64_t blocks = 0; offset > 0 && blocks < length / 4; ++blocks) {
        if (isCancelled()) return;
        if (offset >= length) return;
        const auto block = SQLiteUtils::FreeblockData(page, offset);
        if (!block) return;
        _processOffset = freeblockStartOffset_;
        ParseHeaderAndData(*block, 3);
        _processOffset = 0;
        const std::int64_t next = ReadBigEndian16(page.data() + offset);
        if (next != 0 && next <= offset) return;
        offset = next;
    }
}

// ---- Live cells ----

void AbstractSqLiteRecovery::enterPage(std::int64_t number, ByteView page) {
    pageNumber_ = number;
    pageBytes_ = page;
    pageCellsRead_ = false;
    pageCells_.clear();
}

const std::vector<std::pair<std::int64_t, std::int64_t>>& AbstractSqLiteRecovery::liveCells() {
    if (!pageCellsRead_) {
        pageCellsRead_ = true;
        if (pageNumber_ > 0 && livePages_.isRead() && livePages_.isLive(pageNumber_))
            for (const auto& cell : BTreePage::Cells(
                     pageBytes_, BTreePage::HeaderOffset(pageNumber_), livePages_.usableSize()))
                pageCells_.emplace_back(cell.start, cell.end);
    }
    return pageCells_;
}

bool AbstractSqLiteRecovery::insideLiveCell(std::int64_t offsetInPage) {
    if (pageNumber_ <= 0 || !livePages_.isRead()) return false;
    const auto& cells = liveCells();
    return std::any_of(cells.begin(), cells.end(), [&](const auto& cell) {
        return offsetInPage >= cell.first && offsetInPage < cell.second;
    });
}

std::int64_t AbstractSqLiteRecovery::liveCellAfter(std::int64_t offsetInPage) {
    std::int64_t nearest = std::numeric_limits<std::int64_t>::max();
    for (const auto& cell : liveCells())
        if (cell.first > offsetInPage) nearest = std::min(nearest, cell.first);
    return nearest;
}

// ---- Record search and decoding ----

SQLiteTableHeaderInfo AbstractSqLiteRecovery::FindSQLiteTableHeader(ByteView area,
                                                                    std::int64_t offset) {
    SQLiteTableHeaderInfo info;
    const HeaderMatcher& matcher = patterns_->matcher(smallIntegersAsOneByte_);
    for (;;) {
        matcher.find(area, offset, patterns_->patterns(), info, scratch_);
        if (!info.Valid ||
            (oneByteIntegersFit(area, info) && acceptHeader(area, info, contentShift())))
            return info;
        if (isCancelled()) return {};
        offset = info.HeaderStartIndex + 1;
    }
}

std::int64_t AbstractSqLiteRecovery::laterRecordWithin(ByteView area,
                                                       const SQLiteTableHeaderInfo& info,
                                                       std::int64_t from, std::int64_t end) {
    const auto none = static_cast<std::int64_t>(area.size());
    from = std::max(from, info.HeaderStartIndex + 1);
    if (from >= end) return none;
    const HeaderMatcher& matcher = patterns_->matcher(smallIntegersAsOneByte_);
    SQLiteTableHeaderInfo later;
    while (from < end) {
        matcher.find(area, from, patterns_->patterns(), later, scratch_, end - 1);
        if (!later.Valid || later.HeaderStartIndex >= end) return none;
        // A header that reaches past the record's end may be no more than the record's last
        // values followed by the next cell: a record written over this one lies inside it.
        if (!later.HeaderTruncated && later.DataStartIndex() <= end &&
            HeaderLengthAgrees(area, later) && oneByteIntegersFit(area, later) &&
            acceptHeader(area, later, contentShift()))
            return later.HeaderStartIndex;
        from = later.HeaderStartIndex + 1;
    }
    return none;
}

bool AbstractSqLiteRecovery::HeaderLengthAgrees(ByteView area, const SQLiteTableHeaderInfo& info) {
    if (!info.Valid || info.Header.empty()) return false;
    // In row-id mode the header-length byte follows the row id; otherwise the match begins with
    // it, or with the second byte of a two-byte length.
    const std::int64_t rowIdLength = info.RowIdRead ? info.Header[0].second : 0;
    const std::int64_t at = info.HeaderStartIndex + rowIdLength;
    const std::int64_t headerLength = info.headerDataTaken - rowIdLength;
    const auto length = static_cast<std::int64_t>(area.size());
    if (at < 0 || at >= length) return false;
    if (headerLength < 128 && area[static_cast<std::size_t>(at)] == headerLength) return true;
    // A header of 128 bytes or more keeps its length in two bytes, the first before the match.
    const std::int64_t twoByteLength = headerLength + 1;
    return !info.RowIdRead && at >= 1 && twoByteLength >= 128 && twoByteLength < 0x4000 &&
           area[static_cast<std::size_t>(at - 1)] == (0x80 | (twoByteLength >> 7)) &&
           area[static_cast<std::size_t>(at)] == (twoByteLength & 0x7F);
}

bool AbstractSqLiteRecovery::oneByteIntegersFit(ByteView area,
                                                const SQLiteTableHeaderInfo& info) const {
    if (!smallIntegersAsOneByte_ || !info.tablePattern) return true;
    const auto& patterns = patterns_->patterns();
    if (info.tablePattern < patterns.data() ||
        info.tablePattern >= patterns.data() + patterns.size())
        return true;
    const auto pattern = static_cast<std::size_t>(info.tablePattern - patterns.data());
    const auto length = static_cast<std::int64_t>(area.size());
    std::int64_t at = info.DataStartIndex() + contentShift();
    for (std::size_t position = 0; position < info.Header.size(); ++position) {
        const std::int64_t serialType = info.Header[position].first;
        if (serialType == 1) {
            const std::uint8_t allowed = patterns_->oneByteValuesAllowed(pattern, position);
            // A value past the area cannot be judged; the record is cut there anyway.
            if (allowed != 0 && at >= 0 && at < length) {
                const std::uint8_t value = area[static_cast<std::size_t>(at)];
                if (value > 1 || (allowed & (1u << value)) == 0) return false;
            }
        }
        at += ContentWidth(serialType);
    }
    return true;
}

void AbstractSqLiteRecovery::ParseHeaderAndData(ByteView area, std::uint64_t start) {
    if (area.size() <= 15 || isCancelled()) return;
    _dontAttemptAgain = false;
    const auto length = static_cast<std::int64_t>(area.size());
    if (start >= static_cast<std::uint64_t>(length)) return;
    std::int64_t offset = static_cast<std::int64_t>(start);
    // The offset at which a record was last dropped for re-alignment: it is decoded again once
    // with the shift, and that second decoding stands.
    std::int64_t retriedAt = -1;
    const std::uint8_t* bytes = area.data();
    // Where the area lies in the page being searched; -1 when it is no part of it.
    const std::int64_t areaStart =
        !pageBytes_.empty() && area.data() >= pageBytes_.data() &&
                area.data() + area.size() <= pageBytes_.data() + pageBytes_.size()
            ? area.data() - pageBytes_.data()
            : -1;

    while (offset < length - 1) {
        if (isCancelled()) return;
        const SQLiteTableHeaderInfo info = FindSQLiteTableHeader(area, offset);
        if (!info.Valid || !info.tablePattern) return;
        currentMapped_ = false;
        current_ = GetNewRecoveryObject();
        if (!current_) return;
        currentRowIdRead_ = info.RowIdRead;
        currentCellRowId_ = info.RowIdRead ? std::nullopt : CellRowIdBefore(area, info);
        currentRecordComplete_ = !info.HeaderTruncated;
        current_->setRowId(info.RowId != 0 ? info.RowId : 1);
        const TablePattern& pattern = *info.tablePattern;
        const std::int64_t dataPos = info.DataStartIndex() + _processOffset + _dataOffset;
        const bool retryAllowed = offset != retriedAt;
        bool dropped = false;
        std::int64_t used = 0;
        // A stale header keeps the lengths of its old values, though later cells may since have
        // been written over them: the record's own bytes end where the first live cell, or the
        // first header of another record, begins behind its header (or at the area's end).
        // What lies past that point is another row's: a value there stays empty, and the next
        // search starts where the first value that reaches past that point begins.
        std::int64_t ownBytesEnd =
            areaStart >= 0
                ? std::min(length, liveCellAfter(areaStart + info.HeaderStartIndex) - areaStart)
                : length;
        // A live cell is whole: nothing was written over it.
        currentInLiveCell_ = areaStart >= 0 && insideLiveCell(areaStart + info.HeaderStartIndex);
        if (!currentInLiveCell_) {
            std::int64_t declaredEnd = dataPos;
            for (const auto& [serialType, taken] : info.Header)
                declaredEnd += ContentWidth(serialType);
            ownBytesEnd = std::min(
                ownBytesEnd, laterRecordWithin(area, info, std::max(dataPos, info.DataStartIndex()),
                                               std::min(declaredEnd, ownBytesEnd)));
        }
        // Whether the record's bytes end before the area does: values past that end are lost.
        const bool overwritten = ownBytesEnd < length;
        std::int64_t overrunAt = -1;
        bool pastOwnBytes = false;

        for (std::size_t column = 0; column < info.Header.size() && !dropped; ++column) {
            const std::int64_t serialType = info.Header[column].first;
            const std::int64_t p = dataPos + used;
            const auto index = static_cast<std::int64_t>(column);
            const std::int64_t contentWidth = ContentWidth(serialType);
            if (overrunAt < 0 && p + contentWidth > ownBytesEnd) overrunAt = p;
            // From the first value that reaches past the record's own bytes on, only values that
            // take no bytes are still its own; a text or blob that begins among them keeps that
            // part.
            if (overwritten && contentWidth > 0 &&
                (pastOwnBytes || p + contentWidth > ownBytesEnd)) {
                const bool first = !pastOwnBytes;
                pastOwnBytes = true;
                if (!first || serialType < 12 || p >= ownBytesEnd) {
                    currentRecordComplete_ = false;
                    continue;
                }
            }
            const std::int64_t limit = overwritten ? ownBytesEnd : length;
            if (serialType >= 1 && serialType <= 7) {
                const int width = NumberWidth(serialType);
                if (p < 0 || p > length - width) {  // not wholly inside: skipped
                    currentRecordComplete_ = false;
                    continue;
                }
                if (serialType == 7) {
                    const auto bits = static_cast<std::uint64_t>(ReadBigEndianSigned(bytes + p, 8));
                    FillModel(index, ColumnValue(std::bit_cast<double>(bits)), pattern);
                } else {
                    FillModel(index, ColumnValue(ReadBigEndianSigned(bytes + p, width)), pattern);
                }
                used += width;
            } else if (serialType == 8 || serialType == 9) {
                FillModel(index, ColumnValue(std::int64_t{serialType == 9 ? 1 : 0}), pattern);
            } else if (serialType >= 12) {
                if (p < 0 || p > limit) {
                    currentRecordComplete_ = false;
                    continue;
                }
                // A text or blob that runs past the area, or into another row's bytes, is cut to
                // what remains of it.
                const std::int64_t declared = (serialType - 12) / 2;
                const std::int64_t width = std::min(declared, limit - p);
                if (width < declared) currentRecordComplete_ = false;
                const ByteView raw =
                    area.subspan(static_cast<std::size_t>(p), static_cast<std::size_t>(width));
                used += width;
                if (serialType % 2 == 1) {
                    if (IsValidUtf8(raw))
                        FillModel(index, ColumnValue(std::string(raw.begin(), raw.end())), pattern);
                    else
                        FillModel(index, ColumnValue(), pattern);
                } else {
                    FillModel(index, ColumnValue(Bytes(raw.begin(), raw.end())), pattern);
                }
                dropped = checkPosition(raw, retryAllowed);
            }
            // Serial types 0, 10 and 11 hold nothing.
        }

        if (dropped) {
            retriedAt = offset;
            continue;
        }
        // The next search starts behind the record (or where it overran its own bytes), and
        // never at or before its header's start.
        offset = std::max(overrunAt >= 0 ? overrunAt : dataPos + used, info.HeaderStartIndex + 1);
        // Live data, however it was read: no deleted row.
        if (currentInLiveCell_ && skipsLiveCells_) continue;
        if (!isAlreadyOnList(current_)) addRecoveredObject();
    }
}

std::optional<std::int64_t> AbstractSqLiteRecovery::CellRowIdBefore(
    ByteView area, const SQLiteTableHeaderInfo& info) {
    const std::int64_t at = info.HeaderStartIndex;
    if (!info.Valid || info.RowIdRead || info.HeaderTruncated || info.Header.empty() || at < 2 ||
        at >= static_cast<std::int64_t>(area.size()))
        return std::nullopt;
    // The header-length byte must be the header's length.
    const std::int64_t headerLength = info.headerDataTaken;
    if (headerLength > 127 || area[static_cast<std::size_t>(at)] != headerLength)
        return std::nullopt;
    std::uint64_t payload = static_cast<std::uint64_t>(headerLength);
    for (std::size_t i = 1; i < info.Header.size(); ++i) {
        const std::int64_t type = info.Header[i].first;
        payload += type >= 12 ? static_cast<std::uint64_t>((type - 12) / 2)
                              : static_cast<std::uint64_t>(NumberWidth(type));
    }
    // The row id's varint ends right before the header: its last byte has the high bit clear,
    // the bytes before it in the varint have it set.
    std::int64_t rowIdStart = at - 1;
    if (area[static_cast<std::size_t>(rowIdStart)] & 0x80) return std::nullopt;
    while (rowIdStart > 0 && at - rowIdStart < 9 &&
           (area[static_cast<std::size_t>(rowIdStart - 1)] & 0x80))
        --rowIdStart;
    // Before it, the payload length as SQLite writes it (the shortest varint).
    std::uint8_t encoded[10];
    int length = 0;
    for (std::uint64_t rest = payload; ; rest >>= 7) {
        encoded[length++] = static_cast<std::uint8_t>(rest & 0x7F);
        if (rest < 0x80 || length == 9) break;
    }
    if (rowIdStart < length) return std::nullopt;
    for (int i = 0; i < length; ++i) {
        const std::uint8_t expected =
            static_cast<std::uint8_t>(encoded[length - 1 - i] | (i + 1 < length ? 0x80 : 0));
        if (area[static_cast<std::size_t>(rowIdStart - length + i)] != expected)
            return std::nullopt;
    }
    std::uint64_t rowId = 0;
    const std::uint8_t* start = area.data() + rowIdStart;
    if (ReadVarint(start, area.data() + at, rowId) != at - rowIdStart) return std::nullopt;
    return static_cast<std::int64_t>(rowId);
}

bool AbstractSqLiteRecovery::checkPosition(ByteView raw, bool retryAllowed) {
    if (_dontAttemptAgain) {
        _dataReposition = false;
        _dontAttemptAgain = false;
        _dataOffset = 0;
        return false;
    }
    const std::int32_t shift = verifyDataPosition(raw);
    if (shift == kKeepPosition) return false;
    _dataOffset = shift;
    if (shift != 0 && !_dataReposition && shift > -7 && shift < 7) {
        if (!retryAllowed) {
            // This header was decoded again already; keep that decoding.
            _dataOffset = 0;
            return false;
        }
        _dataReposition = true;
        _dontAttemptAgain = true;
        current_ = nullptr;
        return true;
    }
    if (shift != 0 && _dataReposition) {
        _dontAttemptAgain = true;
        _dataReposition = false;
        _dataOffset = 0;
    } else {
        _dontAttemptAgain = false;
        _dataReposition = false;
    }
    return false;
}

// ---- Helpers ----

OptString AbstractSqLiteRecovery::getStringFromValue(const ColumnValue& value) {
    if (value.isText()) return *value.text();
    if (value.isNumber()) return value.toText();
    // Some stores keep a text in a blob (a call's number, in a column declared BLOB): its bytes
    // are the text, and bytes that are no UTF-8 are no text, as for a text value.
    if (const Bytes* blob = value.blob(); blob && IsValidUtf8(ByteView(blob->data(), blob->size())))
        return std::string(blob->begin(), blob->end());
    return std::nullopt;
}

bool AbstractSqLiteRecovery::IsGuidAscii(std::uint8_t byte) {
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= 'a' && byte <= 'z');
}

bool AbstractSqLiteRecovery::IsChatGuidAsciiValue(std::uint8_t byte) {
    return IsGuidAscii(byte) || byte == '+' || byte == '@' || byte == ';' || byte == '-';
}

bool AbstractSqLiteRecovery::IsGuidAsciiValue(ByteView bytes) {
    if (bytes.size() < 36) return false;
    for (std::size_t i = 0; i < 36; ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? bytes[i] != '-' : !IsGuidAscii(bytes[i])) return false;
    }
    return true;
}

std::vector<std::shared_ptr<baseRecoveryObject>> AbstractSqLiteRecovery::FindAll(
    const baseRecoveryObject& record) const {
    std::vector<std::shared_ptr<baseRecoveryObject>> found;
    for (const auto& r : RecoveredFiltered_)
        if (r && r->RowId() == record.RowId()) found.push_back(r);
    return found;
}

bool AbstractSqLiteRecovery::connected(std::string_view location) {
    return Reachability::IsReachable(location);
}

std::int64_t AbstractSqLiteRecovery::MaxRowIdOfTable(const std::string& path,
                                                     std::string_view table) {
    if (path.empty()) return -1;
    const StoredTables stored(path);
    if (!stored.readable() || !stored.hasTable("sqlite_sequence")) return -1;
    std::int64_t seq = -1;
    for (const auto& row : stored.rows("sqlite_sequence").rows) {
        if (row.values.size() < 2) continue;
        const std::string* name = row.values[0].text();
        if (!name || *name != table) continue;
        seq = row.values[1].isInteger() ? row.values[1].asInteger() : -1;
    }
    return seq;
}

std::int32_t AbstractSqLiteRecovery::getMaxRowIdforTable(std::string_view table) const {
    const std::int64_t seq = MaxRowIdOfTable(fullDBPath_, table);
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(seq, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

std::int32_t AbstractSqLiteRecovery::headerSize(
    const std::vector<std::vector<std::int32_t>>& positions) {
    std::int32_t size = 0;
    std::int32_t previous = 0;
    for (const auto& types : positions) {
        if (!types.empty())
            previous = std::any_of(types.begin(), types.end(),
                                   [](std::int32_t type) { return type < 11; })
                           ? 1
                           : 2;
        size += previous;
    }
    return size;
}

bool AbstractSqLiteRecovery::processContent(std::int64_t contentSizeFound, const ColumnValue&,
                                            std::int64_t offset, ByteView withData) {
    if (offset < 0 || contentSizeFound < 0) return false;
    const SQLiteTableHeaderInfo next = FindSQLiteTableHeader(withData, offset);
    return next.Valid && next.HeaderStartIndex - offset < contentSizeFound;
}

std::uint64_t AbstractSqLiteRecovery::FindIndexOfBytesForGuidDataContent(ByteView area,
                                                                        std::int64_t offset) {
    constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
    constexpr std::int64_t kFirstHyphen = 8;
    const auto size = static_cast<std::int64_t>(area.size());
    for (std::int64_t p = std::max(offset, kFirstHyphen); p + 15 < size; ++p)
        if (area[p] == '-' && area[p + 5] == '-' && area[p + 10] == '-' && area[p + 15] == '-')
            return static_cast<std::uint64_t>(p - kFirstHyphen);
    return kNone;
}

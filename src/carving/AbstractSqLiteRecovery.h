#pragma once

#include "carving/HeaderMatcher.h"
#include "carving/LivePages.h"
#include "carving/SQLiteHeader.h"
#include "carving/SQLiteTableHeaderInfo.h"
#include "carving/SQLiteUtils.h"
#include "carving/TablePattern.h"
#include "common/ColumnValue.h"
#include "records/BaseRecoveryObject.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class SqLiteTableSignatures;

class PagedFile;

// The carving engine: finds deleted rows of one table in the free space of a SQLite file and
// hands every decoded column to the recoverer that derives from it.
//
// Which bytes are searched (DoRecoveryPath):
//  - A plain file: every b-tree page from page 2 on, its unallocated gap and its freeblocks.
//  - An auto-vacuum file: the pages up to the largest root page likewise (pointer-map pages
//    aside), then every page after it whole.
//  - With a freelist: every page from the first trunk page to the end of the file whole, and
//    the freelist pages that lie before that trunk page whole.
// A page may be searched more than once; the duplicate test and the recoverers' own tests drop
// repeated records. The file is opened once per run and read page by page into one buffer.
//
// A recoverer (one subclass per table and layout) customises the engine through the hooks
// below and nothing else; the state of the record being decoded is read through the accessors
// that follow them. For each header the patterns fit, in this order:
//  1. acceptHeader: whether the header is taken at all (passed over, the search goes on one
//     byte further). Default: every header.
//  2. GetNewRecoveryObject: a new, empty record (currentRecord() from here on).
//  3. FillModel: each decoded value, by pattern position, and after each text or blob
//     verifyDataPosition, whose answer may have the record decoded again a few bytes off.
//  4. isAlreadyOnList, then addRecoveredObject, which files the record (in RecoveredFiltered,
//     in the scan's lists, or both).
// Two further hooks choose where the engine looks: ProcessSQLitePage (the parts of a b-tree page
// searched; the whole-page variant searches it all) and ParseHeaderAndData (one area's search).
//
// One engine object carves one file at a time, on one thread.
//
// Live cells: pages searched whole hold live rows too. A record whose header lies inside a cell
// that a live b-tree page lists (LivePages, read from the file itself, not asked of SQLite) is a
// copy or a misreading of live data, never a deleted row: by default the engine drops it before
// the duplicate test, so no recoverer lists it, whatever SQLite can or cannot say of the file.
// A recoverer that wants such records (the whole-page search) turns this off and asks
// currentRecordLiesInLiveCell().
class AbstractSqLiteRecovery {
public:
    // The check answer that keeps a text where it was decoded.
    static constexpr std::int32_t kKeepPosition = -100;
    // Extra bytes between a header found in a freeblock and its content, unless a recoverer
    // chooses otherwise. A freeblock's 4-byte head overwrites only the start of a freed cell
    // (payload length, row id, header length, in a short row its first serial type), never its
    // last serial type, so the content begins right where a matched header ends.
    static constexpr std::int32_t kDefaultFreeblockStartOffset = 0;

    AbstractSqLiteRecovery() = default;
    virtual ~AbstractSqLiteRecovery() = default;
    AbstractSqLiteRecovery(const AbstractSqLiteRecovery&) = delete;
    AbstractSqLiteRecovery& operator=(const AbstractSqLiteRecovery&) = delete;

    // Carves the file at path. A missing, unreadable or non-SQLite file (shorter than a header,
    // or a page size SQLite cannot write) yields nothing.
    virtual void DoRecoveryPath(const std::string& path);

    // Cancellation: tested before every page, freeblock and record.
    void setStopToken(std::stop_token token) { stopToken_ = std::move(token); }
    bool isCancelled() const { return stopToken_.stop_requested(); }
    // How far a run's walk over its file's pages has got: called now and then with the pages
    // walked and the pages to walk, and once at the end of the walk with both equal. None:
    // nobody is told.
    using PageProgress = std::function<void(std::int64_t walked, std::int64_t pages)>;
    void setPageProgress(PageProgress report) { pageProgress_ = std::move(report); }

    // Whether records inside live cells are dropped (the default) or handed to the recoverer.
    void setSkipsLiveCells(bool skips) { skipsLiveCells_ = skips; }
    bool skipsLiveCells() const { return skipsLiveCells_; }
    // The live pages of the file carved last (read at the start of DoRecoveryPath).
    const LivePages& livePages() const { return livePages_; }

    // Whether the file being carved writes the integers 0 and 1 as one-byte integers (schema
    // format below 4; read from the file's header by DoRecoveryPath). Where a pattern allows
    // the serial types 8 or 9, it then also takes serial type 1 holding 0 or 1 respectively.
    void setSmallIntegersAsOneByte(bool oneByte) { smallIntegersAsOneByte_ = oneByte; }
    bool smallIntegersAsOneByte() const { return smallIntegersAsOneByte_; }

    // Extra bytes added to the content start of every record found in a freeblock.
    void setFreeblockStartOffset(std::int32_t offset) { freeblockStartOffset_ = offset; }
    std::int32_t freeblockStartOffset() const { return freeblockStartOffset_; }

    // The header patterns tried, in this order; stored as a copy.
    void setTablePatterns(std::vector<TablePattern> patterns);
    // Patterns compiled once and shared with other engines (several files, several threads).
    void setTablePatterns(std::shared_ptr<const CompiledTablePatterns> patterns);
    const std::vector<TablePattern>& tablePatterns() const { return patterns_->patterns(); }
    const std::shared_ptr<const CompiledTablePatterns>& compiledTablePatterns() const {
        return patterns_;
    }
    // Takes the patterns of the signature (name, db, table) of the catalogue. False, with no
    // patterns, when the catalogue is missing or lacks the signature.
    bool setPatternsFromSignature(std::string_view name, std::string_view db,
                                  std::string_view table, const SqLiteTableSignatures* catalogue);

    // The reference list of the duplicate test, copied as it is at the call.
    void setRecoveredData(std::vector<std::shared_ptr<baseRecoveryObject>> records);
    const std::vector<std::shared_ptr<baseRecoveryObject>>& RecoveredData() const {
        return RecoveredData_;
    }
    // The records the recoverer accepted, in carving order.
    std::vector<std::shared_ptr<baseRecoveryObject>>& RecoveredFiltered() {
        return RecoveredFiltered_;
    }
    const std::vector<std::shared_ptr<baseRecoveryObject>>& RecoveredFiltered() const {
        return RecoveredFiltered_;
    }

    // A live database that a recoverer may open for its own tests.
    const std::string& fullDBPath() const { return fullDBPath_; }
    void setFullDBPath(std::string path) { fullDBPath_ = std::move(path); }

    // The page numbers of the pointer-map pages met by the last auto-vacuum walk.
    const std::vector<std::int64_t>& pointerMapPageNumbers() const {
        return pointerMapPageNumbers_;
    }

    // ---- Carving bytes already in memory ----
    // One b-tree page, searched as a walk searches it.
    void carvePage(ByteView page) { ProcessSQLitePage(page); }
    // Every record of an area from start on.
    void carveArea(ByteView area, std::uint64_t start = 0) { ParseHeaderAndData(area, start); }
    // The nearest header at or after offset that the patterns fit and acceptHeader takes.
    SQLiteTableHeaderInfo findHeader(ByteView area, std::int64_t offset) {
        return FindSQLiteTableHeader(area, offset);
    }
    // Bytes added to the content start of the records being decoded: the freeblock offset while
    // a freeblock is searched, plus the shift of a record decoded again; 0 between searches.
    std::int64_t contentShift() const { return _processOffset + _dataOffset; }

    // ---- Small helpers for recoverers ----
    // A text as it is, a number as its decimal text, a blob's bytes when they are UTF-8
    // text; anything else absent.
    static OptString getStringFromValue(const ColumnValue& value);
    // "0"-"9", "A"-"Z", "a"-"z".
    static bool IsGuidAscii(std::uint8_t byte);
    // As IsGuidAscii, and "+", "@", ";" and "-".
    static bool IsChatGuidAsciiValue(std::uint8_t byte);
    // Whether the first 36 bytes are a GUID: "-" at 8, 13, 18 and 23, IsGuidAscii elsewhere.
    static bool IsGuidAsciiValue(ByteView bytes);
    // The row id in the cell head right before a header found in area (plain patterns, whose
    // first position is the header-length byte): see currentCellRowId().
    static std::optional<std::int64_t> CellRowIdBefore(ByteView area,
                                                       const SQLiteTableHeaderInfo& info);
    // The accepted records whose row id equals the record's.
    std::vector<std::shared_ptr<baseRecoveryObject>> FindAll(
        const baseRecoveryObject& record) const;
    static std::string ConnectionStringForSQLiteConnection(const std::string& path) {
        return "data source=" + path;
    }
    // Whether a location can be reached now: a readable local file, or a host that accepts a
    // connection (Reachability::IsReachable).
    static bool connected(std::string_view location);

    // ---- Live row ids ----
    // The largest row id the table has handed out: its row of sqlite_sequence in the database
    // at path, read through the file's own pages (the last such row when there are several);
    // -1 when the file cannot be read or the table has no sequence row.
    static std::int64_t MaxRowIdOfTable(const std::string& path, std::string_view table);
    // The same for the live database fullDBPath, held to 32 bits.
    std::int32_t getMaxRowIdforTable(std::string_view table) const;

    // ---- Header and content estimates ----
    // An estimate of a record header's length from its pattern: one byte for a position whose
    // types include one below 11, two for any other, and an empty position as many as the one
    // before (none for the first).
    static std::int32_t headerSize(const std::vector<std::vector<std::int32_t>>& positions);
    // A header read in another way than the patterns: none is tried, so 0.
    static std::int32_t experimentalHeaderParsing(ByteView header, std::int64_t skip,
                                                  ByteView data) {
        (void)header, (void)skip, (void)data;
        return 0;
    }
    // A column's content size apart from its serial type: none is known, so 0.
    static std::int64_t GetContentSizeColumn(std::int64_t column, std::int64_t serialType) {
        (void)column, (void)serialType;
        return 0;
    }
    // Whether the next header the patterns fit at or after offset begins inside the content
    // that a record of contentSizeFound bytes from offset would take: the content is then
    // another record's, not the one being read.
    bool processContent(std::int64_t contentSizeFound, const ColumnValue& value,
                        std::int64_t offset, ByteView withData);
    // Where the 36-character GUID begins whose hyphens the area holds at p, p + 5, p + 10 and
    // p + 15 for the first such p at or after offset (p - 8); the largest value when there is
    // none, or when that GUID would begin before the area.
    static std::uint64_t FindIndexOfBytesForGuidDataContent(ByteView area, std::int64_t offset);

protected:
    // ---- Hooks, called per record found, in this order ----
    // Whether a header that the patterns fit is taken; contentShift is added to its content
    // start (see contentShift()).
    virtual bool acceptHeader(ByteView area, const SQLiteTableHeaderInfo& info,
                              std::int64_t contentShift);
    // A new, empty recovery record for the header just found.
    virtual std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject();
    // One decoded value of the current record: column is the pattern position.
    virtual void FillModel(std::int64_t column, const ColumnValue& object,
                           const TablePattern& tablePattern);
    // After each text or blob value: the shift (-6 to 6, not 0) at which the record should be
    // decoded again, 0 to accept, kKeepPosition to change nothing, or any other value to shift
    // the content start of the records that follow.
    virtual std::int32_t verifyDataPosition(ByteView text) = 0;
    // Whether the record is a duplicate of one in RecoveredData: the same object, or the same
    // row id when the row id was read from the record's header.
    virtual bool isAlreadyOnList(const std::shared_ptr<baseRecoveryObject>& record) const;
    // Files the finished record (currentRecord()).
    virtual void addRecoveredObject() = 0;

    // ---- The record being decoded, while the hooks run ----
    // The record GetNewRecoveryObject made; null after it was dropped for re-alignment.
    const std::shared_ptr<baseRecoveryObject>& currentRecord() const { return current_; }
    // A recoverer notes that a column of the current record was mapped to one of its fields;
    // each new record starts unmapped.
    void markCurrentMapped() { currentMapped_ = true; }
    bool currentWasMapped() const { return currentMapped_; }
    // Whether the row id of the current record was read from its header.
    bool currentRowIdWasRead() const { return currentRowIdRead_; }
    // Whether the current record was decoded whole: its header and every value lay inside the
    // searched area. A record cut by the end of its area (often a stale copy in a page's gap)
    // lacks its last values or has them cut short.
    bool currentRecordIsComplete() const { return currentRecordComplete_; }
    // Whether the current record's header lies inside a live cell of its page.
    bool currentRecordLiesInLiveCell() const { return currentInLiveCell_; }
    // The row id of the cell the current record is, where the record still has its cell's
    // head: right before its header, a payload length that is exactly the record's length (its
    // header and its values), then the row id. A deleted cell in a freeblock lost its head;
    // whole cells (live ones, and copies left in a page's gap when its cells moved) keep it.
    std::optional<std::int64_t> currentCellRowId() const { return currentCellRowId_; }

    // ---- Where the engine looks ----
    // One b-tree page: its gap and its freeblocks.
    virtual void ProcessSQLitePage(ByteView page);
    // Finds and decodes every record of the area from start on.
    virtual void ParseHeaderAndData(ByteView area, std::uint64_t start);

    // ---- The walks ----
    void ProcessAutoVacuumSqliteDatabase(const SQLiteHeader& header);
    void ProcessNonAutoVacuumSqliteDatabase(const SQLiteHeader& header);
    void ProcessPagesAfterHighestNumberedRootPage(const SQLiteHeader& header);
    void ProcessFreeListTrunkPage(const SQLiteHeader& header);
    // The freelist pages (trunks and leaves) that lie before the first trunk page, searched whole.
    void ProcessFreeListPagesBeforeFirstTrunk(const SQLiteHeader& header);

    static std::uint8_t firstByte(ByteView data) { return data.empty() ? 0 : data[0]; }
    // The walks name the page whose bytes they hand over, so that a record found in them can be
    // placed; an area outside the current page's bytes has no place.
    void enterPage(std::int64_t number, ByteView page);
    void leavePage() { enterPage(0, {}); }

private:
    // The nearest header at or after offset that one of the patterns fits and acceptHeader
    // takes.
    SQLiteTableHeaderInfo FindSQLiteTableHeader(ByteView area, std::int64_t offset);
    // Where the first header of another record begins in [from, end) of area: one that the
    // patterns fit and acceptHeader takes, that ends before end, and whose header-length byte
    // agrees with it. Such a record was written over the bytes there, after the record of info.
    // The area's length when there is none.
    std::int64_t laterRecordWithin(ByteView area, const SQLiteTableHeaderInfo& info,
                                   std::int64_t from, std::int64_t end);
    // Whether the header-length byte of a match (right before its first serial type) gives the
    // length of the matched header: the header a record was written with, whole.
    static bool HeaderLengthAgrees(ByteView area, const SQLiteTableHeaderInfo& info);
    // Whether every one-byte integer of the match that stands where the pattern allows only 8
    // or 9 holds the value those stand for (see setSmallIntegersAsOneByte).
    bool oneByteIntegersFit(ByteView area, const SQLiteTableHeaderInfo& info) const;
    // Runs the position check after a text or blob; true when the record is to be dropped and
    // decoded again.
    bool checkPosition(ByteView raw, bool retryAllowed);
    void searchFreeblocks(ByteView page);
    // Whether the byte at that offset of the current page lies inside one of its live cells.
    bool insideLiveCell(std::int64_t offsetInPage);
    // Where the nearest live cell of the current page that begins behind that offset begins;
    // the largest value when there is none.
    std::int64_t liveCellAfter(std::int64_t offsetInPage);
    // The live cells of the current page, [start, end), read once per page.
    const std::vector<std::pair<std::int64_t, std::int64_t>>& liveCells();

    std::shared_ptr<const CompiledTablePatterns> patterns_ = CompiledTablePatterns::None();
    HeaderMatcher::Scratch scratch_;
    std::vector<std::shared_ptr<baseRecoveryObject>> RecoveredData_;
    // The records of RecoveredData_ and their row ids, for the duplicate test.
    std::unordered_set<const baseRecoveryObject*> recoveredDataObjects_;
    std::unordered_set<std::int64_t> recoveredDataRowIds_;
    std::vector<std::shared_ptr<baseRecoveryObject>> RecoveredFiltered_;
    std::string fullDBPath_;
    std::stop_token stopToken_;
    PageProgress pageProgress_;
    // The file of the run under way; null between runs.
    PagedFile* file_ = nullptr;
    // The record being filled; null after a record was dropped for re-alignment.
    std::shared_ptr<baseRecoveryObject> current_;
    bool currentMapped_ = false;
    // Extra bytes added to the content start of every record (the freeblock offset while a
    // freeblock is searched, else 0).
    std::int32_t _processOffset = 0;
    // The re-alignment retry.
    bool _dataReposition = false;
    bool _dontAttemptAgain = false;
    std::int32_t _dataOffset = 0;
    std::int32_t freeblockStartOffset_ = kDefaultFreeblockStartOffset;
    bool currentRowIdRead_ = false;
    bool currentRecordComplete_ = true;
    bool currentInLiveCell_ = false;
    std::optional<std::int64_t> currentCellRowId_;
    bool skipsLiveCells_ = true;
    bool smallIntegersAsOneByte_ = false;
    LivePages livePages_;
    // The page being searched, and the extents of its live cells (read once per page).
    std::int64_t pageNumber_ = 0;
    ByteView pageBytes_;
    bool pageCellsRead_ = false;
    std::vector<std::pair<std::int64_t, std::int64_t>> pageCells_;
    std::vector<std::int64_t> pointerMapPageNumbers_;
};

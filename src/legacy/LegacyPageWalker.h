#pragma once

#include "carving/SQLiteHeader.h"
#include "carving/SQLiteTableHeaderInfo.h"
#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <string>
#include <vector>

class LegacyRecovery;

// An early, page-oriented carver of the messages database: it reads the file header, walks the
// freelist (every trunk page and the leaf pages each lists) and, on request, the b-tree pages,
// and on each page finds record headers and steps over the values that follow them. It keeps
// no carved record: its entry leaves the deleted-message list empty.
//
// Every page is taken from the whole file mapped read-only and read within its bounds: a page
// number past the end of the file is not read, a freelist that loops back to a page already
// walked ends there, and a record header whose values would run past the page is no header.
// The run's stop token is tested per page and per record header.
class LegacyPageWalker {
public:
    explicit LegacyPageWalker(LegacyRecovery& run);
    ~LegacyPageWalker();

    // Walks the messages database of the run, then replaces the deleted-message list with the
    // walk's candidates whose service is "SMS" (the walk keeps none, so the list ends empty).
    // False, and the list untouched, when the file is missing or empty.
    bool MessagesSQLiteRecovery();

    // Reads the header of the database at path and walks its freelist.
    void DoRecovery(const std::string& path);
    // The same over the bytes of a whole database file (path only names it).
    void DoRecovery(FileBytes file, const std::string& path = {});
    // The 100-byte header of the database at path (a page size stored as 1 means 65536); every
    // field zero when the file is shorter than a header.
    SQLiteHeader ReadSQLiteDatabaseHeader(const std::string& path);
    // The header of the file being walked.
    SQLiteHeader ReadSQLiteDatabaseHeader(FileBytes file, const std::string& path = {});

    // The walks over the file being walked (set by DoRecovery); each page is walked at most
    // once, and only pages that lie wholly inside the file.
    // The freelist: each trunk page from the header's first one on, and the leaf pages it lists.
    void ProcessFreelistTrunkPage(const SQLiteHeader& header);
    // Pages 2 up to the highest root page, less the pointer-map pages, as b-tree pages.
    void ProcessAutoVacuumSqliteDatabase(const SQLiteHeader& header);
    // Pages 3 up to the last page, as b-tree pages.
    void ProcessNonAutoVacuumSQLiteDatabase(const SQLiteHeader& header);
    // In an auto-vacuum file, every page after the highest root page (less the pointer-map
    // pages), searched whole for record headers.
    void ProcessPagesAfterHighestNumberedRootPage(const SQLiteHeader& header);

    // One b-tree page: index pages are passed over; on table pages, the area after the cell
    // pointer array is searched for record headers.
    void ProcessSQLitePage(FileBytes page, std::int64_t pageNumber);
    // Finds record headers from headersize on and steps over the values each one describes.
    void ParseHeaderAndData(FileBytes page, std::int64_t headersize);
    // The nearest record header at or after offset: a header-length varint, then serial types
    // that fill exactly that many bytes, at least two columns, none of the reserved types 10
    // and 11, not all NULL, whose values all fit on the page. Valid false when none does.
    SQLiteTableHeaderInfo FindSQLiteTableHeader(FileBytes page, std::int64_t offset);
    // Searches that no walk uses; they find nothing (-1).
    std::int64_t FindIndexOfHeaderDefinitionBytesForMessageRowIdAndGuid(FileBytes page, std::int64_t offset);
    std::int64_t FindIndexOfBytesForGuidDataContent(FileBytes page, std::int64_t offset);

    // The text with every UTF-16 unit from 127 up written as "\u" and four lower-case
    // hexadecimal digits.
    static std::string escapedUnicode(const std::string& text);

    // What the last walk met: the page numbers it walked, in order, and the record headers found.
    const std::vector<std::int64_t>& pagesWalked() const { return pagesWalked_; }
    std::int64_t headersFound() const { return headersFound_; }

private:
    // The page (1-based) of the file being walked, when it lies wholly inside the file.
    FileBytes Page(const SQLiteHeader& header, std::int64_t pageNumber) const;
    // Marks the page walked; false when it was walked before or lies outside the file.
    bool Visit(const SQLiteHeader& header, std::int64_t pageNumber);
    bool IsPointerMapPage(const SQLiteHeader& header, std::int64_t pageNumber) const;

    LegacyRecovery& run_;
    FileBytes file_;
    std::vector<bool> visited_;
    std::vector<std::int64_t> pagesWalked_;
    std::int64_t headersFound_ = 0;
};

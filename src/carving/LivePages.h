#pragma once

#include "carving/PagedFile.h"
#include "carving/SQLiteHeader.h"

#include <cstdint>
#include <stop_token>
#include <vector>

// Which bytes of a database file belong to live rows, told from the file's own structure
// rather than by asking SQLite: a carved record whose bytes lie inside a live cell of a b-tree
// page is a (stale or misread) copy of something live, never a deleted row.
//
// A page is live when a b-tree of the schema reaches it, or when it is none of the pages that
// hold no live cells: freelist pages (trunks and leaves), pointer-map pages and the lock-byte
// page. The second rule keeps a page live whose parent is damaged; the first keeps one live
// that a damaged freelist names. A live page's cells are those its cell pointer array lists,
// each as long as the file format's payload rules make it.
//
// Building reads the freelist's trunk pages, the schema and the interior pages of each b-tree;
// what it keeps is a few bits per page, so memory stays small for any file.
class LivePages {
public:
    LivePages() = default;

    // Reads the structure of the open file whose header is given; false (and nothing live)
    // when the header is unusable.
    bool read(const PagedFile& file, const SQLiteHeader& header, std::stop_token stop = {});

    bool isRead() const { return pageSize_ > 0; }
    std::int64_t pageSize() const { return pageSize_; }
    // The page size less the bytes each page reserves at its end.
    std::int64_t usableSize() const { return usable_; }
    // Whether the page may hold live cells.
    bool isLive(std::int64_t pageNumber) const;
    // A live page that no b-tree of the schema reaches (its parent damaged, say).
    bool isUnreached(std::int64_t pageNumber) const;
    std::int64_t pageCount() const { return pages_; }
    // Whether the byte at `offset` of the page lies inside a cell that the page's cell pointer
    // array lists; `page` holds the page's bytes. False for pages that are not live.
    bool insideLiveCell(std::int64_t pageNumber, ByteView page, std::int64_t offset) const;

private:
    std::int64_t pageSize_ = 0;
    std::int64_t usable_ = 0;
    std::int64_t pages_ = 0;
    // Per page (index = page number): 1 free or no b-tree page, 2 reached from a root.
    std::vector<std::uint8_t> marks_;
};

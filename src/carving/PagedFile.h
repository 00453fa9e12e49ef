#pragma once

#include "carving/SQLiteUtils.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// A database file opened read-only and read a run of pages at a time into one reused buffer, so
// that carving a file of any size takes the same memory.
class PagedFile {
public:
    PagedFile() = default;
    ~PagedFile();
    PagedFile(const PagedFile&) = delete;
    PagedFile& operator=(const PagedFile&) = delete;

    // Opens a regular file for reading; false when it is missing or not a regular file.
    bool open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    std::int64_t size() const { return size_; }

    // Reads up to length bytes at offset; the number read (short at the end of the file), or -1.
    std::int64_t readAt(std::int64_t offset, std::uint8_t* buffer, std::size_t length) const;

    // Hands the bytes from begin to end (clipped to the file) to visit in pieces of pageSize
    // bytes, the last one possibly shorter, in file order, until visit answers false. A piece
    // that cannot be read ends the walk.
    template <class Visit>
    void forEachPiece(std::int64_t begin, std::int64_t end, std::int64_t pageSize, Visit&& visit);

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::vector<std::uint8_t> buffer_;
};

template <class Visit>
void PagedFile::forEachPiece(std::int64_t begin, std::int64_t end, std::int64_t pageSize,
                             Visit&& visit) {
    // Several pages per read keep the number of system calls low; the buffer stays small.
    constexpr std::int64_t kReadSize = 256 * 1024;
    if (fd_ < 0 || pageSize <= 0 || begin < 0) return;
    if (end > size_) end = size_;
    if (begin >= end) return;
    const std::int64_t piecesPerRead = pageSize >= kReadSize ? 1 : kReadSize / pageSize;
    // No more room than this walk can use: a small file gets a small buffer.
    const std::int64_t chunk = std::min(piecesPerRead * pageSize, ((end - begin + pageSize - 1) / pageSize) * pageSize);
    if (static_cast<std::int64_t>(buffer_.size()) < chunk)
        buffer_.resize(static_cast<std::size_t>(chunk));
    for (std::int64_t at = begin; at < end;) {
        const std::int64_t want = std::min(chunk, end - at);
        const std::int64_t got = readAt(at, buffer_.data(), static_cast<std::size_t>(want));
        if (got <= 0) return;
        for (std::int64_t piece = 0; piece < got; piece += pageSize) {
            const std::int64_t length = std::min(pageSize, got - piece);
            if (!visit(at + piece, ByteView(buffer_.data() + piece, static_cast<std::size_t>(length))))
                return;
        }
        at += got;
    }
}

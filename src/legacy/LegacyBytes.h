#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The bytes of a whole database file as the older carving routines slide over them. Every
// read is bounded by the end of the data: a byte outside reads as 0, and a run that does not
// lie wholly inside is refused, so a record header near the end of a file (or a length that
// runs past it) never reads beyond the data.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit FileBytes(std::string_view text)
        : data_(reinterpret_cast<const std::uint8_t*>(text.data())), size_(text.size()) {}

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // The length as the routines count offsets (a file is far below 2^63 bytes).
    std::int64_t length() const { return static_cast<std::int64_t>(size_); }
    bool empty() const { return size_ == 0; }

    // The byte at offset, 0 when the offset lies outside the data.
    std::uint8_t operator[](std::int64_t offset) const {
        return offset >= 0 && static_cast<std::uint64_t>(offset) < size_ ? data_[offset] : 0;
    }
    // Whether count bytes from offset lie wholly inside the data (overflow-safe).
    bool has(std::int64_t offset, std::int64_t count) const {
        return offset >= 0 && count >= 0 && static_cast<std::uint64_t>(offset) <= size_ &&
               static_cast<std::uint64_t>(count) <= size_ - static_cast<std::uint64_t>(offset);
    }
    // The count bytes at offset; empty unless they lie wholly inside.
    std::string_view text(std::int64_t offset, std::int64_t count) const {
        if (!has(offset, count)) return {};
        return {reinterpret_cast<const char*>(data_ + offset), static_cast<std::size_t>(count)};
    }
    // Whether the bytes from offset are the pattern's, where a kAnyByte in the pattern matches
    // every byte; false when the pattern does not lie wholly inside.
    static constexpr int kAnyByte = -1;
    bool matches(std::int64_t offset, std::initializer_list<int> pattern) const {
        if (!has(offset, static_cast<std::int64_t>(pattern.size()))) return false;
        const std::uint8_t* at = data_ + offset;
        for (const int want : pattern) {
            if (want != kAnyByte && *at != want) return false;
            ++at;
        }
        return true;
    }
    // The data from offset on; empty when the offset lies outside.
    FileBytes from(std::int64_t offset) const {
        if (!has(offset, 0)) return {};
        return {data_ + offset, size_ - static_cast<std::size_t>(offset)};
    }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// A whole file mapped read-only: nothing is copied, and a file of gigabytes costs address
// space rather than memory. The mapping is private and never written; the file is not changed.
class MappedFile {
public:
    MappedFile() = default;
    // The file at path; an empty mapping (and the reason in *error, when given) when it cannot be
    // opened, is not a regular file, or is empty.
    static MappedFile open(const std::string& path, std::string* error = nullptr);
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    FileBytes bytes() const { return {static_cast<const std::uint8_t*>(address_), size_}; }
    bool empty() const { return size_ == 0; }
    // Gives back the memory of the pages that lie wholly before `offset`, so that a reader that
    // walks the file once holds a few pages, not the whole file. Reading them again reads the
    // file again.
    void release(std::size_t offset) const;

private:
    void* address_ = nullptr;
    std::size_t size_ = 0;
};

// The record format's readers over such bytes, for the routines that read a record header.
//
// A SQLite variable-length integer at offset (at most nine bytes) and its byte count; none when
// it runs past the end of the data.
struct Varint {
    std::int64_t value = 0;
    std::int32_t size = 0;
};
std::optional<Varint> ReadVarint(FileBytes bytes, std::int64_t offset);
// The byte length of a value of the serial type; -1 for the reserved types 10 and 11.
std::int64_t ContentLength(std::int64_t serialType);
// The integer that a column of the serial type (1 to 6, 8 or 9) holds at offset: big-endian and
// signed, as SQLite stores it; none for other types or a value past the end of the data.
std::optional<std::int64_t> IntegerOfType(FileBytes bytes, std::int64_t offset, std::int64_t serialType);
// The row id of a table cell whose record header (its length byte first) starts at headerStart:
// the varint right before it, when the varint before that, the payload's length, is payload.
// None when those bytes were written over (a freed cell's first four bytes hold the free
// block's link and size) or are no such varints.
std::optional<std::int64_t> ConfirmedRowId(FileBytes bytes, std::int64_t headerStart, std::int64_t payload);

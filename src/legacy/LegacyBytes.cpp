#include "legacy/LegacyBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

void MappedFile::release(std::size_t offset) const {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t whole = std::min(offset, size_) / page * page;
    if (address_ && whole > 0) ::madvise(address_, whole, MADV_DONTNEED);
}

MappedFile MappedFile::open(const std::string& path, std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return MappedFile();
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int saved = errno;
        ::close(fd);
        return fail(std::strerror(saved));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail("not a regular file");
    }
    if (info.st_size <= 0) {
        ::close(fd);
        return fail("empty");
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    const int saved = errno;
    ::close(fd);
    if (address == MAP_FAILED) return fail(std::strerror(saved));
    // The routines walk forward through the file.
    ::madvise(address, size, MADV_SEQUENTIAL);
    MappedFile file;
    file.address_ = address;
    file.size_ = size;
    if (error) error->clear();
    return file;
}

MappedFile::~MappedFile() {
    if (address_) ::munmap(address_, size_);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        if (address_) ::munmap(address_, size_);
        address_ = std::exchange(other.address_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

std::optional<Varint> ReadVarint(FileBytes bytes, std::int64_t offset) {
    Varint v;
    for (std::int32_t k = 0; k < 9; ++k) {
        if (!bytes.has(offset + k, 1)) return std::nullopt;
        const std::uint8_t b = bytes[offset + k];
        v.size = k + 1;
        if (k == 8) {
            v.value = static_cast<std::int64_t>((static_cast<std::uint64_t>(v.value) << 8) | b);
            return v;
        }
        v.value = static_cast<std::int64_t>((static_cast<std::uint64_t>(v.value) << 7) | (b & 0x7F));
        if ((b & 0x80) == 0) return v;
    }
    return v;
}

std::int64_t ContentLength(std::int64_t serialType) {
    static constexpr std::int64_t kIntegers[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
    if (serialType < 0) return -1;
    if (serialType < 10) return kIntegers[serialType];
    if (serialType < 12) return -1;
    // A hostile header can hold a type of up to 2^63: no file holds a value of more than
    // 2^40 bytes, and a length kept to that leaves a record's sum of lengths far from overflow
    // (each such record then simply runs past the end of its file).
    constexpr std::int64_t kLongestValue = std::int64_t{1} << 40;
    return std::min((serialType - 12) / 2, kLongestValue);
}

std::optional<std::int64_t> IntegerOfType(FileBytes bytes, std::int64_t offset, std::int64_t serialType) {
    if (serialType == 8) return 0;
    if (serialType == 9) return 1;
    const std::int64_t length = ContentLength(serialType);
    if (serialType < 1 || serialType > 6 || !bytes.has(offset, length)) return std::nullopt;
    std::uint64_t value = bytes[offset] & 0x80 ? ~std::uint64_t{0} : 0;
    for (std::int64_t k = 0; k < length; ++k) value = (value << 8) | bytes[offset + k];
    return static_cast<std::int64_t>(value);
}

std::optional<std::int64_t> ConfirmedRowId(FileBytes bytes, std::int64_t headerStart, std::int64_t payload) {
    // A varint's last byte has its top bit clear, the others set.
    const auto startOfVarintEndingAt = [&](std::int64_t end) {
        std::int64_t start = end - 1;
        while (start > 0 && end - start < 9 && (bytes[start - 1] & 0x80)) --start;
        return start;
    };
    const std::int64_t rowIdStart = startOfVarintEndingAt(headerStart);
    const auto rowId = ReadVarint(bytes, rowIdStart);
    if (rowIdStart < 1 || !rowId || rowIdStart + rowId->size != headerStart) return std::nullopt;
    const std::int64_t payloadStart = startOfVarintEndingAt(rowIdStart);
    const auto length = ReadVarint(bytes, payloadStart);
    if (payloadStart < 0 || !length || payloadStart + length->size != rowIdStart || length->value != payload)
        return std::nullopt;
    return rowId->value;
}

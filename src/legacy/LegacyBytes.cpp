#include "legacy/LegacyBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

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

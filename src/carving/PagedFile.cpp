#include "carving/PagedFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PagedFile::~PagedFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool PagedFile::open(const std::string& path) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = 0;
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = info.st_size;
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

std::int64_t PagedFile::readAt(std::int64_t offset, std::uint8_t* buffer, std::size_t length) const {
    if (fd_ < 0 || offset < 0) return -1;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, buffer + done, length - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

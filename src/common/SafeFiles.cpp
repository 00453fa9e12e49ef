#include "common/SafeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

namespace SafeFiles {

namespace {

// The most names tried for one folder before giving up.
constexpr int kMaxFolderNames = 1000;

}  // namespace

mode_t CurrentUmask() {
    // Linux shows the mask in /proc (since 4.7); elsewhere it is read the old way, once.
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) != 0) continue;
        unsigned mask = 0;
        if (std::sscanf(line.c_str() + 6, "%o", &mask) == 1)
            return static_cast<mode_t>(mask & 0777);
    }
    static const mode_t fallback = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return mask;
    }();
    return fallback;
}

int MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system that cannot refuse to replace: a hard link fails on a taken name alike.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

OptString CreateFreshFolder(const std::string& parent,
                            const std::function<std::string(int)>& nameFor, std::string* error) {
    const auto fail = [&](const std::string& why) -> OptString {
        if (error) *error = why;
        return std::nullopt;
    };
    for (int n = 1; n <= kMaxFolderNames; ++n) {
        const std::string path = parent + "/" + nameFor(n);
        // mkdir never follows a link in the last place of the path: a planted link, like
        // anything else under the name, makes it fail with EEXIST.
        if (::mkdir(path.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;
            return fail(path + ": " + std::strerror(errno));
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        const bool ours = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) &&
                          info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
        if (fd >= 0) ::close(fd);
        // Swapped for something else between the two calls: leave it alone and give up.
        if (!ours) return fail(path + ": replaced by something else while it was being made");
        return path;
    }
    return fail(parent + ": every name for a new folder is taken");
}

void OpenUpFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    ::fchmod(fd, 0777 & ~CurrentUmask());
    ::close(fd);
}

}  // namespace SafeFiles

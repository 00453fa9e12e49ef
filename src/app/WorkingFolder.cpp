#include "app/WorkingFolder.h"

#include "common/AppPaths.h"
#include "common/FileUtils.h"
#include "common/TemporaryFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <vector>

namespace {

constexpr std::string_view kPrefix = "scan-";
constexpr std::string_view kOwnerEnding = ".owner";

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the process whose number is in a folder's name ("scan-<pid>-XXXXXX") is gone.
bool NamedProcessIsGone(std::string_view name) {
    const std::string_view rest = name.substr(kPrefix.size());
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || end == rest.data() || pid <= 0) return false;
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Whether the owner file at path is there and no process holds its lock. The lock taken to
// find out goes with the descriptor.
enum class Owner { Missing, Gone, Alive };
Owner OwnerOf(const std::string& ownerPath) {
    const int fd = ::open(ownerPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Owner::Missing : Owner::Alive;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free ? Owner::Gone : Owner::Alive;
}

}  // namespace

WorkingFolder::WorkingFolder() : WorkingFolder(AppPaths::workingDirectory()) {}

WorkingFolder::WorkingFolder(const std::string& base) {
    if (!AppPaths::ensurePrivateDirectory(base)) return;
    RemoveLeftovers(base);
    // mkdtemp makes the folder with mode 0700 under a name nobody else holds.
    std::string pattern =
        base + "/" + std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX";
    int error = ECANCELED;  // unless mkdtemp runs: the program is ending
    path_ = TemporaryFiles::make([&] {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const char* made = ::mkdtemp(name.data());
        error = errno;
        return made ? std::string(made) : std::string();
    });
    if (path_.empty()) {
        std::cerr << ("WorkingFolder: cannot create a folder in " + base + ": " +
                      std::strerror(error) + "\n");
        return;
    }
    // The owner file, locked for as long as this process lives.
    const std::string owner = path_ + std::string(kOwnerEnding);
    ownerPath_ = TemporaryFiles::make([&] {
        ownerFd_ = ::open(owner.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        error = errno;
        return ownerFd_ < 0 ? std::string() : owner;
    });
    if (ownerFd_ >= 0) {
        if (::flock(ownerFd_, LOCK_EX | LOCK_NB) == 0) return;
        error = errno;
    }
    std::cerr << ("WorkingFolder: cannot lock " + owner + ": " + std::strerror(error) + "\n");
}

WorkingFolder::~WorkingFolder() {
    if (!isUsable()) return;
    FileUtils::removeFileFromPath(path_);
    TemporaryFiles::forget(path_);
    if (!ownerPath_.empty()) {
        ::unlink(ownerPath_.c_str());
        TemporaryFiles::forget(ownerPath_);
    }
    if (ownerFd_ >= 0) ::close(ownerFd_);
}

int WorkingFolder::RemoveLeftovers(const std::string& base) {
    const auto names = FileUtils::getContentsofDirectory(base);
    if (!names) return 0;
    int removed = 0;
    for (const std::string& name : *names) {
        if (name.rfind(kPrefix, 0) != 0 || name.ends_with(kOwnerEnding)) continue;
        const std::string folder = base + "/" + name;
        if (!IsFolder(folder)) continue;
        const std::string owner = folder + std::string(kOwnerEnding);
        const Owner state = OwnerOf(owner);
        if (state == Owner::Alive || (state == Owner::Missing && !NamedProcessIsGone(name)))
            continue;
        if (FileUtils::removeFileFromPath(folder)) ++removed;
        ::unlink(owner.c_str());
    }
    return removed;
}

void WorkingFolder::clear() {
    if (!isUsable()) return;
    // Each entry is removed without following links, so nothing outside the folder goes.
    if (const auto names = FileUtils::getContentsofDirectory(path_))
        for (const std::string& name : *names) FileUtils::removeFileFromPath(path_ + "/" + name);
}

bool WorkingFolder::recreate() {
    recreateFailed_ = true;
    if (!isUsable()) return false;
    clear();
    bool made = true;
    for (const std::string& folder : {photosDirectory(), videosDirectory(), extractDirectory()}) {
        if (::mkdir(folder.c_str(), 0700) != 0) {
            std::cerr << ("WorkingFolder: cannot create " + folder + ": " + std::strerror(errno) +
                          "\n");
            made = false;
        }
    }
    recreateFailed_ = !made;
    return made;
}

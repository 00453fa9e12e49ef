#include "export/MediaExporter.h"

#include "common/FileName.h"
#include "common/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool CopyBytes(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += put;
        }
    }
}

// Moves the finished copy to its name unless that name is taken meanwhile. Some file systems
// refuse the no-replace rename; a hard link fails on an existing name in the same way.
int MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

ExportStatus MediaExporter::CopyFileWithoutReplacing(const std::string& source,
                                                     const std::string& target) {
    if (Exists(target)) return ExportStatus::AlreadyThere;

    // Non-blocking, so that a FIFO planted in place of a media file cannot hang the export.
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        std::cerr << "Export: cannot read " << source << '\n';
        return ExportStatus::Failed;
    }
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);

    std::string pattern = target + ".tmp-XXXXXX";
    Fd out(::mkostemp(pattern.data(), O_CLOEXEC));
    if (out.fd < 0) {
        std::cerr << "Export: cannot create a file beside " << target << ": "
                  << std::strerror(errno) << '\n';
        return ExportStatus::Failed;
    }
    const std::string temp = pattern;
    // mkostemp creates 0600; an exported picture is an ordinary document of the user.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(out.fd, 0666 & ~mask);

    const bool copied = CopyBytes(in.fd, out.fd);
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (!copied || closed != 0) {
        std::cerr << "Export: cannot copy " << source << " to " << target << '\n';
        ::unlink(temp.c_str());
        return ExportStatus::Failed;
    }
    const int error = MoveWithoutReplacing(temp, target);
    if (error == 0) return ExportStatus::Written;
    ::unlink(temp.c_str());
    if (error == EEXIST) return ExportStatus::AlreadyThere;
    std::cerr << "Export: cannot move a copy to " << target << ": " << std::strerror(error) << '\n';
    return ExportStatus::Failed;
}

MediaExporter::Result MediaExporter::CopyInto(const std::string& folder,
                                              const std::string& subfolder,
                                              const std::vector<Item>& items, bool createWhenEmpty,
                                              std::stop_token stop, const ItemDone& itemDone) {
    Result result;
    auto& entries = result.entries;
    const std::string target = folder + "/" + subfolder;
    if (items.empty() && !createWhenEmpty) return result;
    if (!FileUtils::createNewDirectoryAtPath(folder, subfolder)) {
        std::cerr << "Export: cannot create the folder " << target << '\n';
        entries.push_back({target, ExportStatus::Failed, 0});
        return result;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (stop.stop_requested()) {
            result.stopped = true;
            break;
        }
        const Item& item = items[i];
        const std::string path = target + "/" + MakeSafeFileName(item.fileName.value_or(""));
        ExportStatus status = ExportStatus::Failed;
        if (item.sourcePath && !item.sourcePath->empty())
            status = CopyFileWithoutReplacing(*item.sourcePath, path);
        entries.push_back({path, status, status == ExportStatus::Written ? 1u : 0u});
        if (itemDone) itemDone(i + 1);
    }
    return result;
}

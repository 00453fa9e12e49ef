#include "export/MediaExporter.h"

#include "common/FileName.h"
#include "common/SafeFiles.h"
#include "common/TemporaryFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <system_error>
#include <vector>

namespace {

// Names tried for one item whose name an earlier item of the same copy took.
constexpr int kMaxNumberedNames = 10000;

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

enum class Copied { Done, Failed, Stopped };

Copied CopyBytes(int from, int to, const std::stop_token& stop) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        if (stop.stop_requested()) return Copied::Stopped;
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) return Copied::Done;
        if (got < 0) {
            if (errno == EINTR) continue;
            return Copied::Failed;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return Copied::Failed;
            }
            done += put;
        }
    }
}

// The sub-folder to copy into: made when missing, taken when it is a folder (not a link to
// one). False, with a line on stderr, otherwise.
bool PrepareFolder(const std::string& folder, const std::string& target) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (::mkdir(target.c_str(), 0777) == 0) return true;
    const int made = errno;
    struct stat st {};
    if (made == EEXIST && ::lstat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        std::cerr << "Export: " << target
                  << (S_ISLNK(st.st_mode) ? " is a link, not a folder; it is not followed\n"
                                          : " is in the way: it is no folder\n");
        return false;
    }
    std::cerr << "Export: cannot create the folder " << target << ": " << std::strerror(made)
              << '\n';
    return false;
}

}  // namespace

ExportStatus MediaExporter::CopyFileWithoutReplacing(const std::string& source,
                                                     const std::string& target,
                                                     std::stop_token stop) {
    if (Exists(target)) return ExportStatus::AlreadyThere;

    // Non-blocking, so that a FIFO planted in place of a media file cannot hang the export.
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        std::cerr << "Export: cannot read " << source << '\n';
        return ExportStatus::Failed;
    }
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);

    // A short hidden name beside the target; mkostemp creates it exclusively.
    std::string pattern = TemporaryPatternBeside(target, "tmp");
    Fd out(-1);
    int error = ECANCELED;  // unless mkostemp runs: the program is ending
    const std::string temp = TemporaryFiles::make([&] {
        out.fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        error = errno;
        return out.fd < 0 ? std::string() : pattern;
    });
    if (out.fd < 0) {
        std::cerr << "Export: cannot create a file beside " << target << ": "
                  << std::strerror(error) << '\n';
        return ExportStatus::Failed;
    }
    // mkostemp creates 0600; an exported picture is an ordinary document of the user.
    ::fchmod(out.fd, 0666 & ~SafeFiles::CurrentUmask());

    const Copied copied = CopyBytes(in.fd, out.fd, stop);
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (copied != Copied::Done || closed != 0) {
        if (copied != Copied::Stopped)
            std::cerr << "Export: cannot copy " << source << " to " << target << '\n';
        ::unlink(temp.c_str());
        TemporaryFiles::forget(temp);
        return ExportStatus::Failed;
    }
    const int moved = SafeFiles::MoveWithoutReplacing(temp, target);
    if (moved != 0) ::unlink(temp.c_str());
    TemporaryFiles::forget(temp);
    if (moved == 0) return ExportStatus::Written;
    if (moved == EEXIST) return ExportStatus::AlreadyThere;
    std::cerr << "Export: cannot move a copy to " << target << ": " << std::strerror(moved) << '\n';
    return ExportStatus::Failed;
}

namespace {

// Why a photo or video could not be copied when its source is the cause: it has none, or the
// backup lacks the file or holds something else under its name. Empty when the source is there.
std::string WhyNotCopied(const OptString& source) {
    if (!source || source->empty()) return "no file of the backup holds it";
    struct stat entry {};
    if (::stat(source->c_str(), &entry) != 0)
        return errno == ENOENT ? "its file " + *source + " is missing from the backup"
                               : "its file " + *source + " cannot be read: " + std::strerror(errno);
    if (!S_ISREG(entry.st_mode)) return "its file " + *source + " is no regular file";
    return {};
}

}  // namespace

MediaExporter::Result MediaExporter::CopyInto(const std::string& folder,
                                              const std::string& subfolder,
                                              const std::vector<Item>& items, bool createWhenEmpty,
                                              std::stop_token stop, const ItemDone& itemDone) {
    Result result;
    auto& entries = result.entries;
    const std::string target = folder + "/" + subfolder;
    if (items.empty() && !createWhenEmpty) return result;
    if (!PrepareFolder(folder, target)) {
        entries.push_back({target, ExportStatus::Failed, 0});
        return result;
    }
    // The names this copy has given so far: a later item of the same name is another picture.
    std::set<std::string> given;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (stop.stop_requested()) {
            result.stopped = true;
            break;
        }
        const Item& item = items[i];
        const std::string name = FitFileName(MakeSafeFileName(item.fileName.value_or("")));
        std::string path = target + "/" + name;
        ExportStatus status = ExportStatus::Failed;
        if (item.sourcePath && !item.sourcePath->empty()) {
            if (!given.count(name)) {
                given.insert(name);
                status = CopyFileWithoutReplacing(*item.sourcePath, path, stop);
            } else {
                // Numbered names, skipping those taken by this copy or by anything before it.
                for (int n = 2; n <= kMaxNumberedNames; ++n) {
                    const std::string numbered = NumberedFileName(name, n);
                    if (given.count(numbered)) continue;
                    path = target + "/" + numbered;
                    status = CopyFileWithoutReplacing(*item.sourcePath, path, stop);
                    if (status == ExportStatus::AlreadyThere) continue;
                    given.insert(numbered);
                    break;
                }
            }
        }
        if (stop.stop_requested() && status == ExportStatus::Failed) {
            // Cut off by the stop: not a failure, and nothing of it is left.
            result.stopped = true;
            break;
        }
        entries.push_back({path, status, status == ExportStatus::Written ? 1u : 0u, true,
                           status == ExportStatus::Failed ? WhyNotCopied(item.sourcePath) : std::string()});
        if (itemDone) itemDone(i + 1);
    }
    return result;
}

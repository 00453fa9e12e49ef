#include "common/FileUtils.h"

#include "common/AppPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <limits>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

void logLine(const std::string& line) {
    std::cerr << ("FileUtils: " + line + "\n");
}

std::string errnoText(int error) {
    return std::strerror(error);
}

// Joins a folder and a name with exactly one "/" between them.
std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    std::string left = directory;
    while (left.size() > 1 && left.back() == '/') left.pop_back();
    std::size_t start = 0;
    while (start < name.size() && name[start] == '/') ++start;
    if (left == "/") return left + name.substr(start);
    return left + "/" + name.substr(start);
}

// Closes a descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now so that a failing close (a full disk noticed late) is seen.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO from blocking the open; such
// files are refused anyway, as reading them could wait or run on without end.
bool openRegularForReading(const std::string& path, FileDescriptor& fd, struct stat& info) {
    fd.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        logLine("cannot open " + path + ": " + errnoText(errno));
        return false;
    }
    if (::fstat(fd.get(), &info) != 0) {
        logLine("cannot inspect " + path + ": " + errnoText(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        logLine(path + " is not a regular file");
        return false;
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads up to limit bytes, growing the buffer only as data arrives. Answers 0, or the error
// number of a failed read.
int readUpTo(int fd, std::size_t limit, Bytes& out) {
    std::size_t got = 0;
    while (got < limit) {
        const std::size_t chunk = std::min(kReadChunk, limit - got);
        out.resize(got + chunk);
        const ssize_t n = ::read(fd, out.data() + got, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            out.resize(got);
            return error;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return 0;
}

std::string temporarySuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

enum class Replace { Yes, No };
enum class WriteResult { Written, Exists, Failed };

// Writes a file through a temporary name in the target folder and renames it into place. With
// Replace::No an entry that appeared at the path meanwhile is left alone (Exists).
WriteResult writeAtomically(const std::string& path, const std::function<bool(int)>& fill,
                            Replace replace) {
    const fs::path target(path);
    const std::string name = target.filename().string();
    if (name.empty()) {
        logLine("cannot write " + path + ": no file name");
        return WriteResult::Failed;
    }
    const std::string directory =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");

    std::string temporary;
    int rawFd = -1;
    for (int attempt = 0; attempt < 8 && rawFd < 0; ++attempt) {
        temporary = joinPath(directory, "." + name + ".tmp-" + temporarySuffix());
        rawFd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) break;
    }
    if (rawFd < 0) {
        logLine("cannot create a file in " + directory + ": " + errnoText(errno));
        return WriteResult::Failed;
    }

    FileDescriptor fd(rawFd);
    bool ok = fill(fd.get());
    int error = errno;
    if (ok && ::fsync(fd.get()) != 0) {
        ok = false;
        error = errno;
    }
    if (!fd.close() && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        logLine("cannot write " + path + ": " + errnoText(error));
        return WriteResult::Failed;
    }

    int rc = 0;
    if (replace == Replace::No) {
        rc = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
        // Some file systems cannot refuse to replace; the name was free a moment ago.
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS))
            rc = std::rename(temporary.c_str(), path.c_str());
    } else {
        rc = std::rename(temporary.c_str(), path.c_str());
    }
    if (rc != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        if (error == EEXIST) return WriteResult::Exists;
        logLine("cannot put " + path + " in place: " + errnoText(error));
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

std::function<bool(int)> bytesWriter(const Bytes& data) {
    return [&data](int fd) { return writeAll(fd, data.data(), data.size()); };
}

// Writes under the next free sequential name; a name taken between the choice and the rename
// (another writer) moves on to the following one.
bool writeSequential(const Bytes& data, const std::string& prefix, const std::string& extension,
                     const std::string& directory) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const OptString name = FileUtils::nextSequentialFileName(prefix, extension, directory);
        if (!name) return false;
        switch (writeAtomically(joinPath(directory, *name), bytesWriter(data), Replace::No)) {
            case WriteResult::Written:
                return true;
            case WriteResult::Failed:
                return false;
            case WriteResult::Exists:
                break;
        }
    }
    logLine("no free file name for " + prefix + "." + extension + " in " + directory);
    return false;
}

// Sums the sizes of everything below a directory without following symbolic links. An explicit
// stack keeps deep trees from exhausting the call stack.
std::uint64_t sizeBelow(const std::string& root, std::error_code* lastError) {
    std::uint64_t total = 0;
    std::vector<fs::path> pending{fs::path(root)};
    while (!pending.empty()) {
        const fs::path directory = std::move(pending.back());
        pending.pop_back();
        std::error_code ec;
        fs::directory_iterator it(directory, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const fs::path& item = it->path();
            struct stat info {};
            if (::lstat(item.c_str(), &info) != 0) {
                if (lastError) *lastError = std::error_code(errno, std::generic_category());
                continue;
            }
            total += static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
            if (S_ISDIR(info.st_mode)) pending.push_back(item);
        }
        if (ec && lastError) *lastError = ec;
    }
    return total;
}

}  // namespace

std::string FileUtils::documentsDirectoryPath() {
    return AppPaths::documentsDirectory();
}

std::string FileUtils::documentsDirectoryPathForResource(const std::string& name) {
    return joinPath(documentsDirectoryPath(), name);
}

bool FileUtils::fileExistsAtPath(const std::string& directory, const std::string& fileName) {
    return fileExistsAtPath(joinPath(directory, fileName));
}

bool FileUtils::fileExistsAtPath(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::string FileUtils::kindOfNonRegularFile(unsigned int mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "no regular file";
}

bool FileUtils::directoryExistsAtPath(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> FileUtils::allSubdirectoriesofDirectory(const std::string& directory) {
    std::vector<std::string> subdirectories;
    if (const auto names = getContentsofDirectory(directory)) {
        for (const std::string& name : *names) {
            if (directoryExistsAtPath(joinPath(directory, name))) subdirectories.push_back(name);
        }
    }
    return subdirectories;
}

OptString FileUtils::nextSequentialFileName(const std::string& prefix,
                                            const std::string& fileExtenstion,
                                            const std::string& directoryPath) {
    const auto names = getContentsofDirectory(directoryPath);
    if (!names) return std::nullopt;
    std::string candidate = prefix + "." + fileExtenstion;
    // The listing is sorted, so a binary search finds a taken name; at most names->size()
    // candidates can be taken, which bounds the loop.
    for (std::size_t n = 1; std::binary_search(names->begin(), names->end(), candidate); ++n) {
        candidate = prefix + std::to_string(n) + "." + fileExtenstion;
    }
    return candidate;
}

bool FileUtils::writeFileToDocuemntsDirectory(const Bytes& data, const std::string& prefix,
                                              const std::string& extension) {
    return writeSequential(data, prefix, extension, documentsDirectoryPath());
}

bool FileUtils::writeFileToTemporaryDirectory(const Bytes& data, const std::string& prefix,
                                              const std::string& extension) {
    return writeSequential(data, prefix, extension, temporaryDirectoryPath());
}

bool FileUtils::writeFileToAnyDirectory(const Bytes& data, const std::string& prefix,
                                        const std::string& extension, const std::string& path) {
    return writeSequential(data, prefix, extension, path);
}

void FileUtils::copyResourceFileToDocumentsDirectory(const std::string& name) {
    const std::string destination = documentsDirectoryPathForResource(name);
    if (fileExistsAtPath(destination)) return;

    const std::string source = joinPath(AppPaths::resourcesDirectory(), name);
    FileDescriptor in(-1);
    struct stat info {};
    if (!openRegularForReading(source, in, info)) {
        logLine("resource " + name + " not copied");
        return;
    }
    const auto copy = [&in](int out) {
        std::array<std::uint8_t, kReadChunk> buffer{};
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (n == 0) return true;
            if (!writeAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
        }
    };
    // Something that appeared at the destination meanwhile is kept, as it would have been anyway.
    writeAtomically(destination, copy, Replace::No);
}

void FileUtils::copyResourcesToDocumentsDirectory(const std::vector<std::string>& names) {
    for (const std::string& name : names) copyResourceFileToDocumentsDirectory(name);
}

void FileUtils::exportPhotosToDirectory(const std::vector<std::string>& names) {
    copyResourcesToDocumentsDirectory(names);
}

bool FileUtils::deleteFileFromDocumentsDirectory(const std::string& name) {
    const std::string path = documentsDirectoryPathForResource(name);
    if (!fileExistsAtPath(path)) return false;
    return removeFileFromPath(path);
}

std::string FileUtils::temporaryDirectoryPath() {
    return AppPaths::workingDirectory() + "/";
}

std::string FileUtils::temporaryDirectoryPathForResource(const std::string& name) {
    return joinPath(temporaryDirectoryPath(), name);
}

bool FileUtils::createNewDirectoryAtPath(const std::string& path, const std::string& name) {
    const std::string directory = path + "/" + name;
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (directoryExistsAtPath(directory)) return true;
    logLine("cannot create directory " + directory + (ec ? ": " + ec.message() : std::string()));
    return false;
}

std::optional<Bytes> FileUtils::getDataFromPath(const std::string& path) {
    FileDescriptor fd(-1);
    struct stat info {};
    if (!openRegularForReading(path, fd, info)) return std::nullopt;
    Bytes data;
    data.reserve(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)));
    if (const int error = readUpTo(fd.get(), std::numeric_limits<std::size_t>::max(), data)) {
        logLine("cannot read " + path + ": " + errnoText(error));
        return std::nullopt;
    }
    return data;
}

std::optional<Bytes> FileUtils::getDataFromPath(const std::string& path, std::size_t maxBytes,
                                                std::string* error) {
    const auto fail = [&](std::string why) -> std::optional<Bytes> {
        logLine(path + ": " + why);
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return fail("cannot be opened (" + errnoText(errno) + ")");
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return fail("cannot be inspected (" + errnoText(errno) + ")");
    if (!S_ISREG(info.st_mode)) return fail("is not a regular file");
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > maxBytes)
        return fail("is larger than " + std::to_string(maxBytes) + " bytes");
    Bytes data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    // One byte more than allowed tells a file that grew while it was read.
    if (const int failure = readUpTo(fd.get(), maxBytes + 1, data))
        return fail("cannot be read (" + errnoText(failure) + ")");
    if (data.size() > maxBytes) return fail("is larger than " + std::to_string(maxBytes) + " bytes");
    return data;
}

std::optional<std::vector<std::string>> FileUtils::getContentsofDirectory(
    const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        logLine("cannot list " + directory + ": " + ec.message());
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool FileUtils::removeFileFromPath(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::lstat(path.c_str(), &info) != 0) return false;  // nothing to remove
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) {
        logLine("cannot remove " + path + ": " + ec.message());
        return false;
    }
    return true;
}

std::uint64_t FileUtils::fileSizeAtPath(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::lstat(path.c_str(), &info) != 0) return 0;
    return static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
}

bool FileUtils::CreateFile(const Bytes& data, const std::string& filePath) const {
    return writeAtomically(filePath, bytesWriter(data), Replace::Yes) == WriteResult::Written;
}

std::int64_t FileUtils::getDirectorySize(const std::string& directory) {
    if (!directoryExistsAtPath(directory)) return 0;
    const std::uint64_t total = sizeBelow(directory, nullptr);
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(total, std::numeric_limits<std::int64_t>::max()));
}

std::string FileUtils::formattedFileSizeStringFromSizeBytes(std::int64_t sizeBytes) {
    static constexpr std::array<const char*, 5> kUnits{"bytes", "KB", "MB", "GB", "TB"};
    float size = static_cast<float>(sizeBytes);
    if (!(size > 0.0f)) return "";
    std::size_t unit = 0;
    while (size > 1024.0f && unit + 1 < kUnits.size()) {
        size /= 1024.0f;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%3.1f %s", static_cast<double>(size), kUnits[unit]);
    return text;
}

std::string FileUtils::getDirectorySizeAsStringfromPath(const std::string& directory) {
    const std::uint64_t size = FileManagerUtil::sizeForFolderAtPath(directory);
    return formattedFileSizeStringFromSizeBytes(static_cast<std::int64_t>(
        std::min<std::uint64_t>(size, std::numeric_limits<std::int64_t>::max())));
}

std::optional<Bytes> FileUtils::readStartofFile(const std::string& path,
                                                std::int32_t readThisMuch) {
    if (readThisMuch < 0) {
        logLine("negative read length for " + path);
        return std::nullopt;
    }
    FileDescriptor fd(-1);
    struct stat info {};
    if (!openRegularForReading(path, fd, info)) return std::nullopt;
    Bytes data;
    if (const int error = readUpTo(fd.get(), static_cast<std::size_t>(readThisMuch), data)) {
        logLine("cannot read " + path + ": " + errnoText(error));
        return std::nullopt;
    }
    return data;
}

std::uint64_t FileManagerUtil::sizeForFolderAtPath(const std::string& path,
                                                   std::error_code* error) {
    if (!FileUtils::directoryExistsAtPath(path)) return 0;
    return sizeBelow(path, error);
}

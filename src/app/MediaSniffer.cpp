#include "app/MediaSniffer.h"

#include "app/DataTypes.h"
#include "app/MainWindow.h"
#include "app/StatusLine.h"
#include "app/WindowTypes.h"
#include "app/WorkingFolder.h"
#include "common/BackupFiles.h"
#include "common/FileName.h"
#include "common/FileUtils.h"
#include "common/TemporaryFiles.h"
#include "database/SqliteConnection.h"
#include "legacy/ParseMbdb.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "records/SameFile.h"
#include "records/Video.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_set>

namespace {

constexpr const char* kVideoThumbnail = "video-thumbnail.png";
// Looking at one backup file, and copying it when it is a picture or a film, weighs as much as
// reading this many bytes of a database (ScanProgress weighs the other parts in bytes).
constexpr double kWeightPerFile = 16.0 * 1024;

bool BytesAt(const std::uint8_t* bytes, std::size_t size, std::size_t offset,
             std::string_view expected) {
    if (offset + expected.size() > size) return false;
    return std::memcmp(bytes + offset, expected.data(), expected.size()) == 0;
}

bool ZeroAt(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    return offset < size && bytes[offset] == 0;
}

// The phone's file names of a backup's files, by backup file name (the SHA-1 of the file's
// domain and relative path): from the file list of the backup, Manifest.db (iOS 10 and later,
// read-only) or Manifest.mbdb (iOS 5 to 9). Only the names of files the backup holds
// (`present`, by backup file name) are kept, and only names that can name a file in the working
// folder, so that what is kept is bounded by the backup's files whatever the list holds. Empty
// when the backup has neither list or they cannot be read; `problem` then says why when the list
// is there but is not what a backup's list is (its table a view, which is never read).
std::unordered_map<std::string, std::string> PhoneFileNames(const std::string& backupDirectory,
                                                            const std::unordered_set<std::string>& present,
                                                            std::string& problem) {
    std::unordered_map<std::string, std::string> names;
    const auto keep = [&](const std::string& backupName, const std::string& relativePath) {
        const std::string name = relativePath.substr(relativePath.find_last_of('/') + 1);
        if (backupName.empty() || name.empty() || name.front() == '.' || name.size() > kMaxFileNameBytes ||
            name.find('\0') != std::string::npos || !present.contains(backupName))
            return;
        names.emplace(backupName, name);
    };
    const std::string database = backupDirectory + "/Manifest.db";
    if (FileUtils::fileExistsAtPath(database)) {
        if (const auto manifest = SqliteConnection::OpenReadOnly(database); manifest && manifest->isOpen()) {
            if (manifest->hasView("Files")) {
                problem = "its table Files is a view, which is not read: photos are copied under working-copy names";
                return names;
            }
            auto rows = manifest->executeQuery("SELECT Files.fileID AS fileID, Files.relativePath AS relativePath FROM Files");
            while (rows.next()) {
                const OptString id = rows.stringForColumn("fileID");
                const OptString path = rows.stringForColumn("relativePath");
                if (id && path) keep(*id, *path);
            }
        }
        return names;
    }
    const std::string list = backupDirectory + "/Manifest.mbdb";
    if (FileUtils::fileExistsAtPath(list))
        ParseMbdb::VisitMbdbFile(list, [&](const std::shared_ptr<MDFileInfo>& record) {
            if (record) keep(record->strHash, record->FileName);
        });
    return names;
}

bool IsShardName(const std::string& name) {
    return name.size() == 2 && std::isxdigit(static_cast<unsigned char>(name[0])) &&
           std::isxdigit(static_cast<unsigned char>(name[1]));
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// An entry of the backup that may be read: no link, or a link that stays inside the backup.
bool MayRead(const std::string& backupDirectory, const std::string& path) {
    return !IsLink(path) || BackupFiles::staysInside(backupDirectory, path);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now; false when the close reports a failed write.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Opens a file of the backup for reading; only regular files, and a FIFO cannot block us.
FileDescriptor OpenRegular(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        std::cerr << ("media scan: cannot open " + path + ": " + std::strerror(errno) + "\n");
        return fd;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileDescriptor(-1);
    return fd;
}

std::size_t ReadStart(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// errno, never 0: a failure must not read as success.
int LastError() {
    return errno != 0 ? errno : EIO;
}

// Copies the whole open file to the target through a temporary name, so that a failed copy
// leaves nothing behind under the target's name.
bool CopyOpenFile(int source, const std::string& target) {
    // The partial copy is made as one step with respect to a program that is ending at once,
    // so that nothing new appears in the working folder while it is being removed.
    int made = -1;
    int error = ECANCELED;
    const std::string temporary = TemporaryFiles::make([&] {
        // Hidden and cut to fit: a photo keeps the phone's name, which may be as long as a
        // file name can be.
        std::string name = TemporaryPatternBeside(target, "part");
        made = ::mkostemp(name.data(), O_CLOEXEC);
        error = errno;
        return made >= 0 ? name : std::string();
    });
    FileDescriptor out(made);
    if (temporary.empty()) {
        std::cerr << ("media copy to " + target + " failed: " + std::strerror(error) + "\n");
        return false;
    }
    error = ::lseek(source, 0, SEEK_SET) == 0 ? 0 : errno;
    std::array<std::uint8_t, 65536> buffer{};
    while (error == 0) {
        const ssize_t n = ::read(source, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        if (!WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(n))) error = LastError();
    }
    if (!out.close() && error == 0) error = LastError();
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temporary.c_str());
    TemporaryFiles::forget(temporary);
    if (error == 0) return true;
    std::cerr << ("media copy to " + target + " failed: " + std::strerror(error) + "\n");
    return false;
}

}  // namespace

MediaKind SniffMediaKind(const std::uint8_t* bytes, std::size_t size) {
    if (BytesAt(bytes, size, 6, "JFIF") && ZeroAt(bytes, size, 10)) return MediaKind::JfifImage;
    if (BytesAt(bytes, size, 6, "Exif") && ZeroAt(bytes, size, 10) && ZeroAt(bytes, size, 11))
        return MediaKind::ExifImage;
    if (BytesAt(bytes, size, 1, "PNG")) return MediaKind::PngImage;
    if (BytesAt(bytes, size, 4, "ftypqt")) return MediaKind::QuickTimeFilm;
    if (BytesAt(bytes, size, 0, "SQLite")) return MediaKind::SqliteFile;
    return MediaKind::Other;
}

MediaSniffer::MediaSniffer(BrimleyAppDelegate& record, MainWindowActions& window,
                           WorkingFolder& folder)
    : record_(record), window_(window), folder_(folder) {}

bool MediaSniffer::cancelled(const std::stop_token& stop) const {
    return record_.IsCancelFlag.load() || stop.stop_requested();
}

std::vector<std::string> MediaSniffer::backupFiles(const std::string& backupDirectory) {
    std::vector<std::string> files;
    const auto names = FileUtils::getContentsofDirectory(backupDirectory);
    if (!names) return files;
    for (const std::string& name : *names) {
        const std::string path = backupDirectory + "/" + name;
        if (!MayRead(backupDirectory, path)) continue;
        if (!IsDirectory(path)) {
            files.push_back(path);
            continue;
        }
        if (!IsShardName(name)) continue;
        if (const auto inner = FileUtils::getContentsofDirectory(path))
            for (const std::string& file : *inner) {
                const std::string inside = path + "/" + file;
                if (MayRead(backupDirectory, inside) && !IsDirectory(inside))
                    files.push_back(inside);
            }
    }
    return files;
}

void MediaSniffer::emptyMediaLists() {
    std::lock_guard photos(record_.photosLocked);
    record_.Photos.clear();
    record_.AllDeletedPhotos.clear();
    record_.AllPhotosContent.clear();
    record_.AllDeletedVideos.clear();
    record_.AllVideosContent.clear();
    record_._AllVideos.clear();
    {
        std::lock_guard grid(record_.dcimLocked);
        record_.AllPhotos.clear();
    }
    record_.DeletedPhotos.clear();
    record_.DeletedVideos.clear();
    record_.Videos.clear();
    record_.Audios.clear();
    record_.DeletedVideosCount = 0;
    record_.DeletedPhotosCount = 0;
}

std::string MediaSniffer::copyIfMedia(const std::string& path, const std::stop_token& stop,
                                      bool& stopped) {
    FileDescriptor file = OpenRegular(path);
    if (!file.valid()) return {};
    std::array<std::uint8_t, kMediaSniffBytes> start{};
    const std::size_t got = ReadStart(file.get(), start.data(), start.size());
    if (got == 0) return {};
    if ((stopped = cancelled(stop))) return {};

    const MediaKind kind = SniffMediaKind(start.data(), got);
    const bool photo =
        kind == MediaKind::JfifImage || kind == MediaKind::ExifImage || kind == MediaKind::PngImage;
    if (!photo && kind != MediaKind::QuickTimeFilm) return {};
    if ((stopped = cancelled(stop))) return {};

    // Without a working folder a film or image is only counted as not copied.
    const auto notCopied = [&] {
        record_.MediaNotCopied.append(std::make_shared<std::string>(SameFileKey(path)));
        return std::string();
    };
    if (!folder_.isUsable() || folder_.recreateFailed()) return notCopied();

    if (photo) {
        const std::int32_t number = record_.PhotosCount.load() + 1;
        const std::string name = photoName(path, number, kind == MediaKind::PngImage);
        const std::string copy = folder_.photosDirectory() + "/" + name;
        if (!CopyOpenFile(file.get(), copy)) return notCopied();
        auto item = std::make_shared<Photo>();
        item->setPhotoName(name);
        item->setPhotoUrl(copy);
        item->setCopiedFrom(SameFileKey(path));
        item->setIsChecked(0);
        {
            // One object in both lists, so a tick shows in either.
            std::lock_guard photos(record_.photosLocked);
            record_.AllPhotosContent.append(item);
            record_.Photos.append(item);
            record_.PhotosCount = number;
        }
        window_.updatePhotosUI();
        return name;
    }

    const std::int32_t number = record_.VideosCount.load() + 1;
    const std::string name = "MOV_" + std::to_string(number) + ".MOV";
    const std::string copy = folder_.videosDirectory() + "/" + name;
    if (!CopyOpenFile(file.get(), copy)) return notCopied();
    auto item = std::make_shared<Video>();
    item->setVideoName(name);
    item->setVideoUrl(copy);
    item->setCopiedFrom(SameFileKey(path));
    item->setVideoImage(kVideoThumbnail);
    item->setIsChecked(0);
    {
        std::lock_guard photos(record_.photosLocked);
        record_.AllVideosContent.append(item);
        record_.Videos.append(item);
        record_.VideosCount = number;
    }
    return name;
}

void MediaSniffer::reportFileListProblem(const std::string& what) {
    auto problem = std::make_shared<DatabaseProblem>();
    problem->database = "backup file list";
    problem->fileName = "Manifest.db";
    problem->what = what;
    const std::string line = "the " + problem->database + " (" + problem->fileName + ") is damaged: " + what;
    std::cerr << ("scan: " + line + "\n");
    if (record_.DatabaseProblems.appendUnlessKey(problem, &DatabaseProblem::FileNameKey)) window_.updateStatus(4, line);
}

std::string MediaSniffer::photoName(const std::string& path, std::int32_t number, bool png) {
    const auto listed = phoneNames_.find(path.substr(path.find_last_of('/') + 1));
    if (listed != phoneNames_.end() && photoNames_.insert(listed->second).second)
        return listed->second;
    // A working-copy name never takes the place of a copy made before.
    std::string name = "IMG_" + std::to_string(number) + (png ? ".PNG" : ".JPG");
    for (int again = 2; !photoNames_.insert(name).second; ++again)
        name = "IMG_" + std::to_string(number) + "_" + std::to_string(again) + (png ? ".PNG" : ".JPG");
    return name;
}

MediaSniffer::Outcome MediaSniffer::run(DataType dataType, std::stop_token stop) {
    if (!RunsStep(dataType, DataType::DataTypePhotosVideos)) return Outcome::Finished;

    if (!folder_.recreate())
        window_.updateStatus(
            4, "the working folder cannot be made" +
                   (folder_.path().empty() ? std::string() : " " + folder_.path()) +
                   (record_._RecoverMode.load() == 1 ? "; photos and videos are not copied"
                                                     : std::string()));
    record_.PhotosCount = 0;
    record_.VideosCount = 0;

    if (record_._RecoverMode.load() == 1) {
        emptyMediaLists();
        if (cancelled(stop)) return Outcome::Cancelled;

        // Without a working folder nothing can be copied; the files are still looked at, so
        // that the scan can say how many photos and videos it misses.
        const std::vector<std::string> files = backupFiles(record_.BACKUP_DIRECTORY.get());
        std::unordered_set<std::string> present;
        for (const std::string& file : files) present.insert(file.substr(file.find_last_of('/') + 1));
        std::string listProblem;
        phoneNames_ = PhoneFileNames(record_.BACKUP_DIRECTORY.get(), present, listProblem);
        if (!listProblem.empty()) reportFileListProblem(listProblem);
        photoNames_.clear();
        if (!files.empty()) window_.updateStatus(1, "Photos & Videos... ");
        if (progress_) {
            progress_->plan(ScanProgress::kMediaPart, static_cast<double>(files.size()) * kWeightPerFile);
            progress_->begin(ScanProgress::kMediaPart, StatusLineText(1, "Photos & Videos... ").value_or(""));
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (cancelled(stop)) return Outcome::Cancelled;
            bool stopped = false;
            const std::string copied = copyIfMedia(files[i], stop, stopped);
            if (stopped || cancelled(stop)) return Outcome::Cancelled;
            if (!copied.empty()) window_.updateStatus(0, copied);
            if (progress_) progress_->advance(ScanProgress::kMediaPart, static_cast<double>(i + 1) / files.size());
        }
        if (progress_) progress_->end(ScanProgress::kMediaPart);
        window_.updateStatus(2, "");
        if (const std::size_t missing = record_.MediaNotCopied.size())
            window_.updateStatus(4, std::to_string(missing) +
                                        " photos and videos could not be copied and are missing");
        if (cancelled(stop)) return Outcome::Cancelled;
    }

    const TabTag tab = ButtonTypeFor(dataType);
    window_.markTabButtonSelected(TabTag::TabTagPhotos);
    window_.onTabSelectionChanged(tab);
    window_.onAppsSelectionChanged(tab);
    // All records, as the start of the scan left them: the toggle is turned off, not flipped.
    if (record_.onlyRecovered) window_.toogleChanged();
    window_.updateTabButtons();
    window_.refreshTabButtons();
    std::this_thread::yield();
    return Outcome::Finished;
}

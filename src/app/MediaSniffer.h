#pragma once

#include "app/ScanProgress.h"
#include "records/DataType.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class BrimleyAppDelegate;
class MainWindowActions;
class WorkingFolder;

// What a file is, told from its first bytes; the numbers are those the kinds have always had.
enum class MediaKind : std::int32_t {
    PngImage = 0,
    JfifImage = 1,
    ExifImage = 2,
    QuickTimeFilm = 4,
    SqliteFile = 6,
    Other = 8,
};

// How many leading bytes decide the kind.
inline constexpr std::size_t kMediaSniffBytes = 20;

// The kind of a file that starts with these bytes. A test that reaches past the bytes given
// does not match, so a short file matches only the tests that lie wholly within it.
MediaKind SniffMediaKind(const std::uint8_t* bytes, std::size_t size);

// The photo and video step of a scan: recreates the working folder and, in a full recovery,
// copies every image and film of the backup folder (found by its first bytes, in the folder
// itself and in its two-digit sub-folders) into it and lists each copy as a Photo or Video of
// the record, under photosLocked. A photo's copy takes the file name the phone gave it where the
// backup's file list (Manifest.db or Manifest.mbdb) names the file. PhotosCount and VideosCount hold the number of copies listed
// so far; a copy that fails is not listed and its number is used by the next one.
class MediaSniffer {
public:
    enum class Outcome { Finished, Cancelled };

    MediaSniffer(BrimleyAppDelegate& record, MainWindowActions& window, WorkingFolder& folder);

    // Runs the step when the data type covers photos and videos (all types, or photos and
    // videos); otherwise does nothing. Cancelled when the record's IsCancelFlag or the stop
    // token was seen between two files: the scan then goes straight to its closing steps.
    Outcome run(DataType dataType, std::stop_token stop = {});
    // Where the copying reports how far it has got (ScanProgress::kMediaPart, weighed by the
    // number of files looked at); none: nowhere.
    void reportTo(ScanProgress* progress) { progress_ = progress; }

    // The files of a backup folder in the order the step reads them: the regular files of the
    // folder and of its sub-folders named by two hexadecimal digits, each folder sorted by name.
    static std::vector<std::string> backupFiles(const std::string& backupDirectory);

private:
    bool cancelled(const std::stop_token& stop) const;
    void emptyMediaLists();
    // Copies the file if it is an image or a film; returns the copy's file name, if made.
    std::string copyIfMedia(const std::string& path, const std::stop_token& stop, bool& stopped);
    // The name of a photo's copy: the file name the phone gave it where the backup's file list
    // names the file and no copy has that name yet; otherwise IMG_<number>.
    std::string photoName(const std::string& path, std::int32_t number, bool png);
    // Names the backup's file list among the damaged databases, with what is wrong with it.
    void reportFileListProblem(const std::string& what);

    BrimleyAppDelegate& record_;
    MainWindowActions& window_;
    WorkingFolder& folder_;
    ScanProgress* progress_ = nullptr;
    // The phone's file names of the backup's files, by backup file name.
    std::unordered_map<std::string, std::string> phoneNames_;
    // The names of the photo copies made in this run.
    std::unordered_set<std::string> photoNames_;
};

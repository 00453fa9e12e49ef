#pragma once

#include "common/Clock.h"
#include "common/Types.h"
#include "export/Exporter.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class BrimleyAppDelegate;
class DeviceInfo;

// Which records an export writes.
enum class ExportScope {
    TickedRecords,  // the ticked records of the tickable types, into a new dated folder
    CurrentTab,     // every record of one tab, into one file (photos/videos: into one folder)
    AllRecords,     // every record of every type, into a new dated folder
};

// One file or folder of an export: what the data-type table says of the tab whose records it
// holds. The export knows no tabs of its own; the front end hands it the table's entries.
struct ExportFile {
    using Write = ExportEntry (Exporter::*)(const std::string& path, bool onlyTicked) const;
    enum class Kind { Records, Photos, Videos, DeviceInfo };

    std::int32_t tab = 0;  // the main window's tab that shows these records
    Kind kind = Kind::Records;
    const char* folderName = "";    // its name in a dated export folder ("SMS")
    const char* proposedName = "";  // proposed for the tab's own export; "" for none
    Write write = nullptr;          // Records: writes the file
    bool tickable = false;          // part of the export of ticked records
};

struct ExportRequest {
    ExportScope scope = ExportScope::AllRecords;
    // Ticked and all records: the folder in which the dated export folder is made. Current
    // tab: the file the tab's records go to, or for the photo and video tabs the folder that
    // receives the "Photos" or "Videos" folder.
    std::string location;
    // Appended unchanged to each data type's name (".csv").
    std::string extension;
    // Current tab only: the main window's tab tag, as the export files name it.
    std::int32_t currentTab = 0;
};

struct ExportProgress {
    std::size_t step = 0;   // from 1
    std::size_t steps = 0;  // of this export
    std::string name;       // the file or folder being written ("SMS.csv", "Photos")
    // Photos and videos: the items copied so far and their number.
    std::size_t item = 0;
    std::size_t items = 0;
};

struct ExportReport {
    // The dated folder; empty for a current-tab export.
    std::string folder;
    // Every file, folder or copy in the order the export met them.
    std::vector<ExportEntry> entries;
    // Stopped before everything was written; the entries say what was.
    bool cancelled = false;
    // The files the whole export would have written (CSV files, the device file, each photo
    // and video), as the records stood when it started.
    std::size_t planned = 0;
    // Whether the dated folder was made (a failed one is named in `folder` and among the
    // entries).
    bool folderMade = false;

    std::vector<ExportEntry> failures() const;
    bool ok() const { return failures().empty(); }
    // The files written.
    std::size_t written() const;
};

// How a running export reports. Called on the export's thread: a window forwards the calls to
// its main thread.
class ExportListener {
public:
    virtual ~ExportListener() = default;
    virtual void exportProgress(const ExportProgress& progress) = 0;
    virtual void exportFinished(const ExportReport& report) = 0;
};

// The export to the computer: picks the records of the chosen scope from the shared state,
// writes one CSV file per data type through Exporter, the device information file, and copies
// the photos and videos. The export of all records writes every file it was given, in the order
// given (the front end gives them in tab order); the export of ticked records writes only the
// types that can be ticked.
//
// The dated folder of those two is always a new one: when its name is taken (by an earlier
// export of the same minute, a folder the user made, or a link someone planted) the next of
// "<name> (2)", "<name> (3)", ... is made instead. It is private while the export writes into
// it, and every file in it is created anew, never over or through something already there.
//
// Toolkit-free: the export dialog and the headless front end drive it alike. Every failure is
// in the report; a dialog says so, the front end prints it.
class ExportRun {
public:
    // files: what an export writes, in order.
    ExportRun(BrimleyAppDelegate& state, std::vector<ExportFile> files);
    // Stops a running export and waits for it.
    ~ExportRun();
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    // Starts the export on a thread of its own; the listener hears its progress and its end.
    // False, starting nothing, while an earlier export still runs: two exports at once would
    // write the same folders.
    bool start(ExportRequest request, std::shared_ptr<ExportListener> listener);
    // Asks a running export to stop after the current file or item.
    void cancel();
    // Waits until the running export, if any, has finished.
    void wait();
    bool isRunning() const { return running_.load(); }

    // The export itself, on the caller's thread.
    ExportReport run(const ExportRequest& request, std::stop_token stop = {},
                     ExportListener* listener = nullptr) const;

    // "<device name> - yyyy-MM-dd hh.mm a", made safe to stand as one folder name; from the
    // second copy on " (<copy>)" follows. The device name is cut so that the whole fits a
    // file name.
    static std::string ExportFolderName(const OptString& deviceName, Date when, int copy = 1);
    // The name a save panel proposes for the tab's file: its name plus the extension, the
    // device's information file for the device tab, empty for tabs with no file of their own.
    std::string ProposedFileName(std::int32_t tab, const std::string& extension,
                                 const DeviceInfo* device) const;

private:
    ExportReport runInFolder(const ExportRequest& request, std::stop_token stop,
                             ExportListener* listener) const;
    ExportReport runCurrentTab(const ExportRequest& request, std::stop_token stop,
                               ExportListener* listener) const;
    // The files a step would write now.
    std::size_t filesToWrite(const ExportFile& file, bool onlyTicked) const;
    const ExportFile* fileOfTab(std::int32_t tab) const;

    BrimleyAppDelegate& state_;
    Exporter exporter_;
    const std::vector<ExportFile> files_;
    std::mutex startMutex_;
    std::atomic<bool> running_{false};
    std::jthread thread_;
};

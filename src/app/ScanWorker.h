#pragma once

#include "app/CoreConfiguration.h"
#include "app/ScanProgress.h"
#include "records/DataType.h"
#include "records/ScanContext.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

class AnalyticsEvents;
class BrimleyAppDelegate;
struct DataTypeDescriptor;
class MainWindowActions;
class WorkingFolder;

// One whole scan of the backup folder in the record's BACKUP_DIRECTORY: clears the previous
// results, sets the window up for scanning, picks the database names for the backup's iOS
// version, copies the photos and videos out of the backup (full recovery), reads the existing
// rows of each requested data type, hands over to the deleted-record run controller and waits
// for it, and ends by restoring the controls and opening the scan report.
//
// The window is reached only through `window`, which the application gives as the main-thread
// wrapper (MainWindowOnMainThread). The record's recoveryWindowController runs the deleted
// records; without one that phase is left out.
//
// A step that throws ends with a status line (code 4) and a line on stderr; the scan goes on
// with the next step, and a scan always ends with the controls restored and the report opened.
class ScanWorker {
public:
    ScanWorker(BrimleyAppDelegate& record, MainWindowActions& window, WorkingFolder& workingFolder,
               AnalyticsEvents& analytics, CoreConfiguration configuration);
    // Stops a running scan and waits for it.
    ~ScanWorker();
    ScanWorker(const ScanWorker&) = delete;
    ScanWorker& operator=(const ScanWorker&) = delete;

    // Starts ExploreBackupDirectoryWithDataType on a thread of its own, as the home screen does.
    // `ended` runs on that thread once the scan has ended. False, starting nothing, while a
    // scan runs: two scans would fill the same lists.
    bool start(std::shared_ptr<const dataTypeHolder> holder, std::function<void()> ended = {});
    bool isRunning() const { return running_.load(); }
    // Waits until the scan started last has ended (not from `ended`).
    void wait();

    // The scan itself, on the calling thread. A stop request on the token cancels it as the
    // stop button does.
    void ExploreBackupDirectoryWithDataType(const dataTypeHolder& holder,
                                            std::stop_token stop = {});

    // The stop button, after the question whether to stop: yes marks the scan cancelled and
    // cancels the threads of the deleted-record run; the scan then leaves at its next cancel
    // test, keeping what it has read. No clears the mark. Any thread.
    void btnCancleClicked(bool stopConfirmed);

    // clearData: empties the previous scan's results and the device details (before the user
    // chooses another device or backup).
    void clearData();

    // How far the running (or last) scan has got; the window's bar, estimate and status line
    // follow it. Any thread.
    const ScanProgress& progress() const { return progress_; }

private:
    bool cancelled(const std::stop_token& stop) const;
    // Runs one step; an exception ends the step with a status line. False when the step was
    // cancelled and the scan is to go to its closing steps.
    template <class Step>
    bool runStep(const char* name, Step step);
    // Steps 5 to 13: database names, screens, media, live loads, deleted records.
    void scanSteps(DataType type, const std::stop_token& stop);
    // One type's existing rows, with its status and count lines and, for the requested type,
    // its tab.
    bool loadExisting(const DataTypeDescriptor& descriptor, DataType type,
                      const ScanContext& context);
    bool recoverDeletedRecords(DataType type, const std::stop_token& stop);
    // Switches the tab bar to the scan's tab, as a click on it would.
    void openScanTab();
    void closingSteps();
    // Weighs the parts of a scan of the type by the files they read.
    void planParts(DataType type);

    BrimleyAppDelegate& record_;
    MainWindowActions& window_;
    WorkingFolder& workingFolder_;
    AnalyticsEvents& analytics_;
    const CoreConfiguration configuration_;

    ScanProgress progress_;
    std::mutex startMutex_;
    std::atomic<bool> running_{false};
    std::jthread thread_;
};

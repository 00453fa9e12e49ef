#pragma once

#include "app/HeadlessWindow.h"
#include "app/ScanCommandLine.h"
#include "device/MobileDeviceFramework.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <thread>
#include <mutex>
#include <ostream>
#include <stop_token>
#include <string>

class AMDevice;
class ApplicationCore;
class DeviceRecoveryFlow;
class MobileDeviceAccess;
struct AlertRequest;
class BrimleyAppDelegate;
class HeadlessDispatcher;
struct ExportReport;

// The whole job of the headless front end: starts the application core as start-up does,
// reads the backup's details, runs the scan of the chosen data type and mode as the home
// screen would for a backup folder, prints the status lines, a progress line and the scan
// report, and exports every record when asked to. The calling thread becomes the main thread.
class HeadlessScanner {
public:
    // Exit statuses (the README lists them).
    static constexpr int kScanned = 0;
    static constexpr int kExportFailed = 1;
    static constexpr int kBadCommandLine = 2;
    static constexpr int kNoBackup = 3;
    static constexpr int kEncryptedBackup = 4;
    static constexpr int kUnreadableFile = 5;
    static constexpr int kNoDevice = 6;
    static constexpr int kBackupFailed = 7;
    // The scan ran to its end, but a database of the scanned data types was damaged: what it
    // could not read is missing from the results (the report says which).
    static constexpr int kDamagedDatabase = 8;
    // The scan ran to its end, but photos or videos it found could not be copied (no working
    // folder, a full disk): they are missing from the results (the output says how many).
    static constexpr int kMediaMissing = 9;
    // The export was stopped (Ctrl-C, SIGTERM, SIGHUP) before it had written everything.
    static constexpr int kExportInterrupted = 10;
    // The scan ran, but the recovery signature file could not be used: no deleted record was
    // searched for.
    static constexpr int kNoSignatures = 11;

    struct Settings {
        ScanOptions options;
        // Scanned when the options name no backup folder.
        std::string demoBackup;
        HeadlessWindow::Options window;
        // The private working folder goes below this one; none: the application's own.
        const char* workingBase = nullptr;
        // How long to wait for the device named with --device to show up.
        std::chrono::milliseconds deviceWait{5000};
        // How long --list-devices may take to read the connected devices.
        std::chrono::milliseconds listingLimit{1500};
        // Passcode questions answered "Ok" (another backup) before giving up.
        int backupRetries = 2;
    };

    HeadlessScanner(Settings settings, std::ostream& out, std::ostream& err,
                    BrimleyAppDelegate& record);
    HeadlessScanner(const HeadlessScanner&) = delete;
    HeadlessScanner& operator=(const HeadlessScanner&) = delete;

    // Runs the job and answers the exit status: kScanned when the scan ran (whatever it found,
    // also when it was stopped) and its results were whole and exported as asked, otherwise
    // why not. The export's failure or interruption goes before the scan's own problems.
    int run();

    // Ctrl-C, SIGTERM or SIGHUP: stops the scan as the stop button does (its results so far
    // are still reported and exported); during the export, stops the export. Any thread.
    void interrupt();

private:
    // Start-up, the backup's details and the start of the scan; on the main thread.
    void startOnMainThread(ApplicationCore& core, HeadlessDispatcher& dispatcher);
    // --device: start-up, waiting for the device, its backup and then the scan.
    void startDeviceOnMainThread(ApplicationCore& core, DeviceRecoveryFlow& flow,
                                 HeadlessDispatcher& dispatcher);
    void backUpDevice(ApplicationCore& core, DeviceRecoveryFlow& flow, HeadlessDispatcher& dispatcher,
                      const std::shared_ptr<MobileDeviceAccess>& access);
    std::optional<std::size_t> answerAlert(const AlertRequest& alert, HeadlessDispatcher& dispatcher);
    // --list-devices.
    int listDevices();
    // An export asked for into the backup folder (or below it): says why not, ends the run with
    // kExportFailed and answers true.
    bool refuseExportInto(const std::string& backupFolder, HeadlessDispatcher& dispatcher);
    int exportRecords();
    void printExport(const ExportReport& report);

    const Settings settings_;
    std::ostream& out_;
    std::ostream& err_;
    BrimleyAppDelegate& record_;
    int status_ = kScanned;

    std::mutex mutex_;  // guards the two pointers and exporting_
    HeadlessDispatcher* dispatcher_ = nullptr;
    ApplicationCore* core_ = nullptr;
    std::atomic<bool> scanStarted_{false};
    std::atomic<bool> interrupted_{false};
    // Set once the scan is over: from then on a Ctrl-C stops the export rather than the scan.
    bool exporting_ = false;
    std::stop_source exportStop_;
    // --device: waits for the device to arrive; the passcode questions answered so far.
    std::jthread deviceWaiter_;
    std::atomic<bool> deviceScanEnded_{false};
    // --device: the end of the device reads made on the main thread before the backup.
    std::optional<DeviceReadDeadline> deviceReadsEnd_;
    int backupRetries_ = 0;
};

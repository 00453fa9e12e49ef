#pragma once

#include "app/CoreConfiguration.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class AnalyticsEvents;
class BackupTask;
class BrimleyAppDelegate;
class DeviceDetailsReader;
class MainThreadDispatcher;
class MainWindowActions;
class ScanWorker;

// Where device backups go and which tool makes them.
struct DeviceBackupSettings {
    // The backup tool: a program name looked up on PATH, or a path.
    std::string backupTool = "idevicebackup2";
    // The MobileSync backup folder; each device's backup is the folder named by its identifier.
    std::string mobileSyncFolder;

    // The configuration's choices, else the tool idevicebackup2 and the folder
    // <data directory>/MobileSync/Backup.
    static DeviceBackupSettings fromConfiguration(const CoreConfiguration& configuration);
};

// A fresh backup of the connected device, then the scan of it. BackupAgent starts the backup
// tool and returns at once; its end reaches backupTaskEnded on the main thread, which starts
// the scan worker on the backup (or asks the user first, or, when the tool failed, says so and
// scans nothing); continueToRecover is the "Yes" of the
// question asked when the backup cannot be read as it is. Whenever no scan follows (a failed
// backup, "Cancel" at the passcode question, "No" at that question) the window goes back to
// the home screen, ready for another start. One backup runs at a time; a backup that still
// runs when this object goes is stopped.
//
// The tool is run as "<tool> --udid <device> backup --full <MobileSync folder>": it writes the
// backup into the folder named by the device's identifier. Its progress shows on the status
// line.
class DeviceBackup {
public:
    // The texts of the two questions.
    static constexpr const char* kPasscodeQuestion =
        "Please Enter your passcode on the device and or check that iTunes is upto date.";
    static constexpr const char* kMissingFilesQuestion =
        "\"Info.plist\" or \"Manifest.plist\" is missing. Please check the backup file. Not able "
        "to recover data. Do you want to continue anyway?";
    // The alert of a backup that failed (the tool ended with a status other than 0, or could
    // not be started); its informative text is the tool's own message. Nothing is scanned.
    static constexpr const char* kBackupFailedMessage = "The backup of the device failed.";

    // `scanEnded` runs on the scan's thread when a scan that this flow started has ended.
    DeviceBackup(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher, MainWindowActions& window,
                 DeviceDetailsReader& details, ScanWorker& scanWorker, AnalyticsEvents& analytics,
                 DeviceBackupSettings settings, std::function<void()> scanEnded = {});
    ~DeviceBackup();
    DeviceBackup(const DeviceBackup&) = delete;
    DeviceBackup& operator=(const DeviceBackup&) = delete;

    // Main thread. Keeps the identifier for a retry and starts the tool unless a backup runs.
    void BackupAgent(const std::string& identifier);
    // Main thread: the tool has ended with this status.
    void backupTaskEnded(int terminationStatus);
    // Main thread: scans the backup folder as it is, with the record's holder.
    void continueToRecover();

    bool isRunning() const;
    const DeviceBackupSettings& settings() const { return settings_; }
    // How many times the tool has been started.
    int launches() const;

private:
    // No scan follows the backup: the home screen as it was before the backup.
    void backToHome();
    bool backupIsReadable() const;
    // What the tool said about its failure: its last line of output, or why it did not start.
    std::string failureMessage(int terminationStatus) const;

    BrimleyAppDelegate& record_;
    MainThreadDispatcher& dispatcher_;
    MainWindowActions& window_;
    DeviceDetailsReader& details_;
    ScanWorker& scanWorker_;
    AnalyticsEvents& analytics_;
    const DeviceBackupSettings settings_;
    std::function<void()> scanEnded_;

    mutable std::mutex mutex_;
    std::string currentTargetId_;
    std::unique_ptr<BackupTask> task_;
    int launches_ = 0;
    // Why the latest launch failed; empty when it started.
    std::string launchFailure_;
    // Work posted for the main thread checks this before it touches the object.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

#include "app/DeviceBackup.h"

#include "app/AnalyticsEvents.h"
#include "app/BackupTask.h"
#include "app/DeviceDetails.h"
#include "app/MainThreadDispatcher.h"
#include "app/MainWindow.h"
#include "app/ScanWorker.h"
#include "app/WindowTypes.h"
#include "common/AppPaths.h"
#include "common/FileUtils.h"
#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <strings.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

DeviceBackupSettings DeviceBackupSettings::fromConfiguration(const CoreConfiguration& configuration) {
    DeviceBackupSettings settings;
    if (configuration.backupTool && !configuration.backupTool->empty())
        settings.backupTool = *configuration.backupTool;
    settings.mobileSyncFolder = configuration.mobileSyncFolder && !configuration.mobileSyncFolder->empty()
                                    ? *configuration.mobileSyncFolder
                                    : AppPaths::dataDirectory() + "/MobileSync/Backup";
    return settings;
}

DeviceBackup::DeviceBackup(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                           MainWindowActions& window, DeviceDetailsReader& details, ScanWorker& scanWorker,
                           AnalyticsEvents& analytics, DeviceBackupSettings settings,
                           std::function<void()> scanEnded)
    : record_(record),
      dispatcher_(dispatcher),
      window_(window),
      details_(details),
      scanWorker_(scanWorker),
      analytics_(analytics),
      settings_(std::move(settings)),
      scanEnded_(std::move(scanEnded)) {}

DeviceBackup::~DeviceBackup() {
    *alive_ = false;
    std::unique_ptr<BackupTask> task;
    {
        std::lock_guard lock(mutex_);
        task = std::move(task_);
    }
    if (task && task->isRunning()) std::cerr << "Stopping the device backup that is still running.\n";
    task.reset();  // stops a running tool and waits for it
}

bool DeviceBackup::isRunning() const {
    std::lock_guard lock(mutex_);
    return task_ && task_->isRunning();
}

int DeviceBackup::launches() const {
    std::lock_guard lock(mutex_);
    return launches_;
}

void DeviceBackup::BackupAgent(const std::string& identifier) {
    // The multiplexer knows a device by its identifier as the device spells it; the record keeps
    // it in lower case.
    std::string target = identifier;
    if (const auto access = record_.MobileDevice.get())
        for (const auto& device : access->devices())
            if (const OptString udid = device->udid(); udid && ::strcasecmp(udid->c_str(), identifier.c_str()) == 0)
                target = *udid;

    std::lock_guard lock(mutex_);
    currentTargetId_ = identifier;
    if (task_ && task_->isRunning()) return;  // one backup at a time

    std::error_code error;
    std::filesystem::create_directories(settings_.mobileSyncFolder, error);
    if (error)
        std::cerr << "BackupAgent: cannot create " << settings_.mobileSyncFolder << ": " << error.message() << '\n';

    task_ = std::make_unique<BackupTask>();
    BackupTask::Callbacks callbacks;
    callbacks.progress = [this, alive = alive_](int percent) {
        if (*alive) window_.updateStatus(3, "Backing up the device: " + std::to_string(percent) + "%");
    };
    callbacks.ended = [this, alive = alive_](int status) {
        dispatcher_.post([this, alive, status] {
            if (*alive) backupTaskEnded(status);
        });
    };
    std::string failure;
    ++launches_;
    launchFailure_.clear();
    if (!task_->launch(settings_.backupTool,
                       {"--udid", target, "backup", "--full", settings_.mobileSyncFolder},
                       std::move(callbacks), &failure)) {
        std::cerr << "BackupAgent: " << failure << '\n';
        launchFailure_ = failure;
        // A tool that cannot start ends at once, as a failed backup.
        dispatcher_.post([this, alive = alive_] {
            if (*alive) backupTaskEnded(127);
        });
    }
}

bool DeviceBackup::backupIsReadable() const {
    const std::string folder = record_.BACKUP_DIRECTORY.get();
    return FileUtils::fileExistsAtPath(DeviceDetailsReader::infoPlistPath(folder)) &&
           FileUtils::fileExistsAtPath(folder + "/Manifest.plist");
}

std::string DeviceBackup::failureMessage(int terminationStatus) const {
    std::lock_guard lock(mutex_);
    std::string said = launchFailure_;
    if (said.empty() && task_) {
        const std::vector<std::string> lines = task_->lastLines();
        for (auto line = lines.rbegin(); line != lines.rend() && said.empty(); ++line)
            if (line->find_first_not_of(" \t") != std::string::npos) said = *line;
    }
    const std::string status = "the backup tool ended with status " + std::to_string(terminationStatus);
    return said.empty() ? status : status + ": " + said;
}

void DeviceBackup::backupTaskEnded(int terminationStatus) {
    if (terminationStatus != 0) {
        std::lock_guard lock(mutex_);
        if (task_)
            for (const std::string& line : task_->lastLines()) std::cerr << "backup tool: " << line << '\n';
    }
    analytics_.publishMessageEvent("DeviceBackup [DeviceBackupSucess," + std::to_string(terminationStatus) + "]");

    // The device's details again; they also name the backup folder. A backup without its two
    // description files is not scanned without asking either.
    const bool usable = details_.getInfoFromDevice(settings_.mobileSyncFolder);
    if (usable && terminationStatus == 1) {
        window_.runAlert({kPasscodeQuestion, "", {"Cancel", "Ok"}}, [this, alive = alive_](std::size_t button) {
            if (!*alive) return;
            if (button == 1) {
                std::string target;
                {
                    std::lock_guard lock(mutex_);
                    target = currentTargetId_;
                }
                BackupAgent(target);
            } else {
                backToHome();
            }
        });
        return;  // the ended tool stays until the next backup replaces it
    }
    if (terminationStatus != 0) {
        // Whatever the tool left in the folder is not a whole backup: it is not scanned.
        window_.runAlert({kBackupFailedMessage, failureMessage(terminationStatus), {"Close"}},
                         [this, alive = alive_](std::size_t) {
                             if (*alive) backToHome();
                         });
    } else if (usable && backupIsReadable()) {
        window_.backUpFromDeviceComplete();
        const auto requested = record_.holder.get();
        auto holder = std::make_shared<const dataTypeHolder>(requested ? requested->dataType() : DataType::DataTypeAll);
        if (const auto current = record_.deviceInfo.get()) {
            auto info = std::make_shared<DeviceInfo>(*current);
            info->setBackupLocation(record_.BACKUP_DIRECTORY.get());
            record_.deviceInfo.set(std::move(info));
        }
        scanWorker_.start(std::move(holder), scanEnded_);
        window_.showScreen(ScreenState::ScreenInitialLoading);
    } else {
        window_.runAlert({kMissingFilesQuestion, "", {"Yes", "No"}}, [this, alive = alive_](std::size_t button) {
            if (!*alive) return;
            if (button == 0)
                continueToRecover();
            else
                backToHome();
        });
    }
    std::lock_guard lock(mutex_);
    if (task_ && !task_->isRunning()) task_.reset();
}

void DeviceBackup::backToHome() {
    window_.showScreen(ScreenState::ScreenHome);
    window_.returnMainScreen();
}

void DeviceBackup::continueToRecover() {
    scanWorker_.start(record_.holder.get(), scanEnded_);
    window_.showScreen(ScreenState::ScreenInitialLoading);
}

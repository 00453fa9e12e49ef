#include "app/HeadlessScanner.h"

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/BackupFolderCheck.h"
#include "app/DataTypes.h"
#include "app/DeviceDetails.h"
#include "app/DeviceRecoveryFlow.h"
#include "app/HeadlessDispatcher.h"
#include "app/MixPanelEvents.h"
#include "app/RecoveryWindowController.h"
#include "app/ScanWorker.h"
#include "app/WorkingFolder.h"
#include "common/AppPaths.h"
#include "common/TerminalText.h"
#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "device/UsbmuxClient.h"
#include "export/ExportRun.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <filesystem>
#include <strings.h>
#include <map>
#include <memory>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace {

// Paths are printed whole unless absurdly long.
constexpr std::size_t kPathBytes = 4096;

std::string DataTypeWords(DataType type) {
    switch (type) {
        case DataType::DataTypeAll:
            return "every data type";
        case DataType::DataTypeSMS:
            return "messages";
        case DataType::DataTypePhotosVideos:
            return "photos and videos";
        case DataType::DataTypeContacts:
            return "contacts";
        case DataType::DataTypeCallHistory:
            return "call history";
        case DataType::DataTypeWhatsApp:
            return "WhatsApp";
        case DataType::DataTypeNotes:
            return "notes";
        case DataType::DataTypeInternetHistory:
            return "internet history";
        case DataType::DataTypeCalendar:
            return "calendar";
    }
    return "nothing";
}

int ExitStatusFor(BackupFolderCheck::Problem problem) {
    switch (problem) {
        case BackupFolderCheck::Problem::None:
            return HeadlessScanner::kScanned;
        case BackupFolderCheck::Problem::Missing:
        case BackupFolderCheck::Problem::NotABackup:
            return HeadlessScanner::kNoBackup;
        case BackupFolderCheck::Problem::Encrypted:
            return HeadlessScanner::kEncryptedBackup;
        case BackupFolderCheck::Problem::Unreadable:
            return HeadlessScanner::kUnreadableFile;
    }
    return HeadlessScanner::kNoBackup;
}

// Reads devices side by side for --list-devices: posted work runs on a number of threads, all
// under one device-read deadline, so that every read of the listing has ended by then, however
// many devices there are and whether or not they answer.
class ListingWorkers {
public:
    ListingWorkers(std::size_t threads, std::chrono::steady_clock::time_point readsEnd) : readsEnd_(readsEnd) {
        for (std::size_t i = 0; i < threads; ++i)
            threads_.emplace_back([this](std::stop_token stop) { work(stop); });
    }
    ~ListingWorkers() { stop(); }
    // Ends the threads once their current work is done; what is posted from then on is dropped.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        threads_.clear();
    }
    void post(std::function<void()> work) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            queue_.push_back(std::move(work));
            ++pending_;
        }
        changed_.notify_one();
    }
    // Until everything posted so far (and what that posted) has run.
    void waitUntilIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return pending_ == 0; });
    }

private:
    void work(const std::stop_token&) {
        for (;;) {
            std::function<void()> next;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) return;
                next = std::move(queue_.front());
                queue_.pop_front();
            }
            {
                const DeviceReadDeadline deadline(readsEnd_);
                next();
            }
            std::lock_guard lock(mutex_);
            if (--pending_ == 0) idle_.notify_all();
        }
    }

    const std::chrono::steady_clock::time_point readsEnd_;
    std::mutex mutex_;
    std::condition_variable changed_, idle_;
    std::deque<std::function<void()>> queue_;
    std::size_t pending_ = 0;
    bool stopping_ = false;
    std::vector<std::jthread> threads_;  // last: joined first
};

// The version of each device the listing lists, read on the listing's workers.
class VersionReader : public MobileDeviceAccessListener {
public:
    explicit VersionReader(ListingWorkers& workers) : workers_(workers) {}
    void deviceConnected(const std::shared_ptr<AMDevice>& device) override {
        workers_.post([this, device] {
            OptString version = device->deviceValueForKey("ProductVersion").asText();
            std::lock_guard lock(mutex_);
            versions_[device.get()] = std::move(version);
        });
    }
    OptString of(const AMDevice* device) const {
        std::lock_guard lock(mutex_);
        const auto found = versions_.find(device);
        return found == versions_.end() ? std::nullopt : found->second;
    }

private:
    ListingWorkers& workers_;
    mutable std::mutex mutex_;
    std::map<const AMDevice*, OptString> versions_;
};

std::string LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

HeadlessScanner::HeadlessScanner(Settings settings, std::ostream& out, std::ostream& err,
                                 BrimleyAppDelegate& record)
    : settings_(std::move(settings)), out_(out), err_(err), record_(record) {}

void HeadlessScanner::interrupt() {
    // Under the lock that run() takes to pass from the scan to the export: a signal belongs
    // either to the scan or to the export, never to neither.
    std::lock_guard lock(mutex_);
    if (exporting_) {
        exportStop_.request_stop();
        return;
    }
    interrupted_ = true;
    if (dispatcher_ && core_ && settings_.options.deviceUdid) {
        if (!core_->scanWorker().isRunning()) {
            // Before the scan of a device: the backup is stopped as the program ends.
            dispatcher_->post([this] { out_ << "\nStopping the device backup.\n"; });
            dispatcher_->stop();
            return;
        }
        scanStarted_ = true;
    }
    if (!dispatcher_ || !core_ || !scanStarted_) return;
    // Queued before the cancel, so the line comes before anything the scan prints on its way out.
    if (!dispatcher_->isStopped())
        dispatcher_->post([this] {
            out_ << "\nStopping the scan; what it has found so far is kept. (Ctrl-C again quits "
                    "at once.)\n";
        });
    // The stop button's question, answered yes. Taken at once rather than behind the status
    // lines that wait for the main thread: the scan must not read on meanwhile.
    core_->scanWorker().btnCancleClicked(true);
}

int HeadlessScanner::run() {
    if (settings_.options.listDevices) return listDevices();
    HeadlessDispatcher dispatcher;
    // Sends nothing unless the configuration turns analytics on.
    MixPanelEvents analytics(record_);
    auto window = std::make_shared<HeadlessWindow>(record_, out_, settings_.window);
    window->setAlertPolicy([this, &dispatcher](const AlertRequest& alert) { return answerAlert(alert, dispatcher); });
    StartupServices services;
    services.loadConfiguration = &CoreConfiguration::loadFromFiles;
    services.updateUser = window.get();
    services.crashReportDirectory = AppPaths::stateDirectory();
    {
        ApplicationCore core(record_, dispatcher, window, analytics, CoreConfiguration::defaults(),
                             settings_.workingBase, std::move(services));
        std::optional<DeviceRecoveryFlow> flow;
        if (settings_.options.deviceUdid) {
            flow.emplace(core, record_, dispatcher, analytics, [this, &dispatcher] {
                deviceScanEnded_ = true;
                dispatcher.stop();
            });
            status_ = kBackupFailed;  // until the scan of the backup starts
        }
        {
            std::lock_guard lock(mutex_);
            dispatcher_ = &dispatcher;
            core_ = &core;
        }
        if (flow)
            dispatcher.post([&] { startDeviceOnMainThread(core, *flow, dispatcher); });
        else
            dispatcher.post([&] { startOnMainThread(core, dispatcher); });
        dispatcher.run();
        deviceReadsEnd_.reset();
        if (deviceWaiter_.joinable()) {
            deviceWaiter_.request_stop();
            deviceWaiter_.join();
        }
        core.scanWorker().wait();
        if (deviceScanEnded_) status_ = kScanned;
        // A backup that still runs (Ctrl-C) is stopped here.
        flow.reset();
        {
            std::lock_guard lock(mutex_);
            dispatcher_ = nullptr;
            core_ = nullptr;
            // The scan is over: from here on a signal stops the export (or, without one,
            // changes nothing).
            exporting_ = true;
        }
        if (status_ != kScanned) return status_;
        if (interrupted_)
            out_ << "The scan was stopped before its end: the report shows what it found until "
                    "then.\n";
        // What the scan could not do, though it ran to its end.
        int scanStatus = kScanned;
        const auto problems = record_.DatabaseProblems.snapshot();
        const auto damaged = std::count_if(problems.begin(), problems.end(),
                                           [](const auto& p) { return p && !p->noOlderRoutine; });
        if (damaged > 0) {
            err_ << "torvane-scan: " << damaged
                 << " database(s) could not be read completely; the report lists them.\n";
            scanStatus = kDamagedDatabase;
        }
        const bool noWorkingFolder = !settings_.options.fast && core.workingFolder().recreateFailed();
        if (noWorkingFolder)
            err_ << "torvane-scan: the working folder could not be made below "
                 << TerminalText(AppPaths::workingDirectory(), kPathBytes)
                 << "; photos and videos found by their contents were not copied.\n";
        if (const std::size_t missing = record_.MediaNotCopied.size()) {
            err_ << "torvane-scan: " << missing << " photo(s) and video(s) of the backup could not "
                 << "be copied" << (noWorkingFolder ? "" : " into the working folder (is the disk full?)")
                 << "; they are missing from the results and the export.\n";
            scanStatus = kMediaMissing;
        }
        // Losing every deleted record goes before the other problems.
        if (const auto problem = record_.carvingProblem.get()) {
            err_ << "torvane-scan: deleted records were not searched: the recovery signature "
                    "file cannot be used ("
                 << TerminalText(*problem, kPathBytes) << ").\n";
            scanStatus = kNoSignatures;
        }
        // The export reads the copies in the working folder, which goes with the core.
        if (settings_.options.exportDirectory)
            if (const int exported = exportRecords(); exported != kScanned) return exported;
        return scanStatus;
    }
}

void HeadlessScanner::startOnMainThread(ApplicationCore& core, HeadlessDispatcher& dispatcher) {
    const auto fail = [&](const BackupFolderCheck& check) {
        err_ << "torvane-scan: " << check.message << '\n';
        status_ = ExitStatusFor(check.problem);
        dispatcher.stop();
    };

    core.applicationDidFinishLaunching();
    if (settings_.options.legacy)
        if (const auto controller = record_.recoveryWindowController.get()) controller->setLegacyCarving(true);

    const std::string folder = settings_.options.backupFolder.value_or(settings_.demoBackup);
    if (!settings_.options.backupFolder && !std::filesystem::exists(folder)) {
        err_ << "torvane-scan: there is no demo backup at " << folder
             << "; make it with torvane-demo-backup, or name a backup folder.\n";
        status_ = kNoBackup;
        dispatcher.stop();
        return;
    }
    if (const auto check = BackupFolderCheck::beforeReading(folder); !check.ok())
        return fail(check);
    if (refuseExportInto(folder, dispatcher)) return;

    // As the home screen does for a chosen backup folder.
    record_.BACKUP_DIRECTORY.set(folder);
    record_._RecoverType = 1;
    record_._RecoverMode = settings_.options.fast ? 0 : 1;
    const bool usable = core.deviceDetails().getInfoFromBackup();
    const auto details = record_.deviceInfo.get();
    if (const auto check = BackupFolderCheck::afterReading(
            folder, usable, details ? *details : DeviceInfo{}, settings_.options.dataType);
        !check.ok())
        return fail(check);

    out_ << "Scanning " << TerminalText(folder, kPathBytes) << " ("
         << TerminalText(details->DeviceName().value_or("unnamed device")) << ", iOS "
         << TerminalText(details->ProductVersion().value_or("?"))
         << "): " << DataTypeWords(settings_.options.dataType) << ", "
         << (settings_.options.fast ? "fast recovery (databases only)" : "full recovery") << '\n';
    out_.flush();

    auto holder = std::make_shared<const dataTypeHolder>(settings_.options.dataType);
    core.scanWorker().start(std::move(holder), [&dispatcher] { dispatcher.stop(); });
    scanStarted_ = true;
    // A Ctrl-C that came before the scan had started.
    if (interrupted_) core.scanWorker().btnCancleClicked(true);
}

bool HeadlessScanner::refuseExportInto(const std::string& backupFolder, HeadlessDispatcher& dispatcher) {
    if (!settings_.options.exportDirectory) return false;
    const std::string refusal = BackupFolderCheck::exportInsideBackup(backupFolder, *settings_.options.exportDirectory);
    if (refusal.empty()) return false;
    err_ << "torvane-scan: " << TerminalText(refusal, 2 * kPathBytes) << '\n';
    status_ = kExportFailed;
    dispatcher.stop();
    return true;
}

int HeadlessScanner::exportRecords() {
    const std::string location = *settings_.options.exportDirectory;
    std::error_code error;
    std::filesystem::create_directories(location, error);
    if (error) {
        err_ << "torvane-scan: cannot create the export folder " << location << ": "
             << error.message() << '\n';
        return kExportFailed;
    }
    // A signal from here on stops the export; the line says so to whoever watches.
    out_ << "\nExporting every record into " << TerminalText(location, kPathBytes) << '\n';
    out_.flush();
    ExportRun exportRun(record_, ExportFiles());
    const ExportReport report =
        exportRun.run({ExportScope::AllRecords, location, ".csv", 0}, exportStop_.get_token());
    printExport(report);
    // printExport has said how far it got.
    if (report.cancelled) return kExportInterrupted;
    if (!report.ok()) {
        err_ << "torvane-scan: the export failed for " << report.failures().size()
             << " file(s); see the lines above.\n";
        return kExportFailed;
    }
    return kScanned;
}

void HeadlessScanner::printExport(const ExportReport& report) {
    std::map<std::string, std::size_t> copies;  // folder name -> files copied
    // Names and folders carry the device's name and the pictures' names from the backup.
    const auto shown = [](const std::string& text) { return TerminalText(text, kPathBytes); };
    for (const ExportEntry& entry : report.entries) {
        const std::filesystem::path path(entry.path);
        switch (entry.status) {
            case ExportStatus::Written:
                if (!entry.media)
                    out_ << "  " << shown(path.filename().string()) << ": " << entry.records
                         << (entry.records == 1 ? " record\n" : " records\n");
                else
                    copies[path.parent_path().filename().string()] += entry.records;
                break;
            case ExportStatus::AlreadyThere:
                out_ << "  " << shown(entry.path) << " was there already and was left alone\n";
                break;
            case ExportStatus::Failed:
                out_ << "  could not write " << shown(entry.path)
                     << (entry.cause.empty() ? std::string() : ": " + TerminalText(entry.cause, 2 * kPathBytes)) << '\n';
                break;
            case ExportStatus::NothingToWrite:
                break;
        }
    }
    for (const auto& [folder, count] : copies)
        out_ << "  " << shown(folder) << ": " << count << (count == 1 ? " file\n" : " files\n");
    if (report.cancelled)
        out_ << "export interrupted: " << report.written() << " of " << report.planned
             << " files written\n";
    if (report.folderMade)
        out_ << "Exported to " << shown(report.folder) << '\n';
    else
        out_ << "Nothing was exported: the folder " << shown(report.folder) << " could not be made\n";
}

std::optional<std::size_t> HeadlessScanner::answerAlert(const AlertRequest& alert,
                                                       HeadlessDispatcher& dispatcher) {
    if (alert.message == DeviceBackup::kPasscodeQuestion) {
        if (backupRetries_ < settings_.backupRetries) {
            ++backupRetries_;
            return 1;  // "Ok": back the device up again
        }
        err_ << "torvane-scan: the device refused the backup; unlock it, enter its passcode and "
                "try again.\n";
        status_ = kBackupFailed;
        dispatcher.stop();
        return 0;  // "Cancel"
    }
    if (alert.message == DeviceBackup::kBackupFailedMessage) {
        err_ << "torvane-scan: the backup of the device failed (" << TerminalText(alert.informativeText, kPathBytes)
             << "); nothing was scanned.\n";
        status_ = kBackupFailed;
        dispatcher.stop();
        return 0;  // "Close"
    }
    if (alert.message == DeviceBackup::kMissingFilesQuestion) {
        err_ << "torvane-scan: the backup of the device lacks its Info.plist or Manifest.plist; "
                "nothing was scanned.\n";
        status_ = kNoBackup;
        dispatcher.stop();
        return 1;  // "No"
    }
    status_ = kNoDevice;
    dispatcher.stop();
    return alert.buttons.empty() ? std::nullopt : std::optional<std::size_t>(0);
}

void HeadlessScanner::startDeviceOnMainThread(ApplicationCore& core, DeviceRecoveryFlow& flow,
                                              HeadlessDispatcher& dispatcher) {
    core.applicationDidFinishLaunching();
    if (settings_.options.legacy)
        if (const auto controller = record_.recoveryWindowController.get()) controller->setLegacyCarving(true);
    // Every device's backup goes below the MobileSync folder.
    if (refuseExportInto(flow.deviceBackup().settings().mobileSyncFolder, dispatcher)) return;
    auto access = std::make_shared<MobileDeviceAccess>();
    flow.listenForDevices(access);
    if (!access->subscribed() || !access->multiplexerAnswers()) {
        err_ << "torvane-scan: cannot reach the device multiplexer (usbmuxd), or it does not "
                "answer; is it running?\n";
        status_ = kNoDevice;
        dispatcher.stop();
        return;
    }
    out_ << "Waiting for the device " << *settings_.options.deviceUdid << "...\n";
    out_.flush();
    const std::string udid = *settings_.options.deviceUdid;
    const auto wait = settings_.deviceWait;
    // Every device read of this thread until the backup starts (the device's details) ends
    // within the wait, however many devices there are and whether or not they answer; arrivals
    // are read off this thread.
    deviceReadsEnd_.emplace(std::chrono::steady_clock::now() + wait);
    deviceWaiter_ = std::jthread([this, &core, &flow, &dispatcher, access, udid, wait](std::stop_token stop) {
        const auto end = std::chrono::steady_clock::now() + wait;
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < end) {
            for (const auto& device : access->devices())
                if (const OptString id = device->udid(); id && ::strcasecmp(id->c_str(), udid.c_str()) == 0) {
                    dispatcher.post([this, &core, &flow, &dispatcher, access] { backUpDevice(core, flow, dispatcher, access); });
                    return;
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (stop.stop_requested()) return;
        // Listed by the multiplexer, yet not to be read: it does not answer.
        bool listed = false;
        for (const UsbmuxListedDevice& device : UsbmuxListDevices(kMultiplexerAnswerLimit, stop).devices)
            listed = listed || ::strcasecmp(device.udid.c_str(), udid.c_str()) == 0;
        dispatcher.post([this, &dispatcher, udid, listed] {
            deviceReadsEnd_.reset();
            if (listed)
                err_ << "torvane-scan: the device " << TerminalText(udid)
                     << " is connected but does not answer; unplug and reconnect it.\n";
            else
                err_ << "torvane-scan: no connected device " << udid << " (see --list-devices).\n";
            status_ = kNoDevice;
            dispatcher.stop();
        });
    });
}

void HeadlessScanner::backUpDevice(ApplicationCore& core, DeviceRecoveryFlow& flow,
                                   HeadlessDispatcher& dispatcher,
                                   const std::shared_ptr<MobileDeviceAccess>& access) {
    const std::string udid = *settings_.options.deviceUdid;
    for (const auto& device : access->devices())
        if (const OptString id = device->udid(); id && ::strcasecmp(id->c_str(), udid.c_str()) == 0)
            record_.mDevice.set(device);
    record_.holder.set(std::make_shared<dataTypeHolder>(settings_.options.dataType));
    record_._RecoverType = 0;
    const bool started = flow.DeviceRecovery(settings_.options.fast ? 0 : 1);
    deviceReadsEnd_.reset();
    if (!started) {
        if (status_ == kBackupFailed) {
            const auto device = record_.mDevice.get();
            err_ << "torvane-scan: cannot read the device's details"
                 << (device && device->lasterror() ? " (" + TerminalText(*device->lasterror()) + ")"
                                                   : std::string())
                 << "; unlock it and trust this computer.\n";
            status_ = kNoDevice;
        }
        dispatcher.stop();
        return;
    }
    const auto details = record_.deviceInfo.get();
    out_ << "Backing up "
         << TerminalText(details ? details->DeviceName().value_or("the device") : "the device")
         << " (iOS " << TerminalText(details ? details->ProductVersion().value_or("?") : "?")
         << ") into " << TerminalText(record_.BACKUP_DIRECTORY.get(), kPathBytes) << ": "
         << DataTypeWords(settings_.options.dataType) << ", "
         << (settings_.options.fast ? "fast recovery (databases only)" : "full recovery") << '\n';
    out_.flush();
    // The scan starts when the backup has ended; from then on Ctrl-C stops the scan.
    (void)core;
}

int HeadlessScanner::listDevices() {
    // The reads end a little before the listing's limit, leaving time to ask the multiplexer
    // for its list once more and to print.
    constexpr std::size_t kReadingThreads = 64;
    const auto started = std::chrono::steady_clock::now();
    const auto listingEnd = started + settings_.listingLimit;
    ListingWorkers workers(kReadingThreads, started + settings_.listingLimit * 2 / 3);
    auto access = std::make_shared<MobileDeviceAccess>();
    // Each device's version is read as soon as the device is listed, beside the other reads.
    VersionReader versions(workers);
    // No work may run while the access goes: the workers end first.
    const auto finish = [&](int status) {
        access->setListener(nullptr);
        workers.stop();
        return status;
    };
    // The subscription names the devices connected now before it returns: their arrivals are
    // posted to the workers by then, and each arrival's read of the device's name runs there too.
    const RunLoopPoster onWorkers = [&workers](std::function<void()> work) { workers.post(std::move(work)); };
    access->setListener(&versions, onWorkers, onWorkers);
    if (!access->subscribed() || !access->multiplexerAnswers()) {
        err_ << "torvane-scan: cannot reach the device multiplexer (usbmuxd), or it does not "
                "answer; is it running?\n";
        return finish(kNoDevice);
    }
    workers.waitUntilIdle();
    const auto devices = access->devices();
    finish(kScanned);

    // In the multiplexer's order; a device it lists that could not be read is named too, and so
    // is one that gave neither its name nor its version: its lockdownd does not answer.
    std::unordered_map<std::string, std::size_t> read;
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (const OptString udid = devices[i]->udid()) read.emplace(LowerCase(*udid), i);
    std::vector<bool> printed(devices.size(), false);
    std::vector<std::string> silent;
    const auto print = [&](std::size_t i) {
        const auto& device = devices[i];
        const std::string udid = device->udid().value_or("(no identifier)");
        const OptString version = versions.of(device.get());
        printed[i] = true;
        if (!device->deviceName() && !version) {
            out_ << TerminalText(udid) << "  (does not answer)\n";
            silent.push_back(udid);
            return;
        }
        out_ << TerminalText(udid) << "  " << TerminalText(device->deviceName().value_or("(no name)")) << "  "
             << (version ? "iOS " + TerminalText(*version) : std::string("(locked or not trusted)"))
             << '\n';
    };
    // On a machine slow enough to have spent the limit on the reads, the multiplexer still gets
    // a moment to list what it has: without its list no device can be named as silent.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(listingEnd - std::chrono::steady_clock::now());
    const UsbmuxListing listing = UsbmuxListDevices(
        std::clamp(left, std::chrono::milliseconds(200), std::chrono::milliseconds(kMultiplexerAnswerLimit)));
    if (!listing.answered && devices.empty()) {
        // Neither a device read nor a list: nothing says whether a device is there.
        err_ << "torvane-scan: the device multiplexer (usbmuxd) did not list its devices in time\n";
        return kNoDevice;
    }
    for (const UsbmuxListedDevice& listed : listing.devices) {
        if (!listed.usb) continue;
        if (const auto found = read.find(LowerCase(listed.udid)); found != read.end()) {
            if (!printed[found->second]) print(found->second);
            continue;
        }
        out_ << TerminalText(listed.udid) << "  (does not answer)\n";
        silent.push_back(listed.udid);
    }
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!printed[i]) print(i);
    if (devices.empty() && silent.empty()) out_ << "No device is connected.\n";
    if (silent.empty()) return kScanned;
    err_ << "torvane-scan: " << silent.size() << (silent.size() == 1 ? " device does" : " devices do")
         << " not answer; unplug and reconnect " << (silent.size() == 1 ? "it" : "them") << ".\n";
    return kNoDevice;
}

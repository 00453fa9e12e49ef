#include "app/HeadlessScanner.h"

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/BackupFolderCheck.h"
#include "app/DeviceDetails.h"
#include "app/HeadlessDispatcher.h"
#include "app/MixPanelEvents.h"
#include "app/ScanWorker.h"
#include "common/AppPaths.h"
#include "export/ExportRun.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

namespace {

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

}  // namespace

HeadlessScanner::HeadlessScanner(Settings settings, std::ostream& out, std::ostream& err,
                                 BrimleyAppDelegate& record)
    : settings_(std::move(settings)), out_(out), err_(err), record_(record) {}

void HeadlessScanner::interrupt() {
    if (exporting_) {
        exportStop_.request_stop();
        return;
    }
    interrupted_ = true;
    std::lock_guard lock(mutex_);
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
    HeadlessDispatcher dispatcher;
    // Sends nothing unless the configuration turns analytics on.
    MixPanelEvents analytics(record_);
    auto window = std::make_shared<HeadlessWindow>(record_, out_, settings_.window);
    StartupServices services;
    services.loadConfiguration = &CoreConfiguration::loadFromFiles;
    services.updateUser = window.get();
    services.crashReportDirectory = AppPaths::stateDirectory();
    {
        ApplicationCore core(record_, dispatcher, window, analytics, CoreConfiguration::defaults(),
                             settings_.workingBase, std::move(services));
        {
            std::lock_guard lock(mutex_);
            dispatcher_ = &dispatcher;
            core_ = &core;
        }
        dispatcher.post([&] { startOnMainThread(core, dispatcher); });
        dispatcher.run();
        core.scanWorker().wait();
        {
            std::lock_guard lock(mutex_);
            dispatcher_ = nullptr;
            core_ = nullptr;
        }
        if (status_ != kScanned) return status_;
        if (interrupted_)
            out_ << "The scan was stopped before its end: the report shows what it found until "
                    "then.\n";
        // The export reads the copies in the working folder, which goes with the core.
        if (settings_.options.exportDirectory) return exportRecords();
    }
    return kScanned;
}

void HeadlessScanner::startOnMainThread(ApplicationCore& core, HeadlessDispatcher& dispatcher) {
    const auto fail = [&](const BackupFolderCheck& check) {
        err_ << "torvane-scan: " << check.message << '\n';
        status_ = ExitStatusFor(check.problem);
        dispatcher.stop();
    };

    core.applicationDidFinishLaunching();

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

    out_ << "Scanning " << folder << " (" << details->DeviceName().value_or("unnamed device")
         << ", iOS " << details->ProductVersion().value_or("?")
         << "): " << DataTypeWords(settings_.options.dataType) << ", "
         << (settings_.options.fast ? "fast recovery (databases only)" : "full recovery") << '\n';
    out_.flush();

    auto holder = std::make_shared<const dataTypeHolder>(settings_.options.dataType);
    core.scanWorker().start(std::move(holder), [&dispatcher] { dispatcher.stop(); });
    scanStarted_ = true;
    // A Ctrl-C that came before the scan had started.
    if (interrupted_) core.scanWorker().btnCancleClicked(true);
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
    out_ << "\nExporting every record into " << location << '\n';
    exporting_ = true;
    ExportRun exportRun(record_);
    const ExportReport report =
        exportRun.run({ExportScope::AllRecords, location, ".csv", 0}, exportStop_.get_token());
    printExport(report);
    if (!report.ok()) {
        err_ << "torvane-scan: the export failed for " << report.failures().size()
             << " file(s); see the lines above.\n";
        return kExportFailed;
    }
    return kScanned;
}

void HeadlessScanner::printExport(const ExportReport& report) {
    std::map<std::string, std::size_t> copies;  // folder name -> files copied
    for (const ExportEntry& entry : report.entries) {
        const std::filesystem::path path(entry.path);
        switch (entry.status) {
            case ExportStatus::Written:
                if (path.extension() == ".csv")
                    out_ << "  " << path.filename().string() << ": " << entry.records
                         << (entry.records == 1 ? " record\n" : " records\n");
                else
                    copies[path.parent_path().filename().string()] += entry.records;
                break;
            case ExportStatus::AlreadyThere:
                out_ << "  " << entry.path << " was there already and was left alone\n";
                break;
            case ExportStatus::Failed:
                out_ << "  could not write " << entry.path << '\n';
                break;
            case ExportStatus::NothingToWrite:
                break;
        }
    }
    for (const auto& [folder, count] : copies)
        out_ << "  " << folder << ": " << count << (count == 1 ? " file\n" : " files\n");
    if (report.cancelled) out_ << "The export was stopped before its end.\n";
    out_ << "Exported to " << report.folder << '\n';
}

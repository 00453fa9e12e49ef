#include "app/ScanWorker.h"

#include "app/AnalyticsEvents.h"
#include "app/BackupDatabaseTable.h"
#include "app/CrashHandling.h"
#include "app/DataTypes.h"
#include "app/DatabaseCheck.h"
#include "app/MainWindow.h"
#include "app/MediaSniffer.h"
#include "app/RecoveryWindowController.h"
#include "app/ScanClearing.h"
#include "app/ScanInputs.h"
#include "app/StatusLine.h"
#include "app/ScanNames.h"
#include "app/WindowTypes.h"
#include "app/WorkingFolder.h"
#include "common/BackupFiles.h"
#include "database/ScanDatabaseFiles.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <utility>
#include <vector>

namespace {

// "%ld <what> Retreived", as the status line has always spelled it, in the chosen language.
std::string CountLine(std::size_t count, const char* what) {
    return RetrievedCountText(count, what);
}

// A window call of the closing steps: a failure is logged and the next step still runs.
template <class Call>
void Safely(const char* what, Call call) {
    try {
        call();
    } catch (const std::exception& e) {
        std::cerr << (std::string("scan: ") + what + " failed: " + e.what() + "\n");
    } catch (...) {
        std::cerr << (std::string("scan: ") + what + " failed\n");
    }
}

// The database each recovery service reads, by which its parts are weighed; none for the
// photo library, which is weighed by kPhotoLibraryWeight.
struct ServiceDatabase {
    ServiceIndex service;
    std::optional<DatabaseRole> database;
};
constexpr ServiceDatabase kServiceDatabases[] = {
    {ServiceIndex::ServiceIndexMessages, DatabaseRole::Messages},
    {ServiceIndex::ServiceIndexPhotosVideos, std::nullopt},
    {ServiceIndex::ServiceIndexContacts, DatabaseRole::AddressBook},
    {ServiceIndex::ServiceIndexCallHistory, DatabaseRole::CallHistory},
    {ServiceIndex::ServiceIndexCalendar, DatabaseRole::Calendar},
    {ServiceIndex::ServiceIndexNotes, DatabaseRole::Notes},
    {ServiceIndex::ServiceIndexInternetHistory, DatabaseRole::InternetHistory},
    {ServiceIndex::ServiceIndexWhatsApp, DatabaseRole::WhatsApp},
};
// Carving walks every page of a database and tries each gap, reading its live rows takes one
// pass of queries: a carving part whose walks are not planned (ScanProgress::CarvingPlan)
// weighs this many times the bytes of its file.
constexpr double kCarvingCost = 4.0;
// The deleted-record step of the photos reads the photo library's rows only.
constexpr double kPhotoLibraryWeight = 256.0 * 1024;
// The least weight of a part, so that a missing or empty database still counts for a little.
constexpr double kLeastWeight = 4096.0;

// The bytes of the backup's file of that name; 0 when the backup lacks it.
double FileBytes(const std::string& backupFolder, const std::string& backupName) {
    if (backupName.empty()) return 0.0;
    const OptString path = BackupFiles::locate(backupFolder, backupName);
    if (!path) return 0.0;
    std::error_code error;
    const auto bytes = std::filesystem::file_size(*path, error);
    return error ? 0.0 : static_cast<double>(bytes);
}

}  // namespace

ScanWorker::ScanWorker(BrimleyAppDelegate& record, MainWindowActions& window,
                       WorkingFolder& workingFolder, AnalyticsEvents& analytics,
                       CoreConfiguration configuration)
    : record_(record),
      window_(window),
      workingFolder_(workingFolder),
      analytics_(analytics),
      configuration_(std::move(configuration)) {}

ScanWorker::~ScanWorker() {
    std::jthread thread;
    {
        std::lock_guard lock(startMutex_);
        thread = std::move(thread_);
    }
    if (thread.joinable()) {
        thread.request_stop();
        if (auto controller = record_.recoveryWindowController.get()) controller->cancelScan();
        thread.join();
    }
}

bool ScanWorker::start(std::shared_ptr<const dataTypeHolder> holder, std::function<void()> ended) {
    std::lock_guard lock(startMutex_);
    if (running_.load()) return false;
    // The previous scan has ended; collect its thread before replacing it.
    if (thread_.joinable()) thread_.join();
    running_ = true;
    thread_ = std::jthread(
        [this, holder = std::move(holder), ended = std::move(ended)](std::stop_token stop) {
            // A stop ends the query the scan is running, however long its table (or its view).
            const SqliteStopScope sqliteStop(stop);
            RunAtTaskBoundary("the scan", &analytics_, [&] {
                ExploreBackupDirectoryWithDataType(holder ? *holder : dataTypeHolder{}, stop);
            });
            if (ended) Safely("the end of the scan", ended);
            running_ = false;
            running_.notify_all();
        });
    return true;
}

void ScanWorker::wait() {
    while (running_.load()) running_.wait(true);
}

bool ScanWorker::cancelled(const std::stop_token& stop) const {
    return record_.IsCancelFlag.load() || stop.stop_requested();
}

void ScanWorker::btnCancleClicked(bool stopConfirmed) {
    if (!stopConfirmed) {
        analytics_.PublishButtonEvent("Stop Scanning cancelled dialog");
        record_.IsCancelFlag = false;
        return;
    }
    record_.IsCancelFlag = true;
    if (auto controller = record_.recoveryWindowController.get()) controller->cancelScan();
    {
        // Also a deleted-record run that is about to start is cancelled.
        std::lock_guard lock(startMutex_);
        if (thread_.joinable()) thread_.request_stop();
    }
    analytics_.PublishButtonEvent("Stop Scanning");
}

void ScanWorker::clearData() {
    if (auto controller = record_.recoveryWindowController.get()) controller->ClearData();
    ClearScanResults(record_, window_, &workingFolder_);
    ClearDeviceDetails(record_, window_);
}

template <class Step>
bool ScanWorker::runStep(const char* name, Step step) {
    try {
        return step();
    } catch (const std::exception& e) {
        std::cerr << (std::string("scan: reading ") + name + " failed: " + e.what() + "\n");
        Safely("the status line", [&] {
            window_.updateStatus(4, std::string("reading ") + name + " failed: " + e.what());
        });
    } catch (...) {
        std::cerr << (std::string("scan: reading ") + name + " failed\n");
        Safely("the status line",
               [&] { window_.updateStatus(4, std::string("reading ") + name + " failed"); });
    }
    return true;
}

void ScanWorker::ExploreBackupDirectoryWithDataType(const dataTypeHolder& holder,
                                                    std::stop_token stop) {
    const DataType type = holder.dataType();
    record_.scannedDataType.set(type);
    progress_.start(ScanProgress::Clock::now());
    const bool ran = runStep("the backup", [&] {
        // The results of the previous scan go; the details of the backup about to be read,
        // which the caller has just filled in, stay.
        ClearScanResults(record_, window_, &workingFolder_);
        record_.IsCancelFlag = false;

        window_.showScanControls();
        record_.stopLoading = false;

        record_.DeletedSMSCount = 0;
        record_.DeletedContactCount = 0;
        record_.DeletedCallLogCount = 0;
        record_.DeletedNoteCount = 0;
        record_.DeletedCalendarCount = 0;
        record_.DeletedWhatsAppCount = 0;
        record_.DeletediMessageCount = 0;
        record_.DeletedFaceTimeCount = 0;
        record_._currentlyAddedPhotos = 0;
        record_._currentlyAddedDeletedPhotos = 0;
        record_.mCurrentDeletedAdded = 0;
        record_.mCurrentPhotosAdded = 0;
        return true;
    });
    if (ran && !cancelled(stop)) scanSteps(type, stop);
    // A stop asked for before the first step above has had its flag cleared there; the
    // report still tells that the scan was stopped.
    if (stop.stop_requested()) record_.IsCancelFlag = true;
    // What was read, also of a cancelled scan, is named before it is reported and exported.
    if (ran)
        runStep("the names", [&] {
            // Named also after a stop: the names are read to their end.
            const SqliteStopScope unstoppable{std::stop_token()};
            NameScanResults(record_, ScanContextOf(record_));
            return true;
        });
    closingSteps();
}

void ScanWorker::scanSteps(DataType type, const std::stop_token& stop) {
    const bool prepared = runStep("the backup", [&] {
        setupDataBase(record_);
        planParts(type);
        // Waits: the tab switches below test the screen state.
        window_.showScreen(ScreenState::ScreenResults);
        window_.removeSelection();
        window_.updateTabButtons();
        record_.buttonType = ToCode(ButtonTypeFor(type));
        window_.showResultsLayout();
        openScanTab();
        return true;
    });
    if (!prepared) return;

    if (!runStep("photos and videos", [&] {
            MediaSniffer media(record_, window_, workingFolder_);
            media.reportTo(&progress_);
            return media.run(type, stop) == MediaSniffer::Outcome::Finished;
        }))
        return;
    if (cancelled(stop)) return;

    // From here on the databases are read; those with a write-ahead log in the backup are read
    // from private copies in the working folder, which the media step has just emptied.
    record_.backupFiles.set(std::make_shared<ScanDatabaseFiles>(workingFolder_.path()));
    // The scan's inputs, as they stand now that the database names are chosen.
    const ScanContext context = ScanContextOf(record_, stop);
    // Damaged databases are said before their rows are read; they are read (and carved) all
    // the same, as far as they go.
    runStep("the databases", [&] {
        CheckDatabases(type, context, window_);
        return true;
    });
    if (cancelled(stop)) return;
    for (const DataTypeDescriptor& descriptor : DataTypes()) {
        if (!descriptor.loadExisting || !descriptor.dataType ||
            !RunsStep(type, *descriptor.dataType))
            continue;
        if (!runStep(descriptor.name, [&] { return loadExisting(descriptor, type, context); }))
            return;
        if (cancelled(stop)) return;
    }
    if (!runStep("deleted records", [&] { return recoverDeletedRecords(type, stop); })) return;
    if (cancelled(stop)) return;

    record_.DeletediMessageCount = static_cast<std::int32_t>(record_.DeletediMessage.size());
    record_.DeletedFaceTimeCount = static_cast<std::int32_t>(record_.DeletedFaceTime.size());
    record_.DeletedWhatsAppCount = static_cast<std::int32_t>(record_.DeletedWhatsApp.size());
}

void ScanWorker::planParts(DataType type) {
    const std::string folder = record_.BACKUP_DIRECTORY.get();
    const bool carves = record_.recoveryWindowController.get() != nullptr;
    for (const DataTypeDescriptor& descriptor : DataTypes()) {
        if (!descriptor.dataType || !RunsStep(type, *descriptor.dataType)) continue;
        double bytes = 0.0;
        bool library = false;
        for (const ServiceDatabase& entry : kServiceDatabases)
            if (descriptor.service == entry.service) {
                library = !entry.database;
                if (entry.database) bytes = FileBytes(folder, record_.databaseName(*entry.database).get());
            }
        if (descriptor.loadExisting)
            progress_.plan(ScanProgress::LivePart(descriptor.name), std::max(bytes, kLeastWeight));
        if (descriptor.service && carves && RunsInMode(record_._RecoverMode.load(), *descriptor.dataType)) {
            // A service whose walks are known is weighed by them.
            const double planned = ScanProgress::CarvingPlan(*descriptor.service).total();
            const double cost = planned > 0.0 ? planned : kCarvingCost;
            progress_.plan(ScanProgress::DeletedPart(descriptor.name),
                           library ? kPhotoLibraryWeight : std::max(cost * bytes, kLeastWeight));
        }
    }
}

void ScanWorker::openScanTab() {
    const TabTag tab = static_cast<TabTag>(record_.buttonType.load());
    window_.onTabSelectionChanged(tab);
    window_.onAppsSelectionChanged(tab);
    // A scan shows all records: the toggle is turned off, never flipped back on by a second
    // opening of the tab. (The toggle is hidden while a scan runs, so only the scan moves it.)
    if (record_.onlyRecovered) window_.toogleChanged();
}

bool ScanWorker::loadExisting(const DataTypeDescriptor& descriptor, DataType type,
                              const ScanContext& context) {
    const std::string part = ScanProgress::LivePart(descriptor.name);
    progress_.begin(part, StatusLineText(0, descriptor.statusName).value_or(""));
    window_.updateStatus(0, descriptor.statusName);
    const std::size_t count = descriptor.loadExisting(context);
    progress_.end(part);
    if (descriptor.redrawAfterLoad) window_.redrawScreen(descriptor.tab);
    window_.updateStatus(3, CountLine(count, descriptor.countName));
    if (cancelled(context.stop)) return false;
    if (type == descriptor.dataType) {
        window_.markTabButtonSelected(ButtonTypeFor(type));
        openScanTab();
        window_.refreshTabButtons();
    }
    std::this_thread::yield();
    return true;
}

bool ScanWorker::recoverDeletedRecords(DataType type, const std::stop_token& stop) {
    window_.updateStatus(3, ScanProgress::kDeletedRecordsStatus);
    // The carving threads fill these afresh; the deleted notes that the note store's live step
    // listed (its "Recently Deleted" folder) stay.
    record_.DeletedSMS.clear();
    record_.DeletedContact.clear();
    record_.DeletedCallLog.clear();
    record_.DeletedCalendar.clear();
    record_.DeletedWhatsApp.clear();
    const auto controller = record_.recoveryWindowController.get();
    if (!controller) {
        std::cerr << "scan: no deleted-record run controller, deleted records are not recovered\n";
        return true;
    }
    controller->reportTo(&progress_);
    controller->RecoverDeletedData(type, stop);
    controller->reportTo(nullptr);
    return true;
}

void ScanWorker::closingSteps() {
    Safely("the photo browser", [&] { window_.updateDatasource(); });
    Safely("restoring the controls",
           [&] { window_.restoreControlsAfterScan(configuration_.RestoreAvailable); });
    Safely("stopping the countdown", [&] { window_.stopCountdown(); });
    Safely("the report event", [&] { analytics_.PublishReportInfosEvent(); });
    record_.hasDoneScan = true;
    Safely("opening the report", [&] { window_.OpenDashboard(); });
    Safely("the tab bar", [&] {
        window_.setTabButtonTitle();
        window_.updateTabButtons();
        window_.refreshTabButtons();
        window_.updateUIfoundRecoveredData();
        window_.redrawScreen(TabTag::TabTagNotes);
    });
}

#include "app/RecoveryWindowController.h"

#include "app/DataTypes.h"
#include "app/HostSystemVersion.h"
#include "app/MainWindow.h"
#include "app/ScanInputs.h"
#include "app/WindowTypes.h"
#include "carving/SqLiteTableSignatures.h"
#include "database/SqliteConnection.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "services/ServicesManager.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// The data types with a recovery service, in the order their threads start.
const std::vector<const DataTypeDescriptor*>& Slots() {
    static const std::vector<const DataTypeDescriptor*> slots = [] {
        std::vector<const DataTypeDescriptor*> found;
        for (const auto& d : DataTypes())
            if (d.service) found.push_back(&d);
        if (found.size() != RecoveryWindowController::kThreadCount)
            throw std::logic_error("one thread per recovery service");
        return found;
    }();
    return slots;
}

// The slot of a service's thread.
std::size_t SlotOf(ServiceIndex service) {
    const auto& slots = Slots();
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (slots[i]->service == service) return i;
    throw std::logic_error("no thread for that service");
}

// The slot of a data type's service; none for a type without one.
const DataTypeDescriptor* SlotOfType(DataType type) {
    for (const DataTypeDescriptor* slot : Slots())
        if (slot->dataType == type) return slot;
    return nullptr;
}

// Whether the older carving path recovers the type's deleted records in place of its service;
// photos, videos and internet history have no routine there.
bool CarvedByOlderPath(DataType type) {
    return type != DataType::DataTypePhotosVideos && type != DataType::DataTypeInternetHistory;
}

// A window call that must not end the thread that makes it.
template <class Call>
void Safely(Call call) {
    try {
        call();
    } catch (const std::exception& e) {
        std::cerr << (std::string("deleted-record run: window update failed: ") + e.what() + "\n");
    } catch (...) {
        std::cerr << "deleted-record run: window update failed\n";
    }
}

}  // namespace

RecoveryWindowController::RecoveryWindowController(BrimleyAppDelegate& record,
                                                   MainWindowActions& window)
    : record_(record), window_(window) {}

RecoveryWindowController::~RecoveryWindowController() {
    cancelScan();
    std::lock_guard run(runMutex_);
    joinThreads();
}

DataType RecoveryWindowController::dataType() const {
    std::lock_guard lock(flagsMutex_);
    return dataType_;
}

bool RecoveryWindowController::finished(ServiceIndex service) const {
    std::lock_guard lock(flagsMutex_);
    return finished_[SlotOf(service)];
}

void RecoveryWindowController::RecoverDeletedData(DataType type, std::stop_token stop) {
    std::lock_guard run(runMutex_);
    std::stop_token runStop;
    {
        std::lock_guard lock(threadsMutex_);
        // A stop asked for before this run began concerned the scan, not this run.
        cancelled_ = false;
        runStop_ = std::stop_source();
        runStop = runStop_.get_token();
    }
    {
        std::lock_guard lock(flagsMutex_);
        dataType_ = type;
    }
    // The scan's own stop request cancels the run too, also one made before it began.
    std::stop_callback cancelWithScan(stop, [this] { cancelScan(); });

    const bool legacy = legacy_;
    if (legacy) RecoverDeletedDataNonSignatures(type, runStop);
    // No thread may start before the signatures are there; a cancel ends the wait.
    if (record_.signatureLoaded.wait(runStop)) {
        if (!legacy) reportUnusableSignatures();
        RecoverDeletedDataSignatures(type, legacy);
        checkForRecovery();
    }
    joinThreads();
    record_.isDoingRecovery = false;
}

void RecoveryWindowController::reportUnusableSignatures() {
    const auto catalogue = record_.recoverySignatures.get();
    std::optional<std::string> problem;
    if (!catalogue)
        problem = "no recovery signatures were loaded";
    else if (catalogue->problem())
        problem = *catalogue->problem();
    if (!problem) return;
    record_.carvingProblem.set(problem);
    std::cerr << "Deleted records are not searched: " << *problem << '\n';
    window_.updateStatus(4, "Deleted records cannot be searched: the recovery signature file "
                            "cannot be used");
}

void RecoveryWindowController::RecoverDeletedDataNonSignatures(DataType type, const std::stop_token& run) {
    {
        std::lock_guard lock(flagsMutex_);
        finished_.fill(true);
    }
    flagsChanged_.notify_all();
    // The progress follows the routines as they run; the parts of the types the older path
    // carves all end with it, also those it has no routine for on this iOS version, so that
    // the bar is full once the run's work is done.
    const auto part = [](DataType step) -> std::optional<std::string> {
        const DataTypeDescriptor* slot = SlotOfType(step);
        if (!slot) return std::nullopt;
        return ScanProgress::DeletedPart(slot->name);
    };
    LegacyReporter reporter;
    reporter.updateStatus = [this](std::int32_t code, const std::string& message) {
        window_.updateStatus(code, message);
    };
    reporter.UpdateMainView = [this](std::int32_t) { window_.redrawScreen(TabTag::TabTagSMS); };
    reporter.stepBegins = [this, part](DataType step, const char* status) {
        if (const auto name = part(step)) progress_->begin(*name, status ? status : ScanProgress::kDeletedRecordsStatus);
    };
    reporter.stepEnds = [this, part](DataType step) {
        if (const auto name = part(step)) progress_->end(*name);
    };
    // A failure ends the older path only; the services of the other types still run.
    try {
        LegacyRecovery legacy(ScanContextOf(record_, run), std::move(reporter), getOSXVersion());
        legacy.RecoverDeletedDataNonSignatures(type);
    } catch (const std::exception& e) {
        reportFailure(std::string("recovering deleted records (older carving path): ") + e.what());
    } catch (...) {
        reportFailure("recovering deleted records (older carving path) failed");
    }
    for (const DataTypeDescriptor* slot : Slots())
        if (RunsStep(type, *slot->dataType) && CarvedByOlderPath(*slot->dataType))
            progress_->end(ScanProgress::DeletedPart(slot->name));
}

void RecoveryWindowController::RecoverDeletedDataSignatures(DataType type, bool afterLegacy) {
    const std::shared_ptr<ServicesManager> manager = record_.servicesMgr.get();
    if (manager) manager->setDevice(record_.deviceInfo.get());
    const auto& slots = Slots();
    // After the older carving path, only the services of the types it has no routine for run
    // (photos and videos, internet history): their records come from the services alone.
    // A fast scan leaves the photo library alone.
    const std::int32_t mode = record_._RecoverMode.load();
    const auto runs = [&](std::size_t i) {
        const DataType step = *slots[i]->dataType;
        return RunsStep(type, step) && RunsInMode(mode, step) && (!afterLegacy || !CarvedByOlderPath(step));
    };
    {
        std::lock_guard lock(flagsMutex_);
        for (std::size_t i = 0; i < kThreadCount; ++i) finished_[i] = !manager || !runs(i);
    }
    flagsChanged_.notify_all();
    if (!manager) {
        std::cerr << "deleted-record run: no recovery services, nothing is recovered\n";
        return;
    }

    // The scan's inputs, now that the signatures are loaded.
    const ScanContext context = ScanContextOf(record_);
    std::lock_guard lock(threadsMutex_);
    const std::stop_token run = runStop_.get_token();
    for (std::size_t i = 0; i < kThreadCount; ++i) {
        if (!runs(i)) continue;
        threads_[i] = std::jthread([this, i, manager, run, context](std::stop_token threadStop) {
            runSlot(i, threadStop, run, *manager, context);
        });
        if (cancelled_) threads_[i].request_stop();
    }
}

void RecoveryWindowController::runSlot(Slot slot, std::stop_token stop, std::stop_token run,
                                       ServicesManager& manager, const ScanContext& context) {
    const DataTypeDescriptor& plan = *Slots()[slot];
    const std::string part = ScanProgress::DeletedPart(plan.name);
    try {
        if (plan.waitsForContacts) {
            const Slot contacts = SlotOf(ServiceIndex::ServiceIndexContacts);
            std::unique_lock lock(flagsMutex_);
            flagsChanged_.wait(lock, stop, [&] { return finished_[contacts]; });
        }
        // A cancel marks the run before it reaches the threads one by one, so a thread that the
        // cancelled contacts thread has just released does not start its service.
        if (!stop.stop_requested() && !run.stop_requested()) {
            {
                // Threads that begin or end together post their lines in the order the
                // progress saw them, so the last line is never a stale one.
                std::lock_guard status(statusMutex_);
                progress_->begin(part, plan.recoveryStatus ? plan.recoveryStatus : ScanProgress::kDeletedRecordsStatus);
                if (plan.recoveryStatus) window_.updateStatus(3, plan.recoveryStatus);
            }

            ScanContext own = context;
            own.stop = stop;
            // A stop ends a query of the live tables as well, however long its table.
            const SqliteStopScope sqliteStop(stop);
            // The bar follows the service's walks over its files.
            auto share = std::make_shared<PageWalkShare>(ScanProgress::CarvingPlan(*plan.service));
            own.pageProgress = [this, part, share](std::int64_t walked, std::int64_t pages) {
                progress_->advance(part, share->walked(walked, pages));
            };
            manager.StartRecoveryofService(*plan.service, own);

            if (plan.updatesMainViewAfterRecovery) Safely([this] { window_.UpdateMainView(); });
            if (plan.refreshesTabsAfterRecovery) Safely([this] { window_.refreshTabButtons(); });
        }
    } catch (const std::exception& e) {
        reportFailure(std::string("recovering deleted ") + plan.name + ": " + e.what());
    } catch (...) {
        reportFailure(std::string("recovering deleted ") + plan.name + " failed");
    }
    // The status line goes on naming work that is being done: a thread still carving.
    {
        std::lock_guard status(statusMutex_);
        if (const OptString next = progress_->end(part)) Safely([&] { window_.updateStatus(3, *next); });
    }
    markFinished(slot);
}

void RecoveryWindowController::reportFailure(const std::string& message) {
    std::cerr << ("deleted-record run: " + message + "\n");
    Safely([&] { window_.updateStatus(4, message); });
}

void RecoveryWindowController::markFinished(Slot slot) {
    {
        std::lock_guard lock(flagsMutex_);
        finished_[slot] = true;
    }
    flagsChanged_.notify_all();
}

void RecoveryWindowController::checkForRecovery() {
    std::unique_lock lock(flagsMutex_);
    flagsChanged_.wait(lock, [this] {
        return std::all_of(finished_.begin(), finished_.end(), [](bool done) { return done; });
    });
}

void RecoveryWindowController::cancelScan() {
    std::lock_guard lock(threadsMutex_);
    cancelled_ = true;
    runStop_.request_stop();
    for (std::jthread& thread : threads_)
        if (thread.joinable()) thread.request_stop();
}

void RecoveryWindowController::joinThreads() {
    std::array<std::jthread, kThreadCount> done;
    {
        std::lock_guard lock(threadsMutex_);
        done.swap(threads_);
    }
    for (std::jthread& thread : done)
        if (thread.joinable()) thread.join();
}

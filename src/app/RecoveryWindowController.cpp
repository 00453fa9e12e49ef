#include "app/RecoveryWindowController.h"

#include "app/MainWindow.h"
#include "records/BrimleyAppDelegate.h"
#include "services/ServiceIndex.h"
#include "services/ServicesManager.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

namespace {

struct SlotPlan {
    DataType type;
    ServiceIndex index;
    // The messages and call-history services name their partners from the contacts that the
    // contacts service lists, so they start only once it has finished.
    bool waitsForContacts;
    const char* name;
};

// In the order the threads start.
constexpr SlotPlan kSlots[RecoveryWindowController::kThreadCount] = {
    {DataType::DataTypePhotosVideos, ServiceIndex::ServiceIndexPhotosVideos, false,
     "photos and videos"},
    {DataType::DataTypeContacts, ServiceIndex::ServiceIndexContacts, false, "contacts"},
    {DataType::DataTypeNotes, ServiceIndex::ServiceIndexNotes, false, "notes"},
    {DataType::DataTypeCallHistory, ServiceIndex::ServiceIndexCallHistory, true, "call history"},
    {DataType::DataTypeWhatsApp, ServiceIndex::ServiceIndexWhatsApp, false, "WhatsApp messages"},
    {DataType::DataTypeCalendar, ServiceIndex::ServiceIndexCalendar, false, "calendar events"},
    {DataType::DataTypeSMS, ServiceIndex::ServiceIndexMessages, true, "messages"},
    {DataType::DataTypeInternetHistory, ServiceIndex::ServiceIndexInternetHistory, false,
     "internet history"},
};

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

bool RecoveryWindowController::finished(Slot slot) const {
    std::lock_guard lock(flagsMutex_);
    return finished_[slot];
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

    // No thread may start before the signatures are there; a cancel ends the wait.
    if (record_.signatureLoaded.wait(runStop)) {
        RecoverDeletedDataSignatures(type);
        checkForRecovery();
    }
    joinThreads();
    record_.isDoingRecovery = false;
}

void RecoveryWindowController::RecoverDeletedDataSignatures(DataType type) {
    const std::shared_ptr<ServicesManager> manager = record_.servicesMgr.get();
    if (manager) manager->setDevice(record_.deviceInfo.get());
    {
        std::lock_guard lock(flagsMutex_);
        for (std::size_t i = 0; i < kThreadCount; ++i)
            finished_[i] = !manager || !RunsStep(type, kSlots[i].type);
    }
    flagsChanged_.notify_all();
    if (!manager) {
        std::cerr << "deleted-record run: no recovery services, nothing is recovered\n";
        return;
    }

    std::lock_guard lock(threadsMutex_);
    const std::stop_token run = runStop_.get_token();
    for (std::size_t i = 0; i < kThreadCount; ++i) {
        if (!RunsStep(type, kSlots[i].type)) continue;
        const auto slot = static_cast<Slot>(i);
        threads_[i] = std::jthread([this, slot, manager, run](std::stop_token threadStop) {
            runSlot(slot, threadStop, run, *manager);
        });
        if (cancelled_) threads_[i].request_stop();
    }
}

void RecoveryWindowController::runSlot(Slot slot, std::stop_token stop, std::stop_token run,
                                       ServicesManager& manager) {
    const SlotPlan& plan = kSlots[slot];
    try {
        if (plan.waitsForContacts) {
            std::unique_lock lock(flagsMutex_);
            flagsChanged_.wait(lock, stop, [this] { return finished_[kContacts]; });
        }
        // A cancel marks the run before it reaches the threads one by one, so a thread that the
        // cancelled contacts thread has just released does not start its service.
        if (!stop.stop_requested() && !run.stop_requested()) {
            if (slot == kDcmi)
                window_.updateStatus(3, "Recovering Photos & Videos...");
            else if (slot == kInternet)
                window_.updateStatus(3, "Recovering Internet History");

            manager.StartRecoveryofService(plan.index, stop);

            if (slot == kDcmi || slot == kInternet) Safely([this] { window_.UpdateMainView(); });
            if (slot == kInternet) Safely([this] { window_.refreshTabButtons(); });
        }
    } catch (const std::exception& e) {
        const std::string message =
            std::string("recovering deleted ") + plan.name + ": " + e.what();
        std::cerr << ("deleted-record run: " + message + "\n");
        Safely([&] { window_.updateStatus(4, message); });
    } catch (...) {
        const std::string message = std::string("recovering deleted ") + plan.name + " failed";
        std::cerr << ("deleted-record run: " + message + "\n");
        Safely([&] { window_.updateStatus(4, message); });
    }
    markFinished(slot);
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

#pragma once

#include "app/ScanProgress.h"
#include "records/DataType.h"
#include "services/ServiceIndex.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

struct ScanContext;

class BrimleyAppDelegate;
class MainWindowActions;
class ServicesManager;

// Runs the deleted-record phase of a scan: waits until the table signatures are loaded, starts
// one thread per selected data type that has a recovery service (in the order of the data-type
// table), each running that service through the record's ServicesManager on the scan's
// context, and returns once every thread has finished.
//
// The finished flags of all eight types are set before any thread starts (the selected ones
// to false, the others to true), so flags left from an earlier run can neither end this run
// early nor let the message and call-history threads start before the contacts thread has
// finished; those two need the contacts it lists to name their partners.
//
// One instance serves every scan; RecoverDeletedData runs one phase at a time.
class RecoveryWindowController {
public:
    // The per-type threads of a run, in the order they are started.
    static constexpr std::size_t kThreadCount = 8;

    RecoveryWindowController(BrimleyAppDelegate& record, MainWindowActions& window);
    // Cancels a run still going and waits for its threads.
    ~RecoveryWindowController();
    RecoveryWindowController(const RecoveryWindowController&) = delete;
    RecoveryWindowController& operator=(const RecoveryWindowController&) = delete;

    // Runs one deleted-record phase for the data type (DataTypeAll: every type) and returns when
    // it has ended. A stop request on the token cancels it as cancelScan does; if it comes while
    // the signatures are still loading, no thread is started.
    void RecoverDeletedData(DataType type, std::stop_token stop = {});

    // The stop button: asks every thread of the running phase to stop. Each service ends its
    // carving early and its thread still finishes, so RecoverDeletedData returns soon after.
    // Any thread; does nothing when no phase runs.
    void cancelScan();

    // Runs the older carving path (LegacyRecovery's routines by iOS version) in place of the
    // recovery services of the types it carves, for later runs (torvane-scan --legacy); photos,
    // videos and internet history still come from their services.
    void setLegacyCarving(bool legacy) { legacy_ = legacy; }

    // Where the threads report the parts they work on (ScanProgress::DeletedPart of their type):
    // the scan's progress, or none for the controller's own. Set before a run, not during one.
    // When a thread ends while others still carve, the status line names one of those.
    void reportTo(ScanProgress* progress) { progress_ = progress ? progress : &ownProgress_; }

    // Nothing is kept between scans beyond the finished flags, which each run sets afresh.
    void ClearData() {}

    // The data type of the current or last run.
    DataType dataType() const;

    // The finished flags, as the last run left them or as they stand during a run.
    bool dcmiFinished() const { return finished(ServiceIndex::ServiceIndexPhotosVideos); }
    bool contactsFinished() const { return finished(ServiceIndex::ServiceIndexContacts); }
    bool notesFinished() const { return finished(ServiceIndex::ServiceIndexNotes); }
    bool callHistoryFinished() const { return finished(ServiceIndex::ServiceIndexCallHistory); }
    bool whatsAppFinished() const { return finished(ServiceIndex::ServiceIndexWhatsApp); }
    bool calendarFinished() const { return finished(ServiceIndex::ServiceIndexCalendar); }
    bool messagesFinished() const { return finished(ServiceIndex::ServiceIndexMessages); }
    bool internetFinished() const { return finished(ServiceIndex::ServiceIndexInternetHistory); }

private:
    // A position in the start order.
    using Slot = std::size_t;

    bool finished(ServiceIndex service) const;
    // Sets the flags for a run and starts the selected threads; after the older carving path,
    // only those of the types it has no routine for.
    void RecoverDeletedDataSignatures(DataType type, bool afterLegacy = false);
    // Waits until every flag is set.
    void checkForRecovery();
    // A signature catalogue that cannot serve carving is said on the status line and kept in
    // the record's carvingProblem for the report and the exit status.
    void reportUnusableSignatures();
    // The older carving path for the data type (every type for DataTypeAll), on this thread; the
    // flags are all set first. Its routines report their parts to the progress, and every part
    // it stands for has ended when it returns; a failure is said on the status line and ends
    // only this path.
    void RecoverDeletedDataNonSignatures(DataType type, const std::stop_token& run);
    // The body of one per-type thread; `run` is the run's own cancel mark.
    void runSlot(Slot slot, std::stop_token stop, std::stop_token run, ServicesManager& manager,
                 const ScanContext& context);
    // A failure of one part of the run: on standard error and the status line; the run goes on.
    void reportFailure(const std::string& message);
    void markFinished(Slot slot);
    void joinThreads();

    BrimleyAppDelegate& record_;
    MainWindowActions& window_;

    // One phase at a time.
    std::mutex runMutex_;

    mutable std::mutex flagsMutex_;
    std::condition_variable_any flagsChanged_;
    std::array<bool, kThreadCount> finished_{};
    DataType dataType_ = DataType::DataTypeAll;

    std::mutex threadsMutex_;
    // Orders the status lines of threads that begin or end at once (the window queues them).
    std::mutex statusMutex_;
    std::array<std::jthread, kThreadCount> threads_;
    // Ends the wait for the signatures when the run is cancelled.
    std::stop_source runStop_;
    bool cancelled_ = false;
    std::atomic<bool> legacy_{false};
    ScanProgress ownProgress_;
    ScanProgress* progress_ = &ownProgress_;
};

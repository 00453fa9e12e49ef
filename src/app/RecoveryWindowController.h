#pragma once

#include "records/DataType.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

class BrimleyAppDelegate;
class MainWindowActions;
class ServicesManager;

// Runs the deleted-record phase of a scan: waits until the table signatures are loaded, starts
// one thread per selected data type, each running that type's recovery service through the
// record's ServicesManager, and returns once every thread has finished.
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

    // Nothing is kept between scans beyond the finished flags, which each run sets afresh.
    void ClearData() {}

    // The data type of the current or last run.
    DataType dataType() const;

    // The finished flags, as the last run left them or as they stand during a run.
    bool dcmiFinished() const { return finished(kDcmi); }
    bool contactsFinished() const { return finished(kContacts); }
    bool notesFinished() const { return finished(kNotes); }
    bool callHistoryFinished() const { return finished(kCallHistory); }
    bool whatsAppFinished() const { return finished(kWhatsApp); }
    bool calendarFinished() const { return finished(kCalendar); }
    bool messagesFinished() const { return finished(kMessages); }
    bool internetFinished() const { return finished(kInternet); }

private:
    // Positions in the start order.
    enum Slot : std::size_t {
        kDcmi,
        kContacts,
        kNotes,
        kCallHistory,
        kWhatsApp,
        kCalendar,
        kMessages,
        kInternet,
    };

    bool finished(Slot slot) const;
    // Sets the flags for a run and starts the selected threads.
    void RecoverDeletedDataSignatures(DataType type);
    // Waits until every flag is set.
    void checkForRecovery();
    // The body of one per-type thread; `run` is the run's own cancel mark.
    void runSlot(Slot slot, std::stop_token stop, std::stop_token run, ServicesManager& manager);
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
    std::array<std::jthread, kThreadCount> threads_;
    // Ends the wait for the signatures when the run is cancelled.
    std::stop_source runStop_;
    bool cancelled_ = false;
};

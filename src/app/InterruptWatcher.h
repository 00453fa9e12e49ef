#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Turns Ctrl-C (SIGINT), SIGTERM and SIGHUP into a call on a thread of its own. The signal
// handler only writes the signal's number into a pipe, which is safe inside a handler; the
// watcher's thread reads it and runs the callback, where any work may be done.
//
// A second signal while the first is still being handled asks to end at once: the watcher's
// thread runs `onQuit` (which removes what must not stay behind, such as temporary files) and
// ends the process with 128 + the signal's number. A third signal ends it from the handler
// itself, for a process whose watcher is stuck.
//
// One watcher at a time; it restores the previous handlers when it goes, unless finish() was
// called.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void(int signal)> onInterrupt,
                              std::function<void(int signal)> onQuit = {});
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // Whether the handlers are in place (false when the pipe could not be made).
    bool active() const { return active_; }

    // The work is done and its outcome must stand: from now on the three signals are ignored,
    // also after the watcher has gone (a late Ctrl-C must not turn a finished run's status
    // into 128 + n).
    void finish();

private:
    std::function<void(int)> onInterrupt_;
    std::function<void(int)> onQuit_;
    int readFd_ = -1;
    bool active_ = false;
    std::atomic<bool> finished_{false};
    std::jthread thread_;
};

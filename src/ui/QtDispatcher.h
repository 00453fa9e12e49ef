#pragma once

#include "app/MainThreadDispatcher.h"

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class QObject;
class QtDispatcherContext;

// The main-thread dispatcher on Qt's event loop: posted work runs on the thread that made the
// dispatcher (the GUI thread) as a queued call. Stopping is final: work still queued is
// dropped without running, later work is refused, and every caller waiting in postAndWait is
// released with false.
//
// The work itself waits in the dispatcher's own queue, under its own mutex; Qt's event only
// says when to run the next item. The hand-over from the posting thread to the GUI thread thus
// goes through a lock that race detectors see, rather than through Qt's internal ones.
class QtDispatcher final : public MainThreadDispatcher {
public:
    // Made on the GUI thread, after the QApplication.
    QtDispatcher();
    ~QtDispatcher() override;
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    void post(std::function<void()> work) override;
    bool postAndWait(std::function<void()> work) override;
    bool isMainThread() const override;

    // On the GUI thread.
    void stop();

private:
    friend class QtDispatcherContext;

    // Queues the work and one queued call that runs it; under mutex_, with a context.
    void enqueue(std::function<void()> work);
    // On the GUI thread: runs the oldest work queued.
    void runNext();

    mutable std::mutex mutex_;  // guards context_ and queue_
    QObject* context_ = nullptr;
    std::deque<std::function<void()>> queue_;
    const std::thread::id mainThread_;
};

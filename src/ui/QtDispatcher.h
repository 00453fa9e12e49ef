#pragma once

#include "app/MainThreadDispatcher.h"

#include <mutex>
#include <thread>

class QObject;

// The main-thread dispatcher on Qt's event loop: posted work runs on the thread that made the
// dispatcher (the GUI thread) as a queued call. Stopping is final: work still queued is
// dropped without running, later work is refused, and every caller waiting in postAndWait is
// released with false.
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
    mutable std::mutex mutex_;
    QObject* context_ = nullptr;
    const std::thread::id mainThread_;
};

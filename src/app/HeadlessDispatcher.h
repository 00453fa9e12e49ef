#pragma once

#include "app/MainThreadDispatcher.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

// The main thread of a program without a window: whichever thread calls run() becomes the main
// thread and runs the posted work one item at a time until it is stopped.
//
// Stopping is final: run() still runs the work queued before the stop, then returns; work
// posted afterwards is refused (postAndWait answers false at once), so no caller waits forever
// on a loop that has ended.
class HeadlessDispatcher final : public MainThreadDispatcher {
public:
    HeadlessDispatcher() = default;
    // Refuses further work and releases every caller still waiting.
    ~HeadlessDispatcher() override;
    HeadlessDispatcher(const HeadlessDispatcher&) = delete;
    HeadlessDispatcher& operator=(const HeadlessDispatcher&) = delete;

    void post(std::function<void()> work) override;
    bool postAndWait(std::function<void()> work) override;
    bool isMainThread() const override;

    // Runs posted work on the calling thread until stop() (or a stop request of the token),
    // then runs what is still queued and returns. Call it from one thread at a time.
    void run();
    void run(std::stop_token token);

    // Asks run() to return once the work already queued has run. Any thread; repeatable.
    void stop();
    bool isStopped() const;
    // How many items wait to be run.
    std::size_t pending() const;

private:
    bool enqueue(std::function<void()> work);

    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::function<void()>> queue_;
    bool stopped_ = false;
    std::atomic<std::thread::id> mainThread_{};
};

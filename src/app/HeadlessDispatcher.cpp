#include "app/HeadlessDispatcher.h"

#include <exception>
#include <future>
#include <iostream>
#include <memory>
#include <utility>

namespace {

void RunLoggingFailure(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        std::cerr << (std::string("main thread: posted work failed: ") + e.what() + "\n");
    } catch (...) {
        std::cerr << "main thread: posted work failed\n";
    }
}

}  // namespace

HeadlessDispatcher::~HeadlessDispatcher() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        dropped.swap(queue_);
    }
    // Dropping a waiting caller's work breaks its promise, which wakes the caller.
    dropped.clear();
}

bool HeadlessDispatcher::enqueue(std::function<void()> work) {
    // Notified under the lock: once the work is seen queued, this call no longer touches the
    // dispatcher, so a teardown that drops the work cannot pull the lock from under it.
    std::lock_guard lock(mutex_);
    if (stopped_) return false;
    queue_.push_back(std::move(work));
    changed_.notify_all();
    return true;
}

void HeadlessDispatcher::post(std::function<void()> work) {
    if (!work) return;
    if (!enqueue(std::move(work))) std::cerr << "main thread: stopped, posted work dropped\n";
}

bool HeadlessDispatcher::postAndWait(std::function<void()> work) {
    if (!work) return true;
    if (isMainThread()) {
        work();
        return true;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    const bool queued = enqueue([work = std::move(work), done = std::move(done)] {
        try {
            work();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    if (!queued) return false;
    try {
        finished.get();
    } catch (const std::future_error& e) {
        // The loop was torn down before it reached the work.
        if (e.code() == std::future_errc::broken_promise) return false;
        throw;
    }
    return true;
}

bool HeadlessDispatcher::isMainThread() const {
    return mainThread_.load() == std::this_thread::get_id();
}

void HeadlessDispatcher::run() {
    run(std::stop_token{});
}

void HeadlessDispatcher::run(std::stop_token token) {
    mainThread_.store(std::this_thread::get_id());
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, token, [&] { return stopped_ || !queue_.empty(); });
            if (token.stop_requested()) stopped_ = true;
            if (queue_.empty()) break;  // stopped, and nothing left to run
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        RunLoggingFailure(work);
    }
    mainThread_.store(std::thread::id{});
}

void HeadlessDispatcher::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

bool HeadlessDispatcher::isStopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

std::size_t HeadlessDispatcher::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

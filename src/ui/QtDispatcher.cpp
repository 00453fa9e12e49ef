#include "ui/QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <exception>
#include <iostream>
#include <memory>

namespace {

void RunLogged(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        std::cerr << (std::string("window: a queued call failed: ") + e.what() + "\n");
    } catch (...) {
        std::cerr << "window: a queued call failed\n";
    }
}

// What a caller of postAndWait waits for. The queued call holds a Releaser: whether the call
// ran or was dropped unrun (the dispatcher stopped), its end releases the caller.
struct WaitState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool ran = false;
    std::exception_ptr error;
};

struct Releaser {
    std::shared_ptr<WaitState> state;
    explicit Releaser(std::shared_ptr<WaitState> s) : state(std::move(s)) {}
    Releaser(const Releaser&) = delete;
    Releaser& operator=(const Releaser&) = delete;
    ~Releaser() {
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    }
};

}  // namespace

QtDispatcher::QtDispatcher() : context_(new QObject), mainThread_(std::this_thread::get_id()) {}

QtDispatcher::~QtDispatcher() {
    stop();
}

void QtDispatcher::stop() {
    QObject* context = nullptr;
    {
        std::lock_guard lock(mutex_);
        context = context_;
        context_ = nullptr;
    }
    // Deleting the context drops the calls still queued for it, which releases their waiters.
    delete context;
}

bool QtDispatcher::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void QtDispatcher::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (!context_) return;
    QMetaObject::invokeMethod(context_, [work = std::move(work)] { RunLogged(work); },
                              Qt::QueuedConnection);
}

bool QtDispatcher::postAndWait(std::function<void()> work) {
    if (isMainThread()) {
        work();
        return true;
    }
    auto state = std::make_shared<WaitState>();
    {
        std::lock_guard lock(mutex_);
        if (!context_) return false;
        auto releaser = std::make_shared<Releaser>(state);
        QMetaObject::invokeMethod(
            context_,
            [releaser, work = std::move(work)] {
                try {
                    work();
                } catch (...) {
                    releaser->state->error = std::current_exception();
                }
                releaser->state->ran = true;
            },
            Qt::QueuedConnection);
    }
    std::unique_lock lock(state->mutex);
    state->done.wait(lock, [&] { return state->finished; });
    if (state->error) std::rethrow_exception(state->error);
    return state->ran;
}

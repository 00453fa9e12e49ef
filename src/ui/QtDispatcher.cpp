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

// The receiver of the dispatcher's queued calls. The call is made by name, so that Qt makes,
// delivers and deletes it entirely inside its own code and carries no data of ours.
class QtDispatcherContext : public QObject {
    Q_OBJECT
public:
    explicit QtDispatcherContext(QtDispatcher& dispatcher) : dispatcher_(dispatcher) {}
    Q_INVOKABLE void runNext() { dispatcher_.runNext(); }

private:
    QtDispatcher& dispatcher_;
};

QtDispatcher::QtDispatcher()
    : context_(new QtDispatcherContext(*this)), mainThread_(std::this_thread::get_id()) {}

QtDispatcher::~QtDispatcher() {
    stop();
}

void QtDispatcher::stop() {
    QObject* context = nullptr;
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        context = context_;
        context_ = nullptr;
        dropped.swap(queue_);
    }
    // Deleting the context drops the calls still queued for it; the work dropped with them
    // releases its waiters as it goes, outside the lock.
    delete context;
}

void QtDispatcher::enqueue(std::function<void()> work) {
    queue_.push_back(std::move(work));
    // Each call takes the oldest item; calls and items are queued together, so they pair up in
    // posting order.
    QMetaObject::invokeMethod(context_, "runNext", Qt::QueuedConnection);
}

void QtDispatcher::runNext() {
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return;
        work = std::move(queue_.front());
        queue_.pop_front();
    }
    RunLogged(work);
}

bool QtDispatcher::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void QtDispatcher::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (!context_) return;
    enqueue(std::move(work));
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
        enqueue([releaser, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                releaser->state->error = std::current_exception();
            }
            releaser->state->ran = true;
        });
    }
    std::unique_lock lock(state->mutex);
    state->done.wait(lock, [&] { return state->finished; });
    if (state->error) std::rethrow_exception(state->error);
    return state->ran;
}

#include "QtDispatcher.moc"

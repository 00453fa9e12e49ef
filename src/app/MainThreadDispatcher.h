#pragma once

#include <functional>

// Hands work to the thread that owns the window. Everything that touches the window goes
// through one dispatcher: the Qt front end implements it with its event loop, the headless
// front end with HeadlessDispatcher. Safe to call from any thread.
class MainThreadDispatcher {
public:
    virtual ~MainThreadDispatcher() = default;

    // Queues the work and returns at once. Work posted from one thread runs in posting order.
    virtual void post(std::function<void()> work) = 0;

    // Runs the work on the main thread and returns once it has run; an exception it throws is
    // thrown again here. On the main thread itself the work runs at once. False, without
    // running it, when the main thread no longer takes work (it has been stopped).
    virtual bool postAndWait(std::function<void()> work) = 0;

    // Whether the calling thread is the main thread.
    virtual bool isMainThread() const = 0;
};

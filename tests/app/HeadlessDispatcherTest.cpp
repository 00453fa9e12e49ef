#include "app/HeadlessDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A dispatcher whose main thread is a thread of the test.
class LoopThread {
public:
    LoopThread() : thread_([this](std::stop_token token) { dispatcher.run(token); }) {}
    HeadlessDispatcher dispatcher;
    std::thread::id id() const { return thread_.get_id(); }
    void join() {
        dispatcher.stop();
        thread_.join();
    }

private:
    std::jthread thread_;
};

}  // namespace

TEST(HeadlessDispatcher, WorkFromManyThreadsRunsOnTheMainThreadInEachPostersOrder) {
    LoopThread loop;
    constexpr int kThreads = 6, kEach = 200;
    std::map<int, std::vector<int>> seen;  // touched on the main thread only
    std::atomic<int> offMainThread{0};
    {
        std::vector<std::jthread> posters;
        for (int t = 0; t < kThreads; ++t)
            posters.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i)
                    loop.dispatcher.post([&, t, i] {
                        if (std::this_thread::get_id() != loop.id()) ++offMainThread;
                        seen[t].push_back(i);
                    });
            });
    }
    loop.join();  // runs what was queued before it returns
    EXPECT_EQ(offMainThread.load(), 0);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kThreads));
    for (const auto& [poster, order] : seen) {
        ASSERT_EQ(order.size(), static_cast<std::size_t>(kEach)) << poster;
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(order[i], i);
    }
}

TEST(HeadlessDispatcher, PostAndWaitReturnsAfterTheWorkRanAndCarriesItsException) {
    LoopThread loop;
    int value = 0;
    bool onMain = false;
    EXPECT_TRUE(loop.dispatcher.postAndWait([&] {
        value = 42;
        onMain = loop.dispatcher.isMainThread();
    }));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(onMain);
    EXPECT_FALSE(loop.dispatcher.isMainThread());

    EXPECT_THROW(loop.dispatcher.postAndWait([] { throw std::runtime_error("window gone"); }),
                 std::runtime_error);
    // A failing posted item is logged; the loop goes on.
    loop.dispatcher.post([] { throw std::runtime_error("ignored"); });
    EXPECT_TRUE(loop.dispatcher.postAndWait([&] { value = 7; }));
    EXPECT_EQ(value, 7);
}

TEST(HeadlessDispatcher, PostAndWaitOnTheMainThreadRunsAtOnce) {
    LoopThread loop;
    std::vector<int> order;
    loop.dispatcher.postAndWait([&] {
        order.push_back(1);
        // Waiting for itself would deadlock; it runs inline instead.
        EXPECT_TRUE(loop.dispatcher.postAndWait([&] { order.push_back(2); }));
        loop.dispatcher.post([&] { order.push_back(4); });
        order.push_back(3);
    });
    loop.dispatcher.postAndWait([] {});
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(HeadlessDispatcher, StoppedLoopRefusesWorkWithoutLeavingAnyoneWaiting) {
    struct Case {
        const char* name;
        bool runBeforeStop;
    };
    for (const Case& c : {Case{"stopped while running", true}, Case{"stopped before run", false}}) {
        SCOPED_TRACE(c.name);
        HeadlessDispatcher dispatcher;
        int ran = 0;
        dispatcher.post([&] { ++ran; });
        if (c.runBeforeStop) {
            std::jthread main([&] { dispatcher.run(); });
            dispatcher.postAndWait([] {});
            dispatcher.stop();
        } else {
            dispatcher.stop();
            dispatcher.run();  // runs what was queued, then returns
        }
        EXPECT_EQ(ran, 1);
        EXPECT_TRUE(dispatcher.isStopped());
        EXPECT_FALSE(dispatcher.postAndWait([&] { ++ran; }));
        dispatcher.post([&] { ++ran; });
        dispatcher.run();  // nothing queued: returns at once
        EXPECT_EQ(ran, 1);
    }
}

TEST(HeadlessDispatcher, WaitersAreReleasedWhenTheLoopIsTornDownUnrun) {
    auto dispatcher = std::make_unique<HeadlessDispatcher>();
    std::atomic<bool> answer{true};
    std::jthread waiter([&, d = dispatcher.get()] { answer = d->postAndWait([] {}); });
    while (dispatcher->pending() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dispatcher.reset();  // the loop never ran: the waiter must wake all the same
    waiter.join();
    EXPECT_FALSE(answer.load());
}

TEST(HeadlessDispatcher, StopRequestOfTheThreadEndsTheLoop) {
    HeadlessDispatcher dispatcher;
    {
        std::jthread main([&](std::stop_token token) { dispatcher.run(token); });
        dispatcher.postAndWait([] {});
    }  // the jthread asks its loop to stop and joins it
    EXPECT_TRUE(dispatcher.isStopped());
}

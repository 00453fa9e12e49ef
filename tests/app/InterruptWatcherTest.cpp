#include "app/InterruptWatcher.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>

// Ctrl-C reaches the callback on the watcher's thread, not inside the signal handler.
TEST(InterruptWatcherTest, CtrlCReachesTheCallback) {
    struct sigaction before {};
    ::sigaction(SIGINT, nullptr, &before);
    std::promise<int> received;
    auto answer = received.get_future();
    {
        InterruptWatcher watcher([&](int signal) { received.set_value(signal); });
        ASSERT_TRUE(watcher.active());
        std::raise(SIGINT);
        EXPECT_EQ(answer.get(), SIGINT);
    }
    // The handler is gone with the watcher: the previous one is back.
    struct sigaction now {};
    ::sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, before.sa_handler);
}

// SIGTERM and SIGHUP (a closed terminal) stop the program as Ctrl-C does.
TEST(InterruptWatcherTest, TermAndHangUpReachTheCallbackToo) {
    for (const int sent : {SIGTERM, SIGHUP}) {
        std::promise<int> received;
        auto answer = received.get_future();
        InterruptWatcher watcher([&](int signal) { received.set_value(signal); });
        ASSERT_TRUE(watcher.active());
        std::raise(sent);
        EXPECT_EQ(answer.get(), sent);
    }
}

#include "app/InterruptWatcher.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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

// Signals that come after the work is done leave its status alone: while the watcher is still
// there, after it has gone, and a second one that would otherwise end the program at once.
TEST(InterruptWatcherTest, SignalsAfterTheWorkIsDoneChangeNothing) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            InterruptWatcher watcher([](int) { ::_exit(20); }, [](int) { ::_exit(21); });
            watcher.finish();
            std::raise(SIGTERM);
            std::raise(SIGINT);
            std::raise(SIGHUP);
        }
        std::raise(SIGTERM);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

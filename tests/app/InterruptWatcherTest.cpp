#include "app/InterruptWatcher.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// A signal that the watcher's own thread takes, while it waits for one, reaches the callback
// too: the other threads here hold SIGHUP back, so only the watcher's can take it.
TEST(InterruptWatcherTest, ASignalTakenByTheWatchersThreadReachesTheCallback) {
    std::promise<int> received;
    auto answer = received.get_future();
    InterruptWatcher watcher([&](int signal) { received.set_value(signal); });
    ASSERT_TRUE(watcher.active());
    sigset_t hangUp, before;
    sigemptyset(&hangUp);
    sigaddset(&hangUp, SIGHUP);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &hangUp, &before), 0);
    ::kill(::getpid(), SIGHUP);
    // Bounded only so that a lost signal fails the test rather than hanging it.
    const auto ready = answer.wait_for(std::chrono::seconds(60));
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ASSERT_EQ(ready, std::future_status::ready);
    EXPECT_EQ(answer.get(), SIGHUP);
}

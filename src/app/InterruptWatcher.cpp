#include "app/InterruptWatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <iterator>

namespace {

// Shared with the handler; lock-free atomics are safe to use inside it. The watcher's
// constructor sets them before the handlers go in.
std::atomic<int> gWriteFd{-1};
std::atomic<int> gSignalsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[std::size(kSignals)]{};

// The byte a second signal writes: its number with the high bit set.
constexpr unsigned char kQuitBit = 0x80;

[[noreturn]] void StopAtOnce(int signal) {
    constexpr char kMessage[] = "\nStopped at once.\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    ::_exit(128 + signal);
}

// Counts a signal, wherever it was taken, and answers the byte that tells the watcher's loop
// of it; a third signal ends the process here. Safe inside a handler.
unsigned char CountedSignal(int signal, bool watching) {
    const int seen = gSignalsSeen.fetch_add(1);
    if (seen >= 2 || !watching) StopAtOnce(signal);
    return static_cast<unsigned char>(signal) | (seen == 1 ? kQuitBit : 0);
}

extern "C" void OnStopSignal(int signal) {
    const int savedErrno = errno;
    const int fd = gWriteFd.load();
    const unsigned char byte = CountedSignal(signal, fd >= 0);
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    errno = savedErrno;
}

sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kSignals) sigaddset(&set, signal);
    return set;
}

}  // namespace

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt,
                                   std::function<void(int)> onQuit)
    : onInterrupt_(std::move(onInterrupt)), onQuit_(std::move(onQuit)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::cerr << (std::string("cannot watch for Ctrl-C: ") + std::strerror(errno) + "\n");
        return;
    }
    readFd_ = fds[0];
    gWriteFd = fds[1];
    gSignalsSeen = 0;

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &gPrevious[i]);
    active_ = true;

    // The watcher's thread holds the three signals back and takes them from a signal
    // descriptor instead: one that no other thread takes (they all hold it back, as a program
    // may do) still reaches it, and it never depends on when a runtime gets round to running a
    // handler on this thread (ThreadSanitizer's puts a handler off until the thread enters a
    // call it knows to wait). Other threads take them with the handler above.
    const sigset_t watched = WatchedSignals();
    sigset_t callerMask;
    ::pthread_sigmask(SIG_BLOCK, &watched, &callerMask);  // inherited by the new thread
    const int signalFd = ::signalfd(-1, &watched, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) std::cerr << (std::string("cannot watch for signals held back: ") + std::strerror(errno) + "\n");
    thread_ = std::jthread([this, signalFd] {
        // Answers false when the watcher is to stop.
        const auto take = [this](unsigned char byte) {
            // A zero byte is the watcher's own request to stop.
            if (byte == 0) return false;
            if (finished_) return true;
            const int signal = byte & ~kQuitBit;
            if ((byte & kQuitBit) == 0) {
                if (onInterrupt_) onInterrupt_(signal);
                return true;
            }
            if (onQuit_) onQuit_(signal);
            StopAtOnce(signal);
        };
        for (bool watching = true; watching;) {
            pollfd ready[2] = {{readFd_, POLLIN, 0}, {signalFd, POLLIN, 0}};
            if (::poll(ready, signalFd >= 0 ? 2 : 1, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (signalFd >= 0 && (ready[1].revents & POLLIN) != 0) {
                signalfd_siginfo info{};
                while (watching && ::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
                    watching = take(CountedSignal(static_cast<int>(info.ssi_signo), true));
            }
            if (!watching || (ready[0].revents & (POLLIN | POLLHUP)) == 0) continue;
            unsigned char byte = 0;
            const ssize_t n = ::read(readFd_, &byte, 1);
            if (n < 0 && errno == EINTR) continue;
            watching = n > 0 && take(byte);
        }
        if (signalFd >= 0) ::close(signalFd);
    });
    ::pthread_sigmask(SIG_SETMASK, &callerMask, nullptr);
}

void InterruptWatcher::finish() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : kSignals) ::sigaction(signal, &ignore, nullptr);
    finished_ = true;
}

InterruptWatcher::~InterruptWatcher() {
    if (!active_) return;
    if (!finished_)
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    const int writeFd = gWriteFd.load();
    const unsigned char stop = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(writeFd, &stop, 1);
    if (thread_.joinable()) thread_.join();
    gWriteFd = -1;
    ::close(writeFd);
    ::close(readFd_);
}

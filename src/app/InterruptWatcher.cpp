#include "app/InterruptWatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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

extern "C" void OnStopSignal(int signal) {
    const int savedErrno = errno;
    const int seen = gSignalsSeen.fetch_add(1);
    const int fd = gWriteFd.load();
    if (seen >= 2 || fd < 0) {
        constexpr char kMessage[] = "\nStopped at once.\n";
        [[maybe_unused]] const ssize_t ignored =
            ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        ::_exit(128 + signal);
    }
    const unsigned char byte = static_cast<unsigned char>(signal) | (seen == 1 ? kQuitBit : 0);
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    errno = savedErrno;
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

    thread_ = std::jthread([this] {
        for (;;) {
            // Waits in poll() rather than in read(): a signal this thread takes while it waits
            // must run its handler at once, and some runtimes (ThreadSanitizer's among them) run
            // handlers only inside waits they know to be interruptible, putting off a signal
            // that arrives during a plain read() until the read returns, which here is never.
            pollfd ready{readFd_, POLLIN, 0};
            if (::poll(&ready, 1, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            unsigned char byte = 0;
            const ssize_t n = ::read(readFd_, &byte, 1);
            if (n < 0 && errno == EINTR) continue;
            // A zero byte (or the pipe's end) is the watcher's own request to stop.
            if (n <= 0 || byte == 0) return;
            if (finished_) continue;
            const int signal = byte & ~kQuitBit;
            if ((byte & kQuitBit) == 0) {
                if (onInterrupt_) onInterrupt_(signal);
                continue;
            }
            if (onQuit_) onQuit_(signal);
            constexpr char kMessage[] = "\nStopped at once.\n";
            [[maybe_unused]] const ssize_t ignored =
                ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
            ::_exit(128 + signal);
        }
    });
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

#include "app/BackupTask.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

constexpr std::size_t kKeptLines = 40;
constexpr std::size_t kMaxLine = 4096;

}  // namespace

BackupTask::~BackupTask() {
    terminate();
}

int BackupTask::percentIn(const std::string& line) {
    int found = -1;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%' || i == 0) continue;
        std::size_t start = i;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(line[start - 1])) && i - start < 3) --start;
        if (start == i) continue;
        const int value = std::stoi(line.substr(start, i - start));
        if (value <= 100) found = value;
    }
    return found;
}

bool BackupTask::launch(const std::string& program, const std::vector<std::string>& arguments,
                        Callbacks callbacks, std::string* error) {
    std::lock_guard lock(mutex_);
    if (running_) {
        if (error) *error = "a backup is already running";
        return false;
    }
    if (reader_.joinable()) reader_.join();  // the previous tool has ended
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        if (error) *error = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (devNull >= 0) posix_spawn_file_actions_adddup2(&actions, devNull, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int spawned = ::posix_spawnp(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (devNull >= 0) ::close(devNull);
    if (spawned != 0) {
        ::close(fds[0]);
        if (error) *error = "cannot start " + program + ": " + std::strerror(spawned);
        return false;
    }
    pid_ = child;
    running_ = true;
    lines_.clear();
    reader_ = std::thread([this, fd = fds[0], callbacks = std::move(callbacks)] { readOutput(fd, callbacks); });
    return true;
}

void BackupTask::readOutput(int fd, Callbacks callbacks) {
    std::string line;
    int lastPercent = -1;
    const auto endLine = [&] {
        if (line.empty()) return;
        const int percent = percentIn(line);
        if (percent >= 0 && percent != lastPercent) {
            lastPercent = percent;
            if (callbacks.progress) callbacks.progress(percent);
        }
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
        if (lines_.size() > kKeptLines) lines_.pop_front();
        line.clear();
    };
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[static_cast<std::size_t>(i)];
            if (c == '\n' || c == '\r')
                endLine();
            else if (line.size() < kMaxLine)
                line += c;
        }
    }
    endLine();
    ::close(fd);

    pid_t child = -1;
    {
        std::lock_guard lock(mutex_);
        child = pid_;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const int result = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 255;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        pid_ = -1;
        endedChanged_.notify_all();
    }
    if (callbacks.ended) callbacks.ended(result);
}

bool BackupTask::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void BackupTask::terminate(std::chrono::milliseconds grace) {
    {
        std::unique_lock lock(mutex_);
        if (running_ && pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            if (!endedChanged_.wait_for(lock, grace, [&] { return !running_; }) && pid_ > 0)
                ::kill(-pid_, SIGKILL);
        }
    }
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
}

std::vector<std::string> BackupTask::lastLines() const {
    std::lock_guard lock(mutex_);
    return {lines_.begin(), lines_.end()};
}

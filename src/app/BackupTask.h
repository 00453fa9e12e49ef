#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The backup tool run as a child process in a process group of its own. Its standard output
// and standard error are read on a thread of its own, so it never blocks on a full pipe; the
// percentages it prints are reported as they change, and its end is reported with its
// termination status.
class BackupTask {
public:
    struct Callbacks {
        // A new percentage (0 to 100) on the tool's output; on the reading thread.
        std::function<void(int percent)> progress;
        // The tool has ended: its exit status, or 128 plus the signal that ended it; on the
        // reading thread.
        std::function<void(int status)> ended;
    };

    BackupTask() = default;
    // Stops a tool that still runs.
    ~BackupTask();
    BackupTask(const BackupTask&) = delete;
    BackupTask& operator=(const BackupTask&) = delete;

    // Starts the program (found on PATH when the name has no "/") with the arguments. False,
    // with the reason in `error`, when it could not be started.
    bool launch(const std::string& program, const std::vector<std::string>& arguments,
                Callbacks callbacks, std::string* error);
    bool isRunning() const;
    // Stops a running tool: SIGTERM to its process group, SIGKILL if it is still there after
    // `grace`; waits for the reading thread. The end is still reported.
    void terminate(std::chrono::milliseconds grace = std::chrono::seconds(5));
    // The last lines the tool wrote (at most a few dozen).
    std::vector<std::string> lastLines() const;

    // The last percentage in a line of the tool's output ("[====   ] 42% (1.2 MB/3.4 MB)" gives
    // 42); none without one.
    static int percentIn(const std::string& line);

private:
    void readOutput(int fd, Callbacks callbacks);

    mutable std::mutex mutex_;
    std::condition_variable endedChanged_;
    pid_t pid_ = -1;
    bool running_ = false;
    std::deque<std::string> lines_;
    std::thread reader_;
};

#include "app/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

extern char** environ;

namespace {

// Both ends close on exec; the child gets its copies through dup2, which clears that flag.
struct Pipe {
    int read = -1;
    int write = -1;
    bool open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    static void close(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    ~Pipe() {
        close(read);
        close(write);
    }
};

void LogFailure(const std::string& what, const std::string& program, int error) {
    std::cerr << ("runThisCmd: " + what + " " + program + ": " + std::strerror(error) + "\n");
}

}  // namespace

std::string ChildProcess::runThisCmd(const std::string& program,
                                     const std::vector<std::string>& args) {
    Pipe input, output;
    if (!input.open() || !output.open()) {
        LogFailure("no pipe for", program, errno);
        return {};
    }

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.write, STDOUT_FILENO);
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        LogFailure("cannot start", program, spawned);
        return {};
    }

    // The child reads an empty input; our copy of its output's write end must go, or the read
    // below would never see the end.
    Pipe::close(input.read);
    Pipe::close(input.write);
    Pipe::close(output.write);

    std::string text;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t n = ::read(output.read, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            LogFailure("cannot read the output of", program, errno);
            break;
        }
        if (n == 0) break;
        const std::size_t room = kMaxOutputBytes - text.size();
        text.append(buffer.data(), std::min(room, static_cast<std::size_t>(n)));
    }
    Pipe::close(output.read);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return text;
}

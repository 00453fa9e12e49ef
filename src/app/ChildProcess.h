#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Runs a program as a child process, without a shell: the arguments reach it exactly as given.
class ChildProcess {
public:
    // Output beyond this is read and dropped, so a chatty child can neither block on a full
    // pipe nor make us hold its whole output.
    static constexpr std::size_t kMaxOutputBytes = 16u << 20;

    // Starts the program at the path with the arguments (not counting the program itself), its
    // standard input a pipe that is closed at once and its standard output a pipe; reads the
    // output to the end, waits for the child and returns the output (UTF-8 as the child wrote
    // it). Empty, with a line on stderr, when the program cannot be started.
    static std::string runThisCmd(const std::string& program, const std::vector<std::string>& args);
};

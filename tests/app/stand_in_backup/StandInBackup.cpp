// A stand-in for the device backup tool, for tests: answers "--udid UDID backup --full DIR" by
// copying a prepared backup folder into DIR/UDID, printing progress the way the real tool
// does, and ending with the status the test asks for. Steered by the environment:
//   TORVANE_STANDIN_SOURCE    the backup folder to copy (none: nothing is written)
//   TORVANE_STANDIN_STATUSES  exit statuses of the first, second, ... run ("1,0"; default 0)
//   TORVANE_STANDIN_LOG       a file that gets one line per run: the arguments, then the pid
//   TORVANE_STANDIN_HANG      "1": wait (until killed) before copying

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string udid, folder;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--udid" && i + 1 < args.size()) udid = args[++i];
        else if (args[i] != "backup" && args[i] != "--full") folder = args[i];
    }
    int run = 0;
    if (const char* log = std::getenv("TORVANE_STANDIN_LOG")) {
        std::ifstream in(log);
        std::string line;
        while (std::getline(in, line)) ++run;
        std::ofstream out(log, std::ios::app);
        for (const std::string& a : args) out << a << ' ';
        out << "pid " << ::getpid() << '\n';
    }
    if (udid.empty() || folder.empty()) {
        std::cerr << "usage: " << argv[0] << " --udid UDID backup --full DIRECTORY\n";
        return 2;
    }
    if (const char* hang = std::getenv("TORVANE_STANDIN_HANG"); hang && std::string(hang) == "1")
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));

    std::cout << "Backup directory is \"" << folder << "\"\nStarting backup...\n";
    for (int percent : {0, 25, 50, 100}) {
        std::cout << "\r[";
        for (int i = 0; i < 50; ++i) std::cout << (i < percent / 2 ? '=' : ' ');
        std::cout << "] " << percent << "% Finished" << std::flush;
    }
    std::cout << '\n';
    if (const char* source = std::getenv("TORVANE_STANDIN_SOURCE"); source && *source) {
        std::error_code error;
        fs::create_directories(fs::path(folder) / udid, error);
        fs::copy(source, fs::path(folder) / udid, fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
        if (error) {
            std::cerr << "copy failed: " << error.message() << '\n';
            return 3;
        }
    }
    int status = 0;
    if (const char* statuses = std::getenv("TORVANE_STANDIN_STATUSES")) {
        std::stringstream list(statuses);
        std::string item;
        for (int i = 0; std::getline(list, item, ','); ++i) {
            status = std::atoi(item.c_str());
            if (i == run) break;
        }
    }
    std::cout << (status == 0 ? "Backup Successful.\n" : "Backup Failed.\n");
    return status;
}

// scan_peak: the peak resident memory and the time of `torvane-scan BACKUP --type messages
// --fast --export DIR` on a generated backup with one large messages database
// (tools/large-backup). The scanner runs as a process of its own, so its peak is its own and
// nothing of the generator's; the peak is what the kernel counted for it (wait4).
//
//   scan_peak [--messages N] [--delete-every-other] [--backup FOLDER] [--scanner PATH]
//             [--runs N]
//
// By default 300,000 messages (a database of about 110 MB, a quarter deleted), written into a
// temporary folder and removed at the end. --messages 4000000 --delete-every-other makes a
// database of about 1.5 GB with half its messages deleted; --backup FOLDER keeps (or reuses) the
// backup there, so that two scanners can be measured on the same file. --scanner measures
// another build of the scanner. Besides the figures it prints a digest of the exported CSV
// files, so that two builds can be shown to export the same.

#include "large-backup/LargeBackup.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Run {
    int status = -1;
    double seconds = 0.0;
    double peakMegabytes = 0.0;
};

// Runs the program with its arguments, its output into `log`; its exit status, time and peak.
Run RunMeasured(const std::vector<std::string>& arguments, const fs::path& log) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    Run run;
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::cerr << "scan_peak: cannot start " << arguments[0] << '\n';
        return run;
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

// FNV-1a over the exported CSV files' names (below the export folder) and contents, in name
// order: equal digests, equal exports.
std::uint64_t ExportDigest(const fs::path& folder, std::size_t& files) {
    std::vector<fs::path> csv;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".csv") csv.push_back(entry.path());
    std::sort(csv.begin(), csv.end());
    std::uint64_t hash = 1469598103934665603ull;
    const auto add = [&hash](char c) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    };
    for (const fs::path& path : csv) {
        for (char c : path.filename().string()) add(c);
        std::ifstream in(path, std::ios::binary);
        for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) add(*it);
    }
    files = csv.size();
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    largebackup::LargeBackupOptions options;
    std::string scanner = TORVANE_SCAN_BINARY;
    fs::path kept;
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--messages" && hasValue) {
            options.messages = std::strtoll(argv[++i], nullptr, 10);
        } else if (argument == "--delete-every-other") {
            options.deleteEveryOther = true;
        } else if (argument == "--backup" && hasValue) {
            kept = argv[++i];
        } else if (argument == "--scanner" && hasValue) {
            scanner = argv[++i];
        } else if (argument == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::cerr << "Usage: scan_peak [--messages N] [--delete-every-other] [--backup FOLDER] "
                         "[--scanner PATH] [--runs N]\n";
            return 2;
        }
    }
    if (options.messages < 1) {
        std::cerr << "scan_peak: --messages needs a positive number\n";
        return 2;
    }

    const fs::path work = fs::temp_directory_path() / ("scan_peak-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path backup = kept.empty() ? work / "backup" : kept;
    fs::path database;
    if (!kept.empty() && fs::exists(backup / "Manifest.mbdb")) {
        std::cout << "Backup reused: " << backup << '\n';
    } else {
        const auto contents = largebackup::WriteLargeBackup(backup, options);
        database = contents.messagesDatabase;
        std::cout << "Backup written: " << contents.existing << " existing and " << contents.deleted
                  << " deleted messages, "
                  << static_cast<double>(fs::file_size(database)) / (1024.0 * 1024.0)
                  << " MB database\n";
    }

    int failed = 0;
    for (int r = 0; r < runs; ++r) {
        const fs::path exported = work / ("export-" + std::to_string(r));
        fs::create_directories(exported);
        const Run run = RunMeasured({scanner, backup.string(), "--type", "messages", "--fast",
                                     "--export", exported.string()},
                                    work / "scan.log");
        std::size_t files = 0;
        const std::uint64_t digest = ExportDigest(exported, files);
        char line[256];
        std::snprintf(line, sizeof line,
                      "scan %d: status %d, %.1f s, peak RSS %.0f MB, %zu CSV files, digest %016llx",
                      r + 1, run.status, run.seconds, run.peakMegabytes, files,
                      static_cast<unsigned long long>(digest));
        std::cout << line << std::endl;
        if (run.status != 0) {
            std::ifstream log(work / "scan.log");
            std::cerr << log.rdbuf();
            ++failed;
        }
        fs::remove_all(exported);
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return failed ? 1 : 0;
}

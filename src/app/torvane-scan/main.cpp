// torvane-scan: the headless front end. Scans an iOS backup folder for every existing and
// every recoverable deleted record and exports them as CSV files, without a display.

#include "app/CrashHandling.h"
#include "app/HeadlessScanner.h"
#include "app/InterruptWatcher.h"
#include "app/ScanCommandLine.h"
#include "common/TemporaryFiles.h"
#include "records/BrimleyAppDelegate.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#ifndef TORVANE_DEMO_BACKUP_DIR
#define TORVANE_DEMO_BACKUP_DIR "demo-backup"
#endif

int main(int argc, char** argv) {
    InstallUncaughtExceptionHandler();
    const std::string program = "torvane-scan";
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedScanCommandLine parsed = ParseScanCommandLine(arguments);
    if (!parsed.options) {
        std::cerr << program << ": " << parsed.error << "\n\n" << ScanUsage(program);
        return HeadlessScanner::kBadCommandLine;
    }
    if (parsed.options->help) {
        std::cout << ScanUsage(program);
        return HeadlessScanner::kScanned;
    }

    HeadlessScanner::Settings settings;
    settings.options = *parsed.options;
    settings.demoBackup = TORVANE_DEMO_BACKUP_DIR;
    // On a terminal the progress line is rewritten in place every second; in a log it is a
    // line of its own every few seconds.
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    settings.window.rewriteProgressLine = terminal;
    settings.window.progressInterval =
        terminal ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(5000);

    // --list-devices reads the devices for at most 1.5 s; a slow machine (a test under a
    // sanitizer) may allow its devices longer.
    if (const char* limit = std::getenv("TORVANE_LISTING_LIMIT_MS"); limit && *limit) {
        char* end = nullptr;
        const long milliseconds = std::strtol(limit, &end, 10);
        if (*end == '\0' && milliseconds > 0 && milliseconds <= 600000)
            settings.listingLimit = std::chrono::milliseconds(milliseconds);
    }

    HeadlessScanner scanner(settings, std::cout, std::cerr, BrimleyAppDelegate::appDelegate());
    // The first signal stops the scan or the export; a second ends the program at once, its
    // temporary files and working copies removed first.
    InterruptWatcher watcher([&scanner](int) { scanner.interrupt(); },
                             [](int) { TemporaryFiles::removeAll(); });
    const int status = scanner.run();
    // Done: a signal from now on must not change the status.
    watcher.finish();
    return status;
}

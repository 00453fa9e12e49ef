// scan_progress: what the window's countdown shows over a whole scan, second by second: the
// bar's share and the remaining time, read from the scan's progress as the window reads it
// (ScanCountdown on ScanWorker::progress()), beside the part the status line names.
//
//   scan_progress large [--messages N]     a backup with one large messages database
//                                          (tools/large-backup, 300,000 messages by default)
//   scan_progress demo [--scale N]         the demo backup with N times its records (1000)
//   scan_progress BACKUP_FOLDER            a backup of your own
//   options: --fast (a fast scan; a full one by default), --interval MS (1000)
//
// Each line: seconds since the scan began, the bar in percent, the remaining time as the label
// says it (or "-" while there is no estimate yet) and the running part's status.

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/DeviceDetails.h"
#include "app/HeadlessDispatcher.h"
#include "app/MainWindow.h"
#include "app/ScanCountdown.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "large-backup/LargeBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "support/FixtureDatabase.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "large";
    largebackup::LargeBackupOptions large;
    int scale = 1000;
    bool fast = false;
    int intervalMs = 1000;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--messages" && i + 1 < argc) large.messages = std::atoll(argv[++i]);
        else if (argument == "--scale" && i + 1 < argc) scale = std::atoi(argv[++i]);
        else if (argument == "--interval" && i + 1 < argc) intervalMs = std::atoi(argv[++i]);
        else if (argument == "--fast") fast = true;
        else {
            std::cerr << "Usage: scan_progress large|demo|BACKUP_FOLDER [--messages N] [--scale N] "
                         "[--fast] [--interval MS]\n";
            return 2;
        }
    }

    testsupport::TempDir dir;
    std::filesystem::path folder = what;
    if (what == "large") {
        folder = dir / "backup";
        largebackup::WriteLargeBackup(folder, large);
    } else if (what == "demo") {
        folder = dir / "backup";
        demo::DemoBackupOptions options;
        options.scale(scale);
        demo::WriteDemoBackup(folder, options);
    }

    testsupport::TempDir work;
    BrimleyAppDelegate record;
    HeadlessDispatcher dispatcher;
    NoAnalytics analytics;
    ApplicationCore core(record, dispatcher, std::make_shared<SilentMainWindow>(), analytics,
                         CoreConfiguration::defaults(), work.path().string().c_str());
    dispatcher.post([&] {
        core.applicationDidFinishLaunching();
        record.BACKUP_DIRECTORY.set(folder.string());
        record._RecoverType = 0;
        record._RecoverMode = fast ? 0 : 1;
        core.deviceDetails().getInfoFromBackup();
    });
    dispatcher.post([&] { dispatcher.stop(); });
    dispatcher.run();
    core.waitForSignatures();

    std::atomic<bool> done{false};
    const auto started = ScanProgress::Clock::now();
    std::jthread sampler([&] {
        ScanCountdown countdown;
        countdown.start();
        std::string label = "-";
        for (int tick = 1; !done; ++tick) {
            const auto next = started + std::chrono::milliseconds(intervalMs) * tick;
            while (!done && ScanProgress::Clock::now() < next)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const auto now = ScanProgress::Clock::now();
            const ScanProgress& progress = core.scanWorker().progress();
            const auto shown = countdown.timerRun(progress, now);
            if (shown.label) label = *shown.label;
            std::printf("%6.1f s  bar %5.1f %%  %-40s %s\n",
                        std::chrono::duration<double>(now - started).count(),
                        100.0 * shown.bar / ScanCountdown::kBarMaximum, label.c_str(),
                        progress.runningStatus().value_or("").c_str());
            std::fflush(stdout);
        }
    });
    core.scanWorker().ExploreBackupDirectoryWithDataType(dataTypeHolder(DataType::DataTypeAll));
    done = true;
    sampler.join();
    std::printf("%6.1f s  the scan has ended: %d existing and %d deleted messages\n",
                std::chrono::duration<double>(ScanProgress::Clock::now() - started).count(),
                record.SMSCount.load(), record.DeletedSMSCount.load());
    return 0;
}

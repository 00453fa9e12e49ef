// Whole scans of a backup with one big messages database (tools/large-backup): the messages
// recovery as the scan runs it (existing rows, the carving of every message table and link
// table, conversion, listing), and the headless front end's whole job with its CSV export.
// Then a whole scan of every type on a large demo backup (tools/demo-backup).
//
// The backup is written once per run into a temporary folder: 300,000 messages of which about
// a fifth are deleted, a database of about 130 MB. TORVANE_BENCH_MESSAGES changes the number of
// messages. Each benchmark runs its scan once (a scan takes seconds) and reports the records it
// found and the process's peak resident memory so far.

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/DeviceDetails.h"
#include "app/HeadlessDispatcher.h"
#include "app/HeadlessScanner.h"
#include "app/MainWindow.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "large-backup/LargeBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "support/FixtureDatabase.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

namespace {

const largebackup::LargeBackupContents& Backup() {
    static testsupport::TempDir dir;
    static const largebackup::LargeBackupContents contents = [] {
        largebackup::LargeBackupOptions options;
        if (const char* messages = std::getenv("TORVANE_BENCH_MESSAGES"))
            options.messages = std::strtoll(messages, nullptr, 10);
        return largebackup::WriteLargeBackup(dir / "backup", options);
    }();
    return contents;
}

double PeakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Report(benchmark::State& state, const BrimleyAppDelegate& record) {
    const auto& backup = Backup();
    state.counters["existing"] = record.SMSCount.load();
    state.counters["deleted_listed"] = record.DeletedSMSCount.load();
    state.counters["deleted_rows"] = static_cast<double>(backup.deleted);
    state.counters["file_MB"] =
        static_cast<double>(std::filesystem::file_size(backup.messagesDatabase)) /
        (1024.0 * 1024.0);
    state.counters["peak_RSS_MB"] = PeakResidentMegabytes();
}

// The messages step of a scan on its own: a core of its own, as the window would start it.
void MessagesRecovery(benchmark::State& state) {
    const auto& backup = Backup();
    for (auto _ : state) {
        state.PauseTiming();
        testsupport::TempDir work;
        BrimleyAppDelegate record;
        HeadlessDispatcher dispatcher;
        NoAnalytics analytics;
        ApplicationCore core(record, dispatcher, std::make_shared<SilentMainWindow>(), analytics,
                             CoreConfiguration::defaults(), work.path().string().c_str());
        dispatcher.post([&] {
            core.applicationDidFinishLaunching();
            record.BACKUP_DIRECTORY.set(backup.folder.string());
            record._RecoverType = 1;
            record._RecoverMode = 0;
            core.deviceDetails().getInfoFromBackup();
        });
        dispatcher.post([&] { dispatcher.stop(); });
        dispatcher.run();
        core.waitForSignatures();
        state.ResumeTiming();

        core.scanWorker().ExploreBackupDirectoryWithDataType(dataTypeHolder(DataType::DataTypeSMS));

        state.PauseTiming();
        Report(state, record);
        state.ResumeTiming();
    }
}
BENCHMARK(MessagesRecovery)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// One run of the headless front end per iteration, in this process, on a fresh working folder;
// `report` adds the benchmark's counters from the results record.
template <class Report>
void RunHeadlessScans(benchmark::State& state, ScanOptions options, Report report) {
    options.fast = true;
    for (auto _ : state) {
        state.PauseTiming();
        testsupport::TempDir work;
        BrimleyAppDelegate record;
        HeadlessScanner::Settings settings;
        settings.options = options;
        settings.workingBase = work.path().c_str();
        std::ostringstream out, err;
        state.ResumeTiming();

        const int status = HeadlessScanner(settings, out, err, record).run();

        state.PauseTiming();
        if (status != HeadlessScanner::kScanned) state.SkipWithError(err.str().c_str());
        report(record);
        state.ResumeTiming();
    }
}

// torvane-scan BACKUP --type messages --fast --export DIR.
void HeadlessScanWithExport(benchmark::State& state) {
    testsupport::TempDir exportDir;
    ScanOptions options;
    options.backupFolder = Backup().folder.string();
    options.dataType = DataType::DataTypeSMS;
    options.exportDirectory = exportDir.path().string();
    RunHeadlessScans(state, options, [&](const BrimleyAppDelegate& record) { Report(state, record); });
}
BENCHMARK(HeadlessScanWithExport)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// torvane-scan BACKUP --fast on the demo backup with 200 times its records (about 100,000 rows
// of every kind, a fifth of them deleted): each type's existing rows, names and carving.
void HeadlessScanOfEveryType(benchmark::State& state) {
    static testsupport::TempDir dir;
    static const demo::DemoBackupContents backup = [] {
        demo::DemoBackupOptions options;
        options.scale(200);
        return demo::WriteDemoBackup(dir / "backup", options);
    }();
    ScanOptions options;
    options.backupFolder = backup.folder.string();
    RunHeadlessScans(state, options, [&](const BrimleyAppDelegate& record) {
        state.counters["calls"] = record.CallLogCount.load();
        state.counters["deleted_calls"] = record.DeletedCallLogCount.load();
        state.counters["peak_RSS_MB"] = PeakResidentMegabytes();
    });
}
BENCHMARK(HeadlessScanOfEveryType)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

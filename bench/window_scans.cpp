// window_scans: the window's resident memory over scans one after the other, as a user runs
// them: the backup chosen on the home screen, a scan of every type, the report closed, and the
// next scan. After each scan it prints the peak of that scan (the kernel's high-water mark, reset
// before the scan) and the memory held once the window has settled.
//
//   window_scans [BACKUP_FOLDER] [--messages N] [--scans N] [--fast]
//
// Without a folder, a backup with one large messages database (tools/large-backup, 300,000
// messages by default) is written into a temporary folder. Runs offscreen unless
// QT_QPA_PLATFORM says otherwise.

#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "large-backup/LargeBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/TorvaneApplication.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A line of /proc/self/status in megabytes ("VmRSS", "VmHWM").
double StatusMegabytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0) return std::atof(line.c_str() + key.size() + 1) / 1024.0;
    return 0.0;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > seconds * 1000LL) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

void Settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(10);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    largebackup::LargeBackupOptions large;
    std::string folder;
    int scans = 4;
    bool fast = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--messages" && i + 1 < argc) large.messages = std::atoll(argv[++i]);
        else if (argument == "--scans" && i + 1 < argc) scans = std::atoi(argv[++i]);
        else if (argument == "--fast") fast = true;
        else if (argument[0] != '-' && folder.empty()) folder = argument;
        else {
            std::cerr << "Usage: window_scans [BACKUP_FOLDER] [--messages N] [--scans N] [--fast]\n";
            return 2;
        }
    }
    const fs::path work = fs::temp_directory_path() / ("window_scans-" + std::to_string(getpid()));
    fs::create_directories(work);
    if (folder.empty()) {
        folder = (work / "backup").string();
        largebackup::WriteLargeBackup(folder, large);
    }

    int failed = 0;
    {
        BrimleyAppDelegate record;
        NoAnalytics analytics;
        TorvaneApplication::Options options;
        options.record = &record;
        options.analytics = &analytics;
        options.updateCheck = false;
        options.listenForDevices = false;
        options.banner = false;
        const std::string workingBase = (work / "working").string();
        fs::create_directories(workingBase);
        options.workingBase = workingBase.c_str();
        TorvaneApplication application(options);
        application.start();
        MainMenu& window = application.window();
        Settle(500);
        std::printf("started: RSS %.0f MB\n", StatusMegabytes("VmRSS"));

        for (int scan = 1; scan <= scans; ++scan) {
            ResetPeak();
            QElapsedTimer timer;
            timer.start();
            window.showScreen(ScreenState::ScreenHome);
            window.openBackupFolder(QString::fromStdString(folder));
            // The last entry: every type.
            window.homeScreen()->dataTypeCombo->setCurrentIndex(window.homeScreen()->dataTypeCombo->count() - 1);
            if (fast)
                window.homeScreen()->fastRecover();
            else
                window.homeScreen()->fullRecover();
            const bool ended =
                WaitUntil([&] { return window.dashboard() && window.dashboard()->isVisible(); }, 1800) &&
                WaitUntil([&] { return !application.core().scanWorker().isRunning(); }, 1800);
            const double seconds = timer.elapsed() / 1000.0;
            const double peak = StatusMegabytes("VmHWM");
            window.dashboard()->close();
            Settle(2000);
            std::printf("scan %d: %s in %.1f s, %d existing and %d deleted messages, peak RSS %.0f MB, "
                        "RSS after it %.0f MB\n",
                        scan, ended ? "ended" : "DID NOT END", seconds, record.SMSCount.load(),
                        record.DeletedSMSCount.load(), peak, StatusMegabytes("VmRSS"));
            std::fflush(stdout);
            if (!ended) {
                ++failed;
                break;
            }
        }
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return failed;
}

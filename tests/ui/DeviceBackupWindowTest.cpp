#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/DeviceBackup.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "device/DeviceTestSupport.h"
#include "records/BrimleyAppDelegate.h"
#include "support/DeviceSimulator.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUdid = "d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4";

}  // namespace

// A backup of the connected device that is followed by no scan, started from the home screen's
// start button with the simulated device and the stand-in backup tool: whatever ended it, the
// window is back on a home screen that can start again.
class DeviceBackupWindowTest : public QObject {
    Q_OBJECT
    DeviceSimulator simulator;
    UiFixture f;
    QTemporaryDir dir;
    fs::path root;

    MainMenu& w() { return f.application->window(); }
    InfoReaderViewController* home() { return w().homeScreen(); }

private slots:
    void initTestCase() {
        root = dir.path().toStdString();
        // The stand-in backup tool, first on the PATH under the real tool's name.
        fs::create_directories(root / "bin");
        fs::create_symlink(TORVANE_STANDIN_BACKUP, root / "bin" / "idevicebackup2");
        ::setenv("PATH", ((root / "bin").string() + ":" + std::getenv("PATH")).c_str(), 1);
        demo::DemoBackupOptions small;
        small.messages = 6;
        small.contacts = 4;
        demo::WriteDemoBackup(root / "whole", small);
        demo::WriteDemoBackup(root / "without-info", small);
        fs::remove(root / "without-info" / "Info.plist");
        simulator.setEnvironment();
        simulator.attach(TestPhone(kUdid, "Anna's iPhone"));
        f.start(std::nullopt, true);
        QVERIFY(WaitFor([&] { return f.record.isDeviceConnected.load(); }, 20000));
    }

    void aBackupWithoutAScanEndsOnAWorkingHomeScreen_data() {
        QTest::addColumn<QString>("statuses");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<QString>("button");
        QTest::newRow("the tool fails") << "3" << "whole" << DeviceBackup::kBackupFailedMessage << "Close";
        QTest::newRow("cancel at the passcode question")
            << "1" << "whole" << DeviceBackup::kPasscodeQuestion << "Cancel";
        QTest::newRow("no to the missing description files")
            << "0" << "without-info" << DeviceBackup::kMissingFilesQuestion << "No";
    }
    void aBackupWithoutAScanEndsOnAWorkingHomeScreen() {
        QFETCH(QString, statuses);
        QFETCH(QString, source);
        QFETCH(QString, alert);
        QFETCH(QString, button);
        ::setenv("TORVANE_STANDIN_STATUSES", statuses.toUtf8().constData(), 1);
        ::setenv("TORVANE_STANDIN_SOURCE", (root / source.toStdString()).c_str(), 1);
        const fs::path log = root / ("tool-" + source.toStdString() + "-" + statuses.toStdString() + ".log");
        ::setenv("TORVANE_STANDIN_LOG", log.c_str(), 1);

        fs::remove_all(fs::path(w().mobileSyncFolder()) / kUdid);  // what an earlier row's tool wrote
        w().showScreen(ScreenState::ScreenHome);
        home()->returnMainScreen();
        QVERIFY(home()->btnDeviceRecover->isVisible());
        QString seen;
        AnswerNextMessageBox(button, &seen);
        home()->btnDeviceRecover->click();
        QVERIFY(home()->progressBar->isVisible());  // backing up
        QVERIFY(!home()->btnItunes->isEnabled());
        QVERIFY(WaitFor([&] { return !seen.isEmpty(); }));
        QCOMPARE(seen, alert);
        QVERIFY(WaitFor([&] { return home()->isVisible(); }, 5000));

        // The home screen as before the backup: device mode, the start button and the data
        // type ready, both mode buttons usable, nothing of the backup shown, no countdown.
        QCOMPARE(f.record.PresentScreen.load(), ToCode(ScreenState::ScreenHome));
        QVERIFY(!w().countdownRunning());
        QCOMPARE(home()->selectedTab, 0);
        QVERIFY(home()->btnDeviceRecover->isVisible());
        QVERIFY(home()->btnDeviceRecover->isEnabled());
        QVERIFY(home()->dataTypeCombo->isVisible());
        QVERIFY(home()->btnIos->isEnabled());
        QVERIFY(home()->btnItunes->isEnabled());
        QVERIFY(!home()->progressBar->isVisible());
        QVERIFY(!home()->progressCircle->isVisible());
        QVERIFY(!home()->txtBackup->isVisible());
        QVERIFY(!f.application->core().scanWorker().isRunning());
        // The backup-folder mode opens and the device mode comes back.
        home()->btnItunes->click();
        QCOMPARE(home()->selectedTab, 1);
        home()->btnIos->click();
        QCOMPARE(home()->selectedTab, 0);
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(DeviceBackupWindowTest)
#include "DeviceBackupWindowTest.moc"

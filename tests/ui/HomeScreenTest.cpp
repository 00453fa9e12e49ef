#include "UiFixture.h"
#include "UiTestSupport.h"
#include "common/AppPaths.h"
#include "demo-backup/DemoBackup.h"
#include "records/DeviceInfo.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

class HomeScreenTest : public QObject {
    Q_OBJECT
    UiFixture f;

private slots:
    void initTestCase() { f.start(); }

    void listsTheBackupsInTheBackupFolder() {
        MainMenu& w = f.application->window();
        const std::filesystem::path folder(w.mobileSyncFolder());
        std::filesystem::create_directories(folder / "not-a-backup");
        demo::DemoBackupOptions small;
        small.messages = 4;
        small.photos = 1;
        const auto contents = demo::WriteDemoBackup(folder / std::string(40, 'a'), small);
        w.showScreen(ScreenState::ScreenHome);
        w.homeScreen()->recoverFromMac();
        InfoReaderViewController* home = w.homeScreen();
        QCOMPARE(home->selectedTab, 1);
        QCOMPARE(home->iTunesBackupTable->rowCount(), 1);
        QCOMPARE(home->iTunesBackupTable->item(0, 0)->text(), QString::fromStdString(contents.deviceName));
        QVERIFY(home->iTunesBackupScanButton->isVisible());
        QVERIFY(!home->iTunesBackupNoFilesMessage->isVisible());
        QVERIFY(f.saw("message RecoverFromITunesScreen"));
        QCOMPARE(home->txtDeviceName->text(), QString::fromStdString(contents.deviceName));
        std::filesystem::remove_all(folder);
        home->recoverFromMac();
        QCOMPARE(home->iTunesBackupTable->rowCount(), 0);
        QVERIFY(home->iTunesBackupNoFilesMessage->isVisible());
    }

    void refusesAFolderThatIsNoBackup() {
        MainMenu& w = f.application->window();
        QTemporaryDir plain;
        QString message;
        AnswerNextMessageBox(QStringLiteral("OK"), &message);
        w.homeScreen()->findBackup(plain.path());
        QCOMPARE(message, QStringLiteral("The folder you selected does not contain available iTunes "
                                         "backup files or has been corrupted!"));
        QVERIFY(!w.homeScreen()->deviceInfo());
        QCOMPARE(f.record.BACKUP_DIRECTORY.get(), plain.path().toStdString());
    }

    void deviceModeWithoutADevice() {
        MainMenu& w = f.application->window();
        InfoReaderViewController* home = w.homeScreen();
        home->returnMainScreen();
        QCOMPARE(home->selectedTab, 0);
        QVERIFY(home->viewDataReader->isVisible());
        QVERIFY(!home->btnDeviceRecover->isVisible());
        QVERIFY(home->txtTip1->isVisible());
        QString message;
        AnswerNextMessageBox(QStringLiteral("Close"), &message);
        home->deviceRecover();
        QCOMPARE(message, QStringLiteral("Device not Found, please reconnect"));
        QCOMPARE(InfoReaderViewController::convertToDataTypefromSelection(-1), DataType::DataTypeAll);
        QCOMPARE(InfoReaderViewController::convertToDataTypefromSelection(5), DataType::DataTypePhotosVideos);
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(HomeScreenTest)
#include "HomeScreenTest.moc"

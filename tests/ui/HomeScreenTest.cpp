#include "UiFixture.h"
#include "UiTestSupport.h"
#include "common/AppPaths.h"
#include "demo-backup/DemoBackup.h"
#include "records/DeviceInfo.h"
#include "support/BackupBuilder.h"
#include "ui/Dialogs.h"
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

    // Every kind a scan reads can be chosen on its own, and the last entry, a scan of all of
    // them, names each.
    void theScanTypeListOffersEveryKindAndNamesThemInItsLastEntry() {
        QComboBox* combo = f.application->window().homeScreen()->dataTypeCombo;
        const struct {
            DataType type;
            const char* caption;
        } kinds[] = {{DataType::DataTypeSMS, "Messages"},        {DataType::DataTypeContacts, "Contacts"},
                     {DataType::DataTypeCallHistory, "Calls"},   {DataType::DataTypeNotes, "Notes"},
                     {DataType::DataTypeInternetHistory, "Safari"}, {DataType::DataTypePhotosVideos, "Photos"},
                     {DataType::DataTypeWhatsApp, "WhatsApp"},  {DataType::DataTypeCalendar, "Calendar"}};
        QCOMPARE(combo->count(), static_cast<int>(std::size(kinds)) + 1);
        const QString all = combo->itemText(combo->count() - 1);
        QCOMPARE(InfoReaderViewController::convertToDataTypefromSelection(combo->count() - 1), DataType::DataTypeAll);
        for (const auto& kind : kinds) {
            const int at = InfoReaderViewController::selectionOfDataType(kind.type);
            QCOMPARE(InfoReaderViewController::convertToDataTypefromSelection(at), kind.type);
            QVERIFY2(combo->itemText(at).contains(QString::fromLatin1(kind.caption)), qPrintable(combo->itemText(at)));
            QVERIFY2(all.contains(combo->itemText(at)), qPrintable(all));
        }
    }

    // Two backups opened with Browse, the second one scanned: after "Start Scan" and OK the home
    // screen has that backup chosen still, so Enter scans it again, not the first one.
    void theBackupJustScannedStaysChosen() {
        MainMenu& w = f.application->window();
        QTemporaryDir backups;
        const std::filesystem::path folder(backups.path().toStdString());
        demo::DemoBackupOptions small = UiFixture::SmallDemoBackup();
        small.photos = 0;
        demo::WriteDemoBackup(folder / std::string(40, 'a'), small);
        testsupport::DeviceDetails other;
        other.deviceName = other.displayName = "Other iPhone";
        other.uniqueIdentifier = std::string(40, 'b');
        testsupport::BackupBuilder(folder / std::string(40, 'b')).writePlists(other);
        w.showScreen(ScreenState::ScreenHome);
        InfoReaderViewController* home = w.homeScreen();
        w.openBackupFolder(QString::fromStdString((folder / std::string(40, 'a')).string()));
        w.openBackupFolder(QString::fromStdString((folder / std::string(40, 'b')).string()));
        QCOMPARE(home->iTunesBackupTable->rowCount(), 2);
        QCOMPARE(home->txtDeviceName->text(), QStringLiteral("Other iPhone"));
        home->fullRecover();
        QVERIFY(f.waitForReport());
        w.dashboard()->close();
        // "Start Scan", then OK.
        w.Notification1();
        auto* question = static_cast<Notification1WindowController*>(w.openDialog("Notification1WindowController"));
        QVERIFY(question);
        question->ok();
        QCOMPARE(f.record.PresentScreen.load(), ToCode(ScreenState::ScreenHome));
        QCOMPARE(home->iTunesBackupTable->rowCount(), 2);
        const auto chosen = home->iTunesBackupTable->selectionModel()->selectedRows();
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(home->iTunesBackupTable->item(chosen.front().row(), 0)->text(), QStringLiteral("Other iPhone"));
        QCOMPARE(home->txtDeviceName->text(), QStringLiteral("Other iPhone"));
        QVERIFY(std::filesystem::equivalent(f.record.BACKUP_DIRECTORY.get(), folder / std::string(40, 'b')));
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(HomeScreenTest)
#include "HomeScreenTest.moc"

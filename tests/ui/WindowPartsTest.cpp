#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/DeviceBackup.h"
#include "app/ScanWorker.h"
#include "app/WorkingFolder.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "device/DeviceTestSupport.h"
#include "device/MobileDeviceAccess.h"
#include "records/Photo.h"
#include "support/DeviceSimulator.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MacRecovery.h"
#include "ui/MainMenu.h"
#include "ui/StatusMenu.h"
#include "ui/WindowStartup.h"

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace {

constexpr const char* kUdid = "b1b2b3b4b5b6b7b8b9b0b1b2b3b4b5b6b7b8b9b0";

QString Text(LanguageKey key) {
    return QString::fromStdString(LanguageConfig::sharedObject().text(key).value_or(""));
}

}  // namespace

// The window's start-up (panel picture, place on the screen), the home screen's mode pictures,
// its fast recovery and device reading, the photo caption, opening a backup by its files and
// the status menu.
class WindowPartsTest : public QObject {
    Q_OBJECT
    DeviceSimulator simulator;
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;

    MainMenu& w() { return f.application->window(); }
    InfoReaderViewController* home() { return w().homeScreen(); }

    void waitForTheScanAndItsReport() {
        QVERIFY(f.waitForReport());
        w().dashboard()->close();
    }

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options;
        options.messages = 6;
        options.contacts = 4;
        options.photos = 3;
        contents = demo::WriteDemoBackup(std::filesystem::path(dir.path().toStdString()) / "backup", options);
        simulator.setEnvironment();
        f.start(std::nullopt, true);
    }

    // Without a device the home screen is built in its disconnected look, but no device has
    // left: nothing says so.
    void buildingTheHomeScreenSendsNoDepartureEvent() {
        QVERIFY(home());
        QVERIFY(!home()->btnDeviceRecover->isVisible());
        QVERIFY(home()->txtTip1->isVisible());
        QVERIFY(!f.saw("message ConnectYourDeviceScreen"));
        QVERIFY(!f.saw("message DeviceConnectedScreen"));
    }

    void theWindowStartsCentredOnItsScreen() {
        QScreen* screen = w().screen();
        QVERIFY(screen);
        QCOMPARE(w().frameGeometry().topLeft(),
                 WindowStartup::centredPosition(w().frameGeometry().size(), screen->availableGeometry()));
        using WindowStartup::centredPosition;
        QCOMPARE(centredPosition(QSize(800, 600), QRect(0, 0, 1920, 1080)), QPoint(560, 240));
        QCOMPARE(centredPosition(QSize(800, 600), QRect(100, 30, 1000, 800)), QPoint(200, 130));
        // Larger than the screen: the title bar stays reachable.
        QCOMPARE(centredPosition(QSize(1200, 900), QRect(0, 24, 1024, 744)), QPoint(0, 24));
    }

    void thePanelPictureCanBeReplaced_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("custom");
        QTest::newRow("a readable picture") << QByteArray("png") << true;
        QTest::newRow("not a picture") << QByteArray("this is no picture") << false;
        QTest::newRow("no file") << QByteArray() << false;
    }
    void thePanelPictureCanBeReplaced() {
        QFETCH(QByteArray, file);
        QFETCH(bool, custom);
        QTemporaryDir program;
        const QString path = program.filePath(QString::fromLatin1(WindowStartup::kCustomPanelImage));
        if (file == "png") {
            QImage picture(80, 40, QImage::Format_RGB32);
            picture.fill(QColor(200, 30, 40));
            QVERIFY(picture.save(path, "PNG"));
        } else if (!file.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(file);
        }
        w().programFolder = program.path();
        w().showMainPanelImage();
        QCOMPARE(w().customPanelImage, custom);
        const QImage shown = w().imgRecoveryPanel->pixmap().toImage();
        QVERIFY(!shown.isNull());
        const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        QCOMPARE(middle == QColor(200, 30, 40), custom);
    }

    void theModeButtonsShowTheirHoverPictures_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("left");
        QTest::newRow("device button in device mode")
            << 0 << "btnIos" << "iphone-text-active-hover.png" << "iphone-current_03.png";
        QTest::newRow("device button in backup mode")
            << 1 << "btnIos" << "iphone-text-active-hover.png" << "iphone-active_03.png";
        QTest::newRow("backup button in device mode")
            << 0 << "btnItunes" << "itunes-current_03.png" << "itunes-active_03.png";
        QTest::newRow("backup button in backup mode")
            << 1 << "btnItunes" << "itunes-current_03.png" << "itunes-current_03.png";
    }
    void theModeButtonsShowTheirHoverPictures() {
        QFETCH(int, mode);
        QFETCH(QString, button);
        QFETCH(QString, entered);
        QFETCH(QString, left);
        if (mode == 0) home()->returnMainScreen(); else home()->recoverFromMac();
        QPushButton* control = button == QLatin1String("btnIos") ? home()->btnIos : home()->btnItunes;
        QCOMPARE(InfoReaderViewController::modePicture(home()->btnIos),
                 mode == 0 ? QStringLiteral("iphone-current_03.png") : QStringLiteral("iphone-active_03.png"));
        QCOMPARE(InfoReaderViewController::modePicture(home()->btnItunes),
                 mode == 1 ? QStringLiteral("itunes-current_03.png") : QStringLiteral("itunes-active_03.png"));
        // The pointer's own events.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(control, &enter);
        QCOMPARE(InfoReaderViewController::modePicture(control), entered);
        QVERIFY(!control->icon().isNull());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(control, &leave);
        QCOMPARE(InfoReaderViewController::modePicture(control), left);
        home()->returnMainScreen();
    }

    void recoverFromDeviceWithoutADevice() {
        QString message;
        AnswerNextMessageBox(QStringLiteral("Close"), &message);
        home()->recoverFromDevice();
        QCOMPARE(message, QStringLiteral("Device not Found, please Reconnect"));
        QVERIFY(f.saw("message RecoverFromDeviceScreen"));
        QCOMPARE(f.record._RecoverType.load(), 0);
        QVERIFY(home()->btnDeviceRecover->isEnabled());
    }

    void recoverFromDeviceShowsTheDeviceReadyToScan() {
        simulator.attach(TestPhone(kUdid, "Anna's iPhone"));
        QVERIFY(WaitFor([&] { return f.record.isDeviceConnected.load(); }, 20000));
        QVERIFY(f.saw("message DeviceConnectedScreen"));
        home()->recoverFromDevice();
        QVERIFY(home()->viewRegisteredDevices->isVisible());
        QVERIFY(!home()->viewDataReader->isVisible());
        QVERIFY(!home()->btnFindBackup->isVisible());
        QVERIFY(!home()->dataTypeCombo->isVisible());
        QCOMPARE(home()->txtDeviceName->text(), QStringLiteral("Anna's iPhone"));
        bool listed = false;
        for (int r = 0; r < home()->iTunesBackupTable->rowCount(); ++r)
            listed = listed || home()->iTunesBackupTable->item(r, 0)->text() == QStringLiteral("Anna's iPhone");
        QVERIFY(listed);
        QVERIFY(home()->btnFast->isVisible());
        QVERIFY(home()->btnFull->isVisible());
        simulator.detach(kUdid);
        QVERIFY(WaitFor([&] { return !f.record.isDeviceConnected.load(); }, 20000));
        QVERIFY(f.saw("message ConnectYourDeviceScreen"));
        home()->returnMainScreen();
    }

    // The fast recovery of a chosen backup reads the databases and examines no photo or video:
    // none is copied out of the backup's files, none is read from its photo library, and the
    // media lists stay empty.
    void fastRecoveryOfABackupCopiesNoPhotos() {
        w().showScreen(ScreenState::ScreenHome);
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        QVERIFY(home()->btnFast->isVisible());
        QCOMPARE(home()->btnFast->text(), Text(LanguageKey::CommonFastScan));
        QCOMPARE(home()->btnFast->toolTip(), Text(LanguageKey::CommonFastScan));
        QVERIFY(home()->btnFast->isEnabled());
        home()->dataTypeCombo->setCurrentIndex(InfoReaderViewController::selectionOfDataType(DataType::DataTypeAll));
        home()->btnFast->click();
        waitForTheScanAndItsReport();
        const QDir copies(QString::fromStdString(f.application->core().workingFolder().photosDirectory()));
        QCOMPARE(f.record._RecoverMode.load(), 0);
        QVERIFY(f.record.SMSCount.load() > 0);
        QVERIFY(copies.isEmpty());
        QCOMPARE(f.record.AllPhotos.size(), std::size_t{0});
        QCOMPARE(f.record.Photos.size(), std::size_t{0});
        QCOMPARE(f.record.DeletedPhotos.size(), std::size_t{0});
        QCOMPARE(f.record.Videos.size(), std::size_t{0});
        QCOMPARE(f.record._AllVideos.size(), std::size_t{0});
        // The full one copies them.
        w().showScreen(ScreenState::ScreenHome);
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        home()->btnFull->click();
        waitForTheScanAndItsReport();
        QCOMPARE(f.record._RecoverMode.load(), 1);
        QVERIFY(!copies.isEmpty());
        QVERIFY(f.record.AllPhotos.size() > 0);
    }

    void thePhotoRefreshSetsTheCaption() {
        std::vector<std::shared_ptr<Photo>> existing(1), deleted(2);
        for (auto& p : existing) p = std::make_shared<Photo>();
        for (auto& p : deleted) p = std::make_shared<Photo>();
        {
            std::lock_guard lock(f.record.photosLocked);
            f.record.Photos.replace(existing);
            f.record.DeletedPhotos.replace(deleted);
        }
        f.record.PhotosCount = 4;
        f.record.DeletedPhotosCount = 3;
        w().updatePhotosUI();
        QCOMPARE(w().lblPhotoCaption->text(), QStringLiteral("Showing 2/3 deleted photos & 1/4 existing photos."));
    }

    // A backup opened by its Info.plist is read and scanned at once.
    void openingABackupByItsInfoPlistScansIt() {
        const QString info = QString::fromStdString((contents.folder / "Info.plist").string());
        QVERIFY(QFileInfo::exists(info));
        f.record.RecoverType = 0;
        QVERIFY(MacRecovery(w(), 0, info));
        waitForTheScanAndItsReport();
        QCOMPARE(f.record.BACKUP_DIRECTORY.get(), contents.folder.string());
        QCOMPARE(f.record.RecoverType.load(), 1);
        QCOMPARE(f.record._RecoverMode.load(), 0);
        QVERIFY(f.record.SMSCount.load() > 0);
    }

    // A .plist file in a folder that is no backup: the question, and "No" starts nothing.
    void aPlistOutsideABackupAsksFirst() {
        QTemporaryDir plain;
        const QString file = plain.filePath(QStringLiteral("Manifest.plist"));
        std::ofstream(file.toStdString()) << "not a property list";
        QString message;
        AnswerNextMessageBox(QStringLiteral("No"), &message);
        QVERIFY(!MacRecovery(w(), 1, file));
        QCOMPARE(message, QString::fromLatin1(DeviceBackup::kMissingFilesQuestion));
        QVERIFY(!f.application->core().scanWorker().isRunning());
        // A file that is not there starts nothing and asks nothing.
        QVERIFY(!MacRecovery(w(), 1, plain.filePath(QStringLiteral("missing/Info.plist"))));
    }

    // Escape on that question declines: nothing starts.
    void escapeOnThePlistQuestionStartsNothing() {
        QTemporaryDir plain;
        const QString file = plain.filePath(QStringLiteral("Info.plist"));
        std::ofstream(file.toStdString()) << "not a property list";
        QString message;
        KeyOnNextMessageBox(Qt::Key_Escape, &message);
        QVERIFY(!MacRecovery(w(), 1, file));
        QCOMPARE(message, QString::fromLatin1(DeviceBackup::kMissingFilesQuestion));
        QVERIFY(!f.application->core().scanWorker().isRunning());
    }

    void theStatusMenuOffersTheWindowsEntries() {
        QMenu* menu = buildStatusMenu(w());
        QStringList titles;
        for (QAction* action : menu->actions())
            if (!action->isSeparator()) titles << action->text();
        QCOMPARE(titles.size(), 4);
        QCOMPARE(titles[0], QStringLiteral("Torvane"));
        QVERIFY(titles[1].startsWith(Text(LanguageKey::ChooseIOSBackupControlViewBrowseDialogTitle)));
        QCOMPARE(titles[2], Text(LanguageKey::MenuItemUserGuide));
        QCOMPARE(titles[3], Text(LanguageKey::MenuItemAbout));
        menu->findChild<QAction*>(QStringLiteral("statusAbout"))->trigger();
        QVERIFY(w().openDialog("AboutWindow"));
        w().openDialog("AboutWindow")->close();
        // The tray item exists exactly where the desktop has a tray.
        QSystemTrayIcon* item = activateStatusMenu(w());
        QCOMPARE(item != nullptr, QSystemTrayIcon::isSystemTrayAvailable());
        delete item;
        delete menu;
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(WindowPartsTest)
#include "WindowPartsTest.moc"

#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "app/WorkingFolder.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

QString Text(const OptString& text) {
    return QString::fromStdString(text.value_or(""));
}

// How many files lie in the folder and below it (0 when it is gone).
int FilesBelow(const fs::path& folder) {
    std::error_code error;
    if (!fs::exists(folder, error)) return 0;
    int files = 0;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        files += it->is_regular_file();
    return files;
}

}  // namespace

// The window as a desktop program: its frame, the keyboard, its texts at its smallest size,
// its dialogs, and what it leaves behind when it ends.
class DesktopWindowTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;
    std::vector<int> ended;

    MainMenu& w() { return f.application->window(); }

    void startApplication() {
        f.application.reset();
        f.start();
    }

    // Chooses the demo backup and starts a scan of every type.
    void startScan() {
        w().showScreen(ScreenState::ScreenHome);
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        w().homeScreen()->dataTypeCombo->setCurrentIndex(7);
        w().homeScreen()->fullRecover();
    }
    void scan() {
        startScan();
        QVERIFY(WaitFor([&] { return w().dashboard() && w().dashboard()->isVisible(); }));
        QVERIFY(WaitFor([&] { return !f.application->core().scanWorker().isRunning(); }));
        w().dashboard()->close();
    }

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options;
        options.messages = 20;
        options.contacts = 8;
        options.calls = 10;
        options.notes = 4;
        options.events = 4;
        options.whatsAppMessages = 10;
        options.visits = 6;
        options.photos = 6;
        contents = demo::WriteDemoBackup(fs::path(dir.path().toStdString()) / "backup", options);
        f.start();
    }

    // The troubleshooting dialog: the line before the hints, and the link on the name of the
    // software to install, not on the rest of the sentence.
    void troubleshootingLinksTheSoftwareAndListsTheHints() {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        w().showHintPopup();
        auto* hint = static_cast<showHintWindowController*>(w().openDialog("showHintWindowController"));
        QVERIFY(hint);
        QCOMPARE(hint->txt2->text(), Text(texts.ConnectingDeviceTroubleshootingDialogWindowMainTextTitlePart2()));
        QVERIFY(hint->txt2->isVisible());
        QCOMPARE(hint->btn1->text().trimmed(),
                 Text(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart2()));
        QCOMPARE(hint->txthint3->text(), Text(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart1()));
        QCOMPARE(hint->txthint4->text(), Text(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart3()));
        // Read in order: the link stands right after "Install the latest".
        QVERIFY(hint->btn1->x() > hint->txthint3->x());
        QVERIFY(hint->txthint4->y() > hint->btn1->y());
        hint->close();
    }

    // Ending through the platform (a window manager's close, the session's end) runs the
    // destructors: the working folder with the photo copies goes with the window.
    void endingNormallyRemovesThePhotoCopies() {
        startApplication();
        scan();
        const fs::path folder = f.application->core().workingFolder().path();
        QVERIFY(FilesBelow(folder) > 0);
        f.application.reset();
        QVERIFY(!fs::exists(folder));
    }

    // The close button ends the process at once, even while a scan copies photos; the
    // copies go first. (Last: nothing temporary can be made in this process afterwards.)
    void closeButtonDuringAScanRemovesThePhotoCopies() {
        f.application.reset();
        TorvaneApplication::Options options;
        options.record = &f.record;
        options.analytics = &f.analytics;
        options.updateCheck = false;
        options.listenForDevices = false;
        options.banner = false;
        options.endProcess = [this](int status) { ended.push_back(status); };
        f.application = std::make_unique<TorvaneApplication>(options);
        f.application->start();
        const fs::path folder = f.application->core().workingFolder().path();
        QVERIFY(fs::is_directory(folder));
        startScan();
        QVERIFY(WaitFor([&] { return FilesBelow(folder) > 0; }));
        w().btnClose->click();
        QCOMPARE(ended, std::vector<int>{0});
        QVERIFY(!fs::exists(folder));
        QVERIFY(WaitFor([&] { return !f.application->core().scanWorker().isRunning(); }));
        f.application.reset();
        QCOMPARE(FilesBelow(folder.parent_path()), 0);
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(DesktopWindowTest)
#include "DesktopWindowTest.moc"

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

    // The frameless window maximises from its button and from a double click on its title
    // bar, and comes back to its size the same ways.
    void maximiseButtonAndDoubleClickOnTheTitleBar() {
        w().showNormal();
        const QSize before = w().size();
        QVERIFY(w().btnMaximise->isVisible());
        w().btnMaximise->click();
        QVERIFY(w().isMaximized());
        QTest::mouseDClick(w().titleBar, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
        QVERIFY(!w().isMaximized());
        QVERIFY(WaitFor([&] { return w().size() == before; }, 5000));
        QTest::mouseDClick(w().titleBar, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
        QVERIFY(w().isMaximized());
        w().btnMaximise->click();
        QVERIFY(!w().isMaximized());
    }

    void edgesOfTheWindow_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("edges");
        QTest::newRow("inside") << QPoint(500, 400) << 0;
        QTest::newRow("left") << QPoint(1, 400) << int(Qt::LeftEdge);
        QTest::newRow("right") << QPoint(997, 400) << int(Qt::RightEdge);
        QTest::newRow("top") << QPoint(500, 0) << int(Qt::TopEdge);
        QTest::newRow("bottom") << QPoint(500, 798) << int(Qt::BottomEdge);
        QTest::newRow("bottom right") << QPoint(999, 799) << int(Qt::BottomEdge | Qt::RightEdge);
        QTest::newRow("top left") << QPoint(0, 2) << int(Qt::TopEdge | Qt::LeftEdge);
        QTest::newRow("outside") << QPoint(1000, 400) << 0;
    }
    void edgesOfTheWindow() {
        QFETCH(QPoint, at);
        QFETCH(int, edges);
        QCOMPARE(int(MainMenu::resizeEdgesAt(QSize(1000, 800), at, MainMenu::kResizeMargin)), edges);
    }

    // Dragging an edge resizes the window (here, without a window manager, by the window
    // itself), never below its smallest size.
    void draggingAnEdgeResizesTheWindow() {
        w().showNormal();
        w().resize(1100, 760);
        QVERIFY(WaitFor([&] { return w().size() == QSize(1100, 760); }, 5000));
        const QPoint edge(w().width() - 2, w().height() / 2);
        QVERIFY(w().childAt(edge) == nullptr);
        const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, w().mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                              buttons, Qt::NoModifier);
            QApplication::sendEvent(&w(), &event);
        };
        send(QEvent::MouseMove, edge, Qt::NoButton);
        QCOMPARE(w().cursor().shape(), Qt::SizeHorCursor);
        send(QEvent::MouseButtonPress, edge, Qt::LeftButton);
        send(QEvent::MouseMove, edge + QPoint(60, 0), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, edge + QPoint(60, 0), Qt::NoButton);
        QVERIFY(WaitFor([&] { return w().width() == 1160; }, 5000));
        const QPoint bottom(w().width() / 2, w().height() - 1);
        send(QEvent::MouseButtonPress, bottom, Qt::LeftButton);
        send(QEvent::MouseMove, bottom - QPoint(0, 500), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, bottom - QPoint(0, 500), Qt::NoButton);
        QVERIFY(WaitFor([&] { return w().height() == w().minimumHeight(); }, 5000));
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

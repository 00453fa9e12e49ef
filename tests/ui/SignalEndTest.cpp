#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/WorkingFolder.h"
#include "demo-backup/DemoBackup.h"
#include "ui/MainMenu.h"
#include "ui/TorvaneApplication.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

// A signal that ends the desktop program (SIGTERM, or SIGHUP at logout) ends it as the close
// button does: the copies of the phone's photos go with it. (A case of its own: nothing
// temporary can be made in this process afterwards.)
class SignalEndTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;
    std::vector<int> ended;

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options;
        options.messages = 10;
        options.photos = 6;
        contents = demo::WriteDemoBackup(fs::path(dir.path().toStdString()) / "backup", options);
    }

    void aSignalRemovesThePhotoCopies_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void aSignalRemovesThePhotoCopies() {
        QFETCH(int, signal);
        f.application.reset();
        ended.clear();
        f.start(std::nullopt, false, [this](TorvaneApplication::Options& options) {
            options.watchSignals = true;
            options.endProcess = [this](int status) { ended.push_back(status); };
        });
        const fs::path copies = f.application->core().workingFolder().photosDirectory();
        if (QTest::currentDataTag() == QByteArray("SIGTERM")) {
            QVERIFY(f.scan(contents.folder.string(), DataType::DataTypeAll));
            QVERIFY(fs::exists(copies) && !fs::is_empty(copies));
        }
        ::raise(signal);
        QVERIFY(WaitFor([&] { return !ended.empty(); }, 30000));
        QCOMPARE(ended, std::vector<int>{0});
        QVERIFY(!fs::exists(copies));
        f.application.reset();
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(SignalEndTest)
#include "SignalEndTest.moc"

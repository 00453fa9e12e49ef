#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "records/DatabaseProblem.h"
#include "records/DeviceInfo.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <set>

namespace {

// The report's rows in their order: caption key, deleted count, existing count.
struct ReportRow {
    LanguageKey caption;
    std::atomic<std::int32_t> BrimleyAppDelegate::*deleted;
    std::atomic<std::int32_t> BrimleyAppDelegate::*existing;
};

const ReportRow kRows[] = {
    {LanguageKey::CommonMessages, &BrimleyAppDelegate::DeletedSMSCount, &BrimleyAppDelegate::SMSCount},
    {LanguageKey::CommonWhatsApp, &BrimleyAppDelegate::DeletedWhatsAppCount, &BrimleyAppDelegate::WhatsAppCount},
    {LanguageKey::CommonContacts, &BrimleyAppDelegate::DeletedContactCount, &BrimleyAppDelegate::ContactCount},
    {LanguageKey::CommonCalls, &BrimleyAppDelegate::DeletedCallLogCount, &BrimleyAppDelegate::CallLogCount},
    {LanguageKey::CommonCalendar, &BrimleyAppDelegate::DeletedCalendarCount, &BrimleyAppDelegate::CalendarCount},
    {LanguageKey::CommonNotes, &BrimleyAppDelegate::DeletedNoteCount, &BrimleyAppDelegate::NoteCount},
    {LanguageKey::CommonPhotos, &BrimleyAppDelegate::DeletedPhotosCount, &BrimleyAppDelegate::PhotosCount},
    {LanguageKey::CommonVideos, &BrimleyAppDelegate::DeletedVideosCount, &BrimleyAppDelegate::VideosCount},
    {LanguageKey::CommonSafari, &BrimleyAppDelegate::DeletedInternetCount, &BrimleyAppDelegate::InternetCount},
};

QString Text(LanguageKey key) {
    return QString::fromStdString(LanguageConfig::sharedObject().text(key).value_or(""));
}

QString CellText(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<no cell>");
}

}  // namespace

// The scan report as the window opens it at the end of a scan.
class ReportWindowTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;

    MainMenu& w() { return f.application->window(); }

    // Every count of the record a number of its own (row r: deleted 10 + r, existing 20 + r).
    void fillEveryCount() {
        for (int r = 0; r < 9; ++r) {
            (f.record.*(kRows[r].deleted)) = 10 + r;
            (f.record.*(kRows[r].existing)) = 20 + r;
        }
    }

    // Starts a scan of the demo backup for the data type.
    void startScan(DataType type) {
        if (w().dashboard()) w().dashboard()->close();
        w().showScreen(ScreenState::ScreenHome);
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        w().homeScreen()->dataTypeCombo->setCurrentIndex(InfoReaderViewController::selectionOfDataType(type));
        w().homeScreen()->fullRecover();
    }

    void waitForTheReport() { QVERIFY(f.waitForReport()); }

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options;
        options.messages = 8;
        options.contacts = 6;
        options.calls = 9;
        options.photos = 2;
        contents = demo::WriteDemoBackup(std::filesystem::path(dir.path().toStdString()) / "backup", options);
        f.start();
    }

    // A report after a scan of one data type: every row keeps its own caption; the rows of that
    // type show its counts, and every other row says that it was not scanned. A fast scan does
    // not look for photos and videos.
    void oneTypeReportKeepsEveryRow_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("fast");
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("messages") << ToCode(DataType::DataTypeSMS) << false << QList<int>{0};
        QTest::newRow("whatsapp") << ToCode(DataType::DataTypeWhatsApp) << false << QList<int>{1};
        QTest::newRow("contacts") << ToCode(DataType::DataTypeContacts) << false << QList<int>{2};
        QTest::newRow("calls") << ToCode(DataType::DataTypeCallHistory) << false << QList<int>{3};
        QTest::newRow("calendar") << ToCode(DataType::DataTypeCalendar) << false << QList<int>{4};
        QTest::newRow("notes") << ToCode(DataType::DataTypeNotes) << false << QList<int>{5};
        QTest::newRow("photos and videos") << ToCode(DataType::DataTypePhotosVideos) << false << QList<int>{6, 7};
        QTest::newRow("internet history") << ToCode(DataType::DataTypeInternetHistory) << false << QList<int>{8};
        QTest::newRow("every type") << ToCode(DataType::DataTypeAll) << false << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("every type, fast") << ToCode(DataType::DataTypeAll) << true << QList<int>{0, 1, 2, 3, 4, 5, 8};
        QTest::newRow("messages, fast") << ToCode(DataType::DataTypeSMS) << true << QList<int>{0};
    }
    void oneTypeReportKeepsEveryRow() {
        QFETCH(int, type);
        QFETCH(bool, fast);
        QFETCH(QList<int>, rows);
        f.record.IsCancelFlag = false;
        f.record.scannedDataType.set(DataTypeFromCode(type));
        f.record._RecoverMode = fast ? 0 : 1;
        fillEveryCount();
        w().OpenDashboard();
        DashboardWindowController* report = w().dashboard();
        QVERIFY(report);
        QCOMPARE(report->table->rowCount(), 9);
        const std::set<int> scanned(rows.begin(), rows.end());
        for (int r = 0; r < 9; ++r) {
            QCOMPARE(CellText(report->table, r, 0), Text(kRows[r].caption));
            const bool shown = scanned.count(r) != 0;
            QCOMPARE(CellText(report->table, r, 1),
                     shown ? QString::number(10 + r) : Text(LanguageKey::ScanReportDialogWindowNotScanned));
            QCOMPARE(CellText(report->table, r, 2), shown ? QString::number(20 + r) : QString());
            QCOMPARE(report->table->columnSpan(r, 1), shown ? 1 : 2);
        }
        report->close();
    }

    void aStoppedScanSaysSoInItsTitle() {
        f.record.scannedDataType.set(DataType::DataTypeAll);
        for (const bool stopped : {true, false}) {
            f.record.IsCancelFlag = stopped;
            w().OpenDashboard();
            const QString title = w().dashboard()->lblScanComplete->text();
            QCOMPARE(title, Text(stopped ? LanguageKey::ScanReportDialogWindowScanStopped
                                         : LanguageKey::ScanReportDialogWindowScanCompleted));
            w().dashboard()->close();
        }
        QVERIFY(Text(LanguageKey::ScanReportDialogWindowScanStopped) != Text(LanguageKey::ScanReportDialogWindowScanCompleted));
    }

    // The databases whose deleted records the older carving path did not search are named with
    // their reason; damaged ones are not among them, and without any the list is not shown.
    void theDatabasesNotSearchedAreNamed() {
        f.record.IsCancelFlag = false;
        f.record.scannedDataType.set(DataType::DataTypeAll);
        const auto problem = [](const char* database, const char* what, bool noOlderRoutine) {
            auto p = std::make_shared<DatabaseProblem>();
            p->database = database;
            p->fileName = std::string(database) + ".db";
            p->what = what;
            p->noOlderRoutine = noOlderRoutine;
            return p;
        };
        f.record.DatabaseProblems.append(problem("calendar database", "no routine for its layout", true));
        f.record.DatabaseProblems.append(problem("notes database", "a page cannot be read", false));
        f.record.DatabaseProblems.append(problem("WhatsApp database", "no routine for its 34 columns", true));
        w().OpenDashboard();
        QLabel* list = w().dashboard()->lblNotSearched;
        QVERIFY(!list->isHidden());
        QCOMPARE(list->text(), Text(LanguageKey::ScanReportDialogWindowNotSearched) +
                                   "\ncalendar database (calendar database.db): no routine for its layout"
                                   "\nWhatsApp database (WhatsApp database.db): no routine for its 34 columns");
        w().dashboard()->close();

        f.record.DatabaseProblems.clear();
        w().OpenDashboard();
        QVERIFY(w().dashboard()->lblNotSearched->isHidden());
        w().dashboard()->close();
    }

    // A scan stopped as soon as it has started: its report says that it was stopped.
    void aScanStoppedAtOnceIsReportedStopped() {
        startScan(DataType::DataTypeAll);
        f.application->core().scanWorker().btnCancleClicked(true);
        waitForTheReport();
        QCOMPARE(w().dashboard()->lblScanComplete->text(), Text(LanguageKey::ScanReportDialogWindowScanStopped));
        w().dashboard()->close();
    }

    // A real scan of the call history alone.
    void aCallsScanReportsTheCallsInTheirRow() {
        startScan(DataType::DataTypeCallHistory);
        waitForTheReport();
        DashboardWindowController* report = w().dashboard();
        QVERIFY(f.record.CallLogCount.load() > 0);
        QCOMPARE(report->captionAt(3), Text(LanguageKey::CommonCalls));
        QCOMPARE(report->countsAt(3).second, QString::number(f.record.CallLogCount.load()));
        QCOMPARE(report->countsAt(3).first, QString::number(f.record.DeletedCallLogCount.load()));
        QCOMPARE(report->captionAt(0), Text(LanguageKey::CommonMessages));
        // The types the scan did not look for have no counts.
        QCOMPARE(report->countsAt(0), std::make_pair(Text(LanguageKey::ScanReportDialogWindowNotScanned), QString()));
        QCOMPARE(report->lblScanComplete->text(), Text(LanguageKey::ScanReportDialogWindowScanCompleted));
        report->close();
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(ReportWindowTest)
#include "ReportWindowTest.moc"

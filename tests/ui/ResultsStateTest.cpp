// The results of a scan of a generated backup as the user meets them: the existing/deleted toggle
// and the screens' segments always drawn as the filter that is applied, whatever way a screen was
// opened.
#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/DeviceRecoveryFlow.h"
#include "app/ScanWorker.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "records/Photo.h"
#include "ui/ChatScreens.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/PhotoBrowser.h"
#include "ui/RecordScreens.h"
#include "ui/TransferWindows.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <filesystem>

namespace {

// The four numbers of a screen's count line: shown deleted, deleted, shown existing, existing.
struct Counts {
    int shownDeleted = -1, deleted = -1, shownExisting = -1, existing = -1;
    bool all() const { return shownDeleted == deleted && shownExisting == existing; }
    bool onlyDeleted() const { return shownDeleted == deleted && shownExisting == 0; }
    bool onlyExisting() const { return shownDeleted == 0 && shownExisting == existing; }
};

Counts CountsOf(const ListScreen& screen) {
    Counts counts;
    std::vector<int> numbers;
    auto it = QRegularExpression(QStringLiteral("\\d+")).globalMatch(screen.caption->text());
    while (it.hasNext()) numbers.push_back(it.next().captured().toInt());
    if (numbers.size() == 4) counts = {numbers[0], numbers[1], numbers[2], numbers[3]};
    return counts;
}

}  // namespace

class ResultsStateTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;

    MainMenu& w() { return f.application->window(); }

    void scan(DataType type) {
        if (w().dashboard()) w().dashboard()->close();
        QVERIFY(f.scan(contents.folder.string(), type));
        QTest::qWait(50);
        w().dashboard()->close();
    }

    void chooseLanguage(const QString& language) {
        w().showLanWindow();
        auto* picker = static_cast<LangaugeWindowController*>(w().openDialog("LangaugeWindowController"));
        QVERIFY(picker);
        const int index = picker->selectLang->findText(language);
        QVERIFY(index >= 0);
        picker->selectLang->setCurrentIndex(index);
        picker->btnSelectClicked();
    }

    ListScreen* open(TabTag tab, bool iconBar) {
        if (iconBar)
            w().onAppsSelectionChanged(tab);
        else
            w().onTabSelectionChanged(tab);
        return dynamic_cast<ListScreen*>(w().viewController());
    }

    // The toggle is drawn as the open screen filters, and the screen's segments agree with it.
    void checkAgrees(ListScreen* screen, const char* what) {
        QVERIFY2(screen, what);
        const bool on = w().changeView->isChecked();
        QCOMPARE(on, f.record.onlyRecovered.load());
        const Counts counts = CountsOf(*screen);
        QVERIFY2(counts.deleted > 0 && counts.existing > 0,
                 qPrintable(QString::fromLatin1(what) + ": " + screen->caption->text()));
        if (on)
            QVERIFY2(counts.onlyDeleted(), qPrintable(QString::fromLatin1(what) + ": " + screen->caption->text()));
        else
            QVERIFY2(counts.all() || (screen->segmentedControl && screen->segmentedControl->selectedSegment() == 1 &&
                                      counts.onlyExisting()),
                     qPrintable(QString::fromLatin1(what) + ": " + screen->caption->text()));
        if (screen->segmentedControl) QCOMPARE(screen->segmentedControl->selectedSegment() == 2, on);
    }

    // Screens with existing and deleted records in the demo backup, and a count line.
    static constexpr TabTag kFiltered[] = {TabTag::TabTagSMS, TabTag::TabTagContacts, TabTag::TabTagCalls,
                                           TabTag::TabTagNotes, TabTag::TabTagCalendar, TabTag::TabTagWhatsApp};

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options = UiFixture::SmallDemoBackup();
        // Enough contacts for some to be deleted.
        options.contacts = 40;
        contents = demo::WriteDemoBackup(std::filesystem::path(dir.path().toStdString()) / "backup", options);
        f.start();
    }

    void everyScreenShowsWhatTheToggleSays() {
        scan(DataType::DataTypeAll);
        // A scan ends showing all records, the toggle drawn off.
        QVERIFY(!f.record.onlyRecovered);
        QVERIFY(!w().changeView->isChecked());
        // Whichever way a screen is first opened, it shows what the toggle says.
        for (TabTag tab : kFiltered) checkAgrees(open(tab, tab == TabTag::TabTagSMS || tab == TabTag::TabTagNotes), "first opening, all");
        for (TabTag tab : kFiltered) checkAgrees(open(tab, tab != TabTag::TabTagSMS), "second opening, all");
        // One click: deleted records only, drawn on, on the open screen and on each opened next.
        w().changeView->click();
        QVERIFY(w().changeView->isChecked());
        for (TabTag tab : kFiltered) checkAgrees(open(tab, true), "deleted only");
        for (TabTag tab : kFiltered) checkAgrees(open(tab, false), "deleted only, tab path");
        w().changeView->click();
        QVERIFY(!w().changeView->isChecked());
        checkAgrees(dynamic_cast<ListScreen*>(w().viewController()), "clicked back");
    }

    void segmentsMoveTheToggleAndFilter() {
        for (TabTag tab : {TabTag::TabTagContacts, TabTag::TabTagSMS, TabTag::TabTagCalls, TabTag::TabTagWhatsApp}) {
            ListScreen* screen = open(tab, true);
            QVERIFY(screen && screen->segmentedControl);
            screen->segmentedControl->segment(2)->click();
            QVERIFY(w().changeView->isChecked());
            checkAgrees(screen, "segment Deleted");
            screen->segmentedControl->segment(1)->click();
            QVERIFY(!w().changeView->isChecked());
            QVERIFY2(CountsOf(*screen).onlyExisting(), qPrintable(screen->caption->text()));
            checkAgrees(screen, "segment Existing");
            // The toggle turned on moves the segment to "Deleted"; off again, to both lists.
            w().changeView->click();
            checkAgrees(screen, "toggle on after Existing");
            w().changeView->click();
            QCOMPARE(screen->segmentedControl->selectedSegment(), 0);
            checkAgrees(screen, "toggle off");
        }
    }

    // The chosen segment keeps its grey ground when a click gives it the focus ring; the
    // others stay white.
    void chosenSegmentStaysGreyWithTheFocus() {
        ListScreen* screen = open(TabTag::TabTagContacts, true);
        QVERIFY(screen && screen->segmentedControl);
        w().activateWindow();
        // The ground beside the text, inside any frame.
        const auto ground = [](QToolButton* segment) {
            return segment->grab().toImage().pixelColor(4, segment->height() / 2);
        };
        for (int chosen : {1, 0, 2}) {
            QToolButton* segment = screen->segmentedControl->segment(chosen);
            segment->setFocus(Qt::OtherFocusReason);
            QTest::mouseClick(segment, Qt::LeftButton);
            QApplication::processEvents();
            QVERIFY(segment->isChecked() && segment->hasFocus());
            const QColor focused = ground(segment);
            QToolButton* other = screen->segmentedControl->segment((chosen + 1) % 3);
            other->setFocus(Qt::OtherFocusReason);
            QApplication::processEvents();
            QCOMPARE(ground(segment), focused);
            QVERIFY2(ground(other) != focused, qPrintable(focused.name()));
        }
        screen->segmentedControl->segment(0)->click();
    }

    // A tab change empties the search field, and its clear button goes with the text.
    void emptiedSearchFieldLosesItsClearButton() {
        open(TabTag::TabTagContacts, true);
        QLineEdit* field = w()._searchField;
        QToolButton* clear = nullptr;
        for (QToolButton* button : field->findChildren<QToolButton*>())
            if (button->property("opacity").isValid()) clear = button;
        QVERIFY(clear);
        const auto shown = [&] { return clear->isVisible() && clear->property("opacity").toReal() > 0.0; };
        field->setText(QStringLiteral("a"));
        QVERIFY(WaitFor(shown, 5000));
        open(TabTag::TabTagNotes, true);
        QVERIFY(field->text().isEmpty());
        QVERIFY(WaitFor([&] { return !shown(); }, 5000));
    }

    void searchCoversWhatTheToggleShows() {
        QVERIFY(!f.record.onlyRecovered);
        for (auto [tab, rows] : {std::pair{TabTag::TabTagNotes, &contents.notes}, {TabTag::TabTagCalendar, &contents.events}}) {
            // A screen first opened from the tab bar, then searched for an existing record.
            w().onTabSelectionChanged(TabTag::TabTagDashboard);
            auto* screen = open(tab, false);
            QVERIFY(screen);
            const auto existing = std::find_if(rows->begin(), rows->end(), [](const demo::DemoRow& r) { return !r.deleted; });
            QVERIFY(existing != rows->end());
            w()._searchField->setText(QString::fromStdString(existing->key));
            QVERIFY2(CountsOf(*screen).shownExisting >= 1, qPrintable(screen->caption->text()));
            w()._searchField->clear();
        }
    }

    void photoGridFollowsTheToggle() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        MediaGridModel* model = w().photoGrid()->mediaModel();
        const int all = static_cast<int>(f.record.Photos.size() + f.record.DeletedPhotos.size());
        const int deleted = static_cast<int>(f.record.DeletedPhotos.size());
        QVERIFY(deleted > 0 && deleted < all);
        QVERIFY(!w().changeView->isChecked());
        QCOMPARE(model->rowCount(), all);
        w().changeView->click();
        QVERIFY(w().changeView->isChecked());
        QCOMPARE(model->rowCount(), deleted);
        // Away and back: still deleted only, still drawn on.
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        QVERIFY(w().changeView->isChecked());
        QCOMPARE(model->rowCount(), deleted);
        w().changeView->click();
        QCOMPARE(model->rowCount(), all);
    }

    // The toggle is offered only where it filters: the record lists and the photo and video
    // grids, not the device details, the summary, the applications or the user dictionary.
    void toggleShownOnlyWhereItFilters() {
        struct Case {
            TabTag tab;
            bool iconBar;
            bool filters;
        };
        const Case cases[] = {
            {TabTag::TabTagDeviceInfo, false, false}, {TabTag::TabTagSMS, true, true},
            {TabTag::TabTagDashboard, false, false},  {TabTag::TabTagPhotos, true, true},
            {TabTag::TabTagApps, false, false},       {TabTag::TabTagContacts, true, true},
            {TabTag::TabTagDictionary, false, false}, {TabTag::TabTagVideos, true, true},
            {TabTag::TabTagDashboard, true, false},   {TabTag::TabTagInternet, false, true},
            {TabTag::TabTagDeviceInfo, true, false},  {TabTag::TabTagCalendar, false, true},
        };
        for (const Case& c : cases) {
            if (c.iconBar)
                w().onAppsSelectionChanged(c.tab);
            else
                w().onTabSelectionChanged(c.tab);
            QCOMPARE(f.record.tabItem.load(), ToCode(c.tab));
            const QString what = QStringLiteral("tab %1").arg(ToCode(c.tab));
            QVERIFY2(w().changeView->isHidden() == !c.filters, qPrintable(what));
            QVERIFY2(w().showonlydeleteddata->isHidden() == !c.filters, qPrintable(what));
        }
    }

    void languageSwitchKeepsTheOpenScreenItsSearchAndFilter() {
        ListScreen* screen = open(TabTag::TabTagContacts, true);
        QVERIFY(screen);
        screen->segmentedControl->segment(1)->click();
        const auto existing = std::find_if(contents.contacts.begin(), contents.contacts.end(),
                                           [](const demo::DemoRow& r) { return !r.deleted; });
        const QString word = QString::fromStdString(existing->key).section(QLatin1Char(' '), 0, 0);
        w()._searchField->setText(word);
        const Counts before = CountsOf(*screen);
        QVERIFY(before.shownExisting >= 1 && before.shownDeleted == 0);
        chooseLanguage(QStringLiteral("Deutsch"));
        auto* again = dynamic_cast<ContactViewController*>(w().viewController());
        QVERIFY(again);
        QVERIFY(!again->isHidden());
        QCOMPARE(again->segmentedControl->selectedSegment(), 1);
        QCOMPARE(again->segmentedControl->segment(1)->text(),
                 QString::fromStdString(*LanguageConfig::sharedObject().ScanReportDialogWindowTableHeaderExisting()));
        QCOMPARE(w()._searchField->text(), word);
        const Counts after = CountsOf(*again);
        QCOMPARE(after.shownExisting, before.shownExisting);
        QCOMPARE(after.shownDeleted, 0);
        QVERIFY(!w().changeView->isChecked());
        chooseLanguage(QStringLiteral("English"));
        QCOMPARE(w()._searchField->text(), word);
        w()._searchField->clear();
    }

    void languageSwitchOnTheHomeScreenRedrawsIt() {
        w().showScreen(ScreenState::ScreenHome);
        chooseLanguage(QStringLiteral("Deutsch"));
        InfoReaderViewController* home = w().homeScreen();
        QVERIFY(home && !home->isHidden());
        QCOMPARE(home->parentWidget(), w().childView);
        QVERIFY(!w().childView->isHidden());
        QCOMPARE(home->btnItunes->text(), QString::fromStdString(*LanguageConfig::sharedObject().ChooseIOSBackupControlViewTitle()));
        chooseLanguage(QStringLiteral("English"));
        QVERIFY(!home->isHidden());
        QCOMPARE(home->btnItunes->text(), QString::fromStdString(*LanguageConfig::sharedObject().ChooseIOSBackupControlViewTitle()));
    }

    // The small windows left open over a change of language take the new language's texts.
    void languageSwitchRetitlesTheOpenSmallWindows() {
        struct OpenWindow {
            const char* name;
            std::function<void()> open;
            std::optional<LanguageKey> title;
            // One text inside the window, and the key it shows.
            std::function<QString(QDialog*)> inside;
            LanguageKey insideKey;
        };
        const auto label = [](const char* name) {
            return [name](QDialog* d) { return d->findChild<QLabel*>(QString::fromLatin1(name))->text(); };
        };
        const OpenWindow windows[] = {
            {"DashboardWindowController", [&] { w().OpenDashboard(); },
             LanguageKey::ScanReportDialogWindowScanReport,
             [](QDialog* d) { return static_cast<DashboardWindowController*>(d)->captionAt(0); },
             LanguageKey::CommonMessages},
            {"FeedbackWindowController", [&] { w().FeedbackBtnInMenu(); }, LanguageKey::FeedbackDialogWindowTitle,
             [](QDialog* d) { return static_cast<FeedbackWindowController*>(d)->content->placeholderText(); },
             LanguageKey::FeedbackDialogWindowPlaceHolderText},
            {"showHintWindowController", [&] { w().showHintPopup(); },
             LanguageKey::ConnectingDeviceTroubleshootingDialogWindowTitle, label("txthead"),
             LanguageKey::ConnectingDeviceTroubleshootingDialogWindowTitle},
            {"Notification1WindowController", [&] { w().Notification1(); }, std::nullopt, label("lblConfirmation"),
             LanguageKey::Notification1WindowAlert},
            {"AboutWindow", [&] { w().AboutWindow(); }, LanguageKey::AboutDialogWindowTitle,
             label("lblAboutCopyright"), LanguageKey::AboutDialogCopyrightText},
            {"ShareWindowController", [&] { w().ShareBtnInMenu(); }, LanguageKey::ShareDialogWindowTitle,
             label("lblShareViaEmail"), LanguageKey::ShareDialogWindowShareViaEmail},
            {"ExportWindowController", [&] { w().Export(); }, LanguageKey::ExportDialogWindowTitle,
             label("lblLocation"), LanguageKey::ExportDialogWindowLocation},
            {"AppWindowController", [&] { w().sendToApp(); }, LanguageKey::btnSendDataText, label("lblTop"),
             LanguageKey::AppWindowControllerScreen2Top},
        };
        for (const OpenWindow& window : windows) window.open();
        const auto check = [&](const char* language) {
            const LanguageConfig& texts = LanguageConfig::sharedObject();
            for (const OpenWindow& window : windows) {
                const QString what = QString::fromLatin1(window.name) + QStringLiteral(" in ") + QString::fromLatin1(language);
                QDialog* dialog = w().openDialog(window.name);
                QVERIFY2(dialog, qPrintable(what));
                if (window.title)
                    QCOMPARE(dialog->windowTitle(), QString::fromStdString(texts.text(*window.title).value_or("")));
                QVERIFY2(window.inside(dialog) == QString::fromStdString(texts.text(window.insideKey).value_or("")),
                         qPrintable(what + QStringLiteral(": ") + window.inside(dialog)));
            }
        };
        chooseLanguage(QStringLiteral("Deutsch"));
        check("German");
        chooseLanguage(QStringLiteral("English"));
        check("English");
        for (const OpenWindow& window : windows)
            if (QDialog* dialog = w().openDialog(window.name)) dialog->close();
    }

    // The end of an export speaks the chosen language, and follows a change made while it is open.
    void exportEndFollowsTheLanguage() {
        auto* window = new ExportProgressWindow([] {}, &w());
        ExportReport report;
        report.folder = "/tmp/out";
        report.entries = {{"/tmp/out/SMS.csv", ExportStatus::Written, 12},
                          {"/tmp/out/Notes.csv", ExportStatus::Failed, 0}};
        window->finished(report);
        window->show();
        const auto check = [&](const char* heading, const char* summary) {
            QCOMPARE(window->lblWait->text(), QString::fromUtf8(heading));
            QVERIFY2(window->lblSummary->text().startsWith(QString::fromUtf8(summary)),
                     qPrintable(window->lblSummary->text()));
            QVERIFY(window->lblSummary->text().contains(QStringLiteral("/tmp/out")));
            QVERIFY(window->lblSummary->text().contains(QStringLiteral("Notes.csv")));
        };
        check("The export is incomplete", "1 file(s) written (12 records and files) into\n/tmp/out.");
        chooseLanguage(QStringLiteral("Deutsch"));
        check("Der Export ist unvollständig", "1 Datei(en) geschrieben (12 Datensätze und Dateien) in\n/tmp/out.");
        chooseLanguage(QStringLiteral("English"));
        check("The export is incomplete", "1 file(s) written");
        window->close();
        delete window;
    }

    void scanOfOneTypeShowsAllItsRecords() {
        scan(DataType::DataTypeCallHistory);
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagCalls));
        auto* calls = dynamic_cast<CallLogViewController*>(w().viewController());
        QVERIFY(calls);
        QVERIFY(!w().changeView->isChecked());
        const Counts counts = CountsOf(*calls);
        QVERIFY2(counts.existing > 0 && counts.deleted > 0 && counts.all(), qPrintable(calls->caption->text()));
    }

    // "Start Scan" on the results, then the backup choice of its question.
    void newScanOfABrowsedBackupKeepsIt() {
        if (w().dashboard()) w().dashboard()->close();
        QCOMPARE(f.record.PresentScreen.load(), ToCode(ScreenState::ScreenResults));
        f.application->flow().homeBackupPressed();
        InfoReaderViewController* home = w().homeScreen();
        QVERIFY(home && !home->isHidden());
        QCOMPARE(home->iTunesBackupTable->rowCount(), 1);
        QVERIFY(home->iTunesBackupNoFilesMessage->isHidden());
        QCOMPARE(home->iTunesBackupTable->item(0, 0)->text(), QString::fromStdString(contents.deviceName));
        QCOMPARE(w().lblDisplayname->text(), QString::fromStdString(contents.deviceName));
        QCOMPARE(std::filesystem::path(f.record.BACKUP_DIRECTORY.get()), contents.folder);
        // And it scans.
        home->dataTypeCombo->setCurrentIndex(2);
        home->fullRecover();
        QVERIFY(f.waitForReport());
        QVERIFY(f.record.CallLogContent.size() > 0);
        w().dashboard()->close();
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(ResultsStateTest)
#include "ResultsStateTest.moc"

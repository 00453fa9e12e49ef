#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "records/Photo.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/OwnWidgets.h"
#include "ui/PhotoBrowser.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "ui/ChatScreens.h"
#include "ui/RecordScreens.h"
#include "ui/Screens.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <set>

// A scan of a generated backup driven through the real window.
class ScanWindowTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;

    MainMenu& w() { return f.application->window(); }

    void scan(DataType type) {
        QVERIFY(f.scan(contents.folder.string(), type));
        QTest::qWait(50);
    }

private slots:
    void initTestCase() {
        contents = demo::WriteDemoBackup(std::filesystem::path(dir.path().toStdString()) / "backup",
                                         UiFixture::SmallDemoBackup());
        f.start();
    }

    void scanOfEveryTypeFillsTheTabsAndTheReport() {
        scan(DataType::DataTypeAll);
        for (const UiTab& tab : UiTabs())
            if (IsIconBarTab(tab.tab))
                QVERIFY2(w().iconControl(tab.tab)->isEnabled(), tab.fallbackIcon);
        DashboardWindowController* report = w().dashboard();
        QCOMPARE(report->countsAt(0).first, QString::number(f.record.DeletedSMSCount.load()));
        QCOMPARE(report->countsAt(0).second, QString::number(f.record.SMSCount.load()));
        QVERIFY(f.record.DeletedSMSCount.load() > 0);
        QCOMPARE(report->countsAt(2).second, QString::number(f.record.ContactCount.load()));
        QCOMPARE(report->countsAt(8).first, QStringLiteral("0"));
        QVERIFY(report->scanReport->text().endsWith(QString::fromStdString(contents.deviceName)));
        QVERIFY(!w().stopRecovery->isVisible());
        QVERIFY(w().btnExport->isVisible());
        report->close();
    }

    // The messages of every conversation row of the messages screen, row by row.
    static std::vector<std::shared_ptr<SMS>> ShownMessages(SMSViewController& screen) {
        std::vector<std::shared_ptr<SMS>> messages;
        for (std::size_t row = 0; row < screen.shown().rows.size(); ++row) {
            if (screen.shown().rows[row].contact.empty()) continue;
            screen.selectRow(row);
            const auto& page = screen.conversationShown();
            messages.insert(messages.end(), page.begin(), page.end());
        }
        return messages;
    }

    void searchAndToggleFilterTheOpenScreen() {
        w().onAppsSelectionChanged(TabTag::TabTagSMS);
        auto* screen = dynamic_cast<SMSViewController*>(w().viewController());
        QVERIFY(screen);
        if (!screen->showAllSms) w().toogleChanged();
        QVERIFY(screen->showAllSms);
        const int all = static_cast<int>(ShownMessages(*screen).size());
        const int listed = static_cast<int>(f.record.SMSContent.size() + f.record.DeletedSMS.size());
        QVERIFY2(all == listed, described(*screen, all).constData());
        const std::size_t allRows = screen->shown().rows.size();
        const QString word = QString::fromStdString(contents.messages.front().key).left(8);
        w()._searchField->setText(word);
        const auto found = ShownMessages(*screen);
        QVERIFY(!found.empty() && static_cast<int>(found.size()) < all);
        for (const auto& message : found)
            QVERIFY(QString::fromStdString(message->Message().value_or("")).contains(word, Qt::CaseInsensitive));
        w().toogleChanged();  // deleted records only; the search field is emptied
        QVERIFY(!screen->showAllSms);
        QVERIFY(w()._searchField->text().isEmpty());
        const auto deleted = ShownMessages(*screen);
        QCOMPARE(deleted.size(), f.record.DeletedSMS.size());
        for (const auto& message : deleted)
            QVERIFY(f.record.DeletedSMS.any([&](const SMS& m) { return &m == message.get(); }));
        w().toogleChanged();
        QCOMPARE(screen->shown().rows.size(), allRows);
        QCOMPARE(static_cast<int>(ShownMessages(*screen).size()), all);
    }

private:
    // What the messages screen and the record hold, for a failure message: a list that comes
    // out short says whether the scan had ended, which filter was on and what the rows were.
    QByteArray described(SMSViewController& screen, int shownMessages) {
        std::size_t addressed = 0;
        for (const auto& row : screen.shown().rows) addressed += row.contact.empty() ? 0 : 1;
        return QStringLiteral("%1 messages shown; listed: %2 existing, %3 deleted; open tab %4, scan running %5, "
                              "deleted only %6, segment %7, %8 rows (%9 with an address)")
            .arg(shownMessages)
            .arg(static_cast<qulonglong>(f.record.SMSContent.size()))
            .arg(static_cast<qulonglong>(f.record.DeletedSMS.size()))
            .arg(f.record.tabItem.load())
            .arg(f.application->core().scanWorker().isRunning() ? "yes" : "no")
            .arg(f.record.onlyRecovered.load() ? "on" : "off")
            .arg(screen.segmentedControl->selectedSegment())
            .arg(static_cast<qulonglong>(screen.shown().rows.size()))
            .arg(static_cast<qulonglong>(addressed))
            .toUtf8();
    }

    // Shows every record of both lists on the screen of the tab, and answers the screen.
    template <class Screen>
    Screen* showAll(TabTag tab) {
        w().onAppsSelectionChanged(tab);
        auto* screen = dynamic_cast<Screen*>(w().viewController());
        if (!screen) return nullptr;
        if (f.record.onlyRecovered) w().toogleChanged();
        if (screen->segmentedControl) {
            screen->segmentedControl->setSelectedSegment(0);
            screen->toggleChanged();
        }
        return screen;
    }

    template <class Table>
    static std::pair<std::size_t, std::size_t> DeletedAndExisting(const Table& table) {
        std::size_t deleted = 0;
        for (std::size_t i = 0; i < table.size(); ++i) deleted += table.deleted(i);
        return {deleted, table.size() - deleted};
    }

    static QStringList Headers(ListScreen& screen) {
        QStringList headers;
        for (int c = 0; c < screen.model->columnCount(); ++c)
            headers << screen.model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        return headers;
    }

private slots:
    void everyScreenListsTheScansExistingAndDeletedRecords() {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        const auto title = [](const OptString& text) { return QString::fromStdString(text.value_or("")); };
        const auto both = [](const auto& existing, const auto& deleted) {
            return std::pair<std::size_t, std::size_t>{deleted.size(), existing.size()};
        };

        auto* contacts = showAll<ContactViewController>(TabTag::TabTagContacts);
        QVERIFY(contacts);
        QCOMPARE(DeletedAndExisting(contacts->shown()), both(f.record.ContactContent, f.record.DeletedContact));
        QCOMPARE(Headers(*contacts),
                 (QStringList{QString(), QStringLiteral("#"), title(texts.colName()), title(texts.colOrganization()),
                              title(texts.colPhone()), title(texts.colEmail()), title(texts.colhomePage())}));

        auto* calendar = showAll<CalendarViewController>(TabTag::TabTagCalendar);
        QVERIFY(calendar);
        QCOMPARE(DeletedAndExisting(calendar->shown()), both(f.record.CalendarContent, f.record.DeletedCalendar));
        QCOMPARE(Headers(*calendar).mid(2), (QStringList{title(texts.colTitle()), title(texts.colLocation()),
                                                         title(texts.colstart()), title(texts.colEnd()),
                                                         title(texts.colNotes())}));

        auto* notes = showAll<NoteViewController>(TabTag::TabTagNotes);
        QVERIFY(notes);
        QCOMPARE(DeletedAndExisting(notes->shown()), both(f.record.NotesContent, f.record.DeletedNotes));
        // Deleted records are among them, marked as such.
        QVERIFY(DeletedAndExisting(calendar->shown()).first + DeletedAndExisting(notes->shown()).first > 0);

        auto* internet = showAll<InternetHistoryViewController>(TabTag::TabTagInternet);
        QVERIFY(internet);
        QCOMPARE(internet->shown().size(), f.record.InternetContent.size());

        auto* calls = showAll<CallLogViewController>(TabTag::TabTagCalls);
        QVERIFY(calls);
        std::size_t grouped = 0;
        for (std::size_t row = 0; row < calls->groupRows().size(); ++row) {
            calls->selectRow(row);
            grouped += calls->calls().size();
        }
        QCOMPARE(grouped, f.record.CallLogContent.size() + f.record.DeletedCallLog.size());

        auto* whatsApp = showAll<WhatsAppViewController>(TabTag::TabTagWhatsApp);
        QVERIFY(whatsApp);
        QVERIFY(whatsApp->shown().size() > 0);
        for (std::size_t row = 0; row < whatsApp->shown().size(); ++row) {
            const auto& chat = whatsApp->shown().rows[row];
            const bool listedDeleted = f.record.DeletedWhatsApp.any([&](const WhatsApp& m) { return &m == chat.record.get(); });
            QCOMPARE(chat.deleted, listedDeleted);
        }
        QCOMPARE(Headers(*whatsApp).mid(1), (QStringList{title(texts.colChats()), title(texts.colPhone())}));
    }

    void photoGridListsExistingThenDeletedAndExportsTheTicked() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        MediaGridModel* model = w().photoGrid()->mediaModel();
        const auto existing = f.record.Photos.snapshot();
        const auto deleted = f.record.DeletedPhotos.snapshot();
        QCOMPARE(model->rowCount(), static_cast<int>(existing.size() + deleted.size()));
        QVERIFY(!existing.empty() && !deleted.empty());
        QCOMPARE(model->nameAt(0), QString::fromStdString(*existing.front()->PhotoName()));
        QCOMPARE(model->nameAt(model->rowCount() - 1), QString::fromStdString(*deleted.back()->PhotoName()));
        w().tickAllCameraPhoto(false);
        model->setCheckedAt(0, true);
        model->setCheckedAt(model->rowCount() - 1, true);
        QTemporaryDir out;
        w().exportPhotosToDirectory(out.path());
        QVERIFY(WaitFor([&] { return w().exportsRunning() == 0; }));
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(out.path().toStdString() + "/Photos")) {
            (void)entry;
            ++files;
        }
        QCOMPARE(files, 2);
    }

    void languageSwitchRetitlesEveryView() {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        const QString englishAbout = QString::fromStdString(*texts.MenuItemAbout());
        w().showLanWindow();
        auto* picker = static_cast<LangaugeWindowController*>(w().openDialog("LangaugeWindowController"));
        QVERIFY(picker);
        const int german = picker->selectLang->findText(QStringLiteral("Deutsch"));
        QVERIFY(german >= 0);
        picker->selectLang->setCurrentIndex(german);
        picker->btnSelectClicked();
        const QString germanAbout = QString::fromStdString(*texts.MenuItemAbout());
        QVERIFY(germanAbout != englishAbout);
        QCOMPARE(w().btnAbout->text(), germanAbout);
        QCOMPARE(w().iconControl(TabTag::TabTagCalls)->textField->text(),
                 QString::fromStdString(*texts.CommonCalls()));
        QCOMPARE(w()._searchField->placeholderText(), QString::fromStdString(*texts.CommonSearch()));
        QCOMPARE(w().homeScreen()->btnItunes->text(),
                 QString::fromStdString(*texts.ChooseIOSBackupControlViewTitle()));
        // And back.
        w().showLanWindow();
        picker = static_cast<LangaugeWindowController*>(w().openDialog("LangaugeWindowController"));
        picker->selectLang->setCurrentIndex(picker->selectLang->findText(QStringLiteral("English")));
        picker->btnSelectClicked();
        QCOMPARE(w().btnAbout->text(), englishAbout);
    }

    void scanOfOneTypeEnablesOnlyItsTab() {
        if (w().dashboard()) w().dashboard()->close();
        scan(DataType::DataTypeSMS);
        for (const UiTab& tab : UiTabs())
            if (IsIconBarTab(tab.tab))
                QCOMPARE(w().iconControl(tab.tab)->isEnabled(), tab.tab == TabTag::TabTagSMS);
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagSMS));
        w().dashboard()->close();
    }

    void stopButtonConfirmationCancelsAndRestoresTheControls() {
        w().showScreen(ScreenState::ScreenHome);
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        w().homeScreen()->dataTypeCombo->setCurrentIndex(InfoReaderViewController::selectionOfDataType(DataType::DataTypeAll));
        QVERIFY(WaitFor([&] { return !f.application->core().scanWorker().isRunning(); }));
        w().homeScreen()->fullRecover();
        QString question;
        AnswerNextMessageBox(QString::fromStdString(*LanguageConfig::sharedObject().CommonYes()), &question);
        w().btnCancle();
        QCOMPARE(question, QString::fromStdString(*LanguageConfig::sharedObject().StopScanningDialogWindowMainText()));
        QVERIFY(WaitFor([&] { return !f.application->core().scanWorker().isRunning(); }));
        QVERIFY(WaitFor([&] { return w().dashboard() && w().dashboard()->isVisible(); }));
        QVERIFY(!w().stopRecovery->isVisible());
        QVERIFY(w().btnExport->isVisible());
        QVERIFY(w().btnNewScan->isVisible());
        QVERIFY(f.saw("button Stop Scanning"));
        w().dashboard()->close();
    }

    // A scan of a backup without photos, full and fast, with no tab chosen: the window never
    // opens the photo tab nor offers it, stays on the first tab with results to the end and
    // after the report, and the icon bar marks that tab. The fast scan's report says that it
    // did not look for photos and videos.
    void aScanShowsTheFirstTabWithResults() {
        QTemporaryDir other;
        demo::DemoBackupOptions options = UiFixture::SmallDemoBackup();
        options.photos = 0;
        const auto noPhotos = demo::WriteDemoBackup(std::filesystem::path(other.path().toStdString()) / "backup", options);
        const QString notScanned = QString::fromStdString(*LanguageConfig::sharedObject().ScanReportDialogWindowNotScanned());
        const struct {
            bool fast;
            std::pair<QString, QString> photoCounts;
        } scans[] = {{false, {QStringLiteral("0"), QStringLiteral("0")}}, {true, {notScanned, QString()}}};
        for (const auto& c : scans) {
            w().showScreen(ScreenState::ScreenHome);
            w().openBackupFolder(QString::fromStdString(noPhotos.folder.string()));
            w().homeScreen()->dataTypeCombo->setCurrentIndex(InfoReaderViewController::selectionOfDataType(DataType::DataTypeAll));
            if (c.fast)
                w().homeScreen()->fastRecover();
            else
                w().homeScreen()->fullRecover();
            std::set<std::int32_t> opened;
            bool photosOffered = false;
            QVERIFY(WaitFor([&] {
                if (f.record.PresentScreen == ToCode(ScreenState::ScreenResults)) opened.insert(f.record.tabItem.load());
                photosOffered = photosOffered || w().iconControl(TabTag::TabTagPhotos)->isEnabled();
                return w().dashboard() && w().dashboard()->isVisible() && !f.application->core().scanWorker().isRunning();
            }));
            QVERIFY(f.record.Photos.empty() && f.record.DeletedPhotos.empty());
            QVERIFY2(!opened.count(ToCode(TabTag::TabTagPhotos)), c.fast ? "fast" : "full");
            QVERIFY(!photosOffered);
            QCOMPARE(w().dashboard()->countsAt(6), c.photoCounts);
            w().dashboard()->btnContinue->click();
            QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagSMS));
            QVERIFY(w().screenOf(TabTag::TabTagSMS)->isVisible());
            for (const UiTab& tab : UiTabs())
                if (IsIconBarTab(tab.tab))
                    QCOMPARE(w().iconControl(tab.tab)->stateName() == QLatin1String("selected"),
                             tab.tab == TabTag::TabTagSMS);
        }
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(ScanWindowTest)
#include "ScanWindowTest.moc"

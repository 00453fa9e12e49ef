// The window's flows on the results of a scan: the photo page and its exports, the export
// dialog's location, nested dialogs and the focus, Enter on the lists, openers that find no
// program, minimising, and what the end of a scan and closing during one do.
#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "config/ApplicationConfig.h"
#include "config/HttpGet.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "records/Photo.h"
#include "ui/Dialogs.h"
#include "ui/MainMenu.h"
#include "ui/OwnWidgets.h"
#include "ui/PhotoBrowser.h"
#include "ui/ScreenText.h"
#include "ui/TransferWindows.h"
#include "ui/UiTabs.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

QString Text(const OptString& text) {
    return QString::fromStdString(text.value_or(""));
}

// The names of the files in the folder; none when it is not there.
std::set<std::string> FileNames(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); it.increment(error))
        names.insert(it->path().filename().string());
    return names;
}

std::set<std::string> PhotoNames(const SharedList<Photo>& photos) {
    std::set<std::string> names;
    for (const auto& photo : photos.snapshot()) names.insert(photo->PhotoName().value_or(""));
    return names;
}

}  // namespace

class WindowFlowsTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;
    // What the desktop was asked to open; whether it opens anything.
    QList<QUrl> opened;
    bool desktopOpens = true;

    MainMenu& w() { return f.application->window(); }

    ExportWindowController* exportDialog() {
        w().Export();
        return static_cast<ExportWindowController*>(w().exportDialog());
    }

    void closeExportWindows() {
        if (w().exportProgressWindow()) w().exportProgressWindow()->close();
        for (QDialog* rating : w().findChildren<QDialog*>(QStringLiteral("StarFeedbackWindow"))) rating->close();
    }

    // Starts a scan of everything and waits until the window shows its results area with a
    // tab of the scan open.
    void startScanAndWaitForResults() {
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagContacts));
        f.startScan(contents.folder.string(), DataType::DataTypeAll);
        QVERIFY(WaitFor([&] {
            return f.record.PresentScreen == ToCode(ScreenState::ScreenResults) && w().stopRecovery->isVisible() &&
                   f.record.tabItem != 0 && f.record.tabItem != ToCode(TabTag::TabTagContacts) &&
                   f.application->core().scanWorker().isRunning();
        }));
    }

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options = UiFixture::SmallDemoBackup();
        options.photos = 4;
        // Enough pictures that a scan is still running while the tests act on it.
        options.extraPhotos = 300;
        contents = demo::WriteDemoBackup(fs::path(dir.path().toStdString()) / "backup", options);
        Desktop::setOpener([this](const QUrl& url) {
            opened << url;
            return desktopOpens;
        });
        f.start();
        QVERIFY(f.scan(contents.folder.string(), DataType::DataTypeAll));
        w().dashboard()->close();
    }

    // With only deleted photos shown, the caption counts no existing photo shown.
    void photoCaptionCountsWhatTheGridShows() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        const std::size_t existing = f.record.Photos.size(), deleted = f.record.DeletedPhotos.size();
        QVERIFY(existing > 0 && deleted > 0);
        const std::string format = Text(LanguageConfig::sharedObject().PhotosListViewShowingXYDeletedItemsAndXYExistingItemsPhoto()).toStdString();
        const auto caption = [&](std::size_t shownDeleted, std::size_t shownExisting) {
            return QString::fromStdString(FillPlaceholders(
                format, {std::to_string(shownDeleted), std::to_string(f.record.DeletedPhotosCount.load()),
                         std::to_string(shownExisting), std::to_string(f.record.PhotosCount.load())}));
        };
        for (const bool onlyDeleted : {true, false, true}) {
            w().setOnlyDeleted(onlyDeleted);
            QCOMPARE(w().photoGrid()->mediaModel()->rowCount(), static_cast<int>(deleted + (onlyDeleted ? 0 : existing)));
            QCOMPARE(w().lblPhotoCaption->text(), caption(deleted, onlyDeleted ? 0 : existing));
        }
    }

    // The photo page's exports copy what its grid shows; "Export all data" copies every photo;
    // the page's button makes a folder only for the kinds it copies; no copy leaves its thread.
    void photoPageExportsCopyWhatTheGridShows() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        w().setOnlyDeleted(true);
        const std::set<std::string> deleted = PhotoNames(f.record.DeletedPhotos);
        std::set<std::string> every = PhotoNames(f.record.Photos);
        every.insert(deleted.begin(), deleted.end());
        QVERIFY(every.size() > deleted.size());

        // The whole of the current tab: the deleted photos the grid shows.
        QTemporaryDir tab;
        ExportWindowController* export_ = exportDialog();
        export_->location->setText(tab.path());
        export_->cell2->setChecked(true);
        export_->finalexport();
        QVERIFY(WaitFor([&] { return w().exportsRunning() == 0; }));
        QCOMPARE(FileNames(fs::path(tab.path().toStdString()) / "Photos"), deleted);

        // Everything: every photo, whatever the grid shows.
        QTemporaryDir all;
        export_ = exportDialog();
        export_->location->setText(all.path());
        export_->cell3->setChecked(true);
        export_->finalexport();
        QVERIFY(WaitFor([&] { return w().exportsRunning() == 0; }));
        const auto dated = FileNames(all.path().toStdString());
        QCOMPARE(dated.size(), std::size_t{1});
        QCOMPARE(FileNames(fs::path(all.path().toStdString()) / *dated.begin() / "Photos"), every);
        closeExportWindows();

        // The page's button, with one photo ticked: its "Photos" folder, no empty "Videos".
        QTemporaryDir button;
        w().tickAllCameraPhoto(false);
        w().photoGrid()->clearSelection();
        MediaGridModel* model = w().photoGrid()->mediaModel();
        model->setCheckedAt(0, true);
        w().chooseFolder = [&](const QString&) { return button.path(); };
        opened.clear();
        w().exportPhotos();
        QVERIFY(WaitFor([&] { return w().exportsRunning() == 0 && !opened.isEmpty(); }));
        QCOMPARE(FileNames(button.path().toStdString()), std::set<std::string>{"Photos"});
        QCOMPARE(FileNames(fs::path(button.path().toStdString()) / "Photos"),
                 std::set<std::string>{model->nameAt(0).toStdString()});
        QCOMPARE(opened.back(), QUrl::fromLocalFile(button.path()));
        model->setCheckedAt(0, false);

        // Each copy's thread is collected once its copy has ended.
        QVERIFY(WaitFor([&] { return w().copyThreads() == 0; }, 5000));
        w().setOnlyDeleted(false);
    }

    // The photo page's Export says what it copied and what it could not, whether or not a file
    // browser opens the folder; a folder that received nothing is not opened.
    void photoPageExportSaysWhatItCopied() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        w().setOnlyDeleted(false);
        w().tickAllCameraPhoto(false);
        w().photoGrid()->clearSelection();
        MediaGridModel* model = w().photoGrid()->mediaModel();
        const struct {
            const char* what;
            bool photosIsAFile;
            bool desktopOpens;
            const char* heading;
            const char* said;
            bool folderOpened;
        } cases[] = {
            {"copied, a file browser shows them", false, true, "Export Complete", "3 file(s) written", true},
            {"copied, no file browser", false, false, "Export Complete", "3 file(s) written", true},
            {"a file named Photos in the way", true, true, "The export is incomplete", "Not written: Photos.", false},
        };
        for (const auto& c : cases) {
            QTemporaryDir out;
            if (c.photosIsAFile) std::ofstream(out.path().toStdString() + "/Photos") << "mine";
            for (int row = 0; row < 3; ++row) model->setCheckedAt(row, true);
            w().chooseFolder = [&](const QString&) { return out.path(); };
            desktopOpens = c.desktopOpens;
            opened.clear();
            w().exportPhotos();
            QVERIFY2(WaitFor([&] { return w().exportsRunning() == 0; }), c.what);
            ExportProgressWindow* report = w().exportProgressWindow();
            QVERIFY2(report && report->isVisible() && report->isFinished(), c.what);
            QCOMPARE(report->lblWait->text(), QString::fromLatin1(c.heading));
            QVERIFY2(report->lblSummary->text().contains(QString::fromLatin1(c.said)) &&
                         report->lblSummary->text().contains(out.path()),
                     qPrintable(QString::fromLatin1(c.what) + ": " + report->lblSummary->text()));
            QCOMPARE(opened.contains(QUrl::fromLocalFile(out.path())), c.folderOpened);
            closeExportWindows();
            w().tickAllCameraPhoto(false);
        }
        desktopOpens = true;
    }

    // A typed location is taken when it names a folder, as Browse would give; anything else is
    // refused with a message, the dialog staying open.
    void theLocationTakesATypedFolder() {
        QTemporaryDir out;
        std::ofstream(out.path().toStdString() + "/a file") << "x";
        struct Row {
            const char* why;
            QString typed;
            bool taken;
        };
        for (const Row& row : {Row{"no such folder", out.path() + QStringLiteral("/missing"), false},
                               Row{"a file", out.path() + QStringLiteral("/a file"), false},
                               Row{"a relative path", QStringLiteral("some/folder"), false},
                               Row{"a folder", out.path(), true}}) {
            ExportWindowController* export_ = exportDialog();
            export_->cell3->setChecked(true);
            export_->location->clear();
            QTest::keyClicks(export_->location, row.typed);
            QCOMPARE(export_->location->text(), row.typed);
            QString message;
            if (!row.taken) AnswerNextMessageBox(QString(), &message);
            export_->finalexport();
            if (row.taken) {
                QVERIFY2(!export_->isVisible(), row.why);
                QVERIFY(WaitFor([&] { return w().exportsRunning() == 0; }));
                closeExportWindows();
                QVERIFY2(FileNames(out.path().toStdString()).size() == 2, row.why);
            } else {
                QCOMPARE(message, Text(LanguageConfig::sharedObject().ExportNoFolderThere()));
                QVERIFY2(export_->isVisible(), row.why);
                export_->close();
            }
        }
    }

    // An alert or a folder panel opened from a dialog gives the focus back to that dialog, so
    // that Escape closes it.
    void nestedDialogsGiveTheFocusBack() {
        w().activateWindow();
        ExportWindowController* export_ = exportDialog();
        QVERIFY(WaitFor([&] { return QApplication::activeWindow() == export_; }, 5000));
        // Export without a location: the alert over the dialog.
        AnswerNextMessageBox(QString());
        export_->finalexport();
        QVERIFY(WaitFor([&] { return QApplication::activeWindow() == export_; }, 5000));
        // Browse: the panel ends, whichever window the desktop then activates.
        QTemporaryDir chosen;
        w().chooseFolder = [&](const QString&) {
            w().activateWindow();
            return chosen.path();
        };
        export_->btnBrowse->click();
        QCOMPARE(export_->location->text(), chosen.path());
        QVERIFY(WaitFor([&] { return QApplication::activeWindow() == export_; }, 5000));
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused && focused->window() == export_);
        QTest::keyClick(focused, Qt::Key_Escape);
        QVERIFY(!export_->isVisible());
        // The send wizard's "No device connected".
        w().activateWindow();
        w().sendToApp();
        AppWindowController* wizard = w().sendWizard();
        QVERIFY(WaitFor([&] { return QApplication::activeWindow() == wizard; }, 5000));
        wizard->next1();
        QString message;
        AnswerNextMessageBox(QString(), &message);
        wizard->send();
        QCOMPARE(message, QStringLiteral("No device connected to send data"));
        QVERIFY(WaitFor([&] { return QApplication::activeWindow() == wizard; }, 5000));
        focused = QApplication::focusWidget();
        QVERIFY(focused && focused->window() == wizard);
        QTest::keyClick(focused, Qt::Key_Escape);
        QVERIFY(!wizard->isVisible());
    }

    // Feedback, Share, Help and the user guide say so when nothing opens their address, and give
    // the address to copy; a placeholder address is named as one.
    void openersThatOpenNothingSaySo() {
        desktopOpens = false;
        const QString nothing = Text(LanguageConfig::sharedObject().DesktopNothingOpened());
        const QString placeholder = QStringLiteral("The page could not be opened: ");
        const ApplicationConfig config = ApplicationConfig::sharedObject();
        struct Row {
            const char* why;
            std::function<void()> act;
            QString address;
        };
        const auto share = [&]() -> ShareWindowController* {
            w().ShareBtnInMenu();
            return static_cast<ShareWindowController*>(w().openDialog("ShareWindowController"));
        };
        FeedbackWindowController* feedback = nullptr;
        for (const Row& row : {
                 Row{"feedback",
                     [&] {
                         w().FeedbackBtnInMenu();
                         feedback = static_cast<FeedbackWindowController*>(w().openDialog("FeedbackWindowController"));
                         feedback->content->setPlainText(QStringLiteral("My words"));
                         feedback->btnSubmit->click();
                     },
                     Text(config.supportemail)},
                 Row{"share on Facebook", [&] { share()->btnFacebook->click(); }, Text(config.facebookUrl)},
                 Row{"share by mail", [&] { share()->btnEmail->click(); }, QStringLiteral("https://")},
                 Row{"help", [&] { w().OnSupportClick(); }, QString::fromStdString(f.record.SupportURL.get())},
                 Row{"user guide", [&] { w().GuideBtnInMenu(); },
                     Text(ApplicationConfig::resolvedAddress(config.userGuideUrl))},
             }) {
            QString message;
            AnswerNextMessageBox(QString(), &message);
            row.act();
            const bool leadsNowhere = IsPlaceholderAddress(row.address.toStdString());
            QVERIFY2(message.startsWith(leadsNowhere ? placeholder : nothing), qPrintable(message));
            QVERIFY2(message.contains(row.address), qPrintable(message));
        }
        // The feedback stays, with its text.
        QVERIFY(feedback->isVisible());
        QCOMPARE(feedback->content->toPlainText(), QStringLiteral("My words"));
        feedback->close();
        w().openDialog("ShareWindowController")->close();
        desktopOpens = true;
    }

    // Hide minimises the window; HideOthers the program's other windows. The window answers
    // yes to being the key and main window, to pointer moves and to the first click.
    void hideAndHideOthers() {
        w().showNormal();
        w().AboutWindow();
        QDialog* about = w().openDialog("AboutWindow");
        QVERIFY(about);
        w().HideOthers();
        QVERIFY(WaitFor([&] { return about->isMinimized(); }, 5000));
        QVERIFY(!w().isMinimized());
        w().Hide();
        QVERIFY(WaitFor([&] { return w().isMinimized(); }, 5000));
        w().showNormal();
        about->close();
        QVERIFY(w().canBecomeKeyWindow() && w().canBecomeMainWindow() && w().acceptsMouseMovedEvents() &&
                w().acceptsFirstMouse());
    }

    // The steps of a scan that refresh the window leave open the tab the user chose meanwhile;
    // without a choice they show the first tab with results.
    void aScanKeepsTheTabTheUserChose() {
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        w().showScanControls();
        w().UpdateMainView();
        w().updateUIfoundRecoveredData();
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagSMS));
        w().iconControl(TabTag::TabTagCalls)->click();
        // What the photo service and the end of the scan do.
        w().UpdateMainView();
        w().updateUIfoundRecoveredData();
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagCalls));
        QVERIFY(w().screenOf(TabTag::TabTagCalls)->isVisible());
        w().restoreControlsAfterScan(false);
        // And a whole scan, with Calls chosen while it runs.
        startScanAndWaitForResults();
        QVERIFY(WaitFor([&] { return w().iconControl(TabTag::TabTagCalls)->isEnabled(); }));
        w().iconControl(TabTag::TabTagCalls)->click();
        QVERIFY(f.waitForReport());
        w().dashboard()->close();
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagCalls));
    }

    // Closing the window during a scan asks as the stop button does; No keeps both.
    void closingDuringAScanAsksFirst() {
        startScanAndWaitForResults();
        QString question;
        AnswerNextMessageBox(Text(LanguageConfig::sharedObject().CommonNo()), &question);
        QVERIFY(!w().close());
        QCOMPARE(question, Text(LanguageConfig::sharedObject().StopScanningDialogWindowMainText()));
        QVERIFY(w().isVisible());
        QVERIFY(f.waitForReport());
        w().dashboard()->close();
        QVERIFY(!f.saw("button Stop Scanning"));
    }

    void cleanupTestCase() {
        f.application.reset();
        Desktop::setOpener({});
    }
};

TORVANE_UI_TEST(WindowFlowsTest)
#include "WindowFlowsTest.moc"

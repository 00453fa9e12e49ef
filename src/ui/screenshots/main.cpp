// Renders the window's screens and dialogs into PNG files:
//   torvane-screenshots BACKUP_FOLDER OUTPUT_FOLDER
// It opens the backup, scans it, and walks the home screen, the running scan, the report,
// every tab with records (with the detail of a deleted record), the export dialog and its
// report, the send-to-device wizard, every dialog and the picture browser, saving one picture
// of each; then a scan of one data type, a stopped scan, and the window at its smallest size in
// English and German, with the scan bar and dialogs whose wide buttons have the keyboard focus.
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "app/WorkingFolder.h"
#include "app/WindowTypes.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/ChatScreens.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/ImageBrowserController.h"
#include "ui/MainMenu.h"
#include "ui/OwnWidgets.h"
#include "ui/ScreenFramework.h"
#include "ui/TransferWindows.h"
#include "ui/TorvaneApplication.h"
#include "ui/UiTabs.h"
#include "ui/QtDispatcher.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <iostream>

namespace {

void Pump(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Save(QWidget* widget, const QString& folder, const QString& name) {
    if (!widget) {
        std::cerr << "torvane-screenshots: nothing to show for " << name.toStdString() << '\n';
        return false;
    }
    Pump(250);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool saved = widget->grab().save(path);
    std::cout << (saved ? "wrote " : "could not write ") << path.toStdString() << '\n';
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "Usage: torvane-screenshots BACKUP_FOLDER OUTPUT_FOLDER\n";
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(output);
    Desktop::setOpener([](const QUrl& url) {
        std::cout << "would open " << url.toString().toStdString() << '\n';
        return true;
    });

    TorvaneApplication::Options options;
    options.updateCheck = false;
    options.listenForDevices = false;
    options.banner = false;
    options.backupFolder = argv[1];
    TorvaneApplication application(options);
    application.start();
    MainMenu& window = application.window();
    window.move(0, 0);
    Pump(500);
    bool ok = Save(&window, output, "01-home-backup");

    window.homeScreen()->fullRecover();
    // Taken as soon as the scan shows its progress.
    QElapsedTimer started;
    started.start();
    while (!(window.stopRecovery->isVisible() && window.imageView->isVisible()) && started.elapsed() < 10000) Pump(5);
    Pump(60);
    ok &= window.grab().save(QDir(output).filePath("02-scan-running.png"));
    QElapsedTimer waited;
    waited.start();
    while (application.core().scanWorker().isRunning() && waited.elapsed() < 120000) Pump(100);
    Pump(800);
    ok &= Save(window.dashboard(), output, "03-scan-report");
    if (window.dashboard()) window.dashboard()->close();

    int index = 4;
    const auto name = [&](const QString& what) {
        return QStringLiteral("%1-%2").arg(index++, 2, 10, QLatin1Char('0')).arg(what);
    };
    for (const UiTab& tab : UiTabs()) {
        const bool iconTab = IsIconBarTab(tab.tab);
        if (iconTab && !window.iconControl(tab.tab)->isEnabled()) continue;
        if (!iconTab && tab.tab != TabTag::TabTagDashboard && tab.tab != TabTag::TabTagDeviceInfo) continue;
        if (iconTab)
            window.onAppsSelectionChanged(tab.tab);
        else
            window.onTabSelectionChanged(tab.tab);
        // Existing and deleted records together.
        if (tab.kind == ScreenKind::DataList && window.record().onlyRecovered) window.toogleChanged();
        if (auto* list = dynamic_cast<ListScreen*>(window.viewController()); list && list->segmentedControl) {
            list->segmentedControl->setSelectedSegment(0);
            list->toggleChanged();
        }
        Pump(tab.kind == ScreenKind::PhotoBrowser ? 1500 : 300);
        ok &= Save(&window, output, name(QStringLiteral("tab-%1").arg(tab.fallbackIcon)));
        // The detail of a deleted record: the first red row.
        if (auto* list = dynamic_cast<ListScreen*>(window.viewController())) {
            const auto* rows = list->model->rows();
            for (std::size_t row = 0; rows && row < rows->size(); ++row)
                if (rows->deleted(row)) {
                    list->selectRow(row);
                    ok &= Save(&window, output, name(QStringLiteral("tab-%1-deleted-detail").arg(tab.fallbackIcon)));
                    break;
                }
        }
    }
    // The toggle back to deleted records only, on the messages tab.
    // The calls screen's group list with the address of the most calls chosen.
    window.onAppsSelectionChanged(TabTag::TabTagCalls);
    if (auto* calls = dynamic_cast<CallLogViewController*>(window.viewController())) {
        std::size_t most = 0, chosen = 0;
        for (std::size_t row = 0; row < calls->groupRows().rows.size(); ++row) {
            calls->selectRow(row);
            if (calls->calls().rows.size() > most) most = calls->calls().rows.size(), chosen = row;
        }
        calls->selectRow(chosen);
        ok &= Save(&window, output, name(QStringLiteral("calls-group-list")));
    }
    window.onAppsSelectionChanged(TabTag::TabTagSMS);
    if (!window.record().onlyRecovered) window.toogleChanged();
    ok &= Save(&window, output, name(QStringLiteral("messages-deleted-only")));
    window.toogleChanged();
    // A search on the messages tab.
    window._searchField->setText(QStringLiteral("a"));
    ok &= Save(&window, output, name(QStringLiteral("messages-search")));
    window._searchField->clear();
    // The photo page with only the deleted photos: its caption counts what the grid shows.
    window.onAppsSelectionChanged(TabTag::TabTagPhotos);
    window.setOnlyDeleted(true);
    Pump(800);
    ok &= Save(&window, output, name(QStringLiteral("photos-deleted-only")));
    window.setOnlyDeleted(false);

    // The export dialog, and an export of everything with its report.
    window.Export();
    ok &= Save(window.exportDialog(), output, name(QStringLiteral("dialog-ExportWindowController")));
    if (auto* dialog = static_cast<ExportWindowController*>(window.exportDialog())) {
        const QString folder = QDir(output).filePath(QStringLiteral("export-run"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        dialog->location->setText(folder);
        dialog->finalexport();
        QElapsedTimer exporting;
        exporting.start();
        while (window.exportsRunning() > 0 && exporting.elapsed() < 60000) Pump(100);
        ok &= Save(window.exportProgressWindow(), output, name(QStringLiteral("dialog-ExportingDialogWindow")));
        if (window.exportProgressWindow()) window.exportProgressWindow()->close();
        for (QDialog* rating : window.findChildren<QDialog*>(QStringLiteral("StarFeedbackWindow"))) rating->close();
        QDir(folder).removeRecursively();
    }
    // No browser opens the user guide: the message gives the address to copy.
    Desktop::setOpener([](const QUrl&) { return false; });
    QTimer::singleShot(300, &window, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            ok &= Save(box, output, name(QStringLiteral("dialog-nothing-opened")));
            box->close();
        }
    });
    window.GuideBtnInMenu();
    Desktop::setOpener([](const QUrl& url) {
        std::cout << "would open " << url.toString().toStdString() << '\n';
        return true;
    });
    // The send-to-device wizard: its first step and the choice of what to send.
    window.sendToApp();
    ok &= Save(window.sendWizard(), output, name(QStringLiteral("dialog-AppWindowController-step1")));
    if (AppWindowController* wizard = window.sendWizard()) {
        wizard->next1();
        ok &= Save(wizard, output, name(QStringLiteral("dialog-AppWindowController-choice")));
        wizard->close();
    }

    // Screens without records of the demo backup, reached through their tabs.
    for (TabTag tab : {TabTag::TabTagMap, TabTag::TabTagIMessage, TabTag::TabTagFaceTime, TabTag::TabTagSkype}) {
        window.onTabSelectionChanged(tab);
        ok &= Save(&window, output, name(QStringLiteral("tab-%1-empty").arg(UiTabFor(tab)->fallbackIcon)));
    }

    window.MenuPressed();
    ok &= Save(&window, output, name(QStringLiteral("menu")));
    window.hideMenus();

    struct DialogShot {
        const char* name;
        std::function<void()> open;
    };
    const DialogShot dialogs[] = {
        {"AboutWindow", [&] { window.AboutWindow(); }},
        {"LangaugeWindowController", [&] { window.showLanWindow(); }},
        {"ShareWindowController", [&] { window.ShareBtnInMenu(); }},
        {"FeedbackWindowController", [&] { window.FeedbackBtnInMenu(); }},
        {"StarFeedbackWindow", [&] { window.starFeedback(QStringLiteral("Rating - Export to Computer")); }},
        {"showHintWindowController", [&] { window.showHintPopup(); }},
        {"Notification1WindowController", [&] { window.Notification1(); }},
        {"Manual", [&] { window.OnManualClick(); }},
    };
    for (const DialogShot& shot : dialogs) {
        shot.open();
        Pump(300);
        QDialog* dialog = window.openDialog(shot.name);
        ok &= Save(dialog, output, name(QStringLiteral("dialog-%1").arg(shot.name)));
        if (dialog) dialog->close();
    }
    // The home screen in device mode, without a device.
    // The rating after a click on the second star.
    window.starFeedback(QStringLiteral("Rating - Export to Computer"));
    if (auto* rating = static_cast<StarFeedbackWindow*>(window.openDialog("StarFeedbackWindow"))) {
        rating->stars[1]->click();
        ok &= Save(rating, output, name(QStringLiteral("dialog-StarFeedbackWindow-two-stars")));
        rating->close();
    }
    window.showScreen(ScreenState::ScreenHome);
    window.homeScreen()->returnMainScreen();
    ok &= Save(&window, output, name(QStringLiteral("home-device")));

    // The stand-alone picture browser over the photos the scan copied.
    {
        ImageBrowserController browser(
            application.record(), application.dispatcher(),
            QString::fromStdString(application.core().workingFolder().path()), &window);
        browser.show();
        browser.openFiles();
        QElapsedTimer loading;
        loading.start();
        while (browser.loading() && loading.elapsed() < 10000) Pump(50);
        Pump(800);
        ok &= Save(&browser, output, name(QStringLiteral("dialog-ImageBrowserController")));
    }
    // A scan of the backup of one data type (the combo's index), or of all (7); `stopAfter`
    // milliseconds into it the stop button's "yes" ends it.
    // `running`: called once while the scan runs, its bar and status showing.
    const auto scanOf = [&](int type, int stopAfter = -1, std::function<void()> running_ = {}) {
        window.showScreen(ScreenState::ScreenHome);
        window.openBackupFolder(QString::fromLocal8Bit(argv[1]));
        window.homeScreen()->dataTypeCombo->setCurrentIndex(type);
        window.homeScreen()->fullRecover();
        QElapsedTimer running;
        running.start();
        if (running_) {
            while (!window.stopRecovery->isVisible() && running.elapsed() < 10000) Pump(5);
            Pump(60);
            running_();
        }
        if (stopAfter >= 0) {
            while (!window.stopRecovery->isVisible() && running.elapsed() < 10000) Pump(5);
            Pump(stopAfter);
            application.core().scanWorker().btnCancleClicked(true);
        }
        while (application.core().scanWorker().isRunning() && running.elapsed() < 120000) Pump(100);
        Pump(800);
    };
    const auto chooseLanguage = [&](const QString& language) {
        window.showLanWindow();
        if (auto* picker = static_cast<LangaugeWindowController*>(window.openDialog("LangaugeWindowController"))) {
            picker->selectLang->setCurrentIndex(picker->selectLang->findText(language));
            picker->btnSelectClicked();
        }
        Pump(300);
    };
    // A scan of the calls alone: its report and its screen.
    scanOf(2);
    ok &= Save(window.dashboard(), output, name(QStringLiteral("one-type-scan-report")));
    if (window.dashboard()) window.dashboard()->close();
    ok &= Save(&window, output, name(QStringLiteral("one-type-scan-calls")));
    // A scan stopped early: its report says so.
    scanOf(7, 0);
    ok &= Save(window.dashboard(), output, name(QStringLiteral("stopped-scan-report")));
    if (window.dashboard()) window.dashboard()->close();
    ok &= Save(&window, output, name(QStringLiteral("stopped-scan")));

    // The window at its smallest size, in English and in German: home screen (both modes) and
    // a results screen.
    window.resize(window.minimumSize());
    Pump(300);
    for (const QString& language : {QStringLiteral("Deutsch"), QStringLiteral("English")}) {
        const QString prefix = language == QLatin1String("Deutsch") ? QStringLiteral("de-") : QStringLiteral("en-");
        chooseLanguage(language);
        window.showScreen(ScreenState::ScreenHome);
        window.homeScreen()->returnMainScreen();
        ok &= Save(&window, output, name(prefix + QStringLiteral("smallest-home-device")));
        window.showScreen(ScreenState::ScreenHome);
        window.openBackupFolder(QString::fromLocal8Bit(argv[1]));
        ok &= Save(&window, output, name(prefix + QStringLiteral("smallest-home-backup")));
        scanOf(7, -1, [&] {
            ok &= window.grab().save(QDir(output).filePath(name(prefix + QStringLiteral("smallest-scan-running")) +
                                                           QStringLiteral(".png")));
        });
        ok &= Save(window.dashboard(), output, name(prefix + QStringLiteral("scan-report")));
        if (window.dashboard()) window.dashboard()->close();
        for (TabTag tab : {TabTag::TabTagSMS, TabTag::TabTagContacts, TabTag::TabTagCalls, TabTag::TabTagWhatsApp,
                           TabTag::TabTagPhotos}) {
            window.onAppsSelectionChanged(tab);
            Pump(tab == TabTag::TabTagPhotos ? 1500 : 300);
            ok &= Save(&window, output, name(prefix + QStringLiteral("smallest-tab-%1").arg(UiTabFor(tab)->fallbackIcon)));
        }
        // The bar of a running scan, its Cancel button with the keyboard focus.
        window.showScanControls();
        window.stopRecovery->setFocus();
        ok &= Save(&window, output, name(prefix + QStringLiteral("smallest-scan-bar-cancel-focused")));
        window.restoreControlsAfterScan(true);
        // The dialogs with the keyboard focus on their wide buttons.
        window.Notification1();
        Pump(300);
        QDialog* question = window.openDialog("Notification1WindowController");
        if (auto* confirmation = static_cast<Notification1WindowController*>(question)) confirmation->btnCancel->setFocus();
        ok &= Save(question, output, name(prefix + QStringLiteral("dialog-Notification1WindowController")));
        if (question) question->close();
        window.FeedbackBtnInMenu();
        Pump(300);
        QDialog* feedback = window.openDialog("FeedbackWindowController");
        if (auto* form = static_cast<FeedbackWindowController*>(feedback)) form->btnSubmit->setFocus();
        ok &= Save(feedback, output, name(prefix + QStringLiteral("dialog-FeedbackWindowController")));
        if (feedback) feedback->close();
    }
    return ok ? 0 : 1;
}

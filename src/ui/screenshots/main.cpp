// Renders the window's screens and dialogs into PNG files:
//   torvane-screenshots BACKUP_FOLDER OUTPUT_FOLDER
// It opens the backup, scans it, and walks the home screen, the running scan, the report,
// every tab with records (with the detail of a deleted record), the export dialog and its
// report, the send-to-device wizard, every dialog and the picture browser, saving one picture
// of each; then a scan of one data type, a stopped scan, and the window at its smallest size in
// English and German, with the scan bar and dialogs whose wide buttons have the keyboard focus.
// Long chats show a block at a time; a fast scan's report says what it did not look for.
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
#include "ui/PhotoBrowser.h"
#include "ui/ScreenFramework.h"
#include "ui/TransferWindows.h"
#include "ui/TorvaneApplication.h"
#include "ui/UiTabs.h"
#include "ui/QtDispatcher.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    // A long chat is drawn a block at a time: the newest block with the control for the older
    // ones above it (blocks made small here), and the next older block.
    for (TabTag tab : {TabTag::TabTagSMS, TabTag::TabTagWhatsApp}) {
        window.onAppsSelectionChanged(tab);
        ChatView* chat = nullptr;
        if (auto* sms = dynamic_cast<SMSViewController*>(window.viewController())) chat = sms->chatView;
        if (auto* whatsApp = dynamic_cast<WhatsAppViewController*>(window.viewController())) chat = whatsApp->chatView;
        auto* list = dynamic_cast<ListScreen*>(window.viewController());
        if (!chat || !list) continue;
        chat->blockSize = 6;
        list->selectRow(list->selectedRow().value_or(0) == 0 && list->model->rowCount() > 1 ? 1 : 0);
        const QString what = QString::fromLatin1(UiTabFor(tab)->fallbackIcon);
        ok &= Save(&window, output, name(what + QStringLiteral("-newest-block")));
        chat->olderButton->click();
        ok &= Save(&window, output, name(what + QStringLiteral("-older-block")));
        chat->blockSize = SMSViewController::kMostBubbles;
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
    // The next modal window (a message, a panel), saved and closed once it shows.
    const auto shotOfNextModal = [&](const QString& what) {
        QTimer::singleShot(300, &window, [&, what] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                ok &= Save(box, output, name(what));
                box->close();
            }
        });
    };
    // The panels as the window has them; the shots below answer them for a while.
    const auto savePanel = window.chooseSaveFile;
    const auto folderPanel = window.chooseFolder;
    // The export of the current tab (contacts), saved where the panel says: its report.
    {
        const QString folder = QDir(output).filePath(QStringLiteral("export-tab"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        window.onAppsSelectionChanged(TabTag::TabTagContacts);
        window.chooseSaveFile = [&](const QString&, const QString& proposed) { return QDir(folder).filePath(proposed); };
        window.OnExportClick(folder, QStringLiteral(".csv"));
        ok &= Save(window.exportProgressWindow(), output, name(QStringLiteral("dialog-ExportingDialogWindow-current-tab")));
        if (window.exportProgressWindow()) window.exportProgressWindow()->close();
        for (QDialog* rating : window.findChildren<QDialog*>(QStringLiteral("StarFeedbackWindow"))) rating->close();
        QDir(folder).removeRecursively();
    }
    // The backup folder typed as the export's location: refused, with the reason.
    window.Export();
    if (auto* dialog = static_cast<ExportWindowController*>(window.exportDialog())) {
        dialog->location->setText(QString::fromLocal8Bit(argv[1]));
        shotOfNextModal(QStringLiteral("dialog-export-into-backup-refused"));
        dialog->finalexport();
        dialog->close();
    }
    // The photo page's Export where a file named "Photos" is in the way: its report says so.
    window.onAppsSelectionChanged(TabTag::TabTagPhotos);
    {
        const QString folder = QDir(output).filePath(QStringLiteral("export-photos"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile blocker(QDir(folder).filePath(QStringLiteral("Photos")));
        if (blocker.open(QIODevice::WriteOnly)) blocker.write("mine");
        blocker.close();
        MediaGridModel* model = window.photoGrid()->mediaModel();
        for (int row = 0; row < std::min(3, model->rowCount()); ++row) model->setCheckedAt(row, true);
        window.chooseFolder = [&](const QString&) { return folder; };
        window.exportPhotos();
        QElapsedTimer copying;
        copying.start();
        while (window.exportsRunning() > 0 && copying.elapsed() < 30000) Pump(100);
        ok &= Save(window.exportProgressWindow(), output, name(QStringLiteral("dialog-photo-export-blocked")));
        if (window.exportProgressWindow()) window.exportProgressWindow()->close();
        window.tickAllCameraPhoto(false);
        QDir(folder).removeRecursively();
    }
    window.chooseSaveFile = savePanel;
    window.chooseFolder = folderPanel;
    // No browser opens the user guide: the message gives the address to copy.
    Desktop::setOpener([](const QUrl&) { return false; });
    shotOfNextModal(QStringLiteral("dialog-nothing-opened"));
    window.GuideBtnInMenu();
    Desktop::setOpener([](const QUrl& url) {
        std::cout << "would open " << url.toString().toStdString() << '\n';
        return true;
    });
    // The send-to-device wizard: its first step and the choice of what to send.
    window.sendToApp();
    ok &= Save(window.sendWizard(), output, name(QStringLiteral("dialog-AppWindowController-step1")));
    // Its link to the companion app's page, whose address leads nowhere yet: the message says so.
    if (AppWindowController* wizard = window.sendWizard()) {
        shotOfNextModal(QStringLiteral("dialog-companion-link-not-opened"));
        emit wizard->lblBottom->linkActivated(QStringLiteral("store"));
    }
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
    // A scan of the backup of one data type, or of all; `stopAfter`
    // milliseconds into it the stop button's "yes" ends it.
    // `running`: called once while the scan runs, its bar and status showing.
    const auto scanOf = [&](DataType type, int stopAfter = -1, std::function<void()> running_ = {}, bool fast = false) {
        window.showScreen(ScreenState::ScreenHome);
        window.openBackupFolder(QString::fromLocal8Bit(argv[1]));
        window.homeScreen()->dataTypeCombo->setCurrentIndex(InfoReaderViewController::selectionOfDataType(type));
        if (fast)
            window.homeScreen()->fastRecover();
        else
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
    scanOf(DataType::DataTypeCallHistory);
    ok &= Save(window.dashboard(), output, name(QStringLiteral("one-type-scan-report")));
    if (window.dashboard()) window.dashboard()->close();
    ok &= Save(&window, output, name(QStringLiteral("one-type-scan-calls")));
    // A fast scan of everything: its report, and the window after it.
    scanOf(DataType::DataTypeAll, -1, {}, true);
    ok &= Save(window.dashboard(), output, name(QStringLiteral("fast-scan-report")));
    if (window.dashboard()) window.dashboard()->close();
    ok &= Save(&window, output, name(QStringLiteral("fast-scan")));
    // A scan stopped early: its report says so.
    scanOf(DataType::DataTypeAll, 0);
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
        scanOf(DataType::DataTypeAll, -1, [&] {
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
        // Qt's own panels in the chosen language: the backup folder's and the save panel.
        shotOfNextModal(prefix + QStringLiteral("panel-choose-backup"));
        window.showScreen(ScreenState::ScreenHome);
        window.homeScreen()->findBackup(QString());
        shotOfNextModal(prefix + QStringLiteral("panel-save-as"));
        window.chooseSaveFile(QDir::homePath(), QStringLiteral("Addressbook.csv"));
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

// Renders the window's screens and dialogs into PNG files:
//   torvane-screenshots BACKUP_FOLDER OUTPUT_FOLDER
// It opens the backup, scans it, and walks the home screen, the running scan, the report,
// every tab with records and every dialog, saving one picture of each.
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "app/WindowTypes.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/OwnWidgets.h"
#include "ui/TorvaneApplication.h"
#include "ui/UiTabs.h"

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
    Desktop::setOpener([](const QUrl& url) { std::cout << "would open " << url.toString().toStdString() << '\n'; });

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
    for (const UiTab& tab : UiTabs()) {
        const bool iconTab = IsIconBarTab(tab.tab);
        if (iconTab && !window.iconControl(tab.tab)->isEnabled()) continue;
        if (!iconTab && tab.tab != TabTag::TabTagDashboard && tab.tab != TabTag::TabTagDeviceInfo) continue;
        if (iconTab)
            window.onAppsSelectionChanged(tab.tab);
        else
            window.onTabSelectionChanged(tab.tab);
        Pump(tab.kind == ScreenKind::PhotoBrowser ? 1500 : 300);
        ok &= Save(&window, output,
                   QStringLiteral("%1-tab-%2").arg(index++, 2, 10, QLatin1Char('0')).arg(tab.fallbackIcon));
    }
    // The toggle back to deleted records only, on the messages tab.
    window.onAppsSelectionChanged(TabTag::TabTagSMS);
    window.toogleChanged();
    ok &= Save(&window, output, QStringLiteral("%1-messages-deleted-only").arg(index++, 2, 10, QLatin1Char('0')));
    window.toogleChanged();

    window.MenuPressed();
    ok &= Save(&window, output, QStringLiteral("%1-menu").arg(index++, 2, 10, QLatin1Char('0')));
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
        ok &= Save(dialog, output, QStringLiteral("%1-dialog-%2").arg(index++, 2, 10, QLatin1Char('0')).arg(shot.name));
        if (dialog) dialog->close();
    }
    // The home screen in device mode, without a device.
    window.showScreen(ScreenState::ScreenHome);
    window.homeScreen()->returnMainScreen();
    ok &= Save(&window, output, QStringLiteral("%1-home-device").arg(index++, 2, 10, QLatin1Char('0')));
    return ok ? 0 : 1;
}

#include "ui/StatusMenu.h"

#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "ui/MacRecovery.h"
#include "ui/MainMenu.h"
#include "ui/TitleAdapters.h"

#include <QMenu>
#include <QShortcut>
#include <QSystemTrayIcon>

using TitleAdapters::ToQString;

namespace {

void BringToFront(MainMenu& window) {
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

bool openBackupByItsFiles(MainMenu& window) {
    // A new scan only while none runs.
    if (window.core().scanWorker().isRunning()) return false;
    return MacRecovery(window, 1);
}

void installOpenShortcut(MainMenu& window) {
    auto* open = new QShortcut(QKeySequence::Open, &window);
    open->setObjectName(QStringLiteral("openBackupShortcut"));
    QObject::connect(open, &QShortcut::activated, &window, [&window] { openBackupByItsFiles(window); });
}

QMenu* buildStatusMenu(MainMenu& window) {
    auto* menu = new QMenu(&window);
    menu->setObjectName(QStringLiteral("statusMenu"));
    QAction* show = menu->addAction(QString());
    show->setObjectName(QStringLiteral("statusShow"));
    QAction* open = menu->addAction(QString());
    open->setObjectName(QStringLiteral("statusOpenBackup"));
    menu->addSeparator();
    QAction* guide = menu->addAction(QString());
    guide->setObjectName(QStringLiteral("statusUserGuide"));
    QAction* about = menu->addAction(QString());
    about->setObjectName(QStringLiteral("statusAbout"));
    const auto retitle = [&window, show, open, guide, about] {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        const std::string product = window.record().ProductName.get();
        show->setText(QString::fromStdString(product.empty() ? std::string("Torvane") : product));
        open->setText(ToQString(texts.ChooseIOSBackupControlViewBrowseDialogTitle()) + QStringLiteral("\u2026"));
        guide->setText(ToQString(texts.MenuItemUserGuide()));
        about->setText(ToQString(texts.MenuItemAbout()));
    };
    retitle();
    QObject::connect(menu, &QMenu::aboutToShow, menu, retitle);
    QObject::connect(show, &QAction::triggered, &window, [&window] { BringToFront(window); });
    QObject::connect(open, &QAction::triggered, &window, [&window] {
        BringToFront(window);
        openBackupByItsFiles(window);
    });
    QObject::connect(guide, &QAction::triggered, &window, [&window] { window.GuideBtnInMenu(); });
    QObject::connect(about, &QAction::triggered, &window, [&window] {
        BringToFront(window);
        window.AboutWindow();
    });
    return menu;
}

QSystemTrayIcon* activateStatusMenu(MainMenu& window) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return nullptr;
    auto* item = new QSystemTrayIcon(window.icon(QStringLiteral("torvane")), &window);
    item->setObjectName(QStringLiteral("statusItem"));
    item->setToolTip(QStringLiteral("Torvane"));
    item->setContextMenu(buildStatusMenu(window));
    QObject::connect(item, &QSystemTrayIcon::activated, &window, [&window](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) BringToFront(window);
    });
    item->show();
    return item;
}

// The update check as the window shows it: the menu's "Check for updates", the new version
// beside the window's version, and the check's questions and messages.
#include "ui/MainMenu.h"

#include "app/ApplicationCore.h"
#include "config/LanguageConfig.h"
#include "ui/Dialogs.h"
#include "ui/NamedWidgets.h"
#include "ui/TitleAdapters.h"

using NamedWidgets::Texts;
using TitleAdapters::ToQString;

// ---- UpdateUser ----

void MainMenu::newVersionAvailable(const std::string& version, const OptString& downloadPage) {
    lblVersion->setText(lblVersion->text() + QStringLiteral("  \u2191 ") + QString::fromStdString(version));
    lblVersion->setToolTip(ToQString(downloadPage));
}

void MainMenu::showAlert(const std::string& message) {
    alert({message, "", {"OK"}});
}

bool MainMenu::askToUpdate(const std::string& message) {
    LanguageConfig& texts = Texts();
    return alert({message, "", {texts.UpdateButton().value_or("Update"), texts.CommonCancel().value_or("Cancel")}}) == 0;
}

void MainMenu::openInBrowser(const std::string& address) {
    Desktop::open(QString::fromStdString(address));
}

void MainMenu::OnUpdateClick() {
    hideMenus();
    if (core_ && core_->updateCheck()) core_->updateCheck()->OnUpdateClick();
}

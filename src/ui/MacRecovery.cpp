#include "ui/MacRecovery.h"

#include "app/ApplicationCore.h"
#include "app/DeviceBackup.h"
#include "app/DeviceDetails.h"
#include "app/DeviceRecoveryFlow.h"
#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DataType.h"
#include "ui/MainMenu.h"
#include "ui/TitleAdapters.h"

#include <QFileDialog>
#include <QFileInfo>

using TitleAdapters::ToQString;

bool MacRecovery(MainMenu& window, std::int32_t tag, const QString& chosenFile) {
    QString file = chosenFile;
    if (file.isEmpty()) {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        QFileDialog panel(&window,
                          ToQString(texts.PanelChooseBackupFile().value_or(
                              "Choose a .plist file from one of your Backup folders to Recover data")),
                          QString::fromStdString(window.mobileSyncFolder()));
        panel.setFileMode(QFileDialog::ExistingFile);
        panel.setNameFilter(QStringLiteral("Backup files (Info.plist Manifest.plist *.plist)"));
        panel.setLabelText(QFileDialog::FileName, ToQString(texts.PanelFileName().value_or("File Name")));
        if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return false;
        file = panel.selectedFiles().front();
    }
    const QFileInfo chosen(file);
    if (!chosen.isFile()) return false;

    BrimleyAppDelegate& record = window.record();
    record.BACKUP_DIRECTORY.set(chosen.absolutePath().toStdString());
    record._RecoverMode = tag;
    record.RecoverType = 1;
    // The source is a backup folder: a new scan goes back to the backup choice.
    record._RecoverType = 1;
    if (window.core().deviceDetails().getInfoFromBackup()) {
        window.showScreen(ScreenState::ScreenInitialLoading);
        const auto holder = record.holder.get();
        window.startScan(holder ? holder->dataType() : DataType::DataTypeAll);
        return true;
    }
    const std::size_t answer = window.alert({DeviceBackup::kMissingFilesQuestion, "", {"Yes", "No"}});
    if (answer != 0) return false;
    window.flow().deviceBackup().continueToRecover();
    return true;
}

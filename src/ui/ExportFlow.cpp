// The export to the computer: the export dialog, and its three scopes (everything, the ticked
// records, the current tab) with the progress window of a running export.
#include "ui/MainMenu.h"

#include "app/AnalyticsEvents.h"
#include "app/BackupFolderCheck.h"
#include "app/DataTypes.h"
#include "app/MainThreadDispatcher.h"
#include "config/LanguageConfig.h"
#include "export/ExportRun.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "records/InternetHistory.h"
#include "records/Note.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "records/Video.h"
#include "records/WhatsApp.h"
#include "ui/Dialogs.h"
#include "ui/Screens.h"
#include "ui/TitleAdapters.h"

#include <QFileInfo>

#include <iostream>

// ---- The export dialog and its scopes ----

QString MainMenu::backupFolderRefusal(const QString& folder) const {
    const std::string backup = record_.BACKUP_DIRECTORY.get();
    if (BackupFolderCheck::exportInsideBackup(backup, folder.toStdString()).empty()) return {};
    return QString::fromStdString(FillPlaceholders(
        LanguageConfig::sharedObject().ExportIntoBackupFolder().value_or(
            "{0} is the backup folder {1} or lies inside it. Torvane only ever reads a backup folder: choose "
            "another folder for the export."),
        {folder.toStdString(), backup}));
}

bool MainMenu::refuseBackupFolder(const QString& folder) {
    const QString why = backupFolderRefusal(folder);
    if (why.isEmpty()) return false;
    alert({why.toStdString(), "", {LanguageConfig::sharedObject().CommonOK().value_or("OK")}});
    return true;
}

void MainMenu::Export() {
    hideMenus();
    ExportWindowController::Actions actions;
    actions.chooseFolder = [this] {
        return chooseFolder(TitleAdapters::ToQString(
            LanguageConfig::sharedObject().PanelChooseExportFolder().value_or("Choose a Directory to Export Data.")));
    };
    actions.exportAll = [this](const QString& location, const QString& extension) {
        OnExportAllClick(location, extension);
    };
    actions.exportTicked = [this](const QString& location, const QString& extension) {
        OnExportTickedClick(location, extension);
    };
    actions.exportCurrentTab = [this](const QString& location, const QString& extension) {
        OnExportClick(location, extension);
    };
    actions.alert = [this](const AlertRequest& request) { alert(request); };
    actions.publishButtonEvent = [this](const std::string& button) { analytics_.PublishButtonEvent(button); };
    actions.refusal = [this](const QString& folder) { return backupFolderRefusal(folder); };
    openSingle<ExportWindowController>(exportWindow, std::move(actions), this);
}

namespace {

// Hands the export's progress from its thread to the window.
class WindowExportListener : public ExportListener {
public:
    WindowExportListener(MainThreadDispatcher& dispatcher, QPointer<ExportProgressWindow> window,
                         std::function<void(const ExportReport&)> done)
        : dispatcher_(dispatcher), window_(std::move(window)), done_(std::move(done)) {}
    void exportProgress(const ExportProgress& progress) override {
        dispatcher_.post([window = window_, progress] {
            if (window) window->progress(progress);
        });
    }
    void exportFinished(const ExportReport& report) override {
        dispatcher_.post([window = window_, report, done = done_] {
            if (window) window->finished(report);
            if (done) done(report);
        });
    }

private:
    MainThreadDispatcher& dispatcher_;
    QPointer<ExportProgressWindow> window_;
    std::function<void(const ExportReport&)> done_;
};

}  // namespace

ExportProgressWindow* MainMenu::exportProgressWindow() const {
    return static_cast<ExportProgressWindow*>(exportProgress.data());
}

void MainMenu::startFolderExport(ExportScope scope, const QString& location, const QString& extension) {
    if (!exportRun_) exportRun_ = std::make_unique<ExportRun>(record_, ExportFiles());
    if (exportRun_->isRunning()) {
        alert({"An export is still running.", "Wait until it has finished, then export again.", {"OK"}});
        return;
    }
    auto* window = openSingle<ExportProgressWindow>(exportProgress, [this] {
        if (exportRun_) exportRun_->cancel();
    }, this);
    btnExport->setEnabled(false);
    ++exportsRunning_;
    auto listener = std::make_shared<WindowExportListener>(
        dispatcher_, QPointer<ExportProgressWindow>(window), [this](const ExportReport& report) {
            --exportsRunning_;
            btnExport->setEnabled(true);
            if (!report.ok())
                std::cerr << "export: " << report.failures().size() << " file(s) could not be written\n";
            starFeedback(QStringLiteral("Rating - Export to Computer"));
        });
    ExportRequest request{scope, location.toStdString(), extension.toStdString(), 0};
    if (!exportRun_->start(std::move(request), listener)) {
        --exportsRunning_;
        btnExport->setEnabled(true);
    }
}

void MainMenu::OnExportAllClick(const QString& location, const QString& extension) {
    hideMenus();
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults)) return;
    startFolderExport(ExportScope::AllRecords, location, extension);
}

bool MainMenu::anythingTicked() const {
    const auto ticked = [](const auto& list) {
        return list.any([](const auto& item) { return item.isChecked() == 1; });
    };
    return ticked(record_.SMSContent) || ticked(record_.DeletedSMS) || ticked(record_.ContactContent) ||
           ticked(record_.DeletedContact) || ticked(record_.CallLogContent) || ticked(record_.DeletedCallLog) ||
           ticked(record_.NotesContent) || ticked(record_.DeletedNotes) || ticked(record_.CalendarContent) ||
           ticked(record_.DeletedCalendar) || ticked(record_.InternetContent) ||
           ticked(record_.WhatsAppContent) || ticked(record_.DeletedWhatsApp) || ticked(record_.AllPhotos) ||
           ticked(record_._AllVideos);
}

void MainMenu::OnExportTickedClick(const QString& location, const QString& extension) {
    hideMenus();
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults)) return;
    // The photos selected in the grid count as ticked.
    updatePhotosSelections();
    if (!anythingTicked()) {
        alert({"Nothing is ticked, so there is nothing to export.",
               "Tick the records, photos or videos to export, or choose to export everything.", {"OK"}});
        return;
    }
    startFolderExport(ExportScope::TickedRecords, location, extension);
}

void MainMenu::OnExportClick(const QString& location, const QString& extension) {
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults)) return;
    exportStart(location, extension);
}

void MainMenu::exportStart(const QString& location, const QString& extension) {
    const auto tab = static_cast<TabTag>(record_.tabItem.load());
    // The photo and video pages export what their grid shows (with only deleted data shown,
    // only the deleted items).
    if (tab == TabTag::TabTagPhotos || tab == TabTag::TabTagVideos) {
        if (refuseBackupFolder(location)) return;
        const QPointer<ExportProgressWindow> window = openCopyWindow();
        const auto done = [this, location, window](const MediaExporter::Result& result) {
            copiesEnded(location, {result}, window, false);
        };
        if (tab == TabTag::TabTagPhotos)
            exportAllPhotosToDirectory(location, false, done);
        else
            exportAllVideosToDirectory(location, false, done);
        return;
    }
    const ExportRun run(record_, ExportFiles());
    const auto device = record_.deviceInfo.get();
    const std::string proposed = run.ProposedFileName(ToCode(tab), extension.toStdString(), device.get());
    const QString path = chooseSaveFile(location, QString::fromStdString(proposed));
    if (path.isEmpty()) {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        alert({texts.ExportNothingWasExported().value_or("Nothing was exported."),
               texts.ExportFileNotSaved().value_or("The file was not saved."),
               {texts.CommonOK().value_or("OK")}});
        return;
    }
    if (refuseBackupFolder(QFileInfo(path).absolutePath())) return;
    if (SaveCompleted(path)) starFeedback(QStringLiteral("Rating - Export to Computer"));
}

bool MainMenu::SaveCompleted(const QString& path) {
    const ExportRun run(record_, ExportFiles());
    ExportReport report = run.run({ExportScope::CurrentTab, path.toStdString(), "", record_.tabItem.load()});
    // What was written and where, or what could not be, as the other exports say it.
    report.folder = QFileInfo(path).absolutePath().toStdString();
    showExportReport(report);
    return report.ok();
}

void MainMenu::showExportReport(const ExportReport& report) {
    auto* window = openSingle<ExportProgressWindow>(exportProgress, std::function<void()>(), this);
    window->finished(report);
}

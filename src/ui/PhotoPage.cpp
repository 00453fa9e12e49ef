// The photo and video page: the grids' reloads, the caption, the tick-all box, and the copies of
// the photos and videos into a folder.
#include "ui/MainMenu.h"

#include "app/MainThreadDispatcher.h"
#include "app/PhotoBrowserLists.h"
#include "config/LanguageConfig.h"
#include "export/MediaExporter.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "records/Video.h"
#include "ui/Dialogs.h"
#include "ui/NamedWidgets.h"
#include "ui/PhotoBrowser.h"
#include "ui/TitleAdapters.h"

#include <QUrl>

#include <iostream>
#include <set>

using NamedWidgets::Texts;
using TitleAdapters::ToQString;

// ---- The photo and video grids ----

void MainMenu::reloadGrids() {
    photoModel_->reload();
    videoModel_->reload();
}

void MainMenu::updateDatasource() {
    // Many calls come while photos are copied: one reload serves them all.
    if (gridReloadPending_) return;
    gridReloadPending_ = true;
    QTimer::singleShot(150, this, [this] {
        gridReloadPending_ = false;
        reloadGrids();
    });
}

void MainMenu::updatePhotosUI() {
    // The lists are snapshots; the window never waits for a flag held by the scan.
    PhotoBrowserLists::updatePhotos(record_, record_.onlyRecovered);
    showPhotoCaption();
    updateDatasource();
}

void MainMenu::showPhotoCaption() {
    // The caption counts what the grid shows: with only deleted photos shown, no existing one.
    std::size_t shownDeleted = 0, shownExisting = 0;
    {
        const auto deleted = record_.DeletedPhotos.snapshot();
        const std::set<const Photo*> isDeleted = [&] {
            std::set<const Photo*> set;
            for (const auto& photo : deleted) set.insert(photo.get());
            return set;
        }();
        for (const auto& photo : record_.AllPhotos.snapshot()) ++(isDeleted.count(photo.get()) ? shownDeleted : shownExisting);
    }
    const OptString format = LanguageConfig::sharedObject().PhotosListViewShowingXYDeletedItemsAndXYExistingItemsPhoto();
    lblPhotoCaption->setText(QString::fromStdString(FillPlaceholders(
        format.value_or(""), {std::to_string(shownDeleted), std::to_string(record_.DeletedPhotosCount.load()),
                              std::to_string(shownExisting), std::to_string(record_.PhotosCount.load())})));
}

void MainMenu::tickAllCameraPhoto(bool on) {
    MediaGridModel* model = nullptr;
    if (!scrollViewPhoto3->isHidden())
        model = photoModel_;
    else if (!scrollViewVideo->isHidden())
        model = videoModel_;
    if (!model) return;
    for (int row = 0; row < model->rowCount(); ++row) model->setCheckedAt(row, on);
}

void MainMenu::updatePhotosSelections() {
    for (int row : scrollViewPhoto3->selectedRows()) photoModel_->setCheckedAt(row, true);
}

void MainMenu::copyMedia(const QString& folder, bool photos, bool onlyTicked, bool createWhenEmpty, CopyDone done) {
    std::vector<MediaExporter::Item> items;
    if (photos) {
        for (const auto& photo : record_.AllPhotos.snapshot())
            if (!onlyTicked || photo->isChecked() != 0) items.push_back({photo->PhotoUrl(), photo->PhotoName()});
    } else {
        for (const auto& video : record_._AllVideos.snapshot())
            if (!onlyTicked || video->isChecked() != 0) items.push_back({video->VideoUrl(), video->VideoName()});
    }
    ++exportsRunning_;
    const std::uint64_t id = nextCopy_++;
    copies_.emplace(id, std::jthread([this, id, folder = folder.toStdString(), photos, items = std::move(items),
                                      createWhenEmpty, done = std::move(done)](std::stop_token stop) {
        MediaExporter::Result result =
            MediaExporter::CopyInto(folder, photos ? "Photos" : "Videos", items, createWhenEmpty, stop);
        dispatcher_.post([this, id, result = std::move(result), done] {
            // The copy's thread has nothing left to do: it is collected now, not when the
            // window goes.
            if (auto it = copies_.find(id); it != copies_.end()) {
                it->second.join();
                copies_.erase(it);
            }
            --exportsRunning_;
            std::size_t failed = 0;
            for (const ExportEntry& entry : result.entries) failed += entry.status == ExportStatus::Failed;
            if (failed) std::cerr << ("export: " + std::to_string(failed) + " file(s) could not be copied\n");
            if (done) done(result);
        });
    }));
}

void MainMenu::exportPhotosToDirectory(const QString& folder, CopyDone done) {
    copyMedia(folder, true, true, true, std::move(done));
}

void MainMenu::exportVideosToDirectory(const QString& folder, CopyDone done) {
    copyMedia(folder, false, true, true, std::move(done));
}

void MainMenu::exportAllPhotosToDirectory(const QString& folder, bool onlyTicked, CopyDone done) {
    // Photos selected in the grid count as ticked; without a ticked photo no folder is made.
    if (onlyTicked) updatePhotosSelections();
    copyMedia(folder, true, onlyTicked, !onlyTicked, std::move(done));
}

void MainMenu::exportAllVideosToDirectory(const QString& folder, bool onlyTicked, CopyDone done) {
    copyMedia(folder, false, onlyTicked, !onlyTicked, std::move(done));
}

QPointer<ExportProgressWindow> MainMenu::openCopyWindow() {
    // Its Cancel stops the copies that run.
    return openSingle<ExportProgressWindow>(exportProgress, [this] {
        for (auto& [id, copy] : copies_) copy.request_stop();
    }, this);
}

void MainMenu::copiesEnded(const QString& folder, const std::vector<MediaExporter::Result>& results,
                           QPointer<ExportProgressWindow> window, bool openFolder) {
    ExportReport report;
    report.folder = folder.toStdString();
    report.folderMade = true;
    for (const MediaExporter::Result& result : results) {
        report.entries.insert(report.entries.end(), result.entries.begin(), result.entries.end());
        report.cancelled = report.cancelled || result.stopped;
    }
    // The window says what was copied, what was there already and what could not be: also
    // when no file browser shows the folder. A folder that received nothing is not opened.
    if (!window) window = openCopyWindow();
    window->finished(report);
    if (openFolder && report.written() > 0) Desktop::open(QUrl::fromLocalFile(folder));
}

void MainMenu::exportPhotos() {
    if (record_.PresentScreen != ToCode(ScreenState::ScreenResults)) return;
    // The button copies the ticked pictures: with none ticked it says so and writes nothing.
    updatePhotosSelections();
    const auto ticked = [](const auto& item) { return item.isChecked() == 1; };
    if (!record_.AllPhotos.any(ticked) && !record_._AllVideos.any(ticked)) {
        alert({Texts().PhotosNothingTicked().value_or("Nothing is ticked, so there is nothing to export."), "", {"OK"}});
        return;
    }
    const QString folder =
        chooseFolder(ToQString(Texts().PanelChoosePhotosFolder().value_or("Choose a Directory to Export Photos")));
    if (folder.isEmpty() || refuseBackupFolder(folder)) return;
    // Only the kinds with a ticked item get their folder: ticked photos alone leave no empty
    // "Videos" beside "Photos".
    const QPointer<ExportProgressWindow> window = openCopyWindow();
    exportAllPhotosToDirectory(folder, true, [this, folder, window](const MediaExporter::Result& photos) {
        // Stopped in the photos: the videos are not begun.
        if (photos.stopped) return copiesEnded(folder, {photos}, window, true);
        exportAllVideosToDirectory(folder, true, [this, folder, window, photos](const MediaExporter::Result& videos) {
            copiesEnded(folder, {photos, videos}, window, true);
        });
    });
}

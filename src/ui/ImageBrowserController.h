#pragma once

#include "ui/Dialogs.h"

#include <QAbstractListModel>
#include <QHash>
#include <QListView>
#include <QPixmap>
#include <QSlider>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

class BrimleyAppDelegate;
class ImageBrowserController;
class MainThreadDispatcher;
class ThumbnailLoader;

// One item of the stand-alone browser: a picture file, named by its path (its image and its
// identifier).
class myImageObject {
public:
    void setPath(const QString& path) { _path = path; }
    const QString& imageRepresentation() const { return _path; }
    const QString& imageUID() const { return _path; }
    QString _path;
};

// The items of an ImageBrowserController for its icon view: a thumbnail and the file name
// each. Items are reordered by dragging them inside the view; nothing from elsewhere is taken.
class ImageBrowserModel : public QAbstractListModel {
public:
    ImageBrowserModel(ImageBrowserController& controller, ThumbnailLoader& thumbnails);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    // Removing items does nothing.
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    void reload();

private:
    ImageBrowserController& controller_;
    ThumbnailLoader& thumbnails_;
    mutable QHash<QString, QPixmap> cache_;
};

// A stand-alone browser window for the pictures of the working folder: the photos (or, with
// isVideo, the videos) shown as an icon grid that can be zoomed and reordered, and exported as
// "IMG_<n>.jpg" files into a chosen folder. The files are listed on a thread of their own;
// the window is main thread only.
class ImageBrowserController : public SmallDialog {
public:
    // `workingFolder`: the folder whose "Photos" and "Videos" the file chooser starts in.
    ImageBrowserController(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                           const QString& workingFolder, QWidget* parent);
    // Stops and waits for the loader and the export.
    ~ImageBrowserController() override;

    bool isVideo = false;
    bool isOpened = false;
    // The files of the photos and of the videos to show.
    QStringList urls, videoURLs;
    QListView* _imageBrowser;
    QSlider* zoomSlider;
    QPushButton* btnExport;

    // Empties the items; fills the current mode's list from the file chooser when it is empty;
    // then lists its files on a new thread, whose end shows them.
    void openFiles();
    // The file chooser: the entries of the start folder, "Photos" (or "Videos") of the working
    // folder.
    QStringList chooseFiles() const;
    // The loader's body: each entry as one item (a folder's entries one each), then the items
    // are shown on the main thread.
    void addImagesWithPaths(const QStringList& paths, std::stop_token stop);
    // A folder: each of its entries (recursively when asked); a file: one item.
    void addImagesWithPath(const QString& path, bool recursive, std::stop_token stop = {});
    void addAnImageWithPath(const QString& path);
    // Main thread: the items loaded join those shown, and the view is reloaded.
    void updateDatasource();

    // ---- The view's data ----
    int numberOfItemsInImageBrowser() const;
    // None for an index beyond the items.
    const myImageObject* imageBrowserItemAtIndex(int index) const;
    // Puts the items at the indexes before the item at `destination` (an index of the list as
    // it stands), in their order; false when an index is out of range.
    bool moveItemsAtIndexes(std::vector<int> indexes, int destination);

    void zoomSliderDidChange(int value);
    // Forgets the photo files listed.
    void RemoveCache();
    // Asks for a folder, then exports into it.
    void ExportPhotoClicked();
    // Copies the file of each photo of the record that is there to "<folder>/IMG_<n>.jpg", n
    // counting from 1 over those files, never over a file already there, on a thread of its
    // own; `done` (main thread) gets the number copied.
    void SavePanelExportPhotoDismissed(const QString& folder, std::function<void(int copied)> done = {});

    // Whether the loader has shown its items (for tests).
    bool loading() const { return loading_.load(); }

private:
    BrimleyAppDelegate& record_;
    MainThreadDispatcher& dispatcher_;
    const QString workingFolder_;
    std::unique_ptr<ThumbnailLoader> thumbnails_;
    ImageBrowserModel* model_ = nullptr;
    std::vector<myImageObject> _images;
    std::mutex importedMutex_;
    std::vector<myImageObject> _importedImages;
    std::atomic<bool> loading_{false};
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::jthread loader_, exporter_;
};

#include "ui/ImageBrowserController.h"

#include "app/MainThreadDispatcher.h"
#include "config/LanguageConfig.h"
#include "export/MediaExporter.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "ui/PhotoBrowser.h"
#include "ui/TitleAdapters.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace {

// Items moved inside the view travel as their row numbers under a type of our own, so that
// nothing dragged in from elsewhere is ever taken.
constexpr const char* kRowsMimeType = "application/x-torvane-browser-rows";
constexpr int kThumbnail = 128;

}  // namespace

// ---- ImageBrowserModel ----

ImageBrowserModel::ImageBrowserModel(ImageBrowserController& controller, ThumbnailLoader& thumbnails)
    : QAbstractListModel(&controller), controller_(controller), thumbnails_(thumbnails) {}

int ImageBrowserModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : controller_.numberOfItemsInImageBrowser();
}

QVariant ImageBrowserModel::data(const QModelIndex& index, int role) const {
    const myImageObject* item = controller_.imageBrowserItemAtIndex(index.row());
    if (!item) return {};
    const QString& path = item->imageRepresentation();
    if (role == Qt::DisplayRole) return QFileInfo(path).fileName();
    if (role == Qt::ToolTipRole) return path;
    if (role == Qt::DecorationRole) {
        if (auto it = cache_.constFind(path); it != cache_.constEnd()) return *it;
        QPointer<ImageBrowserModel> self(const_cast<ImageBrowserModel*>(this));
        thumbnails_.request(path, [self, path](const QString&, const QImage& thumbnail) {
            if (!self || thumbnail.isNull()) return;
            self->cache_.insert(path, QPixmap::fromImage(thumbnail));
            const int rows = self->rowCount();
            if (rows > 0) emit self->dataChanged(self->index(0), self->index(rows - 1), {Qt::DecorationRole});
        });
        // Until the thumbnail is made, a blank of its size keeps the grid's cells in shape.
        QPixmap blank(kThumbnail, kThumbnail * 3 / 4);
        blank.fill(QColor(225, 229, 235));
        return blank;
    }
    return {};
}

Qt::ItemFlags ImageBrowserModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractListModel::flags(index) | Qt::ItemIsDropEnabled;
    return index.isValid() ? base | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled : base;
}

Qt::DropActions ImageBrowserModel::supportedDropActions() const {
    return Qt::MoveAction;
}

QStringList ImageBrowserModel::mimeTypes() const {
    return {QString::fromLatin1(kRowsMimeType)};
}

QMimeData* ImageBrowserModel::mimeData(const QModelIndexList& indexes) const {
    QStringList rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid()) rows << QString::number(index.row());
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowsMimeType), rows.join(QLatin1Char(',')).toLatin1());
    return data;
}

bool ImageBrowserModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                        const QModelIndex&) const {
    return data && action == Qt::MoveAction && data->hasFormat(QString::fromLatin1(kRowsMimeType));
}

bool ImageBrowserModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                     const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    std::vector<int> rows;
    for (const QString& part : QString::fromLatin1(data->data(QString::fromLatin1(kRowsMimeType))).split(QLatin1Char(','))) {
        bool ok = false;
        const int at = part.toInt(&ok);
        if (ok) rows.push_back(at);
    }
    int destination = row;
    if (destination < 0) destination = parent.isValid() ? parent.row() : rowCount();
    // Taken out and put back here, so the view must not remove anything afterwards.
    controller_.moveItemsAtIndexes(std::move(rows), destination);
    return false;
}

bool ImageBrowserModel::removeRows(int, int, const QModelIndex&) {
    return false;
}

void ImageBrowserModel::reload() {
    beginResetModel();
    endResetModel();
}

// ---- ImageBrowserController ----

ImageBrowserController::ImageBrowserController(BrimleyAppDelegate& record, MainThreadDispatcher& dispatcher,
                                               const QString& workingFolder, QWidget* parent)
    : SmallDialog(parent, "ImageBrowserController"),
      record_(record),
      dispatcher_(dispatcher),
      workingFolder_(workingFolder),
      thumbnails_(std::make_unique<ThumbnailLoader>(dispatcher, kThumbnail)) {
    setWindowTitle(QStringLiteral("Torvane"));
    auto* layout = new QVBoxLayout(this);
    _imageBrowser = new QListView(this);
    _imageBrowser->setObjectName(QStringLiteral("_imageBrowser"));
    _imageBrowser->setViewMode(QListView::IconMode);
    _imageBrowser->setResizeMode(QListView::Adjust);
    _imageBrowser->setMovement(QListView::Snap);
    _imageBrowser->setWordWrap(true);
    _imageBrowser->setSelectionMode(QAbstractItemView::ExtendedSelection);
    _imageBrowser->setDragDropMode(QAbstractItemView::InternalMove);
    _imageBrowser->setDefaultDropAction(Qt::MoveAction);
    model_ = new ImageBrowserModel(*this, *thumbnails_);
    _imageBrowser->setModel(model_);
    zoomSlider = new QSlider(Qt::Horizontal, this);
    zoomSlider->setObjectName(QStringLiteral("zoomSlider"));
    zoomSlider->setRange(32, 256);
    zoomSlider->setMaximumWidth(200);
    connect(zoomSlider, &QSlider::valueChanged, this, [this](int value) { zoomSliderDidChange(value); });
    btnExport = new QPushButton(TitleAdapters::ToQString(LanguageConfig::sharedObject().CommonExport()), this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    connect(btnExport, &QPushButton::clicked, this, [this] { ExportPhotoClicked(); });
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(zoomSlider);
    bottom->addStretch();
    bottom->addWidget(btnExport);
    layout->addWidget(_imageBrowser, 1);
    layout->addLayout(bottom);
    zoomSlider->setValue(kThumbnail);
    zoomSliderDidChange(kThumbnail);
    resize(760, 560);
}

ImageBrowserController::~ImageBrowserController() {
    alive_->store(false);
    loader_.request_stop();
    exporter_.request_stop();
    if (loader_.joinable()) loader_.join();
    if (exporter_.joinable()) exporter_.join();
}

QStringList ImageBrowserController::chooseFiles() const {
    const QString start = QDir(workingFolder_).filePath(isVideo ? QStringLiteral("Videos") : QStringLiteral("Photos"));
    QStringList entries;
    if (workingFolder_.isEmpty()) return entries;
    for (const QFileInfo& entry : QDir(start).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        entries << entry.absoluteFilePath();
    return entries;
}

void ImageBrowserController::openFiles() {
    _images.clear();
    {
        std::lock_guard lock(importedMutex_);
        _importedImages.clear();
    }
    model_->reload();
    QStringList& files = isVideo ? videoURLs : urls;
    if (files.isEmpty()) files = chooseFiles();
    if (urls.isEmpty() && videoURLs.isEmpty()) return;
    isOpened = true;
    // One loader at a time: a new opening replaces the one still listing.
    loader_.request_stop();
    if (loader_.joinable()) loader_.join();
    loading_ = true;
    loader_ = std::jthread([this, paths = files](std::stop_token stop) { addImagesWithPaths(paths, stop); });
}

void ImageBrowserController::addImagesWithPaths(const QStringList& paths, std::stop_token stop) {
    for (const QString& path : paths) {
        if (stop.stop_requested()) break;
        addImagesWithPath(path, false, stop);
    }
    dispatcher_.post([this, alive = alive_] {
        if (!alive->load()) return;
        updateDatasource();
        loading_ = false;
    });
}

void ImageBrowserController::addImagesWithPath(const QString& path, bool recursive, std::stop_token stop) {
    const QFileInfo info(path);
    if (info.isDir()) {
        for (const QFileInfo& entry : QDir(path).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (stop.stop_requested()) return;
            if (recursive && entry.isDir())
                addImagesWithPath(entry.absoluteFilePath(), true, stop);
            else
                addAnImageWithPath(entry.absoluteFilePath());
        }
        return;
    }
    addAnImageWithPath(path);
}

void ImageBrowserController::addAnImageWithPath(const QString& path) {
    myImageObject item;
    item.setPath(path);
    std::lock_guard lock(importedMutex_);
    _importedImages.push_back(std::move(item));
}

void ImageBrowserController::updateDatasource() {
    {
        std::lock_guard lock(importedMutex_);
        _images.insert(_images.end(), _importedImages.begin(), _importedImages.end());
        _importedImages.clear();
    }
    model_->reload();
}

int ImageBrowserController::numberOfItemsInImageBrowser() const {
    return static_cast<int>(_images.size());
}

const myImageObject* ImageBrowserController::imageBrowserItemAtIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(_images.size())) return nullptr;
    return &_images[static_cast<std::size_t>(index)];
}

bool ImageBrowserController::moveItemsAtIndexes(std::vector<int> indexes, int destination) {
    const int count = static_cast<int>(_images.size());
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes.empty()) return true;
    if (indexes.front() < 0 || indexes.back() >= count || destination < 0 || destination > count) return false;
    std::vector<myImageObject> moved;
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it < destination) --destination;
        moved.insert(moved.begin(), _images[static_cast<std::size_t>(*it)]);
        _images.erase(_images.begin() + *it);
    }
    _images.insert(_images.begin() + destination, moved.begin(), moved.end());
    model_->reload();
    return true;
}

void ImageBrowserController::zoomSliderDidChange(int value) {
    _imageBrowser->setIconSize(QSize(value, value * 3 / 4));
    _imageBrowser->setGridSize(QSize(value + 24, value * 3 / 4 + 40));
    _imageBrowser->viewport()->update();
}

void ImageBrowserController::RemoveCache() {
    if (!urls.isEmpty()) urls.clear();
}

void ImageBrowserController::ExportPhotoClicked() {
    const QString folder = QFileDialog::getExistingDirectory(this, TitleAdapters::ToQString(LanguageConfig::sharedObject().PanelChoosePhotosFolder().value_or("Choose a Directory to Export Photos")),
                                                             QDir::homePath());
    if (!folder.isEmpty()) SavePanelExportPhotoDismissed(folder);
}

void ImageBrowserController::SavePanelExportPhotoDismissed(const QString& folder, std::function<void(int)> done) {
    std::vector<std::string> sources;
    for (const auto& photo : record_.Photos.snapshot())
        if (photo && photo->PhotoUrl()) sources.push_back(*photo->PhotoUrl());
    exporter_.request_stop();
    if (exporter_.joinable()) exporter_.join();
    exporter_ = std::jthread([this, folder = folder.toStdString(), sources = std::move(sources),
                              done = std::move(done)](std::stop_token stop) {
        int counter = 1;
        int copied = 0;
        for (const std::string& source : sources) {
            if (stop.stop_requested()) break;
            std::error_code error;
            if (!std::filesystem::is_regular_file(source, error)) continue;
            const std::string target = folder + "/IMG_" + std::to_string(counter) + ".jpg";
            ++counter;
            if (MediaExporter::CopyFileWithoutReplacing(source, target, stop) == ExportStatus::Written) ++copied;
            else std::cerr << ("photo browser: " + source + " was not copied to " + target + "\n");
        }
        dispatcher_.post([alive = alive_, copied, done] {
            if (alive->load() && done) done(copied);
        });
    });
}

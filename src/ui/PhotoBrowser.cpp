#include "ui/PhotoBrowser.h"

#include "app/MainThreadDispatcher.h"
#include "common/AppPaths.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "records/Video.h"
#include "ui/DeletedMarks.h"
#include "ui/TitleAdapters.h"

#include <QImageReader>
#include <QPainter>
#include <QStyledItemDelegate>

#include <unordered_set>

#include <mutex>

// ---- ThumbnailLoader ----

ThumbnailLoader::ThumbnailLoader(MainThreadDispatcher& dispatcher, int size)
    : dispatcher_(dispatcher), size_(size), worker_([this](std::stop_token stop) { run(stop); }) {}

ThumbnailLoader::~ThumbnailLoader() {
    worker_.request_stop();
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    *alive_ = false;
}

void ThumbnailLoader::request(const QString& path, Done done) {
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_front(path, std::move(done));
    }
    wake_.notify_one();
}

int ThumbnailLoader::made() const {
    std::lock_guard lock(mutex_);
    return made_;
}

void ThumbnailLoader::run(std::stop_token stop) {
    for (;;) {
        std::pair<QString, Done> job;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [&] { return !queue_.empty(); })) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        // Pictures are scaled as they are read, so a big photo never lands whole in memory.
        QImageReader reader(job.first);
        reader.setAutoTransform(true);
        const QSize full = reader.size();
        if (full.isValid() && (full.width() > size_ || full.height() > size_))
            reader.setScaledSize(full.scaled(size_, size_, Qt::KeepAspectRatio));
        QImage image = reader.read();
        if (!image.isNull() && (image.width() > size_ || image.height() > size_))
            image = image.scaled(size_, size_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        {
            std::lock_guard lock(mutex_);
            ++made_;
        }
        if (stop.stop_requested()) return;
        dispatcher_.post([alive = alive_, path = job.first, done = std::move(job.second), image] {
            if (*alive) done(path, image);
        });
    }
}

// ---- MediaGridModel ----

namespace {

constexpr int kThumbnail = 128;

QPixmap VideoPlaceholder() {
    QPixmap picture(kThumbnail, kThumbnail * 3 / 4);
    picture.fill(QColor(40, 48, 60));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(235, 235, 235));
    painter.setPen(Qt::NoPen);
    const int cx = picture.width() / 2;
    const int cy = picture.height() / 2;
    const QPoint triangle[] = {{cx - 14, cy - 18}, {cx - 14, cy + 18}, {cx + 20, cy}};
    painter.drawPolygon(triangle, 3);
    return picture;
}

QPixmap PhotoPlaceholder() {
    QPixmap picture(kThumbnail, kThumbnail * 3 / 4);
    picture.fill(QColor(225, 229, 235));
    return picture;
}

}  // namespace

MediaGridModel::MediaGridModel(BrimleyAppDelegate& record, Kind kind, ThumbnailLoader& thumbnails,
                               QObject* parent)
    : QAbstractListModel(parent),
      record_(record),
      kind_(kind),
      thumbnails_(thumbnails),
      placeholder_(kind == Kind::Videos ? VideoPlaceholder() : PhotoPlaceholder()) {}

namespace {

// One flag per item: whether it is one of the deleted ones.
template <class Item>
std::vector<char> DeletedFlags(const std::vector<std::shared_ptr<Item>>& items,
                               const std::vector<std::shared_ptr<Item>>& deleted) {
    std::unordered_set<const Item*> known;
    for (const auto& item : deleted) known.insert(item.get());
    std::vector<char> flags;
    flags.reserve(items.size());
    for (const auto& item : items) flags.push_back(known.count(item.get()) ? 1 : 0);
    return flags;
}

}  // namespace

void MediaGridModel::reload() {
    beginResetModel();
    if (kind_ == Kind::Photos) {
        std::lock_guard grid(record_.dcimLocked);
        photos_ = record_.AllPhotos.snapshot();
        deleted_ = DeletedFlags(photos_, record_.DeletedPhotos.snapshot());
    } else {
        videos_ = record_._AllVideos.snapshot();
        deleted_ = DeletedFlags(videos_, record_.DeletedVideos.snapshot());
    }
    endResetModel();
}

int MediaGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(kind_ == Kind::Photos ? photos_.size() : videos_.size());
}

QString MediaGridModel::nameAt(int row) const {
    if (row < 0 || row >= rowCount()) return QString();
    return kind_ == Kind::Photos ? TitleAdapters::ToQString(photos_[row]->PhotoName())
                                 : TitleAdapters::ToQString(videos_[row]->VideoName());
}

QString MediaGridModel::pathAt(int row) const {
    if (row < 0 || row >= rowCount()) return QString();
    return kind_ == Kind::Photos ? TitleAdapters::ToQString(photos_[row]->PhotoUrl())
                                 : QString();
}

bool MediaGridModel::deletedAt(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < deleted_.size() && deleted_[static_cast<std::size_t>(row)];
}

bool MediaGridModel::checkedAt(int row) const {
    if (row < 0 || row >= rowCount()) return false;
    return (kind_ == Kind::Photos ? photos_[row]->isChecked() : videos_[row]->isChecked()) != 0;
}

void MediaGridModel::setCheckedAt(int row, bool checked) {
    if (row < 0 || row >= rowCount()) return;
    if (kind_ == Kind::Photos)
        photos_[row]->setIsChecked(checked ? 1 : 0);
    else
        videos_[row]->setIsChecked(checked ? 1 : 0);
    const QModelIndex at = index(row);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

QVariant MediaGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const int row = index.row();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return nameAt(row);
        case Qt::CheckStateRole:
            return checkedAt(row) ? Qt::Checked : Qt::Unchecked;
        case Qt::ForegroundRole:
            return deletedAt(row) ? QVariant(DeletedMarks::text()) : QVariant();
        case Qt::BackgroundRole:
            return deletedAt(row) ? QVariant(DeletedMarks::ground()) : QVariant();
        case Qt::DecorationRole: {
            const QString path = pathAt(row);
            if (path.isEmpty()) return placeholder_;
            if (auto it = cache_.constFind(path); it != cache_.constEnd()) return *it;
            // Asked once; the placeholder shows until the thumbnail arrives.
            cache_.insert(path, placeholder_);
            auto* self = const_cast<MediaGridModel*>(this);
            thumbnails_.request(path, [self, path](const QString&, const QImage& image) {
                if (image.isNull()) return;
                self->cache_.insert(path, QPixmap::fromImage(image));
                for (int i = 0; i < self->rowCount(); ++i)
                    if (self->pathAt(i) == path) {
                        const QModelIndex changed = self->index(i);
                        emit self->dataChanged(changed, changed, {Qt::DecorationRole});
                    }
            });
            return placeholder_;
        }
        default:
            return {};
    }
}

bool MediaGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid()) return false;
    setCheckedAt(index.row(), value.toInt() == Qt::Checked);
    emit itemTicked();
    return true;
}

Qt::ItemFlags MediaGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

// ---- MediaGrid ----

namespace {

// Sizes every item to its grid cell (less a pixel at each side), whatever its thumbnail and
// name, so that the view's items, which take the size of the first, have room for any name
// that fits a cell.
class CellSizedItems : public QStyledItemDelegate {
public:
    explicit CellSizedItems(QListView* view) : QStyledItemDelegate(view), view_(view) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize cell = view_->gridSize();
        if (!cell.isValid()) return QStyledItemDelegate::sizeHint(option, index);
        return cell - QSize(2, 2);
    }

private:
    QListView* view_;
};

}  // namespace

MediaGrid::MediaGrid(MediaGridModel* model, QWidget* parent) : QListView(parent), model_(model) {
    setViewMode(QListView::IconMode);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setIconSize(QSize(kThumbnail, kThumbnail * 3 / 4));
    setGridSize(QSize(kThumbnail + 28, kThumbnail * 3 / 4 + 44));
    setSpacing(6);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setItemDelegate(new CellSizedItems(this));
    setModel(model);
}

std::vector<int> MediaGrid::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

#pragma once

#include <QAbstractListModel>
#include <QCheckBox>
#include <QHash>
#include <QImage>
#include <QListView>
#include <QPixmap>
#include <QWidget>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class BrimleyAppDelegate;
class MainThreadDispatcher;
class Photo;
class Video;

// Makes thumbnails off the main thread: one worker thread reads and scales the pictures asked
// for, newest request first, and hands each finished thumbnail to the main thread.
class ThumbnailLoader {
public:
    using Done = std::function<void(const QString& path, const QImage& thumbnail)>;
    ThumbnailLoader(MainThreadDispatcher& dispatcher, int size);
    // Stops the worker; thumbnails not yet handed over are dropped.
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Any thread; `done` runs on the main thread. A path asked for twice is made once.
    void request(const QString& path, Done done);
    // How many thumbnails have been made (for tests).
    int made() const;

private:
    void run(std::stop_token stop);

    MainThreadDispatcher& dispatcher_;
    const int size_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::pair<QString, Done>> queue_;
    int made_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::jthread worker_;
};

// The items of the photo grid (AllPhotos) or of the video grid (_AllVideos), read afresh from
// the record at each reload; each item is checkable, its check being the record's tick. A
// deleted photo or video (one of DeletedPhotos or DeletedVideos) is marked as the lists mark
// deleted records.
class MediaGridModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Kind { Photos, Videos };
    MediaGridModel(BrimleyAppDelegate& record, Kind kind, ThumbnailLoader& thumbnails,
                   QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Reads the record's list again (under dcimLocked for the photos).
    void reload();
    Kind kind() const { return kind_; }
    // The item's file name and its tick.
    QString nameAt(int row) const;
    bool checkedAt(int row) const;
    // Whether the item is a deleted photo or video.
    bool deletedAt(int row) const;
    void setCheckedAt(int row, bool checked);

signals:
    // A single item's tick changed through the view.
    void itemTicked();

private:
    QString pathAt(int row) const;

    BrimleyAppDelegate& record_;
    const Kind kind_;
    ThumbnailLoader& thumbnails_;
    std::vector<std::shared_ptr<Photo>> photos_;
    std::vector<std::shared_ptr<Video>> videos_;
    // One flag per item: a deleted one.
    std::vector<char> deleted_;
    mutable QHash<QString, QPixmap> cache_;
    QPixmap placeholder_;
};

// A grid of thumbnails with a tick box per item. Every item takes the width of its cell, so that
// a name is shortened only when the cell is too narrow for it.
class MediaGrid : public QListView {
public:
    MediaGrid(MediaGridModel* model, QWidget* parent = nullptr);
    MediaGridModel* mediaModel() const { return model_; }
    // The rows selected in the grid.
    std::vector<int> selectedRows() const;

private:
    MediaGridModel* model_;
};

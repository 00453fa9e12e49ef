// The photo and video grid of the results: which items it marks as deleted.
#include "UiTestSupport.h"
#include "app/PhotoBrowserLists.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "records/Video.h"
#include "ui/PhotoBrowser.h"
#include "ui/QtDispatcher.h"
#include "ui/ScreenFramework.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

std::shared_ptr<Photo> PhotoFile(const QString& folder, const QString& name, QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(QColor(90, 150, 220));
    const QString path = folder + QLatin1Char('/') + name;
    picture.save(path);
    auto photo = std::make_shared<Photo>();
    photo->setPhotoName(name.toStdString());
    photo->setPhotoUrl(path.toStdString());
    return photo;
}

std::shared_ptr<Video> VideoNamed(const char* name) {
    auto video = std::make_shared<Video>();
    video->setVideoName(std::string(name));
    return video;
}

}  // namespace

class PhotoGridTest : public QObject {
    Q_OBJECT
    QtDispatcher dispatcher;
    QTemporaryDir folder;

private slots:
    // Deleted photos and videos stand apart in the grid: their names in the colour of the
    // lists' deleted rows, their cells on a pale red ground; the existing ones are unmarked.
    void deletedItemsAreMarkedAsTheListsMarkDeletedRows() {
        BrimleyAppDelegate record;
        record.Photos.append(PhotoFile(folder.path(), "IMG_0001.JPG", {64, 48}));
        record.Photos.append(PhotoFile(folder.path(), "IMG_0002.JPG", {64, 48}));
        record.DeletedPhotos.append(PhotoFile(folder.path(), "IMG_0003.JPG", {64, 48}));
        record.Videos.append(VideoNamed("IMG_0010.MOV"));
        record.DeletedVideos.append(VideoNamed("IMG_0011.MOV"));
        PhotoBrowserLists::rebuild(record);
        ThumbnailLoader thumbnails(dispatcher, 128);

        // The colour the lists draw a deleted row in.
        RowTable<RecordRow<Photo>> rows;
        rows.columnList = {{"PhotoName", std::nullopt, "Name", ColumnKind::Text,
                            [](const RecordRow<Photo>& r) { return r.record->PhotoName(); }, {}}};
        rows.deletedOf = [](const RecordRow<Photo>& r) { return r.deleted; };
        rows.rows = {{record.DeletedPhotos.snapshot().front(), true}};
        RecordTableModel table;
        table.setRows(&rows);
        const QVariant listColour = table.data(table.index(0, 0), Qt::ForegroundRole);
        QVERIFY(listColour.isValid());

        const struct {
            MediaGridModel::Kind kind;
            std::vector<bool> deleted;
        } cases[] = {
            {MediaGridModel::Kind::Photos, {false, false, true}},
            {MediaGridModel::Kind::Videos, {false, true}},
        };
        for (const auto& c : cases) {
            MediaGridModel model(record, c.kind, thumbnails);
            model.reload();
            QCOMPARE(model.rowCount(), int(c.deleted.size()));
            for (int row = 0; row < model.rowCount(); ++row) {
                const QModelIndex index = model.index(row);
                QCOMPARE(model.deletedAt(row), bool(c.deleted[std::size_t(row)]));
                QCOMPARE(model.data(index, Qt::ForegroundRole), c.deleted[std::size_t(row)] ? listColour : QVariant());
                QCOMPARE(model.data(index, Qt::BackgroundRole).isValid(), bool(c.deleted[std::size_t(row)]));
            }
        }

        // Drawn: the deleted photo's cell shows the ground below its tick box, the others not.
        MediaGridModel model(record, MediaGridModel::Kind::Photos, thumbnails);
        model.reload();
        MediaGrid grid(&model);
        grid.resize(800, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QImage drawn = grid.viewport()->grab().toImage();
        const QColor ground = model.data(model.index(2), Qt::BackgroundRole).value<QColor>();
        for (int row = 0; row < model.rowCount(); ++row) {
            const QRect cell = grid.visualRect(model.index(row));
            const QPoint beside = cell.bottomLeft() + QPoint(3, -3);
            QCOMPARE(drawn.pixelColor(beside) == ground, model.deletedAt(row));
        }

        // Only the deleted ones listed: every item marked.
        PhotoBrowserLists::rebuild(record, true);
        model.reload();
        QCOMPARE(model.rowCount(), 1);
        QVERIFY(model.deletedAt(0));
    }
};

TORVANE_UI_TEST(PhotoGridTest)
#include "PhotoGridTest.moc"

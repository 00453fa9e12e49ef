#include "UiTestSupport.h"
#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "ui/ExtraWindows.h"
#include "ui/ImageBrowserController.h"
#include "ui/OwnWidgets.h"
#include "ui/QtDispatcher.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <fstream>
#include <map>
#include <memory>

namespace {

// A view with controls at two depths: buttons tagged 3 to 6, tick boxes tagged 4 and 5, a text
// field tagged 4, and an untagged button.
struct TaggedTree {
    QWidget root;
    std::map<QString, QWidget*> controls;

    TaggedTree() {
        auto* inner = new QWidget(&root);
        auto* deeper = new QWidget(inner);
        const auto add = [&](QWidget* control, const QString& name, int tag) {
            control->setObjectName(name);
            if (tag >= 0) control->setProperty("tag", tag);
            controls[name] = control;
        };
        add(new QPushButton(&root), QStringLiteral("button3"), 3);
        add(new QPushButton(inner), QStringLiteral("button4"), 4);
        add(new QPushButton(deeper), QStringLiteral("button5"), 5);
        add(new QPushButton(deeper), QStringLiteral("button6"), 6);
        add(new QCheckBox(inner), QStringLiteral("tick4"), 4);
        add(new QCheckBox(deeper), QStringLiteral("tick5"), 5);
        add(new QLineEdit(deeper), QStringLiteral("field4"), 4);
        add(new QPushButton(deeper), QStringLiteral("untagged"), -1);
    }
    QStringList disabled() const {
        QStringList names;
        for (const auto& [name, control] : controls)
            if (!control->isEnabled()) names << name;
        return names;
    }
};

void WritePicture(const QString& path, QColor colour) {
    QImage image(24, 18, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path));
}

QStringList Paths(const ImageBrowserController& browser) {
    QStringList paths;
    for (int i = 0; i < browser.numberOfItemsInImageBrowser(); ++i)
        paths << QFileInfo(browser.imageBrowserItemAtIndex(i)->imageRepresentation()).fileName();
    return paths;
}

}  // namespace

// The confirmation in its device form, the decryption window, the combined forms of disabling
// controls by type and tag, and the stand-alone picture browser.
class ExtraWindowsTest : public QObject {
    Q_OBJECT
    QtDispatcher dispatcher;

private slots:
    void initTestCase() { LanguageConfig::sharedObject().loadConfig(); }

    void notification2AsksAndGoesBackToTheDevice() {
        int homeDevice = 0;
        {
            Notification2WindowController dialog([&] { ++homeDevice; }, nullptr);
            QCOMPARE(dialog.objectName(), QStringLiteral("Notification2WindowController"));
            QCOMPARE(dialog.lblConfirmation->text(),
                     QString::fromStdString(LanguageConfig::sharedObject().Notification1WindowAlert().value_or("?")));
            QVERIFY(dialog.btnOk->text().contains(QString::fromStdString(LanguageConfig::sharedObject().CommonOK().value_or("?"))));
            dialog.show();
            dialog.btnCancel->click();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(homeDevice, 0);
            dialog.show();
            dialog.btnOk->click();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(homeDevice, 1);
        }
        DecryptionWindow decryption(nullptr);
        QCOMPARE(decryption.objectName(), QStringLiteral("DecryptionWindow"));
        decryption.show();
        QVERIFY(decryption.isVisible());
        QVERIFY(decryption.findChildren<QPushButton*>().isEmpty());
    }

    void disableByTypeAndTag_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("disabled");
        QTest::newRow("buttons in 4..5") << QStringLiteral("button range") << QStringList{"button4", "button5"};
        QTest::newRow("tick boxes in 4..5") << QStringLiteral("tick range") << QStringList{"tick4", "tick5"};
        QTest::newRow("buttons tagged 3 or 6") << QStringLiteral("button list") << QStringList{"button3", "button6"};
        QTest::newRow("tick boxes tagged 5 or 9") << QStringLiteral("tick list") << QStringList{"tick5"};
        QTest::newRow("empty range") << QStringLiteral("empty range") << QStringList{};
    }
    void disableByTypeAndTag() {
        QFETCH(QString, form);
        QFETCH(QStringList, disabled);
        using namespace DisableSubviews;
        TaggedTree tree;
        const auto apply = [&](bool disable) {
            if (form == QLatin1String("button range")) disableSubviewsOfTypeInTagRange<QPushButton>(&tree.root, disable, 4, 2);
            if (form == QLatin1String("tick range")) disableSubviewsOfTypeInTagRange<QCheckBox>(&tree.root, disable, 4, 2);
            if (form == QLatin1String("button list")) disableSubviewsOfTypeWithTags<QPushButton>(&tree.root, disable, {3, 6});
            if (form == QLatin1String("tick list")) disableSubviewsOfTypeWithTags<QCheckBox>(&tree.root, disable, {5, 9});
            if (form == QLatin1String("empty range")) disableSubviewsOfTypeInTagRange<QPushButton>(&tree.root, disable, 4, 0);
        };
        apply(true);
        QCOMPARE(tree.disabled(), disabled);
        apply(false);
        QVERIFY(tree.disabled().isEmpty());
    }

    void browserListsThePicturesOfTheWorkingFolder() {
        QTemporaryDir working;
        QVERIFY(QDir(working.path()).mkpath(QStringLiteral("Photos/inner")));
        QVERIFY(QDir(working.path()).mkpath(QStringLiteral("Videos")));
        const QString photos = working.filePath(QStringLiteral("Photos"));
        WritePicture(photos + "/b.png", Qt::red);
        WritePicture(photos + "/a.png", Qt::green);
        WritePicture(photos + "/c.png", Qt::blue);
        WritePicture(photos + "/inner/d.png", Qt::gray);
        BrimleyAppDelegate record;
        ImageBrowserController browser(record, dispatcher, working.path(), nullptr);
        QCOMPARE(browser._imageBrowser->viewMode(), QListView::IconMode);
        browser.openFiles();
        QVERIFY(browser.isOpened);
        QVERIFY(WaitFor([&] { return !browser.loading(); }, 20000));
        // The chooser gives the folder's entries; a folder among them gives its own entries.
        QCOMPARE(Paths(browser), (QStringList{"a.png", "b.png", "c.png", "d.png"}));
        QCOMPARE(browser._imageBrowser->model()->rowCount(), 4);
        QVERIFY(!browser.imageBrowserItemAtIndex(4));
        QVERIFY(!browser.imageBrowserItemAtIndex(-1));
        // Opening again lists anew, no item twice.
        browser.openFiles();
        QVERIFY(WaitFor([&] { return !browser.loading(); }, 20000));
        QCOMPARE(browser.numberOfItemsInImageBrowser(), 4);
        // A folder without recursion: each entry one item, a folder too; with it, the files
        // of the folders inside.
        browser.addImagesWithPath(photos, false);
        browser.updateDatasource();
        QCOMPARE(Paths(browser).mid(4), (QStringList{"a.png", "b.png", "c.png", "inner"}));
        browser.addImagesWithPath(photos, true);
        browser.updateDatasource();
        QCOMPARE(Paths(browser).mid(8), (QStringList{"a.png", "b.png", "c.png", "d.png"}));
        // Videos: an empty folder, nothing listed.
        browser.isVideo = true;
        browser.openFiles();
        QVERIFY(WaitFor([&] { return !browser.loading(); }, 20000));
        QCOMPARE(browser.numberOfItemsInImageBrowser(), 0);
        browser.RemoveCache();
        QVERIFY(browser.urls.isEmpty());
        browser.zoomSliderDidChange(64);
        QCOMPARE(browser._imageBrowser->iconSize().width(), 64);
    }

    void browserMovesItemsAndRefusesOtherDrops_data() {
        QTest::addColumn<QList<int>>("indexes");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QString>("order");
        QTest::newRow("two forward") << QList<int>{0, 2} << 4 << QStringLiteral("bdace");
        QTest::newRow("one back") << QList<int>{3} << 0 << QStringLiteral("dabce");
        QTest::newRow("to the end") << QList<int>{1} << 5 << QStringLiteral("acdeb");
        QTest::newRow("onto itself") << QList<int>{2} << 2 << QStringLiteral("abcde");
        QTest::newRow("out of range") << QList<int>{5} << 0 << QStringLiteral("abcde");
    }
    void browserMovesItemsAndRefusesOtherDrops() {
        QFETCH(QList<int>, indexes);
        QFETCH(int, destination);
        QFETCH(QString, order);
        QTemporaryDir working;
        QVERIFY(QDir(working.path()).mkpath(QStringLiteral("Photos")));
        for (const char* name : {"a", "b", "c", "d", "e"})
            WritePicture(working.filePath(QStringLiteral("Photos/%1.png").arg(QLatin1String(name))), Qt::gray);
        BrimleyAppDelegate record;
        ImageBrowserController browser(record, dispatcher, working.path(), nullptr);
        browser.openFiles();
        QVERIFY(WaitFor([&] { return !browser.loading(); }, 20000));
        const bool valid = browser.moveItemsAtIndexes(std::vector<int>(indexes.begin(), indexes.end()), destination);
        QCOMPARE(valid, indexes.front() < 5);
        QString shown;
        for (const QString& path : Paths(browser)) shown += path.left(1);
        QCOMPARE(shown, order);
        // Something dragged in from elsewhere is refused.
        QMimeData outside;
        outside.setText(QStringLiteral("file:///etc/passwd"));
        QVERIFY(!browser._imageBrowser->model()->canDropMimeData(&outside, Qt::CopyAction, 0, 0, {}));
        QVERIFY(!browser._imageBrowser->model()->canDropMimeData(&outside, Qt::MoveAction, 0, 0, {}));
        QVERIFY(!browser._imageBrowser->model()->removeRows(0, 1));
        QCOMPARE(browser.numberOfItemsInImageBrowser(), 5);
    }

    void browserExportsNumberedCopies() {
        QTemporaryDir working;
        QTemporaryDir target;
        const QString first = working.filePath(QStringLiteral("one.png"));
        const QString second = working.filePath(QStringLiteral("two.png"));
        WritePicture(first, Qt::red);
        WritePicture(second, Qt::blue);
        BrimleyAppDelegate record;
        std::vector<std::shared_ptr<Photo>> photos;
        for (const QString& path : {first, working.filePath(QStringLiteral("gone.png")), second}) {
            auto photo = std::make_shared<Photo>();
            photo->setPhotoUrl(path.toStdString());
            photo->setPhotoName(QFileInfo(path).fileName().toStdString());
            photos.push_back(photo);
        }
        record.Photos.replace(photos);
        // A file already there is the user's: it stays, and its number is not reused.
        {
            std::ofstream mine(target.filePath(QStringLiteral("IMG_1.jpg")).toStdString());
            mine << "mine";
        }
        ImageBrowserController browser(record, dispatcher, working.path(), nullptr);
        int copied = -1;
        browser.SavePanelExportPhotoDismissed(target.path(), [&](int n) { copied = n; });
        QVERIFY(WaitFor([&] { return copied >= 0; }, 20000));
        QCOMPARE(copied, 1);
        QFile kept(target.filePath(QStringLiteral("IMG_1.jpg")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("mine"));
        QCOMPARE(QImage(target.filePath(QStringLiteral("IMG_2.jpg"))).pixelColor(1, 1), QColor(Qt::blue));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files).size(), 2);
    }
};

TORVANE_UI_TEST(ExtraWindowsTest)
#include "ExtraWindowsTest.moc"

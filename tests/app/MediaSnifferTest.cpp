#include "app/MediaSniffer.h"
#include "app/PhotoBrowserLists.h"
#include "app/WorkingFolder.h"
#include "common/TemporaryFiles.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/Photo.h"
#include "records/SameFile.h"
#include "records/Video.h"
#include "services/DcimService.h"

#include "RecordingWindow.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

// The first bytes of real files of each kind, with a little body behind them.
const Bytes kJfif = Join({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10},
                          Text("JFIF"),
                          {0x00, 0x01, 0x01, 0x00, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00},
                          Text("jfif body"),
                          {0xFF, 0xD9}});
const Bytes kExif = Join({{0xFF, 0xD8, 0xFF, 0xE1, 0x1F, 0xFE},
                          Text("Exif"),
                          {0x00, 0x00},
                          Text("MM"),
                          {0x00, 0x2A, 0x00, 0x00, 0x00, 0x08},
                          Text("exif body"),
                          {0xFF, 0xD9}});
const Bytes kPng = Join(
    {{0x89}, Text("PNG"), {0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D}, Text("IHDR png body")});
const Bytes kQuickTime = Join(
    {{0x00, 0x00, 0x00, 0x14}, Text("ftypqt  "), {0x00, 0x00, 0x00, 0x00}, Text("qt  moov body")});
const Bytes kMp4 = Join({{0x00, 0x00, 0x00, 0x18}, Text("ftypisom"), Text("mp4 body")});
const Bytes kSqlite = Join({Text("SQLite format 3"), {0x00}, Text("db body")});

struct Scan {
    TempDir dir;
    BackupBuilder backup;
    WorkingFolder folder;
    BrimleyAppDelegate record;
    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();

    explicit Scan(BackupLayout layout = BackupLayout::Flat)
        : backup(dir.path() / "backup", layout), folder((dir.path() / "work").string()) {
        backup.writePlists();
        record.BACKUP_DIRECTORY.set(backup.folder().string());
        record._RecoverMode = 1;
        // As the results screen leaves it when a scan starts: deleted records only.
        record.onlyRecovered = true;
    }
    MediaSniffer::Outcome run(DataType type = DataType::DataTypeAll, std::stop_token stop = {}) {
        return MediaSniffer(record, *window, folder).run(type, stop);
    }
};

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::map<std::string, Bytes> Tree(const fs::path& root) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadAll(entry.path().string());
    return files;
}

}  // namespace

TEST(SniffMediaKind, TellsKindsByTheirFirstBytes) {
    const struct {
        const char* name;
        Bytes bytes;
        MediaKind kind;
    } cases[] = {
        {"JFIF JPEG", kJfif, MediaKind::JfifImage},
        {"Exif JPEG", kExif, MediaKind::ExifImage},
        {"PNG", kPng, MediaKind::PngImage},
        {"QuickTime", kQuickTime, MediaKind::QuickTimeFilm},
        {"MPEG-4 is no QuickTime film", kMp4, MediaKind::Other},
        {"SQLite", kSqlite, MediaKind::SqliteFile},
        {"JFIF cut before its zero byte", Bytes(kJfif.begin(), kJfif.begin() + 10),
         MediaKind::Other},
        {"JFIF cut just after it", Bytes(kJfif.begin(), kJfif.begin() + 11), MediaKind::JfifImage},
        {"Exif cut before its second zero", Bytes(kExif.begin(), kExif.begin() + 11),
         MediaKind::Other},
        {"PNG cut to three bytes", Bytes(kPng.begin(), kPng.begin() + 3), MediaKind::Other},
        {"PNG cut to four bytes", Bytes(kPng.begin(), kPng.begin() + 4), MediaKind::PngImage},
        {"nothing", {}, MediaKind::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SniffMediaKind(c.bytes.data(), c.bytes.size()), c.kind) << c.name;
}

TEST(MediaSniffer, CopiesEveryImageAndFilmOfTheBackupAndListsEachOnce) {
    for (BackupLayout layout : {BackupLayout::Flat, BackupLayout::Sharded}) {
        SCOPED_TRACE(layout == BackupLayout::Flat ? "flat" : "sharded");
        Scan scan(layout);
        const std::map<std::string, Bytes> sources = {
            {"Media/DCIM/100APPLE/IMG_0001.JPG", kJfif},
            {"Media/DCIM/100APPLE/IMG_0002.JPG", kExif},
            {"Media/DCIM/100APPLE/IMG_0003.PNG", kPng},
            {"Media/DCIM/100APPLE/IMG_0004.MOV", kQuickTime},
            {"Media/DCIM/100APPLE/IMG_0005.MP4", kMp4},
            {"Media/PhotoData/Photos.sqlite", kSqlite},
            {"Media/empty", {}},
        };
        for (const auto& [path, bytes] : sources)
            scan.backup.addFile("CameraRollDomain", path, bytes);
        const auto backupBefore = Tree(scan.backup.folder());

        EXPECT_EQ(scan.run(), MediaSniffer::Outcome::Finished);

        EXPECT_EQ(scan.record.PhotosCount.load(), 3);
        EXPECT_EQ(scan.record.VideosCount.load(), 1);
        const auto photos = scan.record.Photos.snapshot();
        ASSERT_EQ(photos.size(), 3u);
        EXPECT_EQ(scan.record.AllPhotosContent.snapshot(), photos);  // the same objects
        std::set<std::string> names;
        std::multiset<Bytes> copied;
        for (const auto& photo : photos) {
            names.insert(*photo->PhotoName());
            EXPECT_EQ(photo->isChecked(), 0);
            EXPECT_EQ(*photo->PhotoUrl(),
                      scan.folder.photosDirectory() + "/" + *photo->PhotoName());
            const Bytes copy = ReadAll(*photo->PhotoUrl());
            copied.insert(copy);
            // A PNG copy is named .PNG, both JPEG kinds .JPG.
            EXPECT_EQ(photo->PhotoName()->substr(photo->PhotoName()->size() - 4),
                      copy == kPng ? ".PNG" : ".JPG");
        }
        EXPECT_EQ(copied, (std::multiset<Bytes>{kJfif, kExif, kPng}));
        EXPECT_EQ(names.count("IMG_1.JPG") + names.count("IMG_1.PNG"), 1u);
        EXPECT_EQ(names.count("IMG_3.JPG") + names.count("IMG_3.PNG"), 1u);

        const auto videos = scan.record.Videos.snapshot();
        ASSERT_EQ(videos.size(), 1u);
        EXPECT_EQ(scan.record.AllVideosContent.snapshot(), videos);
        EXPECT_EQ(videos[0]->VideoName(), "MOV_1.MOV");
        EXPECT_EQ(videos[0]->VideoUrl(), scan.folder.videosDirectory() + "/MOV_1.MOV");
        EXPECT_EQ(videos[0]->VideoImage(), "video-thumbnail.png");
        EXPECT_EQ(ReadAll(*videos[0]->VideoUrl()), kQuickTime);

        // Only the copies and nothing else were written; the backup is as it was.
        EXPECT_EQ(Tree(scan.folder.path()).size(), 4u);
        EXPECT_EQ(Tree(scan.backup.folder()), backupBefore);

        const auto lines = scan.window->statusLines();
        ASSERT_EQ(lines.size(), 6u);
        EXPECT_EQ(lines.front(), "Recovering Photos & Videos... ");
        for (std::size_t i = 1; i <= 4; ++i) EXPECT_EQ(lines[i].rfind("Retrieving  ", 0), 0u);
        EXPECT_EQ(lines.back(), "Recovering\u2026 please note this may take a few minutes.");
        const auto calls = scan.window->texts();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "updatePhotosUI"), 3);
        EXPECT_EQ(
            std::vector<std::string>(calls.end() - 6, calls.end()),
            (std::vector<std::string>{"markTabButtonSelected 107", "onTabSelectionChanged 107",
                                      "onAppsSelectionChanged 107", "toogleChanged",
                                      "updateTabButtons", "refreshTabButtons"}));
    }
}

// A picture reached through a link that leads out of the backup folder is not the backup's and
// is never copied; one linked from inside is.
TEST(MediaSniffer, LinksOutOfTheBackupAreNotFollowed) {
    Scan scan;
    const fs::path outside = scan.dir.path() / "outside";
    fs::create_directories(outside / "ab");
    const auto write = [](const fs::path& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    write(outside / "picture", kJfif);
    write(outside / "ab" / ("ab" + std::string(38, '1')), kPng);
    write(scan.backup.folder() / "inside-picture", kExif);
    fs::create_symlink(outside / "picture", scan.backup.folder() / std::string(40, '2'));
    fs::create_directory_symlink(outside / "ab", scan.backup.folder() / "ab");
    fs::create_symlink("inside-picture", scan.backup.folder() / std::string(40, '3'));

    EXPECT_EQ(scan.run(), MediaSniffer::Outcome::Finished);
    std::multiset<Bytes> copied;
    for (const auto& photo : scan.record.Photos.snapshot())
        copied.insert(ReadAll(*photo->PhotoUrl()));
    EXPECT_EQ(copied, (std::multiset<Bytes>{kExif, kExif}));
}

TEST(MediaSniffer, AFailedCopyIsNotListedAndLeavesNoHalfFile) {
    Scan scan;
    scan.backup.addFile("CameraRollDomain", "Media/a.JPG", kJfif);
    scan.backup.addFile("CameraRollDomain", "Media/b.PNG", kPng);
    // Folders in place of the first two JPEG names make their copies fail, whichever comes first.
    struct BlockingWindow : RecordingWindow {
        WorkingFolder* folder = nullptr;
        void updateStatus(std::int32_t code, const std::string& message) override {
            if (code == 1)
                for (const char* name : {"/IMG_1.JPG/x", "/IMG_2.JPG/x"})
                    fs::create_directories(folder->photosDirectory() + name);
            RecordingWindow::updateStatus(code, message);
        }
    };
    auto window = std::make_shared<BlockingWindow>();
    window->folder = &scan.folder;
    MediaSniffer(scan.record, *window, scan.folder).run(DataType::DataTypePhotosVideos);

    const auto photos = scan.record.Photos.snapshot();
    ASSERT_EQ(photos.size(), 1u);
    EXPECT_EQ(photos[0]->PhotoName(), "IMG_1.PNG");
    EXPECT_EQ(scan.record.PhotosCount.load(), 1);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(scan.folder.photosDirectory()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"IMG_1.JPG", "IMG_1.PNG", "IMG_2.JPG"}));
}

// A program ending at once removes its working folder while the copies may still run; from
// then on no copy is begun there, even while the folder is still being taken away. Run in a
// child process: the end cannot be undone.
TEST(MediaSnifferDeathTest, NoCopyIsBegunOnceTheProgramIsEnding) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Scan scan;
            scan.backup.addFile("CameraRollDomain", "Media/a.JPG", kJfif);
            struct EndingWindow : RecordingWindow {
                WorkingFolder* folder = nullptr;
                void updateStatus(std::int32_t code, const std::string& message) override {
                    if (code == 1) {
                        TemporaryFiles::removeAll();
                        // As a removal still under way would leave it, for the moment.
                        fs::create_directories(folder->photosDirectory());
                    }
                    RecordingWindow::updateStatus(code, message);
                }
            };
            auto window = std::make_shared<EndingWindow>();
            window->folder = &scan.folder;
            MediaSniffer(scan.record, *window, scan.folder).run(DataType::DataTypePhotosVideos);
            const bool nothingCopied = scan.record.Photos.size() == 0 &&
                                       fs::is_empty(scan.folder.photosDirectory());
            std::exit(nothingCopied ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(MediaSniffer, FastRecoveryOnlyRecreatesTheFolder) {
    Scan scan;
    scan.record._RecoverMode = 0;
    scan.backup.addFile("CameraRollDomain", "Media/a.JPG", kJfif);
    scan.record.Photos.append(std::make_shared<Photo>());  // what clearing left is kept
    ASSERT_TRUE(scan.folder.recreate());
    std::ofstream(scan.folder.photosDirectory() + "/IMG_9.JPG") << "earlier scan";

    EXPECT_EQ(scan.run(), MediaSniffer::Outcome::Finished);
    EXPECT_FALSE(fs::exists(scan.folder.photosDirectory() + "/IMG_9.JPG"));
    EXPECT_TRUE(fs::is_directory(scan.folder.videosDirectory()));
    EXPECT_EQ(scan.record.Photos.size(), 1u);
    EXPECT_EQ(scan.record.PhotosCount.load(), 0);
    EXPECT_TRUE(scan.window->statusLines().empty());
}

TEST(MediaSniffer, OtherDataTypesAndEmptyBackupsFindNothing) {
    {
        Scan scan;
        scan.backup.addFile("CameraRollDomain", "Media/a.JPG", kJfif);
        EXPECT_EQ(scan.run(DataType::DataTypeSMS), MediaSniffer::Outcome::Finished);
        EXPECT_TRUE(scan.window->texts().empty());
        EXPECT_TRUE(fs::is_empty(scan.folder.path()));  // not even recreated
    }
    {
        Scan scan;
        fs::remove(scan.backup.folder() / "Info.plist");
        fs::remove(scan.backup.folder() / "Manifest.plist");
        scan.run();
        EXPECT_EQ(scan.record.PhotosCount.load(), 0);
        EXPECT_EQ(scan.record.VideosCount.load(), 0);
        for (const std::string& line : scan.window->statusLines())
            EXPECT_EQ(line.find("Photos & Videos"), std::string::npos);
    }
}

TEST(MediaSniffer, CancellingStopsBetweenFilesWithTheCountsRight) {
    // Cancelled by the stop button (the record's flag) after the first copy, or by the scan
    // thread's stop token before the files are looked at.
    for (bool byFlag : {true, false}) {
        SCOPED_TRACE(byFlag ? "flag" : "stop token");
        Scan scan;
        for (const char* name : {"Media/a.JPG", "Media/b.JPG", "Media/c.JPG"})
            scan.backup.addFile("CameraRollDomain", name, kJfif);
        struct CancellingWindow : RecordingWindow {
            BrimleyAppDelegate* record = nullptr;
            void updatePhotosUI() override {
                RecordingWindow::updatePhotosUI();
                record->IsCancelFlag = true;
            }
        };
        auto window = std::make_shared<CancellingWindow>();
        window->record = &scan.record;
        std::stop_source stop;
        if (!byFlag) stop.request_stop();

        const auto outcome = MediaSniffer(scan.record, *window, scan.folder)
                                 .run(DataType::DataTypeAll, stop.get_token());
        EXPECT_EQ(outcome, MediaSniffer::Outcome::Cancelled);
        EXPECT_EQ(scan.record.PhotosCount.load(), byFlag ? 1 : 0);
        EXPECT_EQ(scan.record.Photos.size(), byFlag ? 1u : 0u);
        const auto calls = window->texts();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "updateTabButtons"), 0);
    }
}

// A file that both the photo and video step and the photo library find is listed once, as the
// library has it (its own name, in the trash or not); a file only the step found keeps its copy.
// The counts, the lists and the browser's lists agree with the number of distinct files.
TEST(MediaSniffer, AFileOfThePhotoLibraryIsListedOnce) {
    Scan scan;
    // The folder as a user may name it, with a trailing slash.
    scan.record.BACKUP_DIRECTORY.set(scan.backup.folder().string() + "/");
    const char* kCameraRoll = "CameraRollDomain";
    {
        auto library = testsupport::FixtureDatabase::FromSchema(
            scan.backup.pathFor(kCameraRoll, "Media/PhotoData/Photos.sqlite"), "photos.sql");
        std::int64_t pk = 0;
        for (const auto& [file, trashed] : {std::pair{"IMG_0001.JPG", 0}, {"IMG_0002.JPG", 1},
                                            {"IMG_0003.MOV", 0}})
            library.insert("ZGENERICASSET", {{"Z_PK", ++pk},
                                             {"ZDIRECTORY", "DCIM/100APPLE"},
                                             {"ZFILENAME", file},
                                             {"ZTRASHEDSTATE", trashed}});
        library.close();
    }
    scan.backup.addFile(kCameraRoll, "Media/DCIM/100APPLE/IMG_0001.JPG", kJfif);
    scan.backup.addFile(kCameraRoll, "Media/DCIM/100APPLE/IMG_0002.JPG", kPng);
    scan.backup.addFile(kCameraRoll, "Media/DCIM/100APPLE/IMG_0003.MOV", kQuickTime);
    const fs::path stray = scan.backup.addFile("AppDomain-com.example.app", "Documents/a.jpg", kJfif);

    ASSERT_EQ(scan.run(), MediaSniffer::Outcome::Finished);
    ASSERT_EQ(scan.record.Photos.size(), 3u);
    ASSERT_EQ(scan.record.Videos.size(), 1u);

    auto device = std::make_shared<DeviceInfo>();
    device->setBackupLocation(scan.backup.folder().string());
    scan.record.deviceInfo.set(device);
    scan.record.RecoverType = 1;
    DcimService().RecoverFromIOSBackup(testsupport::ContextFor(scan.record));

    const auto names = [](const auto& list, auto name) {
        std::set<std::string> found;
        for (const auto& item : list.snapshot()) found.insert(((*item).*name)().value_or(""));
        return found;
    };
    const auto photos = scan.record.Photos.snapshot();
    ASSERT_EQ(photos.size(), 2u);
    EXPECT_EQ(photos[0]->CopiedFrom(), SameFileKey(stray.string()));
    EXPECT_EQ(photos[1]->PhotoName(), "IMG_0001.JPG");
    EXPECT_EQ(names(scan.record.DeletedPhotos, &Photo::PhotoName),
              (std::set<std::string>{"IMG_0002.JPG"}));
    EXPECT_EQ(scan.record.AllPhotosContent.snapshot(), photos);
    EXPECT_EQ(scan.record.PhotosCount.load(), 2);
    EXPECT_EQ(scan.record.DeletedPhotosCount.load(), 1);
    // The film is not in the trash: listed once, as an existing one, by its library entry.
    const auto videos = scan.record.Videos.snapshot();
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0]->VideoName(), "IMG_0003.MOV");
    EXPECT_EQ(scan.record.AllVideosContent.snapshot(), videos);
    EXPECT_EQ(scan.record.VideosCount.load(), 1);
    EXPECT_TRUE(scan.record.DeletedVideos.empty());
    EXPECT_EQ(scan.record.DeletedVideosCount.load(), 0);

    // What the browser shows, and the export copies.
    PhotoBrowserLists::rebuild(scan.record);
    EXPECT_EQ(scan.record.AllPhotos.size(), 3u);
    EXPECT_EQ(scan.record._AllVideos.size(), 1u);
}

// Pictures outside the photo library (saved from other apps, say) are known only to the
// backup's file list: their copies take the names the phone gave them, whichever list the
// backup has. A file the list does not name, or a name already taken, keeps a working-copy name.
TEST(MediaSniffer, PhotosTakeTheNamesOfTheBackupFileList) {
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"Media/DCIM/100APPLE/IMG_0007.JPG", kJfif},
        {"Media/DCIM/101APPLE/IMG_0007.JPG", kExif},  // the same name in another folder
        {"Media/DCIM/100APPLE/IMG_0008.PNG", kPng},
        {"Media/DCIM/100APPLE/IMG_0009.JPG", kJfif},  // not in the list
    };
    for (const bool database : {true, false}) {
        SCOPED_TRACE(database ? "Manifest.db" : "Manifest.mbdb");
        Scan scan;
        for (const auto& [path, bytes] : files) scan.backup.addFile("CameraRollDomain", path, bytes);
        const std::vector<std::string> unlisted = {"Media/DCIM/100APPLE/IMG_0009.JPG"};
        if (database)
            scan.backup.writeManifestDb(unlisted);
        else
            scan.backup.writeManifestMbdb(unlisted);

        ASSERT_EQ(scan.run(), MediaSniffer::Outcome::Finished);

        std::map<std::string, Bytes> named;
        for (const auto& photo : scan.record.Photos.snapshot()) {
            EXPECT_EQ(*photo->PhotoUrl(), scan.folder.photosDirectory() + "/" + *photo->PhotoName());
            named[*photo->PhotoName()] = ReadAll(*photo->PhotoUrl());
        }
        ASSERT_EQ(named.size(), 4u);
        EXPECT_EQ(named.count("IMG_0008.PNG"), 1u);
        EXPECT_EQ(named["IMG_0008.PNG"], kPng);
        ASSERT_EQ(named.count("IMG_0007.JPG"), 1u);
        // One of the two of the same name keeps it; the other copy and the unlisted one are
        // named by their number, and no copy took another's place.
        std::multiset<Bytes> copies;
        for (const auto& [name, bytes] : named) copies.insert(bytes);
        EXPECT_EQ(copies, (std::multiset<Bytes>{kJfif, kExif, kPng, kJfif}));
        EXPECT_EQ(Tree(scan.folder.path()).size(), 4u);
    }
}

// A phone name may be as long as a file name can be (255 bytes): the copy keeps it, and the
// copy's temporary name, which must fit too, leaves nothing behind.
TEST(MediaSniffer, APhotoKeepsAPhoneNameAsLongAsAFileNameCanBe) {
    Scan scan;
    std::set<std::string> names;
    for (const std::size_t length : {std::size_t{240}, std::size_t{244}, std::size_t{250}, std::size_t{255}}) {
        const std::string name = std::string(length - 4, 'a' + static_cast<char>(length % 26)) + ".JPG";
        names.insert(name);
        scan.backup.addFile("CameraRollDomain", "Media/DCIM/100APPLE/" + name, kJfif);
    }
    scan.backup.writeManifestMbdb();

    ASSERT_EQ(scan.run(), MediaSniffer::Outcome::Finished);

    std::set<std::string> copied;
    for (const auto& photo : scan.record.Photos.snapshot()) copied.insert(*photo->PhotoName());
    EXPECT_EQ(copied, names);
    EXPECT_EQ(scan.record.MediaNotCopied.size(), 0u);
    EXPECT_EQ(Tree(scan.folder.path()).size(), names.size());
}

// A file list whose Files table is a view is not read (a view's rows are made by the file's
// own SQL, which may never end): the photos are copied under working-copy names, and the list
// is named among the damaged databases.
TEST(MediaSniffer, AFileListWhoseTableIsAViewIsNamedAndNotRead) {
    Scan scan;
    scan.backup.addFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0007.JPG", kJfif);
    scan.backup.writeManifestDb();
    sqlite3* manifest = nullptr;
    ASSERT_EQ(sqlite3_open((scan.backup.folder() / "Manifest.db").c_str(), &manifest), SQLITE_OK);
    const int changed = sqlite3_exec(
        manifest, "ALTER TABLE Files RENAME TO ListedFiles; CREATE VIEW Files AS SELECT * FROM ListedFiles",
        nullptr, nullptr, nullptr);
    sqlite3_close(manifest);
    ASSERT_EQ(changed, SQLITE_OK);

    ASSERT_EQ(scan.run(), MediaSniffer::Outcome::Finished);

    const auto photos = scan.record.Photos.snapshot();
    ASSERT_EQ(photos.size(), 1u);
    EXPECT_EQ(*photos[0]->PhotoName(), "IMG_1.JPG");
    const auto problems = scan.record.DatabaseProblems.snapshot();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0]->fileName, "Manifest.db");
    EXPECT_NE(problems[0]->what.find("its table Files is a view"), std::string::npos) << problems[0]->what;
}

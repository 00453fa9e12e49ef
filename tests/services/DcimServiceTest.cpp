#include "services/DcimService.h"

#include "CountingWindow.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Dcmi.h"
#include "records/DeviceInfo.h"
#include "records/Photo.h"
#include "records/Video.h"
#include "support/BackupBuilder.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::ContextFor;

using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

constexpr const char* kCameraRoll = "CameraRollDomain";
constexpr const char* kMedia = "MediaDomain";
constexpr const char* kLibraryPath = "Media/PhotoData/Photos.sqlite";
constexpr const char* kThumbnails = "Media/PhotoData/Thumbnails/V2/";
constexpr const char* kDeviceId = "0123456789abcdef0123456789abcdef01234567";

// The first bytes of real files: a JFIF JPEG, a PNG with its IHDR chunk, a QuickTime film.
const Bytes kJpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                     0x01, 0x01, 0x00, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00, 0xFF, 0xD9};
const Bytes kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D',
                    'R',  0,   0,   0,   1,    0,    0,    0,    1, 8, 6, 0,    0,   0};
const Bytes kQuickTime = {0, 0, 0,   0x14, 'f', 't', 'y', 'p', 'q', 't', ' ', ' ', 0,   0,
                          0, 0, 'q', 't',  ' ', ' ', 0,   0,   0,   8,   'm', 'o', 'o', 'v'};

// How a library keeps its album membership: the join table and its two columns.
struct LibrarySchema {
    const char* schemaFile;
    const char* joinTable;  // nullptr: no join table (iOS 4) or one the statements ignore
    const char* albumColumn;
    const char* assetColumn;
    bool hasTrashedState;
    bool iOS4Table;  // the assets are rows of table Photo
};

const LibrarySchema kIOS4 = {"photos-ios4.sql", nullptr, nullptr, nullptr, false, true};
const LibrarySchema kZ8 = {"photos-ios6.sql", "Z_8ASSETS", "Z_8ALBUMS", "Z_14ASSETS", false, false};
const LibrarySchema kZ15 = {"photos.sql", "Z_15ASSETS", "Z_15ALBUMS", "Z_22ASSETS", true, false};

// The iOS 9 library with its join table renamed to another model version's names.
LibrarySchema RenamedJoin(const char* table, const char* albums, const char* assets) {
    return {"photos.sql", table, albums, assets, true, false};
}
const LibrarySchema kZ16 = RenamedJoin("Z_16ASSETS", "Z_16ALBUMS", "Z_23ASSETS");

struct Asset {
    std::int64_t pk;
    OptString directory;
    OptString file;
    std::int64_t trashed = 0;
    int albums = 1;  // rows in the join table
};

std::string SchemaText(const LibrarySchema& schema) {
    std::string text = testsupport::LoadSchema(schema.schemaFile);
    if (std::string(schema.schemaFile) != "photos.sql" || !schema.joinTable) return text;
    const auto replaceAll = [&](const std::string& from, const std::string& to) {
        for (std::size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    };
    // Column first: the table's new name may be the column's old number.
    replaceAll("Z_22ASSETS", schema.assetColumn);
    replaceAll("Z_15ALBUMS", schema.albumColumn);
    replaceAll("Z_15ASSETS", schema.joinTable);
    return text;
}

void WriteLibrary(const std::filesystem::path& path, const LibrarySchema& schema,
                  const std::vector<Asset>& assets, const char* extraSql = nullptr) {
    FixtureDatabase db(path);
    db.exec(SchemaText(schema));
    if (extraSql) db.exec(extraSql);
    for (const Asset& asset : assets) {
        const ColumnValue directory =
            asset.directory ? ColumnValue(*asset.directory) : ColumnValue();
        const ColumnValue file = asset.file ? ColumnValue(*asset.file) : ColumnValue();
        if (schema.iOS4Table) {
            db.insert("Photo", {{"primaryKey", asset.pk},
                                {"directory", directory},
                                {"filename", file},
                                {"captureTime", 474539400.0},
                                {"recordModDate", 474539400.0}});
            continue;
        }
        testsupport::Row row = {{"Z_PK", asset.pk},
                                {"ZDIRECTORY", directory},
                                {"ZFILENAME", file},
                                {"ZDATECREATED", 474539400.0},
                                {"ZMODIFICATIONDATE", 474539460.0}};
        if (schema.hasTrashedState) row.emplace_back("ZTRASHEDSTATE", asset.trashed);
        db.insert("ZGENERICASSET", row);
        for (int album = 1; album <= asset.albums && schema.joinTable; ++album)
            db.insert(schema.joinTable,
                      {{schema.albumColumn, album}, {schema.assetColumn, asset.pk}});
    }
    db.close();
}

// Where a backup without the file would keep it: directly in the folder.
std::string FlatPath(const std::filesystem::path& folder, const std::string& domain,
                     const std::string& relativePath) {
    return (folder / BackupBuilder::BackupName(domain, relativePath)).string();
}

using NameAndPath = std::pair<std::string, std::string>;

std::vector<NameAndPath> Listed(const SharedList<Photo>& list) {
    std::vector<NameAndPath> result;
    for (const auto& photo : list.snapshot())
        result.emplace_back(photo->PhotoName().value_or("<absent>"),
                            photo->PhotoUrl().value_or("<absent>"));
    std::sort(result.begin(), result.end());
    return result;
}

struct ListedVideo {
    std::string name, path, image;
    bool operator==(const ListedVideo&) const = default;
    bool operator<(const ListedVideo& other) const { return name < other.name; }
};

std::vector<ListedVideo> Listed(const SharedList<Video>& list) {
    std::vector<ListedVideo> result;
    for (const auto& video : list.snapshot())
        result.push_back({video->VideoName().value_or("<absent>"),
                          video->VideoUrl().value_or("<absent>"),
                          video->VideoImage().value_or("<absent>")});
    std::sort(result.begin(), result.end());
    return result;
}

class DcimServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        record.setWindow(window);
        // A scan of a chosen backup folder: the device's other backups are not looked at.
        record.RecoverType = 1;
        device.setUniqueDeviceID(std::string(kDeviceId));
    }

    void useBackup(const std::filesystem::path& folder) {
        record.BACKUP_DIRECTORY.set(folder.string());
        device.setBackupLocation(folder.string());
    }

    TempDir dir;
    BrimleyAppDelegate record;
    std::shared_ptr<CountingWindow> window = std::make_shared<CountingWindow>();
    DeviceInfo device;
};

TEST_F(DcimServiceTest, SortsTheLibraryIntoExistingAndRecoveredItemsInBothLayouts) {
    for (BackupLayout layout : {BackupLayout::Flat, BackupLayout::Sharded}) {
        SCOPED_TRACE(layout == BackupLayout::Flat ? "flat" : "sharded");
        TempDir backupDir;
        const auto& folder = backupDir.path();
        BackupBuilder backup(folder, layout);
        WriteLibrary(backup.pathFor(kCameraRoll, kLibraryPath), kZ16,
                     {
                         {1, "DCIM/100APPLE", "IMG_0001.JPG", 0},
                         {2, "DCIM/100APPLE", "IMG_0002.PNG", 1},
                         {3, "DCIM/100APPLE", "IMG_0003.MOV", 1},
                         {4, "DCIM/100APPLE", "IMG_0004.MOV", 0},
                         {5, "PhotoStreamsData/1234/100APPLE", "IMG_0005.MOV", 0},
                         {6, "PhotoStreamsData/1234/100APPLE", "IMG_0100.JPG", 1},
                         {7, "PhotoData/Sync/100SYNCF", "IMG_0200.JPG", 0},
                         {8, "PhotoData/Other", "IMG_0300.JPG", 0},
                         {9, "DCIM/100APPLE", "IMG_0009.JPG", 0, 2},
                         {10, "DCIM/100APPLE", "IMG_0010.JPG", 0, 0},
                         {11, "DCIM/100APPLE", std::nullopt, 1},
                     });
        const auto stored = [&](const char* domain, const std::string& relative,
                                const Bytes& bytes) {
            return backup.addFile(domain, relative, bytes).string();
        };
        const std::string jpeg1 = stored(kCameraRoll, "Media/DCIM/100APPLE/IMG_0001.JPG", kJpeg);
        const std::string png2 = stored(kCameraRoll, "Media/DCIM/100APPLE/IMG_0002.PNG", kPng);
        const std::string mov3 =
            stored(kCameraRoll, "Media/DCIM/100APPLE/IMG_0003.MOV", kQuickTime);
        const std::string mov4 =
            stored(kCameraRoll, "Media/DCIM/100APPLE/IMG_0004.MOV", kQuickTime);
        const std::string mov5 =
            stored(kMedia, "Media/PhotoStreamsData/1234/100APPLE/IMG_0005.MOV", kQuickTime);
        const std::string jpeg100 =
            stored(kMedia, "Media/PhotoStreamsData/1234/100APPLE/IMG_0100.JPG", kJpeg);
        const std::string jpeg200 =
            stored(kMedia, "Media/PhotoData/Sync/100SYNCF/IMG_0200.JPG", kJpeg);
        // Thumbnails: the first numbered one found wins; a film without one has its ".THM".
        const std::string thumb3 = stored(
            kCameraRoll, std::string(kThumbnails) + "DCIM/100APPLE/IMG_0003.MOV/5005.JPG", kJpeg);
        stored(kCameraRoll, std::string(kThumbnails) + "DCIM/100APPLE/IMG_0003.MOV/5002.JPG",
               kJpeg);
        const std::string thm4 =
            stored(kCameraRoll, std::string(kThumbnails) + "DCIM/100APPLE/IMG_0004.THM", kJpeg);
        useBackup(folder);
        record.Photos.clear();
        record.DeletedPhotos.clear();
        record.DeletedVideos.clear();
        record.Videos.clear();
        record.PhotosCount = record.DeletedPhotosCount = record.DeletedVideosCount = 0;
        record.VideosCount = 0;
        window->photosUI = 0;
        DcimService::initialiseArrays(record);

        DcimService service;
        service.RecoverFromIOSBackup(ContextFor(record, device));

        EXPECT_EQ(
            Listed(record.Photos),
            (std::vector<NameAndPath>{
                {"IMG_0001.JPG", jpeg1},
                {"IMG_0009.JPG", FlatPath(folder, kCameraRoll, "Media/DCIM/100APPLE/IMG_0009.JPG")},
                {"IMG_0100.JPG", jpeg100},
            }));
        EXPECT_EQ(Listed(record.DeletedPhotos),
                  (std::vector<NameAndPath>{
                      {"IMG_0002.PNG", png2},
                      {"IMG_0200.JPG", jpeg200},
                      {"IMG_0300.JPG",
                       FlatPath(folder, kCameraRoll, "Media/PhotoData/Other/IMG_0300.JPG")},
                  }));
        // Films as the library has them: deleted when in the trash, existing otherwise.
        EXPECT_EQ(Listed(record.DeletedVideos), (std::vector<ListedVideo>{{"IMG_0003.MOV", mov3, thumb3}}));
        EXPECT_EQ(Listed(record.Videos),
                  (std::vector<ListedVideo>{
                      {"IMG_0004.MOV", mov4, thm4},
                      {"IMG_0005.MOV", mov5, DcimService::kStockVideoThumbnail},
                  }));
        EXPECT_EQ(record.AllPhotosContent.snapshot(), record.Photos.snapshot());
        EXPECT_EQ(record.AllDeletedPhotos.snapshot(), record.DeletedPhotos.snapshot());
        EXPECT_EQ(record.AllDeletedVideos.snapshot(), record.DeletedVideos.snapshot());
        EXPECT_EQ(record.PhotosCount.load(), 3);
        EXPECT_EQ(record.DeletedPhotosCount.load(), 3);
        EXPECT_EQ(record.DeletedVideosCount.load(), 1);
        EXPECT_EQ(record.VideosCount.load(), 2);
        EXPECT_EQ(record.AllVideosContent.snapshot(), record.Videos.snapshot());
        EXPECT_EQ(window->photosUI.load(), 1);  // fewer than 13 items: only the closing refresh
        EXPECT_FALSE(record.photosLocked.isTaken());
    }
}

TEST_F(DcimServiceTest, SchemaDecidesStatementDomainAndTrashedState) {
    struct Case {
        const char* label;
        LibrarySchema schema;
        const char* extraTable;  // created besides the schema's own tables
        PhotoDbSchema expected;
        bool listedAsRecovered;  // the asset is trashed where the column exists
    };
    const Case cases[] = {
        {"iOS 4 Photo table", kIOS4, nullptr, PhotoDbSchema::Photo, false},
        {"Z_8ASSETS", kZ8, nullptr, PhotoDbSchema::Z_8ASSETS, false},
        {"Z_11ASSETS", RenamedJoin("Z_11ASSETS", "Z_11ALBUMS", "Z_17ASSETS"), nullptr,
         PhotoDbSchema::Z_11ASSETS, false},
        {"Z_6ASSETS", RenamedJoin("Z_6ASSETS", "Z_6ALBUMS", "Z_11ASSETS"), nullptr,
         PhotoDbSchema::Z_6ASSETS, false},
        {"Z_16ASSETS", kZ16, nullptr, PhotoDbSchema::Z_16ASSETS, true},
        {"Z_17ASSETS", RenamedJoin("Z_17ASSETS", "Z_17ALBUMS", "Z_24ASSETS"), nullptr,
         PhotoDbSchema::Z_17ASSETS, true},
        {"unknown join table of iOS 9.3", kZ15, nullptr, PhotoDbSchema::Unknown, true},
        {"Z_8ASSETS wins over Z_16ASSETS", kZ8,
         "CREATE TABLE Z_16ASSETS (Z_16ALBUMS INTEGER, Z_23ASSETS INTEGER)",
         PhotoDbSchema::Z_8ASSETS, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir backupDir;
        BackupBuilder backup(backupDir.path());
        const char* domain = c.schema.iOS4Table ? kMedia : kCameraRoll;
        const auto library = backup.pathFor(domain, kLibraryPath);
        WriteLibrary(library, c.schema, {{1, "DCIM/100APPLE", "IMG_0001.JPG", 1}}, c.extraTable);
        useBackup(backupDir.path());
        DcimService service;
        record.Photos.clear();
        record.DeletedPhotos.clear();
        window->photosUI = 0;

        EXPECT_EQ(
            DcimService::GetPhotoDBFileType(*SqliteConnection::OpenReadOnly(library.string())),
            c.expected);
        service.RecoverFromIOSBackup(ContextFor(record, device));

        // The iOS 4 library names its files in the media domain, the others in the camera roll's.
        const std::string path =
            FlatPath(backupDir.path(), domain, "Media/DCIM/100APPLE/IMG_0001.JPG");
        const std::vector<NameAndPath> one = {{"IMG_0001.JPG", path}};
        EXPECT_EQ(Listed(record.DeletedPhotos),
                  c.listedAsRecovered ? one : std::vector<NameAndPath>{});
        EXPECT_EQ(Listed(record.Photos), c.listedAsRecovered ? std::vector<NameAndPath>{} : one);
        EXPECT_EQ(window->photosUI.load(), 1);
    }
}

TEST_F(DcimServiceTest, ThumbnailIsTheFirstOneTheBackupHolds) {
    struct Case {
        const char* label;
        PhotoDbSchema schema;
        const char* file;
        bool video;
        std::vector<std::pair<const char*, const char*>> storedThumbnails;  // domain, path
        int expectedIndex;  // into storedThumbnails; -1: none found
    };
    const std::string v2 = "Media/PhotoData/Thumbnails/V2/DCIM/100APPLE/";
    const std::string old = "Media/PhotoData/100APPLE/DCIM/100APPLE/";
    const std::string v2Jpg = v2 + "IMG_0001.JPG/";
    const Case cases[] = {
        {"5003 first",
         PhotoDbSchema::Z_17ASSETS,
         "IMG_0001.JPG",
         false,
         {{kCameraRoll, "5002.JPG"}, {kCameraRoll, "5003.JPG"}},
         1},
        {"5004 before 5005 and 5002",
         PhotoDbSchema::Z_16ASSETS,
         "IMG_0001.JPG",
         false,
         {{kCameraRoll, "5002.JPG"}, {kCameraRoll, "5005.JPG"}, {kCameraRoll, "5004.JPG"}},
         2},
        {"older libraries keep them under 100APPLE",
         PhotoDbSchema::Z_8ASSETS,
         "IMG_0001.JPG",
         false,
         {{kCameraRoll, "old:5002.JPG"}},
         0},
        {"iOS 4 in the media domain",
         PhotoDbSchema::Photo,
         "IMG_0001.JPG",
         false,
         {{kMedia, "5005.JPG"}, {kCameraRoll, "5003.JPG"}},
         0},
        {"synced photos in the camera roll's V2 folder",
         PhotoDbSchema::SyncedThumbnails,
         "IMG_0001.JPG",
         false,
         {{kMedia, "5003.JPG"}, {kCameraRoll, "5002.JPG"}},
         1},
        {"a film's companion THM",
         PhotoDbSchema::Z_16ASSETS,
         "IMG_0001.MOV",
         true,
         {{kCameraRoll, "thm:IMG_0001.THM"}},
         0},
        {"a film without thumbnail",
         PhotoDbSchema::Z_16ASSETS,
         "IMG_0001.MOV",
         true,
         {{kMedia, "5003.JPG"}},
         -1},
        {"a photo without thumbnail", PhotoDbSchema::Z_16ASSETS, "IMG_0001.JPG", false, {}, -1},
    };
    for (BackupLayout layout : {BackupLayout::Flat, BackupLayout::Sharded}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) +
                         (layout == BackupLayout::Flat ? " flat" : " sharded"));
            TempDir backupDir;
            BackupBuilder backup(backupDir.path(), layout);
            std::vector<std::string> stored;
            for (const auto& [domain, where] : c.storedThumbnails) {
                const std::string name = where;
                std::string relative;
                if (name.rfind("old:", 0) == 0)
                    relative = old + "IMG_0001.JPG/" + name.substr(4);
                else if (name.rfind("thm:", 0) == 0)
                    relative = v2 + name.substr(4);
                else
                    relative = v2 + c.file + "/" + name;
                stored.push_back(backup.addFile(domain, relative, kJpeg).string());
            }
            const std::string itemPath = (backupDir / "item").string();
            const std::string expected = c.expectedIndex >= 0
                                             ? stored[static_cast<std::size_t>(c.expectedIndex)]
                                         : c.video ? DcimService::kStockVideoThumbnail
                                                   : itemPath;
            EXPECT_EQ(
                DcimService::ResolveThumbnailPath(c.schema, c.file, "DCIM/100APPLE",
                                                  backupDir.path().string(), c.video, itemPath),
                expected);
        }
    }
}

TEST_F(DcimServiceTest, RefreshesEveryThirteenItemsAndListsAPhotoFileOnce) {
    std::vector<Asset> assets;
    for (std::int64_t pk = 1; pk <= 14; ++pk)
        assets.push_back({pk, "DCIM/100APPLE", "IMG_" + std::to_string(1000 + pk) + ".JPG"});
    assets.push_back({15, "DCIM/100APPLE", "IMG_2000.MOV"});
    BackupBuilder backup(dir.path());
    WriteLibrary(backup.pathFor(kCameraRoll, kLibraryPath), kZ8, assets);
    useBackup(dir.path());
    DcimService service;

    service.RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_EQ(window->photosUI.load(), 2);  // after the 13th item and at the end
    EXPECT_EQ(record.Photos.size(), 14u);
    // A library without a trashed state has no film in the trash.
    EXPECT_EQ(record.Videos.size(), 1u);
    EXPECT_TRUE(record.DeletedVideos.empty());

    // A second run over the same backup: the photos are listed already, films are not tested.
    service.RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_EQ(window->photosUI.load(), 4);
    EXPECT_EQ(record.Photos.size(), 14u);
    EXPECT_EQ(record.PhotosCount.load(), 14);
    EXPECT_EQ(record.Videos.size(), 2u);
    EXPECT_EQ(record.VideosCount.load(), 2);
    EXPECT_TRUE(record.DeletedVideos.empty());
}

TEST_F(DcimServiceTest, FromADeviceAlsoReadsItsOtherBackupsFilmsAsRecovered) {
    const std::filesystem::path current = dir / "backup";
    BackupBuilder(current).addFile("HomeDomain", "Library/SMS/sms.db", Bytes{1});
    const auto otherBackup = [&](const std::string& name, BackupLayout layout) {
        const std::filesystem::path folder = current / name;
        BackupBuilder backup(folder, layout);
        WriteLibrary(backup.pathFor(kCameraRoll, kLibraryPath), kZ8,
                     {{1, "DCIM/100APPLE", "IMG_0001.JPG"}, {2, "DCIM/100APPLE", "IMG_0002.MOV"}});
        backup.addFile(kCameraRoll, "Media/DCIM/100APPLE/IMG_0001.JPG", kJpeg);
        return backup.addFile(kCameraRoll, "Media/DCIM/100APPLE/IMG_0002.MOV", kQuickTime).string();
    };
    const std::string film =
        otherBackup(std::string(kDeviceId) + "-20160901-100000", BackupLayout::Sharded);
    otherBackup("fedcba9876543210fedcba9876543210fedcba98", BackupLayout::Flat);  // another device
    useBackup(current);

    for (std::int32_t recoverType : {1, 0}) {
        SCOPED_TRACE(recoverType);
        record.RecoverType = recoverType;
        DcimService service;
        service.RecoverFromIOSBackup(ContextFor(record, device));
        if (recoverType == 1) {
            EXPECT_TRUE(record.DeletedVideos.empty());
            continue;
        }
        EXPECT_EQ(
            Listed(record.DeletedVideos),
            (std::vector<ListedVideo>{{"IMG_0002.MOV", film, DcimService::kStockVideoThumbnail}}));
        EXPECT_EQ(record.DeletedVideosCount.load(), 1);
        // Photos of another backup are not listed; their album still shows it had some.
        EXPECT_TRUE(record.Photos.empty());
        EXPECT_TRUE(record.DeletedPhotos.empty());
        EXPECT_TRUE(service.cameraRollPhotos().ContainsDeletedDcmis());
        EXPECT_TRUE(service.cameraRollVideos().ContainsDeletedDcmis());
    }
}

TEST_F(DcimServiceTest, UnreadableLibraryOrCancelledRunListsNothing) {
    BackupBuilder backup(dir.path());
    backup.addFile(kCameraRoll, kLibraryPath, Bytes(4096, 0xA5));
    WriteLibrary(backup.pathFor(kMedia, kLibraryPath), kIOS4,
                 {{1, "DCIM/100APPLE", "IMG_0001.JPG"}});
    useBackup(dir.path());
    std::stop_source stop;
    stop.request_stop();

    DcimService().RecoverFromIOSBackup(ContextFor(record, device, stop.get_token()));
    EXPECT_TRUE(record.Photos.empty());
    EXPECT_EQ(window->photosUI.load(), 0);

    // Not cancelled: the damaged library gives nothing, the iOS 4 one its photo.
    DcimService().RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_EQ(record.Photos.size(), 1u);
    EXPECT_EQ(window->photosUI.load(), 2);
}

}  // namespace

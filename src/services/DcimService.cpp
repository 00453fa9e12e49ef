#include "services/DcimService.h"

#include "common/BackupFiles.h"
#include "common/FileUtils.h"
#include "common/SHA1Util.h"
#include "common/VideoUtils.h"
#include "database/FMDBUtils.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Dcmi.h"
#include "records/DeviceInfo.h"
#include "records/Photo.h"
#include "records/SameFile.h"
#include "records/Video.h"

#include <array>
#include <exception>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

constexpr const char* kMediaDomain = "MediaDomain-Media/";
constexpr const char* kCameraRollDomain = "CameraRollDomain-Media/";

// The statements, one per schema family. Each join pairs Z_PK with a column whose number
// differs from the table's own, as the libraries name them.
constexpr const char* kQueryPhoto =
    "SELECT distinct(photo.primaryKey), photo.directory as ZDIRECTORY, photo.filename as "
    "ZFILENAME, DATETIME(photo.captureTime + 978307200, 'unixepoch', 'localtime') AS "
    "ZDATECREATED, DATETIME(photo.recordModDate + 978307200, 'unixepoch', 'localtime') AS "
    "ZMODIFICATIONDATE FROM Photo photo";
constexpr const char* kQueryZ8 =
    "SELECT distinct(zgenericasset.Z_PK), zgenericasset.ZDIRECTORY, zgenericasset.ZFILENAME, "
    "DATETIME(zgenericasset.ZDATECREATED + 978307200, 'unixepoch', 'localtime') AS ZDATECREATED, "
    "DATETIME(zgenericasset.ZMODIFICATIONDATE + 978307200, 'unixepoch', 'localtime') AS "
    "ZMODIFICATIONDATE FROM ZGENERICASSET zgenericasset inner join Z_8ASSETS zassets on "
    "zgenericasset.Z_PK=zassets.Z_14ASSETS WHERE zgenericasset.ZFILENAME IS NOT NULL AND "
    "zgenericasset.ZDIRECTORY IS NOT NULL";
constexpr const char* kQueryZ11 =
    "SELECT distinct(zgenericasset.Z_PK), zgenericasset.ZDIRECTORY, zgenericasset.ZFILENAME, "
    "DATETIME(zgenericasset.ZDATECREATED + 978307200, 'unixepoch', 'localtime') AS ZDATECREATED, "
    "DATETIME(zgenericasset.ZMODIFICATIONDATE + 978307200, 'unixepoch', 'localtime') AS "
    "ZMODIFICATIONDATE FROM ZGENERICASSET zgenericasset inner join Z_11ASSETS zassets on "
    "zgenericasset.Z_PK=zassets.Z_17ASSETS WHERE zgenericasset.ZFILENAME IS NOT NULL AND "
    "zgenericasset.ZDIRECTORY IS NOT NULL";
constexpr const char* kQueryZ6 =
    "SELECT distinct(zgenericasset.Z_PK), zgenericasset.ZDIRECTORY, zgenericasset.ZFILENAME, "
    "DATETIME(zgenericasset.ZDATECREATED + 978307200, 'unixepoch', 'localtime') AS ZDATECREATED, "
    "DATETIME(zgenericasset.ZMODIFICATIONDATE + 978307200, 'unixepoch', 'localtime') AS "
    "ZMODIFICATIONDATE FROM ZGENERICASSET zgenericasset inner join Z_6ASSETS zassets on "
    "zgenericasset.Z_PK=zassets.Z_11ASSETS WHERE zgenericasset.ZFILENAME IS NOT NULL AND "
    "zgenericasset.ZDIRECTORY IS NOT NULL";
constexpr const char* kQueryZ16 =
    "SELECT distinct(zgenericasset.Z_PK), zgenericasset.ZDIRECTORY, zgenericasset.ZFILENAME, "
    "zgenericasset.ZTRASHEDSTATE,DATETIME(zgenericasset.ZDATECREATED + 978307200, 'unixepoch', "
    "'localtime') AS ZDATECREATED, DATETIME(zgenericasset.ZMODIFICATIONDATE + 978307200, "
    "'unixepoch', 'localtime') AS ZMODIFICATIONDATE FROM ZGENERICASSET zgenericasset inner join "
    "Z_16ASSETS zassets on zgenericasset.Z_PK=zassets.Z_23ASSETS WHERE zgenericasset.ZFILENAME IS "
    "NOT NULL AND zgenericasset.ZDIRECTORY IS NOT NULL";
constexpr const char* kQueryAssets =
    "SELECT distinct(zgenericasset.Z_PK), zgenericasset.ZDIRECTORY, zgenericasset.ZFILENAME, "
    "zgenericasset.ZTRASHEDSTATE,DATETIME(zgenericasset.ZDATECREATED + 978307200, 'unixepoch', "
    "'localtime') AS ZDATECREATED, DATETIME(zgenericasset.ZMODIFICATIONDATE + 978307200, "
    "'unixepoch', 'localtime') AS ZMODIFICATIONDATE FROM ZGENERICASSET  WHERE   "
    "zgenericasset.ZFILENAME IS NOT NULL AND zgenericasset.ZDIRECTORY IS NOT NULL";

// The tables that tell the schema family, in the order they are tested.
struct SchemaTable {
    const char* table;
    PhotoDbSchema schema;
};
constexpr std::array<SchemaTable, 6> kSchemaTables = {{
    {"Z_8ASSETS", PhotoDbSchema::Z_8ASSETS},
    {"Z_11ASSETS", PhotoDbSchema::Z_11ASSETS},
    {"Z_6ASSETS", PhotoDbSchema::Z_6ASSETS},
    {"Z_16ASSETS", PhotoDbSchema::Z_16ASSETS},
    {"Z_17ASSETS", PhotoDbSchema::Z_17ASSETS},
    {"Photo", PhotoDbSchema::Photo},
}};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// Where the backup keeps the device file of that domain path, flat or in the two-digit
// sub-folder; where it would lie directly in the folder when the backup lacks it.
std::string BackupPathOf(const std::string& backupFolder, const std::string& domainPath) {
    const std::string name = SHA1Util::SHA1HashStringForUTF8String(domainPath);
    if (OptString found = BackupFiles::locate(backupFolder, name)) return *found;
    return backupFolder + "/" + name;
}

OptString LocatedBackupPathOf(const std::string& backupFolder, const std::string& domainPath) {
    return BackupFiles::locate(backupFolder, SHA1Util::SHA1HashStringForUTF8String(domainPath));
}

// Takes the photo and video step's copies of a backup file off a shown list and its full list;
// how many items went (one item sits in both lists).
template <class Item>
std::size_t DropCopiesOf(const std::string& file, SharedList<Item>& shown, SharedList<Item>& all) {
    if (file.empty()) return 0;
    const auto copyOfFile = [&](const Item& item) { return item.CopiedFrom() == file; };
    all.removeIf(copyOfFile);
    return shown.removeIf(copyOfFile);
}

}  // namespace

DcimService::DcimService()
    : _cameraRollPhotos(std::make_shared<DcmiFolder>()),
      _photoStreamPhotos(std::make_shared<DcmiFolder>()),
      _appPhotos(std::make_shared<DcmiFolder>()),
      _cameraRollVideos(std::make_shared<DcmiFolder>()),
      _photoStreamVideos(std::make_shared<DcmiFolder>()),
      _appVideos(std::make_shared<DcmiFolder>()) {
    _cameraRollPhotos->setName("Camera Roll");
    _photoStreamPhotos->setName("Photo Stream");
    _appPhotos->setName("App Photos");
    _cameraRollVideos->setName("Camera Roll");
    _photoStreamVideos->setName("Photo Stream");
    _appVideos->setName("App Videos");
    for (DcmiFolder* videos : {_cameraRollVideos.get(), _photoStreamVideos.get(), _appVideos.get()})
        videos->setIsVideosFolder(true);
}

DcimService::~DcimService() = default;

void DcimService::initialiseArrays(BrimleyAppDelegate& record) {
    std::lock_guard photos(record.photosLocked);
    record.AllDeletedPhotos.clear();
    record.AllPhotosContent.clear();
    record.AllDeletedVideos.clear();
    record.AllVideosContent.clear();
}

void DcimService::RecoverFromDevice(const ScanContext& context) {
    RecoverFromIOSBackup(context);
}

void DcimService::RecoverFromIOSBackup(const ScanContext& context) {
    const DeviceInfo none;
    const DeviceInfo& device = context.device ? *context.device : none;
    for (const std::string* name : {&_PhotosSqliteDbName, &_PhotosSqliteDbNameIOS456}) {
        if (context.cancelled()) return;
        _SqliteDbName = *name;
        ProcessDatabaseForDevice(context, device, false);
    }
    if (context.recoverType != 0) return;
    processOtherBackups(context);
}

void DcimService::processOtherBackups(const ScanContext& context) {
    if (!context.device) return;
    const DeviceInfo& device = *context.device;
    const std::string backupDirectory = WithoutTrailingSlashes(context.backupFolder);
    if (backupDirectory.empty() || !FileUtils::directoryExistsAtPath(backupDirectory)) return;
    // An empty identifier would begin every name: only a known device has other backups.
    const std::string deviceId = device.UniqueDeviceID().value_or("");
    if (deviceId.empty()) return;
    const auto entries = FileUtils::getContentsofDirectory(backupDirectory);
    if (!entries) return;

    for (const std::string& entry : *entries) {
        if (context.cancelled()) return;
        if (!StartsWith(entry, deviceId)) continue;
        const std::string otherBackup = backupDirectory + "/" + entry;
        if (SameText(device.BackupLocation(), otherBackup) ||
            SameText(device.BackupLocation(), entry) ||
            !FileUtils::directoryExistsAtPath(otherBackup))
            continue;
        // The other backup's items are read from its own photo libraries, so that every path
        // listed names a file of that backup.
        for (const std::string* name : {&_PhotosSqliteDbName, &_PhotosSqliteDbNameIOS456}) {
            const OptString library = context.locateIn(otherBackup, *name);
            if (!library) continue;
            DeviceInfo other;
            other.setBackupLocation(otherBackup);
            other.setfullPath(library);
            try {
                ProcessDatabaseForDevice(context, other, true);
            } catch (const std::exception& error) {
                // One unreadable backup must not end the passes over the others.
                std::cerr << ("photo recovery: skipped " + otherBackup + ": " + error.what() +
                              "\n");
            }
        }
    }
}

PhotoDbSchema DcimService::GetPhotoDBFileType(const SqliteConnection& db) {
    for (const SchemaTable& candidate : kSchemaTables) {
        SqliteResultSet found =
            db.executeQuery("SELECT name FROM sqlite_master WHERE type='table' AND name='" +
                            std::string(candidate.table) + "'");
        if (found.next()) return candidate.schema;
    }
    return PhotoDbSchema::Unknown;
}

const char* DcimService::QueryForSchema(PhotoDbSchema schema) {
    switch (schema) {
        case PhotoDbSchema::Photo:
            return kQueryPhoto;
        case PhotoDbSchema::Z_8ASSETS:
            return kQueryZ8;
        case PhotoDbSchema::Z_11ASSETS:
            return kQueryZ11;
        case PhotoDbSchema::Z_6ASSETS:
            return kQueryZ6;
        case PhotoDbSchema::Z_16ASSETS:
            return kQueryZ16;
        case PhotoDbSchema::Z_17ASSETS:
        case PhotoDbSchema::Unknown:
        case PhotoDbSchema::SyncedThumbnails:
            break;
    }
    return kQueryAssets;
}

void DcimService::ProcessDatabaseForDevice(const ScanContext& context, const DeviceInfo& device,
                                           bool DCIMAccess) {
    BrimleyAppDelegate& record = context.sink();
    const OptString path = ConnectionString(context, device);
    if (!path || !openOwnDatabase(*path)) {
        dbUtils.reset();
        return;
    }
    const std::shared_ptr<SqliteConnection> db = dbUtils->sharedDB();
    PhotoDbSchema schema = GetPhotoDBFileType(*db);
    if (schema == PhotoDbSchema::Unknown) schema = PhotoDbSchema::Z_17ASSETS;
    const bool readsTrashedState =
        schema == PhotoDbSchema::Z_16ASSETS || schema == PhotoDbSchema::Z_17ASSETS;
    const std::string domainPrefix =
        schema == PhotoDbSchema::Photo ? kMediaDomain : kCameraRollDomain;
    // The items' files lie in the device's backup folder, which is the scanned one unless the
    // device names another.
    std::string backupFolder = WithoutTrailingSlashes(device.BackupLocation().value_or(""));
    if (backupFolder.empty()) backupFolder = WithoutTrailingSlashes(context.backupFolder);

    SqliteResultSet rows = db->executeQuery(QueryForSchema(schema));
    std::int32_t sinceRefresh = 0;
    while (!context.cancelled() && rows.next()) {
        Dcmi item;
        item.setZDirecotry(rows.stringForColumn("ZDIRECTORY"));
        item.setZFilename(rows.stringForColumn("ZFILENAME"));
        // An asset without a name or folder names no file (the newer statements leave such
        // rows out themselves).
        if (!item.ZDirecotry() || !item.ZFilename()) continue;
        item.setDcmiName(item.ZFilename());
        if (readsTrashedState) item.setRecovered(rows.longLongIntForColumn("ZTRASHEDSTATE") != 0);
        item.setCreated(rows.stringForColumn("ZDATECREATED"));
        item.setModified(rows.stringForColumn("ZMODIFICATIONDATE"));
        processAsset(record, schema, domainPrefix, backupFolder, DCIMAccess, item);

        if (++sinceRefresh >= kItemsPerRefresh) {
            std::this_thread::yield();
            updateUI(record);
            sinceRefresh = 0;
        }
    }
    rows.close();
    dbUtils.reset();
    updateUI(record);
}

void DcimService::processAsset(BrimleyAppDelegate& record, PhotoDbSchema schema,
                               const std::string& domainPrefix, const std::string& backupFolder,
                               bool DCIMAccess, Dcmi& item) {
    const std::string& directory = *item.ZDirecotry();
    const std::string& file = *item.ZFilename();
    const std::string relative = directory + "/" + file;
    const bool video = VideoUtils::IsKnownVideoFormat(file);

    std::string domainPath = domainPrefix + relative;
    DcmiFolder* folder = nullptr;
    bool syncedPhoto = false;
    if (video) {
        // A film is deleted when the library has it in the trash (the libraries that keep a
        // trashed state), not for being a film.
        if (StartsWith(directory, "DCIM")) {
            folder = _cameraRollVideos.get();
        } else {
            if (StartsWith(directory, "PhotoStreamsData")) domainPath = kMediaDomain + relative;
            folder = _photoStreamVideos.get();
        }
    } else if (StartsWith(directory, "DCIM")) {
        folder = _cameraRollPhotos.get();
    } else if (StartsWith(directory, "PhotoStreamsData")) {
        domainPath = kMediaDomain + relative;
        item.setRecovered(false);
        folder = _photoStreamPhotos.get();
    } else {
        if (StartsWith(directory, "PhotoData/Sync")) {
            domainPath = kMediaDomain + relative;
            syncedPhoto = true;
        }
        item.setRecovered(true);
        folder = _photoStreamPhotos.get();
    }

    item.setDcmiPath(BackupPathOf(backupFolder, domainPath));
    std::string thumbnail = ResolveThumbnailPath(schema, item.ZFilename(), item.ZDirecotry(),
                                                 backupFolder, video, *item.DcmiPath());
    if (syncedPhoto && schema == PhotoDbSchema::Photo && !IsRegularFile(thumbnail))
        thumbnail = ResolveThumbnailPath(PhotoDbSchema::SyncedThumbnails, item.ZFilename(),
                                         item.ZDirecotry(), backupFolder, video, *item.DcmiPath());
    item.setDcmiThumbnailPath(thumbnail);
    AddToFolderIfDoesNotExists(record, *folder, item, DCIMAccess);
}

std::string DcimService::ResolveThumbnailPath(PhotoDbSchema schema, const OptString& File,
                                              const OptString& Dir, const std::string& backUP,
                                              bool Video, const std::string& DcmiPath) {
    std::string domain = kCameraRollDomain;
    std::string thumbnails = "PhotoData/100APPLE/";
    switch (schema) {
        case PhotoDbSchema::Photo:
            domain = kMediaDomain;
            thumbnails = "PhotoData/Thumbnails/V2/";
            break;
        case PhotoDbSchema::SyncedThumbnails:
        case PhotoDbSchema::Z_16ASSETS:
        case PhotoDbSchema::Z_17ASSETS:
            thumbnails = "PhotoData/Thumbnails/V2/";
            break;
        case PhotoDbSchema::Z_8ASSETS:
        case PhotoDbSchema::Z_11ASSETS:
        case PhotoDbSchema::Z_6ASSETS:
        case PhotoDbSchema::Unknown:
            break;
    }
    const std::string file = File.value_or("");
    const std::string folder = domain + thumbnails + Dir.value_or("") + "/";
    for (const char* numbered : {"5003.JPG", "5004.JPG", "5005.JPG", "5002.JPG"})
        if (OptString found = LocatedBackupPathOf(backUP, folder + file + "/" + numbered))
            return *found;

    // The companion thumbnail shares the name up to its last dot. A dot is one byte in UTF-8
    // and one unit in UTF-16, so cutting the bytes cuts the same characters.
    const std::size_t lastDot = file.rfind('.');
    const std::string stem =
        lastDot == std::string::npos ? std::string() : file.substr(0, lastDot + 1);
    if (OptString found = LocatedBackupPathOf(backUP, folder + stem + "THM")) return *found;

    return Video ? std::string(kStockVideoThumbnail) : DcmiPath;
}

void DcimService::AddToFolderIfDoesNotExists(BrimleyAppDelegate& record, DcmiFolder& folder,
                                             Dcmi& DCMI, bool exists) {
    if (exists) {
        // An item of another backup of the device: gone from the device since.
        DCMI.setRecovered(true);
        folder.setContainsDeletedDcmis(true);
        if (!folder.IsVideosFolder()) return;
        auto video = DCMI.convertToVideo();
        std::lock_guard photos(record.photosLocked);
        ++record.DeletedVideosCount;
        record.AllDeletedVideos.append(video);
        record.DeletedVideos.append(video);
        return;
    }
    // The photo and video step of the scan may have listed a copy of the same file already: the
    // library's entry, which knows whether the item is in the trash, takes its place, so each
    // file is listed once.
    const std::string file = SameFileKey(DCMI.DcmiPath().value_or(""));
    // A file the photo step could not copy is not missing when the library lists it.
    if (!file.empty()) record.MediaNotCopied.removeIf([&](const std::string& key) { return key == file; });
    if (!folder.IsVideosFolder()) {
        auto photo = DCMI.convertToPhoto();
        // The test and the listing are one step, so no other thread lists the same file between.
        std::lock_guard photos(record.photosLocked);
        record.PhotosCount -=
        static_cast<std::int32_t>(DropCopiesOf(file, record.Photos, record.AllPhotosContent));
        if (isDuplicatePhoto(record, *photo)) return;
        if (DCMI.Recovered()) {
            ++record.DeletedPhotosCount;
            record.AllDeletedPhotos.append(photo);
            record.DeletedPhotos.append(photo);
        } else {
            ++record.PhotosCount;
            record.AllPhotosContent.append(photo);
            record.Photos.append(photo);
        }
        return;
    }
    auto video = DCMI.convertToVideo();
    std::lock_guard photos(record.photosLocked);
    record.VideosCount -=
        static_cast<std::int32_t>(DropCopiesOf(file, record.Videos, record.AllVideosContent));
    if (DCMI.Recovered()) {
        ++record.DeletedVideosCount;
        record.AllDeletedVideos.append(video);
        record.DeletedVideos.append(video);
    } else {
        ++record.VideosCount;
        record.AllVideosContent.append(video);
        record.Videos.append(video);
    }
}

bool DcimService::isDuplicatePhoto(const BrimleyAppDelegate& record, const Photo& photo) {
    if (!photo.PhotoUrl()) return false;
    return record.AllPhotosContent.containsKey(*photo.PhotoUrl(), &Photo::UrlKey) ||
           record.AllDeletedPhotos.containsKey(*photo.PhotoUrl(), &Photo::UrlKey);
}

void DcimService::updateUI(BrimleyAppDelegate& record) {
    // Never called with photosLocked held: the window takes it while it rebuilds the browser.
    record.updatePhotosUI();
}

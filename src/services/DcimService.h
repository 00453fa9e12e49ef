#pragma once

#include "services/abstractServices.h"

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

class Dcmi;
class DcmiFolder;
class Photo;
class SqliteConnection;

// The schema family of a photo-library database, told by the album join table it has.
enum class PhotoDbSchema : std::int32_t {
    Photo = 0,  // iOS 4: table Photo
    Z_8ASSETS = 1,
    Z_11ASSETS = 2,
    Z_6ASSETS = 3,
    Z_16ASSETS = 4,  // from here on the trashed state is read
    Z_17ASSETS = 5,
    Unknown = 6,  // none of them: read like Z_17ASSETS, without the join
    // Not a schema: asks the thumbnail lookup for the camera-roll domain with the
    // Thumbnails/V2 folder, used for synced photos of an iOS 4 library.
    SyncedThumbnails = 7,
};

// Photos and videos: reads the asset rows of the backup's photo library, finds each asset's
// file and thumbnail among the backup's files by their backup names, decides from the row and
// its folder whether the item counts as existing or recovered, and lists it as a Photo or a
// Video of the shared state record, asking the window to refresh the browser as it goes.
// Nothing is carved.
class DcimService : public abstractServices {
public:
    // The picture a video gets when the backup has no thumbnail of it.
    static constexpr const char* kStockVideoThumbnail =
        "/Brimley.DcmiModule;component/Resources/video-thumbnail.png";
    // How many items are listed between two refreshes of the browser.
    static constexpr std::int32_t kItemsPerRefresh = 13;

    DcimService();
    ~DcimService() override;

    void RecoverFromDevice(const ScanContext& context) override;
    // Reads the photo library of the backup (the current name, then the iOS 4 to 6 name); from
    // a connected device (RecoverType 0) also the libraries of the device's other backups kept
    // in the backup folder, whose items all count as recovered.
    void RecoverFromIOSBackup(const ScanContext& context) override;

    // One pass over the photo library named by _SqliteDbName (or the device's fullPath), the
    // items' files looked up under the device's BackupLocation (else the scan's backup folder).
    // DCIMAccess marks every item as recovered from another backup. No file, or one that does
    // not open: nothing, no refresh.
    void ProcessDatabaseForDevice(const ScanContext& context, const DeviceInfo& device,
                                  bool DCIMAccess);

    static PhotoDbSchema GetPhotoDBFileType(const SqliteConnection& db);
    // The statement that reads the assets of a library of that schema.
    static const char* QueryForSchema(PhotoDbSchema schema);

    // The thumbnail of an asset: the first numbered thumbnail the backup holds, else its
    // companion ".THM" file, else the stock picture (videos) or the asset itself (photos).
    static std::string ResolveThumbnailPath(PhotoDbSchema schema, const OptString& File,
                                            const OptString& Dir, const std::string& backUP,
                                            bool Video, const std::string& DcmiPath);

    // Converts and lists one item; see the .cpp for the three cases.
    void AddToFolderIfDoesNotExists(BrimleyAppDelegate& record, DcmiFolder& folder, Dcmi& DCMI,
                                    bool exists);
    // Whether a photo of the same backup file is listed already in the record (existing or
    // recovered). The caller holds photosLocked.
    static bool isDuplicatePhoto(const BrimleyAppDelegate& record, const Photo& photo);
    // Asks the window to refresh the photo browser.
    static void updateUI(BrimleyAppDelegate& record);
    // Empties the record's four "All" photo and video lists.
    static void initialiseArrays(BrimleyAppDelegate& record);

    // "12b144c0..." (CameraRollDomain) and the iOS 4 to 6 "bedec6d4..." (MediaDomain).
    const std::string _PhotosSqliteDbName = "12b144c0bd44f2b3dffd9186d3f9c05b917cee25";
    const std::string _PhotosSqliteDbNameIOS456 = "bedec6d42efe57123676bfa31e98ab68b713195f";

    const DcmiFolder& cameraRollPhotos() const { return *_cameraRollPhotos; }
    const DcmiFolder& photoStreamPhotos() const { return *_photoStreamPhotos; }
    const DcmiFolder& cameraRollVideos() const { return *_cameraRollVideos; }
    const DcmiFolder& photoStreamVideos() const { return *_photoStreamVideos; }

private:
    // One row of the library: classified, located and listed.
    void processAsset(BrimleyAppDelegate& record, PhotoDbSchema schema,
                      const std::string& domainPrefix, const std::string& backupFolder,
                      bool DCIMAccess, Dcmi& item);
    // The passes over the device's other backups kept in the backup folder.
    void processOtherBackups(const ScanContext& context);

    std::shared_ptr<DcmiFolder> _cameraRollPhotos, _photoStreamPhotos, _appPhotos;
    std::shared_ptr<DcmiFolder> _cameraRollVideos, _photoStreamVideos, _appVideos;
};

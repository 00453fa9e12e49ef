#pragma once

#include "records/DataType.h"
#include "records/DatabaseProblem.h"
#include "records/DeviceInfo.h"
#include "records/MainWindowRefresh.h"
#include "records/RecordTypes.h"
#include "records/ScanContext.h"
#include "records/SharedList.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FMDBUtils;
class DAOs;
class ServicesManager;
class SqLiteTableSignatures;
class RecoveryWindowController;
class MobileDeviceAccess;
class AMDevice;

// The one record of shared state: every list of recovered records and its counts, where the
// backup being read lies and what its databases are called, the device being read, the
// shared service objects and the flags by which the threads of a scan coordinate.
//
// The main thread, the scan worker, one recovery thread per data type, the signature loader
// and the update check all use it at once, so every member is safe to use from any thread:
// lists are guarded and read through snapshots, numbers and flags are atomic, texts and
// object references are read as copies.
class BrimleyAppDelegate {
public:
    BrimleyAppDelegate();
    ~BrimleyAppDelegate();
    BrimleyAppDelegate(const BrimleyAppDelegate&) = delete;
    BrimleyAppDelegate& operator=(const BrimleyAppDelegate&) = delete;

    // The application's shared state record; the same object on every thread.
    static BrimleyAppDelegate& appDelegate();

    // ---- Recovered data: existing, deleted, all existing, all deleted, counts ----
    SharedList<SMS> SMSContent, DeletedSMS, AllSMSContent, AllDeletedSMS;
    std::atomic<std::int32_t> SMSCount{0}, DeletedSMSCount{0};

    SharedList<Contact> ContactContent, DeletedContact, AllContactsContent, AllDeletedContacts;
    std::atomic<std::int32_t> ContactCount{0}, DeletedContactCount{0};

    SharedList<CallLog> CallLogContent, DeletedCallLog, AllCallLogContent, AllDeletedCallLog;
    std::atomic<std::int32_t> CallLogCount{0}, DeletedCallLogCount{0};

    SharedList<Note> NotesContent, DeletedNotes, AllNotesContent, AllDeletedNotes;
    std::atomic<std::int32_t> NoteCount{0}, DeletedNoteCount{0};

    SharedList<Calendar> CalendarContent, DeletedCalendar, AllCalendarContent, AllDeletedCalendar;
    std::atomic<std::int32_t> CalendarCount{0}, DeletedCalendarCount{0};

    // Internet history is read, never carved: its deleted lists stay empty.
    SharedList<InternetHistory> InternetContent, DeletedInternet, AllInternetContent,
        AllDeletedInternet;
    std::atomic<std::int32_t> InternetCount{0}, DeletedInternetCount{0};

    SharedList<WhatsApp> WhatsAppContent, DeletedWhatsApp, AllWhatsAppContent, AllDeletedWhatsApp;
    std::atomic<std::int32_t> WhatsAppCount{0}, DeletedWhatsAppCount{0};

    // The photo and video lists are changed and walked only while photosLocked is held.
    SharedList<Photo> Photos, DeletedPhotos, AllPhotosContent, AllDeletedPhotos;
    std::atomic<std::int32_t> PhotosCount{0}, DeletedPhotosCount{0};
    SharedList<Video> Videos, DeletedVideos, AllVideosContent, AllDeletedVideos;
    std::atomic<std::int32_t> VideosCount{0}, DeletedVideosCount{0};

    SharedList<SMS> iMessageContent, DeletediMessage;
    std::atomic<std::int32_t> iMessageCount{0}, DeletediMessageCount{0};
    SharedList<CallLog> faceTimeContent, DeletedFaceTime;
    std::atomic<std::int32_t> FaceTimeCount{0}, DeletedFaceTimeCount{0};

    SharedList<MapHistory> MapContent;
    std::atomic<std::int32_t> MapHistroyCount{0};
    SharedList<DynamicDictionary> UserDictContent;
    std::atomic<std::int32_t> UserDictCount{0};
    SharedList<Application> ApplicationContent;
    std::atomic<std::int32_t> ApplicationsCount{0};
    SharedList<Account> AccountContent;
    SharedList<Music> Audios;

    // Chats and chat-to-message joins read with the messages; the deleted ones are never filled.
    SharedList<Chat> AllChatsContent, AllDeletedChats;
    SharedList<ChatMessageJoin> AllChatMessageJoinContent, AllDeletedChatMessageJoin;
    // What the photo grid and the video view show; rebuilt only while dcimLocked is held.
    SharedList<Photo> AllPhotos;
    SharedList<Video> _AllVideos;
    // What the music and keychain screens show.
    SharedList<ListDataItem> listData;
    // Row ids collected by the call-history reader.
    Guarded<std::vector<std::int64_t>> CallLogRowIDs;
    // Running number of carved messages whose partner is unknown ("unknown<n>").
    std::atomic<std::int64_t> unKnownCount{0};
    // The databases of the last scan that could not be read, wholly or in part; one each.
    SharedList<DatabaseProblem> DatabaseProblems;
    // The photos and videos of the backup (as SameFileKey names them) that the last scan found
    // but could not copy into its working folder (no folder, a full disk); one each. A file the
    // photo library lists as well is taken off: the library's entry stands for it.
    SharedList<std::string> MediaNotCopied;

    // ---- Backup location and the backup file name of each database ----
    Guarded<std::string> BACKUP_DIRECTORY;
    Guarded<std::string> SMS_DATABASE, ADDRESSBOOK_DATABASE, CALENDAR_DATABASE, NOTES_DATABASE,
        CALLHISTORY_DATABASE, WHATSAPP_DATABASE, MAPHISTORY_DATABASE, DYNAMICDIT_DATABASE,
        ACCOUNT_DATABASE, KEYCHAIN_DATABASE, INTERNET_HISTROY_DATABASE, APPLICATIONS_DATABASE;
    // The field above that holds a role's backup file name.
    Guarded<std::string>& databaseName(DatabaseRole role);
    const Guarded<std::string>& databaseName(DatabaseRole role) const;
    // How the scan reads the backup's files (and where its private copies of databases with a
    // write-ahead log are); each scan sets its own, which stays until the next scan so that the
    // screens read what the scan read. None: the files are read where the backup keeps them.
    Guarded<std::shared_ptr<BackupFileAccess>> backupFiles;

    // ---- Device, services and mode ----
    // The device or backup being read. Filled before a scan starts; a new recovery replaces the
    // whole record rather than editing the one that running threads may hold.
    Guarded<std::shared_ptr<DeviceInfo>> deviceInfo;
    Guarded<std::shared_ptr<DeviceInfo>> deviceInfoBackup;
    Guarded<std::shared_ptr<MobileDeviceAccess>> MobileDevice;
    Guarded<std::shared_ptr<AMDevice>> mDevice;
    std::atomic<bool> isDeviceConnected{false};
    // 0 until a named device has left once, 1 from then on.
    std::atomic<std::int32_t> RecoverType{0};
    // The source chosen on the home screen: 0 a connected device, 1 a backup folder.
    std::atomic<std::int32_t> _RecoverType{0};
    // 0 a fast recovery (databases only), 1 a full one (photos and videos too).
    std::atomic<std::int32_t> _RecoverMode{0};
    Guarded<std::shared_ptr<dataTypeHolder>> holder;
    // The data type the last scan read (DataTypeAll for every type); none before the first
    // scan. The scan report shows the rows of that type.
    Guarded<std::optional<DataType>> scannedDataType;
    // The database the window itself has open. Recovery threads open their own connections.
    Guarded<std::shared_ptr<FMDBUtils>> dbUtils;
    Guarded<std::shared_ptr<DAOs>> daos;
    Guarded<std::shared_ptr<ServicesManager>> servicesMgr;
    // Loaded once at start-up, only read afterwards.
    Guarded<std::shared_ptr<const SqLiteTableSignatures>> recoverySignatures;
    // Set by a scan whose deleted records could not be searched because the signature file
    // could not be used: why. Cleared with the scan's results.
    Guarded<std::optional<std::string>> carvingProblem;
    Guarded<std::shared_ptr<RecoveryWindowController>> recoveryWindowController;
    // The open tab (a tab tag); start-up selects the photo tab.
    std::atomic<std::int32_t> tabItem{0};
    std::atomic<std::int32_t> PresentScreen{0};
    // The tab a scan opens for its data type (a tab tag); each scan sets it.
    std::atomic<std::int32_t> buttonType{0};
    // The photos and deleted photos the browser has shown of the running scan, and the
    // deleted records the summary has counted; each scan starts them at 0.
    std::atomic<std::int32_t> _currentlyAddedPhotos{0}, _currentlyAddedDeletedPhotos{0};
    std::atomic<std::int32_t> mCurrentDeletedAdded{0}, mCurrentPhotosAdded{0};

    // ---- Run flags ----
    std::atomic<bool> IsCancelFlag{false};
    // Set once the signature catalogue has been loaded; the run controller waits for it.
    WaitableFlag signatureLoaded;
    BusyFlag photosLocked;
    BusyFlag dcimLocked;
    // Set by the call-history service while it carves. Each carving engine chooses its own
    // freeblock start offset, so this flag only tells whether that service is busy.
    std::atomic<bool> isDoingCallList{false};
    std::atomic<bool> isDoingRecovery{false};
    std::atomic<bool> hasDoneScan{false};
    std::atomic<bool> onlyRecovered{false};
    // Cleared when a scan starts; the loading panel stops once it is set.
    std::atomic<bool> stopLoading{false};

    // ---- Branding and addresses, set at start-up ----
    Guarded<std::string> ProductName, Version, SupportURL, BannerURL, appIdentifier, ipAddress;
    Guarded<std::vector<std::string>> bundleIdentifiers;

    // ---- The window, as the recovery threads see it ----
    // The front end attaches itself here; with none attached the refreshes do nothing.
    void setWindow(std::shared_ptr<MainWindowRefresh> window) { window_.set(std::move(window)); }
    std::shared_ptr<MainWindowRefresh> window() const { return window_.get(); }
    void updateUIfoundRecoveredData();
    void updatePhotosUI();

private:
    Guarded<std::shared_ptr<MainWindowRefresh>> window_;
};

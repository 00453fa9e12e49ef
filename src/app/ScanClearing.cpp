#include "app/ScanClearing.h"

#include "app/MainWindow.h"
#include "app/WorkingFolder.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <memory>
#include <mutex>

void ClearScanResults(BrimleyAppDelegate& record, MainWindowActions& window,
                      WorkingFolder* workingFolder) {
    window.clearScreens();
    window.removeSelection();
    if (workingFolder) workingFolder->clear();

    record.DeletedSMS.clear();
    record.DeletedContact.clear();
    record.DeletedCallLog.clear();
    record.DeletedNotes.clear();
    record.DeletedCalendar.clear();
    record.DeletedWhatsApp.clear();
    record.SMSContent.clear();
    record.ContactContent.clear();
    record.NotesContent.clear();
    record.CalendarContent.clear();
    record.CallLogContent.clear();
    record.WhatsAppContent.clear();

    {
        std::lock_guard photos(record.photosLocked);
        record.Photos.clear();
        {
            std::lock_guard grid(record.dcimLocked);
            record.AllPhotos.clear();
        }
        record.DeletedPhotos.clear();
        record.DeletedVideos.clear();
        record.DeletedVideosCount = 0;
        record.DeletedPhotosCount = 0;
        record.PhotosCount = 0;
        record._AllVideos.clear();
        record.Videos.clear();
        record.Audios.clear();
        record.AllPhotosContent.clear();
        record.AllDeletedPhotos.clear();
        record.AllVideosContent.clear();
        record.AllDeletedVideos.clear();
    }

    record.AllCalendarContent.clear();
    record.AllDeletedCalendar.clear();
    record.AllSMSContent.clear();
    record.AllDeletedSMS.clear();
    record.AllNotesContent.clear();
    record.AllDeletedNotes.clear();
    record.AllCallLogContent.clear();
    record.AllDeletedCallLog.clear();
    record.AllInternetContent.clear();
    record.AllDeletedInternet.clear();
    record.AllWhatsAppContent.clear();
    record.AllDeletedWhatsApp.clear();
    record.AllContactsContent.clear();
    record.AllDeletedContacts.clear();
    record.AllChatMessageJoinContent.clear();
    record.AllDeletedChatMessageJoin.clear();
    record.AllChatsContent.clear();
    record.AllDeletedChats.clear();

    record.InternetContent.clear();
    record.MapContent.clear();
    record.UserDictContent.clear();
    record.iMessageContent.clear();
    record.faceTimeContent.clear();

    record.WhatsAppCount = 0;
    record.SMSCount = 0;
    record.InternetCount = 0;
    record.NoteCount = 0;
    record.ContactCount = 0;
    record.CalendarCount = 0;
    record.CallLogCount = 0;
    record.VideosCount = 0;
    record.PhotosCount = 0;
}

void ClearDeviceDetails(BrimleyAppDelegate& record, MainWindowActions& window) {
    const auto current = record.deviceInfo.get();
    auto cleared = std::make_shared<DeviceInfo>(current ? *current : DeviceInfo{});
    cleared->setDeviceName("");
    cleared->setDisplayName("");
    cleared->setSerialNumber("");
    cleared->setProductType("");
    cleared->setUniqueDeviceID("");
    cleared->setProductVersion("");
    cleared->setFirmwareVersion("");
    cleared->setIMSI("");
    cleared->setIMEI("");
    cleared->setICICD("");
    cleared->setKnownIfEncrypted(false);
    cleared->setIsEncrypted(false);
    cleared->setIOSMajorVersion(0);
    cleared->setIOSMinorVersion(0);
    record.deviceInfo.set(std::move(cleared));
    window.updateDisplayName("");
}

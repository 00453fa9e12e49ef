#include "app/MixPanelEvents.h"

#include "app/HostSystemVersion.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <utility>

MixPanelEvents::MixPanelEvents(BrimleyAppDelegate& record, mixPanel::Options options)
    : record_(record), client_(std::move(options)) {}

void MixPanelEvents::publishMessageEvent(const std::string& name) {
    client_.publishMessageEvent(name);
}

void MixPanelEvents::PublishButtonEvent(const std::string& buttonName) {
    client_.PublishButtonEvent(buttonName);
}

void MixPanelEvents::publishRatingEvent(const std::string& name, std::int32_t stars) {
    client_.publishRatingEvent(name, stars);
}

RecoveryCounts MixPanelEvents::countsOf(const BrimleyAppDelegate& r) {
    RecoveryCounts c;
    c.DeletedSMSCount = r.DeletedSMSCount.load();
    c.SMSCount = r.SMSCount.load();
    c.DeletedContactCount = r.DeletedContactCount.load();
    c.ContactCount = r.ContactCount.load();
    c.DeletedCallLogCount = r.DeletedCallLogCount.load();
    c.CallLogCount = r.CallLogCount.load();
    c.DeletedCalendarCount = r.DeletedCalendarCount.load();
    c.CalendarCount = r.CalendarCount.load();
    c.DeletedNoteCount = r.DeletedNoteCount.load();
    c.NoteCount = r.NoteCount.load();
    c.DeletedWhatsAppCount = r.DeletedWhatsAppCount.load();
    c.WhatsAppCount = r.WhatsAppCount.load();
    c.DeletedPhotosCount = r.DeletedPhotosCount.load();
    c.PhotosCount = r.PhotosCount.load();
    c.DeletedVideosCount = r.DeletedVideosCount.load();
    c.VideosCount = r.VideosCount.load();
    c.DeletedInternetCount = r.DeletedInternetCount.load();
    c.InternetCount = r.InternetCount.load();
    return c;
}

void MixPanelEvents::PublishReportInfosEvent() {
    if (!client_.enabled()) return;
    client_.PublishReportInfosEvent(countsOf(record_));
}

void MixPanelEvents::softwareBuildInfo() {
    if (!client_.enabled()) return;
    BuildInfo info;
    const HostSystemVersion host = HostSystemVersion::current();
    info.osVersion = host.version.empty() ? host.name : host.name + " " + host.version;
    if (const auto device = record_.deviceInfo.get()) {
        info.iosMajorVersion = device->iOSMajorVersion();
        info.iosMinorVersion = device->iOSMinorVersion();
    }
    client_.softwareBuildInfo(info);
}

void MixPanelEvents::sendCrashReport(const CrashReport& report) {
    client_.sendCrashReport(report);
}

void MixPanelEvents::flush() {
    client_.flush();
}

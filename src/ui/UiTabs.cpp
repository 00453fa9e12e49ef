#include "ui/UiTabs.h"

#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/InternetHistory.h"
#include "records/MapHistory.h"
#include "records/Note.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "records/Video.h"
#include "records/WhatsApp.h"

namespace {

std::string Joined(std::initializer_list<OptString> parts) {
    std::string text;
    for (const OptString& part : parts) {
        if (!part || part->empty()) continue;
        if (!text.empty()) text += "  \u2013  ";
        text += *part;
    }
    return text;
}

template <class Item, class Describe>
std::vector<ListedRow> Rows(const SharedList<Item>& existing, const SharedList<Item>* deleted,
                            Describe describe) {
    std::vector<ListedRow> rows;
    for (const auto& item : existing.snapshot())
        if (item) rows.push_back({describe(*item), false});
    if (deleted)
        for (const auto& item : deleted->snapshot())
            if (item) rows.push_back({describe(*item), true});
    return rows;
}

template <class Item>
bool Has(const std::atomic<std::int32_t>& deletedCount, const SharedList<Item>& existing) {
    return deletedCount.load() >= 1 || !existing.empty();
}

std::string DescribeSMS(const SMS& m) {
    return Joined({m.Address(), m.LocalTime(), m.Message()});
}
std::string DescribeCall(const CallLog& c) {
    return Joined({c.ContactName(), c.PhoneNumber(), c.LocalTime(), c.CallType()});
}

const std::vector<UiTab> kTabs = {
    {TabTag::TabTagSMS, LanguageKey::CommonMessages, "mail-message", "messages",
     ScreenKind::DataList, true,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedSMSCount, r.SMSContent); },
     [](const BrimleyAppDelegate& r) { return Rows(r.SMSContent, &r.DeletedSMS, DescribeSMS); }},
    {TabTag::TabTagContacts, LanguageKey::CommonContacts, "x-office-address-book", "contacts",
     ScreenKind::DataList, true,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedContactCount, r.ContactContent); },
     [](const BrimleyAppDelegate& r) {
         return Rows(r.ContactContent, &r.DeletedContact, [](const Contact& c) {
             return Joined({c.FullName(), c.ContactNumbersText(), c.ContactEmailAddresesText()});
         });
     }},
    {TabTag::TabTagCalls, LanguageKey::CommonCalls, "call-start", "calls", ScreenKind::DataList,
     true, [](const BrimleyAppDelegate& r) { return Has(r.DeletedCallLogCount, r.CallLogContent); },
     [](const BrimleyAppDelegate& r) { return Rows(r.CallLogContent, &r.DeletedCallLog, DescribeCall); }},
    {TabTag::TabTagNotes, LanguageKey::CommonNotes, "accessories-text-editor", "notes",
     ScreenKind::DataList, true,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedNoteCount, r.NotesContent); },
     [](const BrimleyAppDelegate& r) {
         return Rows(r.NotesContent, &r.DeletedNotes, [](const Note& n) {
             return Joined({n.Title(), n.CreatedDate(), n.Summary()});
         });
     }},
    {TabTag::TabTagCalendar, LanguageKey::CommonCalendar, "x-office-calendar", "calendar",
     ScreenKind::DataList, true,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedCalendarCount, r.CalendarContent); },
     [](const BrimleyAppDelegate& r) {
         return Rows(r.CalendarContent, &r.DeletedCalendar, [](const Calendar& c) {
             return Joined({c.Summary(), c.StartDate(), c.Location()});
         });
     }},
    {TabTag::TabTagPhotos, LanguageKey::CommonPhotos, "image-x-generic", "photos",
     ScreenKind::PhotoBrowser, false,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedPhotosCount, r.Photos); }, nullptr},
    {TabTag::TabTagVideos, LanguageKey::CommonVideos, "video-x-generic", "videos",
     ScreenKind::VideoBrowser, false,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedVideosCount, r.Videos); }, nullptr},
    {TabTag::TabTagInternet, LanguageKey::CommonSafari, "web-browser", "safari",
     ScreenKind::DataList, true,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedInternetCount, r.InternetContent); },
     [](const BrimleyAppDelegate& r) {
         return Rows(r.InternetContent, &r.DeletedInternet, [](const InternetHistory& h) {
             return Joined({h.Title(), h.Url(), h.LastVisitedDate()});
         });
     }},
    {TabTag::TabTagWhatsApp, LanguageKey::CommonWhatsApp, "user-available", "whatsapp",
     ScreenKind::DataList, true,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedWhatsAppCount, r.WhatsAppContent); },
     [](const BrimleyAppDelegate& r) {
         return Rows(r.WhatsAppContent, &r.DeletedWhatsApp, [](const WhatsApp& w) {
             return Joined({w.ContactName(), w.PhoneNo(), w.MessageDate(), w.zText()});
         });
     }},
    // The tabs beside the icon bar.
    {TabTag::TabTagDashboard, std::nullopt, "view-grid", "dashboard", ScreenKind::Summary, false,
     nullptr, nullptr},
    {TabTag::TabTagDeviceInfo, std::nullopt, "phone", "deviceinfo", ScreenKind::DeviceDetails,
     false, nullptr, nullptr},
    {TabTag::TabTagApps, std::nullopt, "applications-other", "apps", ScreenKind::Applications,
     false, [](const BrimleyAppDelegate& r) { return !r.ApplicationContent.empty(); }, nullptr},
    {TabTag::TabTagDictionary, std::nullopt, "accessories-dictionary", "dictionary",
     ScreenKind::UserDictionary, false,
     [](const BrimleyAppDelegate& r) { return !r.UserDictContent.empty(); }, nullptr},
    {TabTag::TabTagMap, std::nullopt, "find-location", "maps", ScreenKind::DataList, false,
     [](const BrimleyAppDelegate& r) { return !r.MapContent.empty(); },
     [](const BrimleyAppDelegate& r) {
         return Rows(r.MapContent, static_cast<const SharedList<MapHistory>*>(nullptr),
                     [](const MapHistory& m) { return Joined({m.Query(), m.Location()}); });
     }},
    {TabTag::TabTagSkype, std::nullopt, "internet-telephony", "skype", ScreenKind::DataList, false,
     nullptr, [](const BrimleyAppDelegate&) { return std::vector<ListedRow>{}; }},
    {TabTag::TabTagIMessage, std::nullopt, "mail-send", "imessage", ScreenKind::DataList, false,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletediMessageCount, r.iMessageContent); },
     [](const BrimleyAppDelegate& r) { return Rows(r.iMessageContent, &r.DeletediMessage, DescribeSMS); }},
    {TabTag::TabTagFaceTime, std::nullopt, "camera-video", "facetime", ScreenKind::DataList, false,
     [](const BrimleyAppDelegate& r) { return Has(r.DeletedFaceTimeCount, r.faceTimeContent); },
     [](const BrimleyAppDelegate& r) { return Rows(r.faceTimeContent, &r.DeletedFaceTime, DescribeCall); }},
};

}  // namespace

const std::vector<UiTab>& UiTabs() {
    return kTabs;
}

const UiTab* UiTabFor(TabTag tab) {
    for (const UiTab& entry : kTabs)
        if (entry.tab == tab) return &entry;
    return nullptr;
}

const UiTab* UiTabFor(std::int32_t tag) {
    return UiTabFor(static_cast<TabTag>(tag));
}

bool IsIconBarTab(TabTag tab) {
    const UiTab* entry = UiTabFor(tab);
    return entry && entry->caption.has_value();
}

#include "ui/UiTabs.h"

#include "app/DataTypes.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/ChatScreens.h"
#include "ui/RecordScreens.h"

#include <vector>

namespace {

template <class Screen>
ResultsScreen* Make(const ScreenHost& host, QWidget* parent) {
    return new Screen(host, parent);
}

using R = const BrimleyAppDelegate&;

const std::vector<UiTab> kTabs = {
    {TabTag::TabTagSMS, LanguageKey::CommonMessages, "mail-message", "messages", ScreenKind::DataList,
     [](R r) { return !r.SMSContent.empty(); }, nullptr, &Make<SMSViewController>},
    {TabTag::TabTagContacts, LanguageKey::CommonContacts, "x-office-address-book", "contacts",
     ScreenKind::DataList, [](R r) { return !r.ContactContent.empty(); }, nullptr,
     &Make<ContactViewController>},
    {TabTag::TabTagCalls, LanguageKey::CommonCalls, "call-start", "calls", ScreenKind::DataList,
     [](R r) { return !r.CallLogContent.empty(); }, nullptr, &Make<CallLogViewController>},
    {TabTag::TabTagNotes, LanguageKey::CommonNotes, "accessories-text-editor", "notes",
     ScreenKind::DataList, [](R r) { return !r.NotesContent.empty(); }, nullptr, &Make<NoteViewController>},
    {TabTag::TabTagCalendar, LanguageKey::CommonCalendar, "x-office-calendar", "calendar",
     ScreenKind::DataList, [](R r) { return !r.CalendarContent.empty(); }, nullptr,
     &Make<CalendarViewController>},
    {TabTag::TabTagPhotos, LanguageKey::CommonPhotos, "image-x-generic", "photos", ScreenKind::PhotoBrowser,
     [](R r) { return !r.Photos.empty(); }},
    {TabTag::TabTagVideos, LanguageKey::CommonVideos, "video-x-generic", "videos", ScreenKind::VideoBrowser,
     [](R r) { return !r.Videos.empty(); }},
    {TabTag::TabTagInternet, LanguageKey::CommonSafari, "web-browser", "safari", ScreenKind::DataList,
     [](R r) { return !r.InternetContent.empty(); }, nullptr, &Make<InternetHistoryViewController>},
    {TabTag::TabTagWhatsApp, LanguageKey::CommonWhatsApp, "user-available", "whatsapp", ScreenKind::DataList,
     [](R r) { return !r.WhatsAppContent.empty(); }, nullptr, &Make<WhatsAppViewController>},
    // The tabs beside the icon bar.
    {TabTag::TabTagDashboard, std::nullopt, "view-grid", "dashboard", ScreenKind::Summary},
    {TabTag::TabTagDeviceInfo, std::nullopt, "phone", "deviceinfo", ScreenKind::DeviceDetails},
    {TabTag::TabTagApps, std::nullopt, "applications-other", "apps", ScreenKind::Applications,
     [](R r) { return !r.ApplicationContent.empty(); }},
    {TabTag::TabTagDictionary, std::nullopt, "accessories-dictionary", "dictionary", ScreenKind::UserDictionary,
     [](R r) { return !r.UserDictContent.empty(); }},
    {TabTag::TabTagMap, std::nullopt, "find-location", "maps", ScreenKind::DataList,
     [](R r) { return !r.MapContent.empty(); }, nullptr, &Make<MapHistoryViewController>},
    {TabTag::TabTagSkype, std::nullopt, "internet-telephony", "skype", ScreenKind::DataList, nullptr, nullptr,
     &Make<SkypeViewController>},
    {TabTag::TabTagIMessage, std::nullopt, "mail-send", "imessage", ScreenKind::DataList,
     [](R r) { return !r.iMessageContent.empty(); }, [](R r) { return &r.DeletediMessageCount; },
     &Make<iMessageViewController>},
    {TabTag::TabTagFaceTime, std::nullopt, "camera-video", "facetime", ScreenKind::DataList,
     [](R r) { return !r.faceTimeContent.empty(); }, [](R r) { return &r.DeletedFaceTimeCount; },
     &Make<FaceTimeViewController>},
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

bool HasRecords(const UiTab& tab, const BrimleyAppDelegate& record) {
    bool deleted = false;
    if (const DataTypeDescriptor* type = DataTypeOfTab(tab.tab); type && type->deletedCount)
        deleted = (record.*(type->deletedCount)).load() >= 1;
    else if (tab.ownDeletedCount)
        deleted = tab.ownDeletedCount(record)->load() >= 1;
    return deleted || (tab.hasExisting && tab.hasExisting(record));
}

#include "app/DataTypes.h"

#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "export/Exporter.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/Note.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "records/Video.h"
#include "records/WhatsApp.h"
#include "services/NotesServices.h"

#include <algorithm>
#include <mutex>

namespace {

using Kind = ExportFile::Kind;

// Runs a query on a connection of its own to one of the backup's databases. None, without
// running it, when the backup lacks the file or it does not open: the type's list then keeps
// what clearing left in it.
template <class Query>
auto ReadLiveRows(const ScanContext& context, const std::string& backupName, Query query)
    -> std::optional<decltype(query(std::declval<DAOs&>()))> {
    const OptString path = context.locate(backupName);
    if (!path) return std::nullopt;
    auto database = std::make_shared<FMDBUtils>(*path);
    if (!database->openDatabase()) return std::nullopt;
    DAOs daos(database, context);
    return query(daos);
}

// ---- Live loaders ----

std::size_t LoadMessages(const ScanContext& context) {
    BrimleyAppDelegate& record = context.sink();
    record.AllSMSContent.clear();
    record.AllDeletedSMS.clear();
    if (auto rows = ReadLiveRows(context, context.databaseName(DatabaseRole::Messages),
                                 [](DAOs& daos) { return daos.GetSMS(); }))
        record.SMSContent.replace(std::move(*rows).value_or(RecordList<SMS>{}));
    return record.SMSContent.size();
}

// Reads one role's rows into the shown list, after emptying the type's "All" lists.
template <class Record, class Query>
std::size_t LoadShown(const ScanContext& context, DatabaseRole role, SharedList<Record>& shown,
                      SharedList<Record>& all, SharedList<Record>& allDeleted, Query query) {
    all.clear();
    allDeleted.clear();
    if (auto rows = ReadLiveRows(context, context.databaseName(role), query))
        shown.replace(std::move(*rows));
    return shown.size();
}

std::size_t LoadContacts(const ScanContext& context) {
    BrimleyAppDelegate& r = context.sink();
    return LoadShown(context, DatabaseRole::AddressBook, r.ContactContent, r.AllContactsContent,
                     r.AllDeletedContacts, [](DAOs& daos) { return daos.GetContacts(); });
}

std::size_t LoadCallHistory(const ScanContext& context) {
    BrimleyAppDelegate& r = context.sink();
    return LoadShown(context, DatabaseRole::CallHistory, r.CallLogContent, r.AllCallLogContent,
                     r.AllDeletedCallLog, [](DAOs& daos) { return daos.GetCallLogs(); });
}

std::size_t LoadWhatsApp(const ScanContext& context) {
    BrimleyAppDelegate& record = context.sink();
    record.AllWhatsAppContent.clear();
    record.AllDeletedWhatsApp.clear();
    if (auto rows = ReadLiveRows(context, context.databaseName(DatabaseRole::WhatsApp),
                                 [](DAOs& daos) { return daos.GetWhatsAppLog(); })) {
        record.WhatsAppContent.replace(*rows);
        // The query leaves the full list to its caller.
        record.AllWhatsAppContent.replace(std::move(*rows));
    }
    return record.WhatsAppContent.size();
}

std::size_t LoadNotes(const ScanContext& context) {
    BrimleyAppDelegate& record = context.sink();
    record.AllNotesContent.clear();
    record.AllDeletedNotes.clear();
    // The note store of iOS 9 and later first, then the notes file of older releases, which
    // an upgraded phone still keeps.
    if (auto rows = ReadLiveRows(context, NotesServices::NotesIOS9SqliteDbName,
                                 [](DAOs& daos) { return daos.GetNotes91(); }))
        record.NotesContent.replace(std::move(*rows));
    if (auto rows = ReadLiveRows(context, context.databaseName(DatabaseRole::Notes),
                                 [](DAOs& daos) { return daos.GetNotes(); }))
        for (auto& note : *rows) record.NotesContent.append(std::move(note));
    return record.NotesContent.size();
}

std::size_t LoadCalendar(const ScanContext& context) {
    BrimleyAppDelegate& r = context.sink();
    return LoadShown(context, DatabaseRole::Calendar, r.CalendarContent, r.AllCalendarContent,
                     r.AllDeletedCalendar, [](DAOs& daos) { return daos.GetCalendar(); });
}

// ---- Clearing ----

void ClearMessages(BrimleyAppDelegate& r) {
    for (auto* list :
         {&r.SMSContent, &r.DeletedSMS, &r.AllSMSContent, &r.AllDeletedSMS, &r.iMessageContent})
        list->clear();
    r.AllChatMessageJoinContent.clear();
    r.AllDeletedChatMessageJoin.clear();
    r.AllChatsContent.clear();
    r.AllDeletedChats.clear();
    r.SMSCount = 0;
}

void ClearContacts(BrimleyAppDelegate& r) {
    for (auto* list :
         {&r.ContactContent, &r.DeletedContact, &r.AllContactsContent, &r.AllDeletedContacts})
        list->clear();
    r.ContactCount = 0;
}

void ClearCalls(BrimleyAppDelegate& r) {
    for (auto* list : {&r.CallLogContent, &r.DeletedCallLog, &r.AllCallLogContent,
                       &r.AllDeletedCallLog, &r.faceTimeContent})
        list->clear();
    r.CallLogCount = 0;
}

void ClearWhatsApp(BrimleyAppDelegate& r) {
    for (auto* list :
         {&r.WhatsAppContent, &r.DeletedWhatsApp, &r.AllWhatsAppContent, &r.AllDeletedWhatsApp})
        list->clear();
    r.WhatsAppCount = 0;
}

void ClearNotes(BrimleyAppDelegate& r) {
    for (auto* list : {&r.NotesContent, &r.DeletedNotes, &r.AllNotesContent, &r.AllDeletedNotes})
        list->clear();
    r.NoteCount = 0;
}

void ClearCalendar(BrimleyAppDelegate& r) {
    for (auto* list :
         {&r.CalendarContent, &r.DeletedCalendar, &r.AllCalendarContent, &r.AllDeletedCalendar})
        list->clear();
    r.CalendarCount = 0;
}

// The photo and video lists change only while photosLocked is held, the grid's while
// dcimLocked is held too.
void ClearPhotos(BrimleyAppDelegate& r) {
    std::lock_guard photos(r.photosLocked);
    r.Photos.clear();
    {
        std::lock_guard grid(r.dcimLocked);
        r.AllPhotos.clear();
    }
    r.DeletedPhotos.clear();
    r.AllPhotosContent.clear();
    r.AllDeletedPhotos.clear();
    r.Audios.clear();
    r.DeletedPhotosCount = 0;
    r.PhotosCount = 0;
}

void ClearVideos(BrimleyAppDelegate& r) {
    std::lock_guard photos(r.photosLocked);
    r._AllVideos.clear();
    r.Videos.clear();
    r.DeletedVideos.clear();
    r.AllVideosContent.clear();
    r.AllDeletedVideos.clear();
    r.DeletedVideosCount = 0;
    r.VideosCount = 0;
}

void ClearInternet(BrimleyAppDelegate& r) {
    for (auto* list : {&r.InternetContent, &r.AllInternetContent, &r.AllDeletedInternet})
        list->clear();
    r.InternetCount = 0;
}

void ClearMap(BrimleyAppDelegate& r) {
    r.MapContent.clear();
}

void ClearUserDictionary(BrimleyAppDelegate& r) {
    r.UserDictContent.clear();
}

ExportFile Records(TabTag tab, const char* folderName, const char* proposedName,
                   ExportFile::Write write, bool tickable) {
    return {ToCode(tab), Kind::Records, folderName, proposedName, write, tickable};
}

ExportFile Media(TabTag tab, Kind kind, const char* name) {
    return {ToCode(tab), kind, name, "", nullptr, kind != Kind::DeviceInfo};
}

using B = BrimleyAppDelegate;

DataTypeDescriptor Entry(TabTag tab, std::optional<DataType> dataType,
                         std::optional<ServiceIndex> service, const char* name,
                         std::vector<std::string_view> commandLineNames) {
    DataTypeDescriptor d{};
    d.tab = tab;
    d.dataType = dataType;
    d.service = service;
    d.name = name;
    d.commandLineNames = std::move(commandLineNames);
    return d;
}

const std::vector<DataTypeDescriptor>& Table() {
    static const std::vector<DataTypeDescriptor> table = [] {
        std::vector<DataTypeDescriptor> t;
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagSMS, DataType::DataTypeSMS, ServiceIndex::ServiceIndexMessages,
                      "messages", {"messages", "sms"});
            d.loadExisting = &LoadMessages;
            d.statusName = "SMS";
            d.recoveryStatus = "Recovering deleted messages...";
            d.countName = "SMS";
            d.redrawAfterLoad = true;
            d.waitsForContacts = true;
            d.reportCaption = "Messages";
            d.reportRow = 0;
            d.deletedCount = &B::DeletedSMSCount;
            d.existingCount = &B::SMSCount;
            d.clear = &ClearMessages;
            d.exportFile = Records(d.tab, "SMS", "SMS", &Exporter::ExportSMS, true);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagContacts, DataType::DataTypeContacts,
                      ServiceIndex::ServiceIndexContacts, "contacts", {"contacts", "addressbook"});
            d.loadExisting = &LoadContacts;
            d.statusName = "Contacts";
            d.recoveryStatus = "Recovering deleted contacts...";
            d.countName = "Contacts";
            d.reportCaption = "Contacts";
            d.reportRow = 2;
            d.deletedCount = &B::DeletedContactCount;
            d.existingCount = &B::ContactCount;
            d.clear = &ClearContacts;
            d.exportFile =
                Records(d.tab, "Addressbook", "Addressbook", &Exporter::ExportContact, true);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagCalls, DataType::DataTypeCallHistory,
                      ServiceIndex::ServiceIndexCallHistory, "call history", {"calls", "callhistory"});
            d.loadExisting = &LoadCallHistory;
            d.statusName = "Call History";
            d.recoveryStatus = "Recovering deleted calls...";
            d.countName = "CallHistory";
            d.waitsForContacts = true;
            d.reportCaption = "Calls";
            d.reportRow = 3;
            d.deletedCount = &B::DeletedCallLogCount;
            d.existingCount = &B::CallLogCount;
            d.clear = &ClearCalls;
            d.exportFile =
                Records(d.tab, "Call history", "Call history", &Exporter::ExportCallLog, true);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagWhatsApp, DataType::DataTypeWhatsApp,
                      ServiceIndex::ServiceIndexWhatsApp, "WhatsApp messages", {"whatsapp"});
            d.loadExisting = &LoadWhatsApp;
            d.statusName = "WhatsApp";
            d.recoveryStatus = "Recovering deleted WhatsApp messages...";
            d.countName = "WhatsApp";
            d.reportCaption = "WhatsApp";
            d.reportRow = 1;
            d.deletedCount = &B::DeletedWhatsAppCount;
            d.existingCount = &B::WhatsAppCount;
            d.clear = &ClearWhatsApp;
            d.exportFile = Records(d.tab, "WhatsApp", "", &Exporter::ExportWhatsApp, true);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d = Entry(TabTag::TabTagNotes, DataType::DataTypeNotes,
                                         ServiceIndex::ServiceIndexNotes, "notes", {"notes"});
            d.loadExisting = &LoadNotes;
            d.statusName = "Notes";
            d.recoveryStatus = "Recovering deleted notes...";
            d.countName = "Notes";
            d.redrawAfterLoad = true;
            d.reportCaption = "Notes";
            d.reportRow = 5;
            d.deletedCount = &B::DeletedNoteCount;
            d.existingCount = &B::NoteCount;
            d.clear = &ClearNotes;
            d.exportFile = Records(d.tab, "Notes", "Notes", &Exporter::ExportNotes, true);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagCalendar, DataType::DataTypeCalendar,
                      ServiceIndex::ServiceIndexCalendar, "calendar events", {"calendar"});
            d.loadExisting = &LoadCalendar;
            d.statusName = "Calendar";
            d.recoveryStatus = "Recovering deleted calendar events...";
            d.countName = "Calendar";
            d.reportCaption = "Calendar";
            d.reportRow = 4;
            d.deletedCount = &B::DeletedCalendarCount;
            d.existingCount = &B::CalendarCount;
            d.clear = &ClearCalendar;
            d.exportFile = Records(d.tab, "Calendar", "Calendar", &Exporter::ExportCalendar, true);
            t.push_back(std::move(d));
        }
        {
            // Photos and videos are one choice and one service; they are shown, counted and
            // exported apart.
            DataTypeDescriptor d =
                Entry(TabTag::TabTagPhotos, DataType::DataTypePhotosVideos,
                      ServiceIndex::ServiceIndexPhotosVideos, "photos and videos", {"photos"});
            d.recoveryStatus = "Recovering Photos & Videos...";
            d.updatesMainViewAfterRecovery = true;
            d.reportCaption = "Photos";
            d.reportRow = 6;
            d.deletedCount = &B::DeletedPhotosCount;
            d.existingCount = &B::PhotosCount;
            d.clear = &ClearPhotos;
            d.exportFile = Media(d.tab, Kind::Photos, "Photos");
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d = Entry(TabTag::TabTagVideos, DataType::DataTypePhotosVideos,
                                         std::nullopt, "videos", {});
            d.reportCaption = "Videos";
            d.reportRow = 7;
            d.deletedCount = &B::DeletedVideosCount;
            d.existingCount = &B::VideosCount;
            d.clear = &ClearVideos;
            d.exportFile = Media(d.tab, Kind::Videos, "Videos");
            t.push_back(std::move(d));
        }
        {
            // Browser history is read, never carved: its deleted count stays 0.
            DataTypeDescriptor d =
                Entry(TabTag::TabTagInternet, DataType::DataTypeInternetHistory,
                      ServiceIndex::ServiceIndexInternetHistory, "internet history", {"internet"});
            d.recoveryStatus = "Recovering Internet History";
            d.updatesMainViewAfterRecovery = true;
            d.refreshesTabsAfterRecovery = true;
            d.reportCaption = "Safari";
            d.reportRow = 8;
            d.deletedCount = &B::DeletedInternetCount;
            d.existingCount = &B::InternetCount;
            d.clear = &ClearInternet;
            d.exportFile = Records(d.tab, "Internet history", "Internet History",
                                   &Exporter::ExportInternetData, true);
            t.push_back(std::move(d));
        }
        // Shown and exported, filled by no scan.
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagApps, std::nullopt, std::nullopt, "applications", {});
            d.exportFile = Records(d.tab, "Apps", "Apps", &Exporter::ExportApplicationData, false);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagDictionary, std::nullopt, std::nullopt, "user dictionary", {});
            d.clear = &ClearUserDictionary;
            d.exportFile = Records(d.tab, "User dictionary", "User Dictionary",
                                   &Exporter::KeyboardDictionary, false);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagMap, std::nullopt, std::nullopt, "map searches", {});
            d.clear = &ClearMap;
            d.exportFile = Records(d.tab, "Map", "Map", &Exporter::ExportMapHistory, false);
            t.push_back(std::move(d));
        }
        {
            DataTypeDescriptor d =
                Entry(TabTag::TabTagDeviceInfo, std::nullopt, std::nullopt, "device details", {});
            d.exportFile = Media(d.tab, Kind::DeviceInfo, "");
            t.push_back(std::move(d));
        }
        return t;
    }();
    return table;
}

}  // namespace

std::span<const DataTypeDescriptor> DataTypes() {
    return Table();
}

const DataTypeDescriptor* DataTypeOfTab(TabTag tab) {
    for (const auto& d : DataTypes())
        if (d.tab == tab) return &d;
    return nullptr;
}

const DataTypeDescriptor* DataTypeOfCommandLineName(std::string_view name) {
    for (const auto& d : DataTypes())
        for (std::string_view word : d.commandLineNames)
            if (word == name) return &d;
    return nullptr;
}

const DataTypeDescriptor* DataTypeOfService(ServiceIndex index) {
    for (const auto& d : DataTypes())
        if (d.service == index) return &d;
    return nullptr;
}

std::optional<ServiceIndex> ServiceIndexForDataType(DataType type) {
    for (const auto& d : DataTypes())
        if (d.dataType == type && d.service) return d.service;
    return std::nullopt;
}

DataType DataTypeForServiceIndex(ServiceIndex index) {
    const DataTypeDescriptor* d = DataTypeOfService(index);
    return d && d->dataType ? *d->dataType : DataType::DataTypeAll;
}

TabTag ButtonTypeFor(DataType type) {
    if (type != DataType::DataTypeAll)
        for (const auto& d : DataTypes())
            if (d.dataType == type) return d.tab;
    return TabTag::TabTagPhotos;
}

std::vector<ExportFile> ExportFiles() {
    std::vector<const DataTypeDescriptor*> byTab;
    for (const auto& d : DataTypes()) byTab.push_back(&d);
    std::sort(byTab.begin(), byTab.end(),
              [](const auto* a, const auto* b) { return ToCode(a->tab) < ToCode(b->tab); });
    std::vector<ExportFile> files;
    for (const auto* d : byTab) files.push_back(d->exportFile);
    return files;
}

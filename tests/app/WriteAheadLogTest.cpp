// Databases whose newest rows sit only in their write-ahead log, as a phone's backup keeps them
// between two checkpoints: every data type lists the rows of the file and of the log, the
// carvers see the pages as the log left them, and the backup folder is left as it was.

#include "app/BackupDatabaseTable.h"
#include "app/DataTypes.h"
#include "carving/SqLiteTableSignatures.h"
#include "database/ScanDatabaseFiles.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Calendar.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "records/InternetHistory.h"
#include "records/Note.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "services/DcimService.h"
#include "services/InternetHistoryService.h"
#include "services/MessageServices.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"
#include "support/WriteAheadLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::LogName;
using testsupport::Row;
using testsupport::TempDir;

constexpr double kAugust2016 = 492000000;  // Apple seconds

// Every file of a folder (recursively) with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), folder).string()] =
            std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

// A backup of an iOS 9 phone and a record pointing at it, as the scan worker prepares one.
struct LoggedBackup {
    explicit LoggedBackup(BackupLayout layout = BackupLayout::Flat)
        : backup(dir / "backup", layout) {
        fs::create_directories(dir / "backup");
        auto device = std::make_shared<DeviceInfo>();
        device->setProductVersion("9.3.5");
        device->applyVersionNumbers("9.3.5");
        record.deviceInfo.set(device);
        record.BACKUP_DIRECTORY.set((dir / "backup").string());
        record.backupFiles.set(std::make_shared<ScanDatabaseFiles>((dir / "work").string()));
    }
    // The context, once the databases are in place (the names depend on the files there).
    ScanContext context() {
        setupDataBase(record);
        return testsupport::ContextFor(record);
    }

    TempDir dir;
    BackupBuilder backup;
    BrimleyAppDelegate record;
};

// One data type's database: how a row is written, how the listed rows are read back.
struct TypeCase {
    const char* name;
    const char* domain;
    const char* relativePath;
    const char* schema;
    LogName logName;
    BackupLayout layout;
    // Writes the row named `key`; n counts from 1.
    std::function<void(FixtureDatabase&, int n, const std::string& key)> write;
    // Lists the type's existing rows through the scan's own path and gives their keys.
    std::function<std::set<std::string>(const ScanContext&)> read;
};

template <class T>
std::set<std::string> Keys(const SharedList<T>& list, OptString (*key)(const T&)) {
    std::set<std::string> keys;
    for (const auto& item : list.snapshot()) keys.insert(key(*item).value_or("<none>"));
    return keys;
}

std::size_t LoadLive(const char* type, const ScanContext& context) {
    for (const auto& d : DataTypes())
        if (std::string(d.name) == type && d.loadExisting) return d.loadExisting(context);
    throw std::logic_error(std::string("no live step for ") + type);
}

std::vector<TypeCase> Cases() {
    return {
        {"messages", "HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql", LogName::DevicePath,
         BackupLayout::Sharded,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("message", {{"guid", "GUID-" + std::to_string(n)},
                                   {"text", key},
                                   {"date", static_cast<std::int64_t>(kAugust2016) + n},
                                   {"is_from_me", 1},
                                   {"error", 0}});
         },
         [](const ScanContext& c) {
             LoadLive("messages", c);
             return Keys<SMS>(c.sink().SMSContent, [](const SMS& s) { return s.Message(); });
         }},
        {"contacts", "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", "addressbook.sql",
         LogName::DatabaseNameSuffix, BackupLayout::Flat,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("ABPerson", {{"First", key},
                                    {"Last", "Doe"},
                                    {"Kind", 0},
                                    {"StoreID", 0},
                                    {"guid", "PERSON-" + std::to_string(n)}});
         },
         [](const ScanContext& c) {
             LoadLive("contacts", c);
             return Keys<Contact>(c.sink().ContactContent,
                                  [](const Contact& p) { return p.FirstName(); });
         }},
        {"call history", "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
         "callhistory-storedata-ios8.sql", LogName::DevicePath, BackupLayout::Flat,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("ZCALLRECORD", {{"Z_PK", n},
                                       {"Z_ENT", 2},
                                       {"Z_OPT", 1},
                                       {"ZORIGINATED", 1},
                                       {"ZDATE", kAugust2016 + n},
                                       {"ZDURATION", 12.0},
                                       {"ZADDRESS", key}});
         },
         [](const ScanContext& c) {
             LoadLive("call history", c);
             return Keys<CallLog>(c.sink().CallLogContent,
                                  [](const CallLog& l) { return l.Address(); });
         }},
        {"notes of iOS 9", "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
         "notestore-ios9.sql", LogName::DevicePath, BackupLayout::Sharded,
         [](FixtureDatabase& db, int n, const std::string& key) {
             if (n == 1)
                 db.insert("ZICCLOUDSYNCINGOBJECT",
                           {{"Z_PK", 1}, {"Z_ENT", 12}, {"Z_OPT", 1}, {"ZTITLE2", "Notes"}});
             const std::int64_t pk = 10 + n;
             db.insert("ZICNOTEDATA", {{"Z_PK", pk}, {"Z_ENT", 7}, {"Z_OPT", 1}, {"ZNOTE", pk}});
             db.insert("ZICCLOUDSYNCINGOBJECT", {{"Z_PK", pk},
                                                 {"Z_ENT", 9},
                                                 {"Z_OPT", 1},
                                                 {"ZNOTEDATA", pk},
                                                 {"ZCREATIONDATE", kAugust2016 + n},
                                                 {"ZTITLE1", key},
                                                 {"ZSNIPPET", "text"}});
             db.insert("Z_12NOTES", {{"Z_12FOLDERS", 1}, {"Z_9NOTES", pk}});
         },
         [](const ScanContext& c) {
             LoadLive("notes", c);
             return Keys<Note>(c.sink().NotesContent, [](const Note& n) { return n.Title(); });
         }},
        {"notes of iOS 8", "HomeDomain", "Library/Notes/notes.sqlite", "notes-ios7.sql",
         LogName::DatabaseNameSuffix, BackupLayout::Sharded,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("ZNOTE", {{"Z_PK", n},
                                 {"Z_ENT", 2},
                                 {"Z_OPT", 1},
                                 {"ZDELETEDFLAG", 0},
                                 {"ZBODY", n},
                                 {"ZCREATIONDATE", kAugust2016 + n},
                                 {"ZTITLE", key},
                                 {"ZGUID", "NOTE-" + std::to_string(n)}});
             db.insert("ZNOTEBODY", {{"Z_PK", n},
                                     {"Z_ENT", 3},
                                     {"Z_OPT", 1},
                                     {"ZOWNER", n},
                                     {"ZCONTENT", "<div>body</div>"}});
         },
         [](const ScanContext& c) {
             LoadLive("notes", c);
             return Keys<Note>(c.sink().NotesContent, [](const Note& n) { return n.Title(); });
         }},
        {"calendar", "HomeDomain", "Library/Calendar/Calendar.sqlitedb", "calendar-ios9.sql",
         LogName::DevicePath, BackupLayout::Flat,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("CalendarItem", {{"summary", key},
                                        {"start_date", kAugust2016 + 3600.0 * n},
                                        {"end_date", kAugust2016 + 3600.0 * (n + 1)},
                                        {"unique_identifier", "EVENT-" + std::to_string(n)}});
         },
         [](const ScanContext& c) {
             LoadLive("calendar events", c);
             return Keys<Calendar>(c.sink().CalendarContent,
                                   [](const Calendar& e) { return e.Summary(); });
         }},
        {"WhatsApp", "AppDomain-net.whatsapp.WhatsApp", "Documents/ChatStorage.sqlite",
         "whatsapp-chatstorage.sql", LogName::DevicePath, BackupLayout::Flat,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("ZWAMESSAGE", {{"Z_PK", n},
                                      {"Z_ENT", 9},
                                      {"Z_OPT", 1},
                                      {"ZMESSAGEDATE", kAugust2016 + n},
                                      {"ZTOJID", "4915112345678@s.whatsapp.net"},
                                      {"ZTEXT", key}});
         },
         [](const ScanContext& c) {
             LoadLive("WhatsApp messages", c);
             return Keys<WhatsApp>(c.sink().WhatsAppContent,
                                   [](const WhatsApp& m) { return m.zText(); });
         }},
        {"internet history", "AppDomain-com.apple.mobilesafari", "Library/Safari/History.db",
         "safari-history.sql", LogName::DevicePath, BackupLayout::Sharded,
         [](FixtureDatabase& db, int n, const std::string& key) {
             const std::int64_t item = db.insert("history_items",
                                                 {{"url", key},
                                                  {"visit_count", 1},
                                                  {"daily_visit_counts", Bytes{}},
                                                  {"should_recompute_derived_visit_counts", 0}});
             db.insert("history_visits",
                       {{"history_item", item}, {"visit_time", kAugust2016 + n}, {"title", "t"}});
         },
         [](const ScanContext& c) {
             InternetHistoryService().RecoverFromIOSBackup(c);
             return Keys<InternetHistory>(c.sink().InternetContent,
                                          [](const InternetHistory& h) { return h.Url(); });
         }},
        {"photos", "CameraRollDomain", "Media/PhotoData/Photos.sqlite", "photos.sql",
         LogName::DatabaseNameSuffix, BackupLayout::Flat,
         [](FixtureDatabase& db, int n, const std::string& key) {
             db.insert("ZGENERICASSET", {{"Z_PK", n},
                                         {"ZDIRECTORY", "DCIM/100APPLE"},
                                         {"ZFILENAME", key},
                                         {"ZTRASHEDSTATE", 0}});
         },
         [](const ScanContext& c) {
             DcimService().RecoverFromIOSBackup(c);
             return Keys<Photo>(c.sink().Photos, [](const Photo& p) { return p.PhotoName(); });
         }},
    };
}

}  // namespace

// For every data type: one row in the database file, two more only in its log. The scan lists
// all three, and reads the backup without writing to it.
TEST(WriteAheadLogTest, EveryDataTypeListsTheRowsOfItsLog) {
    for (const TypeCase& type : Cases()) {
        SCOPED_TRACE(type.name);
        LoggedBackup scan(type.layout);
        const std::string photo = std::string(type.name) == "photos" ? ".JPG" : "";
        const std::string inFile = "in the file" + photo;
        const std::set<std::string> all = {inFile, "first in the log" + photo,
                                           "second in the log" + photo};

        TempDir scratch;
        auto db = FixtureDatabase::FromSchema(scratch / "db", type.schema);
        type.write(db, 1, inFile);
        testsupport::KeepChangesInLog(db);
        type.write(db, 2, "first in the log" + photo);
        type.write(db, 3, "second in the log" + photo);
        testsupport::StoreWithLog(db, scan.backup, type.domain, type.relativePath, type.logName);
        db.close();
        scan.backup.writePlists();
        const auto before = Snapshot(scan.dir / "backup");

        const ScanContext context = scan.context();
        EXPECT_EQ(type.read(context), all);
        EXPECT_EQ(Snapshot(scan.dir / "backup"), before);
    }
}

// Without a log, or with an empty one, a database is read where the backup keeps it; with one,
// from a private copy below the working folder, made once and gone with the scan's files.
TEST(WriteAheadLogTest, OnlyDatabasesWithALogAreCopied) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto plain = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
    plain.close();
    const std::string sms = BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db");
    const std::string plainPath = backup.pathFor("HomeDomain", "Library/SMS/sms.db").string();

    auto files = std::make_shared<ScanDatabaseFiles>((dir / "work").string());
    EXPECT_EQ(files->readablePath(dir.path().string(), sms, plainPath), plainPath);
    backup.addFile("HomeDomain", "Library/SMS/sms.db-wal", Bytes{});
    EXPECT_EQ(files->readablePath(dir.path().string(), sms, plainPath), plainPath);
    EXPECT_TRUE(files->copiesFolder().empty());

    TempDir scratch;
    auto db = FixtureDatabase::FromSchema(scratch / "db", "calendar-ios9.sql");
    testsupport::KeepChangesInLog(db);
    db.insert("CalendarItem", {{"summary", "only in the log"}});
    const fs::path calendar = testsupport::StoreWithLog(db, backup, "HomeDomain",
                                                        "Library/Calendar/Calendar.sqlitedb");
    const std::string name = calendar.filename().string();
    const std::string copy = files->readablePath(dir.path().string(), name, calendar.string());
    ASSERT_NE(copy, calendar.string());
    EXPECT_EQ(fs::path(copy).parent_path().string(), files->copiesFolder());
    EXPECT_EQ(fs::path(copy).parent_path().parent_path(), dir / "work");
    EXPECT_EQ(fs::status(files->copiesFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
    // The log is in the copy itself: nothing lies beside it.
    EXPECT_FALSE(fs::exists(copy + "-wal"));
    EXPECT_EQ(files->readablePath(dir.path().string(), name, calendar.string()), copy);

    const std::string folder = files->copiesFolder();
    files.reset();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(calendar));
}

// A log that is not one (or belongs to no database) leaves the database readable as it is.
TEST(WriteAheadLogTest, ABrokenLogLeavesTheDatabaseAsItIs) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
    db.close();
    const fs::path sms = backup.pathFor("HomeDomain", "Library/SMS/sms.db");
    backup.addFile("HomeDomain", "Library/SMS/sms.db-wal", Bytes(5000, 0xA5));
    ScanDatabaseFiles files((dir / "work").string());
    const std::string path =
        files.readablePath(dir.path().string(), sms.filename().string(), sms.string());
    EXPECT_TRUE(fs::is_regular_file(path));
}

// The carvers read the pages as the log left them: a message deleted after the last
// checkpoint comes back as deleted, and one written again in the log is not listed as deleted.
TEST(WriteAheadLogTest, CarvingSeesThePagesAsTheLogLeftThem) {
    LoggedBackup scan;
    auto signatures = std::make_shared<SqLiteTableSignatures>();
    ASSERT_TRUE(signatures->LoadSignaturesFile(SqLiteTableSignatures::ResourcePath()));
    scan.record.recoverySignatures.set(signatures);

    TempDir scratch;
    auto db = FixtureDatabase::FromSchema(scratch / "db", "sms-ios9.sql");
    db.exec("PRAGMA secure_delete = OFF");
    const std::int64_t handle =
        db.insert("handle", {{"id", "+4915112345678"}, {"country", "de"}, {"service", "SMS"}});
    const auto message = [&](const std::string& guid, const std::string& text) {
        return db.insert("message", {{"guid", guid},
                                     {"text", text},
                                     {"handle_id", handle},
                                     {"service", "SMS"},
                                     {"account", "e:me@example.com"},
                                     {"account_guid", "5D1E0B2C-0000-4000-8000-00000000A1B2"},
                                     {"date", static_cast<std::int64_t>(kAugust2016)},
                                     {"date_read", 0},
                                     {"date_delivered", static_cast<std::int64_t>(kAugust2016) + 5},
                                     {"is_from_me", 1},
                                     {"is_delivered", 1},
                                     {"is_finished", 1},
                                     {"is_read", 0},
                                     {"is_sent", 1}});
    };
    for (int i = 0; i < 20; ++i)
        message("7A5B1C2D-0000-4000-8000-0000000000" + std::to_string(10 + i),
                "Kept all along, in the file (" + std::to_string(i) + ")");
    const std::int64_t goesInLog = message("7A5B1C2D-0000-4000-8000-000000000001",
                                           "Deleted after the last checkpoint, on the phone");
    const std::int64_t comesBack = message("7A5B1C2D-0000-4000-8000-000000000002",
                                           "Deleted, then written again by the phone");
    db.deleteRow("message", comesBack);
    testsupport::KeepChangesInLog(db);
    db.deleteRow("message", goesInLog);
    message("7A5B1C2D-0000-4000-8000-000000000002", "Deleted, then written again by the phone");
    testsupport::StoreWithLog(db, scan.backup, "HomeDomain", "Library/SMS/sms.db");
    db.close();

    const ScanContext context = scan.context();
    LoadLive("messages", context);
    messageServicesIOS7_8().RecoverFromIOSBackup(context);

    const auto live = Keys<SMS>(scan.record.SMSContent, [](const SMS& s) { return s.Message(); });
    EXPECT_EQ(live.size(), 21u);
    EXPECT_EQ(live.count("Deleted, then written again by the phone"), 1u);
    EXPECT_EQ(live.count("Deleted after the last checkpoint, on the phone"), 0u);
    EXPECT_EQ(Keys<SMS>(scan.record.DeletedSMS, [](const SMS& s) { return s.Message(); }),
              (std::set<std::string>{"Deleted after the last checkpoint, on the phone"}));
}

// Runs the headless scanner itself on generated backups and checks what it reports and exports
// against the rows the backup was built with.

#include "carving/BTreePage.h"
#include "common/AppPaths.h"
#include "carving/PagedFile.h"
#include "carving/SQLiteHeader.h"
#include "damage-survey/DamagedFiles.h"
#include "database/DatabaseHealth.h"
#include "demo-backup/DemoBackup.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"
#include "support/WriteAheadLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

#ifndef TORVANE_SCAN_BINARY
#error "TORVANE_SCAN_BINARY names the torvane-scan program"
#endif

namespace {

namespace fs = std::filesystem;
using damaged::CellsOfRows;
using damaged::ReadCsv;
using damaged::SqlStrings;
using testsupport::TempDir;

struct Finished {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs torvane-scan with its working files below `cache`; `onLine` sees each line of its
// standard output as it comes, with the child's process id.
// What a test changes in the scanner's surroundings.
struct ChildSettings {
    // Further environment entries ("NAME=value").
    std::vector<std::string> environment;
    // The largest file it may write (RLIMIT_FSIZE), as on a full disk; a write beyond fails.
    std::optional<rlim_t> fileSizeLimit;
};

Finished RunScanner(const std::vector<std::string>& arguments, const fs::path& cache,
                    const std::function<void(const std::string&, pid_t)>& onLine = {},
                    const ChildSettings& child = {}) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const fs::path errFile = cache / "stderr.txt";
    fs::create_directories(cache);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args = {TORVANE_SCAN_BINARY};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Settings and crash reports stay below `cache` too, and no usage event goes out.
    std::vector<std::string> env = {"XDG_CACHE_HOME=" + cache.string(),
                                    "XDG_CONFIG_HOME=" + (cache / "config").string(),
                                    "XDG_STATE_HOME=" + (cache / "state").string(),
                                    "TORVANE_NO_ANALYTICS=1"};
    env.insert(env.end(), child.environment.begin(), child.environment.end());
    // A write past the file size limit then fails with EFBIG instead of ending the program.
    if (child.fileSizeLimit) ::signal(SIGXFSZ, SIG_IGN);
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("XDG_CACHE_HOME=", 0) != 0 && entry.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
            entry.rfind("XDG_STATE_HOME=", 0) != 0 && entry.rfind("TORVANE_NO_ANALYTICS=", 0) != 0)
            env.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, TORVANE_SCAN_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0 && child.fileSizeLimit) {
        // Set before the scanner is past its start-up, long before it copies anything.
        const struct rlimit limit {*child.fileSizeLimit, *child.fileSizeLimit};
        ::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr);
    }
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + std::string(TORVANE_SCAN_BINARY));
    }

    Finished result;
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.out.append(buffer, static_cast<std::size_t>(n));
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            if (onLine) onLine(pending.substr(0, end), pid);
            pending.erase(0, end + 1);
        }
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream err(errFile);
    result.err.assign(std::istreambuf_iterator<char>(err), {});
    return result;
}

// The report's two numbers of one row ("Messages   42   118": deleted, existing), or a row of
// a kind the scan did not look for ("Photos   not scanned").
struct ReportRow {
    int deleted = -1;
    int existing = -1;
    bool notScanned = false;
};

std::map<std::string, ReportRow> ReportRows(const std::string& out) {
    std::map<std::string, ReportRow> rows;
    const auto start = out.find("Data found");
    if (start == std::string::npos) return rows;
    std::istringstream lines(out.substr(start));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string caption;
        ReportRow row;
        if (!(words >> caption)) break;
        if (line.find("not scanned") != std::string::npos) {
            row.notScanned = true;
        } else if (!(words >> row.deleted >> row.existing)) {
            break;
        }
        rows[caption] = row;
    }
    return rows;
}

// The one dated folder the export made.
fs::path ExportFolder(const fs::path& location) {
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(location))
        if (entry.is_directory()) folders.push_back(entry.path());
    if (folders.size() != 1) throw std::runtime_error("expected one export folder");
    return folders.front();
}

struct TypeFile {
    const char* reportRow;
    const char* file;
    const std::vector<demo::DemoRow>* rows;
    // The text by which a record of the file is known.
    std::function<std::string(const std::vector<std::string>&)> key;
    // Whether deleted rows of this type come back.
    bool carved;
};

std::function<std::string(const std::vector<std::string>&)> Column(std::size_t column) {
    return [column](const std::vector<std::string>& r) {
        return column < r.size() ? r[column] : std::string("<missing column>");
    };
}

// Checks one data type's file: the existing part lists exactly the live rows; what follows
// lists only rows that were deleted, never a live one, as many as the report says.
void ExpectFileMatchesRows(const fs::path& folder, const TypeFile& type, const ReportRow& counts,
                           std::size_t minimumDeleted) {
    SCOPED_TRACE(type.file);
    std::set<std::string> live, deleted;
    for (const auto& row : *type.rows) (row.deleted ? deleted : live).insert(row.key);
    const auto records = ReadCsv(folder / type.file);
    ASSERT_EQ(records.size(), static_cast<std::size_t>(counts.existing + counts.deleted));
    std::multiset<std::string> existingShown;
    std::set<std::string> deletedShown;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string key = type.key(records[i]);
        if (i < static_cast<std::size_t>(counts.existing)) {
            existingShown.insert(key);
        } else {
            EXPECT_EQ(live.count(key), 0u) << "live row listed as deleted: " << key;
            EXPECT_EQ(deleted.count(key), 1u) << "unknown deleted row: " << key;
            deletedShown.insert(key);
        }
    }
    EXPECT_EQ(existingShown, std::multiset<std::string>(live.begin(), live.end()));
    EXPECT_GE(deletedShown.size(), minimumDeleted);
    if (type.carved) {
        // Deleted rows come back once each.
        EXPECT_EQ(deletedShown.size(), static_cast<std::size_t>(counts.deleted));
    }
}

class EndToEndScanTest : public ::testing::Test {
protected:
    TempDir dir;
};

}  // namespace

// Every data type of a generated backup: the report and the exported files hold each live row
// once as existing, and the deleted rows the carvers find, never a live one.
TEST_F(EndToEndScanTest, ScanAndExportEveryDataType) {
    const auto contents = demo::WriteDemoBackup(dir / "backup");
    const auto run = RunScanner({(dir / "backup").string(), "--export", (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Scan completed"), std::string::npos);
    EXPECT_NE(run.out.find("Scan report - Demo iPhone"), std::string::npos);
    EXPECT_NE(run.out.find("Recovering deleted data. Please wait..."), std::string::npos);
    const auto report = ReportRows(run.out);
    ASSERT_EQ(report.size(), 9u) << run.out;

    const fs::path folder = ExportFolder(dir / "export");
    EXPECT_EQ(folder.filename().string().rfind("Demo iPhone - ", 0), 0u);
    const auto contactKey = [](const std::vector<std::string>& r) {
        return r.size() > 4 ? r[2] + " " + r[4] : std::string("<missing column>");
    };
    const TypeFile types[] = {
        {"Messages", "SMS.csv", &contents.messages, Column(2), true},
        {"Contacts", "Addressbook.csv", &contents.contacts, contactKey, true},
        {"Calls", "Call history.csv", &contents.calls, Column(3), true},
        {"Notes", "Notes.csv", &contents.notes, Column(2), false},
        {"Calendar", "Calendar.csv", &contents.events, Column(1), true},
        {"WhatsApp", "WhatsApp.csv", &contents.whatsAppMessages, Column(2), true},
        {"Safari", "Internet history.csv", &contents.visits, Column(1), false},
    };
    for (const TypeFile& type : types) {
        const bool hasDeleted = std::any_of(type.rows->begin(), type.rows->end(),
                                            [](const demo::DemoRow& r) { return r.deleted; });
        ExpectFileMatchesRows(folder, type, report.at(type.reportRow), hasDeleted ? 3 : 0);
    }

    // Photos and the video, copied out of the backup, and the device's information file.
    std::size_t photos = 0, videos = 0;
    for (const auto& entry : fs::directory_iterator(folder / "Photos"))
        photos += entry.is_regular_file();
    for (const auto& entry : fs::directory_iterator(folder / "Videos"))
        videos += entry.is_regular_file();
    EXPECT_GE(photos, static_cast<std::size_t>(contents.photos));
    EXPECT_GE(videos, 1u);
    EXPECT_EQ(photos,
              static_cast<std::size_t>(report.at("Photos").existing + report.at("Photos").deleted));
    const auto info = ReadCsv(folder / "Demo iPhone_info.csv");
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info[0], (std::vector<std::string>{"Device Name", "Demo iPhone"}));
    // The private working folder goes when the program ends.
    EXPECT_FALSE(fs::exists(dir / "cache" / "torvane" / "work") &&
                 !fs::is_empty(dir / "cache" / "torvane" / "work"));
}

// The names the screens give WhatsApp partners and unnamed calls are written by the scan
// itself, so a headless export, which opens no screen, carries them too.
TEST_F(EndToEndScanTest, AHeadlessExportCarriesTheNamesTheScreensShow) {
    const auto contents = demo::WriteDemoBackup(dir / "backup");
    const auto run = RunScanner({(dir / "backup").string(), "--fast", "--export", (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    const auto report = ReportRows(run.out);
    const fs::path folder = ExportFolder(dir / "export");

    // WhatsApp.csv: number, time, text, phone, partner name. Every live message is named after
    // its chat partner in the chat database; no message is left without a name.
    const auto messages = ReadCsv(folder / "WhatsApp.csv");
    const auto existing = static_cast<std::size_t>(report.at("WhatsApp").existing);
    ASSERT_GT(existing, 0u);
    ASSERT_GE(messages.size(), existing);
    std::set<std::string> partners;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        ASSERT_GT(messages[i].size(), 4u);
        EXPECT_FALSE(messages[i][4].empty()) << "row " << i;
        if (i >= existing) continue;
        // The chat database's partner name ("first last"), not the number or "Unknown".
        EXPECT_NE(messages[i][4].find(' '), std::string::npos) << "row " << i << ": " << messages[i][4];
        partners.insert(messages[i][4]);
    }
    EXPECT_GE(partners.size(), 3u) << ::testing::PrintToString(partners);

    // Call history.csv: number, name, time, address, type, duration. A call the address book
    // does not name is named by its address.
    const auto calls = ReadCsv(folder / "Call history.csv");
    ASSERT_FALSE(calls.empty());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        ASSERT_GT(calls[i].size(), 3u);
        if (!calls[i][3].empty()) {
            EXPECT_FALSE(calls[i][1].empty()) << "row " << i << ": " << calls[i][3];
        }
    }
}

// A fast scan reads the databases only: no photo or video is examined, neither among the
// backup's files nor in its photo library, so the report says so and the export holds none.
TEST_F(EndToEndScanTest, AFastScanExaminesNoPhotoOrVideo) {
    const auto contents = demo::WriteDemoBackup(dir / "backup");
    ASSERT_GT(contents.photos, 0);
    const auto run = RunScanner({(dir / "backup").string(), "--fast", "--export", (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    const auto report = ReportRows(run.out);
    for (const char* row : {"Photos", "Videos"}) EXPECT_TRUE(report.at(row).notScanned) << row << run.out;
    EXPECT_GT(report.at("Messages").existing, 0);
    EXPECT_GT(report.at("Safari").existing, 0);
    const fs::path folder = ExportFolder(dir / "export");
    for (const char* media : {"Photos", "Videos"}) {
        std::size_t files = 0;
        if (fs::exists(folder / media))
            for (const auto& entry : fs::recursive_directory_iterator(folder / media)) files += entry.is_regular_file();
        EXPECT_EQ(files, 0u) << media;
    }
}

// A database of another shape than the phone's (a table dropped or renamed, a column renamed,
// dropped or added) is read as far as it goes: every live row is listed with what the file still
// has, a column another table gains makes no statement ambiguous, and table names are told apart
// as SQLite tells them (in any case). The report's damaged-database section names what was
// missing, and the scan ends with status 8; a shape that lacks nothing the scan reads is no
// damage.
TEST_F(EndToEndScanTest, ADatabaseOfAnotherShapeIsReadAsFarAsItGoes) {
    constexpr const char* kSms = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
    constexpr const char* kAddressBook = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
    constexpr const char* kNoteStore = "4f98687d8ab0d6d1a371110e6b7300f6e465bef2";
    constexpr const char* kCalls = "5a4935c78a5255723f707230a451d79c540d2741";
    constexpr const char* kCalendar = "2041457d5fe04d39d0ab481178355df6781e6858";
    constexpr const char* kWhatsApp = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";
    constexpr const char* kHistory = "e74113c185fd8297e140cfcf9c99436c5cc06b57";
    constexpr int kNoneListed = -1000000;  // moreExisting: no existing row is listed
    const struct {
        const char* name;
        const char* type;  // --type
        const char* backupName;
        const char* change;
        int status;
        const char* reported;  // in the damaged-database section; none for status 0
        const char* reportRow;
        int moreExisting;      // existing rows beyond the unchanged backup's
        const char* csv;       // the export file whose existing rows keep a column
        int filledColumn;      // -1: none checked
    } cases[] = {
        {"no handle table", "messages", kSms, "DROP TABLE handle", 8, "it has no table handle", "Messages", 0,
         "SMS.csv", 2},
        {"text column renamed", "messages", kSms, "ALTER TABLE message RENAME COLUMN text TO body", 8,
         "it has no column message.text", "Messages", 0, "SMS.csv", 4},
        {"attributedBody renamed", "messages", kSms, "ALTER TABLE message RENAME COLUMN attributedBody TO body",
         0, nullptr, "Messages", 0, "SMS.csv", 4},
        {"error renamed", "messages", kSms, "ALTER TABLE message RENAME COLUMN error TO failure", 8,
         "it has no column message.error", "Messages", 0, "SMS.csv", 2},
        {"handle.id renamed", "messages", kSms, "ALTER TABLE handle RENAME COLUMN id TO address", 8,
         "it has no column handle.id", "Messages", 0, "SMS.csv", 2},
        {"message gains id", "messages", kSms, "ALTER TABLE message ADD COLUMN id TEXT", 0, nullptr, "Messages", 0,
         "SMS.csv", 2},
        {"handle gains text", "messages", kSms, "ALTER TABLE handle ADD COLUMN text TEXT", 0, nullptr, "Messages",
         0, "SMS.csv", 2},
        {"no chat table, text renamed", "messages", kSms,
         "ALTER TABLE message RENAME COLUMN text TO body; DROP TABLE chat", 8, "it has no column message.text",
         "Messages", 0, "SMS.csv", 4},
        {"no chat or handle table", "messages", kSms, "DROP TABLE chat; DROP TABLE handle", 8,
         "it has no table handle", "Messages", 0, "SMS.csv", 2},
        {"upper-case table names", "messages", kSms,
         "ALTER TABLE message RENAME TO m; ALTER TABLE m RENAME TO MESSAGE; "
         "ALTER TABLE handle RENAME TO h; ALTER TABLE h RENAME TO HANDLE",
         0, nullptr, "Messages", 0, "SMS.csv", 2},
        {"message table a view", "messages", kSms,
         "ALTER TABLE message RENAME TO stored; CREATE VIEW message AS SELECT * FROM stored", 8,
         "its table message is a view, which is not read", "Messages", kNoneListed, "SMS.csv", -1},
        {"no ABMultiValue table", "contacts", kAddressBook, "DROP TABLE ABMultiValue", 8,
         "it has no table ABMultiValue", "Contacts", 0, "Addressbook.csv", 2},
        {"First renamed", "contacts", kAddressBook, "ALTER TABLE ABPerson RENAME COLUMN First TO Given", 8,
         "it has no column ABPerson.First", "Contacts", 0, "Addressbook.csv", 4},
        {"value renamed", "contacts", kAddressBook, "ALTER TABLE ABMultiValue RENAME COLUMN value TO content", 8,
         "it has no column ABMultiValue.value", "Contacts", 0, "Addressbook.csv", 2},
        // The notes in the "Recently Deleted" folder are told by the column: they are listed
        // with the others.
        {"no folder date", "notes", kNoteStore,
         "ALTER TABLE ZICCLOUDSYNCINGOBJECT DROP COLUMN ZFOLDERSMODIFICATIONDATE", 8,
         "it has no column ZICCLOUDSYNCINGOBJECT.ZFOLDERSMODIFICATIONDATE", "Notes", 4, "Notes.csv", -1},
        {"call duration renamed", "calls", kCalls, "ALTER TABLE ZCALLRECORD RENAME COLUMN ZDURATION TO length", 8,
         "it has no column ZCALLRECORD.ZDURATION", "Calls", 0, "Call history.csv", -1},
        {"call table a view", "calls", kCalls,
         "ALTER TABLE ZCALLRECORD RENAME TO stored; CREATE VIEW ZCALLRECORD AS SELECT * FROM stored", 8,
         "its table ZCALLRECORD is a view, which is not read: no call is listed", "Calls", kNoneListed,
         "Call history.csv", -1},
        {"event title renamed", "calendar", kCalendar,
         "ALTER TABLE CalendarItem RENAME COLUMN summary TO heading; ALTER TABLE Location ADD COLUMN summary TEXT",
         8, "it has no column CalendarItem.summary", "Calendar", 0, "Calendar.csv", -1},
        {"WhatsApp text renamed", "whatsapp", kWhatsApp, "ALTER TABLE ZWAMESSAGE RENAME COLUMN ZTEXT TO body", 8,
         "it has no column ZWAMESSAGE.ZTEXT", "WhatsApp", 0, "WhatsApp.csv", -1},
        {"visit title renamed", "internet", kHistory,
         "ALTER TABLE history_visits RENAME COLUMN title TO heading; ALTER TABLE history_visits ADD COLUMN url TEXT",
         8, "it has no column history_visits.title", "Safari", 0, "Internet history.csv", -1},
    };
    (void)demo::WriteDemoBackup(dir / "demo");
    std::map<std::string, int> unchanged;
    {
        const auto run = RunScanner({(dir / "demo").string(), "--fast"}, dir / "demo-cache");
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
        for (const auto& [row, counts] : ReportRows(run.out)) unchanged[row] = counts.existing;
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path backup = dir / c.name / "backup";
        fs::create_directories(backup);
        fs::copy(dir / "demo", backup, fs::copy_options::recursive);
        {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open_v2((backup / c.backupName).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr),
                      SQLITE_OK);
            char* error = nullptr;
            const int changed = sqlite3_exec(db, c.change, nullptr, nullptr, &error);
            const std::string message = error ? error : "";
            sqlite3_free(error);
            sqlite3_close(db);
            ASSERT_EQ(changed, SQLITE_OK) << message;
        }
        const auto run = RunScanner(
            {backup.string(), "--type", c.type, "--fast", "--export", (dir / c.name / "export").string()},
            dir / c.name / "cache");
        EXPECT_EQ(run.exitStatus, c.status) << run.out << run.err;
        const std::size_t section = run.out.find("Damaged databases");
        if (c.reported) {
            ASSERT_NE(section, std::string::npos) << run.out;
            EXPECT_NE(run.out.find(c.reported, section), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(section, std::string::npos) << run.out;
        }
        const auto report = ReportRows(run.out);
        ASSERT_EQ(report.count(c.reportRow), 1u) << run.out;
        const int existing = report.at(c.reportRow).existing;
        EXPECT_EQ(existing, c.moreExisting == kNoneListed ? 0 : unchanged.at(c.reportRow) + c.moreExisting)
            << run.out;
        if (c.filledColumn < 0) continue;
        // The existing rows keep what the file still has.
        const auto rows = ReadCsv(ExportFolder(dir / c.name / "export") / c.csv);
        ASSERT_GE(rows.size(), static_cast<std::size_t>(existing));
        for (int i = 0; i < existing; ++i) {
            ASSERT_GT(rows[i].size(), static_cast<std::size_t>(c.filledColumn));
            EXPECT_FALSE(rows[i][1].empty()) << "row " << i;
            EXPECT_FALSE(rows[i][c.filledColumn].empty()) << "row " << i;
        }
    }
}

// The export's summary tells copied photos from files of records by what they are, not by
// their names: photos the phone named like the export's own files are counted as photos.
TEST_F(EndToEndScanTest, PhotosNamedLikeRecordFilesAreCountedAsPhotos) {
    const Bytes jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0xFF, 0xD9};
    testsupport::BackupBuilder backup(dir / "backup");
    backup.writePlists();
    for (const char* name : {"SMS.csv", "Addressbook.csv", "IMG_0001.JPG"}) {
        Bytes bytes = jfif;
        bytes.insert(bytes.end(), name, name + std::strlen(name));  // three different pictures
        backup.addFile("CameraRollDomain", std::string("Media/DCIM/100APPLE/") + name, bytes);
    }
    backup.writeManifestMbdb();
    const auto run = RunScanner({(dir / "backup").string(), "--type", "photos", "--export", (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("  Photos: 3 files\n"), std::string::npos) << run.out;
    for (const char* csv : {"SMS.csv:", "Addressbook.csv:"}) EXPECT_EQ(run.out.find(csv), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(ExportFolder(dir / "export") / "Photos" / "SMS.csv"));
}

// A photo of the photo library whose file the backup lacks is not copied, and the output names
// the missing backup file as the cause.
TEST_F(EndToEndScanTest, APhotoWhoseBackupFileIsMissingIsNamedWithItsCause) {
    (void)demo::WriteDemoBackup(dir / "backup");
    std::string directory, file;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2((dir / "backup" / "12b144c0bd44f2b3dffd9186d3f9c05b917cee25").c_str(), &db,
                                  SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* first = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db,
                                     "SELECT ZDIRECTORY, ZFILENAME FROM ZGENERICASSET WHERE ZDIRECTORY LIKE 'DCIM%' "
                                     "AND ZFILENAME LIKE '%.JPG' ORDER BY Z_PK LIMIT 1",
                                     -1, &first, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(first), SQLITE_ROW);
        directory = reinterpret_cast<const char*>(sqlite3_column_text(first, 0));
        file = reinterpret_cast<const char*>(sqlite3_column_text(first, 1));
        sqlite3_finalize(first);
        sqlite3_close(db);
    }
    const fs::path missing =
        dir / "backup" / testsupport::BackupBuilder::BackupName("CameraRollDomain", "Media/" + directory + "/" + file);
    ASSERT_TRUE(fs::remove(missing)) << missing;
    const auto run = RunScanner({(dir / "backup").string(), "--type", "photos", "--export", (dir / "export").string()},
                                dir / "cache");
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    const std::size_t line = run.out.find("could not write ");
    ASSERT_NE(line, std::string::npos) << run.out;
    const std::string text = run.out.substr(line, run.out.find('\n', line) - line);
    EXPECT_NE(text.find(file), std::string::npos) << text;
    EXPECT_NE(text.find(missing.string() + " is missing from the backup"), std::string::npos) << text;
}

// --type scans one data type: only its file carries records, and the report shows its row
// alone.
TEST_F(EndToEndScanTest, OneDataType) {
    const auto contents = demo::WriteDemoBackup(dir / "backup");
    const auto run = RunScanner({(dir / "backup").string(), "--type", "calls", "--fast", "--export",
                                 (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    const auto report = ReportRows(run.out);
    // Only the scanned type is reported.
    EXPECT_EQ(report.size(), 1u) << run.out;
    EXPECT_EQ(report.count("Calls"), 1u) << run.out;
    for (const auto& [caption, row] : report) {
        SCOPED_TRACE(caption);
        if (caption == "Calls") {
            EXPECT_GT(row.existing, 0);
            EXPECT_GT(row.deleted, 0);
        } else {
            EXPECT_EQ(row.existing, 0);
            EXPECT_EQ(row.deleted, 0);
        }
    }
    const fs::path folder = ExportFolder(dir / "export");
    std::set<std::string> csvFiles;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".csv") csvFiles.insert(entry.path().filename().string());
    EXPECT_EQ(csvFiles, (std::set<std::string>{"Call history.csv", "Demo iPhone_info.csv"}));
    EXPECT_TRUE(fs::is_empty(folder / "Photos"));
    ExpectFileMatchesRows(folder, {"Calls", "Call history.csv", &contents.calls, Column(3), true},
                          report.at("Calls"), 3);
}

// A backup whose databases keep their newest rows in write-ahead logs, as an unfinished
// checkpoint on the phone leaves them: the report and the export list those rows too, and the
// backup folder is left exactly as it was.
TEST_F(EndToEndScanTest, DatabasesWithWriteAheadLogs) {
    testsupport::BackupBuilder backup(dir / "backup", testsupport::BackupLayout::Sharded);
    backup.writePlists();
    TempDir scratch;
    auto calendar = testsupport::FixtureDatabase::FromSchema(scratch / "calendar", "calendar-ios9.sql");
    const auto event = [&](const std::string& title, double start) {
        calendar.insert("CalendarItem", {{"summary", title},
                                         {"start_date", start},
                                         {"end_date", start + 3600},
                                         {"unique_identifier", title}});
    };
    event("Dentist", 492000000);
    testsupport::KeepChangesInLog(calendar);
    event("Train to Munich", 492090000);
    event("Dinner with Anna", 492180000);
    testsupport::StoreWithLog(calendar, backup, "HomeDomain", "Library/Calendar/Calendar.sqlitedb");
    calendar.close();

    auto sms = testsupport::FixtureDatabase::FromSchema(scratch / "sms", "sms-ios9.sql");
    testsupport::KeepChangesInLog(sms);
    for (const char* text : {"Only in the log", "Also only in the log"})
        sms.insert("message", {{"guid", text}, {"text", text}, {"date", 492000000}, {"error", 0}});
    testsupport::StoreWithLog(sms, backup, "HomeDomain", "Library/SMS/sms.db",
                              testsupport::LogName::DatabaseNameSuffix);
    sms.close();

    std::map<std::string, std::string> before;
    const auto snapshot = [&] {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir / "backup")) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    };
    before = snapshot();

    const auto run = RunScanner({(dir / "backup").string(), "--fast", "--export",
                                 (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    const auto report = ReportRows(run.out);
    EXPECT_EQ(report.at("Calendar").existing, 3) << run.out;
    EXPECT_EQ(report.at("Messages").existing, 2) << run.out;
    const fs::path folder = ExportFolder(dir / "export");
    std::set<std::string> titles;
    for (const auto& record : ReadCsv(folder / "Calendar.csv"))
        if (record.size() > 1) titles.insert(record[1]);
    EXPECT_EQ(titles.count("Train to Munich"), 1u);
    EXPECT_EQ(titles.count("Dinner with Anna"), 1u);
    EXPECT_EQ(snapshot(), before);
    // The copies went with the working folder.
    EXPECT_FALSE(fs::exists(dir / "cache" / "torvane" / "work") &&
                 !fs::is_empty(dir / "cache" / "torvane" / "work"));
    // The backup lacks the other databases: each is named once.
    EXPECT_EQ(run.err.find("cannot open database"), std::string::npos) << run.err;
    const auto lines = [&](const std::string& text) {
        std::size_t count = 0;
        for (auto at = run.err.find(text); at != std::string::npos; at = run.err.find(text, at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(lines("the backup has no address book"), 1u) << run.err;
}

// Safari's history of iOS 7 and earlier is a property list: it is read, and not named as a
// damaged database.
TEST_F(EndToEndScanTest, TheHistoryPropertyListIsReadAndIsNoDamagedDatabase) {
    testsupport::BackupBuilder backup(dir / "backup");
    testsupport::DeviceDetails details;
    details.productVersion = "6.1.6";
    backup.writePlists(details);
    const std::string list =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<plist version=\"1.0\"><dict><key>WebHistoryDates</key><array>"
        "<dict><key></key><string>https://news.example.org/</string>"
        "<key>lastVisitedDate</key><string>474539400.0</string>"
        "<key>title</key><string>News</string><key>visitCount</key><integer>2</integer></dict>"
        "</array></dict></plist>\n";
    backup.addFile("HomeDomain", "Library/Safari/History.plist", Bytes(list.begin(), list.end()));

    const auto run = RunScanner({(dir / "backup").string(), "--type", "internet", "--fast",
                                 "--export", (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("damaged"), std::string::npos) << run.out;
    EXPECT_EQ(ReportRows(run.out).at("Safari").existing, 1) << run.out;
    const auto records = ReadCsv(ExportFolder(dir / "export") / "Internet history.csv");
    ASSERT_EQ(records.size(), 1u);
    ASSERT_GE(records[0].size(), 4u);
    EXPECT_EQ(records[0][1], "https://news.example.org/");
    EXPECT_EQ(records[0][3], "News");
}

// --legacy: the deleted messages come from the older carving path, which finds the deleted
// rows of the messages database by their header bytes; the live rows are read as usual.
TEST_F(EndToEndScanTest, LegacyCarvingFindsTheDeletedMessages) {
    testsupport::BackupBuilder backup(dir / "backup");
    backup.writePlists();
    auto sms = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
    const auto handle = sms.insert("handle", {{"id", "+4915112345678"}, {"service", "SMS"}});
    const char* texts[] = {"Deleted: the keys are under the mat", "Deleted: see you at the station",
                           "Still here: lunch on Friday"};
    for (int n = 0; n < 3; ++n)
        sms.insert("message", {{"guid", "6C1D2E3F-4A5B-4C6D-8E9F-00000000000" + std::to_string(n)},
                               {"text", texts[n]},
                               {"handle_id", handle},
                               {"service", "SMS"},
                               {"attributedBody", Bytes(80, 0x42)},
                               {"date", 400000000},
                               {"date_read", 0},
                               {"date_delivered", 0},
                               {"is_delivered", 0},
                               {"error", 0}});
    sms.exec("DELETE FROM message WHERE text LIKE 'Deleted:%'");
    sms.close();

    const auto run = RunScanner({(dir / "backup").string(), "--legacy", "--type", "messages", "--fast",
                                 "--export", (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Recovering Messages & iMessages..."), std::string::npos) << run.out;
    const auto report = ReportRows(run.out);
    EXPECT_EQ(report.at("Messages").existing, 1) << run.out;
    EXPECT_EQ(report.at("Messages").deleted, 2) << run.out;
    std::set<std::string> deleted;
    const auto records = ReadCsv(ExportFolder(dir / "export") / "SMS.csv");
    for (std::size_t i = 1; i < records.size(); ++i)
        if (records[i].size() > 2) deleted.insert(records[i][2]);
    EXPECT_EQ(deleted, (std::set<std::string>{texts[0], texts[1]}));
}

// --legacy leaves the types the older path has no routine for to their services: the demo
// backup's internet history is listed as without it. The demo's iOS 9 call store has none of
// the older layouts' tables, and its address book, calendar and WhatsApp chat storage have
// their tables in layouts of later versions: the report names each as not searched, with the
// reason, not as damaged, instead of a raw SQL error or a count of 0, and the scan ends well.
TEST_F(EndToEndScanTest, LegacyCarvingKeepsTheOtherTypes) {
    const auto contents = demo::WriteDemoBackup(dir / "backup");
    const auto run = RunScanner({(dir / "backup").string(), "--legacy", "--fast"}, dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Deleted records not searched (the databases are sound):\n  call history "
                           "(5a4935c78a5255723f707230a451d79c540d2741): the older carving path has "
                           "no routine for its layout (it has no table call)\n"),
              std::string::npos)
        << run.out;
    const std::string notSearched = " the older carving path has no routine for its layout (its table ";
    for (const std::string& reason :
         {"  WhatsApp chat storage (1b6b187a1b60b9ae8b720c79e2c67f472bab09c0):" + notSearched +
              "ZWAMESSAGE has 34 columns; the routines read a message table of 20 columns",
          "  address book (31bb7ba8914766d4ba40d6dfb6113c8b614be442):" + notSearched +
              "ABPerson has 38 columns; the routines read a person table of 34 to 36 columns",
          "  calendar (2041457d5fe04d39d0ab481178355df6781e6858):" + notSearched +
              "CalendarItem has 62 columns; the routines read an event table Event"})
        EXPECT_NE(run.out.find(reason), std::string::npos) << reason << "\n" << run.out;
    // Those four, and no more: the messages and notes databases are read by the routines.
    std::istringstream lines(run.out.substr(run.out.find("Deleted records not searched")));
    std::string line;
    std::getline(lines, line);
    int named = 0;
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0) ++named;
    EXPECT_EQ(named, 4) << run.out;
    EXPECT_EQ(run.out.find("amaged"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("no such table"), std::string::npos) << run.err;
    const auto report = ReportRows(run.out);
    const auto live = [](const std::vector<demo::DemoRow>& rows) {
        return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const auto& r) { return !r.deleted; }));
    };
    EXPECT_EQ(report.at("Safari").existing, live(contents.visits)) << run.out;
    EXPECT_EQ(report.at("Messages").existing, live(contents.messages)) << run.out;
}

// Start-up reads the configuration and the texts of the stored language (English when none is
// stored yet) and takes the crash report an earlier run left, once.
TEST_F(EndToEndScanTest, StartUpReadsTheSettingsAndTakesAnEarlierCrashReport) {
    demo::WriteDemoBackup(dir / "backup");
    const fs::path reports = dir / "cache" / "state" / "torvane";
    fs::create_directories(reports);
    std::ofstream(reports / "crash-1700000000-42.txt")
        << "Torvane ended on a fatal signal.\nsignal: 11 (SIGSEGV)\n";
    const std::vector<std::string> arguments = {(dir / "backup").string(), "--type", "notes",
                                                "--fast"};
    const auto first = RunScanner(arguments, dir / "cache");
    ASSERT_EQ(first.exitStatus, 0) << first.out << first.err;
    EXPECT_NE(first.err.find("an earlier run crashed: Signal 11 was raised."), std::string::npos)
        << first.err;
    EXPECT_EQ(first.err.find("configuration:"), std::string::npos) << first.err;
    EXPECT_EQ(first.err.find("language texts:"), std::string::npos) << first.err;
    std::ifstream choice(dir / "cache" / "config" / "torvane" / "lan.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(choice), {}), "English");
    EXPECT_TRUE(fs::is_empty(reports));

    const auto second = RunScanner(arguments, dir / "cache");
    ASSERT_EQ(second.exitStatus, 0) << second.out << second.err;
    EXPECT_EQ(second.err.find("crashed"), std::string::npos) << second.err;
}

// Ctrl-C while a larger backup is being scanned stops the scan as the stop button does: the
// program ends normally, reports what it found until then, and exports that.
TEST_F(EndToEndScanTest, CtrlCStopsTheScanAndKeepsWhatWasFound) {
    demo::DemoBackupOptions large;
    large.extraPhotos = 6000;
    demo::WriteDemoBackup(dir / "backup", large);
    bool interrupted = false;
    int pictures = 0;
    const auto run = RunScanner({(dir / "backup").string(), "--export", (dir / "export").string()},
                                dir / "cache", [&](const std::string& line, pid_t pid) {
                                    // The media step is copying pictures: stop the scan there.
                                    if (line.rfind("Retrieving  IMG_", 0) == 0) ++pictures;
                                    if (!interrupted && pictures == 5) {
                                        ::kill(pid, SIGINT);
                                        interrupted = true;
                                    }
                                });
    ASSERT_TRUE(interrupted) << run.out;
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Stopping the scan"), std::string::npos);
    EXPECT_NE(run.out.find("Scan completed"), std::string::npos);
    EXPECT_NE(run.out.find("stopped before its end"), std::string::npos);
    // Stopped among the pictures: no database was read.
    EXPECT_EQ(run.out.find("Recovering deleted data"), std::string::npos);
    const auto report = ReportRows(run.out);
    ASSERT_EQ(report.size(), 9u) << run.out;
    const int photos = report.at("Photos").existing;
    EXPECT_GE(photos, 5);
    EXPECT_LT(photos, 6000);
    EXPECT_EQ(report.at("Messages").existing, 0);

    // The pictures found so far are exported.
    const fs::path folder = ExportFolder(dir / "export");
    std::size_t copied = 0;
    for (const auto& entry : fs::directory_iterator(folder / "Photos"))
        copied += entry.is_regular_file();
    EXPECT_EQ(copied, static_cast<std::size_t>(photos));
}

// Every path below a folder whose name has a temporary file's mark.
std::vector<std::string> TemporaryFilesBelow(const fs::path& root) {
    std::vector<std::string> found;
    if (!fs::exists(root)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp-") != std::string::npos || name.find(".part-") != std::string::npos)
            found.push_back(entry.path().string());
    }
    return found;
}

// The working folders (and their owner files) left below the cache.
std::vector<std::string> WorkingFoldersIn(const fs::path& cache) {
    std::vector<std::string> found;
    const fs::path work = cache / "torvane" / "work";
    if (!fs::exists(work)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(work))
        found.push_back(fs::relative(entry.path(), work).string());
    return found;
}

// Holds the child, sends it the signals and lets it go on, so that they arrive together at the
// moment it was held.
void SignalTogether(pid_t pid, std::initializer_list<int> signals) {
    ::kill(pid, SIGSTOP);
    for (int signal : signals) ::kill(pid, signal);
    ::kill(pid, SIGCONT);
}

// A signal (here SIGHUP) while the export runs stops it: the program says how far it got,
// leaves no temporary file, and ends with its own status.
TEST_F(EndToEndScanTest, AnInterruptedExportSaysSoAndLeavesNoTemporaryFiles) {
    demo::DemoBackupOptions large;
    large.extraPhotos = 3000;
    demo::WriteDemoBackup(dir / "backup", large);
    bool interrupted = false;
    const auto run =
        RunScanner({(dir / "backup").string(), "--export", (dir / "export").string()},
                   dir / "cache", [&](const std::string& line, pid_t pid) {
                       if (!interrupted && line.rfind("Exporting every record", 0) == 0) {
                           SignalTogether(pid, {SIGHUP});
                           interrupted = true;
                       }
                   });
    ASSERT_TRUE(interrupted) << run.out;
    EXPECT_EQ(run.exitStatus, 10) << run.out << run.err;
    const auto at = run.out.find("export interrupted: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    std::size_t written = 0, planned = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str() + at, "export interrupted: %zu of %zu files written",
                          &written, &planned),
              2);
    EXPECT_LT(written, planned);
    EXPECT_GT(planned, 3000u);
    EXPECT_THAT(TemporaryFilesBelow(dir / "export"), ::testing::IsEmpty());
    EXPECT_THAT(WorkingFoldersIn(dir / "cache"), ::testing::IsEmpty());
}

// A second signal while the first is being handled ends the program at once, with 128 + its
// number, and takes its temporary files and working copies with it.
TEST_F(EndToEndScanTest, ASecondSignalEndsAtOnceAndLeavesNothingBehind) {
    demo::DemoBackupOptions large;
    large.extraPhotos = 3000;
    demo::WriteDemoBackup(dir / "backup", large);
    bool interrupted = false;
    int pictures = 0;
    const auto run = RunScanner({(dir / "backup").string(), "--export", (dir / "export").string()},
                                dir / "cache", [&](const std::string& line, pid_t pid) {
                                    if (line.rfind("Retrieving  IMG_", 0) == 0) ++pictures;
                                    if (!interrupted && pictures == 5) {
                                        SignalTogether(pid, {SIGINT, SIGTERM});
                                        interrupted = true;
                                    }
                                });
    ASSERT_TRUE(interrupted) << run.out;
    // Which of the two counts as the second is the system's choice.
    EXPECT_TRUE(run.exitStatus == 128 + SIGTERM || run.exitStatus == 128 + SIGINT)
        << run.exitStatus << run.out << run.err;
    EXPECT_NE(run.err.find("Stopped at once."), std::string::npos) << run.err;
    EXPECT_THAT(WorkingFoldersIn(dir / "cache"), ::testing::IsEmpty());
    EXPECT_THAT(TemporaryFilesBelow(dir / "export"), ::testing::IsEmpty());
}

// A scan that cannot make its working folder still reads every database, and then ends with
// the status that says photos are missing, with their number: the pictures outside the photo
// library could not be copied. Those the library lists are read from the backup itself.
TEST_F(EndToEndScanTest, AnUnusableCacheFolderEndsWithItsOwnStatus) {
    demo::DemoBackupOptions options;
    options.extraPhotos = 3;
    demo::WriteDemoBackup(dir / "backup", options);
    fs::create_directories(dir / "cache");
    std::ofstream(dir / "cache" / "torvane") << "a file where the cache folder should be";
    const auto run = RunScanner({(dir / "backup").string()}, dir / "cache");
    EXPECT_EQ(run.exitStatus, 9) << run.out << run.err;
    EXPECT_NE(run.out.find("Error: the working folder cannot be made"), std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("were not copied"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("3 photo(s) and video(s) of the backup could not be copied; they are "
                           "missing"),
              std::string::npos)
        << run.err;
    const auto report = ReportRows(run.out);
    ASSERT_EQ(report.size(), 9u) << run.out;
    EXPECT_GT(report.at("Messages").existing, 0);
    EXPECT_EQ(report.at("Photos").existing, 5);  // the library's, read from the backup

    // With nothing outside the library, nothing is missing: the scan's status is 0, and the
    // export holds every photo.
    demo::WriteDemoBackup(dir / "library-only");
    const auto libraryOnly = RunScanner(
        {(dir / "library-only").string(), "--export", (dir / "export").string()}, dir / "cache");
    EXPECT_EQ(libraryOnly.exitStatus, 0) << libraryOnly.out << libraryOnly.err;
    EXPECT_NE(libraryOnly.out.find("Exported to "), std::string::npos) << libraryOnly.out;
}

// An export folder that cannot be made is said as such, never as "Exported to".
TEST_F(EndToEndScanTest, AnExportFolderThatCannotBeMadeIsNotReportedAsWritten) {
    demo::WriteDemoBackup(dir / "backup");
    // A folder in which nothing can be made, whoever runs the test.
    const auto run = RunScanner(
        {(dir / "backup").string(), "--type", "notes", "--fast", "--export", "/proc/self"},
        dir / "cache");
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_EQ(run.out.find("Exported to"), std::string::npos) << run.out;
}

// Photos and videos that cannot be copied (here: every file larger than 100 bytes fails, as on
// a full disk) are counted and reported, and the scan ends with the status that says media are
// missing; photos the library lists are read from the backup and are not missing.
TEST_F(EndToEndScanTest, PhotosThatCannotBeCopiedAreCountedAndReported) {
    demo::DemoBackupOptions options;
    options.extraPhotos = 40;
    demo::WriteDemoBackup(dir / "backup", options);
    const auto run = RunScanner({(dir / "backup").string(), "--type", "photos"}, dir / "cache", {},
                                {{}, 100});
    EXPECT_EQ(run.exitStatus, 9) << run.out << run.err;
    const std::string line = "Photos and videos not copied (missing from the lists): ";
    const auto at = run.out.find(line);
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_GE(std::stoi(run.out.substr(at + line.size())), 40) << run.out;

    // Without the limit nothing is missing and the status is 0.
    const auto whole = RunScanner({(dir / "backup").string(), "--type", "photos"}, dir / "cache2");
    EXPECT_EQ(whole.exitStatus, 0) << whole.out << whole.err;
    EXPECT_EQ(whole.out.find(line), std::string::npos) << whole.out;
}

// A signature file that cannot be used (missing, empty, of another kind, a FIFO that would
// block a reader for ever) ends the scan with a status of its own and says why, instead of
// listing no deleted record and ending as if all went well. The existing records are still
// listed.
TEST_F(EndToEndScanTest, AnUnusableSignatureFileIsAnErrorOfItsOwn) {
    demo::WriteDemoBackup(dir / "backup");
    const struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
    } cases[] = {
        {"missing", [](const fs::path& p) { fs::remove(p); }},
        {"empty", [](const fs::path& p) { std::ofstream(p, std::ios::trunc); }},
        {"another root", [](const fs::path& p) { std::ofstream(p) << "<config><a/></config>"; }},
        {"a FIFO",
         [](const fs::path& p) {
             fs::remove(p);
             ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
         }},
        // Cut short, it still holds whole signatures of some data types: none is used.
        {"cut at 120,000 bytes", [](const fs::path& p) { fs::resize_file(p, 120000); }},
        {"cut at 200,000 bytes", [](const fs::path& p) { fs::resize_file(p, 200000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path resources = dir / ("resources-" + std::string(c.name));
        fs::copy(AppPaths::resourcesDirectory(), resources, fs::copy_options::recursive);
        c.spoil(resources / "RecoverySignatures.xml");
        const auto run = RunScanner({(dir / "backup").string(), "--fast"},
                                    dir / "cache", {},
                                    {{"TORVANE_RESOURCES_DIR=" + resources.string()}, {}});
        EXPECT_EQ(run.exitStatus, 11) << run.out << run.err;
        EXPECT_NE(run.err.find("the recovery signature file cannot be used"), std::string::npos)
            << run.err;
        EXPECT_NE(run.out.find("Deleted records were not searched"), std::string::npos) << run.out;
        const auto report = ReportRows(run.out);
        for (const char* type : {"Messages", "Contacts"}) {
            ASSERT_TRUE(report.count(type)) << run.out;
            EXPECT_GT(report.at(type).existing, 0) << type;
            EXPECT_EQ(report.at(type).deleted, 0) << type << " searched after all";
        }
    }
}

// A device name made to attack the terminal and the file system (escape sequences, far longer
// than a file name) is printed clean and short, and the export still works.
TEST_F(EndToEndScanTest, AHostileDeviceNameIsPrintedCleanAndExported) {
    demo::WriteDemoBackup(dir / "backup");
    testsupport::DeviceDetails details;
    details.deviceName = "\x1B]0;owned\x07\x1B[2J" + std::string(100000, 'n');
    testsupport::BackupBuilder(dir / "backup").writePlists(details);
    const auto run = RunScanner({(dir / "backup").string(), "--type", "notes", "--fast", "--export",
                                 (dir / "export").string()},
                                dir / "cache");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos);
    EXPECT_EQ(run.err.find('\x1B'), std::string::npos);
    EXPECT_LT(run.out.size(), 20000u);
    const fs::path folder = ExportFolder(dir / "export");
    EXPECT_LE(folder.filename().string().size(), 255u);
    EXPECT_TRUE(fs::exists(folder / "Notes.csv"));
}

// ---- Damaged databases ----

// One data type's database in the demo backup, its main table and how a row of it is known in
// the exported file.
struct DamagedType {
    const char* typeWord;  // --type
    const char* reportRow;
    const char* domain;
    const char* path;
    const char* table;
    const char* keySql;  // the key of a row, as SQL over the table
    const char* file;
    std::size_t keyColumn;
    bool carved;  // the demo backup has deleted rows of it to carve
};

// How the file was damaged, and which pages lost what they held.
struct Damage {
    std::string name;
    std::set<std::int64_t> lostPages;
    bool certain = true;  // SQLite is sure to notice it
};

// The page on which each row of the table keeps its cell, by row id, read from the intact file.
std::map<std::int64_t, std::int64_t> PagesOfRows(const fs::path& path, std::int64_t root) {
    std::map<std::int64_t, std::int64_t> pages;
    for (const auto& [rowId, cell] : CellsOfRows(path, root)) pages[rowId] = cell.page;
    return pages;
}

Bytes ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Overwrite(const fs::path& path, std::int64_t offset, const Bytes& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A damaged database (a header byte changed, a page zeroed, the file cut short, a page of
// random bytes) is read as far as it goes, its deleted rows are carved all the same, the scan
// says plainly which database is damaged and ends with its own status, and no row that is still
// live in the file is ever listed as deleted. The mutated files are made from a fixed list of
// seeds.
TEST_F(EndToEndScanTest, DamagedDatabasesNeverTurnLiveRowsIntoDeletedOnes) {
    const auto contents = demo::WriteDemoBackup(dir / "pristine");
    const DamagedType types[] = {
        {"messages", "Messages", "HomeDomain", "Library/SMS/sms.db", "message", "text", "SMS.csv",
         2, true},
        {"contacts", "Contacts", "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
         "ABPerson", "First || ' ' || Last", "Addressbook.csv", 0, true},
        {"calls", "Calls", "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
         "ZCALLRECORD", "ZADDRESS", "Call history.csv", 3, true},
        {"calendar", "Calendar", "HomeDomain", "Library/Calendar/Calendar.sqlitedb", "CalendarItem",
         "summary", "Calendar.csv", 1, true},
        {"whatsapp", "WhatsApp", "AppDomain-net.whatsapp.WhatsApp", "Documents/ChatStorage.sqlite",
         "ZWAMESSAGE", "ZTEXT", "WhatsApp.csv", 2, true},
        {"notes", "Notes", "HomeDomain", "Library/Notes/notes.sqlite", "ZNOTE", "ZTITLE",
         "Notes.csv", 2, false},
    };
    const auto keyOf = [](const DamagedType& type, const std::vector<std::string>& record) {
        // Contacts are known by first and last name.
        if (type.keyColumn == 0)
            return record.size() > 4 ? record[2] + " " + record[4] : std::string();
        return type.keyColumn < record.size() ? record[type.keyColumn] : std::string();
    };
    int run = 0;
    for (const DamagedType& type : types) {
        const std::string name = testsupport::BackupBuilder::BackupName(type.domain, type.path);
        const fs::path pristine = dir / "pristine" / name;
        ASSERT_TRUE(fs::exists(pristine)) << type.path;
        const std::int64_t pages = static_cast<std::int64_t>(fs::file_size(pristine)) / 4096;
        const auto root = std::stoll(
            SqlStrings(pristine, std::string("SELECT rootpage FROM sqlite_master WHERE name = '") +
                                     type.table + "'")
                .at(0));
        const auto rowIds = SqlStrings(pristine, std::string("SELECT rowid FROM ") + type.table);
        const auto keys =
            SqlStrings(pristine, std::string("SELECT ") + type.keySql + " FROM " + type.table);
        const auto rowPages = PagesOfRows(pristine, root);
        const auto indexRoots = SqlStrings(
            pristine,
            std::string(
                "SELECT rootpage FROM sqlite_master WHERE type = 'index' AND tbl_name = '") +
                type.table + "' AND rootpage > 0");
        // A page whose loss SQLite notices and which holds no row's cell: the table's root when
        // it has pages below it, else one of its indexes.
        std::int64_t zeroed = root;
        if (rowPages.size() == 1 || std::all_of(rowPages.begin(), rowPages.end(),
                                                [&](const auto& p) { return p.second == root; }))
            if (!indexRoots.empty()) zeroed = std::stoll(indexRoots.front());

        std::vector<Damage> damages = {
            {"header byte 23", {}},
            {"page " + std::to_string(zeroed) + " zeroed", {zeroed}},
            {"cut to half", {}},
        };
        for (std::int64_t p = std::max<std::int64_t>(2, pages / 2) + 1; p <= pages; ++p)
            damages[2].lostPages.insert(p);
        for (const std::uint32_t seed : {11u, 12u, 13u}) {
            std::mt19937 random(seed);
            const std::int64_t page =
                2 + static_cast<std::int64_t>(random() % static_cast<std::uint32_t>(pages - 1));
            damages.push_back(
                {"page " + std::to_string(page) + " random (seed " + std::to_string(seed) + ")",
                 {page},
                 false});
        }
        for (std::size_t d = 0; d < damages.size(); ++d) {
            const Damage& damage = damages[d];
            SCOPED_TRACE(std::string(type.typeWord) + ": " + damage.name);
            const fs::path backup = dir / ("case-" + std::to_string(++run));
            fs::copy(dir / "pristine", backup, fs::copy_options::recursive);
            const fs::path database = backup / name;
            if (d == 0) {
                Overwrite(database, 23, {0xFF});
            } else if (d == 1) {
                Overwrite(database, (zeroed - 1) * 4096, Bytes(4096, 0));
            } else if (d == 2) {
                fs::resize_file(database, static_cast<std::uintmax_t>(
                                              std::max<std::int64_t>(2, pages / 2) * 4096));
            } else {
                std::mt19937 random(static_cast<std::uint32_t>(d) * 7919u);
                Bytes noise(4096);
                for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
                Overwrite(database, (*damage.lostPages.begin() - 1) * 4096, noise);
            }
            // The rows still live in the damaged file: those whose cell is on a page that kept it.
            std::set<std::string> live;
            for (std::size_t i = 0; i < rowIds.size() && i < keys.size(); ++i) {
                const auto page = rowPages.find(std::stoll(rowIds[i]));
                if (page == rowPages.end() || !damage.lostPages.count(page->second))
                    live.insert(keys[i]);
            }
            const bool damageSeen = !DatabaseHealth::Examine(database.string()).ok();
            if (damage.certain) {
                EXPECT_TRUE(damageSeen);
            }

            const auto scan = RunScanner({backup.string(), "--type", type.typeWord, "--fast",
                                          "--export", fs::path(backup.string() + "-export").string()},
                                         dir / "cache");
            EXPECT_EQ(scan.exitStatus, damageSeen ? 8 : 0) << scan.out << scan.err;
            if (damageSeen) {
                EXPECT_NE(scan.out.find("Error: the "), std::string::npos) << scan.out;
                EXPECT_NE(scan.out.find(name + ") is damaged"), std::string::npos) << scan.out;
                EXPECT_NE(scan.out.find("Damaged databases"), std::string::npos) << scan.out;
            }
            const auto report = ReportRows(scan.out);
            ASSERT_TRUE(report.count(type.reportRow)) << scan.out;
            const ReportRow counts = report.at(type.reportRow);
            // SQLite reads nothing of a file whose header it refuses; the carver reads it all.
            if (d == 0 && type.carved) {
                EXPECT_GT(counts.deleted, 0);
            }
            const fs::path folder = ExportFolder(backup.string() + "-export");
            if (!fs::exists(folder / type.file)) continue;
            const auto records = ReadCsv(folder / type.file);
            for (std::size_t i = static_cast<std::size_t>(std::max(counts.existing, 0));
                 i < records.size(); ++i) {
                EXPECT_EQ(live.count(keyOf(type, records[i])), 0u)
                    << "live row listed as deleted: " << keyOf(type, records[i]);
            }
        }
    }
}

// The messages of a backup as a scan exports them: the report's counts, and the texts of the
// messages the export lists as deleted (those after the existing ones).
struct ScannedMessages {
    ReportRow counts;
    std::vector<std::string> deletedTexts;
};

ScannedMessages ScanMessages(const fs::path& backup, const fs::path& cache) {
    ScannedMessages scanned;
    const auto scan = RunScanner(
        {backup.string(), "--type", "messages", "--fast", "--export", fs::path(backup.string() + "-export").string()},
        cache);
    const auto report = ReportRows(scan.out);
    if (!report.count("Messages")) {
        ADD_FAILURE() << "no messages in the report\n" << scan.out << scan.err;
        return scanned;
    }
    scanned.counts = report.at("Messages");
    const auto records = ReadCsv(ExportFolder(backup.string() + "-export") / "SMS.csv");
    for (std::size_t i = static_cast<std::size_t>(std::max(scanned.counts.existing, 0));
         i < records.size(); ++i)
        if (records[i].size() > 2) scanned.deletedTexts.push_back(records[i][2]);
    return scanned;
}

// Byte changes to the messages database that leave the message table's cells as they were but
// mislead whoever reads it through its structure: a changed key on the GUID index's root (an
// index lookup then answers "no row" for live messages, without an error), and a changed child
// pointer on the table's root (it names a leaf of another table, so a leaf of live messages is
// cut off from the b-tree), alone or with a header byte SQLite refuses. No row that is still live
// in the file is listed as deleted.
TEST_F(EndToEndScanTest, MisleadingIndexesAndPointersNeverTurnLiveMessagesIntoDeletedOnes) {
    demo::WriteDemoBackup(dir / "pristine");
    const std::string name =
        testsupport::BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db");
    const fs::path pristine = dir / "pristine" / name;
    ASSERT_TRUE(fs::exists(pristine));
    struct Change {
        std::int64_t offset;
        std::uint8_t before;
        std::uint8_t after;
    };
    // In the demo's sms.db: the first character of the key on the GUID index's root (page 5),
    // '7' made '0'; the last byte of the first child pointer on the message table's root
    // (page 4), page 32 made page 11 (a leaf of the handle table); the leaf payload fraction.
    const Change indexKey = {4 * 4096 + 4059, '7', '0'};
    const Change childPointer = {3 * 4096 + 4094, 32, 11};
    const Change headerByte = {23, 32, 0xFF};
    const struct {
        const char* name;
        std::vector<Change> changes;
    } cases[] = {
        {"GUID index key", {indexKey}},
        {"GUID index key and child pointer", {indexKey, childPointer}},
        {"header byte and child pointer", {headerByte, childPointer}},
    };
    const Bytes original = ReadFileBytes(pristine);
    ASSERT_EQ(SqlStrings(pristine, "SELECT rootpage FROM sqlite_master WHERE name = 'message'"),
              std::vector<std::string>{"4"});
    const auto rowIds = SqlStrings(pristine, "SELECT rowid FROM message");
    const auto texts = SqlStrings(pristine, "SELECT text FROM message");
    const auto rowPages = PagesOfRows(pristine, 4);
    int run = 0;
    for (const auto& damage : cases) {
        SCOPED_TRACE(damage.name);
        const fs::path backup = dir / ("misled-" + std::to_string(++run));
        fs::copy(dir / "pristine", backup, fs::copy_options::recursive);
        std::set<std::int64_t> changedPages;
        for (const Change& change : damage.changes) {
            ASSERT_LT(static_cast<std::size_t>(change.offset), original.size());
            ASSERT_EQ(original[static_cast<std::size_t>(change.offset)], change.before)
                << "the demo's sms.db is laid out differently";
            Overwrite(backup / name, change.offset, {change.after});
            changedPages.insert(change.offset / 4096 + 1);
        }
        // Every row whose leaf page kept all its bytes is still live.
        std::set<std::string> live;
        for (std::size_t i = 0; i < rowIds.size() && i < texts.size(); ++i) {
            const auto page = rowPages.find(std::stoll(rowIds[i]));
            if (page != rowPages.end() && !changedPages.count(page->second)) live.insert(texts[i]);
        }
        ASSERT_GT(live.size(), 100u);

        const auto scanned = ScanMessages(backup, dir / "cache");
        EXPECT_GT(scanned.counts.deleted, 0);
        std::vector<std::string> listed;
        for (const std::string& text : scanned.deletedTexts)
            if (live.count(text)) listed.push_back(text);
        EXPECT_EQ(listed, std::vector<std::string>{}) << "live rows listed as deleted";
    }
}

// Changes from 1 to 100 bytes of the file, at offsets and to values drawn from the seed; answers
// the offsets changed.
std::set<std::int64_t> ChangeRandomBytes(const fs::path& path, std::uint32_t seed) {
    Bytes bytes = ReadFileBytes(path);
    std::set<std::int64_t> changed;
    if (bytes.empty()) return changed;
    std::mt19937 random(seed);
    const std::uint32_t count = 1 + random() % 100;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = random() % bytes.size();
        bytes[at] = static_cast<std::uint8_t>(random() % 256);
        changed.insert(static_cast<std::int64_t>(at));
    }
    Overwrite(path, 0, bytes);
    return changed;
}

// Random byte changes to the demo's messages database, from seeds that hit what misleads the
// scan: the GUID bytes of a stale copy of a live row (in the free space of the message table's
// root, which was a leaf once), so that its GUID no longer matches the live row's; and the
// schema's entry for the message table (its name, or its statement on an
// overflow page), so that neither SQLite nor the file's own schema names the table whose rows
// are still in the file. No row whose cell kept its bytes is listed as deleted, and deleted
// messages are still listed.
TEST_F(EndToEndScanTest, RandomByteChangesNeverTurnLiveMessagesIntoDeletedOnes) {
    const auto contents = demo::WriteDemoBackup(dir / "pristine");
    const std::string name =
        testsupport::BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db");
    const fs::path pristine = dir / "pristine" / name;
    ASSERT_TRUE(fs::exists(pristine));
    const struct {
        std::uint32_t seed;
        const char* hit;
    } cases[] = {
        {99, "a stale copy's GUID, in a file SQLite reads without a fault"},
        {336, "a stale copy's GUID, in a file of damaged free space"},
        {26, "a stale copy's GUID, in a file SQLite cannot read"},
        {8, "a stale copy's GUID, in a file SQLite reads in part"},
        {187, "the message table's name in the schema"},
        {370, "the message table's statement"},
    };
    ASSERT_EQ(SqlStrings(pristine, "SELECT rootpage FROM sqlite_master WHERE name = 'message'"),
              std::vector<std::string>{"4"});
    const auto rowIds = SqlStrings(pristine, "SELECT rowid FROM message");
    const auto texts = SqlStrings(pristine, "SELECT text FROM message");
    const auto cells = CellsOfRows(pristine, 4);
    ASSERT_EQ(cells.size(), rowIds.size());
    std::set<std::string> deletedTexts;
    for (const auto& message : contents.messages)
        if (message.deleted) deletedTexts.insert(message.key);
    for (const auto& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ": " + c.hit);
        const fs::path backup = dir / ("seed-" + std::to_string(c.seed));
        fs::copy(dir / "pristine", backup, fs::copy_options::recursive);
        const auto changed = ChangeRandomBytes(backup / name, c.seed);
        std::set<std::string> live;
        for (std::size_t i = 0; i < rowIds.size() && i < texts.size(); ++i)
            if (cells.at(std::stoll(rowIds[i])).keptBy(changed, 4096)) live.insert(texts[i]);
        ASSERT_GT(live.size(), 100u);

        std::vector<std::string> listedLive;
        std::size_t listedDeleted = 0;
        for (const std::string& text : ScanMessages(backup, dir / "cache").deletedTexts) {
            if (live.count(text)) listedLive.push_back(text);
            listedDeleted += deletedTexts.count(text);
        }
        EXPECT_EQ(listedLive, std::vector<std::string>{}) << "live rows listed as deleted";
        EXPECT_GE(listedDeleted, deletedTexts.size() / 2);
    }
}

// A stale copy of a live message whose GUID and partner were damaged (so that neither its GUID
// nor its text, date and partner are a live row's) still has its cell's head, which names the
// live row's row id; and a file cut short loses the table's leaves while its indexes, before
// them, still name every live row. Neither is listed as deleted: whether SQLite reads the whole
// file, none of it (a header byte it refuses, the file cut short), or not the message table
// (its name in the schema damaged). The deleted messages are still listed.
TEST_F(EndToEndScanTest, CopiesOfLiveMessagesInDamagedFilesAreKnownByTheirRowIds) {
    const auto contents = demo::WriteDemoBackup(dir / "pristine");
    const std::string name =
        testsupport::BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db");
    const fs::path pristine = dir / "pristine" / name;
    ASSERT_EQ(SqlStrings(pristine, "SELECT rootpage FROM sqlite_master WHERE name = 'message'"),
              std::vector<std::string>{"4"});
    const std::set<std::string> live = [&] {
        const auto texts = SqlStrings(pristine, "SELECT text FROM message");
        return std::set<std::string>(texts.begin(), texts.end());
    }();
    const Bytes original = ReadFileBytes(pristine);
    // The copy of the first message left in the gap of the table's root (page 4), from when that
    // page was a leaf: its header (length, then serial types: row id, GUID, text, replace,
    // service centre, handle), right before its GUID.
    const std::string guid = SqlStrings(pristine, "SELECT guid FROM message WHERE ROWID = 1").at(0);
    const auto page4 = original.begin() + 3 * 4096;
    const auto at = std::search(page4, page4 + 4096, guid.begin(), guid.end());
    ASSERT_NE(at, page4 + 4096) << "the demo's sms.db is laid out differently";
    const std::int64_t copy = at - original.begin();
    std::int64_t headerLength = 2;
    while (headerLength < 128 &&
           original.at(static_cast<std::size_t>(copy - headerLength)) != headerLength)
        ++headerLength;
    const std::int64_t handleType = copy - headerLength + 6;
    // The handle 1, held in its serial type (9: the integer 1).
    ASSERT_EQ(original.at(static_cast<std::size_t>(handleType)), 9);
    ASSERT_EQ(SqlStrings(pristine, "SELECT handle_id FROM message WHERE ROWID = 1"),
              std::vector<std::string>{"1"});
    const auto damageCopy = [&](const fs::path& file) {
        Overwrite(file, copy, {'F', 'F'});
        Overwrite(file, handleType, {8});  // the handle 0
    };
    // The message table's schema row ("table", "message", "message"), on a leaf of the schema.
    const std::string schemaRow = "tablemessagemessage";
    const auto schemaAt = std::search(original.begin() + 4096, original.end(), schemaRow.begin(),
                                      schemaRow.end());
    ASSERT_NE(schemaAt, original.end());
    const std::int64_t tableName = (schemaAt - original.begin()) + 5;

    const struct Case {
        const char* name;
        std::function<void(const fs::path&)> damage;
    } cases[] = {
        {"a damaged copy, SQLite reads every row", damageCopy},
        {"a damaged copy and a header byte SQLite refuses",
         [&](const fs::path& file) {
             damageCopy(file);
             Overwrite(file, 23, {0xFF});
         }},
        {"a damaged copy and the message table's name",
         [&](const fs::path& file) {
             damageCopy(file);
             Overwrite(file, tableName, {'X'});
         }},
        {"cut at 100,000 bytes", [](const fs::path& file) { fs::resize_file(file, 100000); }},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path backup = dir / ("copies-" + std::to_string(++run));
        fs::copy(dir / "pristine", backup, fs::copy_options::recursive);
        c.damage(backup / name);
        const auto scanned = ScanMessages(backup, dir / "cache");
        std::vector<std::string> listedLive;
        for (const std::string& listed : scanned.deletedTexts)
            if (live.count(listed)) listedLive.push_back(listed);
        EXPECT_EQ(listedLive, std::vector<std::string>{}) << "live rows listed as deleted";
        EXPECT_GT(scanned.counts.deleted, 0);
    }
}

// A messages database that holds nothing SQLite can give the scan (an empty file, a database
// of another kind) is named in the report and the status, as a damaged one is, and the scan
// ends with status 8 instead of 0.
TEST_F(EndToEndScanTest, AMessagesDatabaseOfNoUseIsNamedAndGivesItsStatus) {
    const fs::path sms = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
    const fs::path calendar = "2041457d5fe04d39d0ab481178355df6781e6858";
    const struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        const char* what;
    } cases[] = {
        {"an empty file", [&](const fs::path& b) { std::ofstream(b / sms, std::ios::trunc); },
         "it holds no tables at all"},
        {"the calendar under its name",
         [&](const fs::path& b) { fs::copy_file(b / calendar, b / sms, fs::copy_options::overwrite_existing); },
         "it is another kind of database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path backup = dir / c.name;
        demo::WriteDemoBackup(backup);
        c.spoil(backup);
        const auto run = RunScanner({backup.string(), "--type", "messages", "--fast"}, dir / "cache");
        EXPECT_EQ(run.exitStatus, 8) << run.out << run.err;
        EXPECT_NE(run.out.find("Damaged databases"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("messages database (" + sms.string() + "): it has no table message"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find(c.what), std::string::npos) << run.out;
    }
}

// A folder that is no backup, and an encrypted backup, are refused with a clear message and a
// status other than 0; so is a command line the program does not understand.
TEST_F(EndToEndScanTest, RefusedFolders) {
    fs::create_directories(dir / "not-a-backup");
    std::ofstream(dir / "not-a-backup" / "notes.txt") << "hello";
    testsupport::DeviceDetails details;
    details.isEncrypted = true;
    testsupport::BackupBuilder(dir / "encrypted").writePlists(details);
    testsupport::BackupBuilder(dir / "plain").writePlists();
    testsupport::BackupBuilder(dir / "fifo").writePlists();
    ASSERT_EQ(::mkfifo((dir / "fifo" / "3d0d7e5fb2ce288813306e4d4636395e047a3d28").c_str(), 0600), 0);

    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{(dir / "not-a-backup").string()}, 3, "not an iOS backup"},
        {{(dir / "missing").string()}, 3, "There is no folder"},
        {{(dir / "encrypted").string()}, 4, "encrypted: its files cannot be read"},
        {{"--type", "everything"}, 2, "unknown data type"},
        {{(dir / "fifo").string(), "--type", "messages"}, 5, "3d0d7e5fb2ce288813306e4d4636395e047a3d28 of the backup cannot be read: it is a pipe"},
        {{(dir / "plain").string(), "--export", (dir / "plain" / "out").string()}, 1, "which is only ever read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const auto run = RunScanner(c.arguments, dir / "cache");
        EXPECT_EQ(run.exitStatus, c.status) << run.out << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Scan completed"), std::string::npos);
    }
}

// A database whose bytes were changed at random (as the damage survey changes them, from fixed
// seeds): free space then holds copies of live rows whose bytes no longer match the live row,
// and the file may lose what names its live rows. No live row is ever listed as deleted, of
// whichever data type.
TEST_F(EndToEndScanTest, RandomlyDamagedDatabasesNeverListLiveRowsAsDeleted) {
    const auto contents = demo::WriteDemoBackup(dir / "backup");
    const struct {
        const char* typeWord;
        const char* reportRow;
        const char* domain;
        const char* path;
        const char* file;
        std::vector<std::size_t> keyColumns;  // joined by a blank
        const std::vector<demo::DemoRow>* rows;
        std::uint32_t seed;
    } cases[] = {
        {"contacts", "Contacts", "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
         "Addressbook.csv", {2, 4}, &contents.contacts, 1},
        {"contacts", "Contacts", "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
         "Addressbook.csv", {2, 4}, &contents.contacts, 10},
        {"calls", "Calls", "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
         "Call history.csv", {3}, &contents.calls, 11},
        {"calendar", "Calendar", "HomeDomain", "Library/Calendar/Calendar.sqlitedb",
         "Calendar.csv", {1}, &contents.events, 22},
        {"whatsapp", "WhatsApp", "AppDomain-net.whatsapp.WhatsApp",
         "Documents/ChatStorage.sqlite", "WhatsApp.csv", {2}, &contents.whatsAppMessages, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typeWord) + " seed " + std::to_string(c.seed));
        const fs::path database =
            dir / "backup" / testsupport::BackupBuilder::BackupName(c.domain, c.path);
        const auto pristine = ReadFileBytes(database);
        damaged::DamageFile(std::vector<char>(pristine.begin(), pristine.end()), database, c.seed);
        const fs::path exported = dir / ("export-" + std::to_string(&c - cases));
        const auto scan = RunScanner(
            {(dir / "backup").string(), "--type", c.typeWord, "--fast", "--export",
             exported.string()},
            dir / "cache");
        std::ofstream(database, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(pristine.data()),
                   static_cast<std::streamsize>(pristine.size()));
        ASSERT_TRUE(scan.exitStatus == 0 || scan.exitStatus == 8) << scan.out << scan.err;
        const auto report = ReportRows(scan.out);
        ASSERT_EQ(report.count(c.reportRow), 1u) << scan.out;
        std::set<std::string> live, deleted;
        for (const auto& row : *c.rows) (row.deleted ? deleted : live).insert(row.key);
        const auto records = ReadCsv(ExportFolder(exported) / c.file);
        for (std::size_t i = static_cast<std::size_t>(report.at(c.reportRow).existing);
             i < records.size(); ++i) {
            std::string key;
            for (const std::size_t column : c.keyColumns)
                key += (key.empty() ? "" : " ") +
                       (column < records[i].size() ? records[i][column] : std::string());
            EXPECT_FALSE(live.count(key) && !deleted.count(key))
                << "a live row listed as deleted: " << key;
        }
    }
}

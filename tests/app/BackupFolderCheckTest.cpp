#include "app/BackupFolderCheck.h"

#include "RecordingWindow.h"
#include "app/BackupDatabaseTable.h"
#include "app/DeviceDetails.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "support/BackupBuilder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

using Problem = BackupFolderCheck::Problem;
using testsupport::BackupBuilder;
using testsupport::TempDir;

// Reads the backup's details as the scanner does and checks the folder.
BackupFolderCheck Check(const std::string& folder, DataType type = DataType::DataTypeAll) {
    const auto before = BackupFolderCheck::beforeReading(folder);
    if (!before.ok()) return before;
    BrimleyAppDelegate record;
    RecordingWindow window;
    record.BACKUP_DIRECTORY.set(folder);
    const bool usable = DeviceDetailsReader(record, window).getInfoFromBackup();
    return BackupFolderCheck::afterReading(folder, usable, *record.deviceInfo.get(), type);
}

}  // namespace

TEST(BackupFolderCheckTest, TellsWhyAFolderCannotBeScanned) {
    TempDir dir;
    // A usable backup.
    BackupBuilder good(dir / "good");
    good.writePlists();
    good.addFile("HomeDomain", "Library/SMS/sms.db", Bytes{'S', 'Q', 'L'});
    EXPECT_TRUE(Check((dir / "good").string()).ok());

    // No such folder, and a file in place of a folder.
    EXPECT_EQ(Check((dir / "missing").string()).problem, Problem::Missing);
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(Check((dir / "file").string()).problem, Problem::Missing);

    // A folder without the backup's property lists.
    std::filesystem::create_directories(dir / "empty");
    const auto empty = Check((dir / "empty").string());
    EXPECT_EQ(empty.problem, Problem::NotABackup);
    EXPECT_NE(empty.message.find("not an iOS backup"), std::string::npos);

    // An encrypted backup: the message says that its files cannot be read.
    testsupport::DeviceDetails encrypted;
    encrypted.isEncrypted = true;
    BackupBuilder locked(dir / "locked");
    locked.writePlists(encrypted);
    const auto lockedCheck = Check((dir / "locked").string());
    EXPECT_EQ(lockedCheck.problem, Problem::Encrypted);
    EXPECT_NE(lockedCheck.message.find("encrypted"), std::string::npos);
    EXPECT_NE(lockedCheck.message.find("cannot be read"), std::string::npos);
}

// A database of the scanned type that cannot be read stops the scan with its name; a file of
// a type not scanned does not matter. (Root reads every file, so this needs another user.)
TEST(BackupFolderCheckTest, UnreadableDatabase) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files without read permission";
    TempDir dir;
    BackupBuilder backup(dir.path());
    backup.writePlists();
    const auto sms = backup.addFile("HomeDomain", "Library/SMS/sms.db", Bytes{'S', 'Q', 'L'});
    ASSERT_EQ(::chmod(sms.c_str(), 0), 0);
    const auto check = Check(dir.path().string(), DataType::DataTypeSMS);
    EXPECT_EQ(check.problem, Problem::Unreadable);
    EXPECT_NE(check.message.find(sms.string()), std::string::npos);
    EXPECT_TRUE(Check(dir.path().string(), DataType::DataTypeCalendar).ok());
    ::chmod(sms.c_str(), 0600);
}

TEST(BackupFolderCheckTest, DatabaseNamesPerType) {
    const auto& sms = BackupFolderCheck::databaseNames(DataType::DataTypeSMS);
    EXPECT_NE(std::find(sms.begin(), sms.end(), BackupDatabaseNames::kSms), sms.end());
    const auto& all = BackupFolderCheck::databaseNames(DataType::DataTypeAll);
    EXPECT_NE(std::find(all.begin(), all.end(), BackupDatabaseNames::kCalendar), all.end());
    EXPECT_TRUE(BackupFolderCheck::databaseNames(static_cast<DataType>(42)).empty());
}

// Something other than a file where a database of the scanned type belongs cannot be read: the
// check names it, rather than letting the scan take the backup for one without the database.
TEST(BackupFolderCheckTest, ADatabaseThatIsNoRegularFileIsNamed) {
    TempDir dir;
    std::ofstream(dir / "outside.db") << "SQLite format 3";
    const struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* says;
    } cases[] = {
        {"a FIFO", [](const auto& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "a pipe (FIFO)"},
        {"a folder", [](const auto& p) { std::filesystem::create_directory(p); }, "a folder"},
        {"a link to /dev/zero", [](const auto& p) { std::filesystem::create_symlink("/dev/zero", p); }, "a link to a device"},
        {"a dangling link", [](const auto& p) { std::filesystem::create_symlink("nowhere.db", p); }, "a link that leads nowhere"},
        {"a link out of the backup", [&](const auto& p) { std::filesystem::create_symlink(dir / "outside.db", p); },
         "a link that leads out of the backup folder"},
    };
    // The messages database, and the backup's file lists, which name the photos a scan copies
    // (opening a pipe in their place would wait for ever).
    const struct Target {
        const char* name;
        DataType reader;
    } targets[] = {
        {BackupDatabaseNames::kSms, DataType::DataTypeSMS},
        {"Manifest.db", DataType::DataTypePhotosVideos},
        {"Manifest.mbdb", DataType::DataTypePhotosVideos},
    };
    for (const Target& target : targets)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(target.name) + ": " + c.name);
            const auto folder = dir / target.name / c.name;
            BackupBuilder backup(folder);
            backup.writePlists();
            const auto file = folder / target.name;
            c.make(file);
            for (const DataType type : {target.reader, DataType::DataTypeAll}) {
                const auto check = Check(folder.string(), type);
                EXPECT_EQ(check.problem, Problem::Unreadable);
                EXPECT_NE(check.message.find(file.string()), std::string::npos) << check.message;
                EXPECT_NE(check.message.find(c.says), std::string::npos) << check.message;
            }
            // A scan of another type does not read it.
            EXPECT_TRUE(Check(folder.string(), DataType::DataTypeCalendar).ok());
        }
}

TEST(BackupFolderCheckTest, AnExportIntoTheBackupFolderIsRefused) {
    TempDir dir;
    std::filesystem::create_directories(dir / "backup" / "sub");
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "backup", dir / "link-to-backup");
    const std::string backup = (dir / "backup").string();
    const struct Case {
        std::string exportFolder;
        bool refused;
    } cases[] = {
        {backup, true},
        {backup + "/", true},
        {backup + "/sub", true},
        {backup + "/not-yet/made", true},
        {(dir / "elsewhere" / ".." / "backup" / "x").string(), true},
        {(dir / "link-to-backup" / "x").string(), true},
        {(dir / "elsewhere").string(), false},
        {(dir / "backup2").string(), false},  // a name that only begins like the backup's
        {dir.path().string(), false},          // the folder above it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exportFolder);
        const std::string refusal = BackupFolderCheck::exportInsideBackup(backup, c.exportFolder);
        EXPECT_EQ(!refusal.empty(), c.refused) << refusal;
        if (c.refused) {
            EXPECT_NE(refusal.find("only ever read"), std::string::npos);
        }
    }
}

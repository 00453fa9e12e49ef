#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "records/SMS.h"
#include "support/FixtureDatabase.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

fs::path MakeSmallDatabase(const fs::path& path) {
    FixtureDatabase db(path);
    db.exec(
        "CREATE TABLE t (ROWID INTEGER PRIMARY KEY, Name TEXT, big INTEGER, price REAL);"
        "INSERT INTO t VALUES (1, 'Anna', 4294967297, 2.5);"
        "INSERT INTO t VALUES (2, NULL, -1, NULL);");
    db.close();
    return path;
}

TEST(FMDBUtilsTest, OpensFilesWhoseNamesHoldUriCharacters) {
    TempDir dir;
    for (const char* folder : {"plain", "with space", "what?#x", "100%", "Ümlaut", "a&b=c"}) {
        fs::create_directories(dir / folder);
        const fs::path path = MakeSmallDatabase(dir.path() / folder / "x.db");
        FMDBUtils handle(path.string());
        ASSERT_TRUE(handle.openDatabase()) << folder;
        auto row = handle.sharedDB()->executeQuery("SELECT Name FROM t WHERE ROWID = 1");
        ASSERT_TRUE(row.next()) << folder;
        EXPECT_EQ(row.stringForColumn("Name"), "Anna") << folder;
    }
}

TEST(FMDBUtilsTest, MissingFileIsNotCreatedAndQueriesYieldNothing) {
    TempDir dir;
    const fs::path path = dir / "absent.db";
    FMDBUtils handle(path.string());
    EXPECT_EQ(handle.sharedDB(), nullptr);
    EXPECT_FALSE(handle.openDatabase());
    // The failed connection is kept; its queries give no result set.
    ASSERT_NE(handle.sharedDB(), nullptr);
    EXPECT_FALSE(handle.sharedDB()->executeQuery("SELECT 1"));
    EXPECT_FALSE(fs::exists(path));
}

TEST(FMDBUtilsTest, BackupFilesAreNeverWritten) {
    TempDir dir;
    const fs::path path = MakeSmallDatabase(dir / "x.db");
    const auto sizeBefore = fs::file_size(path);
    FMDBUtils handle(path.string());
    ASSERT_TRUE(handle.openDatabase());
    auto update = handle.sharedDB()->executeQuery("UPDATE t SET Name = 'Mallory'");
    EXPECT_FALSE(update && update.next());
    auto row = handle.sharedDB()->executeQuery("SELECT Name FROM t WHERE ROWID = 1");
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.stringForColumn("Name"), "Anna");
    EXPECT_EQ(fs::file_size(path), sizeBefore);
}

TEST(FMDBUtilsTest, ColumnsAreReadByNameAndMissingOnesReadEmpty) {
    TempDir dir;
    FMDBUtils handle(MakeSmallDatabase(dir / "x.db").string());
    ASSERT_TRUE(handle.openDatabase());
    auto row = handle.sharedDB()->executeQuery("SELECT * FROM t ORDER BY ROWID");
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.stringForColumn("name"), "Anna");  // names match whatever their case
    EXPECT_EQ(row.intForColumn("BIG"), 1);           // low 32 bits of 2^32 + 1
    EXPECT_EQ(row.longLongIntForColumn("big"), 4294967297);
    EXPECT_EQ(row.stringForColumn("price"), "2.5");
    EXPECT_EQ(row.stringForColumn("nosuch"), std::nullopt);
    EXPECT_EQ(row.intForColumn("nosuch"), 0);
    EXPECT_EQ(row.doubleForColumn("nosuch"), 0.0);
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.stringForColumn("Name"), std::nullopt);  // NULL is absent, not ""
    EXPECT_EQ(row.intForColumn("big"), -1);
    EXPECT_FALSE(row.next());
    EXPECT_EQ(row.stringForColumn("Name"), std::nullopt);  // past the end: no row
}

TEST(FMDBUtilsTest, BoundArgumentsAreNeverSqlText) {
    TempDir dir;
    FMDBUtils handle(MakeSmallDatabase(dir / "x.db").string());
    ASSERT_TRUE(handle.openDatabase());
    auto row = handle.sharedDB()->executeQuery("SELECT count(*) AS n FROM t WHERE Name = ?",
                                               {ColumnValue("x' OR '1'='1")});
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.intForColumn("n"), 0);
}

TEST(FMDBUtilsTest, ARunningWalkOutlivesItsHandleAndAReopen) {
    TempDir dir;
    auto handle = std::make_shared<FMDBUtils>(MakeSmallDatabase(dir / "x.db").string());
    ASSERT_TRUE(handle->openDatabase());
    auto row = handle->sharedDB()->executeQuery("SELECT ROWID FROM t ORDER BY ROWID");
    ASSERT_TRUE(row.next());
    handle->openDatabase();  // replaces the connection the walk runs on
    handle.reset();          // and drops the handle
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.intForColumn("ROWID"), 2);
}

TEST(FMDBUtilsTest, QueryObjectKeepsTheHandleItWasMadeWith) {
    TempDir dir;
    const fs::path first = dir / "first.db";
    const fs::path second = dir / "second.db";
    for (const auto& [path, text] : {std::pair{first, "one"}, std::pair{second, "two"}}) {
        FixtureDatabase db(path);
        db.exec("CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text TEXT, flags INTEGER);");
        db.insert("message", {{"text", ColumnValue(text)}, {"flags", ColumnValue(2)}});
        db.close();
    }
    BrimleyAppDelegate state;
    auto device = std::make_shared<DeviceInfo>();
    device->setIOSMajorVersion(5);
    state.deviceInfo.set(device);

    // Made before the state record has a handle: its bound queries read nothing.
    DAOs early(testsupport::ContextFor(state));
    EXPECT_EQ(early.GetSMS(), std::nullopt);

    auto firstHandle = std::make_shared<FMDBUtils>(first.string());
    firstHandle->openDatabase();
    state.dbUtils.set(firstHandle);
    DAOs daos(testsupport::ContextFor(state));
    auto secondHandle = std::make_shared<FMDBUtils>(second.string());
    secondHandle->openDatabase();
    state.dbUtils.set(secondHandle);

    auto messages = daos.GetSMS();
    ASSERT_TRUE(messages.has_value());
    ASSERT_EQ(messages->size(), 1u);
    EXPECT_EQ((*messages)[0]->Message(), "one");
}

}  // namespace

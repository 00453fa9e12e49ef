#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "records/SMS.h"
#include "support/FixtureDatabase.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <stop_token>

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

// A column the file's table lacks (another version's or another shape's table) reads as empty
// wherever the statement names it, bare or with its table; the rest of each row is read. A
// text or a result name that happens to spell the column stays as it is.
TEST(FMDBUtilsTest, AColumnTheTableLacksReadsAsEmpty) {
    TempDir dir;
    FMDBUtils handle(MakeSmallDatabase(dir / "x.db").string());
    ASSERT_TRUE(handle.openDatabase());
    auto row = handle.sharedDB()->executeQuery(
        "SELECT t.Name AS Name, t.nick AS nick, Nick AS nick2, [nick] AS nick4, 'nick' AS word, t.big AS nick3 FROM t "
        "WHERE t.nick IS NULL ORDER BY t.ROWID");
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.stringForColumn("Name"), "Anna");
    EXPECT_EQ(row.stringForColumn("nick"), std::nullopt);
    EXPECT_EQ(row.stringForColumn("nick2"), std::nullopt);
    EXPECT_EQ(row.stringForColumn("nick4"), std::nullopt);
    EXPECT_EQ(row.stringForColumn("word"), "nick");
    EXPECT_EQ(row.longLongIntForColumn("nick3"), 4294967297);
    ASSERT_TRUE(row.next());
    EXPECT_FALSE(row.next());
    EXPECT_FALSE(row.failed());
}

// What SQLite could be kept waiting by or for ever busy with is not read: a file that is no
// regular file is not opened, and a view (whose rows the file's own SQL makes) counts as no
// table and no statement reads it.
TEST(FMDBUtilsTest, OnlyRegularFilesAndTablesAreRead) {
    TempDir dir;
    const fs::path path = MakeSmallDatabase(dir / "x.db");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "CREATE VIEW endless AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                               "FROM r) SELECT x AS Name FROM r; CREATE VIEW names AS SELECT Name FROM t",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto connection = SqliteConnection::OpenReadOnly(path.string());
    ASSERT_TRUE(connection->isOpen());
    EXPECT_TRUE(connection->hasTable("T"));
    for (const char* view : {"endless", "names"}) {
        SCOPED_TRACE(view);
        EXPECT_FALSE(connection->hasTable(view));
        EXPECT_TRUE(connection->hasView(view));
        EXPECT_FALSE(connection->executeQuery(std::string("SELECT Name FROM ") + view));
        EXPECT_FALSE(connection->executeQuery(std::string("SELECT t.Name FROM t JOIN ") + view + " v ON v.Name = t.Name"));
    }
    auto row = connection->executeQuery("SELECT count(*) AS n FROM t");
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.intForColumn("n"), 2);

    const fs::path fifo = dir / "pipe.db";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir / "folder.db");
    for (const fs::path& other : {fifo, dir / "folder.db"}) {
        SCOPED_TRACE(other.string());
        EXPECT_FALSE(SqliteConnection::OpenReadOnly(other.string())->isOpen());
        EXPECT_FALSE(SqliteConnection::RefusalToOpen(other.string()).empty());
    }
}

// A stop request of the thread's scope ends a statement in its walk, however long its walk
// would be; without a scope, or before the request, statements run to their end.
TEST(FMDBUtilsTest, AStopRequestEndsARunningStatement) {
    TempDir dir;
    auto connection = SqliteConnection::OpenReadOnly(MakeSmallDatabase(dir / "x.db").string());
    const char* const kLong =
        "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r WHERE x < 20000000) SELECT count(*) AS n "
        "FROM r";
    std::stop_source stop;
    const SqliteStopScope scope(stop.get_token());
    {
        auto row = connection->executeQuery("SELECT count(*) AS n FROM t");
        ASSERT_TRUE(row.next());
        EXPECT_EQ(row.intForColumn("n"), 2);
    }
    stop.request_stop();
    auto row = connection->executeQuery(kLong);
    ASSERT_TRUE(row);
    EXPECT_FALSE(row.next());
    EXPECT_TRUE(row.failed());
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

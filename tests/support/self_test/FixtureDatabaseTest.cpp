#include "support/FixtureDatabase.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>

using namespace testsupport;

namespace {

std::string FileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads one integer through a connection of its own, as the code under test will.
std::int64_t PragmaOf(const std::filesystem::path& file, const char* pragma) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = -1;
    const std::string sql = std::string("PRAGMA ") + pragma;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

}  // namespace

TEST(FixtureDatabase, KeepsLayoutOptionsAndDeletedTextInTheFile) {
    TempDir dir;
    const auto file = dir / "sms.db";
    const std::string deletedText = "deleted text the carver must find";
    {
        auto db = FixtureDatabase::FromSchema(file, "sms-ios9.sql", {1024, AutoVacuum::Full});
        const auto handle = db.insert("handle", {{"id", "+4915112345678"}, {"service", "SMS"}});
        db.insert("message", {{"guid", "kept"}, {"text", "kept text"}, {"handle_id", handle}});
        const auto gone = db.insert("message", {{"guid", "gone"}, {"text", deletedText}});
        EXPECT_TRUE(db.deleteRow("message", gone));
        EXPECT_FALSE(db.deleteRow("message", gone));
        EXPECT_EQ(db.deleteWhere("message", "guid = 'nothing'"), 0);
        EXPECT_EQ(db.queryValue("SELECT text FROM message"), ColumnValue("kept text"));
        EXPECT_EQ(db.queryValue("SELECT guid FROM deleted_messages"), ColumnValue("gone"));
        db.close();
        EXPECT_THROW(db.close(), std::runtime_error);
    }
    EXPECT_EQ(PragmaOf(file, "page_size"), 1024);
    EXPECT_EQ(PragmaOf(file, "auto_vacuum"), static_cast<int>(AutoVacuum::Full));
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-journal"));
    EXPECT_NE(FileBytes(file).find(deletedText), std::string::npos);

    // A second build at the same place starts from an empty file.
    auto again = FixtureDatabase::FromSchema(file, "sms-ios9.sql");
    EXPECT_EQ(again.queryValue("SELECT count(*) FROM message"), ColumnValue(0));
}

TEST(FixtureDatabase, EveryKindOfValueRoundTrips) {
    TempDir dir;
    FixtureDatabase db(dir / "values.db");
    db.exec("CREATE TABLE t(v);  -- no declared type, so nothing is converted");
    const ColumnValue cases[] = {ColumnValue::Null(), ColumnValue(std::int64_t{-9007199254740993}),
                                 ColumnValue(2.5),     ColumnValue(std::string("")),
                                 ColumnValue("Grüße"), ColumnValue(Bytes{}),
                                 ColumnValue(Bytes{0, 0xff, 'x'})};
    for (const auto& value : cases) {
        const auto rowId = db.insert("t", {{"v", value}});
        EXPECT_EQ(db.queryValue("SELECT v FROM t WHERE rowid = " + std::to_string(rowId)), value)
            << "row " << rowId;
    }
}

TEST(FixtureDatabase, FailuresNameTheMessageAndTheStatement) {
    TempDir dir;
    FixtureDatabase db(dir / "errors.db");
    try {
        db.insert("missing_table", {{"a", 1}});
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("no such table: missing_table"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("INSERT INTO \"missing_table\""), std::string::npos);
    }
    EXPECT_THROW(db.queryValue("SELECT 1; SELECT 2"), std::runtime_error);
    EXPECT_THROW(FixtureDatabase(dir / "odd.db", {1000}), std::runtime_error);
    EXPECT_THROW(LoadSchema("no-such-schema.sql"), std::runtime_error);
}

TEST(FixtureDatabase, EverySchemaFileLoads) {
    struct Case {
        const char* schemaFile;
        const char* table;  // one table the file must create
    };
    const Case cases[] = {
        {"addressbook.sql", "ABPerson"},
        {"addressbook-ios4.sql", "ABPersonSearchKey"},
        {"addressbook-ios7.sql", "ABPersonFullTextSearch_content"},
        {"calendar-ios4.sql", "Event"},
        {"calendar-ios9.sql", "CalendarItem"},
        {"calendar.sql", "CalendarItem"},
        {"call_history-ios4.sql", "call"},
        {"call_history-ios421.sql", "call"},
        {"call_history-ios7.sql", "call"},
        {"callhistory-storedata-ios8.sql", "ZCALLRECORD"},
        {"notes-ios4.sql", "ZNOTEBODY"},
        {"notes-ios7.sql", "ZNOTE"},
        {"notestore-ios9.sql", "ZICNOTEDATA"},
        {"photos-ios4.sql", "Photo"},
        {"photos-ios6.sql", "ZGENERICASSET"},
        {"photos.sql", "ZGENERICASSET"},
        {"safari-history.sql", "history_items"},
        {"skype-main.sql", "Messages"},
        {"sms-ios4.sql", "msg_group"},
        {"sms-ios5.sql", "madrid_chat"},
        {"sms-ios5-device.sql", "madrid_attachment"},
        {"sms-ios6.sql", "chat_handle_join"},
        {"sms-ios9.sql", "deleted_messages"},
        {"whatsapp-chatstorage.sql", "ZWAMESSAGE"},
        {"whatsapp-chatstorage-2012.sql", "ZWACHATSESSION"},
    };
    TempDir dir;
    std::set<std::string> covered;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schemaFile);
        covered.insert(c.schemaFile);
        auto db = FixtureDatabase::FromSchema(dir / "fixture.db", c.schemaFile);
        EXPECT_EQ(db.queryValue("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '" +
                                std::string(c.table) + "'"),
                  ColumnValue(1));
    }
    // A schema file added later must be added above too.
    for (const auto& entry : std::filesystem::directory_iterator(SchemaDir())) {
        if (entry.path().extension() == ".sql") {
            EXPECT_TRUE(covered.count(entry.path().filename().string()))
                << entry.path().filename() << " is not checked";
        }
    }
}

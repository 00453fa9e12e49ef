// The signatures of the message link tables and of the address book follow the real tables: one
// position per column in the table's order (or starting one column later, for rows whose first
// serial type a freeblock head overwrote), allowed serial types that fit each declared type,
// and mappings that name the columns the recoverers read.

#include "MessageContactFixtures.h"
#include "carving/HeaderMatcher.h"
#include "carving/SqLiteTableSignatures.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <iterator>
#include <map>
#include <set>
#include <sstream>

namespace {

using testsupport::FixtureDatabase;
using testsupport::TempDir;

struct Column {
    std::string name;
    std::string type;
    bool rowIdAlias = false;
};

std::vector<Column> TableColumns(sqlite3* db, const std::string& table) {
    sqlite3_stmt* info = nullptr;
    const std::string sql = "PRAGMA table_info('" + table + "')";
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &info, nullptr), SQLITE_OK);
    std::vector<Column> columns;
    int keyColumns = 0;
    while (sqlite3_step(info) == SQLITE_ROW) {
        Column column{reinterpret_cast<const char*>(sqlite3_column_text(info, 1)),
                      reinterpret_cast<const char*>(sqlite3_column_text(info, 2))};
        const int key = sqlite3_column_int(info, 5);
        keyColumns += key > 0;
        column.rowIdAlias = column.type == "INTEGER" && key == 1;
        columns.push_back(column);
    }
    sqlite3_finalize(info);
    // Only a primary key of one INTEGER column stands for the row id.
    if (keyColumns > 1)
        for (auto& column : columns) column.rowIdAlias = false;
    return columns;
}

std::vector<std::string> ColumnNames(const TablePattern& pattern) {
    std::istringstream in(pattern.columns().value_or(""));
    return {std::istream_iterator<std::string>(in), {}};
}

struct Triple {
    const char* database;
    const char* table;
    const char* schema;
    // The real table, or empty for the records of a unique index on a GUID (guid, then row id).
    const char* realTable;
    // Mapping name -> the real column it must name.
    std::map<std::string, std::string> mappings;
};

std::map<std::string, std::string> SameNames(std::initializer_list<const char*> names) {
    std::map<std::string, std::string> result;
    for (const char* name : names) result[name] = name;
    return result;
}

}  // namespace

TEST(MessageContactSignatures, PatternsFollowTheRealTables) {
    auto person = SameNames({"First", "Last", "FirstPhonetic", "MiddlePhonetic", "LastPhonetic",
                             "Organization", "Department", "Note", "Birthday", "JobTitle",
                             "Nickname", "Prefix", "Suffix", "CreationDate", "ModificationDate",
                             "DisplayName", "ImageURI"});
    person["Guid"] = "guid";
    const Triple triples[] = {
        {"sms.db", "HANDLE", "sms-ios9.sql", "handle", SameNames({"id", "country", "service"})},
        {"sms.db",
         "ChatMessageJoin",
         "sms-ios9.sql",
         "chat_message_join",
         {{"chatId", "chat_id"}, {"messageId", "message_id"}}},
        {"sms.db",
         "ChatHandleJoin",
         "sms-ios9.sql",
         "chat_handle_join",
         {{"chatId", "chat_id"}, {"handleId", "handle_id"}}},
        {"sms.db",
         "MessageGuidAndRowIdConnection",
         "sms-ios9.sql",
         "",
         {{"Guid", "guid"}, {"RowId", "rowid"}}},
        {"sms.db",
         "MessageChatGuidAndChatIdHandleConnection",
         "sms-ios9.sql",
         "",
         {{"Guid", "guid"}, {"RowId", "rowid"}}},
        {"AddressBook.sqlite", "ABPerson", "addressbook.sql", "ABPerson", person},
        {"AddressBook.sqlite", "ABPersonFullTextSearch_content", "addressbook.sql",
         "ABPersonFullTextSearch_content",
         SameNames({"c0First", "c1Last", "c2Middle", "c6Organization", "c15Phone", "c16Email",
                    "c17Address"})},
        {"AddressBook.sqlite",
         "ABMultiValue",
         "addressbook.sql",
         "ABMultiValue",
         {{"RecordId", "record_id"},
          {"Property", "property"},
          {"Identifier", "identifier"},
          {"Label", "label"},
          {"Value", "value"},
          {"Guid", "guid"}}},
    };
    for (const Triple& t : triples) {
        SCOPED_TRACE(t.table);
        const SQLiteSignature* signature =
            msgtest::AppSignatures()->Find("HomeDomain", t.database, t.table);
        ASSERT_NE(signature, nullptr);
        ASSERT_FALSE(signature->TablePatterns().empty());
        TempDir dir;
        auto db = FixtureDatabase::FromSchema(dir / "s.db", t.schema);
        const std::vector<Column> columns =
            std::string(t.realTable).empty()
                ? std::vector<Column>{{"guid", "TEXT"}, {"rowid", "INTEGER"}}
                : TableColumns(db.handle(), t.realTable);
        std::set<std::string> mapped;
        for (const auto& pattern : signature->TablePatterns()) {
            const auto names = ColumnNames(pattern);
            const auto header = pattern.Header();
            ASSERT_EQ(header.size(), names.size() + 1);
            ASSERT_FALSE(names.empty());
            // Patterns begin with the first column, or with the second when the first is the
            // row-id alias, whose serial type a freeblock head may have overwritten.
            const std::size_t first = names[0] == columns[0].name ? 0 : 1;
            ASSERT_TRUE(first == 0 || columns[0].rowIdAlias) << names[0];
            ASSERT_LE(first + names.size(), columns.size());
            for (std::size_t k = 0; k < names.size(); ++k) {
                const Column& column = columns[first + k];
                EXPECT_EQ(names[k], column.name) << "position " << k + 1;
                const SerialTypeSet allowed = SerialTypeSet::FromValues(header[k + 1]);
                if (column.rowIdAlias) {
                    EXPECT_TRUE(allowed.accepts(0) && !allowed.accepts(1) && !allowed.accepts(13))
                        << column.name;
                } else if (column.type == "INTEGER") {
                    EXPECT_TRUE(allowed.accepts(1) || allowed.accepts(4)) << column.name;
                    for (std::uint64_t type : {10, 11, 12, 13, 85, 200})
                        EXPECT_FALSE(allowed.accepts(type)) << column.name;
                } else if (column.type == "TEXT" || column.type == "BLOB") {
                    // Some text of 36 characters at least; never a number.
                    EXPECT_TRUE(allowed.accepts(85)) << column.name;
                    for (std::uint64_t type : {1, 4, 7})
                        EXPECT_FALSE(allowed.accepts(type)) << column.name;
                }
            }
            for (const auto& mapping : pattern.AttributesMapping()) {
                ASSERT_TRUE(mapping.Name().has_value());
                const auto expected = t.mappings.find(*mapping.Name());
                ASSERT_NE(expected, t.mappings.end())
                    << "a name no recoverer reads: " << *mapping.Name();
                ASSERT_GE(mapping.Column(), 1);
                ASSERT_LE(static_cast<std::size_t>(mapping.Column()), names.size());
                EXPECT_EQ(names[static_cast<std::size_t>(mapping.Column()) - 1], expected->second);
                mapped.insert(*mapping.Name());
            }
        }
        std::set<std::string> wanted;
        for (const auto& [name, column] : t.mappings) wanted.insert(name);
        EXPECT_EQ(mapped, wanted);
    }
}

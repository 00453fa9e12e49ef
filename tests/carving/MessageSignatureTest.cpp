// The message table signature of the application's signature file, against fixture databases built
// from the real schemas: rows are inserted and deleted with SQLite itself, and every deleted row
// whose bytes are still in the file must come back exactly.

#include "CarvingTestSupport.h"
#include "carving/SQLiteHeader.h"
#include "support/StoredRecords.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

using carvingtest::CarvedRow;
using carvingtest::MessageRowMaker;
using carvingtest::TestRecoverer;
using testsupport::AutoVacuum;
using testsupport::FileBytes;
using testsupport::FixtureDatabase;
using testsupport::Row;
using testsupport::StoredRow;
using testsupport::TempDir;

namespace {

std::vector<std::string> ColumnNames(const TablePattern& pattern) {
    std::istringstream in(pattern.columns().value_or(""));
    return {std::istream_iterator<std::string>(in), {}};
}

// What the pattern's mappings should have carved from a stored row: the value of each mapped
// column by mapping name; NULL columns hand over nothing.
std::map<std::string, ColumnValue> ExpectedValues(const TablePattern& pattern,
                                                  const StoredRow& row) {
    const auto names = ColumnNames(pattern);
    std::map<std::string, ColumnValue> expected;
    for (const auto& mapping : pattern.AttributesMapping()) {
        const auto column = static_cast<std::size_t>(mapping.Column());
        if (column == 0 || column > names.size()) continue;
        for (const auto& [name, value] : row)
            if (name == names[column - 1] && !value.isNull()) expected[*mapping.Name()] = value;
    }
    return expected;
}

// The key a row is known by: its guid, or for the old tables its text and date.
std::string KeyOf(const std::map<std::string, ColumnValue>& values) {
    auto text = [&](const char* name) {
        const auto it = values.find(name);
        return it == values.end() ? std::string("<none>") : it->second.toText().value_or("<null>");
    };
    if (values.count("guid")) return "guid:" + text("guid");
    return "old:" + text("date") + "|" + text("flags") + "|" + text("address");
}

struct Outcome {
    int carved = 0;
    int deleted = 0;
    int recoverable = 0;  // deleted rows whose bytes are still in the file
    // Recoverable deleted rows that did not come back exactly: always a fault.
    std::vector<std::string> missing;
    // Complete records that are no stored row, or a stored row with wrong values. A page
    // searched whole (a freelist or auto-vacuum sweep) holds stale copies of rows whose tail
    // later cells overwrote; elsewhere such a record is a fault.
    std::vector<std::string> problems;
};

// Carves the file with the given patterns and checks the result against the stored rows.
Outcome Check(const std::filesystem::path& file, const std::vector<TablePattern>& patterns,
              const std::vector<StoredRow>& live, const std::vector<StoredRow>& deleted,
              std::int32_t freeblockOffset = AbstractSqLiteRecovery::kDefaultFreeblockStartOffset) {
    TestRecoverer recoverer;
    recoverer.setTablePatterns(patterns);
    recoverer.setFreeblockStartOffset(freeblockOffset);
    // Everything the search decodes, live cells included: each record is checked against every
    // stored row, live or deleted.
    recoverer.setSkipsLiveCells(false);
    recoverer.DoRecoveryPath(file.string());

    // The stored rows by the key each pattern would carve them with.
    std::map<const TablePattern*, std::map<std::string, const StoredRow*>> byKey;
    auto sourceOf = [&](const TablePattern* pattern, const std::string& key) -> const StoredRow* {
        auto& keys = byKey[pattern];
        if (keys.empty())
            for (const auto* list : {&live, &deleted})
                for (const auto& row : *list)
                    keys.emplace(KeyOf(ExpectedValues(*pattern, row)), &row);
        const auto it = keys.find(key);
        return it == keys.end() ? nullptr : it->second;
    };

    Outcome outcome;
    std::set<const StoredRow*> exact;
    for (const auto& carved : recoverer.rows()) {
        ++outcome.carved;
        const StoredRow* source = sourceOf(carved->pattern, KeyOf(carved->values));
        if (!source) {
            // A header cut off by the end of an area matches as far as it goes; such a record
            // says it is incomplete, and recoverers may weigh it accordingly. A complete
            // record must be a row that was stored.
            if (carved->complete)
                outcome.problems.push_back("carved a row that was never stored: " +
                                           KeyOf(carved->values));
            continue;
        }
        const auto expected = ExpectedValues(*carved->pattern, *source);
        if (carved->values == expected) {
            exact.insert(source);
            continue;
        }
        // A copy cut short by the end of its area may lack its last values or have its last
        // text cut; what it has must still be right.
        for (const auto& [name, value] : carved->values) {
            const auto it = expected.find(name);
            const bool cutText = value.isText() && it != expected.end() && it->second.isText() &&
                                 it->second.text()->rfind(*value.text(), 0) == 0;
            if (it == expected.end() || (!(it->second == value) && !cutText)) {
                outcome.problems.push_back("wrong " + name + " in " + KeyOf(carved->values));
                break;
            }
        }
    }
    const Bytes bytes = FileBytes(file);
    const auto small = SQLiteHeader(file.string()).WritesSmallIntegersAsOneByte()
                           ? testsupport::SmallIntegers::AsOneByte
                           : testsupport::SmallIntegers::AsConstants;
    for (const auto& row : deleted) {
        ++outcome.deleted;
        const Bytes tail = testsupport::RecordTail(row, testsupport::IntegralReals::AsReals, small);
        if (!testsupport::ContainsBytes(bytes, tail)) continue;
        ++outcome.recoverable;
        if (!exact.count(&row))
            outcome.missing.push_back("not carved back: row " +
                                      row[0].second.toText().value_or("?"));
    }
    return outcome;
}

struct Scenario {
    const char* schema;
    int pageSize;
    AutoVacuum autoVacuum;
};

std::string Name(const testing::TestParamInfo<Scenario>& info) {
    std::string schema = info.param.schema;
    schema = schema.substr(0, schema.find('.'));
    std::replace(schema.begin(), schema.end(), '-', '_');
    static const char* kVacuum[] = {"plain", "autovacuum", "incremental"};
    return schema + "_" + std::to_string(info.param.pageSize) + "_" +
           kVacuum[static_cast<int>(info.param.autoVacuum)];
}

class MessageCarving : public testing::TestWithParam<Scenario> {};

}  // namespace

// Rows of the iOS 6 and iOS 9 message tables, deleted one by one (freeblocks), the newest
// (the page's unallocated gap) and a run of 40 (whole pages to the freelist).
TEST_P(MessageCarving, DeletedRowsComeBackExactly) {
    const Scenario& s = GetParam();
    TempDir dir;
    const auto path = dir / "sms.db";
    auto db = FixtureDatabase::FromSchema(path, s.schema, {s.pageSize, s.autoVacuum});
    const bool iOS9 = std::string(s.schema) == "sms-ios9.sql";
    MessageRowMaker maker(static_cast<unsigned>(s.pageSize) + static_cast<unsigned>(s.autoVacuum),
                          s.pageSize == 1024 ? 700 : 1500);
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 160; ++i) ids.push_back(db.insert("message", maker.next(iOS9)));

    std::vector<StoredRow> live, deleted;
    std::set<std::int64_t> gone;
    for (std::size_t i = 3; i < ids.size(); i += 7) gone.insert(ids[i]);
    for (std::size_t i = 60; i < 100; ++i) gone.insert(ids[i]);
    gone.insert(ids.back());
    for (const auto id : ids)
        (gone.count(id) ? deleted : live)
            .push_back(testsupport::ReadStoredRow(db.handle(), "message", id));
    for (const auto id : ids)
        if (gone.count(id)) db.deleteRow("message", id);
    db.close();

    const auto outcome = Check(path, carvingtest::MessagePatterns(), live, deleted);
    EXPECT_EQ(outcome.deleted, static_cast<int>(gone.size()));
    // Most deleted rows survive; the others were overwritten when SQLite rebalanced pages, and
    // an auto-vacuum file drops freed pages at once.
    EXPECT_GE(outcome.recoverable * 10,
              outcome.deleted * (s.autoVacuum == AutoVacuum::None ? 6 : 2));
    // Where pages are searched whole (an auto-vacuum file after its last root page), a stale copy
    // whose tail a later copy overwrote is decoded first and can hide that later copy.
    if (s.autoVacuum == AutoVacuum::None)
        for (const auto& m : outcome.missing) ADD_FAILURE() << m;
    else
        EXPECT_LE(outcome.missing.size() * 10, static_cast<std::size_t>(outcome.recoverable));
    // These files have pages searched whole; their stale copies are a small minority.
    EXPECT_LE(outcome.problems.size() * 10, static_cast<std::size_t>(outcome.carved))
        << outcome.problems.size() << " stale or foreign records of " << outcome.carved;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MessageCarving,
                         testing::Values(Scenario{"sms-ios9.sql", 1024, AutoVacuum::None},
                                         Scenario{"sms-ios9.sql", 4096, AutoVacuum::None},
                                         Scenario{"sms-ios9.sql", 1024, AutoVacuum::Full},
                                         Scenario{"sms-ios9.sql", 4096, AutoVacuum::Full},
                                         Scenario{"sms-ios9.sql", 4096, AutoVacuum::Incremental},
                                         Scenario{"sms-ios6.sql", 1024, AutoVacuum::None},
                                         Scenario{"sms-ios6.sql", 4096, AutoVacuum::Full}),
                         Name);

// Pages searched whole (here an auto-vacuum file after its last root page) hold live rows: the
// engine hands none of them over, so that none can come back as a deleted row, whatever
// SQLite can say of the file. The search itself still finds them, and knows where they lie.
// (Stale copies of live rows in free space are not live cells: recoverers know them by their
// identity.)
TEST(MessageSignature, RecordsInLiveCellsAreLeftOut) {
    TempDir dir;
    const auto path = dir / "sms.db";
    auto db = FixtureDatabase::FromSchema(path, "sms-ios9.sql", {1024, AutoVacuum::Full});
    MessageRowMaker maker(1025, 700);
    std::set<std::string> liveGuids;
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 160; ++i) {
        const Row row = maker.next(true);
        ids.push_back(db.insert("message", row));
        liveGuids.insert(carvingtest::TextOf(row, "guid"));
    }
    for (std::size_t i = 3; i < ids.size(); i += 7) {
        liveGuids.erase(
            db.queryValue("SELECT guid FROM message WHERE ROWID = " + std::to_string(ids[i]))
                .toText()
                .value_or(""));
        db.deleteRow("message", ids[i]);
    }
    db.close();
    // SQLite cannot read the file any more; the live cells are known from the file itself.
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(23).put('\xFF');

    const auto carve = [&](bool skips) {
        TestRecoverer recoverer;
        recoverer.setTablePatterns(carvingtest::MessagePatterns());
        recoverer.setSkipsLiveCells(skips);
        recoverer.DoRecoveryPath(path.string());
        return recoverer.rows();
    };
    const auto isLive = [&](const std::shared_ptr<CarvedRow>& row) {
        const auto guid = row->values.find("guid");
        return guid != row->values.end() && liveGuids.count(guid->second.toText().value_or(""));
    };
    const auto everything = carve(false);
    const auto inLiveCells = std::count_if(everything.begin(), everything.end(),
                                           [](const auto& row) { return row->inLiveCell; });
    EXPECT_GT(inLiveCells, 20);
    for (const auto& row : everything) {
        if (row->inLiveCell) {
            EXPECT_TRUE(isLive(row)) << KeyOf(row->values);
        }
    }
    const auto left = carve(true);
    EXPECT_EQ(left.size(), everything.size() - static_cast<std::size_t>(inLiveCells));
    // What is left lies outside live cells; a stale copy of a live row among it is for the
    // recoverer to know by its guid.
    for (const auto& row : left) EXPECT_FALSE(row->inLiveCell);
}

// A table that grew: rows written before and after the 13 iOS 9 columns were added share pages,
// and both kinds are carved with the length they were written with.
TEST(MessageSignature, RowsOfBothLengthsInOneFile) {
    TempDir dir;
    const auto path = dir / "sms.db";
    auto db = FixtureDatabase::FromSchema(path, "sms-ios6.sql", {4096, AutoVacuum::None});
    MessageRowMaker maker(11, 1200);
    // Each row as stored when it was written: the older ones keep their 38 columns.
    std::vector<std::int64_t> ids;
    std::vector<StoredRow> stored;
    auto add = [&](bool iOS9) {
        ids.push_back(db.insert("message", maker.next(iOS9)));
        stored.push_back(testsupport::ReadStoredRow(db.handle(), "message", ids.back()));
    };
    for (int i = 0; i < 30; ++i) add(false);
    for (const char* column :
         {"is_audio_message INTEGER DEFAULT 0", "is_played INTEGER DEFAULT 0",
          "date_played INTEGER", "item_type INTEGER DEFAULT 0", "other_handle INTEGER DEFAULT 0",
          "group_title TEXT", "group_action_type INTEGER DEFAULT 0",
          "share_status INTEGER DEFAULT 0", "share_direction INTEGER DEFAULT 0",
          "is_expirable INTEGER DEFAULT 0", "expire_state INTEGER DEFAULT 0",
          "message_action_type INTEGER DEFAULT 0", "message_source INTEGER DEFAULT 0"})
        db.exec(std::string("ALTER TABLE message ADD COLUMN ") + column);
    for (int i = 0; i < 30; ++i) add(true);
    std::vector<StoredRow> live, deleted;
    for (std::size_t i = 0; i < ids.size(); ++i) (i % 3 == 1 ? deleted : live).push_back(stored[i]);
    for (std::size_t i = 1; i < ids.size(); i += 3) db.deleteRow("message", ids[i]);
    db.close();

    const auto outcome = Check(path, carvingtest::MessagePatterns(), live, deleted);
    EXPECT_EQ(outcome.recoverable, outcome.deleted);
    for (const auto& m : outcome.missing) ADD_FAILURE() << m;
    for (const auto& p : outcome.problems) ADD_FAILURE() << p;
}

// The older tables, by the versions their recoverers ask for. A phone that was first set up
// with an early release keeps the schema format its first SQLite gave the file (1), in which
// the integers 0 and 1 are one-byte integers where a later format writes the serial types 8
// and 9; the rows come back from such files as well.
TEST(MessageSignature, OlderTablesByVersion) {
    struct Case {
        const char* schema;
        const char* version;
        int schemaFormat;
    };
    for (const Case c : {Case{"sms-ios5.sql", "iOS6", 4}, Case{"sms-ios5-device.sql", "iOS6", 4},
                         Case{"sms-ios4.sql", "iOS4", 4}, Case{"sms-ios4.sql", "iOS4", 1},
                         Case{"sms-ios5-device.sql", "iOS6", 1}}) {
        SCOPED_TRACE(std::string(c.schema) + ", schema format " + std::to_string(c.schemaFormat));
        TempDir dir;
        const auto path = dir / "sms.db";
        auto db = FixtureDatabase::FromSchema(path, c.schema, {4096, AutoVacuum::None});
        if (c.schemaFormat != 4) db.setSchemaFormat(c.schemaFormat);
        std::mt19937 random(5);
        std::vector<std::int64_t> ids;
        const bool iOS5 = std::string(c.schema) != "sms-ios4.sql";
        for (int i = 0; i < 80; ++i) {
            // Only iMessage rows (iOS 5) lack an address.
            const bool iMessage = iOS5 && i % 3 == 0;
            Row row = {{"address", iMessage ? ColumnValue::Null()
                                            : ColumnValue("+49151" + std::to_string(1000000 + i))},
                       {"date", std::int64_t{1300000000 + i * 3600}},
                       {"text", i % 5 == 0 ? ColumnValue::Null()
                                           : ColumnValue("Nachricht Nummer " + std::to_string(i) +
                                                         " – bis später")},
                       {"flags", std::int64_t{i % 2 ? 2 : 3}},
                       {"group_id", std::int64_t{1 + i % 4}},
                       {"read", std::int64_t{i % 2}}};
            if (iOS5) {
                row.emplace_back("is_madrid", std::int64_t{iMessage});
                if (iMessage) {
                    row.emplace_back("madrid_handle", "anna@example.com");
                    row.emplace_back("madrid_date_read", std::int64_t{330000000 + i});
                    row.emplace_back("madrid_date_delivered", std::int64_t{330000000 + i + 1});
                }
            }
            ids.push_back(db.insert("message", row));
        }
        std::vector<StoredRow> live, deleted;
        for (std::size_t i = 0; i < ids.size(); ++i)
            (i % 4 == 2 ? deleted : live)
                .push_back(testsupport::ReadStoredRow(db.handle(), "message", ids[i]));
        for (std::size_t i = 2; i < ids.size(); i += 4) db.deleteRow("message", ids[i]);
        db.close();

        const auto patterns = carvingtest::RealSignatures()
                                  ->Find("HomeDomain", "sms.db", "MESSAGE")
                                  ->FindPatternsByVersion(c.version);
        ASSERT_FALSE(patterns.empty()) << c.version;
        const auto outcome = Check(path, patterns, live, deleted);
        EXPECT_GE(outcome.recoverable * 10, outcome.deleted * 8) << c.schema;
        for (const auto& m : outcome.missing) ADD_FAILURE() << c.schema << ": " << m;
        for (const auto& p : outcome.problems) ADD_FAILURE() << c.schema << ": " << p;
        // The message recoverer of current releases tries every pattern and finds them as well.
        const auto all = Check(path, carvingtest::MessagePatterns(), live, deleted);
        for (const auto& m : all.missing) ADD_FAILURE() << c.schema << " (all patterns): " << m;
        for (const auto& p : all.problems) ADD_FAILURE() << c.schema << " (all patterns): " << p;
    }
}

// A freed cell keeps its header after a later row has taken the end of its space: the values
// whose bytes that row wrote over are that row's, not the freed one's. They stay empty; the
// freed row keeps what is its own, and the later row is carved as well.
TEST(MessageSignature, ValuesInBytesALaterRowOverwroteStayEmpty) {
    TempDir dir;
    const auto path = dir / "sms.db";
    auto db = FixtureDatabase::FromSchema(path, "sms-ios6.sql", {4096, AutoVacuum::None});
    const auto message = [](const char* guid, const char* text, std::int64_t date,
                            std::size_t body) {
        return Row{{"guid", guid},          {"text", text},
                   {"handle_id", 3},        {"attributedBody", Bytes(body, 0x84)},
                   {"service", "iMessage"}, {"account", "e:anna@example.com"},
                   {"date", date},          {"date_read", date + 60},
                   {"is_read", 1}};
    };
    const char* kFreed = "CA50CAA3-7BC7-4843-A2B9-0E81C811D138";
    const char* kLater = "3BB5EECE-F85C-44A2-9C44-731C03BBA810";
    const std::int64_t freed = db.insert("message", message(kFreed, "oka deba", 420000000, 400));
    db.insert("message", message("0D1E6F52-1B43-4B8D-8E59-6A1C7A2D9F01", "below", 420000100, 40));
    // The first row's cell becomes a freeblock; a shorter row takes its end, then goes too.
    db.deleteRow("message", freed);
    const Row laterRow = message(kLater, "Ts tonga", 430000000, 20);
    const std::int64_t later = db.insert("message", laterRow);
    const StoredRow laterStored = testsupport::ReadStoredRow(db.handle(), "message", later);
    db.deleteRow("message", later);
    db.close();
    const Bytes bytes = FileBytes(path);
    ASSERT_TRUE(testsupport::ContainsBytes(bytes, testsupport::RecordTail(laterStored)));

    TestRecoverer recoverer;
    recoverer.setTablePatterns(carvingtest::MessagePatterns());
    recoverer.DoRecoveryPath(path.string());
    const auto byGuid = recoverer.rowsBy("guid");
    ASSERT_EQ(byGuid.count(kFreed), 1u);
    const auto& values = byGuid.at(kFreed)->values;
    EXPECT_EQ(values.at("text"), ColumnValue("oka deba"));
    EXPECT_EQ(values.count("date"), 0u);
    EXPECT_FALSE(byGuid.at(kFreed)->complete);
    ASSERT_EQ(byGuid.count(kLater), 1u);
    EXPECT_EQ(byGuid.at(kLater)->values.at("text"), ColumnValue("Ts tonga"));
    EXPECT_EQ(byGuid.at(kLater)->values.at("date"), ColumnValue(std::int64_t{430000000}));
}

// A freeblock's head overwrites only the start of a freed cell, so the content of a record found
// in a freeblock begins right after its header; a shift of one byte garbles every value.
TEST(MessageSignature, FreeblockRecordsNeedNoShift) {
    TempDir dir;
    const auto path = dir / "sms.db";
    auto db = FixtureDatabase::FromSchema(path, "sms-ios9.sql", {4096, AutoVacuum::None});
    MessageRowMaker maker(3, 900);
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 40; ++i) ids.push_back(db.insert("message", maker.next()));
    std::vector<StoredRow> live, deleted;
    for (std::size_t i = 0; i < ids.size(); ++i)
        (i % 5 == 2 ? deleted : live)
            .push_back(testsupport::ReadStoredRow(db.handle(), "message", ids[i]));
    for (std::size_t i = 2; i < ids.size(); i += 5) db.deleteRow("message", ids[i]);
    db.close();
    const auto right = Check(path, carvingtest::MessagePatterns(), live, deleted, 0);
    EXPECT_TRUE(right.problems.empty() && right.missing.empty());
    const auto shifted = Check(path, carvingtest::MessagePatterns(), live, deleted, 1);
    EXPECT_FALSE(shifted.problems.empty() && shifted.missing.empty());
}

// The patterns follow the real tables: one position per column plus the header byte, in the
// table's column order, each allowing what the column's declared type can hold, and mappings
// that name the columns the recoverers expect.
TEST(MessageSignature, PatternsFollowTheSchemas) {
    const SQLiteSignature* signature =
        carvingtest::RealSignatures()->Find("HomeDomain", "sms.db", "MESSAGE");
    ASSERT_NE(signature, nullptr);
    // Mapping names and the columns they must name, per layout.
    const std::map<std::string, std::string> modern = {{"guid", "guid"},
                                                       {"text", "text"},
                                                       {"handle_id", "handle_id"},
                                                       {"service", "service"},
                                                       {"account", "account"},
                                                       {"account_guid", "account_guid"},
                                                       {"date", "date"},
                                                       {"date_read", "date_read"},
                                                       {"date_delivered", "date_delivered"},
                                                       {"is_from_me", "is_from_me"}};
    const std::map<std::string, std::string> older = {{"text", "text"},
                                                      {"address", "address"},
                                                      {"flags", "flags"},
                                                      {"date", "date"},
                                                      {"date_read", "madrid_date_read"},
                                                      {"date_delivered", "madrid_date_delivered"},
                                                      {"is_madrid", "is_madrid"}};
    for (const auto& pattern : signature->TablePatterns()) {
        const auto names = ColumnNames(pattern);
        const bool isModern = std::find(names.begin(), names.end(), "guid") != names.end();
        // Patterns for short rows whose first serial type a freeblock head overwrote start
        // with the second column.
        const std::size_t first = names.empty() || names[0] == "ROWID" ? 0 : 1;
        // A table that iOS 5 created keeps madrid_account_guid after madrid_account; a migrated
        // one at the end.
        const auto account = std::find(names.begin(), names.end(), "madrid_account");
        const bool guidInside = account != names.end() && account + 1 != names.end() &&
                                account[1] == "madrid_account_guid";
        const char* schema = isModern     ? "sms-ios9.sql"
                             : guidInside ? "sms-ios5-device.sql"
                                          : "sms-ios5.sql";
        TempDir dir;
        auto db = FixtureDatabase::FromSchema(dir / "s.db", schema);
        sqlite3_stmt* info = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.handle(), "PRAGMA table_info(message)", -1, &info, nullptr),
                  SQLITE_OK);
        std::vector<std::pair<std::string, std::string>> columns;  // name, declared type
        while (sqlite3_step(info) == SQLITE_ROW)
            columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)),
                                 reinterpret_cast<const char*>(sqlite3_column_text(info, 2)));
        sqlite3_finalize(info);

        const auto header = pattern.Header();
        ASSERT_EQ(header.size(), names.size() + 1);
        ASSERT_LE(names.size() + first, columns.size());
        for (std::size_t k = 0; k < names.size(); ++k) {
            EXPECT_EQ(names[k], columns[k + first].first) << "position " << k + 1;
            const SerialTypeSet allowed = SerialTypeSet::FromValues(header[k + 1]);
            const std::string type = columns[k + first].second;
            if (k + first == 0) {
                EXPECT_TRUE(allowed.accepts(0) && !allowed.accepts(1) && !allowed.accepts(13));
            } else if (type == "INTEGER") {
                // Some integer; never a text or blob.
                EXPECT_TRUE(allowed.accepts(1) || allowed.accepts(4) || allowed.accepts(9))
                    << names[k];
                for (std::uint64_t t : {10, 11, 12, 13, 200})
                    EXPECT_FALSE(allowed.accepts(t)) << names[k];
            } else {  // TEXT and BLOB: a text or blob of any length from one byte on
                for (std::uint64_t t : {15, 16, 99, 500, 100001})
                    EXPECT_TRUE(allowed.accepts(t)) << names[k];
                EXPECT_FALSE(allowed.accepts(1)) << names[k];
            }
        }
        for (const auto& mapping : pattern.AttributesMapping()) {
            const auto& expectedNames = isModern ? modern : older;
            ASSERT_TRUE(expectedNames.count(*mapping.Name())) << *mapping.Name();
            ASSERT_GE(mapping.Column(), 1);
            ASSERT_LE(static_cast<std::size_t>(mapping.Column()), names.size());
            EXPECT_EQ(names[static_cast<std::size_t>(mapping.Column()) - 1],
                      expectedNames.at(*mapping.Name()));
        }
    }
    EXPECT_FALSE(signature->FindPatternsByVersion("iOS6").empty());
    EXPECT_FALSE(signature->FindPatternsByVersion("iOS4").empty());
}

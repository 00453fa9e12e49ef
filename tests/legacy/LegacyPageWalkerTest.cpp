// The older page walker of the messages database: the header it reads, the freelist and b-tree
// walks over a real messages database, and damaged copies of it.

#include "legacy/LegacyPageWalker.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/SMS.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

FileBytes View(const Bytes& bytes) {
    return {bytes.data(), bytes.size()};
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::uint32_t Get32(const Bytes& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

// A messages database of iOS 6 with 1 KB pages: 300 messages written, all but `kept` deleted, so
// the freed pages go to the freelist with their records in them.
Bytes MessagesDatabase(const testsupport::TempDir& dir, int kept = 10,
                       testsupport::AutoVacuum vacuum = testsupport::AutoVacuum::None) {
    const auto path = dir / "sms.db";
    auto db = testsupport::FixtureDatabase::FromSchema(path, "sms-ios6.sql", {1024, vacuum});
    for (int i = 0; i < 300; ++i)
        db.insert("message", {{"guid", "GUID-" + std::to_string(i)},
                              {"text", "Deleted message number " + std::to_string(i) + " of the test"},
                              {"service", "SMS"},
                              {"date", 370000000 + i}});
    db.deleteWhere("message", "ROWID > " + std::to_string(kept));
    db.close();
    return ReadAll(path);
}

struct WalkRun {
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::unique_ptr<LegacyRecovery> legacy;
    std::unique_ptr<LegacyPageWalker> walker;

    explicit WalkRun(std::stop_token stop = {}) {
        device.setIOSMajorVersion(6);
        legacy = std::make_unique<LegacyRecovery>(testsupport::ContextFor(record, device, stop));
        walker = std::make_unique<LegacyPageWalker>(*legacy);
        auto earlier = std::make_shared<SMS>();
        earlier->setMessage("listed before the walk");
        record.DeletedSMS.append(earlier);
    }
};

bool EachPageOnceInsideTheFile(const std::vector<std::int64_t>& pages, std::int64_t pageCount) {
    const std::set<std::int64_t> distinct(pages.begin(), pages.end());
    return distinct.size() == pages.size() &&
           std::all_of(pages.begin(), pages.end(), [&](std::int64_t p) { return p >= 1 && p <= pageCount; });
}

}  // namespace

TEST(LegacyPageWalker, WalksEveryFreelistPageOfAMessagesDatabase) {
    testsupport::TempDir dir;
    const Bytes bytes = MessagesDatabase(dir);
    WalkRun run;
    const SQLiteHeader header = run.walker->ReadSQLiteDatabaseHeader((dir / "sms.db").string());
    EXPECT_EQ(header.Signature().substr(0, 16), std::string("SQLite format 3\0", 16));
    EXPECT_EQ(header.PageSize(), 1024);
    EXPECT_EQ(header.NumberOfPages(), static_cast<std::int64_t>(bytes.size() / 1024));
    EXPECT_GT(header.PageNumberOfFirstListTrunkPage(), 0);
    EXPECT_GT(header.TotalNumberOfFreeListPages(), 5);
    EXPECT_FALSE(header.IsAutoVacuum());

    run.legacy->setDatabaseBytes(DatabaseRole::Messages, View(bytes));
    EXPECT_TRUE(run.walker->MessagesSQLiteRecovery());
    const auto& walked = run.walker->pagesWalked();
    EXPECT_EQ(static_cast<std::int64_t>(walked.size()), header.TotalNumberOfFreeListPages());
    EXPECT_EQ(walked.front(), header.PageNumberOfFirstListTrunkPage());
    EXPECT_TRUE(EachPageOnceInsideTheFile(walked, header.NumberOfPages()));
    // The freed pages still hold the deleted messages' records.
    EXPECT_GE(run.walker->headersFound(), 290);
    // The walk keeps no record: the deleted-message list ends empty.
    EXPECT_EQ(run.record.DeletedSMS.size(), 0u);

    // The same walk from the file itself.
    run.walker->DoRecovery((dir / "sms.db").string());
    EXPECT_EQ(run.walker->pagesWalked(), walked);
}

TEST(LegacyPageWalker, NothingToWalkOrNoFile) {
    testsupport::TempDir dir;
    // No row deleted: no freelist, nothing walked, the list is still replaced.
    const Bytes whole = MessagesDatabase(dir, 300);
    WalkRun run;
    run.legacy->setDatabaseBytes(DatabaseRole::Messages, View(whole));
    EXPECT_TRUE(run.walker->MessagesSQLiteRecovery());
    EXPECT_TRUE(run.walker->pagesWalked().empty());
    EXPECT_EQ(run.record.DeletedSMS.size(), 0u);

    // No messages database: false, and the list stays as it was.
    WalkRun missing;
    EXPECT_FALSE(missing.walker->MessagesSQLiteRecovery());
    EXPECT_EQ(missing.record.DeletedSMS.size(), 1u);

    // A stopped scan walks nothing.
    std::stop_source stop;
    stop.request_stop();
    const Bytes freed = MessagesDatabase(dir);
    WalkRun stopped(stop.get_token());
    stopped.legacy->setDatabaseBytes(DatabaseRole::Messages, View(freed));
    stopped.walker->MessagesSQLiteRecovery();
    EXPECT_TRUE(stopped.walker->pagesWalked().empty());
}

TEST(LegacyPageWalker, DamagedFilesAreWalkedWithinTheirBounds) {
    testsupport::TempDir dir;
    const Bytes good = MessagesDatabase(dir);
    const std::uint32_t trunk = Get32(good, 32);
    const std::size_t trunkAt = (trunk - 1) * 1024;
    const std::uint32_t leaves = Get32(good, trunkAt + 4);
    const std::int64_t freePages = Get32(good, 36);
    ASSERT_EQ(Get32(good, trunkAt), 0u) << "the fixture's freelist has one trunk page";

    const struct {
        const char* name;
        std::function<void(Bytes&)> damage;
        std::optional<std::int64_t> walked;  // pages walked, when known
    } cases[] = {
        {"shorter than a header", [](Bytes& b) { b.resize(60); }, 0},
        {"truncated inside the freelist", [&](Bytes& b) { b.resize(trunkAt + 1000); }, 0},
        {"truncated after the trunk page", [&](Bytes& b) { b.resize(trunkAt + 1024); }, std::nullopt},
        {"trunk page past the end", [](Bytes& b) { Put32(b, 32, 0x7FFFFFFF); }, 0},
        {"trunk page that lists itself next", [&](Bytes& b) { Put32(b, trunkAt, trunk); }, freePages},
        {"two trunk pages in a loop",
         [&](Bytes& b) {
             const std::uint32_t second = Get32(b, trunkAt + 8);
             Put32(b, trunkAt, second);
             Put32(b, (second - 1) * 1024, trunk);
             Put32(b, (second - 1) * 1024 + 4, 0);
         },
         freePages},
        {"leaf count beyond the page", [&](Bytes& b) { Put32(b, trunkAt + 4, 0xFFFFFFFF); }, std::nullopt},
        {"leaf pages past the end",
         [&](Bytes& b) {
             for (std::uint32_t i = 0; i < leaves; ++i) Put32(b, trunkAt + 8 + 4 * i, 0xFFFFFFF0 - i);
         },
         1},
        {"page size not a power of two", [](Bytes& b) { b[16] = 0x03, b[17] = 0x00; }, 0},
        {"page size 65536 in a smaller file", [](Bytes& b) { b[16] = 0x00, b[17] = 0x01; }, 0},
    };
    for (const auto& c : cases) {
        Bytes bytes = good;
        c.damage(bytes);
        WalkRun run;
        run.legacy->setDatabaseBytes(DatabaseRole::Messages, View(bytes));
        EXPECT_TRUE(run.walker->MessagesSQLiteRecovery()) << c.name;
        const auto& walked = run.walker->pagesWalked();
        EXPECT_TRUE(EachPageOnceInsideTheFile(walked, static_cast<std::int64_t>(bytes.size() / 1024))) << c.name;
        if (c.walked) {
            EXPECT_EQ(static_cast<std::int64_t>(walked.size()), *c.walked) << c.name;
        }
        EXPECT_EQ(run.record.DeletedSMS.size(), 0u) << c.name;
    }
}

TEST(LegacyPageWalker, BTreeWalksSkipMapAndIndexPages) {
    testsupport::TempDir dir;
    const Bytes vacuum = MessagesDatabase(dir, 300, testsupport::AutoVacuum::Full);
    WalkRun run;
    const SQLiteHeader header = run.walker->ReadSQLiteDatabaseHeader(View(vacuum));
    ASSERT_TRUE(header.IsAutoVacuum());
    const std::int64_t highest = header.HighestNUmberedRootPageNumber();
    const std::int64_t pages = static_cast<std::int64_t>(vacuum.size() / 1024);
    ASSERT_LT(highest, 207) << "one pointer-map page (page 2) maps the whole fixture";

    run.walker->DoRecovery(View(vacuum));
    EXPECT_TRUE(run.walker->pagesWalked().empty());
    run.walker->ProcessAutoVacuumSqliteDatabase(header);
    std::vector<std::int64_t> expected;
    for (std::int64_t i = 3; i <= highest; ++i) expected.push_back(i);
    EXPECT_EQ(run.walker->pagesWalked(), expected);
    EXPECT_GT(run.walker->headersFound(), 0);
    // The message rows lie mostly on pages added after the tables were made.
    run.walker->ProcessPagesAfterHighestNumberedRootPage(header);
    for (std::int64_t i = highest + 1; i <= pages; ++i)
        if ((i - 2) % 205 != 0) expected.push_back(i);  // 1024 / 5 pages mapped per map page
    EXPECT_EQ(run.walker->pagesWalked(), expected);
    EXPECT_GE(run.walker->headersFound(), 300);

    const Bytes plain = MessagesDatabase(dir);
    const SQLiteHeader plainHeader = run.walker->ReadSQLiteDatabaseHeader(View(plain));
    run.walker->DoRecovery(View(plain));
    run.walker->ProcessNonAutoVacuumSQLiteDatabase(plainHeader);
    const auto& walked = run.walker->pagesWalked();
    const std::set<std::int64_t> distinct(walked.begin(), walked.end());
    EXPECT_EQ(distinct.size(), walked.size());
    EXPECT_EQ(static_cast<std::int64_t>(walked.size()), plainHeader.NumberOfPages() - 2);
    EXPECT_EQ(*distinct.begin(), 3);

    // An index page is passed over; a table page with rows is carved.
    std::optional<std::int64_t> indexPage, tablePage;
    for (std::int64_t p = 3; p <= pages; ++p) {
        const std::uint8_t type = vacuum[(p - 1) * 1024];
        if (type == 10 && !indexPage) indexPage = p;
        if (type == 13 && !tablePage && vacuum[(p - 1) * 1024 + 4] > 0) tablePage = p;
    }
    ASSERT_TRUE(indexPage && tablePage);
    const auto pageView = [&](std::int64_t p) { return FileBytes(vacuum.data() + (p - 1) * 1024, 1024); };
    const std::int64_t before = run.walker->headersFound();
    run.walker->ProcessSQLitePage(pageView(*indexPage), *indexPage);
    EXPECT_EQ(run.walker->headersFound(), before);
    run.walker->ProcessSQLitePage(pageView(*tablePage), *tablePage);
    EXPECT_GT(run.walker->headersFound(), before);
}

TEST(LegacyPageWalker, RecordHeaderSearch) {
    Bytes blob = {0x04, 0x81, 0x00, 0x01};
    blob.insert(blob.end(), 58, 0xAB);
    blob.push_back(0x07);
    const struct {
        const char* name;
        Bytes page;
        std::int64_t offset;
        std::optional<std::int64_t> start;
        std::vector<std::pair<std::int64_t, std::int64_t>> header;
    } cases[] = {
        {"integer and text", {0x03, 0x01, 0x0F, 0x07, 'a'}, 0, 0, {{1, 1}, {15, 1}}},
        {"after zero bytes", {0x00, 0x00, 0x03, 0x01, 0x0F, 0x07, 'a'}, 0, 2, {{1, 1}, {15, 1}}},
        {"two-byte serial type", blob, 0, 0, {{128, 2}, {1, 1}}},
        {"text running past the end", {0x03, 0x01, 0x11, 0x07, 'a'}, 0, std::nullopt, {}},
        {"reserved serial type", {0x03, 0x0A, 0x01, 0x00}, 0, std::nullopt, {}},
        {"only NULLs", {0x03, 0x00, 0x00, 0x00, 0x00}, 0, std::nullopt, {}},
        {"header at the very end", {0x00, 0x00, 0x00, 0x03, 0x01}, 0, std::nullopt, {}},
        {"search begins past the header", {0x03, 0x01, 0x0F, 0x07, 'a'}, 1, std::nullopt, {}},
        {"empty page", {}, 0, std::nullopt, {}},
    };
    WalkRun run;
    for (const auto& c : cases) {
        const SQLiteTableHeaderInfo info = run.walker->FindSQLiteTableHeader(View(c.page), c.offset);
        EXPECT_EQ(info.Valid, c.start.has_value()) << c.name;
        if (!c.start || !info.Valid) continue;
        EXPECT_EQ(info.HeaderStartIndex, *c.start) << c.name;
        EXPECT_EQ(info.Header, c.header) << c.name;
        EXPECT_EQ(info.DataStartIndex(), *c.start + c.page[*c.start]) << c.name;
    }

    // Two records one after the other, then a header whose values run past the page.
    const Bytes page = {0x03, 0x01, 0x0F, 0x07, 'a', 0x03, 0x01, 0x0F, 0x08, 'b', 0x03, 0x01, 0x13, 0x01};
    run.walker->ParseHeaderAndData(View(page), 0);
    EXPECT_EQ(run.walker->headersFound(), 2);
    EXPECT_EQ(run.walker->FindIndexOfBytesForGuidDataContent(View(page), 0), -1);
    EXPECT_EQ(run.walker->FindIndexOfHeaderDefinitionBytesForMessageRowIdAndGuid(View(page), 0), -1);
}

TEST(LegacyPageWalker, EscapedUnicode) {
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {{"a\xc3\xa9", "a\\u00e9"},
                 {"\x7f", "\\u007f"},
                 {"~", "~"},
                 {"\xf0\x9f\x98\x80", "\\ud83d\\ude00"},
                 {"x\xff", "x\\ufffd"},
                 {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(LegacyPageWalker::escapedUnicode(c.text), c.escaped) << c.text;
}

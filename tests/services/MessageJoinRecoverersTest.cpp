// The recoverers of the messages database's link rows and handles, on real-schema files.

#include "services/MessageJoinRecoverers.h"

#include "MessageContactFixtures.h"
#include "carving/SQLiteTableHeaderInfo.h"
#include "records/BrimleyAppDelegate.h"
#include "records/MessageTableRecords.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

namespace {

using testsupport::ContextFor;

using testsupport::AutoVacuum;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

template <class Record>
std::vector<std::shared_ptr<Record>> Filtered(const AbstractSqLiteRecovery& recoverer) {
    std::vector<std::shared_ptr<Record>> records;
    for (const auto& record : recoverer.RecoveredFiltered())
        records.push_back(std::dynamic_pointer_cast<Record>(record));
    return records;
}

// A messages database whose link tables hold pairs that also make sense in the other table:
// handle 7 takes part in chat 3, while message 7 belongs to chat 2.
struct LinkDatabase {
    std::set<std::pair<std::int64_t, std::int64_t>> chatHandles, chatMessages;
    std::set<std::pair<std::int64_t, std::string>> messageGuids;
    std::set<std::tuple<std::int64_t, std::string, std::string>> chats;  // row id, guid, partner
};

LinkDatabase BuildLinks(const std::filesystem::path& path, int pageSize) {
    LinkDatabase links;
    auto db = FixtureDatabase::FromSchema(path, "sms-ios9.sql", {pageSize, AutoVacuum::None});
    for (int h = 1; h <= 7; ++h)
        db.insert(
            "handle",
            {{"id", "+49151000000" + std::to_string(h)}, {"country", "de"}, {"service", "SMS"}});
    for (int c = 1; c <= 3; ++c) {
        const std::string partner =
            c == 2 ? "anna@example.com" : "+49151000000" + std::to_string(c);
        const std::string guid = (c == 2 ? "iMessage;-;" : "SMS;-;") + partner;
        db.insert("chat",
                  {{"guid", guid}, {"style", std::int64_t{45}}, {"chat_identifier", partner}});
        links.chats.emplace(c, guid, partner);
    }
    for (auto [chat, handle] : {std::pair<int, int>{1, 1}, {2, 2}, {3, 3}, {3, 7}}) {
        db.insert("chat_handle_join",
                  {{"chat_id", std::int64_t{chat}}, {"handle_id", std::int64_t{handle}}});
        links.chatHandles.emplace(chat, handle);
    }
    std::mt19937 random(3);
    for (int m = 1; m <= 40; ++m) {
        std::string guid;
        for (int i = 0; i < 36; ++i)
            guid +=
                (i == 8 || i == 13 || i == 18 || i == 23) ? '-' : "0123456789ABCDEF"[random() % 16];
        const std::int64_t chat = m % 3 + 1;
        const std::int64_t id = db.insert("message", {{"guid", guid},
                                                      {"text", "Nachricht " + std::to_string(m)},
                                                      {"handle_id", chat},
                                                      {"date", std::int64_t{470000000 + m}}});
        db.insert("chat_message_join", {{"chat_id", chat}, {"message_id", id}});
        links.chatMessages.emplace(chat, id);
        links.messageGuids.emplace(id, guid);
    }
    // Messages 31 to 40 are gone from the message table while their links to their chats stay.
    db.deleteWhere("message", "ROWID > 30");
    db.close();
    return links;
}

class LinkRecoverers : public testing::TestWithParam<int> {
protected:
    void SetUp() override { record.recoverySignatures.set(msgtest::AppSignatures()); }
    BrimleyAppDelegate record;
};

}  // namespace

// The whole-page search finds every live link, and a pair is taken for the table it belongs to.
// The links of live messages are kept as well as those of deleted ones: on a file without
// deleted rows the lists still hold the links.
TEST_P(LinkRecoverers, FindTheLiveLinksOfEachTableAndNoOthers) {
    TempDir dir;
    const auto path = (dir / "sms.db").string();
    const LinkDatabase links = BuildLinks(path, GetParam());

    MessageChatHandleJoinSQLiteRecovery chatHandles(ContextFor(record));
    chatHandles.DoRecoveryPath(path);
    std::set<std::pair<std::int64_t, std::int64_t>> foundHandles;
    for (const auto& join : Filtered<ChatHandleJoin>(chatHandles))
        foundHandles.emplace(join->ChatId(), std::stoll(join->HandleId().value()));
    EXPECT_EQ(foundHandles, links.chatHandles);

    MessageChatMessageJoinSQLiteRecovery chatMessages(ContextFor(record));
    chatMessages.DoRecoveryPath(path);
    std::set<std::pair<std::int64_t, std::int64_t>> foundMessages;
    for (const auto& join : Filtered<ChatMessageJoin>(chatMessages))
        foundMessages.emplace(join->ChatId(), join->MessageId());
    EXPECT_EQ(foundMessages, links.chatMessages);

    MessageGuidAndRowIdConnectionSQLiteRecovery guids(ContextFor(record));
    guids.DoRecoveryPath(path);
    // The GUID index holds an entry per live message; one of a message that is gone may remain
    // (its freed cell lost its head).
    std::set<std::pair<std::int64_t, std::string>> foundGuids;
    for (const auto& link : Filtered<MessageGuidRowId>(guids))
        foundGuids.emplace(link->RowId(), link->Guid().value_or(""));
    for (const auto& link : foundGuids) EXPECT_EQ(links.messageGuids.count(link), 1u);
    std::set<std::pair<std::int64_t, std::string>> liveGuids;
    for (const auto& link : links.messageGuids)
        if (link.first <= 30) liveGuids.insert(link);
    EXPECT_TRUE(std::includes(foundGuids.begin(), foundGuids.end(), liveGuids.begin(),
                              liveGuids.end()));

    MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery chats(ContextFor(record));
    chats.DoRecoveryPath(path);
    std::set<std::tuple<std::int64_t, std::string, std::string>> foundChats;
    for (const auto& chat : Filtered<MessageChatGuidAndChatIdHandleConnection>(chats))
        foundChats.emplace(chat->RowId(), chat->Guid().value(), chat->Id().value_or(""));
    EXPECT_EQ(foundChats, links.chats);
}

INSTANTIATE_TEST_SUITE_P(PageSizes, LinkRecoverers, testing::Values(1024, 4096));

// Deleted handles come back when the live table no longer holds them, whether their row was
// freed into a freeblock or into the page's unallocated gap (the newest row).
TEST(MessageHandleRecovery, PassesOnOnlyHandlesTheLiveTableLacks) {
    TempDir dir;
    const auto path = (dir / "sms.db").string();
    auto db = FixtureDatabase::FromSchema(path, "sms-ios9.sql");
    struct Handle {
        const char* id;
        const char* country;
        const char* service;
        bool deleted;
    };
    const Handle handles[] = {{"+4915112345678", "de", "SMS", false},
                              {"bob@example.org", "us", "iMessage", true},
                              {"+4930123456", "de", "SMS", false},
                              {"+14155550100", "us", "SMS", false},
                              {"carla@example.net", "de", "iMessage", false},
                              {"+33612345678", "fr", "SMS", true}};
    std::vector<std::int64_t> ids;
    for (const Handle& h : handles)
        ids.push_back(
            db.insert("handle", {{"id", h.id}, {"country", h.country}, {"service", h.service}}));
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (handles[i].deleted) db.deleteRow("handle", ids[i]);
    db.close();

    BrimleyAppDelegate record;
    record.recoverySignatures.set(msgtest::AppSignatures());
    MessageHandleSQLiteRecovery recoverer(ContextFor(record));
    recoverer.DoRecoveryPath(path);
    std::set<std::tuple<std::string, std::string, std::string>> found, expected;
    for (const auto& handle : Filtered<MessageHandle>(recoverer))
        found.emplace(handle->Id().value(), handle->Country().value(), handle->Service().value());
    for (const Handle& h : handles)
        if (h.deleted) expected.emplace(h.id, h.country, h.service);
    EXPECT_EQ(found, expected);
}

TEST(MessageHandleRecovery, AddressesMustBePrintableAscii) {
    const std::pair<OptString, bool> cases[] = {
        {"+4915112345678", true}, {"anna@example.com", true}, {"", true},
        {std::nullopt, false},    {"M\xC3\xBCller", false},   {"tab\there", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(MessageHandleSQLiteRecovery::IsValid(text), valid) << text.value_or("<absent>");
}

TEST(MessageChatGuidRecovery, PartnerIsTheGuidsLastPart) {
    const std::pair<OptString, OptString> cases[] = {
        {"SMS;-;+4915112345678", "+4915112345678"},
        {"iMessage;+;chat123;x", "x"},
        {"no separator", std::nullopt},
        {"ends in separator;", std::nullopt},
        {";only first", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [guid, partner] : cases)
        EXPECT_EQ(MessageChatGuidAndChatIdHandleConnectionSQLiteRecovery::PartnerOfChatGuid(guid),
                  partner)
            << guid.value_or("<absent>");
}

// A short header is taken only where the bytes before and after it make a cell.
TEST(MessageWholePageRecovery, TakesOnlyHeadersFramedByTheirCell) {
    auto info = [](std::int64_t start, std::vector<std::pair<std::int64_t, std::int64_t>> header) {
        SQLiteTableHeaderInfo result;
        result.Valid = true;
        result.HeaderStartIndex = start;
        result.Header = std::move(header);
        result.headerDataTaken = static_cast<std::int64_t>(result.Header.size());
        return result;
    };
    // Two one-byte integers: header 03 01 01, payload 5.
    const auto joinHeader =
        std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 1}, {1, 1}, {1, 1}};
    struct Case {
        const char* label;
        Bytes bytes;
        std::int64_t start;
        bool framed;
    };
    const Case cases[] = {
        {"table cell: length, row id, record",
         {0x00, 0x05, 0x2A, 0x03, 0x01, 0x01, 0x02, 0x07, 0x00},
         3,
         true},
        {"table cell with a two-byte row id",
         {0x05, 0x81, 0x00, 0x03, 0x01, 0x01, 0x02, 0x07},
         3,
         true},
        {"index cell: length, record", {0x00, 0x00, 0x05, 0x03, 0x01, 0x01, 0x02, 0x07}, 3, true},
        {"wrong header-length byte", {0x00, 0x05, 0x2A, 0x04, 0x01, 0x01, 0x02, 0x07}, 3, false},
        {"wrong payload length", {0x00, 0x06, 0x2A, 0x03, 0x01, 0x01, 0x02, 0x07}, 3, false},
        {"content past the area", {0x00, 0x05, 0x2A, 0x03, 0x01, 0x01, 0x02}, 3, false},
        {"nothing before it", {0x03, 0x01, 0x01, 0x02, 0x07}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(
            MessageWholePageRecovery::IsFramedRecord(ByteView(c.bytes), info(c.start, joinHeader)),
            c.framed);
    }
    SQLiteTableHeaderInfo cut = info(3, joinHeader);
    cut.HeaderTruncated = true;
    const Bytes whole = {0x00, 0x05, 0x2A, 0x03, 0x01, 0x01, 0x02, 0x07};
    EXPECT_FALSE(MessageWholePageRecovery::IsFramedRecord(ByteView(whole), cut));
}

TEST(MessageWholePageRecovery, RowIdsBeyondTheSequenceAreNoRowIds) {
    EXPECT_TRUE(MessageWholePageRecovery::WithinSequence(5, 5));
    EXPECT_FALSE(MessageWholePageRecovery::WithinSequence(6, 5));
    EXPECT_FALSE(MessageWholePageRecovery::WithinSequence(0, 5));
    EXPECT_TRUE(MessageWholePageRecovery::WithinSequence(900, -1));
}

// The largest message row id, as the file's sequence row says: the GUID recoverer asks the file;
// the two join recoverers have no connection for it and answer -1, as does a file without the
// row or one that does not open.
TEST(MessageWholePageRecovery, LargestMessageRowIdFromTheSequenceRow) {
    TempDir dir;
    BrimleyAppDelegate record;
    const auto withRows = (dir / "rows.db").string();
    const auto empty = (dir / "empty.db").string();
    {
        auto db = FixtureDatabase::FromSchema(withRows, "sms-ios6.sql");
        for (int m = 1; m <= 12; ++m) {
            char guid[37];
            std::snprintf(guid, sizeof guid, "%08d-AAAA-BBBB-CCCC-%012d", m, m);
            db.insert("message", {{"guid", std::string(guid)}, {"text", "Salut"}});
        }
        db.deleteWhere("message", "ROWID > 9");
        FixtureDatabase::FromSchema(empty, "sms-ios6.sql").close();
    }
    const struct {
        std::string path;
        std::int32_t expected;
    } cases[] = {{withRows, 12}, {empty, -1}, {(dir / "missing.db").string(), -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        MessageGuidAndRowIdConnectionSQLiteRecovery guids(ContextFor(record));
        guids.setFullDBPath(c.path);
        EXPECT_EQ(guids.getMaxMessageRowId(), c.expected);
    }
    MessageChatMessageJoinSQLiteRecovery chatMessages(ContextFor(record));
    MessageChatHandleJoinSQLiteRecovery chatHandles(ContextFor(record));
    chatMessages.setFullDBPath(withRows);
    chatHandles.setFullDBPath(withRows);
    EXPECT_EQ(chatMessages.getMaxMessageRowId(), -1);
    EXPECT_EQ(chatHandles.getMaxMessageRowId(), -1);
}

// The WhatsApp routine of the older carving path over a chat database whose message rows were
// inserted and deleted.

#include "common/Clock.h"
#include "legacy/LegacyRecovery.h"
#include "legacy/LegacyWhatsAppCarving.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/WhatsApp.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::Row;
using testsupport::TempDir;

constexpr const char* kChatStore = "chatstorage.sqlite";

// Apple seconds of 2013-09-04 15:06:40 UTC.
constexpr std::int64_t kDate = 400000000;

// The message table as stores of the routine's era kept it: the recent model's table less the
// columns that came later (sorted as Core Data sorts them, the date is the 14th column after the
// row id and the five texts that follow are sender, push name, stanza id, text and receiver).
FixtureDatabase ChatStore(const TempDir& dir) {
    auto db = FixtureDatabase::FromSchema(dir / kChatStore, "whatsapp-chatstorage.sql");
    for (const char* column : {"ZMESSAGESTATUS", "ZMESSAGETYPE", "ZSORT", "ZSPOTLIGHTSTATUS", "ZSTARRED",
                               "ZCHATSESSION", "ZGROUPMEMBER", "ZLASTSESSION", "ZMEDIAITEM", "ZMESSAGEINFO",
                               "ZPARENTMESSAGE", "ZSENTDATE", "ZMEDIASECTIONID", "ZPHASH"})
        db.exec(std::string("ALTER TABLE ZWAMESSAGE DROP COLUMN ") + column);
    return db;
}

struct MessageRow {
    std::int64_t id;
    ColumnValue date, from, pushName, text, to;
};

Row RowOf(const MessageRow& m) {
    return {{"Z_PK", m.id},
            {"Z_ENT", 9},
            {"Z_OPT", 1},
            {"ZCHILDMESSAGESDELIVEREDCOUNT", 0},
            {"ZCHILDMESSAGESPLAYEDCOUNT", 0},
            {"ZISFROMME", 1},
            {"ZMESSAGEERRORSTATUS", 0},
            {"ZMESSAGEDATE", m.date},
            {"ZFROMJID", m.from},
            {"ZPUSHNAME", m.pushName},
            {"ZSTANZAID", "1400000000-42"},
            {"ZTEXT", m.text},
            {"ZTOJID", m.to}};
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct ChatRun {
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::unique_ptr<LegacyRecovery> legacy;

    ChatRun(const TempDir& dir, std::stop_token stop = {}) {
        device.setIOSMajorVersion(7);
        ScanContext context = testsupport::ContextFor(record, device, stop);
        context.backupFolder = dir.path().string();
        context.databaseNames[static_cast<std::size_t>(DatabaseRole::WhatsApp)] = kChatStore;
        legacy = std::make_unique<LegacyRecovery>(std::move(context));
    }
    std::vector<std::shared_ptr<WhatsApp>> carve() {
        LegacyWhatsAppCarving carving(*legacy);
        EXPECT_FALSE(carving.RecoverDeletedWhatsAppMsg_iOS7_0_2());
        return record.DeletedWhatsApp.snapshot();
    }
};

// A store with one live message and the given messages inserted and deleted (the last first,
// so each freed cell keeps its bytes).
void BuildStore(const TempDir& dir, const std::vector<MessageRow>& deleted) {
    auto db = ChatStore(dir);
    db.insert("ZWAMESSAGE", RowOf({1, kDate, "4930111@s.whatsapp.net", "Live", "Still here", ColumnValue()}));
    for (const auto& m : deleted) db.insert("ZWAMESSAGE", RowOf(m));
    for (auto m = deleted.rbegin(); m != deleted.rend(); ++m) ASSERT_TRUE(db.deleteRow("ZWAMESSAGE", m->id));
    db.close();
}

}  // namespace

TEST(LegacyWhatsApp, DeletedMessagesAreCarvedWithTheirSenders) {
    Clock::ScopedTimeZone zone("UTC");
    TempDir dir;
    const ColumnValue none;
    BuildStore(dir, {
        {2, kDate, "4915112345678@s.whatsapp.net", none, "Digits, a dash and digits", none},
        {3, kDate, "4915112345678-1400000000", "Anna", "Digits, a dash and digits", none},
        {4, kDate + 60, "4915112345678-1400000000@g.us", "", "A group id with a domain", none},
        {5, kDate + 120, none, "Ben", "Only a receiver", "4917098765432@s.whatsapp.net"},
        {6, kDate + 180, none, none, "A receiver of two characters", "1@"},
        {7, kDate + 240, "4915112345678@s.whatsapp.net", none, none, none},
        {8, 400000000.5, "4915112345678@s.whatsapp.net", "Caf\xC3\xA9", "Fractional date", none},
    });
    ChatRun run(dir);
    const auto carved = run.carve();

    struct Expected {
        const char* text;
        const char* from;
        bool sent;
        const char* name;
        const char* date;
    };
    // Scan order: the later rows lie lower on the page. Row 6 has no sender, row 7 no text,
    // row 2 repeats row 3's text and date, and row 1 is live.
    const Expected expected[] = {
        {"Fractional date", "4915112345678@s.whatsapp.net", true, nullptr, "2013-09-04 15:06:40"},
        {"Only a receiver", "4917098765432@s.whatsapp.net", false, "Ben", "2013-09-04 15:08:40"},
        {"A group id with a domain", "4915112345678", true, nullptr, "2013-09-04 15:07:40"},
        {"Digits, a dash and digits", "4915112345678@s.whatsapp.net", true, "Anna", "2013-09-04 15:06:40"},
    };
    ASSERT_EQ(carved.size(), std::size(expected));
    for (std::size_t k = 0; k < carved.size(); ++k) {
        const auto& m = *carved[k];
        const auto& e = expected[k];
        EXPECT_EQ(m.zText(), e.text);
        EXPECT_EQ(m.FromMsgID(), e.from) << e.text;
        EXPECT_EQ(m.isSent(), e.sent) << e.text;
        EXPECT_EQ(m.ContactName(), e.name ? OptString(e.name) : std::nullopt) << e.text;
        EXPECT_EQ(m.ishavingName(), e.name != nullptr) << e.text;
        EXPECT_EQ(m.MessageDate(), e.date) << e.text;
    }
    EXPECT_EQ(run.record.DeletedWhatsAppCount.load(), 0);
}

TEST(LegacyWhatsApp, AMessageCutShortByTheNextRowIsBuiltFromWhatRemains) {
    Clock::ScopedTimeZone zone("UTC");
    TempDir dir;
    {
        auto db = ChatStore(dir);
        db.insert("ZWAMESSAGE", RowOf({1, kDate, "4930111@s.whatsapp.net", "Live", "Still here", ColumnValue()}));
        // A long message, deleted; a short one then takes the tail of its bytes.
        db.insert("ZWAMESSAGE", RowOf({2, kDate + 3600, "4915112345678@s.whatsapp.net", "Anna",
                                       "The beginning survives. " + std::string(150, 'x'), ColumnValue()}));
        ASSERT_TRUE(db.deleteRow("ZWAMESSAGE", 2));
        db.insert("ZWAMESSAGE", RowOf({3, kDate, "4930111@s.whatsapp.net", ColumnValue(), "Hi", ColumnValue()}));
        db.close();
    }
    ChatRun run(dir);
    const auto carved = run.carve();
    ASSERT_EQ(carved.size(), 1u);
    EXPECT_EQ(carved[0]->zText()->rfind("The beginning survives. xxx", 0), 0u);
    EXPECT_EQ(carved[0]->FromMsgID(), "4915112345678@s.whatsapp.net");
    EXPECT_EQ(carved[0]->ContactName(), "Anna");
    EXPECT_EQ(carved[0]->MessageDate(), "2013-09-04 04:06 PM");
}

TEST(LegacyWhatsApp, TheListIsKeptAndAddedTo) {
    TempDir dir;
    BuildStore(dir, {{2, kDate, "4915112345678@s.whatsapp.net", ColumnValue(), "New", ColumnValue()}});
    ChatRun run(dir);
    auto earlier = std::make_shared<WhatsApp>();
    earlier->setZText("Earlier");
    run.record.DeletedWhatsApp.append(earlier);
    const auto carved = run.carve();
    ASSERT_EQ(carved.size(), 2u);
    EXPECT_EQ(carved[0]->zText(), "Earlier");
    EXPECT_EQ(carved[1]->zText(), "New");
}

TEST(LegacyWhatsApp, MissingShortDamagedOrStoppedGivesNothing) {
    TempDir dir;
    {
        ChatRun missing(dir);
        EXPECT_TRUE(missing.carve().empty());
        EXPECT_FALSE(missing.legacy->isRecovering.load());
    }
    BuildStore(dir, {{2, kDate, "4915112345678@s.whatsapp.net", ColumnValue(), "Cut off here", ColumnValue()}});
    const Bytes file = ReadFile(dir / kChatStore);
    const std::string text = "Cut off here";
    const auto at = static_cast<std::int64_t>(
        std::search(file.begin(), file.end(), text.begin(), text.end()) - file.begin());
    ASSERT_LT(at, static_cast<std::int64_t>(file.size()));
    // Cut inside the text (its length runs past the end), just past the header pattern (a
    // header at the very end), inside the header, and shorter than the scan's margin.
    const std::int64_t whole = static_cast<std::int64_t>(file.size());
    const struct {
        std::int64_t length;
        std::size_t messages;
    } cuts[] = {{whole, 1}, {at + 5, 0}, {at - 51, 0}, {at - 60, 0}, {6, 0}, {1, 0}};
    for (const auto& cut : cuts) {
        ASSERT_GT(cut.length, 0);
        const Bytes bytes(file.begin(), file.begin() + cut.length);
        ChatRun run(dir);
        run.legacy->setDatabaseBytes(DatabaseRole::WhatsApp, FileBytes(bytes.data(), bytes.size()));
        EXPECT_EQ(run.carve().size(), cut.messages) << cut.length;
    }
    std::stop_source stop;
    stop.request_stop();
    ChatRun stopped(dir, stop.get_token());
    EXPECT_TRUE(stopped.carve().empty());
}

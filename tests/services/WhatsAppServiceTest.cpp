#include "services/WhatsAppRecoverer.h"
#include "services/WhatsAppService.h"

#include "CalendarCallsNotesWhatsAppSupport.h"
#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::ContextFor;

using othertest::DeletedRows;
using othertest::RecoveryTest;
using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::Row;

// The chat database's two places, in the order they are carved.
constexpr const char* kAppDomain = "AppDomain-net.whatsapp.WhatsApp";
constexpr const char* kAppPath = "Documents/ChatStorage.sqlite";
constexpr const char* kGroupDomain = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
constexpr const char* kGroupPath = "ChatStorage.sqlite";

constexpr const char* kAnna = "4915123456789@s.whatsapp.net";
// 2016-01-15 08:30:00.5 UTC in seconds since 2001; message i was sent i minutes later.
constexpr double kFirstMessage = 474539400.5;

// A message of the chat with Anna: odd ones sent from the phone (no sender), even ones received
// from her (with her push name). Texts are marked with the file they belong to.
Row MessageRow(int i, const std::string& text, double at) {
    const bool fromMe = i % 2 == 1;
    Row row = {{"Z_PK", i},
               {"Z_ENT", 9},
               {"Z_OPT", 2},
               {"ZISFROMME", fromMe ? 1 : 0},
               {"ZMESSAGESTATUS", fromMe ? 8 : 6},
               {"ZMESSAGETYPE", 0},
               {"ZSORT", i},
               {"ZCHATSESSION", 1},
               {"ZMESSAGEDATE", at},
               {"ZSENTDATE", at},
               {"ZSTANZAID", "3EB0" + std::to_string(7100000000 + i) + "A1F2"},
               {"ZTEXT", text}};
    row.emplace_back(fromMe ? "ZTOJID" : "ZFROMJID", kAnna);
    if (!fromMe) row.emplace_back("ZPUSHNAME", "Anna");
    return row;
}

std::string TextOf(const std::string& file, int i) {
    return file + ": Nachricht " + std::to_string(i) + " – bis später";
}

class WhatsAppServiceTest : public RecoveryTest {
protected:
    // A chat database at one of the two places with `count` messages; every fourth and the last
    // deleted. Returns the texts of the deleted messages the file still holds.
    std::set<std::string> addChats(BackupBuilder& backup, const char* domain, const char* path,
                                   const std::string& label, int count,
                                   testsupport::DatabaseOptions options = {}) {
        auto db = backup.addDatabase(domain, path, "whatsapp-chatstorage.sql", options);
        db.insert("ZWACHATSESSION", {{"Z_PK", 1},
                                     {"Z_ENT", 6},
                                     {"Z_OPT", 1},
                                     {"ZCONTACTJID", kAnna},
                                     {"ZPARTNERNAME", "Anna Schmidt"}});
        DeletedRows written;
        std::set<std::int64_t> gone;
        for (int i = 1; i <= count; ++i) {
            const std::int64_t id =
                db.insert("ZWAMESSAGE", MessageRow(i, TextOf(label, i), kFirstMessage + 60.0 * i));
            written.remember(db.handle(), "ZWAMESSAGE", id);
            if (i % 4 == 2 || i == count) gone.insert(id);
        }
        for (auto id : gone) db.deleteRow("ZWAMESSAGE", id);
        db.close();
        const auto left = written.recoverable(db.path(), gone);
        EXPECT_GE(left.size() * 2, gone.size());
        std::set<std::string> texts;
        for (auto id : left) texts.insert(TextOf(label, static_cast<int>(id)));
        return texts;
    }

    std::vector<std::string> listedTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : record.DeletedWhatsApp.snapshot())
            texts.push_back(message->zText().value_or("<absent>"));
        return texts;
    }

    void useChatBackup(const BackupBuilder& backup) {
        useBackup(backup, 9);
        record.WHATSAPP_DATABASE.set(WhatsAppService::WhatsAppSqliteDbName);
    }
};

// Exposes the position check.
// The position check of a field, as the recoverer answers it after decoding a text.
std::int32_t Check(const std::string& field, const std::string& text) {
    return WhatsAppMessagesSQLiteRecovery::PositionShift(
        field, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace

TEST(WhatsAppSignature, PatternsFollowTheMessageTable) {
    const SQLiteSignature* messages = othertest::AppSignatures()->Find(
        "net.whatsapp.WhatsApp", "ChatStorage.sqlite", "ZWAMESSAGE");
    ASSERT_NE(messages, nullptr);
    othertest::ExpectPatternsFollowTables(*messages,
                                          {{"whatsapp-chatstorage.sql", "ZWAMESSAGE"},
                                           {"whatsapp-chatstorage-2012.sql", "ZWAMESSAGE"}},
                                          {{"ZISFROMME", "ZISFROMME"},
                                           {"ZMessageDate", "ZMESSAGEDATE"},
                                           {"ZFromJid", "ZFROMJID"},
                                           {"ZPushName", "ZPUSHNAME"},
                                           {"ZStandZAid", "ZSTANZAID"},
                                           {"ZText", "ZTEXT"},
                                           {"ZToJid", "ZTOJID"}});
}

// Both places of the chat database, flat and in sub-folders, with and without auto-vacuum: each
// deleted message the files still hold is listed once, those of the app's own folder first, and
// refreshes the window; no live message is listed.
TEST_F(WhatsAppServiceTest, ListsTheDeletedMessagesOfBothFiles) {
    struct Case {
        BackupLayout layout;
        testsupport::DatabaseOptions options;
    };
    const Case cases[] = {{BackupLayout::Flat, {4096, testsupport::AutoVacuum::None}},
                          {BackupLayout::Sharded, {1024, testsupport::AutoVacuum::Full}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout == BackupLayout::Flat ? "flat" : "sharded, auto-vacuum");
        testsupport::TempDir backupDir;
        BackupBuilder backup(backupDir.path(), c.layout);
        const auto first = addChats(backup, kAppDomain, kAppPath, "App", 120, c.options);
        const auto second = addChats(backup, kGroupDomain, kGroupPath, "Gruppe", 60, c.options);
        useChatBackup(backup);
        record.DeletedWhatsApp.clear();
        record.AllDeletedWhatsApp.clear();
        record.DeletedWhatsAppCount = 0;
        window->foundRecoveredData = 0;

        WhatsAppService service;
        service.RecoverFromIOSBackup(ContextFor(record, device));

        const auto listed = listedTexts();
        ASSERT_EQ(listed.size(), first.size() + second.size());
        EXPECT_EQ(
            std::set<std::string>(listed.begin(), listed.begin() + static_cast<long>(first.size())),
            first);
        EXPECT_EQ(
            std::set<std::string>(listed.begin() + static_cast<long>(first.size()), listed.end()),
            second);
        const auto messages = record.DeletedWhatsApp.snapshot();
        EXPECT_EQ(record.AllDeletedWhatsApp.snapshot(), messages);
        EXPECT_EQ(record.DeletedWhatsAppCount.load(), static_cast<int>(messages.size()));
        EXPECT_EQ(window->foundRecoveredData.load(), static_cast<int>(messages.size()));
        for (const auto& message : messages) {
            const bool sent = !message->FromMsgID().has_value();
            EXPECT_EQ(message->isSent(), sent);
            EXPECT_EQ(sent ? message->ToMsgID() : message->FromMsgID(), kAnna);
            EXPECT_EQ(message->ContactName(), "Anna Schmidt");
        }
    }
}

// The store of 2012 has 18 message columns: its deleted messages are carved with their texts,
// partners and the partner's name from the chat session.
TEST_F(WhatsAppServiceTest, TheStoreOf2012) {
    BackupBuilder backup(dir.path());
    DeletedRows written;
    std::set<std::int64_t> gone;
    {
        auto db = backup.addDatabase(kAppDomain, kAppPath, "whatsapp-chatstorage-2012.sql");
        db.insert("ZWACHATSESSION", {{"Z_PK", 8},
                                     {"Z_ENT", 4},
                                     {"Z_OPT", 1},
                                     {"ZCONTACTJID", kAnna},
                                     {"ZPARTNERNAME", "Anna Schmidt"}});
        for (int i = 1; i <= 12; ++i) {
            Row row = MessageRow(i, TextOf("2012", i), kFirstMessage + 60.0 * i);
            // The older model has no ZSENTDATE; its entity number is 7.
            std::erase_if(row, [](const auto& column) { return column.first == "ZSENTDATE"; });
            for (auto& [column, value] : row) {
                if (column == "Z_ENT") value = ColumnValue(7);
                if (column == "ZCHATSESSION") value = ColumnValue(8);
            }
            const std::int64_t id = db.insert("ZWAMESSAGE", row);
            written.remember(db.handle(), "ZWAMESSAGE", id);
            if (i % 3 == 0) gone.insert(id);
        }
        for (auto id : gone) db.deleteRow("ZWAMESSAGE", id);
        db.close();
    }
    const auto left = written.recoverable(backup.pathFor(kAppDomain, kAppPath), gone);
    ASSERT_EQ(left, gone);
    useChatBackup(backup);

    WhatsAppService().RecoverFromIOSBackup(ContextFor(record, device));
    const auto listed = listedTexts();
    std::set<std::string> expected;
    for (auto id : gone) expected.insert(TextOf("2012", static_cast<int>(id)));
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
    EXPECT_EQ(listed.size(), gone.size());
    for (const auto& message : record.DeletedWhatsApp.snapshot()) {
        EXPECT_EQ(message->ContactName(), "Anna Schmidt");
        EXPECT_EQ(message->isSent(), !message->FromMsgID().has_value());
    }
}

// A message is known by its time, text, sender and receiver together.
TEST_F(WhatsAppServiceTest, KnownMessagesAreNotListed) {
    BackupBuilder backup(dir.path());
    const double second = kFirstMessage + 3600.0;
    for (const auto& [domain, path] :
         {std::pair{kAppDomain, kAppPath}, std::pair{kGroupDomain, kGroupPath}}) {
        auto db = backup.addDatabase(domain, path, "whatsapp-chatstorage.sql");
        db.insert("ZWAMESSAGE", MessageRow(1, "Bin gleich da", second));  // stays
        db.insert("ZWAMESSAGE",
                  MessageRow(3, "Noch fünf Minuten", second));              // deleted, same second
        db.insert("ZWAMESSAGE", MessageRow(5, "Stau auf der A9", second));  // deleted, same second
        db.insert("ZWAMESSAGE", MessageRow(7, "Im Speicher der Liste", second + 60.0));  // deleted
        db.deleteWhere("ZWAMESSAGE", "Z_PK > 1");
        db.close();
    }
    useChatBackup(backup);
    // A live message of the record with the same time, text and addresses as the last one.
    auto live = std::make_shared<WhatsApp>();
    live->setMessageDate("2016-01-15 10:31:00");
    live->setZText("Im Speicher der Liste");
    live->setToMsgID(kAnna);
    record.AllWhatsAppContent.append(live);

    WhatsAppService().RecoverFromIOSBackup(ContextFor(record, device));

    // Messages sent in the same second are distinct; the second file's copies are the same
    // messages as the first file's.
    const auto listed = listedTexts();
    EXPECT_EQ(std::multiset<std::string>(listed.begin(), listed.end()),
              (std::multiset<std::string>{"Noch fünf Minuten", "Stau auf der A9"}));
}

TEST_F(WhatsAppServiceTest, CancelledRunCarvesNothing) {
    BackupBuilder backup(dir.path());
    addChats(backup, kAppDomain, kAppPath, "App", 20);
    useChatBackup(backup);
    std::stop_source cancelled;
    cancelled.request_stop();
    WhatsAppService().RecoverFromIOSBackup(ContextFor(record, device, cancelled.get_token()));
    EXPECT_TRUE(record.DeletedWhatsApp.empty());
    EXPECT_EQ(window->foundRecoveredData.load(), 0);
}

// The partner step for messages that lack one of their two addresses.
TEST(WhatsAppAdditionalFiltering, PartnerFromTheAddressAMessageHas) {
    struct Case {
        OptString from;
        OptString to;
        OptString contactJid;  // absent: no partner made
        OptString phone;
    };
    const std::string suffix = WhatsAppUserSuffix;
    const Case cases[] = {
        {std::nullopt, "4915123456789" + suffix, "4915123456789" + suffix, "+4915123456789"},
        {"", "4915123456789" + suffix, "4915123456789" + suffix, "+4915123456789"},
        {"4917012345678" + suffix, std::nullopt, "4917012345678" + suffix, "+4917012345678"},
        {std::nullopt, suffix, suffix, std::nullopt},                                // suffix at 0
        {std::nullopt, "491701234-1452@g.us", "491701234-1452@g.us", std::nullopt},  // no suffix
        {"4917012345678" + suffix, "4915123456789" + suffix, std::nullopt,
         std::nullopt},  // both set
    };
    BrimleyAppDelegate record;
    WhatsAppService service;
    std::vector<std::shared_ptr<WhatsAppMessage>> messages;
    for (const Case& c : cases) {
        auto message = std::make_shared<WhatsAppMessage>();
        message->setZFromJid(c.from);
        message->setZToJid(c.to);
        messages.push_back(message);
        service.whatsAppRecovery().RecoveredFiltered().push_back(message);
    }
    service.AdditionalFiltering();
    for (std::size_t k = 0; k < messages.size(); ++k) {
        SCOPED_TRACE(k);
        const auto& contact = messages[k]->whatsAppContact();
        if (!cases[k].contactJid) {
            EXPECT_EQ(contact, nullptr);
            continue;
        }
        ASSERT_NE(contact, nullptr);
        EXPECT_EQ(contact->ZContactJID(), cases[k].contactJid);
        EXPECT_EQ(contact->Phone(), cases[k].phone);
        EXPECT_EQ(contact->ZContactProfileBitmapImage(), "");
    }
}

TEST(WhatsAppPositionCheck, RealignsStanzaIdentifiersOneByteOff) {
    struct Case {
        const char* field;
        const char* text;
        std::int32_t answer;
    };
    const Case cases[] = {
        {"ZStandZAid", "1452851400-17", 0},
        {"ZStandZAid", "14528514001-7", 1},
        {"ZStandZAid", "145285140-17", -1},
        {"ZStandZAid", "14528514001234-7", AbstractSqLiteRecovery::kKeepPosition},
        {"ZStandZAid", "3EB0A1F2C3D4E5F6", AbstractSqLiteRecovery::kKeepPosition},
        {"ZText", "1452851400-17", AbstractSqLiteRecovery::kKeepPosition},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check(c.field, c.text), c.answer) << c.field << " " << c.text;
}

// The existing chats of the older chat database: a partner per session with its profile
// picture where the backup has one, and the partner's messages in row order with their media.
TEST_F(WhatsAppServiceTest, ExistingChatsWithPartnersPicturesAndMedia) {
    for (BackupLayout layout : {BackupLayout::Flat, BackupLayout::Sharded}) {
        SCOPED_TRACE(layout == BackupLayout::Flat ? "flat" : "sharded");
        testsupport::TempDir backupDir;
        BackupBuilder backup(backupDir.path(), layout);
        const auto picture = backup.addFile("AppDomain-net.whatsapp.WhatsApp",
                                            "Library/Media/Profile/4915112345.thumb", Bytes{1, 2, 3});
        const auto media = backup.addFile("AppDomain-net.whatsapp.WhatsApp",
                                          "Library/Media/4930999@s.whatsapp.net/a/b.jpg", Bytes{4});
        {
            auto db = FixtureDatabase::FromSchema(
                backupDir.path() / WhatsAppService::WhatsAppWallPaperSqliteDbName,
                "whatsapp-chatstorage.sql");
            db.exec(
                "INSERT INTO ZWACHATSESSION (Z_PK, ZCONTACTJID, ZPARTNERNAME) VALUES "
                "(1, '4915112345@s.whatsapp.net', 'Anna'), (2, '4930999@s.whatsapp.net', 'Ben');"
                "INSERT INTO ZWAMESSAGE (Z_PK, ZFROMJID, ZTOJID, ZTEXT, ZMESSAGEDATE, ZSTANZAID) VALUES "
                "(5, NULL, '4915112345@s.whatsapp.net', 'Hallo Anna', 474539400, 'S-5'),"
                "(3, '4915112345@s.whatsapp.net', NULL, 'Hallo du', 0, 'S-3'),"
                "(7, '4930999@s.whatsapp.net', NULL, 'Foto', 474543000, 'S-7');"
                "INSERT INTO ZWAMEDIAITEM (Z_PK, ZMESSAGE, ZFILESIZE, ZMOVIEDURATION, ZMEDIALOCALPATH, "
                "ZXMPPTHUMBPATH) VALUES (1, 7, 52000, 0, 'Media/4930999@s.whatsapp.net/a/b.jpg', "
                "'/Media/4930999@s.whatsapp.net/a/b.thumb');");
            db.close();
        }
        useBackup(backup, 9);
        WhatsAppService service;
        service.getWhatisExisting(ContextFor(record, device));

        const auto& contacts = service.ExistingContacts();
        ASSERT_EQ(contacts.size(), 2u);
        EXPECT_EQ(contacts[0]->ZPartnerName(), "Anna");
        EXPECT_EQ(contacts[0]->Phone(), "+4915112345");
        EXPECT_EQ(contacts[0]->ZContactProfileBitmapImage(), picture.string());
        EXPECT_EQ(contacts[1]->ZContactProfileBitmapImage(), "");  // no picture in the backup

        ASSERT_EQ(service.Model().size(), 3u);
        EXPECT_EQ(service.retrieved.load(), 3);
        const auto& first = dynamic_cast<const WhatsAppMessage&>(*service.Model()[0]);
        EXPECT_EQ(first.ZPrimaryKey(), 3);  // row order
        EXPECT_EQ(first.Date(), "-");       // no time
        EXPECT_FALSE(first.IsFromMe());
        EXPECT_EQ(first.whatsAppContact(), contacts[0]);
        EXPECT_EQ(first.whatsAppMessageAttachment(), nullptr);
        const auto& sent = dynamic_cast<const WhatsAppMessage&>(*service.Model()[1]);
        EXPECT_TRUE(sent.IsFromMe());
        EXPECT_EQ(sent.Date(), "2016-01-15 09:30:00");  // local time (Berlin)
        EXPECT_EQ(sent.ZStandZAid(), "S-5");

        const auto& photo = dynamic_cast<const WhatsAppMessage&>(*service.Model()[2]);
        const auto attachment = photo.whatsAppMessageAttachment();
        ASSERT_NE(attachment, nullptr);
        EXPECT_FALSE(attachment->Recovered());
        EXPECT_EQ(attachment->ZFileSize(), 52000);
        EXPECT_EQ(attachment->OriginalZMediaLocalPath(), "/Media/4930999@s.whatsapp.net/a/b.jpg");
        EXPECT_EQ(attachment->ZMediaLocalPath(), media.string());
        EXPECT_EQ(attachment->OriginalZThumbnailLocalPath(), "/Media/4930999@s.whatsapp.net/a/b.thumb");
        // A file the backup lacks: where it would lie directly in the backup folder.
        EXPECT_EQ(attachment->ZThumbnailLocalPath(),
                  (backupDir.path() / BackupBuilder::BackupName("AppDomain-net.whatsapp.WhatsApp",
                                                                "Library/Media/4930999@s.whatsapp.net/a/b.thumb"))
                      .string());
        EXPECT_EQ(service.RetrieveWhatsAppMessageAttachments(ContextFor(record, device), 5), nullptr);
    }
    // Without the database nothing is read.
    testsupport::TempDir emptyDir;
    BackupBuilder empty(emptyDir.path());
    useBackup(empty, 9);
    WhatsAppService service;
    service.getWhatisExisting(ContextFor(record, device));
    EXPECT_TRUE(service.ExistingContacts().empty());
    EXPECT_TRUE(service.Model().empty());
}

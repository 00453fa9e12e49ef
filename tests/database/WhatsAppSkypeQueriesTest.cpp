#include "LiveRowsBackup.h"

#include "database/GenerateWhatsAppObject.h"
#include "records/Skype.h"
#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testsupport::FixtureDatabase;

// The app-group place of the chat database (the second of the two names the program knows).
constexpr LiveRowsBackup::Role kChatStorage{"AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
                                            "ChatStorage.sqlite"};
constexpr LiveRowsBackup::Role kSkype{"AppDomain-com.skype.skype",
                                      "Library/Application Support/Skype/alice.w/main.db"};

// 2016-05-01 12:00:00 UTC in Apple seconds: 14:00 in Berlin (summer time).
constexpr double kMayApple = 483796800.0;
const char* const kAnna = "491701234567@s.whatsapp.net";
const char* const kBen = "491609876543@s.whatsapp.net";
const char* const kCarl = "491705555555@s.whatsapp.net";
const char* const kGroup = "491701234567-1400000000@g.us";

struct WhatsAppBackup : LiveRowsBackup {
    WhatsAppBackup() : LiveRowsBackup(9) {
        state.WHATSAPP_DATABASE.set(NameOf(kChatStorage));
        FixtureDatabase db = create(kChatStorage, "whatsapp-chatstorage.sql");
        struct Message {
            ColumnValue from, to, pushName, text;
            double date;
        } messages[] = {
            {kAnna, ColumnValue::Null(), "Anna", "Hallo", kMayApple},
            // Sent from the phone: no sender; a photo without text.
            {ColumnValue::Null(), kBen, ColumnValue::Null(), ColumnValue::Null(), kMayApple + 60},
            {kGroup, ColumnValue::Null(), "", "group hi", kMayApple - 86400},
            {kCarl, ColumnValue::Null(), ColumnValue::Null(), "", kMayApple + 120},
        };
        for (const Message& m : messages)
            db.insert("ZWAMESSAGE", {{"ZFROMJID", m.from},
                                     {"ZTOJID", m.to},
                                     {"ZPUSHNAME", m.pushName},
                                     {"ZTEXT", m.text},
                                     {"ZMESSAGEDATE", ColumnValue(m.date)},
                                     {"ZISFROMME", ColumnValue(m.from.isNull() ? 1 : 0)}});
        db.insert("ZWACHATSESSION", {{"ZCONTACTJID", ColumnValue(kAnna)},
                                     {"ZPARTNERNAME", ColumnValue("Anna Berg")}});
        db.insert("ZWACHATSESSION",
                  {{"ZCONTACTJID", ColumnValue(kBen)}, {"ZPARTNERNAME", ColumnValue::Null()}});
        db.close();
    }
};

}  // namespace

TEST(WhatsAppQueriesTest, LogListsOldestFirstWithSentMessagesUnderTheirReceiver) {
    WhatsAppBackup backup;
    const auto log = backup.boundTo(kChatStorage)->GetWhatsAppLog();
    const struct {
        const char* from;
        const char* date;
        const char* text;
        bool sent;
        const char* phone;
    } expected[] = {
        // A group address becomes the user address of its first number.
        {kAnna, "2016-04-30 14:00:00", "group hi", false, "+491701234567"},
        {kAnna, "2016-05-01 14:00:00", "Hallo", false, "+491701234567"},
        {kBen, "2016-05-01 14:01:00", "", true, "+491609876543"},
        {kCarl, "2016-05-01 14:02:00", "", false, "+491705555555"},
    };
    ASSERT_EQ(log.size(), std::size(expected));
    for (std::size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i]->FromMsgID(), expected[i].from);
        EXPECT_EQ(log[i]->MessageDate(), expected[i].date);
        EXPECT_EQ(log[i]->zText(), expected[i].text);
        EXPECT_EQ(log[i]->isSent(), expected[i].sent);
        EXPECT_EQ(log[i]->PhoneNo(), expected[i].phone);
        EXPECT_EQ(log[i]->ContactName(), std::nullopt);  // this store keeps no name per message
    }
    EXPECT_EQ(backup.state.WhatsAppCount.load(), 4);
    EXPECT_TRUE(backup.state.AllWhatsAppContent.empty());  // the caller keeps the list
}

// The store of 2012 keeps no name with a message: the partner's name is its chat session's.
TEST(WhatsAppQueriesTest, TheLogTakesThePartnersNameFromTheChatSession) {
    LiveRowsBackup backup(5);
    backup.state.WHATSAPP_DATABASE.set(LiveRowsBackup::NameOf(kChatStorage));
    {
        FixtureDatabase db = backup.create(kChatStorage, "whatsapp-chatstorage-2012.sql");
        db.insert("ZWACHATSESSION", {{"Z_PK", ColumnValue(8)},
                                     {"Z_ENT", ColumnValue(4)},
                                     {"Z_OPT", ColumnValue(1)},
                                     {"ZCONTACTJID", ColumnValue(kAnna)},
                                     {"ZPARTNERNAME", ColumnValue("Anna Berg")}});
        db.insert("ZWACHATSESSION", {{"Z_PK", ColumnValue(9)},
                                     {"Z_ENT", ColumnValue(4)},
                                     {"Z_OPT", ColumnValue(1)},
                                     {"ZCONTACTJID", ColumnValue(kBen)}});
        const struct {
            ColumnValue from, to, session;
        } messages[] = {
            {kAnna, ColumnValue::Null(), ColumnValue(8)},
            {ColumnValue::Null(), kAnna, ColumnValue(8)},
            {kBen, ColumnValue::Null(), ColumnValue(9)},           // a session without a name
            {kCarl, ColumnValue::Null(), ColumnValue::Null()},     // no session
        };
        int minute = 0;
        for (const auto& m : messages)
            db.insert("ZWAMESSAGE", {{"Z_ENT", ColumnValue(7)},
                                     {"Z_OPT", ColumnValue(1)},
                                     {"ZISFROMME", ColumnValue(m.from.isNull() ? 1 : 0)},
                                     {"ZCHATSESSION", m.session},
                                     {"ZMESSAGEDATE", ColumnValue(kMayApple + 60 * minute++)},
                                     {"ZFROMJID", m.from},
                                     {"ZTOJID", m.to},
                                     {"ZTEXT", ColumnValue("Hallo")}});
        db.close();
    }
    const auto log = backup.boundTo(kChatStorage)->GetWhatsAppLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0]->ContactName(), "Anna Berg");
    EXPECT_EQ(log[1]->ContactName(), "Anna Berg");
    EXPECT_TRUE(log[1]->isSent());
    EXPECT_EQ(log[1]->PhoneNo(), "+491701234567");
    EXPECT_EQ(log[2]->ContactName(), std::nullopt);
    EXPECT_EQ(log[3]->ContactName(), std::nullopt);
}

TEST(WhatsAppQueriesTest, PartnersNamesAndMessagesOfOnePartner) {
    WhatsAppBackup backup;
    auto daos = backup.boundTo(kChatStorage);

    auto contacts = daos->GetWhatsAppContacts();
    std::vector<std::string> names;
    for (const auto& c : contacts) names.push_back(c->FromMsgID().value_or("(absent)"));
    std::sort(names.begin(), names.end());
    // Push name where there is one, else the address without the user suffix.
    EXPECT_EQ(names,
              (std::vector<std::string>{"491701234567-1400000000@g.us", "491705555555", "Anna"}));
    EXPECT_EQ(backup.state.WhatsAppCount.load(), 3);

    const struct {
        OptString jid;
        OptString name;
    } lookups[] = {
        {kAnna, "Anna Berg"}, {kBen, std::nullopt},  // a chat whose name is not stored
        {kCarl, ""},                                 // no chat at all
        {"x' OR '1'='1", ""},                        // bound, not spliced into the statement
        {std::nullopt, ""},
    };
    auto unbound = backup.unbound();  // reads the chat database whatever its own handle is on
    for (const auto& l : lookups)
        EXPECT_EQ(unbound->GetWhatsAppContactName(l.jid), l.name) << l.jid.value_or("(absent)");

    for (const char* key : {"Anna", kAnna}) {
        backup.state.AllWhatsAppContent.clear();
        const auto messages = daos->GetWhatsApp(key);
        ASSERT_EQ(messages.size(), 1u) << key;
        EXPECT_EQ(messages[0]->zText(), "Hallo");
        EXPECT_EQ(messages[0]->FromMsgID(), kAnna);
        EXPECT_EQ(messages[0]->ToMsgID(), std::nullopt);
        EXPECT_EQ(messages[0]->MessageDate(), "2016-05-01 14:00:00");
        EXPECT_FALSE(messages[0]->isSent());
        EXPECT_EQ(backup.state.AllWhatsAppContent.size(), 1u);
        EXPECT_EQ(backup.state.WhatsAppCount.load(), 1);
    }
    EXPECT_TRUE(daos->GetWhatsApp(kCarl).empty());  // its only message has an empty text

    EXPECT_EQ(unbound->GetAllWhatsAppRowID(),
              (RowIdMap{{"1", "1"}, {"2", "2"}, {"3", "3"}, {"4", "4"}}));
}

TEST(WhatsAppQueriesTest, CarvedMessageIsSentAndNamedByItsAddresses) {
    WhatsAppBackup backup;
    const struct {
        OptString from, to, pushName;
        bool sent;
        OptString name;
        bool hasName;
        OptString phone;  // as live rows show the partner's number
    } cases[] = {
        // An empty sender is the phone; the name is looked up by that empty address.
        {"", kAnna, "Anna", true, "", false, "+491701234567"},
        {kAnna, kBen, "Anna", false, "Anna Berg", true, "+491701234567"},
        // Without a sender the receiver is looked up; a stored NULL name gives one blank.
        {std::nullopt, kBen, std::nullopt, true, " ", true, "+491609876543"},
        {std::nullopt, kCarl, "Carl", false, "", false, "+491705555555"},
        {"491701234567-1400000000@g.us", kBen, "Anna", false, "", false, "+491701234567"},
        {std::nullopt, std::nullopt, std::nullopt, true, "", false, std::nullopt},
    };
    WhatsAppObjectGenerator generator(testsupport::ContextFor(backup.state));
    for (const auto& c : cases) {
        WhatsAppMessage m;
        m.setZFromJid(c.from);
        m.setZToJid(c.to);
        m.setZPushName(c.pushName);
        m.setZText("carved");
        m.setDate("2016-05-01 14:00:00");
        const auto record = generator.generateWhatsAppObject(m);
        SCOPED_TRACE(c.to.value_or("(absent)"));
        EXPECT_EQ(record->isSent(), c.sent);
        EXPECT_EQ(record->ContactName(), c.name);
        EXPECT_EQ(record->ishavingName(), c.hasName);
        EXPECT_EQ(record->FromMsgID(), c.from);
        EXPECT_EQ(record->ToMsgID(), c.to);
        EXPECT_EQ(record->zText(), "carved");
        EXPECT_EQ(record->MessageDate(), "2016-05-01 14:00:00");
        EXPECT_EQ(record->PhoneNo(), c.phone);
        EXPECT_EQ(record->isChecked(), 0);
    }
    // The conversion used no shared handle or query object.
    EXPECT_EQ(backup.state.dbUtils.get(), nullptr);
    EXPECT_EQ(backup.state.daos.get(), nullptr);
    // Without a chat database no name comes back, which gives the empty text.
    backup.state.WHATSAPP_DATABASE.set("1b6b187a1b60b9ae8b720c79e2c67f472bab09c0");
    WhatsAppMessage m;
    m.setZFromJid(kAnna);
    EXPECT_EQ(generateWhatsAppObject(m, testsupport::ContextFor(backup.state))->ContactName(), "");
}

TEST(SkypeQueriesTest, ContactsAndDialogReadTheScreensHandle) {
    LiveRowsBackup backup(9);
    {
        FixtureDatabase db = backup.create(kSkype, "skype-main.sql");
        const struct {
            int id;
            const char* skypeName;
            ColumnValue fullName;
            ColumnValue blocked;
        } contacts[] = {
            {1, "alice.w", "Alice Wonder", ColumnValue::Null()},
            {2, "bob", "", ColumnValue::Null()},
            {3, "carl", "Carl Blocked", 1},
            {4, "zed", "Aaron Zed", ColumnValue::Null()},
            {5, "nofull", ColumnValue::Null(), ColumnValue::Null()},
        };
        for (const auto& c : contacts)
            db.insert("Contacts", {{"id", ColumnValue(c.id)},
                                   {"skypename", ColumnValue(c.skypeName)},
                                   {"fullname", c.fullName},
                                   {"isblocked", c.blocked}});
        const struct {
            const char* author;
            std::int64_t unixTime;
            ColumnValue body;
        } messages[] = {
            {"alice.w", 1462104000, "second"},
            {"alice.w", 1462100400, "first"},
            {"me.not.a.contact", 1462104100, "dropped by the join"},
            {"alice.w", 1462104200, ColumnValue::Null()},
        };
        for (const auto& m : messages)
            db.insert("Messages", {{"author", ColumnValue(m.author)},
                                   {"dialog_partner", ColumnValue("alice.w")},
                                   {"timestamp", ColumnValue(m.unixTime)},
                                   {"body_xml", m.body}});
        db.close();
    }
    auto daos = backup.unbound();
    EXPECT_TRUE(daos->getSkypeContacts().empty());  // nothing opened on the shared handle yet

    auto screenHandle = std::make_shared<FMDBUtils>(backup.pathOf(kSkype));
    ASSERT_TRUE(screenHandle->openDatabase());
    backup.state.dbUtils.set(screenHandle);

    const auto contacts = daos->getSkypeContacts();
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_EQ(contacts[0]->displayName(), "Aaron Zed");
    EXPECT_EQ(contacts[0]->skypeID(), 4);
    EXPECT_EQ(contacts[0]->skypeName(), "zed");
    EXPECT_EQ(contacts[1]->displayName(), "Alice Wonder");

    const auto dialog = daos->getDialogsPartner("alice.w");
    ASSERT_EQ(dialog.size(), 2u);
    EXPECT_EQ(dialog[0]->body(), "first");
    EXPECT_EQ(dialog[0]->time(), "2016-05-01 01:00 PM");
    EXPECT_EQ(dialog[1]->body(), "second");
    EXPECT_EQ(dialog[1]->time(), "2016-05-01 02:00 PM");
    EXPECT_EQ(dialog[1]->skypeName(), "alice.w");
    EXPECT_EQ(dialog[1]->displayName(), "Alice Wonder");
    EXPECT_TRUE(daos->getDialogsPartner("x' OR '1'='1").empty());
}

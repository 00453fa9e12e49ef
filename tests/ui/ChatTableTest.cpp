// The messages screen's listing by the chats of the messages database: the chats read from a
// backup's database, their joined messages, and the rows and pages they give.
#include "UiTestSupport.h"
#include "database/DAOs.h"
#include "records/BrimleyAppDelegate.h"
#include "records/MessageTableRecords.h"
#include "records/SMS.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"
#include "ui/ChatScreens.h"
#include "ui/ChatTable.h"

#include <QTest>

namespace {



std::shared_ptr<SMS> Message(std::int32_t rowId, OptString address, bool carved = false) {
    auto sms = std::make_shared<SMS>();
    sms->setRowID(rowId);
    sms->setAddress(std::move(address));
    sms->setMessage("message " + std::to_string(rowId));
    sms->setIsRecovered(carved);
    return sms;
}

std::vector<std::int32_t> RowIds(const std::vector<std::shared_ptr<SMS>>& messages) {
    std::vector<std::int32_t> ids;
    for (const auto& m : messages) ids.push_back(m->RowID());
    return ids;
}

}  // namespace

class ChatTableTest : public QObject {
    Q_OBJECT
    testsupport::TempDir dir;
    BrimleyAppDelegate record;

private slots:
    void initTestCase() {
        testsupport::BackupBuilder backup(dir / "backup");
        {
            auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
            db.insert("chat", {{"ROWID", ColumnValue(1)}, {"guid", ColumnValue("SMS;-;1")}, {"chat_identifier", ColumnValue("+49 151 1111")}});
            db.insert("chat", {{"ROWID", ColumnValue(2)}, {"guid", ColumnValue("SMS;-;2")}, {"chat_identifier", ColumnValue("anna@example.com")}});
            db.insert("chat", {{"ROWID", ColumnValue(3)}, {"guid", ColumnValue("SMS;-;3")}, {"chat_identifier", ColumnValue::Null()}});
            for (auto [chat, message] : {std::pair{1, 10}, std::pair{2, 11}, std::pair{1, 12}})
                db.insert("chat_message_join", {{"chat_id", ColumnValue(chat)}, {"message_id", ColumnValue(message)}});
            db.close();
        }
        record.BACKUP_DIRECTORY.set((dir / "backup").string());
        record.SMS_DATABASE.set(testsupport::BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db"));
    }

    void chatsTheirMessagesAndTheirPages() {
        ChatTable table(record);
        DAOs daos(testsupport::ContextFor(record));
        const auto rows = table.myDisplay(daos);
        QCOMPARE(rows.size(), std::size_t{3});
        QCOMPARE(rows[0].contact, std::string("+49 151 1111"));
        QCOMPARE(rows[1].contact, std::string("anna@example.com"));
        QCOMPARE(rows[2].contact, std::string());  // a chat without identifier
        for (std::size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].chatRow, std::optional<std::int64_t>(static_cast<std::int64_t>(i) + 1));
            QCOMPARE(rows[i].name, std::string());
            QCOMPARE(rows[i].email, OptString(""));
            QVERIFY(!rows[i].check);
        }

        table.processChatMessageJoin(daos);
        using Pairs = std::vector<ChatTable::ChatMessages>;
        QCOMPARE(table._IdsChattoMessage, (Pairs{{1, {10, 12}}, {2, {11}}, {3, {}}}));
        QCOMPARE(table.getMessagesfromChatId(1), (std::vector<std::int64_t>{10, 12}));
        QCOMPARE(table.getChatIdfromMessageId(11), std::int64_t{2});
        QCOMPARE(table.getChatIdfromMessageId(99), std::int64_t{0});

        // The working list: live messages, a carved one with a row id and one without.
        table.arrSMSRecords = {Message(10, std::string("+491511111")), Message(11, std::string("anna@example.com")),
                               Message(12, std::string("+491511111")), Message(13, std::string("x"), true),
                               Message(-1, std::string("y"), true)};
        QCOMPARE(RowIds(table.getSMSArrayfromIDs({12, 10, 77})), (std::vector<std::int32_t>{12, 10}));
        QVERIFY(!table.chatIdsContainDeleted());

        // A selected chat row shows the messages joined to its chat, in join order.
        const auto shown = table.myRowChange(rows[0]);
        QVERIFY(shown);
        QCOMPARE(RowIds(*shown), (std::vector<std::int32_t>{10, 12}));
        QVERIFY(!table.myRowChange(ConversationRow{}));
        ConversationRow unknown;
        unknown.chatRow = 99;
        QVERIFY(!table.myRowChange(unknown));
        // ...after joining the carved message that has a row id (to no chat yet: 0).
        bool joined13 = false, joinedNone = false;
        for (const auto& join : record.AllChatMessageJoinContent.snapshot()) {
            joined13 = joined13 || (join->MessageId() == 13 && join->ChatId() == 0);
            joinedNone = joinedNone || join->MessageId() == -1;
        }
        QVERIFY(joined13);
        QVERIFY(!joinedNone);
        QVERIFY(table.getAllChatIdsFromMessages().empty());

        // A message is matched to the chats of its address, compared in standardised form.
        const auto carved = Message(13, std::string("+49 151 1111"), true);
        table.matchSMStoChat(*carved);
        QCOMPARE(table._IdsChattoMessage[0], (ChatTable::ChatMessages{1, {10, 12, 13}}));
        QCOMPARE(table._IdsChattoMessage.back(), (ChatTable::ChatMessages{1, {10, 12}}));
        QVERIFY(table.matchChatId(1, *carved));
        QVERIFY(!table.matchChatId(2, *carved));
        QVERIFY(table.chatIdsContainDeleted());
        const std::size_t pairs = table._IdsChattoMessage.size();
        table.matchSMStoChat(*Message(14, std::nullopt));
        table.matchSMStoChat(*Message(15, std::string("nobody")));
        QCOMPARE(table._IdsChattoMessage.size(), pairs);
    }

    void theMessagesScreenListsByChat() {
        record.AllChatMessageJoinContent.clear();
        record.SMSContent.replace({Message(10, std::string("+491511111")), Message(11, std::string("anna@example.com")),
                                   Message(12, std::string("+491511111"))});
        ScreenHost host;
        host.record = &record;
        host.clearSearchField = [] {};
        host.openAddress = [](const QString&) {};
        SMSViewController screen(host);
        screen.toggleChanged();
        QCOMPARE(screen.shown().rows.size(), std::size_t{2});  // by address
        screen.processChatMessageJoin();
        screen.myDisplay();
        QCOMPARE(screen.shown().rows.size(), std::size_t{3});  // by chat
        screen.selectRow(0);
        QCOMPARE(RowIds(screen.conversationShown()), (std::vector<std::int32_t>{10, 12}));
        screen.selectRow(1);
        QCOMPARE(RowIds(screen.conversationShown()), (std::vector<std::int32_t>{11}));
        QVERIFY(screen.webView->page().find("message 11") != std::string::npos);
    }

    void withoutTheDatabaseNothingIsRead() {
        BrimleyAppDelegate empty;
        empty.BACKUP_DIRECTORY.set((dir / "none").string());
        empty.SMS_DATABASE.set("0000000000000000000000000000000000000000");
        ChatTable table(empty);
        DAOs daos(testsupport::ContextFor(empty));
        QVERIFY(table.myDisplay(daos).empty());
        table.processChatMessageJoin(daos);
        QVERIFY(table._IdsChattoMessage.empty());
        QVERIFY(!table.myRowChange(ConversationRow{}));
    }

    void aConversationRowMatchesByNameAddressOrEmail() {
        ConversationRow row;
        row.name = "Anna";
        row.contact = "+49 151 1111";
        row.email = std::string("Anna@Example.com");
        for (const char* text : {"ann", "151 1", "@example", "anna"}) QVERIFY2(SMSViewController::matchName(text, row), text);
        QVERIFY(!SMSViewController::matchName("berg", row));
        row.email.reset();
        QVERIFY(!SMSViewController::matchName("example", row));
    }
};

TORVANE_UI_TEST(ChatTableTest)
#include "ChatTableTest.moc"

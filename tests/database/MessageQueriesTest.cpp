#include "LiveRowsBackup.h"

#include "database/GenerateSMSObject.h"
#include "records/Chat.h"
#include "records/Message.h"
#include "records/MessageTableRecords.h"
#include "records/SMS.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testsupport::FixtureDatabase;
using testsupport::Row;

// ---- Old schemas (iOS 4 and 5): address and flags in the row, Unix seconds ----

struct OldRow {
    int flags;
    const char* text;
    OptString expectedType;  // meaningful for listed rows only
};

const OldRow kOldRows[] = {
    {2, "Hi\nthere\n", "Received from"},
    {129, "deleted", std::nullopt},  // never listed
    {3, "ok", "Sent to"},
    {33, "failed", "Message Send Failure"},
    {35, "failed too", "Message Send Failure"},
    {22, "group reply", "Received from"},
    {131, "odd", "Unknown"},
    {7, "other", std::nullopt},
};

class OldMessageSchemaTest : public ::testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(OldMessageSchemaTest, ListsEveryRowButDeletedOnesWithTypeFromFlags) {
    const auto [iOSMajor, schema] = GetParam();
    LiveRowsBackup backup(iOSMajor);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, schema);
        for (const OldRow& r : kOldRows)
            db.insert("message", {{"address", ColumnValue("+4915112345678")},
                                  {"date", ColumnValue(std::int64_t{1300000000})},
                                  {"text", ColumnValue(r.text)},
                                  {"flags", ColumnValue(r.flags)}});
        db.close();
    }
    auto daos = backup.boundTo(LiveRowsBackup::kMessages);
    auto list = daos->GetSMS();
    ASSERT_TRUE(list.has_value());

    std::vector<const OldRow*> listed;
    for (const OldRow& r : kOldRows)
        if (r.flags != 129) listed.push_back(&r);
    ASSERT_EQ(list->size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const SMS& sms = *(*list)[i];
        SCOPED_TRACE(listed[i]->flags);
        EXPECT_EQ(sms.SlNo(), static_cast<int>(i + 1));  // the deleted row takes no number
        EXPECT_EQ(sms.Type(), listed[i]->expectedType);
        EXPECT_EQ(sms.Address(), "+4915112345678");
        EXPECT_EQ(sms.LocalTime(), "2011-03-13 08:06:40");  // Unix seconds, shown in Berlin
        EXPECT_EQ(sms.RowID(), 0);
        EXPECT_EQ(sms.GUID(), std::nullopt);
        EXPECT_FALSE(sms.isRecovered());
    }
    EXPECT_EQ((*list)[0]->Message(), "Hithere");  // line feeds removed, not replaced
    EXPECT_EQ(backup.state.SMSCount.load(), static_cast<int>(listed.size()));
    EXPECT_EQ(backup.state.AllSMSContent.size(), listed.size());
}

INSTANTIATE_TEST_SUITE_P(Schemas, OldMessageSchemaTest,
                         ::testing::Values(std::pair{4, "sms-ios4.sql"},
                                           std::pair{5, "sms-ios5.sql"}));

TEST(MessageQueriesTest, Ios5IMessageRowsCountAppleSeconds) {
    LiveRowsBackup backup(5);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, "sms-ios5.sql");
        db.insert("message", {{"address", ColumnValue("+4915112345678")},
                              {"date", ColumnValue(std::int64_t{1310000000})},
                              {"flags", ColumnValue(3)}});
        db.insert("message", {{"madrid_handle", ColumnValue("anna@example.com")},
                              {"date", ColumnValue(std::int64_t{400000000})},
                              {"is_madrid", ColumnValue(1)}});
        db.close();
    }
    auto list = backup.boundTo(LiveRowsBackup::kMessages)->GetSMS();
    ASSERT_TRUE(list && list->size() == 2);
    EXPECT_EQ((*list)[0]->LocalTime(), "2011-07-07 02:53:20");
    EXPECT_EQ((*list)[1]->LocalTime(), "2013-09-04 17:06:40");
}

// ---- iOS 6 and later: partner through the handle table, Apple seconds ----

struct NewRow {
    const char* guid;
    std::int64_t handleId;
    int error;
    int isFromMe;
    ColumnValue date;
    const char* expectedType;
    OptString expectedAddress;
    const char* expectedTime;
};

const NewRow kNewRows[] = {
    {"G-1", 1, 0, 0, ColumnValue(std::int64_t{480000000}), "Received from", "+4915112345678",
     "2016-03-18 14:20:00"},
    {"G-2", 1, 0, 1, ColumnValue(std::int64_t{400000000}), "Sent to", "+4915112345678",
     "2013-09-04 17:06:40"},
    // An error of 4 wins over is_from_me.
    {"G-3", 2, 4, 1, ColumnValue(std::int64_t{0}), "Message Send Failure", "anna@example.com",
     "2001-01-01 01:00:00"},
    // No handle row: the left join keeps the message, without an address.
    {"G-4", 0, 0, 0, ColumnValue::Null(), "Received from", std::nullopt, ""},
    // iOS 11 and later count nanoseconds.
    {"G-5", 2, 0, 0, ColumnValue(std::int64_t{495000000000000000}), "Received from",
     "anna@example.com", "2016-09-08 06:00:00"},
};

class NewMessageSchemaTest : public ::testing::TestWithParam<std::pair<int, const char*>> {};

void FillNewSchema(FixtureDatabase& db) {
    db.insert("handle", {{"ROWID", ColumnValue(1)},
                         {"id", ColumnValue("+4915112345678")},
                         {"service", ColumnValue("SMS")}});
    db.insert("handle", {{"ROWID", ColumnValue(2)},
                         {"id", ColumnValue("anna@example.com")},
                         {"service", ColumnValue("iMessage")}});
    for (const NewRow& r : kNewRows)
        db.insert("message", {{"guid", ColumnValue(r.guid)},
                              {"text", ColumnValue("line one\nline two")},
                              {"handle_id", ColumnValue(r.handleId)},
                              {"error", ColumnValue(r.error)},
                              {"is_from_me", ColumnValue(r.isFromMe)},
                              {"service", ColumnValue(r.handleId == 2 ? "iMessage" : "SMS")},
                              {"date", r.date}});
}

TEST_P(NewMessageSchemaTest, TypeComesFromErrorAndDirection) {
    const auto [iOSMajor, schema] = GetParam();
    LiveRowsBackup backup(iOSMajor);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, schema);
        FillNewSchema(db);
        db.close();
    }
    auto list = backup.boundTo(LiveRowsBackup::kMessages)->GetSMS();
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), std::size(kNewRows));
    for (std::size_t i = 0; i < list->size(); ++i) {
        const SMS& sms = *(*list)[i];
        SCOPED_TRACE(kNewRows[i].guid);
        EXPECT_EQ(sms.GUID(), kNewRows[i].guid);
        EXPECT_EQ(sms.Type(), kNewRows[i].expectedType);
        EXPECT_EQ(sms.Address(), kNewRows[i].expectedAddress);
        EXPECT_EQ(sms.LocalTime(), kNewRows[i].expectedTime);
        EXPECT_EQ(sms.RowID(), static_cast<int>(i + 1));
        EXPECT_EQ(sms.SlNo(), static_cast<int>(i + 1));
        EXPECT_EQ(sms.Message(), "line oneline two");
    }
    EXPECT_EQ(backup.state.SMSCount.load(), 5);

    // The iMessage list joins the handle table: messages without a handle are not in it.
    auto iMessages = backup.boundTo(LiveRowsBackup::kMessages)->GetiMessage();
    ASSERT_TRUE(iMessages.has_value());
    EXPECT_EQ(iMessages->size(), 2u);
    EXPECT_EQ(backup.state.iMessageCount.load(), 2);
    EXPECT_EQ(backup.state.AllSMSContent.size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Schemas, NewMessageSchemaTest,
                         ::testing::Values(std::pair{6, "sms-ios6.sql"},
                                           std::pair{9, "sms-ios9.sql"}));

TEST(MessageQueriesTest, WrongSchemaIsReadAsFarAsItGoesAndNoFileGivesNoList) {
    LiveRowsBackup backup(9);
    {
        // A message table of the group layout whose tables do not tell its layout (no groups):
        // read by the backup's version as far as it goes, the columns that layout lacks empty.
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, "sms-ios4.sql");
        db.exec("DROP TABLE group_member");
        db.insert("message", {{"text", ColumnValue("x")}, {"flags", ColumnValue(2)}});
        db.close();
    }
    backup.state.SMSCount = 7;
    const auto listed = backup.boundTo(LiveRowsBackup::kMessages)->GetSMS();
    ASSERT_TRUE(listed.has_value());
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_EQ((*listed)[0]->Message(), "x");
    EXPECT_EQ((*listed)[0]->Address(), std::nullopt);
    EXPECT_EQ(backup.state.SMSCount.load(), 1);
    EXPECT_EQ(backup.unbound()->GetSMS(), std::nullopt);

    backup.state.SMS_DATABASE.set("0000000000000000000000000000000000000000");
    backup.state.AllChatsContent.append(std::make_shared<Chat>());
    auto daos = backup.unbound();
    daos->GetAllChats();
    EXPECT_TRUE(backup.state.AllChatsContent.empty());
    OptString phno = "default";
    EXPECT_EQ(daos->GetPhoneNumberForHID(1, phno), "default");
    EXPECT_TRUE(daos->GetAllMessageRowID().empty());
}

TEST(MessageQueriesTest, ChatsJoinsAndTheLinesOfOneChat) {
    LiveRowsBackup backup(9);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, "sms-ios9.sql");
        FillNewSchema(db);
        db.insert("chat", {{"ROWID", ColumnValue(1)},
                           {"guid", ColumnValue("SMS;-;+4915112345678")},
                           {"chat_identifier", ColumnValue("+4915112345678")},
                           {"service_name", ColumnValue("SMS")}});
        db.insert("chat", {{"ROWID", ColumnValue(2)},
                           {"guid", ColumnValue("iMessage;-;O'Brien")},
                           {"chat_identifier", ColumnValue("O'Brien")},
                           {"service_name", ColumnValue("iMessage")}});
        for (auto [chat, message] : {std::pair{1, 1}, std::pair{1, 2}, std::pair{2, 3}})
            db.insert("chat_message_join",
                      {{"chat_id", ColumnValue(chat)}, {"message_id", ColumnValue(message)}});
        db.close();
    }
    auto daos = backup.unbound();
    daos->GetAllChats();
    auto chats = backup.state.AllChatsContent.snapshot();
    ASSERT_EQ(chats.size(), 2u);
    EXPECT_EQ(chats[1]->RowId(), 2);
    EXPECT_EQ(chats[1]->chat_identifier(), "O'Brien");
    EXPECT_EQ(chats[1]->servicType(), "iMessage");

    daos->GetChatMessageJoin();
    auto joins = backup.state.AllChatMessageJoinContent.snapshot();
    ASSERT_EQ(joins.size(), 3u);
    EXPECT_EQ(joins[2]->ChatId(), 2);
    EXPECT_EQ(joins[2]->MessageId(), 3);
    EXPECT_EQ(joins[2]->RowId(), 3);
    daos->GetChatMessageJoin();  // replaces the list, never adds to it
    EXPECT_EQ(backup.state.AllChatMessageJoinContent.size(), 3u);

    // An identifier with a quote is a value, not SQL text.
    auto lines = daos->GetChatsOf("O'Brien");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->is_from_me(), "1");
    EXPECT_EQ(lines[0]->text(), "line one\nline two");
    EXPECT_EQ(lines[0]->date(), "2001-01-01 01:00:00");
    EXPECT_EQ(daos->GetChatsOf("+4915112345678").size(), 2u);
    EXPECT_TRUE(daos->GetChatsOf("' OR '1'='1").empty());
}

TEST(MessageQueriesTest, HandleLookupsAndRowIdMaps) {
    LiveRowsBackup backup(9);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, "sms-ios9.sql");
        FillNewSchema(db);
        db.insert("message", {{"guid", ColumnValue("G-empty")}, {"text", ColumnValue("")}});
        db.close();
    }
    auto daos = backup.unbound();
    EXPECT_EQ(daos->GetPhoneNumberForHID(2, "fallback"), "anna@example.com");
    EXPECT_EQ(daos->GetPhoneNumberForHID(99, "fallback"), "fallback");
    EXPECT_EQ(daos->GetPhoneNumberForHID(99, std::nullopt), std::nullopt);
    OptString place = "untouched";
    EXPECT_FALSE(daos->GetPhoneNumberForID(99, place));
    EXPECT_EQ(place, "untouched");
    EXPECT_TRUE(daos->GetPhoneNumberForID(1, place));
    EXPECT_EQ(place, "+4915112345678");

    const RowIdMap texts = daos->GetAllMessageRowID();
    EXPECT_EQ(texts.size(), 5u);  // the row with an empty text is left out
    EXPECT_EQ(texts.at("3"), "line one\nline two");
    const RowIdMap guids = daos->GetAllMessageGUID();
    EXPECT_EQ(guids.size(), 6u);
    EXPECT_EQ(guids.at("G-empty"), "G-empty");
}

TEST(MessageQueriesTest, DatabasesInTheSubFoldersOfNewerBackupsAreFound) {
    LiveRowsBackup backup(10, "10.3.1", testsupport::BackupLayout::Sharded);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, "sms-ios9.sql");
        FillNewSchema(db);
        db.close();
    }
    ASSERT_NE(backup.pathOf(LiveRowsBackup::kMessages).find("/3d/3d0d7e"), std::string::npos);
    auto daos = backup.unbound();
    EXPECT_FALSE(daos->GetAllMessageGUID().empty());
    EXPECT_EQ(daos->GetPhoneNumberForHID(2, "fallback"), "anna@example.com");
}

// ---- Carved messages ----

TEST(MessageQueriesTest, CarvedMessagesFindTheirPartnerOrAreNumberedUnknown) {
    LiveRowsBackup backup(9);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kMessages, "sms-ios9.sql");
        FillNewSchema(db);
        db.close();
    }
    struct Case {
        OptString ownAddress;
        std::int64_t handleId;
        bool fromMe;
        const char* expectedAddress;
    };
    const Case cases[] = {
        {std::nullopt, 2, false, "anna@example.com"},
        {std::nullopt, 0, true, "unknown1"},
        {std::nullopt, 77, false, "unknown2"},
        {"+441234", 77, false, "+441234"},  // an own address needs no lookup and no number
        {std::nullopt, 4294967297, false, "+4915112345678"},  // handle id cut to 32 bits
        {std::nullopt, 0, false, "unknown3"},
    };
    backup.state.unKnownCount = 0;
    auto daos = backup.unbound();
    for (const Case& c : cases) {
        Message message;
        message.setAddress(c.ownAddress);
        message.setHandleId(c.handleId);
        message.setIsFromMe(c.fromMe);
        message.setText("carved text");
        message.setDate(" ");
        message.setGuid("carved-guid");
        message.setService("SMS");
        auto sms = generateSMSObject(message, *daos);
        SCOPED_TRACE(c.expectedAddress);
        EXPECT_EQ(sms->Address(), c.expectedAddress);
        EXPECT_EQ(sms->Type(), c.fromMe ? "Sent to" : "Received from");
        EXPECT_EQ(sms->RowID(), -1);
        EXPECT_EQ(sms->SlNo(), 0);
        EXPECT_EQ(sms->isChecked(), 0);
        EXPECT_TRUE(sms->isRecovered());
        EXPECT_EQ(sms->LocalTime(), " ");
        EXPECT_EQ(sms->Message(), "carved text");
        EXPECT_EQ(sms->service(), "SMS");
        EXPECT_EQ(sms->GUID(), "carved-guid");
    }
    EXPECT_EQ(backup.state.unKnownCount.load(), 3);
}

}  // namespace

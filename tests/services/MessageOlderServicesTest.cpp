// The message services of the group layout before iOS 6.

#include "services/OlderMessageServices.h"

#include "MessageContactFixtures.h"
#include "records/BrimleyAppDelegate.h"
#include "records/ConversationContact.h"
#include "records/DeviceInfo.h"
#include "records/Message.h"
#include "records/SMS.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using testsupport::ContextFor;

using testsupport::AutoVacuum;
using testsupport::BackupBuilder;
using testsupport::TempDir;

struct OldBackup {
    std::set<std::string> deletedTexts, liveTexts;
};

// An iOS 5 messages database: forty SMS in four groups, every fifth deleted.
OldBackup BuildOldBackup(BackupBuilder& backup) {
    OldBackup result;
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios5.sql",
                                 {4096, AutoVacuum::None});
    for (int g = 1; g <= 4; ++g) {
        db.insert("msg_group", {{"type", std::int64_t{0}}});
        db.insert("group_member",
                  {{"group_id", std::int64_t{g}},
                   {"address", g == 4 ? "anna@example.com" : "+4915100000" + std::to_string(g)},
                   {"country", "de"}});
    }
    std::vector<std::pair<std::int64_t, std::string>> rows;
    for (int i = 0; i < 40; ++i) {
        const std::string text = "Nachricht " + std::to_string(i) + " – bis später";
        const std::int64_t group = 1 + i % 4;
        rows.emplace_back(db.insert("message", {{"address", "+4915100000" + std::to_string(group)},
                                                {"date", std::int64_t{1300000000 + i * 3600}},
                                                {"text", text},
                                                {"flags", std::int64_t{i % 2 ? 2 : 3}},
                                                {"group_id", group},
                                                {"read", std::int64_t{1}},
                                                {"is_madrid", std::int64_t{0}}}),
                          text);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i % 5 == 2) {
            db.deleteRow("message", rows[i].first);
            result.deletedTexts.insert(rows[i].second);
        } else {
            result.liveTexts.insert(rows[i].second);
        }
    }
    db.close();
    return result;
}

}  // namespace

TEST(OlderMessageServices, IOS5ServiceListsTheDeletedMessagesOnly) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    const OldBackup old = BuildOldBackup(backup);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    messageServicesIOS5_6 service;
    service.RecoverFromIOSBackup(testsupport::ContextFor(record, DeviceInfo()));

    std::set<std::string> listed;
    for (const auto& sms : record.DeletedSMS.snapshot()) {
        ASSERT_TRUE(sms->Message().has_value());
        EXPECT_TRUE(listed.insert(*sms->Message()).second) << "listed twice: " << *sms->Message();
        EXPECT_TRUE(old.deletedTexts.count(*sms->Message()))
            << "not a deleted message: " << *sms->Message();
        EXPECT_TRUE(sms->Address().has_value());
    }
    EXPECT_EQ(listed, old.deletedTexts);
    EXPECT_EQ(record.DeletedSMSCount.load(), static_cast<int>(listed.size()));
    // Each carved message gets a partner of its own from its address.
    ASSERT_EQ(service.RecoveredMessages().size(), old.deletedTexts.size());
    for (const auto& message : service.RecoveredMessages()) {
        ASSERT_NE(message->ConversationContact(), nullptr);
        ASSERT_EQ(message->ConversationContact()->PhoneNumbers().size(), 1u);
        EXPECT_EQ(message->ConversationContact()->PhoneNumbers()[0]->PhoneNumber(),
                  message->Address());
        EXPECT_TRUE(message->IsFromMe() == (message->Flags() == 3));
    }
    EXPECT_EQ(service.recovered.load(), static_cast<int>(old.deletedTexts.size()));
}

TEST(OlderMessageServices, IOS4ServiceCarvesNothingButReadsItsGroups) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    BuildOldBackup(backup);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    messageServicesIOS4 service;
    service.RecoverFromIOSBackup(testsupport::ContextFor(record, DeviceInfo()));
    EXPECT_TRUE(record.DeletedSMS.empty());
    EXPECT_TRUE(record.AllDeletedSMS.empty());
    EXPECT_EQ(record.DeletedSMSCount.load(), 0);

    // Its group operations read the layout.
    DeviceInfo device;
    service.setSqliteDbName(MessageServices::kSqliteDbName);
    auto contacts = service.GroupContactsInDB();
    EXPECT_TRUE(contacts.empty());  // not open: nothing read
    auto group = std::make_shared<ConversationContact>();
    group->setGroupId(2);
    service.LoadConversationMessages(group, testsupport::ContextFor(record, device));
    EXPECT_EQ(group->Messages().size(), 8u);  // ten in group 2, two of them deleted
    EXPECT_EQ(service.retrieved.load(), 8);
    contacts = service.GroupContactsInDB();
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_EQ(contacts[3]->Emails(), std::vector<std::string>{"anna@example.com"});
}

// The message service end to end: a backup with a real-schema sms.db whose messages were
// deleted singly, in a run and by whole conversation; the service must list every deleted
// message whose row still lies whole in free space, with its text, time and partner, once, and
// nothing that still exists.

#include "services/MessageServices.h"

#include "CountingWindow.h"
#include "MessageContactFixtures.h"
#include "common/DateUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/ConversationContact.h"
#include "records/DeviceInfo.h"
#include "records/Message.h"
#include "records/SMS.h"
#include "services/ContactServices.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

namespace {

using testsupport::ContextFor;

using testsupport::AutoVacuum;
using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::TempDir;

struct Scenario {
    const char* label;
    const char* schema;
    int pageSize;
    AutoVacuum autoVacuum;
    BackupLayout layout;
};

std::string Name(const testing::TestParamInfo<Scenario>& info) {
    return info.param.label;
}

// Runs a service the way the run controller does: on a thread of its own, to its end.
template <class Service>
void RunOnItsThread(Service& service, BrimleyAppDelegate& record) {
    DeviceInfo device;
    std::jthread thread([&](std::stop_token stop) {
        service.RecoverFromIOSBackup(ContextFor(record, device, stop));
    });
    // Joined here: a jthread that goes out of scope asks its work to stop first.
    thread.join();
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class MessageServiceRun : public testing::TestWithParam<Scenario> {};

}  // namespace

TEST_P(MessageServiceRun, ListsEachDeletedMessageInFreeSpaceOnce) {
    const Scenario& s = GetParam();
    TempDir dir;
    BackupBuilder backup(dir.path(), s.layout);
    const msgtest::SmsFixture sms =
        msgtest::BuildSmsBackup(backup, s.schema, {s.pageSize, s.autoVacuum});

    BrimleyAppDelegate record;
    auto window = std::make_shared<CountingWindow>();
    record.setWindow(window);
    msgtest::PrepareRecord(record, dir.path());
    msgtest::ReadLiveMessages(record, sms.path);
    messageServicesIOS7_8 service;
    RunOnItsThread(service, record);

    std::map<std::string, const msgtest::StoredMessage*> byGuid;
    for (const auto& message : sms.messages) byGuid[message.guid] = &message;
    std::map<std::string, std::shared_ptr<SMS>> listed;
    for (const auto& item : record.DeletedSMS.snapshot()) {
        ASSERT_TRUE(item->GUID().has_value());
        EXPECT_TRUE(listed.emplace(*item->GUID(), item).second)
            << "listed twice: " << *item->GUID();
        const auto stored = byGuid.find(*item->GUID());
        ASSERT_NE(stored, byGuid.end()) << "never stored: " << *item->GUID();
        EXPECT_TRUE(stored->second->deleted)
            << "a live message listed as deleted: " << stored->second->text;
        // A copy cut short by the end of its area may lack the end of its text.
        EXPECT_TRUE(StartsWith(stored->second->text, item->Message().value_or("")));
        EXPECT_TRUE(item->isRecovered());
    }

    const auto carvedMessages = service.RecoveredMessages();
    std::map<std::string, std::shared_ptr<Message>> carvedByGuid;
    for (const auto& message : carvedMessages)
        if (message->Guid()) carvedByGuid.emplace(*message->Guid(), message);

    int longTexts = 0, foreignTexts = 0, fromRun = 0, single = 0;
    for (std::size_t i = 0; i < sms.messages.size(); ++i) {
        const auto& stored = sms.messages[i];
        if (!stored.recoverable) continue;
        SCOPED_TRACE(stored.text.substr(0, 40));
        const auto it = listed.find(stored.guid);
        ASSERT_NE(it, listed.end()) << "a deleted message in free space was not listed";
        const SMS& item = *it->second;
        const msgtest::Partner& partner = sms.partners[stored.partner];
        EXPECT_EQ(item.Message(), stored.text);
        EXPECT_EQ(item.LocalTime(),
                  DateUtils::DateTimeToString(DateUtils::DoubleToIOSDateTime(double(stored.date))));
        EXPECT_EQ(item.Type(), stored.fromMe ? "Sent to" : "Received from");
        // The partner: the handle's address while the handle exists, else a numbered unknown.
        if (partner.deleted) {
            EXPECT_TRUE(StartsWith(item.Address().value_or(""), "unknown"))
                << item.Address().value_or("");
        } else {
            EXPECT_EQ(item.Address(), partner.address);
        }
        // The service attributes it through the chat that the handle takes part in.
        const auto carved = carvedByGuid.find(stored.guid);
        ASSERT_NE(carved, carvedByGuid.end());
        ASSERT_NE(carved->second->ConversationContact(), nullptr);
        if (!partner.deleted) {
            EXPECT_EQ(carved->second->ConversationContact()->PhoneNumberHandleId(),
                      partner.address);
        }

        longTexts += stored.text.size() > 300;
        foreignTexts += stored.text.find("\xC3\xBC") != std::string::npos ||
                        stored.text.find("\xD0") != std::string::npos;
        fromRun += i >= 60 && i < 90;
        single += i % 7 == 3;
    }

    EXPECT_EQ(record.DeletedSMSCount.load(), static_cast<int>(listed.size()));
    EXPECT_EQ(record.AllDeletedSMS.size(), listed.size());
    EXPECT_EQ(window->foundRecoveredData.load(), static_cast<int>(listed.size()));
    // The fixture means something: deleted rows of every kind are still in the file.
    EXPECT_GE(sms.recoverableCount(), 10);
    if (s.autoVacuum == AutoVacuum::None) {
        EXPECT_GT(longTexts, 0);
        EXPECT_GT(foreignTexts, 0);
        EXPECT_GT(fromRun, 0);
        EXPECT_GT(single, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Backups, MessageServiceRun,
                         testing::Values(Scenario{"ios9_flat_plain", "sms-ios9.sql", 4096,
                                                  AutoVacuum::None, BackupLayout::Flat},
                                         Scenario{"ios9_sharded_autovacuum", "sms-ios9.sql", 1024,
                                                  AutoVacuum::Full, BackupLayout::Sharded},
                                         Scenario{"ios6_flat_incremental", "sms-ios6.sql", 4096,
                                                  AutoVacuum::Incremental, BackupLayout::Flat},
                                         Scenario{"ios6_sharded_plain", "sms-ios6.sql", 1024,
                                                  AutoVacuum::None, BackupLayout::Sharded}),
                         Name);

// The contacts service runs first; its carved contacts, and the live ones, name the partners of
// the carved messages.
TEST(MessageService, NamesPartnersFromTheContactsCarvedBefore) {
    TempDir dir;
    BackupBuilder backup(dir.path(), BackupLayout::Sharded);
    const msgtest::SmsFixture sms =
        msgtest::BuildSmsBackup(backup, "sms-ios9.sql", {4096, AutoVacuum::None}, 60);
    msgtest::StoredPerson anna, bernd;
    anna.first = "Anna";
    anna.last = "Schmidt";
    anna.emails = {"anna@example.com"};
    bernd.first = "Bernd";
    bernd.last = "Becker";
    bernd.phones = {"+49 151 12345678"};
    bernd.deleted = true;
    const auto book =
        msgtest::BuildAddressBookBackup(backup, {4096, AutoVacuum::None}, 0, {anna, bernd});
    ASSERT_TRUE(book.people[1].fullTextRecoverable);

    struct Case {
        bool contactsFirst;
        std::map<std::size_t, OptString> nameByPartner;
    };
    const Case cases[] = {
        // Bernd was deleted from the address book and is known from his carved full-text row
        // only; Anna still exists.
        {true, {{0, "Bernd Becker"}, {1, "Anna Schmidt"}}},
        {false, {{0, std::nullopt}, {1, "Anna Schmidt"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contactsFirst ? "contacts service first" : "message service alone");
        BrimleyAppDelegate record;
        msgtest::PrepareRecord(record, dir.path());
        msgtest::ReadLiveContacts(record, book.path);
        msgtest::ReadLiveMessages(record, sms.path);
        if (c.contactsFirst) {
            contactServices contacts;
            RunOnItsThread(contacts, record);
        }
        messageServicesIOS7_8 service;
        RunOnItsThread(service, record);

        std::map<std::string, const msgtest::StoredMessage*> byGuid;
        for (const auto& message : sms.messages) byGuid[message.guid] = &message;
        std::set<std::size_t> partnersSeen;
        for (const auto& message : service.RecoveredMessages()) {
            const auto stored = byGuid.find(message->Guid().value_or(""));
            if (stored == byGuid.end() || !stored->second->recoverable) continue;
            const auto expected = c.nameByPartner.find(stored->second->partner);
            if (expected == c.nameByPartner.end()) continue;
            partnersSeen.insert(stored->second->partner);
            EXPECT_EQ(message->ContactFullName(), expected->second) << stored->second->text;
            const auto& names = message->ConversationContact()->Names();
            EXPECT_EQ(names.empty() ? OptString() : OptString(names.front()), expected->second);
        }
        EXPECT_EQ(partnersSeen, (std::set<std::size_t>{0, 1}));
    }
}

// An empty or missing messages database, or a run cancelled before it starts, lists nothing.
TEST(MessageService, MissingDatabaseOrCancelledRunListsNothing) {
    TempDir dir;
    BackupBuilder backup(dir.path(), BackupLayout::Flat);
    const msgtest::SmsFixture sms =
        msgtest::BuildSmsBackup(backup, "sms-ios9.sql", {4096, AutoVacuum::None}, 30);
    struct Case {
        const char* label;
        bool removeDatabase;
        bool cancelFirst;
    };
    for (const Case c : {Case{"missing database", true, false}, Case{"cancelled", false, true}}) {
        SCOPED_TRACE(c.label);
        TempDir other;
        BackupBuilder copy(other.path(), BackupLayout::Flat);
        if (!c.removeDatabase)
            copy.addFile("HomeDomain", "Library/SMS/sms.db", msgtest::FileBytes(sms.path));
        BrimleyAppDelegate record;
        msgtest::PrepareRecord(record, other.path());
        messageServicesIOS7_8 service;
        std::stop_source stop;
        if (c.cancelFirst) stop.request_stop();
        service.RecoverFromIOSBackup(ContextFor(record, DeviceInfo(), stop.get_token()));
        EXPECT_TRUE(record.DeletedSMS.empty());
        EXPECT_EQ(record.DeletedSMSCount.load(), 0);
    }
}

// The factory gives the service of iOS 6 and later whatever the device says (the one that, at
// each run, reads a database of the older layout with the older services).
TEST(MessageService, FactoryAlwaysGivesTheCurrentService) {
    BrimleyAppDelegate record;
    for (const char* version : {"4.3.5", "6.1.6", "9.3.5", "10.2"}) {
        DeviceInfo device;
        device.applyVersionNumbers(version);
        const auto service = MessageServices::initwithDevice(device);
        EXPECT_NE(dynamic_cast<messageServicesIOS7_8*>(service.get()), nullptr) << version;
        EXPECT_EQ(service->SqliteDbName(), MessageServices::kSqliteDbName);
    }
}

// The partners of the live chats are gathered once per handle of a chat, and kept from one run
// to the next.
TEST(MessageService, GathersThePartnersOfTheLiveChats) {
    TempDir dir;
    BackupBuilder backup(dir.path(), BackupLayout::Flat);
    const msgtest::SmsFixture sms =
        msgtest::BuildSmsBackup(backup, "sms-ios9.sql", {4096, AutoVacuum::None}, 12);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    messageServicesIOS7_8 service;
    RunOnItsThread(service, record);
    // Two chats are left, one handle each.
    ASSERT_EQ(service.ConversationContacts().size(), 2u);
    std::set<std::string> addresses;
    for (const auto& partner : service.ConversationContacts()) {
        for (const auto& number : partner->PhoneNumbers())
            addresses.insert(number->PhoneNumber().value_or(""));
        for (const auto& email : partner->Emails()) addresses.insert(email);
    }
    EXPECT_EQ(addresses, (std::set<std::string>{sms.partners[0].address, sms.partners[1].address}));
    RunOnItsThread(service, record);
    EXPECT_EQ(service.ConversationContacts().size(), 4u);
}

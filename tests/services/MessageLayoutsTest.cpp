// The messages database in the layout the backup's file has: the group layout of iOS 4 and 5
// is read and carved by its own services and recoverers, whether the backup's iOS version says
// so, is missing, or says another layout than the file has.

#include "services/MessageServices.h"
#include "services/OlderMessageServices.h"

#include "MessageContactFixtures.h"
#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/SMS.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using testsupport::BackupBuilder;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

constexpr const char* kDomain = "HomeDomain";
constexpr const char* kSmsPath = "Library/SMS/sms.db";

// 2011-03-13 07:06:40 UTC in Unix seconds (08:06:40 in Berlin), as the SMS rows of iOS 4 and 5
// count, and 2011-03-05 06:40:00 UTC in Apple seconds, as their iMessage rows count.
constexpr std::int64_t kUnixMarch2011 = 1300000000;
constexpr std::int64_t kAppleMarch2011 = 321000000;

struct LayoutCase {
    const char* label;
    const char* schema;
    const char* productVersion;  // "": the backup does not say
    MessageLayout layout;
};

// A messages database of the group layout: a conversation with one partner, ten SMS, the
// fourth deleted; in iOS 5 files also an iMessage, deleted.
void WriteGroupLayout(FixtureDatabase& db, bool madrid) {
    db.insert("msg_group", {{"type", 0}});
    db.insert("group_member", {{"group_id", 1}, {"address", "+4915112345678"}, {"country", "de"}});
    for (int i = 0; i < 10; ++i) {
        testsupport::Row row = {{"address", "+4915112345678"},
                                {"date", kUnixMarch2011 + 3600 * i},
                                {"text", "Nachricht " + std::to_string(i) + " – bis später"},
                                {"flags", i % 2 ? 2 : 3},
                                {"group_id", 1},
                                {"read", 1}};
        if (madrid) {
            row.emplace_back("is_madrid", 0);
            row.emplace_back("madrid_date_read", 0);
            row.emplace_back("madrid_date_delivered", 0);
        }
        db.insert("message", row);
    }
    // An MMS keeps no text and no address in its row: its text is a part, its partner the
    // group's member.
    testsupport::Row mms = {{"date", kUnixMarch2011 + 50000}, {"flags", 2}, {"group_id", 1},
                            {"read", 1}};
    if (madrid) {
        mms.emplace_back("is_madrid", 0);
        mms.emplace_back("madrid_date_read", 0);
        mms.emplace_back("madrid_date_delivered", 0);
    }
    const auto mmsId = db.insert("message", mms);
    const std::string text = "Check it ouy";
    db.insert("msg_pieces", {{"message_id", mmsId},
                             {"data", Bytes(text.begin(), text.end())},
                             {"part_id", 0},
                             {"content_type", "text/plain"}});
    db.insert("msg_pieces", {{"message_id", mmsId},
                             {"data", Bytes{0xFF, 0xD8, 0xFF, 0xE0}},
                             {"part_id", 1},
                             {"content_type", "image/jpeg"}});
    // Deleted once everything is written, so that no later row takes its place.
    if (!madrid) {
        db.deleteWhere("message", "text LIKE 'Nachricht 3 %'");
        return;
    }
    const auto imessage = db.insert("message", {{"date", kAppleMarch2011},
                                                {"text", "Per iMessage: bin unterwegs"},
                                                {"flags", 0},
                                                {"group_id", 1},
                                                {"read", 1},
                                                {"madrid_handle", "anna@example.com"},
                                                {"madrid_service", "iMessage"},
                                                {"is_madrid", 1},
                                                {"madrid_date_read", kAppleMarch2011 + 60},
                                                {"madrid_date_delivered", kAppleMarch2011 + 30}});
    db.insert("message", {{"address", "+4915112345678"},
                          {"date", kUnixMarch2011 + 36000},
                          {"text", "Nachricht danach"},
                          {"flags", 3},
                          {"group_id", 1},
                          {"read", 1},
                          {"is_madrid", 0},
                          {"madrid_date_read", 0},
                          {"madrid_date_delivered", 0}});
    db.deleteRow("message", imessage);
    db.deleteWhere("message", "text LIKE 'Nachricht 3 %'");
}

// The same conversation in the chat layout of iOS 9.
void WriteChatLayout(FixtureDatabase& db) {
    const auto handle = db.insert("handle", {{"id", "+4915112345678"}, {"service", "SMS"}});
    for (int i = 0; i < 10; ++i)
        db.insert("message",
                  {{"guid", "7A5B1C2D-0000-4000-8000-0000000000" + std::to_string(10 + i)},
                   {"text", "Nachricht " + std::to_string(i) + " – bis später"},
                   {"handle_id", handle},
                   {"service", "SMS"},
                   {"account", "e:me@example.com"},
                   {"account_guid", "5D1E0B2C-0000-4000-8000-00000000A1B2"},
                   {"date", kAppleMarch2011 + 3600 * i},
                   {"date_read", 0},
                   {"date_delivered", kAppleMarch2011 + 3600 * i + 5},
                   {"is_from_me", 1},
                   {"is_delivered", 1},
                   {"is_finished", 1},
                   {"is_read", 0},
                   {"is_sent", 1}});
    db.deleteWhere("message", "text LIKE 'Nachricht 3 %'");
}

struct MessagesBackup {
    explicit MessagesBackup(const LayoutCase& c) : backup(dir.path()) {
        auto db = backup.addDatabase(kDomain, kSmsPath, c.schema);
        if (c.layout == MessageLayout::Chats)
            WriteChatLayout(db);
        else
            WriteGroupLayout(db, c.layout == MessageLayout::GroupsIOS5);
        db.close();
        msgtest::PrepareRecord(record, dir.path());
        device.applyVersionNumbers(*c.productVersion ? OptString(c.productVersion)
                                                     : std::nullopt);
        device.setProductVersion(std::string(c.productVersion));
    }
    ScanContext context() { return testsupport::ContextFor(record, device); }

    TempDir dir;
    BackupBuilder backup;
    BrimleyAppDelegate record;
    DeviceInfo device;
};

const LayoutCase kCases[] = {
    {"iOS 5", "sms-ios5.sql", "5.1.1", MessageLayout::GroupsIOS5},
    // The table as iOS 5 creates it: madrid_account_guid follows madrid_account.
    {"iOS 5, created by iOS 5", "sms-ios5-device.sql", "5.1.1", MessageLayout::GroupsIOS5},
    {"iOS 5, version missing", "sms-ios5.sql", "", MessageLayout::GroupsIOS5},
    {"iOS 5 file, backup says iOS 9", "sms-ios5.sql", "9.3.5", MessageLayout::GroupsIOS5},
    {"iOS 4", "sms-ios4.sql", "4.3.5", MessageLayout::GroupsIOS4},
    {"iOS 4 file, backup says iOS 6", "sms-ios4.sql", "6.1.6", MessageLayout::GroupsIOS4},
    {"iOS 9 file, backup says iOS 5", "sms-ios9.sql", "5.1.1", MessageLayout::Chats},
};

}  // namespace

// The service the application makes carves the deleted messages of every layout, each with its
// text, its partner and its time read in the unit its row counts.
TEST(MessageLayouts, TheServiceCarvesTheLayoutTheFileHas) {
    for (const LayoutCase& c : kCases) {
        SCOPED_TRACE(c.label);
        MessagesBackup backup(c);
        const auto service = MessageServices::initwithDevice(backup.device);
        auto* chooser = dynamic_cast<messageServicesForBackup*>(service.get());
        ASSERT_NE(chooser, nullptr);
        service->RecoverFromIOSBackup(backup.context());
        EXPECT_EQ(chooser->lastLayout(), c.layout);

        std::map<std::string, std::shared_ptr<SMS>> deleted;
        for (const auto& sms : backup.record.DeletedSMS.snapshot())
            deleted[sms->Message().value_or("<none>")] = sms;
        const std::string text = "Nachricht 3 – bis später";
        ASSERT_EQ(deleted.count(text), 1u);
        EXPECT_EQ(deleted.at(text)->LocalTime(), c.layout == MessageLayout::Chats
                                                     ? "2011-03-05 10:40:00"
                                                     : "2011-03-13 11:06:40");
        if (c.layout != MessageLayout::Chats) {
            EXPECT_EQ(deleted.at(text)->Address(), "+4915112345678");
        }
        if (c.layout == MessageLayout::GroupsIOS5) {
            ASSERT_EQ(deleted.count("Per iMessage: bin unterwegs"), 1u);
            EXPECT_EQ(deleted.at("Per iMessage: bin unterwegs")->LocalTime(),
                      "2011-03-05 07:40:00");
        }
        EXPECT_EQ(deleted.size(), c.layout == MessageLayout::GroupsIOS5 ? 2u : 1u);
        EXPECT_EQ(backup.record.DeletedSMSCount.load(), static_cast<int>(deleted.size()));
    }
}

// The live list reads the layout the file has, whatever the backup's version says, and shows an
// MMS of the group layout with the text of its parts and its group's member as the partner.
TEST(MessageLayouts, TheLiveListReadsTheFilesLayoutAndItsMms) {
    for (const char* version : {"5.1.1", "", "9.3.5"}) {
        SCOPED_TRACE(version);
        MessagesBackup backup({"iOS 5", "sms-ios5.sql", version, MessageLayout::GroupsIOS5});
        auto handle =
            std::make_shared<FMDBUtils>(backup.backup.pathFor(kDomain, kSmsPath).string());
        ASSERT_TRUE(handle->openDatabase());
        DAOs daos(handle, backup.context());
        const auto list = daos.GetSMS();
        ASSERT_TRUE(list.has_value());
        // Nine SMS, one more after the deleted iMessage, and the MMS.
        ASSERT_EQ(list->size(), 11u);
        EXPECT_EQ(list->front()->Message(), "Nachricht 0 – bis später");
        EXPECT_EQ(list->front()->LocalTime(), "2011-03-13 08:06:40");
        EXPECT_EQ(list->front()->Type(), "Sent to");
        const SMS& mms = *(*list)[9];
        EXPECT_EQ(mms.Message(), "Check it ouy");
        EXPECT_EQ(mms.Address(), "+4915112345678");
        EXPECT_EQ(mms.Type(), "Received from");
        EXPECT_EQ(backup.record.SMSCount.load(), 11);
    }
}

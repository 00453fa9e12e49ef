// The message service's rewrites of carved messages' addresses: from the address book's
// serial numbers and from the messages database's handles. The screens may read the addresses
// meanwhile.

#include "CalendarCallsNotesWhatsAppSupport.h"
#include "records/Contact.h"
#include "records/SMS.h"
#include "services/MessageServices.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using testsupport::BackupBuilder;
using testsupport::ContextFor;

namespace {

std::shared_ptr<SMS> Carved(std::int32_t rowId, std::int32_t handle, OptString text) {
    auto sms = std::make_shared<SMS>();
    sms->setRowID(rowId);
    sms->setHandleID(handle);
    sms->setMessage(std::move(text));
    sms->setAddress(std::string("unknown1"));
    return sms;
}

std::shared_ptr<Contact> Person(std::int32_t slNo, OptString second) {
    auto contact = std::make_shared<Contact>();
    contact->setSlNo(slNo);
    contact->setContactNo2(std::move(second));
    return contact;
}

class MessageAddressUpdate : public othertest::RecoveryTest {};

}  // namespace

TEST_F(MessageAddressUpdate, SecondNumberOfTheContactOfTheRowNumber) {
    record.ContactContent.replace({Person(3, std::string("+49 170 333"))});
    record.DeletedContact.replace({Person(3, std::string("+49 170 999")), Person(5, std::nullopt)});
    const auto live = Carved(3, 0, std::string("a"));
    const auto deleted = Carved(5, 0, std::string("b"));
    const auto nobody = Carved(7, 0, std::string("c"));
    record.DeletedSMS.replace({live, deleted, nobody});
    messageServicesIOS7_8::updatePhoneNumbersInMessages(record);
    EXPECT_EQ(live->Address(), "+49 170 333");  // the live contact comes first
    EXPECT_FALSE(deleted->Address().has_value());
    EXPECT_EQ(nobody->Address(), "unknown1");
}

TEST_F(MessageAddressUpdate, AddressOfTheHandleOrUnknown) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
    db.exec("INSERT INTO handle (ROWID, id, country, service) VALUES (4, '+4915112345', 'de', 'SMS');"
            "INSERT INTO handle (ROWID, id, country, service) VALUES (6, '', 'de', 'SMS');");
    db.close();
    useBackup(backup, 9);
    record.SMS_DATABASE.set(MessageServices::kSqliteDbName);
    const auto known = Carved(-1, 4, std::string("Hallo"));
    const auto empty = Carved(-1, 6, std::string("Hallo"));
    const auto missing = Carved(-1, 8, std::string("Hallo"));
    const auto noText = Carved(-1, 4, std::nullopt);
    record.DeletedSMS.replace({known, empty, missing, noText});
    messageServicesIOS7_8::updateSMSAddresses(ContextFor(record, device));
    EXPECT_EQ(known->Address(), "+4915112345");
    EXPECT_EQ(empty->Address(), "Unknown");
    EXPECT_EQ(missing->Address(), "Unknown");
    EXPECT_EQ(noText->Address(), "unknown1");
}

// A screen reading the addresses while they are rewritten sees each address whole.
TEST_F(MessageAddressUpdate, ReadersSeeWholeAddresses) {
    const std::string longer(200, '7');
    record.ContactContent.replace({Person(1, "+" + longer)});
    std::vector<std::shared_ptr<SMS>> messages;
    for (int i = 0; i < 50; ++i) messages.push_back(Carved(1, 0, std::string("x")));
    record.DeletedSMS.replace(messages);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done)
            for (const auto& sms : record.DeletedSMS.snapshot()) {
                const OptString address = sms->Address();
                if (address != "unknown1" && address != "+" + longer) ++torn;
            }
    });
    for (int round = 0; round < 200; ++round) {
        for (const auto& sms : messages) sms->setAddress(std::string("unknown1"));
        messageServicesIOS7_8::updatePhoneNumbersInMessages(record);
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(messages.front()->Address(), "+" + longer);
}

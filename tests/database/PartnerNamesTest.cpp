#include "LiveRowsBackup.h"

#include "database/PartnerNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::FixtureDatabase;

constexpr LiveRowsBackup::Role kChatStorage{"AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
                                            "ChatStorage.sqlite"};

// An address book whose numbers end alike in several ways: the names read once must be the
// names the query gives, address by address.
class PartnerNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        FixtureDatabase db = backup.create(LiveRowsBackup::kAddressBook, "addressbook.sql");
        const struct {
            const char* first;
            std::vector<ColumnValue> values;
        } people[] = {
            {"Clara", {ColumnValue("+49 (151) 2345-6789")}},
            {"Dora", {ColumnValue("+1 555 0100")}},
            {"Emil", {ColumnValue("0100")}},
            {nullptr, {ColumnValue("007")}},
            {"Fritz", {ColumnValue("MAIL@Example.com"), ColumnValue(4711), ColumnValue::Null()}},
            {"Gabi", {ColumnValue("50%_off")}},
        };
        int rowId = 0, details = 0;
        for (const auto& person : people) {
            db.insert("ABPerson", {{"ROWID", ColumnValue(++rowId)},
                                   {"First", person.first ? ColumnValue(person.first) : ColumnValue::Null()},
                                   {"guid", ColumnValue("person-" + std::to_string(rowId))}});
            for (const ColumnValue& value : person.values)
                db.insert("ABMultiValue", {{"record_id", ColumnValue(rowId)},
                                           {"property", ColumnValue(3)},
                                           {"identifier", ColumnValue(0)},
                                           {"label", ColumnValue(1)},
                                           {"value", value},
                                           {"guid", ColumnValue("mv-" + std::to_string(++details))}});
        }
        db.close();
    }

    LiveRowsBackup backup{9};
};

TEST_F(PartnerNamesTest, AddressBookNamesAnswerAsTheQueryDoes) {
    const AddressBookNames names(backup.pathOf(LiveRowsBackup::kAddressBook));
    ASSERT_TRUE(names.isOpen());
    auto daos = backup.unbound();
    const OptString addresses[] = {
        std::nullopt, "", "+49 151 2345 6789", "2345-6789", "(151)23456789", "0100", "+1-555-0100",
        "555 0100", "100", "7", "007", "mail@example.COM", "example.com", "4711", "11", "50%_off", "%_off",
        "_", "%", "9999", "+", " - ", "ÄÖÜ", "0151234567890123456789",
    };
    for (const OptString& address : addresses)
        EXPECT_EQ(names.nameFor(address), daos->GetNameForAddress(address)) << address.value_or("(absent)");
    // The last matching row wins, as the query's last row does.
    EXPECT_EQ(names.nameFor(std::string("0100")), "Emil");
    EXPECT_EQ(names.nameFor(std::string("example.COM")), "Fritz");
}

TEST_F(PartnerNamesTest, AMissingAddressBookNamesNobody) {
    const AddressBookNames names(backup.pathOf(LiveRowsBackup::kAddressBook) + ".missing");
    EXPECT_FALSE(names.isOpen());
    EXPECT_EQ(names.nameFor(std::string("0100")), "");
    EXPECT_EQ(names.nameFor(std::string("")), "Unknown");
}

TEST(WhatsAppPartnerNamesTest, NamesAnswerAsTheQueryDoes) {
    LiveRowsBackup backup(9);
    backup.state.WHATSAPP_DATABASE.set(LiveRowsBackup::NameOf(kChatStorage));
    FixtureDatabase db = backup.create(kChatStorage, "whatsapp-chatstorage.sql");
    const std::pair<ColumnValue, ColumnValue> sessions[] = {
        {ColumnValue("anna@s.whatsapp.net"), ColumnValue("Anna Berg")},
        {ColumnValue("anna@s.whatsapp.net"), ColumnValue("Second session")},
        {ColumnValue("ben@s.whatsapp.net"), ColumnValue::Null()},
        {ColumnValue::Null(), ColumnValue("Nobody")},
        {ColumnValue(""), ColumnValue("Empty id")},
    };
    for (const auto& [jid, name] : sessions) db.insert("ZWACHATSESSION", {{"ZCONTACTJID", jid}, {"ZPARTNERNAME", name}});
    db.close();
    const WhatsAppPartnerNames names(backup.pathOf(kChatStorage));
    auto daos = backup.unbound();
    for (const OptString& id : {OptString("anna@s.whatsapp.net"), OptString("ben@s.whatsapp.net"),
                                OptString("carl@s.whatsapp.net"), OptString(""), OptString()})
        EXPECT_EQ(names.nameFor(id), daos->GetWhatsAppContactName(id)) << id.value_or("(absent)");
    EXPECT_EQ(names.nameFor(std::string("anna@s.whatsapp.net")), "Anna Berg");
    EXPECT_EQ(names.nameFor(std::string("ben@s.whatsapp.net")), std::nullopt);
    EXPECT_EQ(WhatsAppPartnerNames("/nonexistent/ChatStorage.sqlite").nameFor(std::string("x")), "");
}

}  // namespace

// How the full-text recoverer turns a carved row's blank-separated lists into a contact's
// numbers, e-mail addresses and addresses, and how carved contacts are paired.

#include "services/ContactRecoverers.h"

#include "MessageContactFixtures.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/ContactData.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using testsupport::ContextFor;

std::vector<std::string> Numbers(const Contact& contact) {
    std::vector<std::string> numbers;
    for (const auto& entry : contact.ContactNumbers()) {
        EXPECT_EQ(entry->Label(), "Other Phone");
        numbers.push_back(entry->Number().value_or("<absent>"));
    }
    return numbers;
}

}  // namespace

TEST(ContactFullTextSplit, PhoneNumbers) {
    struct Case {
        OptString phones;
        OptString no1, no2, no3;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        // A short first part is joined with the second; with three parts the third slot falls
        // back to the third part.
        {"020 794 555", "020794", "555", "555", {"020", "794", "555"}},
        {"+4915112345678 020", "+4915112345678", "020", std::nullopt, {"+4915112345678", "020"}},
        {"0301", "0301", std::nullopt, std::nullopt, {"0301"}},
        {"030 1234567 0171 7654321",
         "0301234567",
         "0171",
         "7654321",
         {"030", "1234567", "0171", "7654321"}},
        // Two blanks give an empty part, which counts like any other.
        {"0301234567  0171", "0301234567", "", "0171", {"0301234567", "", "0171"}},
        {"", "", std::nullopt, std::nullopt, {}},
        {std::nullopt, "", std::nullopt, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phones.value_or("<absent>"));
        Contact contact;
        contact.setC15Phone(c.phones);
        ContactSearchsSQLiteRecovery::SplitPhoneNumbers(contact);
        EXPECT_EQ(contact.ContactNo1(), c.no1);
        EXPECT_EQ(contact.ContactNo2(), c.no2);
        EXPECT_EQ(contact.ContactNo3(), c.no3);
        EXPECT_EQ(Numbers(contact), c.entries);
    }
}

TEST(ContactFullTextSplit, EmailAddressesAndAddresses) {
    Contact contact;
    contact.setC16Email("a@example.com b@example.com c@example.com d@example.com");
    contact.setC17Address("Hauptstraße 5 München");
    ContactSearchsSQLiteRecovery::SplitEmailAddresses(contact);
    ContactSearchsSQLiteRecovery::SplitAddresses(contact);
    EXPECT_EQ(contact.EmailAddress1(), "a@example.com");
    EXPECT_EQ(contact.EmailAddress2(), "b@example.com");
    EXPECT_EQ(contact.EmailAddress3(), "c@example.com");
    ASSERT_EQ(contact.ContactEmailAddresses().size(), 4u);
    EXPECT_EQ(contact.ContactEmailAddresses()[3]->Email(), "d@example.com");
    EXPECT_EQ(contact.ContactEmailAddresses()[3]->Label(), "Other Email");
    ASSERT_EQ(contact.ContactAddresses().size(), 3u);
    EXPECT_EQ(contact.ContactAddresses()[0]->Street(), "Hauptstraße");
    EXPECT_EQ(contact.ContactAddresses()[2]->Street(), "München");

    Contact empty;
    empty.setC17Address("");
    ContactSearchsSQLiteRecovery::SplitAddresses(empty);
    ContactSearchsSQLiteRecovery::SplitEmailAddresses(empty);
    EXPECT_TRUE(empty.ContactAddresses().empty());
    EXPECT_FALSE(empty.EmailAddress1().has_value());
}

// Characters, not bytes, decide whether a first part is short: "Zöé12" is five characters.
TEST(ContactFullTextSplit, ShortFirstPartCountsCharacters) {
    Contact contact;
    contact.setC15Phone(
        "Z\xC3\xB6\xC3\xA9"
        "12 34");
    ContactSearchsSQLiteRecovery::SplitPhoneNumbers(contact);
    EXPECT_EQ(contact.ContactNo1(),
              "Z\xC3\xB6\xC3\xA9"
              "1234");
}

TEST(ContactPairing, SameNamesNameTheSamePerson) {
    auto person = [](OptString first, OptString last) {
        Contact contact;
        contact.setFirstName(std::move(first));
        contact.setLastName(std::move(last));
        return contact;
    };
    struct Case {
        Contact a, b;
        bool same;
    };
    const Case cases[] = {
        {person("Anna", "Schmidt"), person("Anna", "Schmidt"), true},
        {person("Anna", std::nullopt), person("Anna", std::nullopt), true},
        {person("Anna", "Schmidt"), person("Anna", std::nullopt), false},
        {person("Anna", "Schmidt"), person("Anne", "Schmidt"), false},
        {person(std::nullopt, std::nullopt), person(std::nullopt, std::nullopt), false},
        {person("", ""), person("", ""), false},
    };
    for (const Case& c : cases) EXPECT_EQ(AddressBookRecovery::SamePersonName(c.a, c.b), c.same);
}

// The multi-value recoverer keeps the deleted numbers and addresses that the live table lacks.
TEST(ContactMultiValueRecovery, KeepsOnlyValuesTheLiveTableLacks) {
    testsupport::TempDir dir;
    testsupport::BackupBuilder backup(dir.path());
    const auto book =
        msgtest::BuildAddressBookBackup(backup, {4096, testsupport::AutoVacuum::None}, 30);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    ContactsABMultiValueSQLiteRecovery recoverer(ContextFor(record));
    recoverer.DoRecoveryPath(book.path.string());

    std::set<std::string> deleted, live;
    for (const auto& person : book.people) {
        for (const auto* values : {&person.phones, &person.emails})
            for (const auto& value : *values) (person.deleted ? deleted : live).insert(value);
    }
    std::set<std::string> found;
    for (const auto& carved : recoverer.RecoveredFiltered()) {
        const auto& value = static_cast<const ContactABMultiValue&>(*carved);
        ASSERT_TRUE(value.value().has_value());
        EXPECT_EQ(live.count(*value.value()), 0u) << *value.value();
        EXPECT_TRUE(value.Property() == 3 || value.Property() == 4) << *value.value();
        found.insert(*value.value());
    }
    EXPECT_GE(found.size(), deleted.size() / 2);
    for (const auto& value : found) EXPECT_EQ(deleted.count(value), 1u) << value;
    EXPECT_TRUE(record.DeletedContact.empty());
}

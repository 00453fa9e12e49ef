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
        std::vector<std::string> numbers;  // whole numbers, in ContactNo1... and the entries
    };
    const Case cases[] = {
        // German mobile and Berlin numbers, each with blanks between its groups.
        {"+49 151 2121 4377 030 4400969", {"+49 151 2121 4377", "030 4400969"}},
        {"+49 151 2121 4377", {"+49 151 2121 4377"}},
        {"0151 21214377 030 4400969", {"0151 21214377", "030 4400969"}},
        {"+49 (0)30 4400969 +49 151 21214377", {"+49 (0)30 4400969", "+49 151 21214377"}},
        // The other forms of one number (digits only, without country code or trunk zero)
        // are that number.
        {"+49 151 21214377 +4915121214377 4915121214377 015121214377 15121214377",
         {"+49 151 21214377"}},
        // US numbers: ten digits without "+", eleven after "+1" or a leading 1.
        {"(555) 564-8583 (555) 123-4567", {"(555) 564-8583", "(555) 123-4567"}},
        {"555 564 8583 555 123 4567", {"555 564 8583", "555 123 4567"}},
        {"+1 555 564 8583 555 123 4567", {"+1 555 564 8583", "555 123 4567"}},
        {"1 (555) 564-8583 15555648583 5555648583 5648583", {"1 (555) 564-8583"}},
        {"+1 (555) 564-8583 +44 20 7946 0958", {"+1 (555) 564-8583", "+44 20 7946 0958"}},
        // Digits-only numbers one after the other.
        {"+4915112345678 020", {"+4915112345678", "020"}},
        {"0301234567  01717654321", {"0301234567", "01717654321"}},
        {"0301", {"0301"}},
        // As the phone writes the list: each number as entered, then the forms it adds (with
        // country code and prefixes, with trunk zero, digits only, its last digits), each
        // followed by a blank. The number is what precedes its added forms, never groups of
        // two numbers joined.
        {"800 810 2323 +868008102323 00868008102323 011868008102323 08008102323 8008102323 "
         "8102323 400 6927753 +864006927753 00864006927753 011864006927753 04006927753 "
         "4006927753 6927753 010-8525-5588 +861085255588 00861085255588 011861085255588 "
         "01085255588 1085255588 85255588 ",
         {"800 810 2323", "400 6927753", "010-8525-5588"}},
        {"18305949080 +8618305949080 008618305949080 0118618305949080 018305949080 "
         "18305949080 05949080 ",
         {"18305949080"}},
        // A number without added forms before one with them.
        {"030 4400969 400 6272273 +864006272273 4006272273 6272273",
         {"030 4400969", "400 6272273"}},
        // Short numbers one after the other cannot be told from the groups of one number.
        {"112 110 112", {"112 110 112"}},
        {"", {}},
        {std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phones.value_or("<absent>"));
        Contact contact;
        contact.setC15Phone(c.phones);
        ContactSearchsSQLiteRecovery::SplitPhoneNumbers(contact);
        const OptString slots[] = {contact.ContactNo1(), contact.ContactNo2(),
                                   contact.ContactNo3(), contact.ContactNo4(),
                                   contact.ContactNo5(), contact.ContactNo6()};
        for (std::size_t i = 0; i < std::size(slots); ++i) {
            if (i < c.numbers.size())
                EXPECT_EQ(slots[i], c.numbers[i]) << "slot " << i + 1;
            else if (i == 0)
                EXPECT_EQ(slots[i], "") << "the first number starts empty";
            else
                EXPECT_FALSE(slots[i].has_value()) << "slot " << i + 1;
        }
        EXPECT_EQ(Numbers(contact), c.numbers);
    }
}

// A person with more than six numbers lists all of them; the six slots take the first six.
TEST(ContactFullTextSplit, MoreNumbersThanSlots) {
    Contact contact;
    contact.setC15Phone("030 1111111 030 2222222 030 3333333 030 4444444 030 5555555 "
                        "030 6666666 030 7777777");
    ContactSearchsSQLiteRecovery::SplitPhoneNumbers(contact);
    EXPECT_EQ(contact.ContactNo6(), "030 6666666");
    ASSERT_EQ(contact.ContactNumbers().size(), 7u);
    EXPECT_EQ(contact.ContactNumbers()[6]->Number(), "030 7777777");
}

TEST(ContactFullTextSplit, EmailAddressesAndAddresses) {
    Contact contact;
    // As the device writes the lists: each part followed by a blank.
    contact.setC16Email("a@example.com b@example.com c@example.com d@example.com ");
    contact.setC17Address("Hauptstraße 5 München ");
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

// Where the phone list of a decoded full-text row starts: a shift for its first six bytes, none
// for other fields.
TEST(ContactFullTextPosition, PhoneListStartsAtItsFirstNumber) {
    const struct {
        const char* field;
        std::string text;
        std::int32_t shift;
    } cases[] = {
        {"c15Phone", "033 12 345 67", 0},
        {"c15Phone", "xy+261331234567", 2},
        {"c15Phone", std::string("ab\x1e") + "0331234567", 2},
        {"c15Phone", "abcde9 12345", 5},
        {"c15Phone", "abcdef 1234", 0},   // not among the first six bytes
        {"c15Phone", "ab+12", 0},         // six bytes or fewer
        {"c0First", "  Anna", -100},
        {"", "0331234567", -100},
    };
    for (const auto& c : cases) {
        const ByteView bytes(reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size());
        EXPECT_EQ(ContactSearchsSQLiteRecovery::PhoneStartShift(c.field, bytes), c.shift)
            << c.field << " " << c.text;
    }
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

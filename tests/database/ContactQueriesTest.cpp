#include "LiveRowsBackup.h"

#include "records/Contact.h"
#include "records/ContactData.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using testsupport::FixtureDatabase;

constexpr int kPhone = 3;
constexpr int kEmail = 4;
constexpr int kUrl = 22;

class ContactQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        FixtureDatabase db = backup.create(LiveRowsBackup::kAddressBook, "addressbook.sql");
        person(db, 1, "Anna", "Schmidt", ColumnValue(400000000.5), ColumnValue(480000000.0));
        db.exec(
            "UPDATE ABPerson SET Nickname = 'Annie', Organization = 'ACME', "
            "Department = 'R&D', JobTitle = 'Engineer' WHERE ROWID = 1");
        for (int i = 1; i <= 7; ++i) detail(db, 1, kPhone, "+49 151 000000" + std::to_string(i));
        detail(db, 1, kUrl, "https://example.com");
        for (int i = 1; i <= 4; ++i)
            detail(db, 1, kEmail, "anna" + std::to_string(i) + "@example.com");
        person(db, 2, "Ben", nullptr, ColumnValue::Null(), ColumnValue::Null());
        person(db, 3, "Clara", "Meyer", ColumnValue(0.0), ColumnValue(0.0));
        detail(db, 3, kPhone, "+49 (151) 2345-6789");
        person(db, 4, "Dora", nullptr, ColumnValue::Null(), ColumnValue::Null());
        detail(db, 4, kPhone, "+1 555 0100");
        person(db, 5, "Emil", nullptr, ColumnValue::Null(), ColumnValue::Null());
        detail(db, 5, kPhone, "0100");
        person(db, 6, nullptr, "NoFirstName", ColumnValue::Null(), ColumnValue::Null());
        detail(db, 6, kPhone, "007");
        db.close();
    }

    static void person(FixtureDatabase& db, int rowId, const char* first, const char* last,
                       ColumnValue created, ColumnValue modified) {
        db.insert("ABPerson", {{"ROWID", ColumnValue(rowId)},
                               {"First", first ? ColumnValue(first) : ColumnValue::Null()},
                               {"Last", last ? ColumnValue(last) : ColumnValue::Null()},
                               {"CreationDate", std::move(created)},
                               {"ModificationDate", std::move(modified)},
                               {"guid", ColumnValue("person-" + std::to_string(rowId))}});
    }

    void detail(FixtureDatabase& db, int person, int property, const std::string& value) {
        db.insert("ABMultiValue", {{"record_id", ColumnValue(person)},
                                   {"property", ColumnValue(property)},
                                   {"identifier", ColumnValue(0)},
                                   {"label", ColumnValue(1)},
                                   {"value", ColumnValue(value)},
                                   {"guid", ColumnValue("mv-" + std::to_string(++details_))}});
    }

    LiveRowsBackup backup{9};
    int details_ = 0;
};

TEST_F(ContactQueriesTest, ContactsCarrySixNumbersThreeAddressesAndDateTexts) {
    auto contacts = backup.boundTo(LiveRowsBackup::kAddressBook)->GetContacts();
    ASSERT_EQ(contacts.size(), 6u);
    EXPECT_EQ(backup.state.ContactCount.load(), 6);
    EXPECT_EQ(backup.state.AllContactsContent.size(), 6u);

    const Contact& anna = *contacts[0];
    EXPECT_EQ(anna.SlNo(), 1);
    EXPECT_EQ(anna.FirstName(), "Anna");
    EXPECT_EQ(anna.LastName(), "Schmidt");
    EXPECT_EQ(anna.MiddleName(), std::nullopt);
    EXPECT_EQ(anna.NickName(), "Annie");
    EXPECT_EQ(anna.Organization(), "ACME");
    EXPECT_EQ(anna.Department(), "R&D");
    EXPECT_EQ(anna.JobTitle(), "Engineer");
    // Apple seconds shown in local time like every other date text; the fraction is dropped.
    EXPECT_EQ(anna.CreatedDate(), "2013-09-04 17:06:40");
    EXPECT_EQ(anna.ModifiedDate(), "2016-03-18 14:20:00");
    // Seven numbers: the first six in database order; four addresses: the first three.
    const OptString numbers[] = {anna.ContactNo1(), anna.ContactNo2(), anna.ContactNo3(),
                                 anna.ContactNo4(), anna.ContactNo5(), anna.ContactNo6()};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(numbers[i], "+49 151 000000" + std::to_string(i + 1));
    EXPECT_EQ(anna.EmailAddress1(), "anna1@example.com");
    EXPECT_EQ(anna.EmailAddress3(), "anna3@example.com");

    const Contact& ben = *contacts[1];
    EXPECT_EQ(ben.SlNo(), 2);
    EXPECT_EQ(ben.CreatedDate(), "");  // NULL: no date
    EXPECT_EQ(ben.ContactNo1(), "");
    EXPECT_EQ(ben.ContactNo2(), std::nullopt);
    EXPECT_EQ(ben.EmailAddress1(), std::nullopt);
    EXPECT_EQ(contacts[2]->CreatedDate(), "2001-01-01 01:00:00");
}

TEST_F(ContactQueriesTest, DetailRowsOfOnePersonOrEveryPhoneNumberReduced) {
    auto daos = backup.boundTo(LiveRowsBackup::kAddressBook);
    auto anna = daos->GetContactProperty(1);
    ASSERT_EQ(anna.size(), 12u);
    EXPECT_EQ(anna[7]->PropertyID(), kUrl);
    EXPECT_EQ(anna[7]->Value(), "https://example.com");

    // Every phone number of the book, as its first run of digits (a country prefix alone).
    std::multiset<std::string> reduced;
    for (const auto& number : daos->GetContactProperty(0)) reduced.insert(number->Value().value());
    const std::multiset<std::string> expected = {"49", "49", "49", "49",  "49", "49",
                                                 "49", "49", "1",  "100", "7"};
    EXPECT_EQ(reduced, expected);

    EXPECT_EQ(daos->GetContactPhoneNum(3).size(), 1u);
    EXPECT_TRUE(daos->GetContactPhoneNum(0).empty());
}

TEST(ContactHelpersTest, FirstRunOfDigits) {
    const std::pair<OptString, const char*> cases[] = {
        {"007", "7"},
        {"no digits", "0"},
        {std::nullopt, "0"},
        {"", "0"},
        {"+49 (0)151 1234", "49"},
        {"tel:0151-99", "151"},
        {"123456789012345678901234567890", "9223372036854775807"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(DAOs::removeSpecialCharsFromString(text), expected) << text.value_or("(absent)");
}

TEST_F(ContactQueriesTest, NameForAddressMatchesTheEndOfStoredNumbers) {
    // The screens and the call lists ask query objects on other databases: the name still
    // comes from the backup's address book.
    auto onAddressBook = backup.boundTo(LiveRowsBackup::kAddressBook);
    auto onNothing = backup.unbound();
    const std::pair<OptString, const char*> cases[] = {
        {std::nullopt, "Unknown"},
        {"", "Unknown"},
        {"+49 151 2345 6789", "Clara"},
        {"(151) 2345-6789", "Clara"},
        {"15123456789", "Clara"},
        {"() - +", ""},  // reduces to nothing: matches nothing
        {"%", ""},       // wildcards are plain characters
        {"_", ""},
        {"9999", ""},
        {"0100", "Emil"},  // two people end so: the last row the database returns wins
    };
    for (const auto& [address, expected] : cases) {
        EXPECT_EQ(onAddressBook->GetNameForAddress(address), expected) << address.value_or("-");
        EXPECT_EQ(onNothing->GetNameForAddress(address), expected) << address.value_or("-");
    }
}

TEST_F(ContactQueriesTest, RowIdMapAndExistence) {
    auto daos = backup.unbound();
    const RowIdMap names = daos->GetAllContactRowID();
    EXPECT_EQ(names.size(), 5u);  // the person without a first name is left out
    EXPECT_EQ(names.at("3"), "Clara");
    EXPECT_TRUE(daos->isDeletedContacted(6));
    EXPECT_FALSE(daos->isDeletedContacted(99));

    backup.state.ADDRESSBOOK_DATABASE.set("missing");
    daos = backup.unbound();
    EXPECT_FALSE(daos->isDeletedContacted(1));
    EXPECT_TRUE(daos->GetAllContactRowID().empty());
}

}  // namespace

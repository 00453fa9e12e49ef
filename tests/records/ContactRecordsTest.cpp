#include "records/Contact.h"
#include "records/ContactData.h"

#include <gtest/gtest.h>

namespace {

TEST(ContactRecordsTest, ANewContactHasAnEmptyFirstNumberAndEmptyLists) {
    Contact contact;
    EXPECT_EQ(contact.ContactNo1(), "");
    EXPECT_EQ(contact.ContactNo2(), std::nullopt);
    EXPECT_EQ(contact.ContactNo6(), std::nullopt);
    EXPECT_EQ(contact.ContactProfileImages(), std::nullopt);
    contact.ContactNumbers().push_back(std::make_shared<ContactNumber>());
    EXPECT_EQ(contact.ContactNumbers().size(), 1u);
    EXPECT_TRUE(contact.ContactEmailAddresses().empty());
    EXPECT_FALSE(contact.Recovered());
}

TEST(ContactRecordsTest, FirstNumberIsTakenFromTheNextNonEmptyOne) {
    struct Case {
        OptString no1, no2, no3, expected;
    };
    const Case cases[] = {
        {"", "555", "777", "555"},
        {"", "", "777", "777"},
        {"", std::nullopt, "777", std::nullopt},  // an absent number counts as not empty
        {"", "", "", ""},
        {"123", "555", "777", "123"},
        {std::nullopt, "555", "777", std::nullopt},
    };
    for (const Case& c : cases) {
        Contact contact;
        contact.setContactNo1(c.no1);
        contact.setContactNo2(c.no2);
        contact.setContactNo3(c.no3);
        contact.setContactNo1Number();
        EXPECT_EQ(contact.ContactNo1(), c.expected)
            << c.no1.value_or("-") << "/" << c.no2.value_or("-") << "/" << c.no3.value_or("-");
    }
}

TEST(ContactRecordsTest, LabelsLoseTheAddressBookBrackets) {
    const std::pair<OptString, const char*> cases[] = {
        {"_$!<Mobile>!$_", "Mobile"},
        {"Holiday home", "Holiday home"},
        {"", "Other"},
        {std::nullopt, "Other"},
    };
    for (const auto& [label, expected] : cases) {
        ContactNumber number;
        number.setLabel(label);
        EXPECT_EQ(number.LabelFormated(), expected);
    }
}

TEST(ContactRecordsTest, MultiValueRowsCompareEveryField) {
    ContactABMultiValue a, b;
    for (ContactABMultiValue* v : {&a, &b}) {
        v->setRecordId(1), v->setProperty(3), v->setIdentifier(0), v->setLabel(2);
        v->setValue("+49 151 1"), v->setGuid("g");
    }
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_EQ(a.value(), "+49 151 1");
    b.setLabel(3);
    EXPECT_FALSE(a.IsEqual(b));
}

}  // namespace

#include "database/DAOs.h"

#include "database/QueryDates.h"
#include "database/SqlText.h"
#include "records/Contact.h"
#include "records/ContactData.h"

#include <array>
#include <limits>

namespace {

// Property numbers of the address book's detail rows.
constexpr std::int32_t kPhoneProperty = 3;
constexpr std::int32_t kEmailProperty = 4;

const char* const kPersonDetailsStatement = "SELECT * FROM ABMultiValue WHERE Record_Id = ?";

// The number with the characters people write around digits removed.
std::string ReducedNumber(const std::string& number) {
    std::string reduced;
    for (char c : number)
        if (c != '(' && c != ')' && c != '-' && c != ' ' && c != '+') reduced += c;
    return reduced;
}

RecordList<Property> ReadProperties(SqliteResultSet& row, bool reduceValues) {
    RecordList<Property> properties;
    while (row.next()) {
        auto property = std::make_shared<Property>();
        property->setValue(row.stringForColumn("value"));
        property->setPropertyID(row.intForColumn("property"));
        if (reduceValues) property->setValue(DAOs::removeSpecialCharsFromString(property->Value()));
        properties.push_back(std::move(property));
    }
    return properties;
}

}  // namespace

RecordList<Contact> DAOs::GetContacts() {
    RecordList<Contact> result;
    std::int32_t n = 1;
    auto connection = boundConnection();
    if (connection) {
        auto row = connection->executeQuery("SELECT * FROM ABPerson");
        while (row.next()) {
            auto contact = std::make_shared<Contact>();
            contact->setCreatedDate(DisplayTextOfDate(AppleDateOfColumn(row, "CreationDate")));
            contact->setModifiedDate(DisplayTextOfDate(AppleDateOfColumn(row, "ModificationDate")));
            contact->setFirstName(row.stringForColumn("First"));
            contact->setMiddleName(row.stringForColumn("Middle"));
            contact->setLastName(row.stringForColumn("Last"));
            contact->setNickName(row.stringForColumn("NickName"));
            contact->setDisplayName(row.stringForColumn("DisplayName"));
            contact->setOrganization(row.stringForColumn("Organization"));
            contact->setDepartment(row.stringForColumn("Department"));
            contact->setJobTitle(row.stringForColumn("JobTitle"));
            contact->setSlNo(n);
            contact->setIsChecked(0);

            // Numbers and addresses fill their slots in database order; the rest is dropped.
            using Getter = OptString (*)(const Contact&);
            using Setter = void (Contact::*)(OptString);
            static constexpr std::array<std::pair<Getter, Setter>, 6> numberSlots{{
                {[](const Contact& c) -> OptString { return c.ContactNo1(); }, &Contact::setContactNo1},
                {[](const Contact& c) -> OptString { return c.ContactNo2(); }, &Contact::setContactNo2},
                {[](const Contact& c) -> OptString { return c.ContactNo3(); }, &Contact::setContactNo3},
                {[](const Contact& c) -> OptString { return c.ContactNo4(); }, &Contact::setContactNo4},
                {[](const Contact& c) -> OptString { return c.ContactNo5(); }, &Contact::setContactNo5},
                {[](const Contact& c) -> OptString { return c.ContactNo6(); }, &Contact::setContactNo6},
            }};
            static constexpr std::array<std::pair<Getter, Setter>, 3> emailSlots{{
                {[](const Contact& c) -> OptString { return c.EmailAddress1(); }, &Contact::setEmailAddress1},
                {[](const Contact& c) -> OptString { return c.EmailAddress2(); }, &Contact::setEmailAddress2},
                {[](const Contact& c) -> OptString { return c.EmailAddress3(); }, &Contact::setEmailAddress3},
            }};
            // A slot is free while absent or empty: a new contact's first number is the empty
            // text, and six numbers fill all six slots.
            auto fillFirstFree = [&](const auto& slots, const OptString& value) {
                for (const auto& [get, set] : slots) {
                    const OptString current = get(*contact);
                    if (!current || current->empty()) {
                        ((*contact).*set)(value);
                        return;
                    }
                }
            };
            for (const auto& detail : GetContactProperty(row.intForColumn("ROWID"))) {
                if (detail->PropertyID() == kPhoneProperty)
                    fillFirstFree(numberSlots, detail->Value());
                else if (detail->PropertyID() == kEmailProperty)
                    fillFirstFree(emailSlots, detail->Value());
            }
            state().AllContactsContent.append(contact);
            result.push_back(std::move(contact));
            ++n;
        }
    }
    state().ContactCount = n - 1;
    return result;
}

RecordList<Property> DAOs::GetContactProperty(std::int32_t personRowId) {
    auto connection = boundConnection();
    if (!connection) return {};
    auto row = personRowId != 0
                   ? connection->executeQuery(kPersonDetailsStatement, {ColumnValue(personRowId)})
                   : connection->executeQuery("SELECT * FROM ABMultiValue WHERE property = 3");
    return ReadProperties(row, personRowId == 0);
}

RecordList<Property> DAOs::GetContactPhoneNum(std::int32_t personRowId) {
    auto connection = boundConnection();
    if (!connection) return {};
    auto row = connection->executeQuery(kPersonDetailsStatement, {ColumnValue(personRowId)});
    return ReadProperties(row, personRowId == 0);
}

std::string DAOs::removeSpecialCharsFromString(const OptString& text) {
    if (!text) return "0";
    const std::string& s = *text;
    std::size_t i = 0;
    while (i < s.size() && !(s[i] >= '0' && s[i] <= '9')) ++i;
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const int digit = s[i] - '0';
        // A run too long for 64 bits stays at the largest value rather than wrapping.
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return std::to_string(value);
}

std::string DAOs::GetNameForAddress(const OptString& address) {
    if (!address || address->empty()) return "Unknown";
    const std::string reduced = ReducedNumber(*address);
    // An address of nothing but separators would otherwise end every stored number.
    if (reduced.empty()) return std::string();

    auto connection = addressBook_.get(databasePath(DatabaseRole::AddressBook));
    auto row = connection->executeQuery(
        "SELECT ABPerson.First as Name FROM ABMultiValue  INNER JOIN ABPerson ON ABMultiValue.record_id = "
        "ABPerson.ROWID WHERE REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(ABMultiValue.value ,')' ,''),'+',''),'-',"
        "''),' ',''),'(','') LIKE '%' || ? ESCAPE '\\'",
        {ColumnValue(EscapeLikePattern(reduced))});
    std::string name;
    while (row.next()) name = row.stringForColumn("Name").value_or(std::string());
    return name;
}

RowIdMap DAOs::GetAllContactRowID() {
    RowIdMap map;
    auto connection = openPrivate(DatabaseRole::AddressBook);
    auto row = connection->executeQuery("SELECT ROWID,First FROM ABPerson");
    while (row.next()) {
        auto rowId = row.stringForColumn("ROWID");
        auto first = row.stringForColumn("First");
        if (rowId && first) map[*rowId] = *first;
    }
    return map;
}

bool DAOs::isDeletedContacted(std::int32_t personRowId) {
    auto connection = openPrivate(DatabaseRole::AddressBook);
    auto row = connection->executeQuery("SELECT * FROM ABPerson WHERE ROWID = ?",
                                        {ColumnValue(personRowId)});
    return row.next();
}

// The contacts service end to end: a backup with a real-schema address book whose people were
// deleted singly and in a run; the service must list every deleted person whose full-text or
// person row still lies whole in free space, once, and no one who still exists.

#include "services/ContactServices.h"

#include "CountingWindow.h"
#include "MessageContactFixtures.h"
#include "common/DateUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/ContactData.h"
#include "records/DeviceInfo.h"

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
    int pageSize;
    AutoVacuum autoVacuum;
    BackupLayout layout;
};

std::string Name(const testing::TestParamInfo<Scenario>& info) {
    return info.param.label;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : " ") + part;
    return text;
}

void RunContactsService(BrimleyAppDelegate& record) {
    contactServices service;
    DeviceInfo device;
    std::jthread thread([&](std::stop_token stop) {
        service.RecoverFromIOSBackup(ContextFor(record, device, stop));
    });
    // Joined here: a jthread that goes out of scope asks its work to stop first.
    thread.join();
}

class ContactServiceRun : public testing::TestWithParam<Scenario> {};

}  // namespace

TEST_P(ContactServiceRun, ListsEachDeletedPersonInFreeSpaceOnce) {
    const Scenario& s = GetParam();
    TempDir dir;
    BackupBuilder backup(dir.path(), s.layout);
    const auto book = msgtest::BuildAddressBookBackup(backup, {s.pageSize, s.autoVacuum});

    BrimleyAppDelegate record;
    auto window = std::make_shared<CountingWindow>();
    record.setWindow(window);
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);

    std::map<std::pair<std::string, std::string>, const msgtest::StoredPerson*> byName;
    for (const auto& person : book.people) byName[{person.first, person.last}] = &person;
    std::map<std::pair<std::string, std::string>, std::shared_ptr<Contact>> listed;
    int fromPersonRows = 0;
    for (const auto& contact : record.DeletedContact.snapshot()) {
        const std::pair<std::string, std::string> name{contact->FirstName().value_or(""),
                                                       contact->LastName().value_or("")};
        EXPECT_TRUE(listed.emplace(name, contact).second)
            << "listed twice: " << name.first << " " << name.second;
        const auto stored = byName.find(name);
        ASSERT_NE(stored, byName.end()) << "never stored: " << name.first << " " << name.second;
        EXPECT_TRUE(stored->second->deleted)
            << "a live person listed as deleted: " << name.first << " " << name.second;
        if (contact->Guid()) {
            ++fromPersonRows;
            EXPECT_EQ(contact->Guid(), stored->second->guid);
        }
    }

    int nonAscii = 0, fromRun = 0;
    for (const auto& person : book.people) {
        if (!person.personRecoverable && !person.fullTextRecoverable) continue;
        SCOPED_TRACE(person.first + " " + person.last);
        const auto it = listed.find({person.first, person.last});
        ASSERT_NE(it, listed.end()) << "a deleted person in free space was not listed";
        const Contact& contact = *it->second;
        if (person.fullTextRecoverable) {
            // The full-text row is carved first and brings the numbers and addresses.
            EXPECT_EQ(contact.C15Phone().value_or(""), Joined(person.phones));
            EXPECT_EQ(contact.C16Email().value_or(""), Joined(person.emails));
            EXPECT_EQ(contact.ContactEmailAddresses().size(), person.emails.size());
            if (!person.emails.empty()) {
                EXPECT_EQ(contact.EmailAddress1(), person.emails.front());
            }
        } else {
            EXPECT_EQ(contact.Guid(), person.guid);
            EXPECT_EQ(contact.Organization(), person.organization);
            EXPECT_EQ(contact.CreationDate(),
                      DateUtils::DateTimeToString(
                          DateUtils::DoubleToIOSDateTime(double(person.creationDate))));
        }
        nonAscii += (person.first + person.last).find_first_of("\xC3\xC5\xE7") != std::string::npos;
        fromRun += &person - book.people.data() >= 30 && &person - book.people.data() < 42;
    }

    EXPECT_EQ(record.DeletedContactCount.load(), static_cast<int>(listed.size()));
    EXPECT_EQ(record.AllDeletedContacts.size(), listed.size());
    // The window is told of each contact that a person row brought or completed.
    EXPECT_EQ(window->foundRecoveredData.load(), fromPersonRows);
    if (s.autoVacuum == AutoVacuum::None) {
        EXPECT_GT(nonAscii, 0);
        EXPECT_GT(fromRun, 0);
        EXPECT_GT(fromPersonRows, 0);
    }
    EXPECT_GE(listed.size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Backups, ContactServiceRun,
    testing::Values(
        Scenario{"flat_plain", 4096, AutoVacuum::None, BackupLayout::Flat},
        Scenario{"sharded_plain_small_pages", 1024, AutoVacuum::None, BackupLayout::Sharded},
        Scenario{"sharded_autovacuum", 1024, AutoVacuum::Full, BackupLayout::Sharded},
        Scenario{"flat_incremental", 4096, AutoVacuum::Incremental, BackupLayout::Flat}),
    Name);

// A person whose full-text row is gone comes back from the person row alone, with its dates;
// one whose person row is gone too still comes back from the full-text row.
TEST(ContactService, PersonRowsFillInForLostFullTextRows) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    const auto book = msgtest::BuildAddressBookBackup(backup, {4096, AutoVacuum::None}, 50);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);
    int personOnly = 0, personRows = 0;
    for (const auto& person : book.people) {
        personOnly += person.personRecoverable && !person.fullTextRecoverable;
        personRows += person.personRecoverable;
    }
    int withDates = 0;
    for (const auto& contact : record.DeletedContact.snapshot())
        withDates += contact->CreationDate().has_value();
    EXPECT_GT(personOnly, 0);
    // Every person whose row is whole has its dates, also where the full-text row came first.
    EXPECT_EQ(withDates, personRows);
}

// Everyone deleted: the address book's tables are empty, and the people still come back.
TEST(ContactService, AnAddressBookWithEveryoneDeletedStillYieldsThem) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    std::vector<msgtest::StoredPerson> people(3);
    const char* names[][2] = {{"Anna", "Schmidt"}, {"Jürgen", "Müller"}, {"Zoë", "Ångström"}};
    for (std::size_t i = 0; i < people.size(); ++i) {
        people[i].first = names[i][0];
        people[i].last = names[i][1];
        people[i].phones = {"+49 151 1234567" + std::to_string(i)};
        people[i].deleted = true;
    }
    const auto book = msgtest::BuildAddressBookBackup(backup, {4096, AutoVacuum::None}, 0, people);
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);
    int expected = 0;
    for (const auto& person : book.people)
        expected += person.fullTextRecoverable || person.personRecoverable;
    EXPECT_GT(expected, 0);
    EXPECT_EQ(static_cast<int>(record.DeletedContact.size()), expected);
}

// People of the same names with different guids are different people: each deleted one comes
// back once, whether the full-text rows lie in free space too (the names then pair one person
// row with the full-text contact) or not, and also beside a live person of those names.
TEST(ContactService, DeletedNamesakesComeBackOncePerPerson) {
    struct Case {
        const char* label;
        int deleted;
        bool fullTextWiped;
        bool liveNamesake;
        int fromPersonRows;
    };
    const Case cases[] = {
        {"person rows only", 3, true, false, 3},
        {"person and full-text rows", 3, false, false, 3},
        {"beside a live namesake", 2, false, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<msgtest::StoredPerson> people(static_cast<std::size_t>(c.deleted) +
                                                  (c.liveNamesake ? 1 : 0));
        for (std::size_t i = 0; i < people.size(); ++i) {
            people[i].first = "Anna";
            people[i].last = "Schmidt";
            people[i].phones = {"+49 151 2345678" + std::to_string(i)};
            people[i].deleted = i < static_cast<std::size_t>(c.deleted);
            people[i].fullTextWiped = c.fullTextWiped;
        }
        TempDir dir;
        BackupBuilder backup(dir.path());
        const auto book =
            msgtest::BuildAddressBookBackup(backup, {4096, AutoVacuum::None}, 0, people);
        std::map<std::string, bool> deletedByGuid;
        for (const auto& person : book.people) {
            deletedByGuid[person.guid] = person.deleted;
            if (person.deleted) {
                ASSERT_TRUE(person.personRecoverable);
            }
        }
        BrimleyAppDelegate record;
        msgtest::PrepareRecord(record, dir.path());
        RunContactsService(record);

        const auto listed = record.DeletedContact.snapshot();
        EXPECT_EQ(static_cast<int>(listed.size()), c.deleted);
        EXPECT_EQ(record.DeletedContactCount.load(), c.deleted);
        std::set<std::string> guids;
        for (const auto& contact : listed) {
            EXPECT_EQ(contact->FirstName(), "Anna");
            EXPECT_EQ(contact->LastName(), "Schmidt");
            if (!contact->Guid()) continue;
            EXPECT_TRUE(guids.insert(*contact->Guid()).second) << "listed twice";
            EXPECT_TRUE(deletedByGuid[*contact->Guid()]) << "a live person listed as deleted";
        }
        EXPECT_EQ(static_cast<int>(guids.size()), c.fromPersonRows);
    }
}

// The full-text table of iOS 7 has one column fewer than later ones. A deleted person comes
// back once, each column in its own field, with whole numbers and the person row's dates; the
// full-text table's own copies of people who still exist (renamed, given another number, or
// whose full-text row alone went) are no deleted contacts.
TEST(ContactService, FullTextRowsOfIOS7AreReadColumnByColumn) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                                 "addressbook-ios7.sql");
    const auto phoneText = [](const std::string& local) {
        // As the device writes it: each number in its forms, then a blank.
        std::string digits;
        for (const char c : local)
            if (c != ' ') digits += c;
        const std::string national = digits.substr(1);
        return local + " +261" + national + " 00261" + national + " 011261" + national + " " +
               digits + " " + national + " " + national.substr(2) + " ";
    };
    struct Person {
        std::string first, last, phone, email;
    };
    const Person people[] = {
        {"Tahiry", "Razafindramanana", "033 12 345 67", "tahiry@example.com"},
        {"Karine", "Rakotoarimalala", "034 11 222 33", ""},
        {"Piso Kely", "", "033 73 212 35", ""},
        {"Luc", "Aimé", "032 65 432 10", "luc@example.com"},
        {"Rary", "Rakotovao", "033 98 765 43", ""},
    };
    std::vector<std::int64_t> ids;
    for (const Person& p : people) {
        const auto text = [](const std::string& t) {
            return t.empty() ? ColumnValue::Null() : ColumnValue(t);
        };
        const std::int64_t id = db.insert(
            "ABPerson", {{"First", p.first},
                         {"Last", text(p.last)},
                         {"Note", "Kennt sich mit Heizungen aus, Rückruf nur abends."},
                         {"Kind", 0},
                         {"CreationDate", std::int64_t{410000000} + std::int64_t(ids.size()) * 86400},
                         {"ModificationDate", std::int64_t{410003600}},
                         {"StoreID", 0},
                         {"guid", "5F3A2C1B-7D4E-4A9B-8C6D-00000000000" + std::to_string(ids.size())}});
        ids.push_back(id);
        db.insert("ABMultiValue", {{"record_id", id},
                                   {"property", 3},
                                   {"identifier", 0},
                                   {"label", 1},
                                   {"value", p.phone},
                                   {"guid", "A" + std::to_string(id)}});
        db.insert("ABPersonFullTextSearch_content", {{"docid", id},
                                                     {"c0First", p.first},
                                                     {"c1Last", text(p.last)},
                                                     {"c15Phone", phoneText(p.phone)},
                                                     {"c16Email", text(p.email.empty() ? "" : p.email + " ")}});
    }
    // Karine gets a second number, Piso Kely another name and number: their rows move, and
    // their first copies stay in free space.
    db.exec("UPDATE ABPersonFullTextSearch_content SET c15Phone = c15Phone || '034 99 888 77' "
            "WHERE docid = " + std::to_string(ids[1]));
    db.exec("UPDATE ABPerson SET First = 'Mamela' WHERE ROWID = " + std::to_string(ids[2]));
    db.exec("UPDATE ABPersonFullTextSearch_content SET c0First = 'Mamela', c15Phone = c15Phone "
            "|| '033 46 640 12' WHERE docid = " + std::to_string(ids[2]));
    // Luc's full-text row alone goes (the device rebuilds the table at times).
    db.deleteRow("ABPersonFullTextSearch_content", ids[3]);
    // Tahiry is deleted everywhere.
    db.deleteRow("ABPerson", ids[0]);
    db.deleteRow("ABPersonFullTextSearch_content", ids[0]);
    db.deleteWhere("ABMultiValue", "record_id = " + std::to_string(ids[0]));
    db.close();

    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);

    const auto listed = record.DeletedContact.snapshot();
    ASSERT_EQ(listed.size(), 1u);
    const Contact& tahiry = *listed[0];
    EXPECT_EQ(tahiry.FirstName(), "Tahiry");
    EXPECT_EQ(tahiry.LastName(), "Razafindramanana");
    EXPECT_EQ(tahiry.MiddleName(), std::nullopt);
    EXPECT_EQ(tahiry.ContactNo1(), "033 12 345 67");
    ASSERT_EQ(tahiry.ContactNumbers().size(), 1u);
    EXPECT_EQ(tahiry.EmailAddress1(), "tahiry@example.com");
    EXPECT_EQ(tahiry.EmailAddress2(), std::nullopt);
    EXPECT_EQ(tahiry.CreationDate(),
              DateUtils::DateTimeToString(DateUtils::DoubleToIOSDateTime(410000000.0)));
    EXPECT_EQ(record.DeletedContactCount.load(), 1);
}

// An address book of iOS 4: the device writes collation keys with bytes below 0x20 into
// FirstSort and LastSort, and the table has none of the columns that later releases appended.
// Every deleted person comes back with the names and dates of the row, whatever the first
// letters of the names read as when taken for serial types.
TEST(ContactService, DeletedPeopleOfAnIOS4AddressBook) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    struct Person {
        const char* first;
        const char* last;
        const char* sortKey;  // FirstSort and LastSort, as the device writes them
        double created;
        bool deleted;
    };
    const Person people[] = {
        {"Pat", "Sumner", "K-S\x01\x07\x01\xc2\x8f\x06", 361211100.0, false},
        {"Tracy", nullptr, "SO-1]\x01\x09\x01\xc2\x8f\x08", 361211200.0, false},
        {"Carry", nullptr, "1-OO]\x01\x09\x01\xc2\x8f\x08", 363198627.0, true},
        {"Terry", "Miles", "S5OO]\x01\x09\x01\xc2\x8f\x08", 361297657.0, true},
        {"Pat", nullptr, "K-S\x01\x07\x01\xc2\x8f\x06", 361297758.0, true},
    };
    {
        auto db = backup.addDatabase("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                                     "addressbook-ios4.sql");
        std::vector<std::int64_t> ids;
        for (const Person& p : people)
            ids.push_back(db.insert(
                "ABPerson", {{"First", p.first},
                             {"Last", p.last ? ColumnValue(p.last) : ColumnValue::Null()},
                             {"Kind", 0},
                             {"FirstSort", p.sortKey},
                             {"LastSort", p.sortKey},
                             {"CreationDate", static_cast<std::int64_t>(p.created)},
                             {"ModificationDate", static_cast<std::int64_t>(p.created) + 60},
                             {"StoreID", 0},
                             {"FirstSortSection", "1"},
                             {"LastSortSection", "1"},
                             {"FirstSortLanguageIndex", 0},
                             {"LastSortLanguageIndex", 0}}));
        for (std::size_t i = 0; i < std::size(people); ++i)
            if (people[i].deleted) db.deleteRow("ABPerson", ids[i]);
        db.close();
    }
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);

    std::map<std::string, std::shared_ptr<Contact>> listed;
    for (const auto& contact : record.DeletedContact.snapshot())
        listed[contact->FirstName().value_or("") + "/" + contact->LastName().value_or("")] =
            contact;
    ASSERT_EQ(listed.size(), 3u);
    ASSERT_EQ(listed.count("Carry/"), 1u);
    ASSERT_EQ(listed.count("Terry/Miles"), 1u);
    ASSERT_EQ(listed.count("Pat/"), 1u);
    // 363198627 Apple seconds: 2012-07-05 16:30:27 UTC.
    EXPECT_EQ(listed.at("Carry/")->CreatedDate(), "2012-07-05 18:30:27");
    EXPECT_EQ(listed.at("Carry/")->ModifiedDate(), "2012-07-05 18:31:27");
}

// A missing address book, or a file that is no address book, lists nothing.
TEST(ContactService, NoAddressBookListsNothing) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);
    EXPECT_TRUE(record.DeletedContact.empty());

    // A messages database stored under the address book's name.
    TempDir other;
    BackupBuilder wrong(other.path());
    auto db =
        wrong.addDatabase("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", "sms-ios9.sql");
    db.close();
    msgtest::PrepareRecord(record, other.path());
    RunContactsService(record);
    EXPECT_TRUE(record.DeletedContact.empty());
    EXPECT_EQ(record.DeletedContactCount.load(), 0);
}

// The look-ups that the call-history service may ask for find nothing in an empty list.
TEST(ContactService, LookupsOfAnEmptyListFindNothing) {
    BrimleyAppDelegate record;
    contactServices service;
    EXPECT_EQ(service.SqliteDbName(), contactServices::ContactsIOS641SqliteDbName);
    EXPECT_EQ(service.FindContactByContactRowId(1), nullptr);
    EXPECT_EQ(service.FindContactByPhoneNumber("+49 151 12345678"), nullptr);
    DeviceInfo device;
    EXPECT_FALSE(service.ImagesConnectionString(device).has_value());
}

// An address book as iOS 8 leaves it: the full-text row lists each number as entered followed
// by the forms the phone adds, a company's card has no name but its organisation, and a live
// person may share the names of a deleted one. Each deleted person comes back once, person and
// full-text rows joined, with the numbers the phone stored.
TEST(ContactService, DeletedPeopleOfIOS8ComeBackOnceWithTheirStoredNumbers) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                                 "addressbook.sql");
    const auto phoneText = [](const std::vector<std::string>& entered) {
        std::string text;
        for (const std::string& number : entered) {
            std::string national;
            for (const char c : number)
                if (c >= '0' && c <= '9') national += c;
            national.erase(0, national.find_first_not_of('0'));
            text += number + " +86" + national + " 0086" + national + " 01186" + national + " 0" +
                    national + " " + national + " " + national.substr(national.size() - 8) + " ";
        }
        return text;
    };
    const auto text = [](const OptString& t) { return t ? ColumnValue(*t) : ColumnValue::Null(); };
    struct Person {
        OptString first, last, organization;
        std::vector<std::string> phones;
        bool deleted;
    };
    std::vector<Person> people = {
        {std::nullopt, std::nullopt, "Apple China",
         {"800 810 2323", "400 6927753", "400 6272273", "010-8525-5588", "400-666-8800"}, true},
        {"Yihan", "Dong", std::nullopt, {}, false},
        {"Yihan", "Dong", std::nullopt, {"18305949080"}, true},
        {"Lili", "Xie", std::nullopt, {"15805019908"}, true},
    };
    for (int i = 0; i < 24; ++i)
        people.push_back({"Person " + std::to_string(i), "Friend", std::nullopt,
                          {"138" + std::to_string(50000000 + i * 7919)}, false});
    std::vector<std::int64_t> ids;
    for (const Person& p : people) {
        const std::int64_t id = db.insert(
            "ABPerson",
            {{"First", text(p.first)},
             {"Last", text(p.last)},
             {"Organization", text(p.organization)},
             {"Kind", 0},
             {"CreationDate", std::int64_t{430000000} + std::int64_t(ids.size()) * 86400},
             {"ModificationDate", std::int64_t{430003600}},
             {"StoreID", 0},
             {"guid", "6A1B2C3D-7D4E-4A9B-8C6D-0000000000" + std::to_string(10 + ids.size())}});
        ids.push_back(id);
        std::int64_t identifier = 0;
        for (const std::string& phone : p.phones)
            db.insert("ABMultiValue", {{"record_id", id},
                                       {"property", 3},
                                       {"identifier", identifier++},
                                       {"label", 1},
                                       {"value", phone},
                                       {"guid", "B" + std::to_string(id) + "-" +
                                                    std::to_string(identifier)}});
        db.insert("ABPersonFullTextSearch_content",
                  {{"docid", id},
                   {"c0First", text(p.first)},
                   {"c1Last", text(p.last)},
                   {"c6Organization", text(p.organization)},
                   {"c15Phone", p.phones.empty() ? ColumnValue::Null()
                                                 : ColumnValue(phoneText(p.phones))}});
    }
    for (std::size_t i = 0; i < people.size(); ++i) {
        if (!people[i].deleted) continue;
        db.deleteWhere("ABMultiValue", "record_id = " + std::to_string(ids[i]));
        db.deleteRow("ABPerson", ids[i]);
        db.deleteRow("ABPersonFullTextSearch_content", ids[i]);
    }
    db.close();

    BrimleyAppDelegate record;
    msgtest::PrepareRecord(record, dir.path());
    RunContactsService(record);

    std::map<std::string, std::vector<std::string>> numbersOf;
    for (const auto& contact : record.DeletedContact.snapshot()) {
        const std::string name =
            contact->FirstName().value_or("") + "|" + contact->LastName().value_or("") + "|" +
            contact->Organization().value_or("");
        std::vector<std::string> numbers;
        for (const auto& number : contact->ContactNumbers())
            numbers.push_back(number->Number().value_or("<absent>"));
        EXPECT_TRUE(numbersOf.emplace(name, numbers).second) << "listed twice: " << name;
    }
    const std::map<std::string, std::vector<std::string>> expected = {
        {"||Apple China", people[0].phones},
        {"Yihan|Dong|", people[2].phones},
        {"Lili|Xie|", people[3].phones},
    };
    EXPECT_EQ(numbersOf, expected);
    EXPECT_EQ(record.DeletedContactCount.load(), 3);
}

// A freed copy of a live person is that person, not a deleted one, also when damage changed a
// byte of its guid: a guid that is no longer of the phone's form gives way to the names and the
// creation time. A well-formed guid of its own still makes a namesake created in the same
// second another person.
TEST(ContactService, AFreedCopyWhoseGuidWasDamagedIsTheLivePerson) {
    const std::string liveGuid = "5A616282-E2E4-4BCF-8C45-5A64C765C486:ABPerson";
    struct Case {
        const char* label;
        std::string guid;
        std::int64_t created;
        std::size_t listed;
    };
    const Case cases[] = {
        {"a letter of the guid changed", "5A616282-E2E4-4BCF-8C45-5A64C76lC486:ABPerson", 461376000, 0},
        {"the guid cut short", "5A616282-E2E4-4BCF-8C45-5A64", 461376000, 0},
        {"another person's guid", "7B2C3D4E-1A2B-4C3D-8E9F-0123456789AB:ABPerson", 461376000, 1},
        {"a damaged guid, created at another time", "5A616282-E2E4-4BCF-8C45-5A64C76lC486:ABPerson",
         461462400, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        BackupBuilder backup(dir.path());
        auto db = backup.addDatabase("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                                     "addressbook.sql");
        const auto person = [&](const std::string& guid, std::int64_t created) {
            return db.insert("ABPerson", {{"First", "Oskar"},
                                          {"Last", "Müller"},
                                          {"Kind", 0},
                                          {"CreationDate", created},
                                          {"ModificationDate", std::int64_t{461635200}},
                                          {"StoreID", 0},
                                          {"guid", guid}});
        };
        person(liveGuid, 461376000);
        db.deleteRow("ABPerson", person(c.guid, c.created));
        db.close();

        BrimleyAppDelegate record;
        msgtest::PrepareRecord(record, dir.path());
        RunContactsService(record);
        const auto listed = record.DeletedContact.snapshot();
        EXPECT_EQ(listed.size(), c.listed);
        for (const auto& contact : listed) EXPECT_EQ(contact->FirstName(), "Oskar");
    }
}

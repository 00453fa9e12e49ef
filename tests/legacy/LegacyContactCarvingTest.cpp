// Deleted contacts carved straight from the address book's bytes.

#include "common/Clock.h"
#include "common/DateUtils.h"
#include "legacy/LegacyContactCarving.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::FixtureDatabase;
using testsupport::TempDir;

constexpr const char* kAddressBookName = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::int64_t Find(const Bytes& bytes, std::string_view text) {
    const auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    return at == bytes.end() ? -1 : at - bytes.begin();
}

// A scan of a backup folder holding the address book (or nothing), for one routine at a time.
struct ContactRun {
    TempDir dir;
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::stop_source stop;
    std::unique_ptr<LegacyRecovery> run;
    Bytes given;  // bytes read instead of the file, when set

    ContactRun() {
        device.setIOSMajorVersion(7);
        record.BACKUP_DIRECTORY.set(dir.path().string());
        record.databaseName(DatabaseRole::AddressBook).set(kAddressBookName);
        run = std::make_unique<LegacyRecovery>(testsupport::ContextFor(record, device, stop.get_token()));
    }
    std::filesystem::path databasePath() const { return dir / kAddressBookName; }
    void useBytes(Bytes bytes) {
        given = std::move(bytes);
        run->setDatabaseBytes(DatabaseRole::AddressBook, {given.data(), given.size()});
    }
    std::vector<std::shared_ptr<Contact>> contacts() const { return record.DeletedContact.snapshot(); }
};

// The person table as iOS 7 wrote it: the columns up to PhonemeData (the schema at hand is of
// iOS 9, which appends two more).
FixtureDatabase IOS7AddressBook(const std::filesystem::path& path) {
    std::string schema = testsupport::LoadSchema("addressbook.sql");
    for (std::string_view later : {"    AlternateBirthday TEXT,\n", "    MapsData TEXT,\n"}) {
        const auto at = schema.find(later);
        if (at != std::string::npos) schema.erase(at, later.size());
    }
    FixtureDatabase db(path);
    db.exec(schema);
    return db;
}

std::int64_t AddPerson(FixtureDatabase& db, std::int64_t rowId, ColumnValue first, const std::string& last,
                       const std::string& organization, std::int64_t created) {
    return db.insert("ABPerson", {{"ROWID", rowId},
                                  {"First", std::move(first)},
                                  {"Last", last},
                                  {"Organization", organization},
                                  {"Kind", 0},
                                  {"CreationDate", created},
                                  {"ModificationDate", created + 100},
                                  {"StoreID", 0},
                                  {"FirstSortLanguageIndex", 0},
                                  {"LastSortLanguageIndex", 0},
                                  {"PersonLink", -1},
                                  {"IsPreferredName", 1},
                                  {"guid", "guid-" + std::to_string(rowId) + "-0000-0000-000000000000"}});
}

struct FullTextRow {
    int id;
    const char* first;
    const char* last;
    const char* phone;
};

// An address book whose full-text content table has the iOS 6 width: the columns up to
// c17Address, a record header of 20 bytes (the schema at hand is of iOS 9, which has six more).
// contentFirst: the content table is made first, so its rows lie on page 2.
void BuildFullTextAddressBook(const std::filesystem::path& path, const std::vector<FullTextRow>& rows,
                              const std::vector<int>& toDelete, bool contentFirst = false) {
    std::string schema = testsupport::LoadSchema("addressbook.sql");
    const auto from = schema.find(", 'c18SocialProfile'");
    schema.erase(from, schema.find(");", from) - from);
    if (contentFirst) {
        const auto start = schema.find("CREATE TABLE 'ABPersonFullTextSearch_content'");
        const auto end = schema.find(";\n", start) + 2;
        schema = schema.substr(start, end - start) + schema.substr(0, start) + schema.substr(end);
    }
    FixtureDatabase db(path);
    db.exec(schema);
    db.exec("PRAGMA secure_delete=OFF");
    for (const auto& row : rows) {
        db.insert("ABPerson", {{"ROWID", row.id}, {"First", row.first}, {"Last", row.last},
                               {"guid", std::string("guid-") + row.first}});
        db.insert("ABPersonFullTextSearch_content",
                  {{"docid", row.id},
                   {"c0First", row.first},
                   {"c1Last", row.last},
                   {"c14DisplayName", std::string(row.first) + " " + row.last},
                   {"c15Phone", row.phone},
                   {"c16Email", std::string(row.first) + ".mail@example.com"}});
    }
    for (int id : toDelete) {
        db.deleteRow("ABPersonFullTextSearch_content", id);
        db.deleteRow("ABPerson", id);
    }
    db.close();
}

// The bytes of a real address book (iOS 9 layout, the nearest at hand for the older routines,
// whose layouts no schema here has) with one zero page appended, and a pattern planted in it.
Bytes PlantedInAddressBook(const std::filesystem::path& path, std::int64_t at, const Bytes& pattern,
                           std::int64_t* base = nullptr) {
    {
        auto db = FixtureDatabase::FromSchema(path, "addressbook.sql");
        db.close();
    }
    Bytes bytes = ReadFile(path);
    const auto start = static_cast<std::int64_t>(bytes.size());
    bytes.resize(bytes.size() + 4096, 0);
    std::copy(pattern.begin(), pattern.end(), bytes.begin() + start + at);
    if (base) *base = start;
    return bytes;
}

void Put(Bytes& bytes, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

TEST(LegacyContacts, IOS7DeletedPersonsAreListedAndLiveOnesAreNot) {
    Clock::ScopedTimeZone utc("UTC");
    ContactRun scan;
    {
        auto db = IOS7AddressBook(scan.databasePath());
        db.exec("PRAGMA secure_delete=OFF");
        AddPerson(db, 40, "Lena", "Vogt", "Home", 500000000);
        AddPerson(db, 41, "Anna", "Berg", "Acme", 0x7F00003C);
        AddPerson(db, 42, ColumnValue::Null(), "Zed", "Nobody", 600000000);
        AddPerson(db, 43, "Omar", "Haddad", "Globex", 600000000);
        for (int id : {41, 42, 43}) db.deleteRow("ABPerson", id);
        db.close();
    }
    // A creation date of 60 s written on four bytes (SQLite itself would take one).
    Bytes bytes = ReadFile(scan.databasePath());
    const Bytes wide = {0x7F, 0x00, 0x00, 0x3C};
    const auto date = std::search(bytes.begin(), bytes.end(), wide.begin(), wide.end());
    ASSERT_NE(date, bytes.end());
    *date = 0;
    scan.useBytes(bytes);
    LegacyContactCarving carving(*scan.run);
    EXPECT_TRUE(carving.DeletediOS7Contacts());
    std::vector<std::string> listed;
    for (const auto& contact : scan.contacts()) {
        listed.push_back(contact->FirstName().value_or("-") + " " + contact->LastName().value_or("-") + " " +
                         contact->Organization().value_or("-") + " " + contact->CreatedDate().value_or("-"));
        EXPECT_EQ(contact->SlNo(), 0);
    }
    std::sort(listed.begin(), listed.end());
    // The live person is never listed; the one without a first name yields no contact.
    EXPECT_EQ(listed, (std::vector<std::string>{"Anna Berg Acme 2001-01-01 00:01:00",
                                                "Omar Haddad Globex 2020-01-06 10:40:00"}));
    EXPECT_EQ(scan.record.DeletedContactCount.load(), 2);

    // A file cut inside a record's data yields no record from it and reads nothing past its end.
    const std::int64_t omar = Find(bytes, "Omar");
    ASSERT_GT(omar, 0);
    for (std::int64_t cut : {omar + 2, omar - 3, std::int64_t{40}}) {
        ContactRun damaged;
        damaged.useBytes(Bytes(bytes.begin(), bytes.begin() + cut));
        LegacyContactCarving(*damaged.run).DeletediOS7Contacts();
        for (const auto& contact : damaged.contacts()) EXPECT_NE(contact->FirstName(), "Omar") << cut;
    }
}

// The run of an iOS 7 backup carves the deleted persons. Their cells' heads are overwritten by
// the freeblock headers, so the row id bytes read there are no row id; with a live person of
// every one-byte row id, a misread row id would always be a live one. A person deleted and
// stored again is live.
TEST(LegacyContacts, AnIOS7RunCarvesPersonsWhoseRowIdWasOverwritten) {
    Clock::ScopedTimeZone utc("UTC");
    ContactRun scan;
    {
        auto db = IOS7AddressBook(scan.databasePath());
        db.exec("PRAGMA secure_delete=OFF");
        for (std::int64_t id = 1; id <= 255; ++id)
            AddPerson(db, id, "Live" + std::to_string(id), "Person", "", 500000000);
        AddPerson(db, 300, "Nadia", "Rakoto", "Orange", 420000000);
        AddPerson(db, 301, "Tiana", "Rabe", "", 421000000);
        AddPerson(db, 302, "Hery", "Andria", "Telma", 422000000);
        AddPerson(db, 303, "Rado", "Rabe", "", 423000000);
        AddPerson(db, 304, "Rado", "Rabe", "", 424000000);  // the same person, stored again
        for (int id : {300, 301, 302, 303}) db.deleteRow("ABPerson", id);
        db.close();
    }
    scan.run->RecoverDeletedDataNonSignatures(DataType::DataTypeContacts);
    std::vector<std::string> listed;
    for (const auto& contact : scan.contacts())
        listed.push_back(contact->FirstName().value_or("-") + " " + contact->LastName().value_or("-") + " " +
                         contact->CreatedDate().value_or("-"));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"Hery Andria 2014-05-17 06:13:20", "Nadia Rakoto 2014-04-24 02:40:00",
                                                "Tiana Rabe 2014-05-05 16:26:40"}));
    EXPECT_EQ(scan.record.DeletedContactCount.load(), 3);
}

TEST(LegacyContacts, AnOverwrittenPersonIsReadWithoutItsDateAndNotCounted) {
    // Two columns: a first name and a 4-byte creation date, after a two-byte lead.
    const std::string data = "xxMina\x01\x02\x03\x04";
    const FileBytes bytes(data);
    const std::vector<std::string> lengths = {"4", "4"};
    ContactRun scan;
    LegacyContactCarving carving(*scan.run);
    carving.GetValue(2, lengths, {"TEXT", "INTEGER"}, bytes.length(), 8, bytes);
    carving.GetValue(2, lengths, {"INTEGER", "TEXT"}, bytes.length(), 8, bytes);  // not text first
    carving.GetValue(4, lengths, {"TEXT", "INTEGER"}, bytes.length(), 8, bytes);  // runs past the end
    const auto contacts = scan.contacts();
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts[0]->FirstName(), "Mina");
    EXPECT_FALSE(contacts[0]->CreatedDate());
    EXPECT_EQ(contacts[0]->SlNo(), 0);
    EXPECT_EQ(scan.record.DeletedContactCount.load(), 0);
}

TEST(LegacyContacts, IOS6HeaderTailGivesTheJoinedNames) {
    // The header tail at offset 100 of the planted page; serial types at -26, -25 and -20.
    const Bytes tail = {0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09};
    const struct {
        std::uint8_t t1, t2, t3, hash;
        const char* data;
        const char* expected;  // nullptr: no contact
    } cases[] = {
        {0x15, 0x0D, 0x00, 0x00, "Anna....", "Anna "},
        {0x13, 0x13, 0x00, 0x00, "AnnLee..", "Ann Lee "},
        {0x13, 0x00, 0x13, 0x00, "Bo\xE9Kim.", "Kim "},  // a text that is not ASCII drops out
        {0x15, 0x0D, 0x00, 0x23, "Anna....", nullptr},   // '#' 28 bytes before
        {0x0D, 0x01, 0x00, 0x00, "Anna....", nullptr},   // no length
    };
    TempDir dir;
    for (const auto& c : cases) {
        Bytes pattern(200, 0);
        const std::size_t p = 100;
        pattern[p - 26] = c.t1;
        pattern[p - 25] = c.t2;
        pattern[p - 20] = c.t3;
        pattern[p - 28] = c.hash;
        std::copy(tail.begin(), tail.end(), pattern.begin() + p);
        Put(pattern, p + 7, c.data);
        ContactRun scan;
        scan.record.ContactContent.append(std::make_shared<Contact>());
        scan.useBytes(PlantedInAddressBook(dir / "ab.db", 0, pattern));
        const bool found = LegacyContactCarving(*scan.run).RecoverDeletedNewIOS6Contacts();
        const auto contacts = scan.contacts();
        EXPECT_EQ(found, c.expected != nullptr) << c.data;
        if (!c.expected) {
            EXPECT_TRUE(contacts.empty()) << c.data;
            continue;
        }
        ASSERT_EQ(contacts.size(), 1u) << c.data;
        EXPECT_EQ(contacts[0]->ContactNo1(), c.expected);
        EXPECT_EQ(contacts[0]->SlNo(), 2);
        EXPECT_EQ(scan.record.DeletedContactCount.load(), 1);
    }
}

// The person table of an iOS 4.2.1 address book, as its own file declares it.
constexpr const char* kIOS4PersonTable =
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT,"
    " FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT,"
    " Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT,"
    " LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT,"
    " ExternalIdentifier TEXT, ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT,"
    " ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT,"
    " FirstSortLanguageIndex INTEGER DEFAULT 2147483647, LastSortLanguageIndex INTEGER DEFAULT 2147483647,"
    " PersonLink INTEGER DEFAULT -1, ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1);"
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, identifier INTEGER,"
    " label INTEGER, value TEXT);";

TEST(LegacyContacts, OlderPersonRecordsGiveTheirNamesAndDates) {
    Clock::ScopedTimeZone utc("UTC");
    struct Person {
        const char* first;
        const char* last;
        const char* organization;
        std::int64_t created;  // seconds since 2001
        const char* number;
    };
    // As the phone writes them: collation keys with bytes below 0x20 in the sort columns, a
    // phone number in the multi-value table.
    const std::vector<Person> people = {{"Pat", "TeeSumTwelve", nullptr, 361222130, "+17038296071"},
                                        {nullptr, nullptr, "Apple Inc.", 361222130, "1-800-MY-APPLE"},
                                        {"Terry", nullptr, nullptr, 361305337, "+17038296071"},
                                        {"Pat", nullptr, nullptr, 361305438, "+15713083236"},
                                        {"Carry", "Sumtwelve", "Acme", 363205283, "+12027252124"}};
    const auto text = [](const char* value) { return value ? ColumnValue(value) : ColumnValue(); };
    for (const bool deleting : {false, true}) {
        ContactRun scan;
        {
            FixtureDatabase db(scan.databasePath());
            db.exec(kIOS4PersonTable);
            for (const Person& person : people) {
                const std::string sort = std::string(person.first ? person.first : "") + "\x01\t\x01\xc2\x8f\x08";
                const auto id = db.insert("ABPerson", {{"First", text(person.first)},
                                                       {"Last", text(person.last)},
                                                       {"Organization", text(person.organization)},
                                                       {"Kind", 0},
                                                       {"FirstSort", sort},
                                                       {"LastSort", sort},
                                                       {"CreationDate", person.created},
                                                       {"ModificationDate", person.created + 9},
                                                       {"StoreID", 0},
                                                       {"FirstSortSection", "\x05"},
                                                       {"LastSortSection", "\x05"},
                                                       {"FirstSortLanguageIndex", 0},
                                                       {"LastSortLanguageIndex", 0},
                                                       {"PersonLink", -1},
                                                       {"IsPreferredName", 1}});
                db.insert("ABMultiValue", {{"record_id", id}, {"property", 3}, {"identifier", 0}, {"label", 6},
                                           {"value", person.number}});
            }
            if (deleting) db.exec("DELETE FROM ABMultiValue WHERE record_id > 2; DELETE FROM ABPerson WHERE ROWID > 2");
            db.close();
        }
        LegacyContactCarving(*scan.run).RecoverDeletedContacts();
        const auto contacts = scan.contacts();
        EXPECT_EQ(scan.record.DeletedContactCount.load(), static_cast<std::int32_t>(contacts.size()));
        if (!deleting) {
            EXPECT_TRUE(contacts.empty());
            continue;
        }
        ASSERT_EQ(contacts.size(), 3u);
        for (const auto& contact : contacts) {
            const auto person = std::find_if(people.begin() + 2, people.end(), [&](const Person& p) {
                return contact->CreatedDate() ==
                       DateUtils::DateTimeToString(DateFromUnixSeconds(static_cast<double>(p.created) + 978307200.0));
            });
            ASSERT_NE(person, people.end()) << contact->FirstName().value_or("<none>");
            EXPECT_EQ(contact->FirstName(), person->first ? OptString(person->first) : std::nullopt);
            EXPECT_EQ(contact->LastName(), person->last ? OptString(person->last) : std::nullopt);
            EXPECT_EQ(contact->Organization(), person->organization ? OptString(person->organization) : std::nullopt);
            EXPECT_EQ(contact->ModifiedDate(), DateUtils::DateTimeToString(DateFromUnixSeconds(
                                                   static_cast<double>(person->created + 9) + 978307200.0)));
            // The number of a deleted person is not told by the person record.
            EXPECT_EQ(contact->ContactNo1().value_or(""), "");
        }
    }
}

TEST(LegacyContacts, HeadersAtTheVeryEndAndLengthsPastItGiveNoRecord) {
    TempDir dir;
    const Bytes old = {0x04, 0x04, 0, 0, 0, 0, 0x01, 0, 0, 0x0F, 0x0F, 0x01, 0x01, 0x01, 0, 0x01};
    const Bytes ios6 = {0x0F, 0x0F, 0x08, 0x08, 0x01, 0x00, 0x09};
    using Routine = bool (LegacyContactCarving::*)();
    const struct {
        Routine routine;
        Bytes header;
        std::int64_t lengthAt;  // where a long length goes, before the header
    } cases[] = {
        {&LegacyContactCarving::RecoverDeletedContacts, old, -17},
        {&LegacyContactCarving::RecoverDeletedNewIOS6Contacts, ios6, -26},
        {&LegacyContactCarving::RecoverDeletedNewIOS6Contacts_Future, ios6, -26},
        {&LegacyContactCarving::DeletediOS7Contacts, ios6, -26},
    };
    for (const auto& c : cases) {
        for (std::int64_t fromEnd : {std::int64_t{22}, std::int64_t{40}, std::int64_t{4}}) {
            std::int64_t base = 0;
            Bytes bytes = PlantedInAddressBook(dir / "ab.db", 0, {}, &base);
            const auto at = static_cast<std::int64_t>(bytes.size()) - fromEnd;
            const auto fits = std::min<std::int64_t>(fromEnd, static_cast<std::int64_t>(c.header.size()));
            std::copy(c.header.begin(), c.header.begin() + fits, bytes.begin() + at);
            bytes[static_cast<std::size_t>(at + c.lengthAt)] = 0xFF;
            ContactRun scan;
            scan.useBytes(std::move(bytes));
            (LegacyContactCarving(*scan.run).*c.routine)();
            EXPECT_TRUE(scan.contacts().empty()) << fromEnd;
        }
    }
}

TEST(LegacyContacts, AMissingFileAndAStoppedScanListNothing) {
    using Routine = bool (LegacyContactCarving::*)();
    const struct {
        Routine routine;
        bool clearsRecovering;
    } cases[] = {
        {&LegacyContactCarving::RecoverDeletedContacts, true},
        {&LegacyContactCarving::RecoverDeletedNewIOS6Contacts, true},
        {&LegacyContactCarving::RecoverDeletedNewIOS6Contacts_Future, true},
        {&LegacyContactCarving::DeletediOS7Contacts, false},
    };
    for (const auto& c : cases) {
        ContactRun scan;
        scan.record.DeletedContact.append(std::make_shared<Contact>());
        EXPECT_FALSE((LegacyContactCarving(*scan.run).*c.routine)());
        EXPECT_TRUE(scan.contacts().empty());
        EXPECT_EQ(scan.run->isRecovering.load(), !c.clearsRecovering);
    }

    ContactRun scan;
    {
        auto db = IOS7AddressBook(scan.databasePath());
        AddPerson(db, 41, "Anna", "Berg", "Acme", 0x3C);
        db.deleteRow("ABPerson", 41);
        db.close();
    }
    scan.stop.request_stop();
    EXPECT_FALSE(LegacyContactCarving(*scan.run).DeletediOS7Contacts());
    EXPECT_TRUE(scan.contacts().empty());
}

TEST(LegacyContacts, IOS6FullTextRowsGiveTheDeletedNameAndNumber) {
    const struct {
        const char* phone;
        const char* number;
    } cases[] = {
        {"(555) 123-4567", "(555) 123-4567"},
        {"+441 234", "441"},  // the part after "+" up to its first blank
    };
    for (const auto& c : cases) {
        ContactRun scan;
        for (int i = 0; i < 2; ++i) scan.record.ContactContent.append(std::make_shared<Contact>());
        BuildFullTextAddressBook(scan.databasePath(),
                                 {{1, "Lena", "Vogt", "(030) 555-0101"}, {2, "Anna", "Berg", c.phone},
                                  {3, "Omar", "Haddad", "(040) 777-1234"}},
                                 {2});
        EXPECT_TRUE(LegacyContactCarving(*scan.run).RecoverDeletedNewIOS6Contacts_Future());
        const auto contacts = scan.contacts();
        ASSERT_EQ(contacts.size(), 1u) << c.phone;
        EXPECT_EQ(contacts[0]->FirstName(), "Anna Berg");
        EXPECT_EQ(contacts[0]->ContactNo1(), c.number);
        EXPECT_EQ(contacts[0]->SlNo(), 3);
        EXPECT_EQ(scan.record.DeletedContactCount.load(), 1);
    }
}

TEST(LegacyContacts, IOS6FullTextRowsStartOnPageTenOfALargeFileAndNowhereWithoutTheTable) {
    ContactRun built;
    BuildFullTextAddressBook(built.databasePath(),
                             {{1, "Lena", "Vogt", "(030) 555-0101"}, {2, "Anna", "Berg", "(555) 123-4567"},
                              {3, "Omar", "Haddad", "(040) 777-1234"}},
                             {2}, true);
    const Bytes bytes = ReadFile(built.databasePath());
    const std::int64_t anna = Find(bytes, "AnnaBerg");
    ASSERT_GT(anna, 4096);
    ASSERT_LT(anna, 2 * 4096);
    // Without the table's schema row (its name written twice) there is no start page.
    Bytes unnamed = bytes;
    const std::string twice = "ABPersonFullTextSearch_contentABPersonFullTextSearch_content";
    int rows = 0;
    for (auto row = unnamed.begin(); (row = std::search(row, unnamed.end(), twice.begin(), twice.end())) != unnamed.end();
         ++rows)
        *row = 'X';
    ASSERT_GT(rows, 0);
    Bytes large = bytes;
    large.resize(900000, 0);
    const struct {
        const Bytes* file;
        std::size_t listed;
    } cases[] = {{&bytes, 1}, {&unnamed, 0}, {&large, 0}};  // the large file starts on page 10
    for (const auto& c : cases) {
        ContactRun scan;
        scan.useBytes(*c.file);
        LegacyContactCarving(*scan.run).RecoverDeletedNewIOS6Contacts_Future();
        EXPECT_EQ(scan.contacts().size(), c.listed) << c.file->size();
    }
    // Cut files: nothing read past the end, and nothing from the last page.
    for (std::int64_t cut : {anna + 3, anna + 4096, std::int64_t{3000}}) {
        ContactRun scan;
        scan.useBytes(Bytes(bytes.begin(), bytes.begin() + std::min<std::int64_t>(cut, bytes.size())));
        LegacyContactCarving(*scan.run).RecoverDeletedNewIOS6Contacts_Future();
        EXPECT_TRUE(scan.contacts().empty()) << cut;
    }
}

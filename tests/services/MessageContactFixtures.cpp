#include "MessageContactFixtures.h"
#include "support/ScanContexts.h"

#include "carving/SqLiteTableSignatures.h"
#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/ContactServices.h"
#include "services/MessageServices.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <stdexcept>

using testsupport::BackupBuilder;
using testsupport::DatabaseOptions;
using testsupport::Row;

namespace msgtest {

namespace {

constexpr const char* kDomain = "HomeDomain";

std::string Uuid(std::mt19937& random) {
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < 36; ++i)
        s += (i == 8 || i == 13 || i == 18 || i == 23) ? '-' : hex[random() % 16];
    return s;
}

std::string MessageText(int i) {
    switch (i % 10) {
        case 3: {
            std::string text = "Langer Bericht " + std::to_string(i) + ": ";
            const std::size_t length = 300 + static_cast<std::size_t>(i * 37) % 400;
            while (text.size() < length)
                text += "der Zug hat wieder Verspätung, wir sehen uns morgen. ";
            return text.substr(0, length);
        }
        case 5:
            return "Grüße aus Köln – bis später 😀 #" + std::to_string(i);
        case 7:
            return "Привет, как дела? №" + std::to_string(i);
        case 9:
            return "OK";
        default:
            return "Bin gleich da (" + std::to_string(i) + ")";
    }
}

}  // namespace

std::shared_ptr<const SqLiteTableSignatures> AppSignatures() {
    static std::once_flag once;
    static std::shared_ptr<const SqLiteTableSignatures> catalogue;
    std::call_once(once, [] {
        auto loaded = std::make_shared<SqLiteTableSignatures>();
        if (!loaded->LoadSignaturesFile(SqLiteTableSignatures::ResourcePath()))
            throw std::runtime_error("cannot load " + SqLiteTableSignatures::ResourcePath());
        catalogue = loaded;
    });
    return catalogue;
}

void PrepareRecord(BrimleyAppDelegate& record, const std::filesystem::path& backupFolder) {
    record.BACKUP_DIRECTORY.set(backupFolder.string());
    record.SMS_DATABASE.set(MessageServices::kSqliteDbName);
    record.ADDRESSBOOK_DATABASE.set(contactServices::ContactsIOS641SqliteDbName);
    auto device = std::make_shared<DeviceInfo>();
    device->setProductVersion("9.3.5");
    device->applyVersionNumbers("9.3.5");
    record.deviceInfo.set(device);
    record.recoverySignatures.set(AppSignatures());
}

// ---- Messages ----

int SmsFixture::deletedCount() const {
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(), [](const auto& m) { return m.deleted; }));
}

int SmsFixture::recoverableCount() const {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [](const auto& m) { return m.recoverable; }));
}

SmsFixture BuildSmsBackup(BackupBuilder& backup, const char* schema, DatabaseOptions options,
                          int count) {
    SmsFixture fixture;
    auto db = backup.addDatabase(kDomain, "Library/SMS/sms.db", schema, options);
    fixture.path = db.path();
    fixture.partners = {{"+4915112345678", "SMS"},
                        {"anna@example.com", "iMessage"},
                        {"+49301234567", "SMS", 0, 0, true}};
    for (auto& partner : fixture.partners) {
        partner.handleId = db.insert(
            "handle",
            {{"id", partner.address},
             {"country", partner.service == "SMS" ? ColumnValue("de") : ColumnValue::Null()},
             {"service", partner.service}});
        partner.chatId = db.insert("chat", {{"guid", partner.service + ";-;" + partner.address},
                                            {"style", std::int64_t{45}},
                                            {"state", std::int64_t{3}},
                                            {"account_id", "5D1E0B2C-0000-4000-8000-00000000A1B2"},
                                            {"chat_identifier", partner.address},
                                            {"service_name", partner.service}});
        db.insert("chat_handle_join",
                  {{"chat_id", partner.chatId}, {"handle_id", partner.handleId}});
    }

    std::mt19937 random(static_cast<unsigned>(options.pageSize) +
                        static_cast<unsigned>(options.autoVacuum));
    for (int i = 0; i < count; ++i) {
        StoredMessage message;
        message.partner = static_cast<std::size_t>(i % 3);
        const Partner& partner = fixture.partners[message.partner];
        message.guid = Uuid(random);
        message.text = MessageText(i);
        message.date = 470000000 + std::int64_t{i} * 977;
        message.fromMe = i % 2 == 1;
        Row row = {{"guid", message.guid},
                   {"text", message.text},
                   {"handle_id", partner.handleId},
                   {"service", partner.service},
                   {"account", "e:me@example.com"},
                   {"account_guid", "5D1E0B2C-0000-4000-8000-00000000A1B2"},
                   {"date", message.date},
                   {"date_read", message.fromMe ? std::int64_t{0} : message.date + 60},
                   {"date_delivered", message.fromMe ? message.date + 5 : std::int64_t{0}},
                   {"is_from_me", std::int64_t{message.fromMe}},
                   {"is_delivered", std::int64_t{1}},
                   {"is_finished", std::int64_t{1}},
                   {"is_read", std::int64_t{!message.fromMe}},
                   {"is_sent", std::int64_t{message.fromMe}}};
        message.rowId = db.insert("message", row);
        db.insert("chat_message_join",
                  {{"chat_id", partner.chatId}, {"message_id", message.rowId}});
        fixture.messages.push_back(std::move(message));
    }

    std::vector<Bytes> tails;
    for (auto& message : fixture.messages) {
        tails.push_back(testsupport::RecordTail(
            testsupport::ReadStoredRow(db.handle(), "message", message.rowId)));
        const int i = static_cast<int>(&message - fixture.messages.data());
        message.deleted = i % 7 == 3 || (i >= 60 && i < 90) || i == count - 1 ||
                          fixture.partners[message.partner].deleted;
    }
    // As on the device: removing a message's link to its chat removes the message.
    for (const auto& message : fixture.messages) {
        if (!message.deleted) continue;
        db.deleteWhere("chat_message_join", "message_id = " + std::to_string(message.rowId));
        db.deleteRow("message", message.rowId);
    }
    for (const auto& partner : fixture.partners) {
        if (!partner.deleted) continue;
        db.deleteWhere("chat_handle_join", "chat_id = " + std::to_string(partner.chatId));
        db.deleteRow("chat", partner.chatId);
        db.deleteRow("handle", partner.handleId);
    }
    db.close();

    const Bytes bytes = FileBytes(fixture.path);
    for (std::size_t i = 0; i < fixture.messages.size(); ++i)
        fixture.messages[i].recoverable =
            fixture.messages[i].deleted && testsupport::ContainsBytes(bytes, tails[i]);
    return fixture;
}

void ReadLiveMessages(BrimleyAppDelegate& record, const std::filesystem::path& smsPath) {
    DAOs daos(std::make_shared<FMDBUtils>(smsPath.string()), testsupport::ContextFor(record));
    if (!daos.dbUtils()->openDatabase())
        throw std::runtime_error("cannot open " + smsPath.string());
    if (!daos.GetSMS()) throw std::runtime_error("no live messages in " + smsPath.string());
}

// ---- Address book ----

AddressBookFixture BuildAddressBookBackup(BackupBuilder& backup, DatabaseOptions options, int count,
                                          const std::vector<StoredPerson>& extraPeople) {
    static const char* const kFirst[] = {
        "Anna",  "Bernd", "Jürgen", "Zoë", "Li", "Maximilian-Alexander",
        "Fatma", "Søren", "Ólafur", "Mia"};
    static const char* const kLast[] = {
        "Schmidt", "Becker",      "Müller",  "Ångström", "王", "von Hohenzollern-Sigmaringen",
        "Yılmaz",  "Kierkegaard", "Arnalds", "Wong"};
    AddressBookFixture fixture;
    auto db = backup.addDatabase(kDomain, "Library/AddressBook/AddressBook.sqlitedb",
                                 "addressbook.sql", options);
    fixture.path = db.path();
    std::mt19937 random(7 + static_cast<unsigned>(options.pageSize));

    for (int i = 0; i < count; ++i) {
        StoredPerson person;
        person.first = kFirst[i % 10];
        person.last = kLast[(i + i / 10) % 10];
        if (i % 4 != 3) person.phones.push_back("+49 151 " + std::to_string(2000000 + i * 7919));
        if (i % 3 == 0) person.phones.push_back("030 " + std::to_string(400000 + i));
        if (i % 2 == 0) person.emails.push_back("p" + std::to_string(i) + "@example.com");
        if (i % 6 == 0) person.organization = "Stadtwerke München GmbH";
        person.deleted = i % 5 == 2 || (i >= 30 && i < 42);
        person.fullTextWiped = i % 10 == 7;
        fixture.people.push_back(std::move(person));
    }
    for (const auto& extra : extraPeople) fixture.people.push_back(extra);

    std::vector<std::pair<Bytes, Bytes>> tails;  // person row, full-text row
    for (std::size_t i = 0; i < fixture.people.size(); ++i) {
        StoredPerson& person = fixture.people[i];
        person.guid = Uuid(random) + ":ABPerson";
        person.creationDate = 400000000 + static_cast<std::int64_t>(i) * 86400;
        // A long note makes the row longer than the 128 bytes below which a freed row loses its
        // first serial type too.
        std::string note;
        if (i % 5 == 1)
            while (note.size() < 300) note += "Kennt sich mit Heizungen aus, Rückruf nur abends. ";
        person.rowId = db.insert(
            "ABPerson", {{"First", person.first},
                         {"Last", person.last},
                         {"Organization", person.organization ? ColumnValue(*person.organization)
                                                              : ColumnValue::Null()},
                         {"Note", note.empty() ? ColumnValue::Null() : ColumnValue(note)},
                         {"Kind", std::int64_t{0}},
                         {"FirstSort", person.first + " " + person.last},
                         {"LastSort", person.last + " " + person.first},
                         {"CreationDate", person.creationDate},
                         {"ModificationDate", person.creationDate + 3600},
                         {"StoreID", std::int64_t{0}},
                         {"guid", person.guid}});
        std::int64_t identifier = 0;
        for (const auto& phone : person.phones)
            db.insert("ABMultiValue", {{"record_id", person.rowId},
                                       {"property", std::int64_t{3}},
                                       {"identifier", identifier++},
                                       {"label", std::int64_t{1}},
                                       {"value", phone},
                                       {"guid", Uuid(random)}});
        for (const auto& email : person.emails)
            db.insert("ABMultiValue", {{"record_id", person.rowId},
                                       {"property", std::int64_t{4}},
                                       {"identifier", identifier++},
                                       {"label", std::int64_t{2}},
                                       {"value", email},
                                       {"guid", Uuid(random)}});
        auto joined = [](const std::vector<std::string>& parts) {
            std::string text;
            for (const auto& part : parts) text += (text.empty() ? "" : " ") + part;
            return text.empty() ? ColumnValue::Null() : ColumnValue(text);
        };
        db.insert("ABPersonFullTextSearch_content",
                  {{"docid", person.rowId},
                   {"c0First", person.first},
                   {"c1Last", person.last},
                   {"c6Organization",
                    person.organization ? ColumnValue(*person.organization) : ColumnValue::Null()},
                   {"c15Phone", joined(person.phones)},
                   {"c16Email", joined(person.emails)}});
        tails.emplace_back(testsupport::RecordTail(
                               testsupport::ReadStoredRow(db.handle(), "ABPerson", person.rowId)),
                           testsupport::RecordTail(testsupport::ReadStoredRow(
                               db.handle(), "ABPersonFullTextSearch_content", person.rowId)));
    }
    for (const auto& person : fixture.people) {
        if (!person.deleted) continue;
        if (person.fullTextWiped) db.exec("PRAGMA secure_delete = ON");
        db.deleteRow("ABPersonFullTextSearch_content", person.rowId);
        if (person.fullTextWiped) db.exec("PRAGMA secure_delete = OFF");
        db.deleteWhere("ABMultiValue", "record_id = " + std::to_string(person.rowId));
        db.deleteRow("ABPerson", person.rowId);
    }
    db.close();

    const Bytes bytes = FileBytes(fixture.path);
    for (std::size_t i = 0; i < fixture.people.size(); ++i) {
        StoredPerson& person = fixture.people[i];
        person.personRecoverable =
            person.deleted && testsupport::ContainsBytes(bytes, tails[i].first);
        person.fullTextRecoverable =
            person.deleted && testsupport::ContainsBytes(bytes, tails[i].second);
    }
    return fixture;
}

void ReadLiveContacts(BrimleyAppDelegate& record, const std::filesystem::path& addressBookPath) {
    DAOs daos(std::make_shared<FMDBUtils>(addressBookPath.string()),
              testsupport::ContextFor(record));
    if (!daos.dbUtils()->openDatabase())
        throw std::runtime_error("cannot open " + addressBookPath.string());
    daos.GetContacts();
}

}  // namespace msgtest

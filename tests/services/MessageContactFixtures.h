#pragma once

#include "support/StoredRecords.h"

// Backups with a messages database and an address book built from the real schemas: rows are
// inserted, some deleted singly and some in runs, and the test knows which deleted rows still
// lie whole in the file's free space.

#include "common/ColumnValue.h"
#include "common/Types.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class BrimleyAppDelegate;
class SqLiteTableSignatures;
struct sqlite3;

namespace msgtest {

// The application's own signature file, loaded once.
std::shared_ptr<const SqLiteTableSignatures> AppSignatures();

using testsupport::FileBytes;

// Points the record at the backup the way the application core does before a run: the folder,
// the database names, an iOS 9 device and the signature catalogue.
void PrepareRecord(BrimleyAppDelegate& record, const std::filesystem::path& backupFolder);

// ---- Messages ----

struct Partner {
    std::string address;
    std::string service;
    std::int64_t handleId = 0;
    std::int64_t chatId = 0;
    bool deleted = false;  // the whole conversation, chat and handle deleted
};

struct StoredMessage {
    std::int64_t rowId = 0;
    std::string guid;
    std::string text;
    std::int64_t date = 0;
    bool fromMe = false;
    std::size_t partner = 0;  // index into SmsFixture::partners
    bool deleted = false;
    bool recoverable = false;  // deleted and still whole in free space
};

struct SmsFixture {
    std::filesystem::path path;
    std::vector<Partner> partners;
    std::vector<StoredMessage> messages;
    int deletedCount() const;
    int recoverableCount() const;
};

// sms.db in the backup with three conversations ("+4915112345678" by SMS, "anna@example.com" by
// iMessage, "+49301234567" by SMS) and `count` messages among them: short, long and non-ASCII
// texts. Deleted: every seventh message, a run of thirty, the newest, and the whole third
// conversation.
SmsFixture BuildSmsBackup(testsupport::BackupBuilder& backup, const char* schema,
                          testsupport::DatabaseOptions options, int count = 150);

// Reads the live messages into the record's AllSMSContent, as the scan worker does.
void ReadLiveMessages(BrimleyAppDelegate& record, const std::filesystem::path& smsPath);

// ---- Address book ----

struct StoredPerson {
    std::int64_t rowId = 0;
    std::string first;
    std::string last;
    OptString organization;
    std::vector<std::string> phones;
    std::vector<std::string> emails;
    std::int64_t creationDate = 0;
    std::string guid;
    bool deleted = false;
    // Its full-text row is wiped when deleted, so that only the person row can bring it back.
    bool fullTextWiped = false;
    bool personRecoverable = false;    // its ABPerson row is whole in free space
    bool fullTextRecoverable = false;  // its full-text row is whole in free space
};

struct AddressBookFixture {
    std::filesystem::path path;
    std::vector<StoredPerson> people;
};

// AddressBook.sqlitedb in the backup: `count` people (plain, non-ASCII and long names, some
// with a long note), each with a person row, a full-text row and multi-value rows for their
// numbers and e-mail addresses. Deleted: every fifth person and a run of twelve; of every tenth
// person deleted singly only the person row is left.
AddressBookFixture BuildAddressBookBackup(testsupport::BackupBuilder& backup,
                                          testsupport::DatabaseOptions options, int count = 80,
                                          const std::vector<StoredPerson>& extraPeople = {});

// Reads the live contacts into the record's AllContactsContent, as the scan worker does.
void ReadLiveContacts(BrimleyAppDelegate& record, const std::filesystem::path& addressBookPath);

}  // namespace msgtest

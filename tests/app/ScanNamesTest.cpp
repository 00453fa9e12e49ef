// The naming step after a scan: every call, listed live or carved, gets one name, the full name
// of the person who holds its number in whatever form the address book stores it.

#include "app/BackupDatabaseTable.h"
#include "app/ScanNames.h"
#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"

#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using testsupport::BackupBuilder;
using testsupport::TempDir;

std::shared_ptr<CallLog> Call(const std::string& address, OptString name) {
    auto call = std::make_shared<CallLog>();
    call->setAddress(address);
    call->setPhoneNumber(address);
    call->setContactName(std::move(name));
    return call;
}

}  // namespace

TEST(ScanNames, ACallIsNamedByTheFullNameOfWhoeverHoldsItsNumberInAnyForm) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    {
        auto db = backup.addDatabase("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                                     "addressbook.sql");
        const struct {
            const char* first;
            const char* last;
            const char* organization;
            const char* number;
        } people[] = {
            {"Paula", "Berg", nullptr, "0151 21169245"},
            {"Nora", "Klein", nullptr, "+49 170 1234567"},
            {"Nora", "Vogel", nullptr, "030 9876543"},
            {nullptr, nullptr, "Stadtwerke", "0800 1112223"},
        };
        int rowId = 0;
        for (const auto& p : people) {
            const auto text = [](const char* t) { return t ? ColumnValue(t) : ColumnValue::Null(); };
            db.insert("ABPerson", {{"ROWID", ColumnValue(++rowId)},
                                   {"First", text(p.first)},
                                   {"Last", text(p.last)},
                                   {"Organization", text(p.organization)},
                                   {"guid", ColumnValue("person-" + std::to_string(rowId))}});
            db.insert("ABMultiValue", {{"record_id", ColumnValue(rowId)},
                                       {"property", ColumnValue(3)},
                                       {"identifier", ColumnValue(0)},
                                       {"label", ColumnValue(1)},
                                       {"value", ColumnValue(p.number)},
                                       {"guid", ColumnValue("mv-" + std::to_string(rowId))}});
        }
        db.close();
    }
    BrimleyAppDelegate record;
    record.BACKUP_DIRECTORY.set(backup.folder().string());
    record.ADDRESSBOOK_DATABASE.set(BackupDatabaseNames::kAddressBook);

    const struct {
        bool deleted;
        const char* address;
        OptString nameBefore;  // as the list or the carver named it
        const char* name;
    } calls[] = {
        {false, "+4915121169245", "Paula", "Paula Berg"},
        {true, "015121169245", "", "Paula Berg"},
        {false, "+49 151 21169245", std::nullopt, "Paula Berg"},
        {false, "01701234567", "Nora", "Nora Klein"},
        {true, "+49309876543", "Nora", "Nora Vogel"},
        {false, "08001112223", "", "Stadtwerke"},
        // Nobody holds these: a name given before stays, else the number.
        {false, "+4915199999999", "", "+4915199999999"},
        {true, "5550001", "Anna", "Anna"},
        {false, "1234567", std::nullopt, "1234567"},
    };
    for (const auto& c : calls)
        (c.deleted ? record.DeletedCallLog : record.CallLogContent)
            .append(Call(c.address, c.nameBefore));

    NameScanResults(record, testsupport::ContextFor(record));

    std::size_t live = 0, deleted = 0;
    const auto liveCalls = record.CallLogContent.snapshot();
    const auto deletedCalls = record.DeletedCallLog.snapshot();
    for (const auto& c : calls) {
        const auto& call = c.deleted ? deletedCalls[deleted++] : liveCalls[live++];
        EXPECT_EQ(call->ContactName(), c.name) << c.address;
    }
}

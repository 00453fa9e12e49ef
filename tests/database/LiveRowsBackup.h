#pragma once

#include "database/DAOs.h"
#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "support/BackupBuilder.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <memory>
#include <string>
#include <string_view>

// A backup folder with the device files of one iOS version and a state record of its own
// pointing at it, as the scan worker sets it up before reading the existing rows.
class LiveRowsBackup {
public:
    struct Role {
        std::string_view domain;
        std::string_view relativePath;
    };
    static constexpr Role kMessages{"HomeDomain", "Library/SMS/sms.db"};
    static constexpr Role kAddressBook{"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"};
    static constexpr Role kNotes{"HomeDomain", "Library/Notes/notes.sqlite"};
    static constexpr Role kNoteStore{"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite"};

    explicit LiveRowsBackup(int iOSMajor, std::string productVersion = "9.3.5",
                            testsupport::BackupLayout layout = testsupport::BackupLayout::Flat)
        : backup_(dir_.path(), layout) {
        auto device = std::make_shared<DeviceInfo>();
        device->setIOSMajorVersion(iOSMajor);
        device->setProductVersion(std::move(productVersion));
        state.deviceInfo.set(device);
        state.BACKUP_DIRECTORY.set(dir_.path().string());
        state.SMS_DATABASE.set(NameOf(kMessages));
        state.ADDRESSBOOK_DATABASE.set(NameOf(kAddressBook));
        state.NOTES_DATABASE.set(NameOf(kNotes));
    }

    static std::string NameOf(Role role) {
        return testsupport::BackupBuilder::BackupName(role.domain, role.relativePath);
    }

    // A new database of the role, with the tables of a schema file; the caller fills it.
    testsupport::FixtureDatabase create(Role role, std::string_view schemaFile) {
        return backup_.addDatabase(role.domain, role.relativePath, schemaFile);
    }

    std::string pathOf(Role role) const {
        return backup_.pathFor(role.domain, role.relativePath).string();
    }

    // A query object bound to the role's database, opened, as the scan worker makes it.
    std::unique_ptr<DAOs> boundTo(Role role) {
        auto handle = std::make_shared<FMDBUtils>(pathOf(role));
        handle->openDatabase();
        return std::make_unique<DAOs>(handle, testsupport::ContextFor(state));
    }

    // A query object with no handle of its own (for the queries that open their own file).
    std::unique_ptr<DAOs> unbound() {
        return std::make_unique<DAOs>(nullptr, testsupport::ContextFor(state));
    }

    BrimleyAppDelegate state;

private:
    testsupport::TempDir dir_;
    testsupport::BackupBuilder backup_;
};

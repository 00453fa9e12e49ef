#include "services/ServiceIndex.h"
#include "services/abstractServices.h"

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "support/BackupBuilder.h"
#include "support/ScanContexts.h"

#include "app/DataTypes.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::ContextFor;

using testsupport::ContextFor;

using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::TempDir;

constexpr const char* kDomain = "HomeDomain";
constexpr const char* kRelativePath = "Library/SMS/sms.db";

class ServiceFrameTest : public ::testing::Test {
protected:
    std::string nameOfDatabase() const { return BackupBuilder::BackupName(kDomain, kRelativePath); }

    TempDir dir;
    BrimleyAppDelegate record;
    DeviceInfo device;
};

TEST_F(ServiceFrameTest, DatabasePathFollowsTheBackupLayout) {
    struct Case {
        const char* label;
        bool stored;
        BackupLayout layout;
        std::string folderSuffix;  // appended to the backup folder's path
        bool expectSubFolder;
    };
    const Case cases[] = {
        {"flat", true, BackupLayout::Flat, "", false},
        {"sub-folder of iOS 10 on", true, BackupLayout::Sharded, "", true},
        {"absent file still names the flat place", false, BackupLayout::Flat, "", false},
        {"folder ending in slashes", true, BackupLayout::Sharded, "//", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir backupDir;
        BackupBuilder backup(backupDir.path(), c.layout);
        if (c.stored) backup.addFile(kDomain, kRelativePath, Bytes{1, 2, 3});
        record.BACKUP_DIRECTORY.set(backupDir.path().string() + c.folderSuffix);

        abstractServices service;
        service.setSqliteDbName(nameOfDatabase());
        const std::string name = nameOfDatabase();
        const std::string expected = backupDir.path().string() + "/" +
                                     (c.expectSubFolder ? name.substr(0, 2) + "/" : "") + name;
        EXPECT_EQ(service.ConnectionFileFullPath(ContextFor(record, device)), expected);
        EXPECT_EQ(service.ConnectionStringfromDevice(ContextFor(record, device)), expected);
        if (c.stored)
            EXPECT_EQ(service.ConnectionString(ContextFor(record, device)), expected);
        else
            EXPECT_EQ(service.ConnectionString(ContextFor(record, device)), std::nullopt);
    }
}

TEST_F(ServiceFrameTest, DevicePathOverridesTheBackupFolder) {
    record.BACKUP_DIRECTORY.set(dir.path().string());
    abstractServices service;
    service.setSqliteDbName(nameOfDatabase());
    const std::string own = (dir / "own.db").string();
    device.setfullPath(own);
    EXPECT_EQ(service.ConnectionFileFullPath(ContextFor(record, device)), own);
    EXPECT_EQ(service.ConnectionString(ContextFor(record, device)),
              std::nullopt);  // nothing there yet

    testsupport::FixtureDatabase db(own);
    db.close();
    EXPECT_EQ(service.ConnectionString(ContextFor(record, device)), own);
}

TEST_F(ServiceFrameTest, NoPathWithoutBackupFolderOrName) {
    abstractServices service;
    service.setSqliteDbName(nameOfDatabase());
    // An unset backup folder must not turn into a file of the working folder.
    EXPECT_EQ(service.ConnectionFileFullPath(ContextFor(record, device)), "");
    EXPECT_EQ(service.ConnectionString(ContextFor(record, device)), std::nullopt);

    record.BACKUP_DIRECTORY.set(dir.path().string());
    abstractServices unnamed;
    EXPECT_EQ(unnamed.ConnectionFileFullPath(ContextFor(record, device)), "");
    EXPECT_EQ(unnamed.ConnectionString(ContextFor(record, device)), std::nullopt);
}

TEST_F(ServiceFrameTest, NamesThatLeaveTheBackupFolderAreNotFound) {
    record.BACKUP_DIRECTORY.set((dir / "backup").string());
    BackupBuilder(dir / "backup").addFile(kDomain, kRelativePath, Bytes{1});
    BackupBuilder(dir.path()).addFile("OtherDomain", "outside", Bytes{1});
    const ScanContext context = ContextFor(record);
    const std::string outside = "../" + BackupBuilder::BackupName("OtherDomain", "outside");
    EXPECT_EQ(context.locate(outside), std::nullopt);
    EXPECT_EQ(context.locate(nameOfDatabase()), (dir / "backup" / nameOfDatabase()).string());
}

// The data-type table is where the two numberings meet.
TEST(ServiceIndexTest, ConvertsToAndFromDataTypesAndCodes) {
    struct Case {
        DataType type;
        ServiceIndex index;
        std::int64_t code;
    };
    const Case cases[] = {
        {DataType::DataTypeSMS, ServiceIndex::ServiceIndexMessages, 0},
        {DataType::DataTypePhotosVideos, ServiceIndex::ServiceIndexPhotosVideos, 1},
        {DataType::DataTypeContacts, ServiceIndex::ServiceIndexContacts, 2},
        {DataType::DataTypeCallHistory, ServiceIndex::ServiceIndexCallHistory, 3},
        {DataType::DataTypeCalendar, ServiceIndex::ServiceIndexCalendar, 4},
        {DataType::DataTypeNotes, ServiceIndex::ServiceIndexNotes, 5},
        {DataType::DataTypeInternetHistory, ServiceIndex::ServiceIndexInternetHistory, 6},
        {DataType::DataTypeWhatsApp, ServiceIndex::ServiceIndexWhatsApp, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(ToCode(c.index), c.code);
        EXPECT_EQ(ServiceIndexFromCode(c.code), c.index);
        EXPECT_EQ(ServiceIndexForDataType(c.type), c.index);
        EXPECT_EQ(DataTypeForServiceIndex(c.index), c.type);
    }
    EXPECT_EQ(ServiceIndexFromCode(-1), std::nullopt);
    EXPECT_EQ(ServiceIndexFromCode(8), std::nullopt);
    EXPECT_EQ(ServiceIndexForDataType(DataType::DataTypeAll), std::nullopt);
    EXPECT_EQ(ServiceIndexForDataType(DataTypeFromCode(9)), std::nullopt);
}

}  // namespace

#include "app/BackupDatabaseTable.h"
#include "records/BrimleyAppDelegate.h"

#include "support/BackupBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::TempDir;
namespace names = BackupDatabaseNames;

namespace {

// Where the device keeps the files whose presence the table tests.
constexpr const char* kWhatsAppDomain = "AppDomain-net.whatsapp.WhatsApp";
constexpr const char* kWhatsAppPath = "Documents/ChatStorage.sqlite";
constexpr const char* kSafariDomain = "AppDomain-com.apple.mobilesafari";
constexpr const char* kOldSafariDomain = "HomeDomain";
constexpr const char* kHistoryPath = "Library/Safari/History.plist";

void SetDevice(BrimleyAppDelegate& record, std::int32_t major, const std::string& backup) {
    auto info = std::make_shared<DeviceInfo>();
    info->setIOSMajorVersion(major);
    record.deviceInfo.set(info);
    record.BACKUP_DIRECTORY.set(backup);
}

}  // namespace

TEST(BackupDatabaseTable, FixturePathsCarryTheNamesTheTableLooksFor) {
    EXPECT_EQ(BackupBuilder::BackupName(kWhatsAppDomain, kWhatsAppPath), names::kWhatsApp);
    EXPECT_EQ(BackupBuilder::BackupName(kSafariDomain, kHistoryPath), names::kInternetHistory);
    EXPECT_EQ(BackupBuilder::BackupName(kOldSafariDomain, kHistoryPath),
              names::kInternetHistoryBeforeIOS7);
}

TEST(BackupDatabaseTable, AtStartUpEveryTestFails) {
    BrimleyAppDelegate record;  // no device record, no backup folder
    setupDataBase(record);
    EXPECT_EQ(record.SMS_DATABASE.get(), names::kSms);
    EXPECT_EQ(record.ADDRESSBOOK_DATABASE.get(), names::kAddressBook);
    EXPECT_EQ(record.CALENDAR_DATABASE.get(), names::kCalendar);
    EXPECT_EQ(record.NOTES_DATABASE.get(), names::kNotes);
    EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), names::kCallHistoryBeforeIOS8);
    EXPECT_EQ(record.DYNAMICDIT_DATABASE.get(), names::kUserDictionaryBeforeIOS5);
    EXPECT_EQ(record.MAPHISTORY_DATABASE.get(), names::kMapHistory);
    EXPECT_EQ(record.KEYCHAIN_DATABASE.get(), names::kKeychain);
    EXPECT_EQ(record.ACCOUNT_DATABASE.get(), names::kAccounts);
    EXPECT_EQ(record.APPLICATIONS_DATABASE.get(), names::kApplications);
    EXPECT_EQ(record.WHATSAPP_DATABASE.get(), names::kWhatsAppFallback);
    EXPECT_EQ(record.INTERNET_HISTROY_DATABASE.get(), names::kInternetHistoryFallback);
}

TEST(BackupDatabaseTable, VersionsAndFilesPickTheNames) {
    enum Files { None = 0, WhatsApp = 1, EmptyWhatsApp = 2, History = 4, OldHistory = 8 };
    const struct Case {
        const char* name;
        std::int32_t major;
        int files;
        BackupLayout layout;
        const char* callHistory;
        const char* dictionary;
        const char* whatsApp;
        const char* internet;
    } cases[] = {
        {"iOS 4", 4, None, BackupLayout::Flat, names::kCallHistoryBeforeIOS8,
         names::kUserDictionaryBeforeIOS5, names::kWhatsAppFallback,
         names::kInternetHistoryFallback},
        {"iOS 5", 5, None, BackupLayout::Flat, names::kCallHistoryBeforeIOS8,
         names::kUserDictionary, names::kWhatsAppFallback, names::kInternetHistoryFallback},
        {"iOS 6 with its history", 6, OldHistory, BackupLayout::Flat, names::kCallHistoryBeforeIOS8,
         names::kUserDictionary, names::kWhatsAppFallback, names::kInternetHistoryBeforeIOS7},
        {"iOS 7 with only the old history", 7, OldHistory, BackupLayout::Flat,
         names::kCallHistoryBeforeIOS8, names::kUserDictionary, names::kWhatsAppFallback,
         names::kInternetHistoryFallback},
        {"iOS 8 with WhatsApp and history", 8, WhatsApp | History, BackupLayout::Flat,
         names::kCallHistory, names::kUserDictionary, names::kWhatsApp, names::kInternetHistory},
        {"iOS 9 with an empty WhatsApp file", 9, EmptyWhatsApp, BackupLayout::Flat,
         names::kCallHistory, names::kUserDictionary, names::kWhatsAppFallback,
         names::kInternetHistoryFallback},
        {"iOS 10, sharded", 10, WhatsApp | History, BackupLayout::Sharded, names::kCallHistory,
         names::kUserDictionary, names::kWhatsApp, names::kInternetHistory},
        {"iOS 10, sharded, empty WhatsApp", 10, EmptyWhatsApp, BackupLayout::Sharded,
         names::kCallHistory, names::kUserDictionary, names::kWhatsAppFallback,
         names::kInternetHistoryFallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup", c.layout);
        if (c.files & WhatsApp) backup.addFile(kWhatsAppDomain, kWhatsAppPath, {'S', 'Q', 'L'});
        if (c.files & EmptyWhatsApp) backup.addFile(kWhatsAppDomain, kWhatsAppPath, {});
        if (c.files & History) backup.addFile(kSafariDomain, kHistoryPath, {'b', 'p'});
        if (c.files & OldHistory) backup.addFile(kOldSafariDomain, kHistoryPath, {'b', 'p'});

        BrimleyAppDelegate record;
        SetDevice(record, c.major, backup.folder().string());
        setupDataBase(record);
        EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), c.callHistory);
        EXPECT_EQ(record.DYNAMICDIT_DATABASE.get(), c.dictionary);
        EXPECT_EQ(record.WHATSAPP_DATABASE.get(), c.whatsApp);
        EXPECT_EQ(record.INTERNET_HISTROY_DATABASE.get(), c.internet);
        EXPECT_EQ(record.SMS_DATABASE.get(), names::kSms);
    }
}

TEST(BackupDatabaseTable, EachCallStartsAfreshFromItsInputs) {
    TempDir dir;
    BackupBuilder backup(dir.path() / "backup");
    const auto whatsApp = backup.addFile(kWhatsAppDomain, kWhatsAppPath, {1, 2, 3});

    BrimleyAppDelegate record;
    SetDevice(record, 9, backup.folder().string());
    setupDataBase(record);
    EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), names::kCallHistory);
    EXPECT_EQ(record.WHATSAPP_DATABASE.get(), names::kWhatsApp);

    // The next backup is older and has no WhatsApp: nothing of the first call survives.
    std::filesystem::remove(whatsApp);
    SetDevice(record, 6, backup.folder().string());
    setupDataBase(record);
    EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), names::kCallHistoryBeforeIOS8);
    EXPECT_EQ(record.WHATSAPP_DATABASE.get(), names::kWhatsAppFallback);
}

TEST(BackupDatabaseTable, AFolderInPlaceOfTheFileDoesNotCount) {
    TempDir dir;
    BackupBuilder backup(dir.path() / "backup");
    std::filesystem::create_directories(backup.folder() / names::kWhatsApp / "x");
    BrimleyAppDelegate record;
    SetDevice(record, 9, backup.folder().string());
    setupDataBase(record);
    EXPECT_EQ(record.WHATSAPP_DATABASE.get(), names::kWhatsAppFallback);
}

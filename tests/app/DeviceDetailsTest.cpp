#include "app/DeviceDetails.h"
#include "common/Clock.h"
#include "records/BrimleyAppDelegate.h"

#include "RecordingWindow.h"
#include "support/BackupBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::DeviceDetails;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

std::string XmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

void Truncate(const fs::path& file) {
    fs::resize_file(file, fs::file_size(file) / 2);
}

struct Reading {
    BrimleyAppDelegate record;
    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();
    bool result = false;

    explicit Reading(const fs::path& backup) { record.BACKUP_DIRECTORY.set(backup.string()); }
    DeviceInfo& run() {
        result = DeviceDetailsReader(record, *window).getInfoFromBackup();
        return *record.deviceInfo.get();
    }
};

}  // namespace

TEST(GetInfoFromBackup, ModernBackupTakesInfoPlistAndTheManifestsEncryption) {
    Clock::ScopedTimeZone zone("Europe/Berlin");
    TempDir dir;
    BackupBuilder backup(dir.path() / "backup");
    DeviceDetails details;
    details.productVersion = "9.3.2";
    details.isEncrypted = true;
    backup.writePlists(details);

    Reading reading(backup.folder());
    const DeviceInfo& info = reading.run();
    EXPECT_TRUE(reading.result);
    EXPECT_EQ(info.DeviceName(), "Test iPhone");
    EXPECT_EQ(info.DisplayName(), "Test iPhone");
    EXPECT_EQ(info.SerialNumber(), "F2LXK0ABCDEF");
    EXPECT_EQ(info.ProductType(), "iPhone8,1");
    EXPECT_EQ(info.UniqueDeviceID(), "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(info.PhoneNumber(), "+49 151 23456789");
    EXPECT_EQ(info.ProductVersion(), "9.3.2");
    EXPECT_EQ(info.iOSMajorVersion(), 9);
    EXPECT_EQ(info.iOSMinorVersion(), 3);
    EXPECT_TRUE(info.isEncrypted());
    EXPECT_TRUE(info.knownIfEncrypted());
    EXPECT_FALSE(info.Connected());
    EXPECT_EQ(info.ICICD(), "");  // Info.plist's ICCID is not one of the keys read
    // "Last Backup Date", 2016-09-01 10:00:00 UTC, in local time.
    EXPECT_EQ(info.BackupDate(), "2016-09-01 12:00 PM");
    EXPECT_EQ(info.BackupLocation(), backup.folder().string());
    EXPECT_EQ(reading.window->texts(), std::vector<std::string>{"updateDisplayName Test iPhone"});
    const auto copy = reading.record.deviceInfoBackup.get();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->DeviceName(), "Test iPhone");
    EXPECT_EQ(copy->UniqueDeviceID(), "0123456789abcdef0123456789abcdef01234567");
}

TEST(GetInfoFromBackup, WhichFileSaysWhat) {
    const struct Case {
        const char* name;
        bool info;                  // write Info.plist
        bool manifest;              // write Manifest.plist
        OptString manifestVersion;  // top-level ProductVersion of an old manifest
        std::optional<bool> encrypted;
        bool lowerCaseInfoName;
        // Expected:
        bool result;
        OptString deviceName;
        OptString displayName;
        OptString version;
        int major;
        bool known;
        bool isEncrypted;
        OptString iccid;
    } cases[] = {
        {"manifest only, lockdown 6.1",
         false,
         true,
         {},
         false,
         false,
         true,
         "Test iPhone",
         "Test iPhone",
         "6.1",
         6,
         true,
         false,
         "8949020000012345678"},
        {"Info.plist beside an old manifest", true, true, "5.1.1", true, false, true, "Test iPhone",
         "Test iPhone", "6.1", 6, true, true, ""},
        {"manifest without IsEncrypted",
         true,
         true,
         {},
         std::nullopt,
         false,
         true,
         "Test iPhone",
         "Test iPhone",
         "6.1",
         6,
         false,
         false,
         ""},
        {"old manifest alone: only its version", false, true, "5.1.1", true, false, true, "", "",
         "5.1.1", 5, true, true, ""},
        {"lower-case info.plist",
         true,
         false,
         {},
         false,
         true,
         true,
         "Test iPhone",
         "Test iPhone",
         "6.1",
         6,
         false,
         false,
         ""},
        {"neither file", false, false, {}, false, false, false, "", "", "", 0, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup");
        DeviceDetails details;
        details.productVersion = "6.1";
        details.manifestProductVersion = c.manifestVersion;
        details.isEncrypted = c.encrypted;
        if (c.info) backup.writeInfoPlist(details);
        if (c.manifest) backup.writeManifestPlist(details);
        if (c.lowerCaseInfoName)
            fs::rename(backup.folder() / "Info.plist", backup.folder() / "info.plist");

        Reading reading(backup.folder());
        const DeviceInfo& info = reading.run();
        EXPECT_EQ(reading.result, c.result);
        EXPECT_EQ(info.DeviceName(), c.deviceName);
        EXPECT_EQ(info.DisplayName(), c.displayName);
        EXPECT_EQ(info.ProductVersion(), c.version);
        EXPECT_EQ(info.iOSMajorVersion(), c.major);
        EXPECT_EQ(info.knownIfEncrypted(), c.known);
        EXPECT_EQ(info.isEncrypted(), c.isEncrypted);
        EXPECT_EQ(info.ICICD(), c.iccid);
        // The label shows the device name, the empty one included.
        EXPECT_EQ(reading.window->texts(),
                  std::vector<std::string>{"updateDisplayName " + c.deviceName.value_or("")});
    }
}

TEST(GetInfoFromBackup, InfoPlistWithoutDeviceNameBesideAnOldManifestGivesOnlyTheVersion) {
    TempDir dir;
    BackupBuilder backup(dir.path() / "backup");
    DeviceDetails details;
    details.deviceName = std::nullopt;
    details.manifestProductVersion = "4.3.5";
    backup.writePlists(details);

    Reading reading(backup.folder());
    const DeviceInfo& info = reading.run();
    EXPECT_TRUE(reading.result);
    EXPECT_EQ(info.ProductVersion(), "4.3.5");
    EXPECT_EQ(info.DeviceName(), "");
    EXPECT_EQ(info.DisplayName(), "");  // Info.plist exists, so no name is copied over
    EXPECT_EQ(reading.window->texts(), std::vector<std::string>{"updateDisplayName "});
}

TEST(GetInfoFromBackup, NothingOfAnEarlierBackupSticks) {
    TempDir dir;
    BackupBuilder encrypted(dir.path() / "a");
    DeviceDetails a;
    a.productVersion = "9.3.5";
    a.isEncrypted = true;
    encrypted.writePlists(a);
    BackupBuilder versionless(dir.path() / "b");
    DeviceDetails b;
    b.productVersion = std::nullopt;
    b.isEncrypted = std::nullopt;
    versionless.writePlists(b);

    Reading reading(encrypted.folder());
    reading.run();
    ASSERT_EQ(reading.record.deviceInfo.get()->iOSMajorVersion(), 9);
    reading.record.BACKUP_DIRECTORY.set(versionless.folder().string());
    const DeviceInfo& info = reading.run();
    EXPECT_FALSE(reading.result);
    EXPECT_EQ(info.iOSMajorVersion(), 0);
    EXPECT_EQ(info.iOSMinorVersion(), 0);
    EXPECT_FALSE(info.knownIfEncrypted());
    EXPECT_FALSE(info.isEncrypted());
    EXPECT_EQ(info.BackupLocation(), versionless.folder().string());
}

// A "Last Backup Date" that is no date value, or none at all, leaves the date unknown.
TEST(GetInfoFromBackup, BackupDateOnlyFromADateValue) {
    for (const char* date : {"<key>Last Backup Date</key><string>2016-09-01</string>", ""}) {
        SCOPED_TRACE(date);
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup");
        backup.writePlists();
        WriteText(backup.folder() / "Info.plist",
                  XmlPlist(std::string("<dict><key>Device Name</key><string>Phone</string>"
                                       "<key>Product Version</key><string>9.3.5</string>") +
                           date + "</dict>"));
        Reading reading(backup.folder());
        EXPECT_EQ(reading.run().BackupDate(), "N/A");
    }
}

TEST(GetInfoFromBackup, BlankVersionIsNoUsableBackup) {
    TempDir dir;
    BackupBuilder backup(dir.path() / "backup");
    DeviceDetails details;
    details.productVersion = " \t\r\n";
    backup.writePlists(details);
    Reading reading(backup.folder());
    reading.run();
    EXPECT_FALSE(reading.result);
}

TEST(GetInfoFromBackup, HostilePropertyListsReadAsListsWithoutTheKeys) {
    // Each case spoils one of the two files of a valid backup whose manifest knows the device.
    const struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        bool result;
        OptString deviceName;
        OptString displayName;  // "" when Info.plist still exists, else the lockdown name
        bool known;
    } cases[] = {
        {"Info.plist with an array root",
         [](const fs::path& b) {
             WriteText(b / "Info.plist", XmlPlist("<array><string>Device Name</string></array>"));
         },
         true, "Test iPhone", "", true},
        {"Info.plist device name of the wrong type",
         [](const fs::path& b) {
             WriteText(b / "Info.plist",
                       XmlPlist("<dict><key>Device Name</key><integer>7</integer>"
                                "<key>Product Version</key><string>1.0</string></dict>"));
         },
         true, "Test iPhone", "", true},
        {"Info.plist of garbage", [](const fs::path& b) { WriteText(b / "Info.plist", "<pl\x01"); },
         true, "Test iPhone", "", true},
        {"empty Info.plist", [](const fs::path& b) { WriteText(b / "Info.plist", ""); }, true,
         "Test iPhone", "", true},
        {"unclosed XML",
         [](const fs::path& b) {
             WriteText(b / "Info.plist", "<?xml version=\"1.0\"?><plist><dict><key>Device Name");
         },
         true, "Test iPhone", "", true},
        {"a folder named Info.plist",
         [](const fs::path& b) {
             fs::remove(b / "Info.plist");
             fs::create_directory(b / "Info.plist");
         },
         true, "Test iPhone", "", true},
        {"truncated binary manifest, no Info.plist",
         [](const fs::path& b) {
             fs::remove(b / "Info.plist");
             Truncate(b / "Manifest.plist");
         },
         false, std::nullopt, std::nullopt, false},
        {"truncated binary manifest beside Info.plist",
         [](const fs::path& b) { Truncate(b / "Manifest.plist"); }, true, "Test iPhone",
         "Test iPhone", false},
        {"manifest with IsEncrypted as text",
         [](const fs::path& b) {
             WriteText(b / "Manifest.plist",
                       XmlPlist("<dict><key>IsEncrypted</key><string>true</string></dict>"));
         },
         true, "Test iPhone", "Test iPhone", false},
        {"manifest whose Lockdown is a text, no Info.plist",
         [](const fs::path& b) {
             fs::remove(b / "Info.plist");
             WriteText(b / "Manifest.plist",
                       XmlPlist("<dict><key>Lockdown</key><string>x</string></dict>"));
         },
         false, std::nullopt, std::nullopt, false},
        {"binary manifest with its header only, no Info.plist",
         [](const fs::path& b) {
             fs::remove(b / "Info.plist");
             WriteText(b / "Manifest.plist", "bplist00");
         },
         false, std::nullopt, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup");
        backup.writePlists();
        c.spoil(backup.folder());

        Reading reading(backup.folder());
        const DeviceInfo& info = reading.run();
        EXPECT_EQ(reading.result, c.result);
        EXPECT_EQ(info.DeviceName(), c.deviceName);
        EXPECT_EQ(info.DisplayName(), c.displayName);
        EXPECT_EQ(info.knownIfEncrypted(), c.known);
        EXPECT_FALSE(info.isEncrypted());
    }
}

TEST(IsBackupEncrypted, AnswersForThisBackupOnly) {
    const struct Case {
        const char* name;
        bool manifest;
        OptString manifestVersion;
        std::optional<bool> encrypted;
        bool expected;
    } cases[] = {
        {"encrypted", true, {}, true, true},
        {"not encrypted", true, {}, false, false},
        {"old manifest says encrypted", true, "5.0", true, true},
        {"old manifest says not encrypted", true, "5.0", false, false},
        {"no manifest", false, {}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup");
        DeviceDetails details;
        details.manifestProductVersion = c.manifestVersion;
        details.isEncrypted = c.encrypted;
        if (c.manifest) backup.writeManifestPlist(details);

        BrimleyAppDelegate record;
        auto earlier = std::make_shared<DeviceInfo>();
        earlier->setIsEncrypted(true);  // left by a backup read before
        earlier->setKnownIfEncrypted(true);
        record.deviceInfo.set(earlier);
        record.BACKUP_DIRECTORY.set(backup.folder().string());
        SilentMainWindow window;
        EXPECT_EQ(DeviceDetailsReader(record, window).isBackupEncrypted(), c.expected);
        EXPECT_EQ(record.deviceInfo.get()->isEncrypted(), c.expected);
        EXPECT_TRUE(earlier->isEncrypted());  // the record was replaced, not edited
    }
}

// An Info.plist that names the device but no usable version (the key missing, of another type,
// or blank) leaves the version to the manifest, which names it too.
TEST(GetInfoFromBackup, InfoPlistWithoutAVersionTakesTheManifests) {
    const struct Case {
        const char* name;
        const char* version;  // the Info.plist's entry, after its key
    } cases[] = {
        {"no version", nullptr},
        {"a number", "<integer>9</integer>"},
        {"a blank text", "<string> </string>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup");
        DeviceDetails details;
        details.productVersion = "10.3.1";
        backup.writePlists(details);
        WriteText(backup.folder() / "Info.plist",
                  XmlPlist(std::string("<dict><key>Device Name</key><string>Eva</string>") +
                           (c.version ? std::string("<key>Product Version</key>") + c.version
                                      : std::string()) +
                           "</dict>"));
        Reading reading(backup.folder());
        const DeviceInfo& info = reading.run();
        EXPECT_TRUE(reading.result);
        EXPECT_EQ(info.DeviceName(), "Eva");
        EXPECT_EQ(info.ProductVersion(), "10.3.1");
        EXPECT_EQ(info.iOSMajorVersion(), 10);
    }
}

// A property list reached through a link that leads out of the backup folder is not the
// backup's: it counts as missing. A link that stays inside is read.
TEST(GetInfoFromBackup, PropertyListsLinkedFromOutsideAreNotRead) {
    TempDir dir;
    BackupBuilder backup(dir.path() / "backup");
    backup.writePlists();
    fs::create_directories(dir.path() / "outside");
    for (const char* name : {"Info.plist", "Manifest.plist"}) {
        fs::rename(backup.folder() / name, dir.path() / "outside" / name);
        fs::create_symlink(dir.path() / "outside" / name, backup.folder() / name);
    }
    Reading outside(backup.folder());
    EXPECT_NE(outside.run().DeviceName(), "Test iPhone");
    EXPECT_FALSE(outside.result);

    for (const char* name : {"Info.plist", "Manifest.plist"}) {
        fs::remove(backup.folder() / name);
        fs::rename(dir.path() / "outside" / name, backup.folder() / (std::string("kept-") + name));
        fs::create_symlink(std::string("kept-") + name, backup.folder() / name);
    }
    Reading inside(backup.folder());
    EXPECT_EQ(inside.run().DeviceName(), "Test iPhone");
    EXPECT_TRUE(inside.result);
}

// A backup that says it is encrypted in its Info.plist is encrypted, whatever form its manifest
// has: reading it as plain would list nothing.
TEST(GetInfoFromBackup, AnInfoPlistThatSaysEncryptedIsBelieved) {
    for (const OptString& manifestVersion : {OptString("4.3.5"), OptString()}) {
        SCOPED_TRACE(manifestVersion.value_or("new manifest"));
        TempDir dir;
        BackupBuilder backup(dir.path() / "backup");
        DeviceDetails details;
        details.manifestProductVersion = manifestVersion;
        details.isEncrypted = std::nullopt;
        backup.writeManifestPlist(details);
        WriteText(backup.folder() / "Info.plist",
                  XmlPlist("<dict><key>Device Name</key><string>Test iPhone</string>"
                           "<key>Product Version</key><string>9.3.2</string>"
                           "<key>IsEncrypted</key><true/></dict>"));
        Reading reading(backup.folder());
        const DeviceInfo& info = reading.run();
        EXPECT_TRUE(info.knownIfEncrypted());
        EXPECT_TRUE(info.isEncrypted());

        BrimleyAppDelegate record;
        record.BACKUP_DIRECTORY.set(backup.folder().string());
        SilentMainWindow window;
        EXPECT_TRUE(DeviceDetailsReader(record, window).isBackupEncrypted());
    }
}

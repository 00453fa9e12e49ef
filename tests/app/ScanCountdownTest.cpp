#include "app/KnownDevices.h"
#include "app/ScanCountdown.h"
#include "records/DeviceInfo.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

TEST(ScanCountdown, FirstTickShowsFourMinutesFiftyNine) {
    ScanCountdown countdown;
    countdown.start();
    const auto tick = countdown.timerRun();
    ASSERT_TRUE(tick.label);
    EXPECT_EQ(*tick.label, "Remaining time: 4 minutes 59 seconds");
    EXPECT_EQ(tick.bar, 1.0);
}

TEST(ScanCountdown, CycleOfThreeHundredAndTwoTicksThenPhaseOne) {
    ScanCountdown countdown;
    countdown.start();
    std::optional<std::string> last;
    for (int i = 1; i <= 300; ++i)
        if (auto tick = countdown.timerRun(); tick.label) last = tick.label;
    EXPECT_EQ(*last, "Remaining time: 0 minutes 00 seconds");
    EXPECT_FALSE(countdown.timerRun().label);  // 301: the clock turns to -1 unseen
    const auto restart = countdown.timerRun();  // 302: a new cycle, the bar back at 0
    EXPECT_FALSE(restart.label);
    EXPECT_EQ(restart.bar, 0.0);
    EXPECT_EQ(countdown.phases(), 1);
    EXPECT_EQ(*countdown.timerRun().label, "Remaining time: 4 minutes 59 seconds - phase 1");
}

TEST(ScanCountdown, HiddenBarDoesNotMoveButTheLabelCounts) {
    ScanCountdown countdown;
    countdown.start();
    const auto tick = countdown.timerRun(false);
    EXPECT_EQ(tick.bar, 0.0);
    EXPECT_EQ(*tick.label, "Remaining time: 4 minutes 59 seconds");
    countdown.start();
    EXPECT_EQ(countdown.currMinute(), 5);
    EXPECT_EQ(countdown.phases(), 0);
}

DeviceInfo Device(const char* id, const char* name, const char* version = "9.3.5") {
    DeviceInfo info;
    info.setUniqueDeviceID(std::string(id));
    if (name) info.setDeviceName(std::string(name));
    info.setProductVersion(std::string(version));
    return info;
}

TEST(KnownDevices, SameDeviceTwiceIsOneRowHoldingTheLastRead) {
    KnownDevices known;
    known.afterReading(Device("ABC", "First"), false, "/b/abc");
    known.afterReading(Device("other", "Other"), true, "/b/other");
    known.afterReading(Device("abc", "Second"), true, "/b/abc");
    ASSERT_EQ(known.size(), 2u);
    EXPECT_EQ(known.entries()[0].DeviceName(), OptString("Second"));
    EXPECT_EQ(known.indexOf(std::string("ABC")), 0);
}

TEST(KnownDevices, BackupNeedsALongEnoughVersionAndNamelessReadingsDropTheirFolder) {
    KnownDevices known;
    known.afterReading(Device("short", "Phone", "9"), true, "/b/short");
    EXPECT_EQ(known.size(), 0u);
    known.afterReading(Device("keep", "Phone"), true, "/b/keep");
    known.afterReading(Device("gone", "Phone"), true, "/b/gone");
    known.afterReading(Device("x", nullptr, "1"), true, "/b/gone/");
    ASSERT_EQ(known.size(), 1u);
    EXPECT_EQ(known.entries()[0].UniqueDeviceID(), OptString("keep"));
    known.keepListed({"other"}, "/b");
    EXPECT_EQ(known.size(), 0u);
}

// A backup read from a folder of its own (Browse, the command line) stays known when the
// MobileSync folder is listed again, as long as it is there; one of the listed folder that the
// listing no longer names goes.
TEST(KnownDevices, BackupsReadElsewhereStayWhenTheBackupFolderIsListed) {
    TempDir dir;
    const fs::path sync = dir.path() / "MobileSync" / "Backup";
    const fs::path elsewhere = dir.path() / "Downloads" / "my backup";
    fs::create_directories(sync / "gone");
    fs::create_directories(elsewhere);
    KnownDevices known;
    const auto read = [&](const char* id, const fs::path& location) {
        DeviceInfo info = Device(id, "Phone");
        info.setBackupLocation(location.string());
        known.afterReading(info, true, location.string());
    };
    read("browsed", elsewhere);
    read("gone", sync / "gone");
    read("vanished", dir.path() / "Downloads" / "no longer there");
    read("listed", sync / "listed");
    known.keepListed({"listed"}, sync.string() + "/");
    ASSERT_EQ(known.size(), 2u);
    EXPECT_EQ(known.entries()[0].UniqueDeviceID(), OptString("browsed"));
    EXPECT_EQ(known.entries()[1].UniqueDeviceID(), OptString("listed"));
}

TEST(BackupFolderListing, ReadsIdentifierNamedFoldersAndTheLastEntry) {
    const std::vector<std::string> names = {std::string(40, 'a'), std::string(39, 'b'),
                                            "00008030-001A2B3C4D5E6F70", std::string(41, 'c'),
                                            "last"};
    EXPECT_TRUE(BackupFolderListing::isRead(names, 0));  // the first entry is read too
    EXPECT_FALSE(BackupFolderListing::isRead(names, 1));
    EXPECT_TRUE(BackupFolderListing::isRead(names, 2));
    EXPECT_FALSE(BackupFolderListing::isRead(names, 3));
    EXPECT_TRUE(BackupFolderListing::isRead(names, 4));
    EXPECT_TRUE(BackupFolderListing::list("/no/such/folder").empty());
}

}  // namespace

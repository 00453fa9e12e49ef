#include "app/KnownDevices.h"
#include "app/ScanCountdown.h"
#include "app/ScanProgress.h"
#include "records/DeviceInfo.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

using Seconds = std::chrono::seconds;

// Two parts of a scan weighed 1 and 3: the share done and the time still to go follow the work
// the parts report, not the clock alone.
TEST(ScanProgress, FractionAndEstimateFollowTheWorkDone) {
    const auto t0 = ScanProgress::Clock::time_point{} + Seconds(1000);
    ScanProgress progress;
    progress.start(t0);
    progress.plan("small", 1.0);
    progress.plan("large", 3.0);
    EXPECT_EQ(progress.fraction(), 0.0);
    EXPECT_FALSE(progress.remainingSeconds(t0 + Seconds(30)));  // nothing done: no estimate
    progress.begin("small", "Retrieving  small");
    progress.end("small");
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.25);
    EXPECT_EQ(progress.remainingSeconds(t0 + Seconds(10)), 30);
    progress.begin("large", "Carving large");
    progress.advance("large", 0.5);
    progress.advance("large", 0.25);  // never back
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.625);
    EXPECT_EQ(progress.remainingSeconds(t0 + Seconds(20)), 12);
    progress.advance("large", 0.99);
    EXPECT_EQ(progress.remainingSeconds(t0 + Seconds(240)), 2);
    progress.end("large");
    EXPECT_EQ(progress.fraction(), 1.0);
    EXPECT_EQ(progress.remainingSeconds(t0 + Seconds(241)), 0);
    // A new scan starts from nothing.
    progress.start(t0 + Seconds(300));
    EXPECT_EQ(progress.fraction(), 0.0);
    EXPECT_FALSE(progress.runningStatus());
}

// Parts that run side by side: when one ends, the status names the running part begun last,
// never the part that has ended.
TEST(ScanProgress, TheStatusNamesAPartStillRunning) {
    ScanProgress progress;
    progress.start(ScanProgress::Clock::now());
    for (const char* part : {"messages", "calendar", "internet"}) progress.plan(part, 1.0);
    progress.begin("messages", "Carving messages");
    progress.begin("calendar", "Carving calendar");
    progress.begin("internet", "Recovering Internet History");
    EXPECT_EQ(progress.runningStatus(), OptString("Recovering Internet History"));
    EXPECT_EQ(progress.end("internet"), OptString("Carving calendar"));
    EXPECT_EQ(progress.end("calendar"), OptString("Carving messages"));
    EXPECT_EQ(progress.end("messages"), std::nullopt);
    EXPECT_FALSE(progress.runningStatus());
}

// The window's countdown shows what the progress says: the estimate in its words and a bar
// filled by the share done; one second before the end it says so.
// A part that walks its files page by page, as many times as it needs: each walk that ends
// takes half of the share still left, a walk under way its share of that half; the share only
// grows and stays below 1 until the part ends.
TEST(ScanProgress, RepeatedPageWalksMoveThePartOn) {
    PageWalkShare share;
    const struct {
        std::int64_t walked, pages;
        double share;
    } steps[] = {
        {256, 1024, 0.125}, {768, 1024, 0.375}, {1024, 1024, 0.5},  // the first walk
        {0, 100, 0.5},      {50, 100, 0.625},   {100, 100, 0.75},   // a second one
        {10, 0, 0.75},                                            // an empty file
        {200, 200, 0.875},
    };
    for (const auto& step : steps)
        EXPECT_DOUBLE_EQ(share.walked(step.walked, step.pages), step.share) << step.walked << "/" << step.pages;
}

// Where a part's walks are planned, each walk moves it by its planned share and the work after
// the last walk keeps the rest; walks beyond the plan share what is left by halves.
TEST(ScanProgress, PlannedPageWalksMoveThePartByTheirCost) {
    PageWalkShare share(PageWalkPlan{{1.0, 3.0}, 1.0});
    const struct {
        std::int64_t walked, pages;
        double share;
    } steps[] = {
        {0, 100, 0.0},    {50, 100, 0.1},  {100, 100, 0.2},  // the first walk: a fifth
        {5, 0, 0.2},                                       // an empty file
        {25, 50, 0.5},    {50, 50, 0.8},                   // the second: three fifths
        {10, 10, 0.9},    {20, 40, 0.925}, {40, 40, 0.95},  // beyond the plan
    };
    for (const auto& step : steps)
        EXPECT_DOUBLE_EQ(share.walked(step.walked, step.pages), step.share) << step.walked << "/" << step.pages;
}

// The messages part of a scan: its service walks the database six times, and the last walk (the
// messages themselves) costs more than the five link walks before it together. Its bar leaves
// room for that walk instead of standing nearly full while it runs.
TEST(ScanProgress, TheMessagesPartKeepsRoomForItsLastWalks) {
    const PageWalkPlan plan = ScanProgress::CarvingPlan(ServiceIndex::ServiceIndexMessages);
    ASSERT_EQ(plan.walks.size(), 6u);
    PageWalkShare share(plan);
    double afterLinks = 0.0;
    for (int walk = 0; walk < 5; ++walk) afterLinks = share.walked(1000, 1000);
    EXPECT_LT(afterLinks, 0.7);
    const double halfway = share.walked(500, 1000);
    EXPECT_GT(halfway, afterLinks + 0.1);
    const double walked = share.walked(1000, 1000);
    EXPECT_GT(walked, halfway + 0.1);
    EXPECT_LT(walked, 1.0);
    // The part weighs more than its database read once: the scan plans it by the walks.
    EXPECT_GT(plan.total(), 4.0);
    EXPECT_TRUE(ScanProgress::CarvingPlan(ServiceIndex::ServiceIndexWhatsApp).walks.empty());
}

TEST(ScanCountdown, LabelAndBarComeFromTheProgress) {
    const auto t0 = ScanProgress::Clock::time_point{} + Seconds(1000);
    ScanProgress progress;
    progress.start(t0);
    progress.plan("whole", 1.0);
    ScanCountdown countdown;
    countdown.start();
    // Too early to tell: the label keeps its text.
    ScanCountdown::Tick tick = countdown.timerRun(progress, t0 + Seconds(1));
    EXPECT_FALSE(tick.label);
    EXPECT_EQ(tick.bar, 0.0);
    progress.begin("whole", "working");
    progress.advance("whole", 0.2);
    tick = countdown.timerRun(progress, t0 + Seconds(60));
    EXPECT_EQ(tick.label, OptString("Remaining time: 4 minutes 00 seconds"));
    EXPECT_DOUBLE_EQ(tick.bar, 0.2 * ScanCountdown::kBarMaximum);
    progress.advance("whole", 299.0 / 300.0);
    tick = countdown.timerRun(progress, t0 + Seconds(299));
    EXPECT_EQ(tick.label, OptString("Remaining time: 0 minutes 01 seconds"));
    EXPECT_NEAR(tick.bar, 299.0, 1e-9);
    // A hidden bar stays where it was; the label still follows.
    progress.end("whole");
    tick = countdown.timerRun(progress, t0 + Seconds(300), false);
    EXPECT_NEAR(tick.bar, 299.0, 1e-9);
    EXPECT_EQ(tick.label, OptString("Remaining time: 0 minutes 00 seconds"));
    EXPECT_EQ(countdown.ticks(), 4);
    countdown.start();
    EXPECT_EQ(countdown.ticks(), 0);
    EXPECT_EQ(countdown.bar(), 0.0);
    EXPECT_EQ(ScanCountdown::labelText(3725), "Remaining time: 62 minutes 05 seconds");
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

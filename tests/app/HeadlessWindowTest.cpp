#include "app/HeadlessWindow.h"

#include "app/ScanReport.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DatabaseProblem.h"
#include "records/DeviceInfo.h"
#include "records/Photo.h"
#include "records/Video.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

namespace {

std::shared_ptr<Photo> NamedPhoto(const char* name) {
    auto photo = std::make_shared<Photo>();
    photo->setPhotoName(std::string(name));
    return photo;
}

}  // namespace

// The report's rows, in their order, with the record's counts as the scan left them.
TEST(ScanReportTest, RowsFollowTheRecordsCounts) {
    BrimleyAppDelegate record;
    auto device = std::make_shared<DeviceInfo>();
    device->setDeviceName(std::string("Anna's iPhone"));
    record.deviceInfo.set(device);
    record.SMSCount = 118;
    record.DeletedSMSCount = 42;
    record.ContactCount = 44;
    record.DeletedContactCount = 16;
    record.InternetCount = 40;
    record.VideosCount = 1;

    const ScanReport report = ScanReport::fromRecord(record);
    EXPECT_EQ(report.title, "Scan report - Anna's iPhone");
    ASSERT_EQ(report.rows.size(), 9u);
    const char* captions[] = {"Messages", "WhatsApp", "Contacts", "Calls", "Calendar",
                              "Notes",    "Photos",   "Videos",   "Safari"};
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(report.rows[i].caption, captions[i]);
    EXPECT_EQ(report.rows[0].deleted, 42);
    EXPECT_EQ(report.rows[0].existing, 118);
    EXPECT_EQ(report.rows[2].deleted, 16);
    EXPECT_EQ(report.rows[8].deleted, 0);
    EXPECT_EQ(report.rows[8].existing, 40);

    const std::string text = report.text();
    EXPECT_NE(text.find("Scan report - Anna's iPhone\n"), std::string::npos);
    EXPECT_NE(text.find("Messages            42       118\n"), std::string::npos);
    EXPECT_NE(text.find("Videos               0         1\n"), std::string::npos);
}

// A scan of one data type reports that type only; photos and videos are one choice with two rows.
TEST(ScanReportTest, OnlyTheScannedDataTypes) {
    BrimleyAppDelegate record;
    record.CallLogCount = 67;
    record.DeletedCallLogCount = 15;
    const struct {
        DataType scanned;
        std::vector<std::string> captions;
    } cases[] = {
        {DataType::DataTypeCallHistory, {"Calls"}},
        {DataType::DataTypePhotosVideos, {"Photos", "Videos"}},
        {DataType::DataTypeSMS, {"Messages"}},
        {DataType::DataTypeAll,
         {"Messages", "WhatsApp", "Contacts", "Calls", "Calendar", "Notes", "Photos", "Videos",
          "Safari"}},
    };
    for (const auto& c : cases) {
        record.scannedDataType.set(c.scanned);
        const ScanReport report = ScanReport::fromRecord(record);
        std::vector<std::string> captions;
        for (const auto& row : report.rows) captions.push_back(row.caption);
        EXPECT_EQ(captions, c.captions);
    }
    record.scannedDataType.set(DataType::DataTypeCallHistory);
    EXPECT_NE(ScanReport::fromRecord(record).text().find("Calls               15        67\n"),
              std::string::npos);
    EXPECT_EQ(ScanReport::fromRecord(record).text().find("Messages"), std::string::npos);
}

// The headless window prints each status line as the status line would show it, prints the
// report when it is opened, and keeps the photo grid's list as the window would.
TEST(HeadlessWindowTest, PrintsStatusLinesAndTheReport) {
    BrimleyAppDelegate record;
    std::ostringstream out;
    HeadlessWindow window(record, out, {});
    window.updateStatus(0, "SMS");
    window.updateStatus(3, "12 SMS Retreived");
    window.updateStatus(4, "reading notes failed");
    window.updateStatus(9, "not shown");
    window.updateDisplayName("Demo iPhone");
    record.SMSCount = 12;
    record.DeletedSMSCount = 3;
    window.OpenDashboard();

    const std::string text = out.str();
    EXPECT_EQ(
        text.rfind(
            "Retrieving  SMS\n12 SMS Retreived\nError: reading notes failed\nDevice: Demo iPhone\n",
            0),
        0u)
        << text;
    EXPECT_EQ(text.find("not shown"), std::string::npos);
    EXPECT_NE(text.find("Scan completed\n"), std::string::npos);
    EXPECT_NE(text.find("Messages             3        12\n"), std::string::npos);
    EXPECT_EQ(window.reportsShown(), 1);
}

// Text from the backup (the device's name, names in status lines) reaches the terminal
// without control characters and cut to a sane length; damaged databases follow the report.
TEST(HeadlessWindowTest, PrintsTextFromTheBackupCleanAndShort) {
    BrimleyAppDelegate record;
    const std::string hostile = "\x1B]0;owned\x07\x1B[2J" + std::string(1 << 20, 'n');
    auto device = std::make_shared<DeviceInfo>();
    device->setDeviceName(hostile);
    record.deviceInfo.set(device);
    auto problem = std::make_shared<DatabaseProblem>();
    problem->database = "call history database";
    problem->fileName = "5a4935c78a5255723f707230a451d79c540d2741";
    problem->what = "it cannot be read at all (file is not a database)";
    record.DatabaseProblems.append(problem);
    std::ostringstream out;
    HeadlessWindow window(record, out, {});
    window.updateDisplayName(hostile);
    window.updateStatus(0, hostile);
    window.OpenDashboard();

    const std::string text = out.str();
    EXPECT_EQ(text.find('\x1B'), std::string::npos);
    EXPECT_EQ(text.find('\x07'), std::string::npos);
    EXPECT_LT(text.size(), 5000u);
    EXPECT_NE(text.find("Device: ?]0;owned??[2Jnnn"), std::string::npos) << text.substr(0, 300);
    EXPECT_NE(text.find("Damaged databases"), std::string::npos);
    EXPECT_NE(text.find("  call history database (5a4935c78a5255723f707230a451d79c540d2741): it "
                        "cannot be read at all (file is not a database)\n"),
              std::string::npos);
}

TEST(HeadlessWindowTest, ProgressLineCountsWhatWasFoundSoFar) {
    BrimleyAppDelegate record;
    std::ostringstream out;
    HeadlessWindow window(record, out, {true, std::chrono::milliseconds(60000)});
    window.showScreen(ScreenState::ScreenResults);
    record.SMSCount = 10;
    record.ContactCount = 5;
    record.DeletedSMSCount = 2;
    window.updateStatus(3, "Recovering deleted data. Please wait...");
    const std::string line = window.progressLine();
    EXPECT_EQ(line.rfind("[0:0", 0), 0u) << line;
    EXPECT_NE(
        line.find(
            "15 existing and 2 deleted records so far - Recovering deleted data. Please wait..."),
        std::string::npos)
        << line;
    window.stopCountdown();
}

// What the photo grid and the video view show: existing items, then deleted ones.
TEST(HeadlessWindowTest, PhotoBrowserListsAreRebuilt) {
    BrimleyAppDelegate record;
    std::ostringstream out;
    HeadlessWindow window(record, out, {});
    record.Photos.append(NamedPhoto("IMG_1.JPG"));
    record.DeletedPhotos.append(NamedPhoto("IMG_0007.JPG"));
    record.Videos.append(std::make_shared<Video>());
    window.updateDatasource();
    const auto shown = record.AllPhotos.snapshot();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->PhotoName(), "IMG_1.JPG");
    EXPECT_EQ(shown[1]->PhotoName(), "IMG_0007.JPG");
    EXPECT_EQ(record._AllVideos.size(), 1u);
    // Rebuilt, not appended to.
    window.updatePhotosUI();
    EXPECT_EQ(record.AllPhotos.size(), 2u);
}

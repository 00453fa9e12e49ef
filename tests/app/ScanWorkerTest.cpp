#include "app/ScanWorker.h"

#include "RecordingWindow.h"
#include "ScriptedServices.h"
#include "app/AnalyticsEvents.h"
#include "app/BackupDatabaseTable.h"
#include "app/DeviceDetails.h"
#include "app/RecoveryWindowController.h"
#include "app/ScanCountdown.h"
#include "app/StatusLine.h"
#include "common/AppPaths.h"
#include "config/ApplicationConfig.h"
#include "config/LanguageConfig.h"
#include "app/WorkingFolder.h"
#include "demo-backup/DemoBackup.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "records/DeviceInfo.h"
#include "records/Photo.h"
#include "records/SMS.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class RecordingAnalytics final : public AnalyticsEvents {
public:
    void publishMessageEvent(const std::string& name) override { note("message " + name); }
    void PublishButtonEvent(const std::string& name) override { note("button " + name); }
    void publishRatingEvent(const std::string& name, std::int32_t) override {
        note("rating " + name);
    }
    void PublishReportInfosEvent() override { note("report"); }
    void softwareBuildInfo() override { note("build"); }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    void note(std::string e) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// A window that lets a test act when a given status line or screen redraw comes.
class HookedWindow : public RecordingWindow {
public:
    std::function<void(const std::string&)> onStatus;
    std::function<void(TabTag)> onRedraw;
    void updateStatus(std::int32_t code, const std::string& message) override {
        RecordingWindow::updateStatus(code, message);
        if (onStatus) onStatus(message);
    }
    void redrawScreen(TabTag tab) override {
        RecordingWindow::redrawScreen(tab);
        if (onRedraw) onRedraw(tab);
    }
};

std::size_t LiveCount(const std::vector<demo::DemoRow>& rows) {
    return static_cast<std::size_t>(
        std::count_if(rows.begin(), rows.end(), [](const demo::DemoRow& r) { return !r.deleted; }));
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

long IndexOf(const std::vector<std::string>& texts, const std::string& text) {
    const auto found = std::find(texts.begin(), texts.end(), text);
    return found == texts.end() ? -1 : static_cast<long>(found - texts.begin());
}

class ScanWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        demo::DemoBackupOptions small;
        small.messages = 30;
        small.contacts = 16;
        small.calls = 20;
        small.notes = 8;
        small.events = 10;
        small.whatsAppMessages = 20;
        small.visits = 5;
        small.photos = 2;
        contents = demo::WriteDemoBackup(dir / "backup", small);
        record.BACKUP_DIRECTORY.set((dir / "backup").string());
        record._RecoverType = 1;
        record._RecoverMode = 0;
        ASSERT_TRUE(DeviceDetailsReader(record, window).getInfoFromBackup());
        record.servicesMgr.set(services.manager(record));
        record.recoveryWindowController.set(controller);
        record.signatureLoaded.set();
    }

    void scan(DataType type) { worker.ExploreBackupDirectoryWithDataType(dataTypeHolder(type)); }

    testsupport::TempDir dir;
    demo::DemoBackupContents contents;
    BrimleyAppDelegate record;
    HookedWindow window;
    RecordingAnalytics analytics;
    ScriptedServices services;
    WorkingFolder folder{(dir / "work").string()};
    std::shared_ptr<RecoveryWindowController> controller =
        std::make_shared<RecoveryWindowController>(record, window);
    ScanWorker worker{record, window, folder, analytics, CoreConfiguration{}};
};

}  // namespace

// A scan of every type reads each type's live rows in order, each count line counting its own
// type, then runs the deleted records, and ends with the controls back and the report open.
TEST_F(ScanWorkerTest, ReadsEveryTypeThenTheDeletedRecordsThenOpensTheReport) {
    record.DeletedSMSCount = 99;  // left from an earlier scan
    scan(DataType::DataTypeAll);

    const auto lines = window.statusLines();
    const std::vector<std::string> expected = {
        "Retrieving  SMS",
        std::to_string(LiveCount(contents.messages)) + " SMS Retreived",
        "Retrieving  Contacts",
        std::to_string(LiveCount(contents.contacts)) + " Contacts Retreived",
        "Retrieving  Call History",
        std::to_string(LiveCount(contents.calls)) + " CallHistory Retreived",
        "Retrieving  WhatsApp",
        std::to_string(LiveCount(contents.whatsAppMessages)) + " WhatsApp Retreived",
        "Retrieving  Notes",
        std::to_string(LiveCount(contents.notes)) + " Notes Retreived",
        "Retrieving  Calendar",
        std::to_string(LiveCount(contents.events)) + " Calendar Retreived",
        "Recovering deleted data. Please wait...",
    };
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(
        std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(expected.size())),
        expected);
    EXPECT_EQ(services.begun(), 7u);  // every service but the photo library's: a fast scan
    // Every part of the scan has reported its end: the bar is full, nothing is named running.
    EXPECT_EQ(worker.progress().fraction(), 1.0);
    EXPECT_EQ(worker.progress().remainingSeconds(ScanProgress::Clock::now()), 0);
    EXPECT_FALSE(worker.progress().runningStatus());
    EXPECT_EQ(record.SMSContent.size(), LiveCount(contents.messages));
    EXPECT_EQ(record.DeletedSMSCount.load(), 0);
    EXPECT_TRUE(record.hasDoneScan.load());

    const auto calls = window.texts();
    // The results screen is up before the first status line; the report comes last.
    EXPECT_LT(IndexOf(calls, "showScreen 3"), IndexOf(calls, "updateStatus Retrieving  SMS"));
    EXPECT_LT(IndexOf(calls, "restoreControlsAfterScan 1"), IndexOf(calls, "OpenDashboard"));
    EXPECT_GE(IndexOf(calls, "stopCountdown"), 0);
    EXPECT_EQ(analytics.events(), std::vector<std::string>{"report"});
}

// The details of the backup being scanned stay through the scan: its name for the report and
// the export, its iOS version for the database names.
TEST_F(ScanWorkerTest, KeepsTheDetailsOfTheBackupBeingScanned) {
    scan(DataType::DataTypeCallHistory);
    const auto device = record.deviceInfo.get();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->DeviceName(), "Demo iPhone");
    EXPECT_EQ(device->iOSMajorVersion(), 9);
    EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), BackupDatabaseNames::kCallHistory);
    EXPECT_EQ(record.CallLogContent.size(), LiveCount(contents.calls));
}

// Internet history has no live step and no media step: only its deleted-record thread runs.
TEST_F(ScanWorkerTest, InternetHistoryRunsOnlyItsThread) {
    record._RecoverMode = 1;
    scan(DataType::DataTypeInternetHistory);
    for (const auto& line : window.statusLines())
        EXPECT_EQ(line.rfind("Retrieving", 0), std::string::npos) << line;
    EXPECT_EQ(services.log(), (std::vector<std::string>{"internet:begin", "internet:end"}));
    EXPECT_TRUE(record.Photos.empty());
    EXPECT_TRUE(record.SMSContent.empty());
}

// A confirmed stop between two steps skips the rest and the deleted records; the controls come
// back, the countdown stops and the report opens with what was read.
TEST_F(ScanWorkerTest, StopBetweenStepsEndsTheScanWithTheReport) {
    window.onStatus = [&](const std::string& message) {
        if (message.find("Contacts Retreived") != std::string::npos) worker.btnCancleClicked(true);
    };
    scan(DataType::DataTypeAll);

    const auto lines = window.statusLines();
    EXPECT_FALSE(Contains(lines, "Retrieving  Call History"));
    EXPECT_FALSE(Contains(lines, "Recovering deleted data. Please wait..."));
    EXPECT_EQ(services.begun(), 0u);
    EXPECT_EQ(record.ContactContent.size(), LiveCount(contents.contacts));
    const auto calls = window.texts();
    EXPECT_TRUE(Contains(calls, "restoreControlsAfterScan 1"));
    EXPECT_TRUE(Contains(calls, "stopCountdown"));
    EXPECT_TRUE(Contains(calls, "OpenDashboard"));
    EXPECT_EQ(analytics.events(), (std::vector<std::string>{"button Stop Scanning", "report"}));

    // "No" clears the mark; the next scan starts unmarked anyway.
    worker.btnCancleClicked(false);
    EXPECT_FALSE(record.IsCancelFlag.load());
    window.onStatus = {};
    scan(DataType::DataTypeAll);
    EXPECT_EQ(services.begun(), 7u);  // every service but the photo library's: a fast scan
}

// A stop during the deleted-record run cancels its threads; the scan still ends normally.
TEST_F(ScanWorkerTest, StopDuringTheDeletedRecordRun) {
    services.script("notes", ScriptedServices::untilStopped());
    std::jthread stopper([&] {
        ASSERT_TRUE(services.waitUntilBegun(1));
        worker.btnCancleClicked(true);
    });
    scan(DataType::DataTypeNotes);
    stopper.join();
    EXPECT_EQ(services.log(), (std::vector<std::string>{"notes:begin", "notes:stopped"}));
    EXPECT_TRUE(Contains(window.texts(), "OpenDashboard"));
}

// With the older carving path, the bar follows its routines: each one is the running part while
// it carves, the bar is not full before the last work has ended, and it is full once the scan has.
TEST_F(ScanWorkerTest, OlderCarvingPathFillsTheBarWhenItsWorkEnds) {
    controller->setLegacyCarving(true);
    // The routines of the demo backup's iOS version, in the order they run.
    const std::vector<std::string> routines = {
        "Recovering Notes...", "Recovering CallHistory...", "Recovering WhatsApp message... ",
        "Recovering Messages & iMessages...", "Recovering Calendar... "};
    struct Seen {
        std::string line;
        double fraction;
        OptString running;
    };
    std::vector<Seen> seen;
    window.onStatus = [&](const std::string& message) {
        if (Contains(routines, message))
            seen.push_back({message, worker.progress().fraction(), worker.progress().runningStatus()});
    };
    scan(DataType::DataTypeAll);

    ASSERT_EQ(seen.size(), routines.size());
    double before = 0.0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(seen[i].line);
        EXPECT_EQ(seen[i].line, routines[i]);
        EXPECT_EQ(seen[i].running, routines[i]);
        EXPECT_LT(seen[i].fraction, 1.0);
        EXPECT_GE(seen[i].fraction, before);
        before = seen[i].fraction;
    }
    // Only the types the older path has no routine for went to their services, and of those a
    // fast scan leaves the photo library alone.
    EXPECT_EQ(services.begun(), 1u);
    EXPECT_EQ(worker.progress().fraction(), 1.0);
    EXPECT_EQ(worker.progress().remainingSeconds(ScanProgress::Clock::now()), 0);
    EXPECT_FALSE(worker.progress().runningStatus());
}

// A failure inside the older carving path ends that path only: it is said on the status line,
// the services of the types it has no routine for still run, and the bar is full at the end.
TEST_F(ScanWorkerTest, AFailingOlderCarvingPathLeavesTheOtherServicesToRun) {
    controller->setLegacyCarving(true);
    window.onStatus = [](const std::string& message) {
        if (message == "Recovering Notes...") throw std::runtime_error("the window broke");
    };
    scan(DataType::DataTypeAll);

    const auto lines = window.statusLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("the window broke") != std::string::npos;
    }));
    EXPECT_EQ(services.begun(), 1u);  // the internet history; a fast scan reads no photo library
    EXPECT_EQ(worker.progress().fraction(), 1.0);
    EXPECT_TRUE(Contains(window.texts(), "OpenDashboard"));
}

// A step that throws is reported with an error line and ends only itself: the next steps run,
// the controls come back and the report opens.
TEST_F(ScanWorkerTest, AFailingStepIsReportedAndTheScanGoesOn) {
    window.onRedraw = [](TabTag tab) {
        if (tab == TabTag::TabTagSMS) throw std::runtime_error("the messages screen broke");
    };
    scan(DataType::DataTypeAll);

    const auto lines = window.statusLines();
    const long error = IndexOf(lines, "Error: reading messages failed: the messages screen broke");
    ASSERT_GE(error, 0);
    EXPECT_GT(IndexOf(lines, "Retrieving  Contacts"), error);
    EXPECT_EQ(services.begun(), 7u);  // every service but the photo library's: a fast scan
    const auto calls = window.texts();
    EXPECT_TRUE(Contains(calls, "restoreControlsAfterScan 1"));
    EXPECT_TRUE(Contains(calls, "OpenDashboard"));
}

// Every scan starts from nothing: a second scan lists each row once.
TEST_F(ScanWorkerTest, ASecondScanStartsFromNothing) {
    scan(DataType::DataTypeAll);
    scan(DataType::DataTypeAll);
    EXPECT_EQ(record.SMSContent.size(), LiveCount(contents.messages));
    EXPECT_EQ(record.AllSMSContent.size(), LiveCount(contents.messages));
    EXPECT_EQ(record.ContactContent.size(), LiveCount(contents.contacts));
}

// clearData empties every result and forgets the device, its iOS version included, but keeps
// the backup folder; the working folder is emptied.
TEST_F(ScanWorkerTest, ClearDataEmptiesResultsAndDeviceDetails) {
    record._RecoverMode = 1;
    scan(DataType::DataTypeAll);
    ASSERT_FALSE(record.SMSContent.empty());
    ASSERT_FALSE(record.Photos.empty());
    record.DeletedSMS.append(std::make_shared<SMS>());
    record.InternetContent.append(nullptr);
    std::ofstream(folder.path() + "/stray.tmp") << "x";

    worker.clearData();

    EXPECT_TRUE(record.SMSContent.empty());
    EXPECT_TRUE(record.DeletedSMS.empty());
    EXPECT_TRUE(record.AllSMSContent.empty());
    EXPECT_TRUE(record.ContactContent.empty());
    EXPECT_TRUE(record.NotesContent.empty());
    EXPECT_TRUE(record.InternetContent.empty());
    EXPECT_TRUE(record.Photos.empty());
    EXPECT_TRUE(record.AllPhotos.empty());
    EXPECT_EQ(record.SMSCount.load(), 0);
    EXPECT_EQ(record.ContactCount.load(), 0);
    EXPECT_EQ(record.PhotosCount.load(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), (dir / "backup").string());

    const auto device = record.deviceInfo.get();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->DeviceName(), "");
    EXPECT_EQ(device->UniqueDeviceID(), "");
    EXPECT_EQ(device->ProductVersion(), "");
    EXPECT_EQ(device->iOSMajorVersion(), 0);
    EXPECT_EQ(device->iOSMinorVersion(), 0);
    EXPECT_FALSE(device->isEncrypted());
    const auto calls = window.texts();
    EXPECT_TRUE(Contains(calls, "clearScreens"));
    EXPECT_TRUE(Contains(calls, "updateDisplayName "));

    // A backup read next without a version does not inherit the old one's database names.
    setupDataBase(record);
    EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), BackupDatabaseNames::kCallHistoryBeforeIOS8);
}

// Started on a thread of its own, as the home screen does; one scan at a time.
TEST_F(ScanWorkerTest, StartsOnAThreadOfItsOwnOneAtATime) {
    services.script("calendar", ScriptedServices::untilStopped());
    std::atomic<bool> ended{false};
    ASSERT_TRUE(worker.start(std::make_shared<dataTypeHolder>(DataType::DataTypeCalendar),
                             [&] { ended = true; }));
    ASSERT_TRUE(services.waitUntilBegun(1));
    EXPECT_TRUE(worker.isRunning());
    EXPECT_FALSE(worker.start(std::make_shared<dataTypeHolder>(DataType::DataTypeAll)));
    worker.btnCancleClicked(true);
    worker.wait();
    EXPECT_TRUE(ended.load());
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(services.log(), (std::vector<std::string>{"calendar:begin", "calendar:stopped"}));
}

namespace {

// Loads a shipped language file into the application's texts; English again when it goes.
class ChosenLanguage {
public:
    explicit ChosenLanguage(const std::string& language) { load(language); }
    ~ChosenLanguage() { load("English"); }

private:
    static void load(const std::string& language) {
        ApplicationConfig config;
        config.languageFileName = "TM640R-" + language;
        LanguageConfig::sharedObject().loadConfig(config, AppPaths::resourcesDirectory());
    }
};

}  // namespace

// The status lines of a scan, the count lines and the remaining time are in the chosen
// language: no English text of the scan's own reaches a German window.
TEST_F(ScanWorkerTest, TheStatusLinesOfAScanAreInTheChosenLanguage) {
    const ChosenLanguage chosen("Deutsch");
    scan(DataType::DataTypeAll);
    const auto lines = window.statusLines();
    for (const char* german : {"Wird gelesen: SMS", "Wird gelesen: Kontakte", "Wird gelesen: Anrufliste",
                               "Gelöschte Daten werden wiederhergestellt. Bitte warten...",
                               "Gelöschte Kontakte werden wiederhergestellt..."})
        EXPECT_TRUE(Contains(lines, german)) << german;
    EXPECT_TRUE(Contains(lines, std::to_string(LiveCount(contents.calls)) + " Anrufe gelesen"));
    for (const std::string& line : lines)
        for (const char* english : {"Retrieving", "Retreived", "Recovering", "Please wait", "Contacts"})
            EXPECT_EQ(line.find(english), std::string::npos) << line;

    const struct {
        std::int32_t code;
        std::string message;
        std::string shown;
    } cases[] = {
        {1, "Photos & Videos... ", "Wird wiederhergestellt: Fotos & Videos... "},
        {2, "", "Wiederherstellung\u2026 dies kann einige Minuten dauern."},
        {3, "IMG_0001.JPG", "IMG_0001.JPG"},
        {4, "the disk is full", "Fehler: the disk is full"},
    };
    for (const auto& c : cases) EXPECT_EQ(StatusLineText(c.code, c.message), c.shown) << c.code;
    EXPECT_EQ(ScanCountdown::labelText(125), "Verbleibende Zeit: 2 Minuten 05 Sekunden");
}

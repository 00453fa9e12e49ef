// The device half of the core through the device simulator and the stand-in backup tool: the
// device details, the device callbacks and entry actions, and the backup before a scan.

#include "RecordingWindow.h"
#include "app/AnalyticsEvents.h"
#include "app/ApplicationCore.h"
#include "app/DeviceBackup.h"
#include "app/DeviceDetails.h"
#include "app/DeviceRecoveryFlow.h"
#include "app/HeadlessDispatcher.h"
#include "app/ScanWorker.h"
#include "demo-backup/DemoBackup.h"
#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/SMS.h"
#include "support/BackupBuilder.h"
#include "support/DeviceSimulator.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUdid = "a7b6c5d4e3f2a1b0c9d8e7f6a5b4c3d2e1f0a9b8";

SimulatedDevice Phone(const std::string& udid = kUdid, std::optional<std::string> name = "Clara's iPhone") {
    SimulatedDevice phone;
    phone.udid = udid;
    phone.values = {{"UniqueDeviceID", udid},
                    {"ProductVersion", "10.3.1"},
                    {"ProductType", "iPhone9,3"},
                    {"SerialNumber", "DNPT1234HG7F"},
                    {"FirmwareVersion", "iBoot-3406"},
                    {"PhoneNumber", "+49 171 5550101"},
                    {"InternationalMobileEquipmentIdentity", "359876543210987"}};
    if (name) phone.values["DeviceName"] = *name;
    return phone;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class RecordingAnalytics final : public AnalyticsEvents {
public:
    void publishMessageEvent(const std::string& name) override {
        std::lock_guard lock(mutex);
        messages.push_back(name);
    }
    void PublishButtonEvent(const std::string&) override {}
    void publishRatingEvent(const std::string&, std::int32_t) override {}
    void PublishReportInfosEvent() override {}
    void softwareBuildInfo() override {}
    std::mutex mutex;
    std::vector<std::string> messages;
};

class DeviceFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulator.setEnvironment();
        dir = fs::temp_directory_path() / ("torvane-deviceflow-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "work");
        mobileSync = dir / "MobileSync" / "Backup";
        ::setenv("TORVANE_STANDIN_LOG", (dir / "tool.log").c_str(), 1);
        ::unsetenv("TORVANE_STANDIN_SOURCE");
        ::unsetenv("TORVANE_STANDIN_STATUSES");
        ::unsetenv("TORVANE_STANDIN_HANG");
        mainThread = std::thread([this] { dispatcher.run(); });
    }

    void TearDown() override {
        onMain([&] { flow.reset(); });
        if (core) core->scanWorker().wait();
        dispatcher.stop();
        mainThread.join();
        core.reset();
        fs::remove_all(dir);
    }

    // Starts the core and the device flow as start-up does, and plugs the phone in.
    void start(std::optional<SimulatedDevice> phone = Phone()) {
        CoreConfiguration configuration = CoreConfiguration::defaults();
        configuration.backupTool = backupTool;
        configuration.mobileSyncFolder = mobileSync.string();
        core.emplace(record, dispatcher, window, analytics, configuration, (dir / "work").c_str());
        flow.emplace(*core, record, dispatcher, analytics, [this] { scansEnded++; });
        onMain([&] {
            core->applicationDidFinishLaunching();
            flow->listenForDevices(std::make_shared<MobileDeviceAccess>());
        });
        core->waitForSignatures();
        if (phone) {
            const bool named = phone->values.count("DeviceName") > 0;
            simulator.attach(*phone);
            ASSERT_TRUE(WaitFor([&] { return named ? record.isDeviceConnected.load() : !record.MobileDevice.get()->devices().empty(); }));
        }
    }

    void onMain(const std::function<void()>& work) { dispatcher.postAndWait(work); }

    // A backup the stand-in tool copies into place; `withInfo` false leaves out Info.plist.
    void prepareBackup(bool withInfo = true) {
        const fs::path source = dir / "source";
        demo::DemoBackupOptions small;
        small.messages = 12;
        small.contacts = 6;
        small.calls = 8;
        small.notes = 3;
        small.events = 4;
        demo::WriteDemoBackup(source, small);
        if (!withInfo) fs::remove(source / "Info.plist");
        ::setenv("TORVANE_STANDIN_SOURCE", source.c_str(), 1);
    }

    std::vector<std::string> toolRuns() const {
        std::vector<std::string> lines;
        std::ifstream in(dir / "tool.log");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    DeviceSimulator simulator;
    std::string backupTool = TORVANE_STANDIN_BACKUP;
    fs::path dir, mobileSync;
    HeadlessDispatcher dispatcher;
    std::thread mainThread;
    BrimleyAppDelegate record;
    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();
    RecordingAnalytics analytics;
    std::optional<ApplicationCore> core;
    std::optional<DeviceRecoveryFlow> flow;
    std::atomic<int> scansEnded{0};
};

// ---- Device details ----

TEST_F(DeviceFlowTest, TheDevicesLockdownValuesFillTheRecord) {
    start();
    // An earlier backup of the device, encrypted.
    testsupport::BackupBuilder earlier(mobileSync / kUdid);
    testsupport::DeviceDetails details;
    details.isEncrypted = true;
    earlier.writePlists(details);

    bool usable = false;
    onMain([&] { usable = core->deviceDetails().getInfoFromDevice(mobileSync.string()); });
    ASSERT_TRUE(usable);
    const auto info = record.deviceInfo.get();
    EXPECT_EQ(info->DeviceName(), "Clara's iPhone");
    EXPECT_EQ(info->ProductVersion(), "10.3.1");
    EXPECT_EQ(info->iOSMajorVersion(), 10);
    EXPECT_EQ(info->iOSMinorVersion(), 3);
    EXPECT_EQ(info->SerialNumber(), "DNPT1234HG7F");
    EXPECT_EQ(info->PhoneNumber(), "+49 171 5550101");
    EXPECT_EQ(info->IMEI(), "359876543210987");
    EXPECT_EQ(info->IMSI(), "");  // a missing identity keeps its empty value
    EXPECT_FALSE(info->DisplayName() && !info->DisplayName()->empty());
    EXPECT_TRUE(info->Connected());
    EXPECT_TRUE(info->isEncrypted());
    EXPECT_TRUE(info->knownIfEncrypted());
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), (mobileSync / kUdid).string());
    EXPECT_EQ(info->BackupLocation(), (mobileSync / kUdid).string());
    EXPECT_EQ(record.mDevice.get()->udid(), kUdid);
    EXPECT_FALSE(record.deviceInfoBackup.get());
    EXPECT_TRUE(Contains(window->texts(), "updateDisplayName Clara's iPhone"));
}

TEST_F(DeviceFlowTest, AnUpperCaseIdentifierNamesTheLowerCaseFolder) {
    start(Phone("00008030-001A2B3C4D5E6F70"));
    onMain([&] { EXPECT_TRUE(core->deviceDetails().getInfoFromDevice(mobileSync.string())); });
    EXPECT_EQ(record.deviceInfo.get()->UniqueDeviceID(), "00008030-001a2b3c4d5e6f70");
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), (mobileSync / "00008030-001a2b3c4d5e6f70").string());
    // A folder the backup tool named as the device spells it is found as well.
    fs::create_directories(mobileSync / "00008030-001A2B3C4D5E6F70");
    onMain([&] { core->deviceDetails().getInfoFromDevice(mobileSync.string()); });
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), (mobileSync / "00008030-001A2B3C4D5E6F70").string());
}

TEST_F(DeviceFlowTest, ALockedDeviceGivesNoDetails) {
    SimulatedDevice locked = Phone();
    locked.locked = true;
    start(locked);
    record.BACKUP_DIRECTORY.set("/earlier/backup");
    bool usable = true;
    onMain([&] { usable = core->deviceDetails().getInfoFromDevice(mobileSync.string()); });
    EXPECT_FALSE(usable);
    EXPECT_FALSE(record.deviceInfo.get()->SerialNumber());
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), "/earlier/backup");
}

TEST_F(DeviceFlowTest, WithoutADeviceTheBackupIsRead) {
    start(std::nullopt);
    record.BACKUP_DIRECTORY.set("/earlier/backup");
    bool usable = true;
    onMain([&] { usable = core->deviceDetails().getInfoFromDevice(mobileSync.string()); });
    EXPECT_FALSE(usable);
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), "/earlier/backup");

    testsupport::BackupBuilder backup(dir / "folder");
    backup.writePlists();
    record.BACKUP_DIRECTORY.set((dir / "folder").string());
    onMain([&] { usable = core->deviceDetails().getInfoFromDeviceOrBackup(mobileSync.string()); });
    EXPECT_TRUE(usable);
    EXPECT_EQ(record.deviceInfo.get()->DeviceName(), "Test iPhone");
    EXPECT_FALSE(record.deviceInfo.get()->knownIfEncrypted());
    EXPECT_FALSE(record.deviceInfoBackup.get());
}

// ---- Device callbacks and entry actions ----

TEST_F(DeviceFlowTest, ArrivalAndDepartureKeepTheConnectionState) {
    start();
    EXPECT_TRUE(Contains(window->texts(), "deviceConnected"));
    EXPECT_EQ(record.mDevice.get()->deviceName(), "Clara's iPhone");
    record.deviceInfo.set(std::make_shared<DeviceInfo>());
    onMain([&] {
        auto info = std::make_shared<DeviceInfo>();
        info->setConnected(true);
        record.deviceInfo.set(info);
    });
    simulator.detach(kUdid);
    ASSERT_TRUE(WaitFor([&] { return !record.isDeviceConnected.load(); }));
    EXPECT_EQ(record.RecoverType.load(), 1);
    EXPECT_FALSE(record.deviceInfo.get()->Connected());
    EXPECT_FALSE(record.mDevice.get());
    EXPECT_TRUE(Contains(window->texts(), "deviceDisconnected"));
}

TEST_F(DeviceFlowTest, ADeviceWithoutANameChangesNothing) {
    start(Phone("9999999999999999999999999999999999999999", std::nullopt));
    onMain([] {});
    EXPECT_FALSE(record.isDeviceConnected.load());
    EXPECT_FALSE(record.mDevice.get());
    simulator.detach("9999999999999999999999999999999999999999");
    ASSERT_TRUE(WaitFor([&] { return record.MobileDevice.get()->devices().empty(); }));
    EXPECT_EQ(record.RecoverType.load(), 0);
    EXPECT_FALSE(Contains(window->texts(), "deviceConnected"));
}

TEST_F(DeviceFlowTest, ANewScanClearsTheResultsBeforeTheHomeScreen) {
    start();
    record.AllSMSContent.append(std::make_shared<SMS>());
    record.SMSCount = 1;
    record.hasDoneScan = true;
    const std::size_t before = window->texts().size();
    onMain([&] { flow->homeDevicePressed(); });
    onMain([] {});
    EXPECT_TRUE(record.AllSMSContent.empty());
    EXPECT_EQ(record.SMSCount.load(), 0);
    EXPECT_FALSE(record.hasDoneScan.load());
    const auto texts = window->texts();
    const std::vector<std::string> after(texts.begin() + static_cast<long>(before), texts.end());
    EXPECT_EQ(after.front(), "hideImageView");
    EXPECT_TRUE(Contains(after, "showScreen 4"));
    EXPECT_EQ(after.back(), "returnMainScreen");

    onMain([&] { flow->homeBackupPressed(); });
    onMain([] {});
    EXPECT_EQ(window->texts().back(), "recoverFromMac");
}

TEST_F(DeviceFlowTest, NoDeviceNoBackup) {
    start(std::nullopt);
    bool started = true;
    onMain([&] { started = flow->DeviceRecovery(1); });
    onMain([] {});
    EXPECT_FALSE(started);
    EXPECT_TRUE(Contains(window->texts(), "runAlert Device not Found, please Reconnect [Close]"));
    EXPECT_TRUE(toolRuns().empty());
}

// ---- The device backup ----

TEST_F(DeviceFlowTest, ASuccessfulBackupIsScannedWithTheRequestedType) {
    prepareBackup();
    start();
    record.holder.set(std::make_shared<dataTypeHolder>(DataType::DataTypeSMS));
    onMain([&] { EXPECT_TRUE(flow->DeviceRecovery(0)); });
    ASSERT_TRUE(WaitFor([&] { return scansEnded.load() == 1; }));

    const auto runs = toolRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].rfind("--udid " + std::string(kUdid) + " backup --full " + mobileSync.string() + " ", 0), 0u)
        << runs[0];
    const auto texts = window->texts();
    EXPECT_TRUE(Contains(texts, "backUpFromDeviceComplete"));
    EXPECT_TRUE(Contains(texts, "showScreen 2"));
    EXPECT_TRUE(Contains(window->statusLines(), "Backing up the device: 50%"));
    EXPECT_EQ(record.BACKUP_DIRECTORY.get(), (mobileSync / kUdid).string());
    EXPECT_EQ(record.deviceInfo.get()->BackupLocation(), (mobileSync / kUdid).string());
    EXPECT_GT(record.SMSCount.load(), 0);
    EXPECT_EQ(record.ContactCount.load(), 0);  // only the requested type
    std::lock_guard lock(analytics.mutex);
    EXPECT_TRUE(Contains(analytics.messages, "DeviceBackup [DeviceBackupSucess,0]"));
}

TEST_F(DeviceFlowTest, StatusOneAsksForThePasscodeAndRetries) {
    prepareBackup();
    ::setenv("TORVANE_STANDIN_STATUSES", "1,0", 1);
    start();
    onMain([&] { flow->DeviceRecovery(0); });
    const std::string question = std::string("runAlert ") + DeviceBackup::kPasscodeQuestion + " [Cancel|Ok]";
    ASSERT_TRUE(WaitFor([&] { return Contains(window->texts(), question); }));
    EXPECT_EQ(scansEnded.load(), 0);
    onMain([&] { window->answerAlert(1); });
    ASSERT_TRUE(WaitFor([&] { return scansEnded.load() == 1; }));
    EXPECT_EQ(toolRuns().size(), 2u);
    EXPECT_EQ(flow->deviceBackup().launches(), 2);
}

TEST_F(DeviceFlowTest, CancelAtThePasscodeQuestionReturnsHome) {
    prepareBackup();
    ::setenv("TORVANE_STANDIN_STATUSES", "1", 1);
    start();
    onMain([&] { flow->DeviceRecovery(0); });
    ASSERT_TRUE(WaitFor([&] { return !window->texts().empty() && window->texts().back().rfind("runAlert Please", 0) == 0; }));
    onMain([&] { window->answerAlert(0); });
    onMain([] {});
    // The home screen, ready for another start; no results screen without a scan.
    const auto texts = window->texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "showScreen 4");
    EXPECT_EQ(texts.back(), "returnMainScreen");
    EXPECT_FALSE(Contains(texts, "showScreen 3"));
    EXPECT_EQ(toolRuns().size(), 1u);
    EXPECT_EQ(scansEnded.load(), 0);
}

// A tool that fails, whether it wrote part of the backup or could not even start, leaves
// nothing that may be scanned as a whole backup.
struct FailedBackupCase {
    const char* name;
    bool toolStarts;
    const char* status;
};

class FailedBackupTest : public DeviceFlowTest, public ::testing::WithParamInterface<FailedBackupCase> {};

TEST_P(FailedBackupTest, IsReportedAndNotScanned) {
    prepareBackup();
    // Only the two description files reach the folder, as when the phone is unplugged midway.
    for (const auto& entry : fs::directory_iterator(dir / "source"))
        if (entry.path().filename() != "Info.plist" && entry.path().filename() != "Manifest.plist")
            fs::remove_all(entry.path());
    ::setenv("TORVANE_STANDIN_STATUSES", GetParam().status, 1);
    if (!GetParam().toolStarts) backupTool = (dir / "no-such-tool").string();
    start();
    onMain([&] { EXPECT_TRUE(flow->DeviceRecovery(1)); });
    const std::string alert = std::string("runAlert ") + DeviceBackup::kBackupFailedMessage + " [Close]";
    ASSERT_TRUE(WaitFor([&] { return Contains(window->texts(), alert); }));
    onMain([&] { window->answerAlert(0); });
    onMain([] {});
    const auto texts = window->texts();
    EXPECT_FALSE(Contains(texts, "backUpFromDeviceComplete"));
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "showScreen 4");
    EXPECT_EQ(texts.back(), "returnMainScreen");
    EXPECT_FALSE(Contains(texts, "showScreen 3"));
    EXPECT_FALSE(core->scanWorker().isRunning());
    EXPECT_EQ(scansEnded.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedBackupTest,
                         ::testing::Values(FailedBackupCase{"Status255AfterTheDescriptionFiles", true, "255"},
                                           FailedBackupCase{"Status3AtOnce", true, "3"},
                                           FailedBackupCase{"ToolCannotStart", false, "0"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(DeviceFlowTest, AMissingDescriptionFileAsksBeforeScanning) {
    prepareBackup(false);
    start();
    record.holder.set(std::make_shared<dataTypeHolder>(DataType::DataTypeCallHistory));
    const auto holder = record.holder.get();
    onMain([&] { flow->DeviceRecovery(0); });
    const std::string question = std::string("runAlert ") + DeviceBackup::kMissingFilesQuestion + " [Yes|No]";
    ASSERT_TRUE(WaitFor([&] { return Contains(window->texts(), question); }));
    // "No": back to the home screen, and nothing is scanned.
    const std::size_t before = window->texts().size();
    onMain([&] { window->answerAlert(1); });
    onMain([] {});
    const auto afterNo = window->texts();
    EXPECT_EQ(std::vector<std::string>(afterNo.begin() + static_cast<long>(before), afterNo.end()),
              (std::vector<std::string>{"showScreen 4", "returnMainScreen"}));
    EXPECT_FALSE(core->scanWorker().isRunning());

    // Again, and "Yes": the scan runs on the backup as it is, with the home screen's holder.
    onMain([&] { flow->DeviceRecovery(0); });
    ASSERT_TRUE(WaitFor([&] {
        const auto texts = window->texts();
        return std::count(texts.begin(), texts.end(), question) == 2;
    }));
    onMain([&] { window->answerAlert(0); });
    ASSERT_TRUE(WaitFor([&] { return scansEnded.load() == 1; }));
    EXPECT_EQ(record.holder.get(), holder);
    EXPECT_GT(record.CallLogCount.load(), 0);
}

TEST_F(DeviceFlowTest, OneBackupAtATimeAndARunningOneIsStoppedAtTheEnd) {
    ::setenv("TORVANE_STANDIN_HANG", "1", 1);
    start();
    onMain([&] { flow->deviceBackup().BackupAgent(kUdid); });
    ASSERT_TRUE(WaitFor([&] { return toolRuns().size() == 1; }));
    onMain([&] { flow->deviceBackup().BackupAgent("another"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(toolRuns().size(), 1u);
    EXPECT_TRUE(flow->deviceBackup().isRunning());
    const std::string line = toolRuns()[0];
    const pid_t pid = std::stoi(line.substr(line.rfind("pid ") + 4));
    onMain([&] { flow.reset(); });
    EXPECT_NE(::kill(pid, 0), 0);  // stopped and collected
}

}  // namespace

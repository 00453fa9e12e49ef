#include "RecordingAnalytics.h"
#include "RecordingWindow.h"
#include "app/ApplicationCore.h"
#include "app/HeadlessDispatcher.h"
#include "app/MixPanelEvents.h"
#include "records/BrimleyAppDelegate.h"
#include "support/FixtureDatabase.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/Base64.h"

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class NotingUser final : public UpdateUser {
public:
    explicit NotingUser(HeadlessDispatcher& dispatcher) : dispatcher_(dispatcher) {}
    void newVersionAvailable(const std::string& version, const OptString&) override {
        told.push_back(version);
        dispatcher_.stop();
    }
    void showAlert(const std::string&) override {}
    bool askToUpdate(const std::string&) override { return false; }
    void openInBrowser(const std::string&) override {}
    std::vector<std::string> told;  // main thread only

private:
    HeadlessDispatcher& dispatcher_;
};

// Start-up loads the configuration first, starts the update check, sends the build event and
// the crash report an earlier run left, and tells the user of a newer version.
TEST(ApplicationStartupTest, TheStepsThatTheConfigurationOwns) {
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir / "state");
    std::ofstream(dir / "state" / "crash-1700000000-42.txt")
        << "Torvane ended on a fatal signal.\nsignal: 11 (SIGSEGV)\n";

    BrimleyAppDelegate record;
    HeadlessDispatcher dispatcher;
    auto window = std::make_shared<RecordingWindow>();
    NotingAnalytics analytics;
    NotingUser user(dispatcher);
    std::atomic<int> screensBeforeLoading{-1};

    StartupServices services;
    services.loadConfiguration = [&] {
        screensBeforeLoading = static_cast<int>(window->texts().size());
        CoreConfiguration loaded;
        loaded.applicationVersion = "9.9.0.0";
        loaded.supportUrl = "https://support.torvane.dev/";
        return loaded;
    };
    services.updateUser = &user;
    services.publishedVersion = [](std::stop_token) { return std::string("9.10.0.0"); };
    services.crashReportDirectory = (dir / "state").string();
    {
        ApplicationCore core(record, dispatcher, window, analytics, CoreConfiguration::defaults(),
                             (dir / "work").string().c_str(), services);
        dispatcher.post([&] { core.applicationDidFinishLaunching(); });
        std::jthread watchdog([&](std::stop_token stop) {
            for (int i = 0; i < 200 && !stop.stop_requested(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            dispatcher.stop();
        });
        dispatcher.run();
        core.waitForSignatures();
        EXPECT_NE(core.updateCheck(), nullptr);
    }
    EXPECT_EQ(screensBeforeLoading.load(), 0);
    EXPECT_EQ(record.Version.get(), "TM640R v9.9.0.0");
    EXPECT_EQ(record.SupportURL.get(), "https://support.torvane.dev/");
    EXPECT_EQ(user.told, std::vector<std::string>{"9.10.0.0"});
    EXPECT_EQ(
        analytics.events(),
        (std::vector<std::string>{"build info", std::string("crash ") +
                                                    "UncaughtExceptionHandlerSignalExceptionName" +
                                                    ": Signal 11 was raised."}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "state"));
}

// The core's events as the analytics service receives them: the scan's counts from the record
// and the device's iOS version.
TEST(MixPanelEventsTest, CountsAndDeviceComeFromTheRecord) {
    testsupport::LoopbackHttpServer server;
    server.answer(200, "1");
    BrimleyAppDelegate record;
    record.DeletedSMSCount = 3;
    record.PhotosCount = 8;
    auto device = std::make_shared<DeviceInfo>();
    device->setIOSMajorVersion(12);
    device->setIOSMinorVersion(4);
    record.deviceInfo.set(device);
    {
        mixPanel::Options options;
        ApplicationConfig config;
        config.currentAppProductType = 2;
        config.analyticsEnabled = true;
        config.analyticsUrl = server.address();
        options.configuration = [config] { return config; };
        options.allowedByEnvironment = true;
        options.macAddress = [] { return OptString(); };
        MixPanelEvents events(record, options);
        events.PublishReportInfosEvent();
        events.softwareBuildInfo();
        events.flush();
    }
    ASSERT_TRUE(server.waitForRequests(2));
    std::vector<nlohmann::json> sent;
    for (const std::string& target : server.requestTargets()) {
        const std::string data =
            target.substr(target.find('=') + 1, target.rfind(';') - target.find('=') - 1);
        sent.push_back(nlohmann::json::parse(Base64::base64DecodedString(data).value_or("")));
    }
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0]["event"], "Recovery Info2");
    EXPECT_EQ(sent[0]["properties"]["Messages recovered"], 3);
    EXPECT_EQ(sent[0]["properties"]["phot retrieved"], 8);
    EXPECT_EQ(sent[0]["properties"]["distinct_id"], "unknown ID");
    EXPECT_EQ(sent[1]["event"], "Software Build Info");
    EXPECT_EQ(sent[1]["properties"]["ios_version"], "12.4");
    EXPECT_FALSE(sent[1]["properties"]["OS version"].get<std::string>().empty());
}

}  // namespace

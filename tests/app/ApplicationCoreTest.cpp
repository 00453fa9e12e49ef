#include "app/ApplicationCore.h"

#include "RecordingWindow.h"
#include "app/AnalyticsEvents.h"
#include "app/BackupDatabaseTable.h"
#include "app/HeadlessDispatcher.h"
#include "app/RecoveryWindowController.h"
#include "carving/SqLiteTableSignatures.h"
#include "config/HostNetworkIdentity.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/ServicesManager.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Start-up's headless steps: the shared objects come into being, the signatures are loaded
// on a thread of their own and signatureLoaded follows, and the window sees the loading
// screen and then the home screen.
TEST(ApplicationCoreTest, StartUpBringsTheSharedObjectsIntoBeing) {
    testsupport::TempDir dir;
    BrimleyAppDelegate record;
    record.signatureLoaded.set();  // a value of before start-up, which start-up clears
    record.hasDoneScan = true;
    record.Photos.append(nullptr);
    HeadlessDispatcher dispatcher;
    auto window = std::make_shared<RecordingWindow>();
    NoAnalytics analytics;
    CoreConfiguration configuration;
    configuration.applicationVersion = "1.2.3";
    configuration.supportUrl = "https://support.example.com/";
    {
        ApplicationCore core(record, dispatcher, window, analytics, configuration,
                             (dir / "work").string().c_str());
        dispatcher.post([&] {
            core.applicationDidFinishLaunching();
            dispatcher.stop();
        });
        dispatcher.run();
        core.waitForSignatures();

        EXPECT_TRUE(record.signatureLoaded.isSet());
        const auto signatures = record.recoverySignatures.get();
        ASSERT_NE(signatures, nullptr);
        EXPECT_TRUE(signatures->loaded());
        EXPECT_FALSE(signatures->tableSignatures().empty());

        ASSERT_NE(record.servicesMgr.get(), nullptr);
        ASSERT_NE(record.recoveryWindowController.get(), nullptr);
        ASSERT_NE(record.holder.get(), nullptr);
        EXPECT_EQ(record.holder.get()->dataType(), DataType::DataTypeAll);
        ASSERT_NE(record.deviceInfo.get(), nullptr);
        EXPECT_EQ(record.deviceInfo.get()->iOSMajorVersion(), 0);
        EXPECT_EQ(record.Version.get(), "TM640R v1.2.3");
        EXPECT_EQ(record.ProductName.get(), "Torvane");
        EXPECT_EQ(record.SupportURL.get(), "https://support.example.com/");
        EXPECT_EQ(record.appIdentifier.get(), "QW3R8TZ5XK");
        // The build event's host address: the last of the host's interface addresses.
        const std::vector<std::string> addresses = interfaceUtil::getInterfaces();
        EXPECT_EQ(record.ipAddress.get(), addresses.empty() ? std::string() : addresses.back());
        EXPECT_EQ(record.bundleIdentifiers.get(),
                  (std::vector<std::string>{"QW3R8TZ5XK", "Quorran.Retrieve"}));
        EXPECT_FALSE(record.hasDoneScan.load());
        EXPECT_TRUE(record.Photos.empty());
        // No backup is known yet: the names of an unknown iOS version.
        EXPECT_EQ(record.WHATSAPP_DATABASE.get(), BackupDatabaseNames::kWhatsAppFallback);
        EXPECT_EQ(record.CALLHISTORY_DATABASE.get(), BackupDatabaseNames::kCallHistoryBeforeIOS8);
        // The recovery threads reach the window through the dispatcher.
        EXPECT_NE(record.window(), nullptr);
        EXPECT_EQ(window->texts(), (std::vector<std::string>{"showScreen 1", "showScreen 4"}));
        EXPECT_EQ(record.PresentScreen.load(), 4);
    }
    // The core takes its window and its run controller with it.
    EXPECT_EQ(record.window(), nullptr);
    EXPECT_EQ(record.recoveryWindowController.get(), nullptr);
}

// An edition without a version label leaves Version unset.
TEST(CoreConfigurationTest, VersionLabelByEdition) {
    CoreConfiguration c;
    c.applicationVersion = "2.0";
    EXPECT_EQ(c.versionLabel(), "TM640R v2.0");
    c.buildVersion = 2;
    EXPECT_EQ(c.versionLabel(), "PB740R v2.0");
    c.buildVersion = 1;
    EXPECT_EQ(c.versionLabel(), std::nullopt);
    c.buildVersion = 0;
    c.applicationVersion.reset();
    EXPECT_EQ(c.versionLabel(), std::nullopt);
    EXPECT_TRUE(CoreConfiguration::defaults().RestoreAvailable);
}

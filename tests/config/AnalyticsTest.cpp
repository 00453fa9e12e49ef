#include "common/ApplicationDetailsUtil.h"
#include "common/Base64.h"
#include "config/HostNetworkIdentity.h"
#include "config/mixPanel.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>

namespace {

using testsupport::LoopbackHttpServer;

constexpr const char* kMac = "00:1c:42:ab:cd:ef";

ApplicationConfig EnabledConfig(const std::string& base) {
    ApplicationConfig config;
    config.currentAppProductType = 2;
    config.buildVersion = 0;
    config.analyticsEnabled = true;
    config.analyticsUrl = base;
    return config;
}

mixPanel::Options OptionsFor(const ApplicationConfig& config,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    mixPanel::Options options;
    options.configuration = [config] { return config; };
    options.allowedByEnvironment = true;
    options.macAddress = [] { return OptString(kMac); };
    options.timeout = timeout;
    return options;
}

// The event text a request target carries in its data parameter.
std::string EventOf(const std::string& target) {
    const std::string prefix = "/track/?data=";
    const std::string suffix = ";ip=1";
    EXPECT_EQ(target.rfind(prefix, 0), 0u) << target;
    EXPECT_GE(target.size(), prefix.size() + suffix.size());
    EXPECT_EQ(target.substr(target.size() - suffix.size()), suffix);
    const std::string data =
        target.substr(prefix.size(), target.size() - prefix.size() - suffix.size());
    EXPECT_EQ(data.find_first_of("\r\n%"), std::string::npos) << "raw Base64 on one line";
    return Base64::base64DecodedString(data).value_or("<not Base64>");
}

std::string Identity() {
    return AnalyticsIdentity(std::string(kMac), mixPanel::kToken);
}

std::string Standard() {
    return "\"Build Type\": \"Retail\",\"Product Type\": \"TorvaneExternal\",\"Version\": \"" +
           ApplicationDetailsUtil::getApplicationVersion().value_or("") +
           "\",\"Build Number\": \"" + ApplicationDetailsUtil::getBuildNumber() + "\",";
}

std::string Closing() {
    return "\"distinct_id\": \"" + Identity() + "\",\"token\": \"" + std::string(mixPanel::kToken) +
           "\"}}";
}

TEST(AnalyticsTextTest, GenericEvents) {
    EXPECT_EQ(
        mixPanel::generateMixPanelJSON("Opened", {}, false, "id", "tok"),
        "{\"event\": \"Opened\",\"properties\": {\"distinct_id\": \"id\",\"token\": \"tok\"}}");
    EXPECT_EQ(mixPanel::generateMixPanelJSON("E", {{"only key"}, {"k", "v", "extra"}}, false, "id",
                                             "tok"),
              "{\"event\": \"E\",\"properties\": {\"k\": \"v\",\"distinct_id\": \"id\",\"token\": "
              "\"tok\"}}");
    EXPECT_EQ(mixPanel::generateMixPanelJSON("N", {{"a", "3"}, {"b", "x"}}, true, "id", "tok"),
              "{\"event\": \"N\",\"properties\": {\"a\": 3,\"b\": \"x\",\"distinct_id\": \"id\","
              "\"token\": \"tok\"}}");
    // Quotes, backslashes, line breaks and stray bytes are escaped: the text stays JSON.
    const std::string text = mixPanel::generateMixPanelJSON(
        "Dev \"A\"", {{"name", "Bob's \"iPhone\" \\ 1\n\x01\xff"}}, false, "id", "tok");
    const auto parsed = nlohmann::json::parse(text);
    EXPECT_EQ(parsed["event"], "Dev \"A\"");
    EXPECT_EQ(parsed["properties"]["name"], "Bob's \"iPhone\" \\ 1\n\x01\xef\xbf\xbd");
}

TEST(AnalyticsTextTest, IdentityIsAHashNotTheAddress) {
    const std::string identity = Identity();
    EXPECT_EQ(identity.size(), 64u);
    EXPECT_EQ(identity.find("00:1c"), std::string::npos);
    EXPECT_EQ(identity, AnalyticsIdentity(std::string(kMac), mixPanel::kToken));
    EXPECT_NE(identity, AnalyticsIdentity(std::string("00:1c:42:ab:cd:ee"), mixPanel::kToken));
    EXPECT_EQ(AnalyticsIdentity(std::nullopt, mixPanel::kToken), "unknown ID");
}

TEST(AnalyticsTextTest, LongEventsStayOnOneLine) {
    const std::string address = mixPanel::trackAddress("http://h.test/", std::string(5000, 'x'));
    EXPECT_EQ(address.rfind("http://h.test/track/?data=", 0), 0u);
    EXPECT_EQ(address.find_first_of("\r\n"), std::string::npos);
}

// The exact requests of representative events, as a local server receives them.
TEST(AnalyticsSendTest, TheRequestsOfRepresentativeEvents) {
    LoopbackHttpServer server;
    server.answer(200, "1");
    {
        mixPanel client(OptionsFor(EnabledConfig(server.address())));
        client.PublishButtonEvent("Close Pressed");
        client.publishRatingEvent("Rating - Export to Computer", 0);
        RecoveryCounts counts;
        counts.DeletedSMSCount = 4;
        counts.InternetCount = 12;
        client.PublishReportInfosEvent(counts);
        client.softwareBuildInfo({"Debian GNU/Linux 12", 0, 0});
        client.sendCrashReport(
            {"std::runtime_error: \"x\"", "frame 1\nframe 2\n", "std::runtime_error", "x"});
        client.flush();
    }
    ASSERT_TRUE(server.waitForRequests(5));
    const auto targets = server.requestTargets();
    ASSERT_EQ(targets.size(), 5u);

    const std::string version = ApplicationDetailsUtil::getApplicationVersion().value_or("");
    const std::string build = ApplicationDetailsUtil::getBuildNumber();
    EXPECT_EQ(EventOf(targets[0]), "{\"event\": \"BP-Close Pressed\",\"properties\": {" +
                                       Standard() + "\"Version & Build\": \"" + version + " " +
                                       build + "\"," + Closing());
    EXPECT_EQ(EventOf(targets[1]),
              "{\"event\": \"Rating - Export to Computer\",\"properties\": {\"Rating\": \"0\"," +
                  Standard() + Closing());
    const std::string info = EventOf(targets[2]);
    EXPECT_EQ(info.rfind("{\"event\": \"Recovery Info2\",\"properties\": {\"Messages recovered\": "
                         "4,\"Mess retrieved-\": 0,",
                         0),
              0u)
        << info;
    EXPECT_NE(info.find("\"internet recovered\": 0,\"internet retrieved\": 12," + Closing()),
              std::string::npos)
        << info;
    EXPECT_EQ(nlohmann::json::parse(info)["properties"].size(), 20u);
    EXPECT_EQ(EventOf(targets[3]),
              "{\"event\": \"Software Build Info\",\"properties\": {\"Build Type\":\"Retail\","
              "\"Product Type\":\"TorvaneExternal\",\"Product Version\":\"" +
                  version + "\",\"Build Number\": \"" + build +
                  "\",\"OS version\":\"Debian GNU/Linux 12\",\"distinct_id\":\"" + Identity() +
                  "\",\"ios_version\":\"0.0\",\"token\":\"" + std::string(mixPanel::kToken) +
                  "\"}}");
    EXPECT_EQ(EventOf(targets[4]),
              "{\"event\": \"Crash Report\",\"properties\": {\"exception\": "
              "\"std::runtime_error: \\\"x\\\"\",\"stack\": \"frame 1\\nframe 2\\n\",\"name\": "
              "\"std::runtime_error\",\"reason\": \"x\"," +
                  Closing());
}

TEST(AnalyticsSendTest, NothingIsSentWhileAnalyticsAreOff) {
    LoopbackHttpServer server;
    server.answer(200, "1");
    struct Row {
        const char* why;
        ApplicationConfig config;
        bool environment;
    };
    ApplicationConfig off = EnabledConfig(server.address());
    off.analyticsEnabled = false;
    ApplicationConfig noAddress = EnabledConfig(server.address());
    noAddress.analyticsUrl.reset();
    for (const Row& row : {Row{"configuration", off, true},
                           Row{"environment", EnabledConfig(server.address()), false},
                           Row{"no address", noAddress, true},
                           Row{"placeholder", EnabledConfig("https://api.example.com"), true}}) {
        mixPanel::Options options = OptionsFor(row.config);
        options.allowedByEnvironment = row.environment;
        bool macRead = false;
        options.macAddress = [&] {
            macRead = true;
            return OptString(kMac);
        };
        mixPanel client(options);
        EXPECT_FALSE(client.enabled()) << row.why;
        client.publishMessageEvent("RecoverFromITunesScreen");
        client.PublishReportInfosEvent({});
        client.softwareBuildInfo({});
        client.flush();
        EXPECT_FALSE(macRead) << row.why;
    }
    // One event sent afterwards is the only request the server ever saw.
    {
        mixPanel client(OptionsFor(EnabledConfig(server.address())));
        client.publishMessageEvent("Feedback - Pressed");
    }
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.requestTargets().size(), 1u);
}

TEST(AnalyticsSendTest, AHangingServerDoesNotHoldTheCaller) {
    LoopbackHttpServer server;
    server.hang();
    {
        mixPanel client(
            OptionsFor(EnabledConfig(server.address()), std::chrono::milliseconds(300)));
        // Returns at once; the request waits on the client's own thread.
        client.publishMessageEvent("Close - Pressed");
        client.publishMessageEvent("Close - Pressed");
        ASSERT_TRUE(server.waitForRequests(1));
        // Leaving gives the queue one time limit and then stops: no hang here.
    }
    EXPECT_GE(server.requestTargets().size(), 1u);
}

TEST(AnalyticsEnvironmentTest, TheVariableTurnsAnalyticsOff) {
    struct Row {
        const char* value;
        bool allowed;
    };
    for (const Row& row :
         {Row{nullptr, true}, Row{"", true}, Row{"0", true}, Row{"1", false}, Row{"yes", false}}) {
        if (row.value)
            ::setenv("TORVANE_NO_ANALYTICS", row.value, 1);
        else
            ::unsetenv("TORVANE_NO_ANALYTICS");
        EXPECT_EQ(AnalyticsAllowedByEnvironment(), row.allowed)
            << (row.value ? row.value : "unset");
    }
    ::unsetenv("TORVANE_NO_ANALYTICS");
}

}  // namespace

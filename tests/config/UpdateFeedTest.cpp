#include "ConfigTestSupport.h"
#include "config/XMLParser.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FeedCase {
    const char* name;
    const char* document;
    const char* version;
};

TEST(UpdateFeedTest, TheFirstItemWithAVersion) {
    const FeedCase cases[] = {
        FeedCase{"SecondItemWhenTheFirstHasNone",
                 "<rss><channel><item><title>t</title></item>"
                 "<item><version>9.3.0.0</version></item></channel></rss>",
                 "9.3.0.0"},
        FeedCase{"FirstOfTwoVersions",
                 "<feed><item><version>1.2</version><version>1.3</version></item></feed>", "1.2"},
        FeedCase{"LineBreaksKept", "<item><version>\n9.2.0.0\n</version></item>", "\n9.2.0.0\n"},
        FeedCase{"NestedVersionIsNotAChild", "<item><x><version>1</version></x></item>", ""},
        FeedCase{"NotXml", "<html><body>Server error", ""},
        FeedCase{"NoItems", "<feed><version>1.0</version></feed>", ""}};
    for (const FeedCase& c : cases)
        EXPECT_EQ(XMLParser::versionFromFeed(c.document), c.version) << c.name;
}

TEST(UpdateFeedFetchTest, AnHttpAddressIsRefusedAndNothingIsAsked) {
    testsupport::LoopbackHttpServer server;
    server.answer(200, "<item><version>99.0</version></item>");
    const std::string address = server.address() + "/feed.xml";
    EXPECT_EQ(XMLParser::fetchFeed(address), std::nullopt);
    EXPECT_EQ(XMLParser::getCurrentVersionFromWeb(
                  address, [](const std::string& url) { return XMLParser::fetchFeed(url); }),
              "");
    EXPECT_TRUE(server.requestTargets().empty());
}

TEST(UpdateFeedFetchTest, AddressesThatAreNotFetched) {
    int fetched = 0;
    const XMLParser::FeedFetcher fetch = [&](const std::string&) -> std::optional<std::string> {
        ++fetched;
        return "<item><version>2.0</version></item>";
    };
    for (const OptString& address :
         {OptString(), OptString(""), OptString("https://www.example.com/torvane/feed.xml")})
        EXPECT_EQ(XMLParser::getCurrentVersionFromWeb(address, fetch), "");
    EXPECT_EQ(fetched, 0);
    EXPECT_EQ(XMLParser::getCurrentVersionFromWeb("https://updates.torvane.dev/feed.xml", fetch),
              "2.0");
    EXPECT_EQ(fetched, 1);
    // An unreachable feed gives the empty version.
    EXPECT_EQ(XMLParser::getCurrentVersionFromWeb(
                  "https://updates.torvane.dev/feed.xml",
                  [](const std::string&) -> std::optional<std::string> { return std::nullopt; }),
              "");
}

TEST(UpdateFeedFetchTest, TheSharedCheckSetsTheRunningVersionAndReadsTheConfiguredFeed) {
    ScopedSettings settings;
    ApplicationConfig::updateSharedObject([](ApplicationConfig& config) {
        config.applicationVersion = "old";
        config.updateUrl = "https://www.example.com/feed.xml";
    });
    EXPECT_EQ(XMLParser::getCurrentVersionFromWeb(), "");
    EXPECT_NE(ApplicationConfig::sharedObject().applicationVersion, "old");
}

}  // namespace

#include "config/ApplicationConfig.h"
#include "config/XMLParser.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct EditionCase {
    const char* name;
    std::int64_t edition;
    const char* address;  // nullptr: nothing is fetched
};

TEST(RemoteConfigurationTest, EachEditionIsFetchedFromItsOwnPath) {
    const EditionCase cases[] = {
        {"Retail", 0,
         "https://config.torvane.dev/software/TM640/9.2.0.0/Retail/configuration/"
         "TM640RetailApplicationConfiguration.xml"},
        {"Partner", 2,
         "https://config.torvane.dev/software/PB740/9.2.0.0/Retail/configuration/"
         "PB740RetailApplicationConfiguration.xml"},
        {"Unknown", 7, nullptr},
    };
    for (const EditionCase& c : cases) {
        std::vector<std::string> asked;
        const auto bytes = XMLParser::loadXMLDataFromWeb(
            c.edition, "https://config.torvane.dev/", [&](const std::string& address) -> std::optional<std::string> {
                asked.push_back(address);
                return "<configuration><supportUrl>https://help.torvane.dev</supportUrl></configuration>";
            });
        if (c.address) {
            EXPECT_EQ(asked, std::vector<std::string>{c.address}) << c.name;
            EXPECT_TRUE(bytes) << c.name;
        } else {
            EXPECT_TRUE(asked.empty()) << c.name;
            EXPECT_FALSE(bytes) << c.name;
        }
    }
}

TEST(RemoteConfigurationTest, APlaceholderServerIsNeverAskedAndAFailedFetchGivesNothing) {
    int fetched = 0;
    const XMLParser::FeedFetcher fetch = [&](const std::string&) -> std::optional<std::string> {
        ++fetched;
        return std::nullopt;
    };
    EXPECT_FALSE(XMLParser::loadXMLDataFromWeb(0, "https://www.example.com", fetch));
    EXPECT_FALSE(XMLParser::loadXMLDataFromWeb(0, XMLParser::kConfigurationServer, fetch));
    EXPECT_EQ(fetched, 0);
    // The shipped server is a placeholder: the configuration comes from the resources.
    EXPECT_FALSE(XMLParser::loadXMLDataFromWeb(0));
    EXPECT_FALSE(ApplicationConfig::checkNetwork());
    EXPECT_EQ(XMLParser::dataFilePath(0), XMLParser::loadXMLDataFromItself(0));

    EXPECT_FALSE(XMLParser::loadXMLDataFromWeb(0, "https://config.torvane.dev", fetch));
    EXPECT_EQ(fetched, 1);
}

TEST(RemoteConfigurationTest, OnlyHttpsIsFetched) {
    testsupport::LoopbackHttpServer server;
    server.answer(200, "<configuration><supportUrl>http://evil</supportUrl></configuration>");
    EXPECT_FALSE(XMLParser::loadXMLDataFromWeb(
        0, server.address(), [](const std::string& address) { return XMLParser::fetchConfiguration(address); }));
    EXPECT_TRUE(server.requestTargets().empty());
}

}  // namespace

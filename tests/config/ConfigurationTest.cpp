#include "ConfigTestSupport.h"
#include "config/ApplicationConfig.h"
#include "config/HttpGet.h"
#include "config/XMLParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A configuration document and what its settings become, from empty fields.
struct ConfigCase {
    const char* name;
    const char* document;
    OptString updateUrl;
    OptString supportUrl;
    OptString userGuideUrl;
};

TEST(ConfigurationTest, AppliesTheBlocksInDocumentOrder) {
    ScopedSettings settings;
    const ConfigCase cases[] = {
        ConfigCase{"FirstChildOfANameWins",
                   "<configuration><updateUrl>first</updateUrl><updateUrl>second</updateUrl>"
                   "</configuration>",
                   "first", std::nullopt, std::nullopt},
        ConfigCase{"LaterBlockOverridesOnlyWhatItHolds",
                   "<root><configuration><updateUrl>u1</updateUrl><supportUrl>s1</supportUrl>"
                   "<webManualUrl>m1</webManualUrl></configuration>"
                   "<configuration><supportUrl>s2</supportUrl></configuration></root>",
                   "u1", "s2", "m1"},
        ConfigCase{"BlocksAtAnyDepthAndNestedOnesAfterTheirParent",
                   "<a><b><configuration><updateUrl>outer</updateUrl>"
                   "<configuration><updateUrl>inner</updateUrl></configuration>"
                   "</configuration></b></a>",
                   "inner", std::nullopt, std::nullopt},
        ConfigCase{"TextKeptAsItIsWithEntitiesDecoded",
                   "<configuration><updateUrl>  https://a.test/?x=1&amp;y=2\n</updateUrl>"
                   "<supportUrl></supportUrl><webManualUrl>a<b>b</b><![CDATA[<c>]]></webManualUrl>"
                   "</configuration>",
                   "  https://a.test/?x=1&y=2\n", "", "ab<c>"},
        ConfigCase{"OnlyDirectChildrenAndPlainNamesCount",
                   "<configuration xmlns:x=\"urn:x\"><x:updateUrl>prefixed</x:updateUrl>"
                   "<group><supportUrl>deeper</supportUrl></group></configuration>",
                   std::nullopt, std::nullopt, std::nullopt}};
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.name);
        ApplicationConfig config;
        EXPECT_TRUE(XMLParser::applyConfiguration(config, c.document));
        EXPECT_EQ(config.updateUrl, c.updateUrl);
        EXPECT_EQ(config.supportUrl, c.supportUrl);
        EXPECT_EQ(config.userGuideUrl, c.userGuideUrl);
    }
}

TEST(ConfigurationTest, BrokenOrHostileDocumentChangesNothing) {
    ScopedSettings settings;
    for (const char* document :
         {"", "<configuration><updateUrl>x</configuration>", "not xml at all",
          "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY e \"boom\">]>"
          "<configuration><updateUrl>&e;</updateUrl></configuration>",
          "<!DOCTYPE c SYSTEM \"file:///etc/passwd\"><configuration/>"}) {
        ApplicationConfig config;
        config.updateUrl = "kept";
        XMLParser::applyConfiguration(config, document);
        EXPECT_EQ(config.updateUrl, "kept") << document;
    }
}

TEST(ConfigurationTest, TooDeepADocumentIsRefused) {
    std::string document;
    for (int i = 0; i < 400; ++i) document += "<a>";
    document += "<configuration><updateUrl>deep</updateUrl></configuration>";
    for (int i = 0; i < 400; ++i) document += "</a>";
    ApplicationConfig config;
    EXPECT_FALSE(XMLParser::applyConfiguration(config, document));
    EXPECT_EQ(config.updateUrl, std::nullopt);
}

TEST(ConfigurationTest, LanguagesAreSplitAtEveryCommaAndReadTheStoredChoice) {
    ScopedSettings settings;
    settings.write("config/lan.txt", "Deutsch");
    ApplicationConfig config;
    ASSERT_TRUE(XMLParser::applyConfiguration(
        config, "<configuration><languages>English, Deutsch,,x</languages></configuration>"));
    EXPECT_EQ(config.languageArray, (std::vector<std::string>{"English", " Deutsch", "", "x"}));
    EXPECT_EQ(config.selectedLanguage, "Deutsch");
    EXPECT_EQ(config.languageFileName, "TM640R-Deutsch");
}

TEST(ConfigurationTest, WithoutLanguagesTheChoiceIsNotTouched) {
    ScopedSettings settings;
    ApplicationConfig config;
    ASSERT_TRUE(XMLParser::applyConfiguration(config, "<configuration/>"));
    EXPECT_EQ(config.selectedLanguage, std::nullopt);
    EXPECT_EQ(config.languageFileName, std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(settings.languageChoice()));
}

TEST(ConfigurationTest, StoredLanguageChoice) {
    ScopedSettings settings;
    {
        // No file, or an empty one: English, stored.
        ApplicationConfig config;
        config.setSelectedLanguageFromFile();
        EXPECT_EQ(config.selectedLanguage, "English");
        EXPECT_EQ(config.languageFileName, "TM640R-English");
        EXPECT_EQ(ReadFile(settings.languageChoice()), "English");
        settings.write("config/lan.txt", "");
        config.selectedLanguage.reset();
        config.setSelectedLanguageFromFile();
        EXPECT_EQ(config.selectedLanguage, "English");
        EXPECT_EQ(ReadFile(settings.languageChoice()), "English");
    }
    {
        // Read verbatim: a line break stays part of the name.
        settings.write("config/lan.txt", "Deutsch\n");
        ApplicationConfig config;
        config.setSelectedLanguageFromFile();
        EXPECT_EQ(config.languageFileName, "TM640R-Deutsch\n");
    }
    {
        ApplicationConfig::writeSelectedLanguageInFile("Deutsch");
        EXPECT_EQ(ReadFile(settings.languageChoice()), "Deutsch");
        ApplicationConfig config;
        config.buildVersion = 2;
        config.setSelectedLanguageFromFile();
        EXPECT_EQ(config.languageFileName, "PB740R-Deutsch");
    }
    {
        // An edition without a language prefix leaves the file name as it was.
        ApplicationConfig config;
        config.buildVersion = 5;
        config.setSelectedLanguageFromFile();
        EXPECT_EQ(config.selectedLanguage, "Deutsch");
        EXPECT_EQ(config.languageFileName, std::nullopt);
    }
}

TEST(ConfigurationTest, EditionsAndProductTypes) {
    struct Row {
        std::int64_t edition;
        OptString resource, prefix;
        const char* full;
        const char* shortType;
    };
    for (const Row& row : {
             Row{0, "TM640RetailApplicationConfiguration", "TM640R", "Retail", "0"},
             Row{2, "PB740RetailApplicationConfiguration", "PB740R", "Retail", "0"},
             Row{1, std::nullopt, std::nullopt, "unknown", ""},
         }) {
        ApplicationConfig config;
        config.buildVersion = row.edition;
        EXPECT_EQ(ApplicationConfig::configurationResourceName(row.edition), row.resource);
        EXPECT_EQ(ApplicationConfig::languageFilePrefix(row.edition), row.prefix);
        EXPECT_EQ(config.getBuildTypeFull(), row.full);
        EXPECT_EQ(config.getBuildType(), row.shortType);
    }
    EXPECT_EQ(ApplicationConfig::getProductTypeAsString(0), "Torvane");
    EXPECT_EQ(ApplicationConfig::getProductTypeAsString(2), "TorvaneExternal");
    EXPECT_EQ(ApplicationConfig::getProductTypeAsString(3), "TorvaneAdWords");
    EXPECT_EQ(ApplicationConfig::getProductTypeAsString(7), std::nullopt);
}

TEST(ConfigurationTest, LoadingSetsThePresetsAndReadsTheEditionsFile) {
    ScopedSettings settings;
    AppPaths::setResourcesDirectory(settings.path().string());
    settings.write("TM640RetailApplicationConfiguration.xml",
                   "<configuration><bannerURL>https://banner.test/</bannerURL>"
                   "<languages>English</languages></configuration>");
    ApplicationConfig config;
    XMLParser::loadConfig(config);
    EXPECT_TRUE(config.RestoreAvailable);
    EXPECT_EQ(config.currentAppProductType, 2);
    EXPECT_EQ(config.buildVersion, 0);
    EXPECT_TRUE(config.applicationVersion.has_value());
    EXPECT_EQ(config.BannerURL, "https://banner.test/");
    EXPECT_EQ(config.languageFileName, "TM640R-English");

    // A broken file: the presets stand, the rest stays as it was.
    settings.write("TM640RetailApplicationConfiguration.xml", "<configuration>");
    ApplicationConfig broken;
    broken.BannerURL = "before";
    XMLParser::loadConfig(broken);
    EXPECT_TRUE(broken.RestoreAvailable);
    EXPECT_EQ(broken.BannerURL, "before");
}

// The configuration that ships: analytics off, every address a placeholder that is never
// fetched or the manual that ships, and a language file for every offered language.
TEST(ConfigurationTest, TheShippedConfigurationReachesNothing) {
    ScopedSettings settings;
    ApplicationConfig config;
    XMLParser::loadConfig(config);
    EXPECT_FALSE(config.analyticsEnabled);
    EXPECT_EQ(config.languageArray, (std::vector<std::string>{"English", "Deutsch"}));
    for (const OptString& address :
         {config.updateUrl, config.supportUrl, config.supportTicketUrl, config.facebookUrl,
          config.twitterUrl, config.googlePlusUrl, config.websiteUrl, config.BannerURL,
          config.updaterAppUrl, config.iTunesDownload, config.recoverySignaturePath,
          config.appStoreURL, config.analyticsUrl}) {
        ASSERT_TRUE(address.has_value());
        EXPECT_TRUE(IsPlaceholderAddress(*address)) << *address;
    }
    const OptString manual = ApplicationConfig::resolvedAddress(config.userGuideUrl);
    ASSERT_TRUE(manual.has_value());
    ASSERT_EQ(manual->rfind("file://", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(manual->substr(7))) << *manual;
    for (const std::string& language : config.languageArray)
        EXPECT_TRUE(std::filesystem::exists(AppPaths::resourcesDirectory() + "/TM640R-" + language +
                                            ".xml"))
            << language;
    for (const char* partner : {"PB740RetailApplicationConfiguration.xml"})
        EXPECT_TRUE(std::filesystem::exists(AppPaths::resourcesDirectory() + "/" + partner));
}

TEST(ConfigurationTest, ResolvedAddresses) {
    AppPaths::setResourcesDirectory("/opt/tor vane/res");
    EXPECT_EQ(ApplicationConfig::resolvedAddress("https://a.test/x"), "https://a.test/x");
    EXPECT_EQ(ApplicationConfig::resolvedAddress("mailto:a@b.test"), "mailto:a@b.test");
    EXPECT_EQ(ApplicationConfig::resolvedAddress("manual/index.html"),
              "file:///opt/tor%20vane/res/manual/index.html");
    EXPECT_EQ(ApplicationConfig::resolvedAddress("/usr/share/doc/t.html"),
              "file:///usr/share/doc/t.html");
    EXPECT_EQ(ApplicationConfig::resolvedAddress(""), std::nullopt);
    EXPECT_EQ(ApplicationConfig::resolvedAddress(std::nullopt), std::nullopt);
    AppPaths::setResourcesDirectory(std::nullopt);
}

TEST(ConfigurationTest, PlaceholderAddresses) {
    for (const char* address :
         {"https://www.example.com/x", "https://example.org", "http://a.b.example.net:8080/",
          "https://updates.torvane.example/feed", "https://x.invalid", "https://EXAMPLE.COM./"})
        EXPECT_TRUE(IsPlaceholderAddress(address)) << address;
    for (const char* address : {"https://notexample.com/", "http://127.0.0.1:8080/",
                                "https://example.com.evil.org/", "not an address"})
        EXPECT_FALSE(IsPlaceholderAddress(address)) << address;
}

}  // namespace

#include "ConfigTestSupport.h"
#include "config/LanguageConfig.h"
#include "config/TitleHelpers.h"
#include "config/XmlTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

// A language folder with an English file (every text "EN <key>" but CommonOK "OK") and the
// files the test adds.
class LanguageTextsTest : public ::testing::Test {
protected:
    LanguageTextsTest() {
        std::string english = "<ResourceDictionary>";
        for (std::string_view key : LanguageConfig::keyNames())
            english += "<" + std::string(key) + ">" +
                       (key == "CommonOK" ? std::string("OK") : "EN " + std::string(key)) + "</" +
                       std::string(key) + ">";
        english += "</ResourceDictionary>";
        settings_.write("res/TM640R-English.xml", english);
    }

    std::string resources() const { return (settings_.path() / "res").string(); }
    // Loads the file of that language name into `texts`.
    bool load(LanguageConfig& texts, ApplicationConfig& config, const std::string& language) {
        config.selectedLanguage = language;
        config.setlanguageFile();
        return texts.loadConfig(config, resources());
    }

    ScopedSettings settings_;
};

TEST_F(LanguageTextsTest, AFileHoldingOneKeyChangesOnlyThatText) {
    settings_.write("res/TM640R-Deutsch.xml",
                    "<ResourceDictionary><CommonOK>Gut</CommonOK></ResourceDictionary>");
    LanguageConfig texts;
    ApplicationConfig config;
    EXPECT_EQ(texts.CommonOK(), std::nullopt);
    ASSERT_TRUE(load(texts, config, "English"));
    ASSERT_TRUE(load(texts, config, "Deutsch"));
    EXPECT_EQ(texts.CommonOK(), "Gut");
    EXPECT_EQ(texts.CommonCancel(), "EN CommonCancel");
    EXPECT_EQ(texts.colName(), "EN colName");
}

TEST_F(LanguageTextsTest, BlocksFirstChildAndTextAsItIs) {
    settings_.write(
        "res/TM640R-Deutsch.xml",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
        "<root><ResourceDictionary><CommonOK>  eins \n</CommonOK><CommonOK>zwei</CommonOK>"
        "<CommonNo>Nein</CommonNo><CommonYes>J\xe4</CommonYes></ResourceDictionary>"
        "<x><ResourceDictionary><CommonNo>N&amp;&#233;</CommonNo></ResourceDictionary>"
        "</x></root>");
    LanguageConfig texts;
    ApplicationConfig config;
    ASSERT_TRUE(load(texts, config, "Deutsch"));
    EXPECT_EQ(texts.CommonOK(), "  eins \n");
    EXPECT_EQ(texts.CommonNo(), "N&\xc3\xa9");
    EXPECT_EQ(texts.CommonYes(), "J\xc3\xa4");  // read in the declared encoding, kept as UTF-8
    EXPECT_EQ(texts.CommonCancel(), std::nullopt);
}

TEST_F(LanguageTextsTest, AMissingLanguageFallsBackToEnglishAndKeepsTheStoredChoice) {
    settings_.write("config/lan.txt", "Klingon");
    LanguageConfig texts;
    ApplicationConfig config;
    config.setSelectedLanguageFromFile();
    ASSERT_EQ(config.languageFileName, "TM640R-Klingon");
    ASSERT_TRUE(texts.loadConfig(config, resources()));
    EXPECT_EQ(texts.CommonOK(), "OK");
    EXPECT_EQ(config.selectedLanguage, "English");
    EXPECT_EQ(config.languageFileName, "TM640R-English");
    EXPECT_EQ(ReadFile(settings_.languageChoice()), "Klingon");

    // A name with a line break, or one that would leave the folder, is no file either.
    for (const char* language : {"Deutsch\n", "../res/TM640R-English"}) {
        ApplicationConfig other;
        other.selectedLanguage = language;
        other.setlanguageFile();
        EXPECT_TRUE(texts.loadConfig(other, resources()));
        EXPECT_EQ(other.selectedLanguage, "English") << language;
    }
}

TEST_F(LanguageTextsTest, ABrokenFileChangesNoText) {
    LanguageConfig texts;
    ApplicationConfig config;
    ASSERT_TRUE(load(texts, config, "English"));
    settings_.write("res/TM640R-Deutsch.xml", "<ResourceDictionary><CommonOK>Gut</CommonOK>");
    EXPECT_FALSE(load(texts, config, "Deutsch"));
    EXPECT_EQ(texts.CommonOK(), "OK");
    // No English file either: nothing at all.
    fs::remove(settings_.path() / "res" / "TM640R-English.xml");
    LanguageConfig empty;
    ApplicationConfig other;
    EXPECT_FALSE(load(empty, other, "Deutsch2"));
    EXPECT_EQ(empty.CommonOK(), std::nullopt);
}

// A language file far larger than any real one (here: a few hundred thousand empty elements
// before the one text) or one that is no regular file is refused unread; the texts stay.
TEST_F(LanguageTextsTest, AnOversizedOrIrregularFileChangesNoText) {
    LanguageConfig texts;
    ApplicationConfig config;
    ASSERT_TRUE(load(texts, config, "English"));
    std::string huge = "<ResourceDictionary>";
    while (huge.size() <= LanguageConfig::kMaxLanguageFileBytes) huge += "<e/>";
    huge += "<CommonOK>Gut</CommonOK></ResourceDictionary>";
    settings_.write("res/TM640R-Deutsch.xml", huge);
    EXPECT_FALSE(load(texts, config, "Deutsch"));
    EXPECT_EQ(texts.CommonOK(), "OK");

    const fs::path fifo = settings_.path() / "res" / "TM640R-Fifo.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(load(texts, config, "Fifo"));  // returns: a FIFO is never waited on
    EXPECT_EQ(texts.CommonOK(), "OK");
}

TEST_F(LanguageTextsTest, TheSharedTextsFollowTheSharedConfiguration) {
    settings_.write("config/lan.txt", "Klingon");
    AppPaths::setResourcesDirectory(resources());
    ApplicationConfig::updateSharedObject([](ApplicationConfig& config) {
        config.setSelectedLanguageFromFile();
        config.supportUrl = "kept";
    });
    LanguageConfig::sharedObject().loadConfig();
    EXPECT_EQ(LanguageConfig::sharedObject().CommonOK(), "OK");
    const ApplicationConfig shared = ApplicationConfig::sharedObject();
    EXPECT_EQ(shared.selectedLanguage, "English");
    EXPECT_EQ(shared.languageFileName, "TM640R-English");
    EXPECT_EQ(shared.supportUrl, "kept");
}

// Every shipped language file holds a text for every key, with the count captions' four
// placeholders, and no other key.
TEST(ShippedLanguageFilesTest, EveryKeyHasATextInEveryFile) {
    const std::set<std::string_view> keys(LanguageConfig::keyNames().begin(),
                                          LanguageConfig::keyNames().end());
    ASSERT_EQ(keys.size(), 237u);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(AppPaths::resourcesDirectory())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("TM640R-", 0) != 0 || entry.path().extension() != ".xml") continue;
        ++files;
        const auto root = XmlNode::parse(ReadFile(entry.path()));
        ASSERT_TRUE(root.has_value()) << name;
        const auto blocks = root->descendants("ResourceDictionary");
        ASSERT_EQ(blocks.size(), 1u) << name;
        std::set<std::string> seen;
        for (const XmlNode& child : blocks[0]->children()) {
            if (child.isText()) continue;
            EXPECT_TRUE(keys.count(child.name())) << name << ": unknown key " << child.name();
            EXPECT_TRUE(seen.insert(child.name()).second) << name << ": twice " << child.name();
            const std::string text = child.textContent();
            EXPECT_FALSE(text.empty()) << name << ": " << child.name();
            if (child.name().rfind("PhotosListViewShowingXYDeletedItemsAndXYExistingItems", 0) != 0)
                continue;
            for (const char* placeholder : {"{0}", "{1}", "{2}", "{3}"}) {
                EXPECT_NE(text.find(placeholder), std::string::npos)
                    << name << ": " << child.name() << " lacks " << placeholder;
            }
        }
        EXPECT_EQ(seen.size(), keys.size()) << name;
    }
    EXPECT_GE(files, 2);
}

TEST(LanguageKeysTest, GettersSettersAndPlaceholders) {
    LanguageConfig texts;
    texts.setColName("Name");
    texts.setBtnExportDataText("Export");
    EXPECT_EQ(texts.colName(), "Name");
    EXPECT_EQ(texts.text(LanguageKey::btnExportDataText), "Export");
    EXPECT_EQ(LanguageConfig::keyNames().front(), "ConnectDeviceControlViewTitle");
    EXPECT_EQ(LanguageConfig::keyNames().back(), "ScanRecoveringDeletedCalendar");
    EXPECT_EQ(FillPlaceholders("{0} of {1}; {0}", {"3", "7"}), "3 of 7; 3");
    EXPECT_EQ(FillPlaceholders("no placeholder", {"1"}), "no placeholder");
}

TEST(TitleHelpersTest, StyledTitles) {
    const TitleColor red{255, 0, 0, 255};
    using namespace TitleHelpers;
    const StyledTitle plain = setButtonTitleFor("Scan", red);
    EXPECT_EQ(plain.text, "Scan");
    EXPECT_EQ(plain.alignment, TitleAlignment::Centre);
    EXPECT_DOUBLE_EQ(plain.pointSize, 14.0);
    EXPECT_FALSE(plain.underline);
    EXPECT_EQ(plain.color, red);
    EXPECT_DOUBLE_EQ(setButtonTitleFor("Scan", red, 11.5f).pointSize, 11.5);
    EXPECT_TRUE(setButtonTitleFor("Link", red, 12.0f, false).underline);
    EXPECT_TRUE(setButtonTitleFor("Link", red, 12.0f, true).underline);
    EXPECT_EQ(setButtonTitleFor(std::nullopt, red).text, "");

    struct Row {
        std::int32_t count;
        const char* text;
    };
    for (const Row& row : {Row{3, "   Text"}, Row{0, "Text"}, Row{-2, "Text"}}) {
        const StyledTitle padded = setButtonTitleForWithPadding("Text", red, 13.0f, row.count);
        EXPECT_EQ(padded.text, row.text);
        EXPECT_EQ(padded.alignment, TitleAlignment::Left);
        EXPECT_TRUE(padded.alignButton);
    }
}

}  // namespace

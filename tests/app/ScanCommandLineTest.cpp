#include "app/ScanCommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ScanCommandLineTest, AcceptedCommandLines) {
    struct Case {
        std::vector<std::string> arguments;
        OptString folder;
        DataType type;
        bool fast;
        OptString exportDirectory;
    };
    const Case cases[] = {
        {{}, std::nullopt, DataType::DataTypeAll, false, std::nullopt},
        {{"/backups/abc"}, "/backups/abc", DataType::DataTypeAll, false, std::nullopt},
        {{"b", "--type", "messages"}, "b", DataType::DataTypeSMS, false, std::nullopt},
        {{"--type=photos", "b"}, "b", DataType::DataTypePhotosVideos, false, std::nullopt},
        {{"--type", "calls", "--fast"},
         std::nullopt,
         DataType::DataTypeCallHistory,
         true,
         std::nullopt},
        {{"b", "--export", "/tmp/out"}, "b", DataType::DataTypeAll, false, "/tmp/out"},
        {{"--export=out dir", "--type", "internet"},
         std::nullopt,
         DataType::DataTypeInternetHistory,
         false,
         "out dir"},
        {{"--", "--odd-folder"}, "--odd-folder", DataType::DataTypeAll, false, std::nullopt},
        {{"--type", "calendar"}, std::nullopt, DataType::DataTypeCalendar, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? std::string("<none>") : c.arguments.front());
        const auto parsed = ParseScanCommandLine(c.arguments);
        ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
        EXPECT_EQ(parsed.options->backupFolder, c.folder);
        EXPECT_EQ(parsed.options->dataType, c.type);
        EXPECT_EQ(parsed.options->fast, c.fast);
        EXPECT_EQ(parsed.options->exportDirectory, c.exportDirectory);
        EXPECT_FALSE(parsed.options->legacy);
    }
    const auto legacy = ParseScanCommandLine({"b", "--legacy", "--fast"});
    ASSERT_TRUE(legacy.options.has_value()) << legacy.error;
    EXPECT_TRUE(legacy.options->legacy);
    EXPECT_NE(ScanUsage("torvane-scan").find("--legacy"), std::string::npos);
}

TEST(ScanCommandLineTest, RefusedCommandLines) {
    const std::vector<std::vector<std::string>> cases = {
        {"--type"}, {"--type", "videos"}, {"--export"}, {"--export="}, {"a", "b"}, {"--verbose"},
    };
    for (const auto& arguments : cases) {
        const auto parsed = ParseScanCommandLine(arguments);
        EXPECT_FALSE(parsed.options.has_value()) << arguments.front();
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_TRUE(ParseScanCommandLine({"--help"}).options->help);
    for (const char* word : {"all", "messages", "photos", "contacts", "calls", "whatsapp", "notes",
                             "internet", "calendar"}) {
        EXPECT_TRUE(DataTypeFromScanTypeName(word).has_value()) << word;
        EXPECT_NE(ScanUsage("torvane-scan").find(word), std::string::npos) << word;
    }
}

// The names the export gives the data types are taken too, in any letter case.
TEST(ScanCommandLineTest, ExportNamesOfTheDataTypes) {
    const struct {
        const char* word;
        DataType type;
    } cases[] = {
        {"sms", DataType::DataTypeSMS},
        {"SMS", DataType::DataTypeSMS},
        {"callhistory", DataType::DataTypeCallHistory},
        {"CallHistory", DataType::DataTypeCallHistory},
        {"addressbook", DataType::DataTypeContacts},
        {"Calls", DataType::DataTypeCallHistory},
        {"ALL", DataType::DataTypeAll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        const auto parsed = ParseScanCommandLine({"--type", c.word});
        ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
        EXPECT_EQ(parsed.options->dataType, c.type);
    }
    for (const char* word : {"sms", "callhistory", "addressbook"})
        EXPECT_NE(ScanUsage("torvane-scan").find(word), std::string::npos) << word;
    EXPECT_FALSE(DataTypeFromScanTypeName("call history").has_value());
}

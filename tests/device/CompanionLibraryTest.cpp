#include "device/CompanionLibrary.h"
#include "device/DeviceTestSupport.h"
#include "support/HostilePlists.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr const char* kUdid = "e1e2e3e4e5e6e7e8e9e0e1e2e3e4e5e6e7e8e9e0";
constexpr const char* kCompanion = "com.example.torvane-companion";

// The loader keeps one library for the process, so each test loads the one it needs first.
class CompanionLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulator.setEnvironment();
        SimulatedDevice phone = TestPhone(kUdid);
        phone.apps[kCompanion].info = {{"CFBundleIdentifier", kCompanion}, {"ApplicationType", "User"}};
        simulator.attach(std::move(phone));
        simulator.attach(TestPhone("f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0", "Ben's iPhone"));
        localFile = std::filesystem::temp_directory_path() / ("torvane-companion-" + std::to_string(::getpid()) + ".json");
        std::ofstream(localFile) << "{\"messages\": 3}";
    }
    void TearDown() override { std::filesystem::remove(localFile); }

    std::string inContainer(const std::string& path) {
        std::string contents = "<missing>";
        simulator.withDevice(kUdid, [&](SimulatedDevice& d) {
            const auto& tree = d.apps[kCompanion].container;
            if (tree.isFile(path)) contents = tree.contents(path);
            if (tree.isFolder(path)) contents = "<folder>";
        });
        return contents;
    }

    DeviceSimulator simulator;
    std::filesystem::path localFile;
};

TEST_F(CompanionLibraryTest, AMissingLibraryLoadsNothingAndCopiesNothing) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LoadLIBMOBILE("/nonexistent/libtorvane-companion.so"), 0);
    const std::string lines = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_EQ(copyFolder("/Documents/x", kUdid, kCompanion), 0);
    EXPECT_EQ(copyFile(localFile.c_str(), "/Documents/x/a.json", kUdid, kCompanion), 0);
}

TEST_F(CompanionLibraryTest, ALibraryWithoutAFunctionAnswersMinusOne) {
    ASSERT_EQ(LoadLIBMOBILE(TORVANE_PARTIAL_COMPANION), 1);
    EXPECT_EQ(copyFolder("/Documents/x", kUdid, kCompanion), 7);
    EXPECT_EQ(copyFile(localFile.c_str(), "/Documents/x/a.json", kUdid, kCompanion), -1);
}

TEST_F(CompanionLibraryTest, MakesAFolderAndCopiesAFileIntoTheCompanionsDocuments) {
    ASSERT_EQ(LoadLIBMOBILE(TORVANE_COMPANION_BUILD), 1);
    ASSERT_EQ(copyFolder("/Documents/Torvane/2026-12-10", kUdid, kCompanion), 0);
    EXPECT_EQ(inContainer("/Documents/Torvane/2026-12-10"), "<folder>");
    ASSERT_EQ(copyFile(localFile.c_str(), "/Documents/Torvane/2026-12-10/messages.json", kUdid, kCompanion), 0);
    EXPECT_EQ(inContainer("/Documents/Torvane/2026-12-10/messages.json"), "{\"messages\": 3}");
    // A folder named without the container's Documents goes into it all the same.
    ASSERT_EQ(copyFolder("Inbox", kUdid, kCompanion), 0);
    EXPECT_EQ(inContainer("/Documents/Inbox"), "<folder>");
    // One named from the container's top, "Documents" first, is not put into it twice.
    ASSERT_EQ(copyFolder("Documents/udid#Anna/1481364000", kUdid, kCompanion), 0);
    EXPECT_EQ(inContainer("/Documents/udid#Anna/1481364000"), "<folder>");
}

TEST_F(CompanionLibraryTest, RefusalsAreNegative) {
    ASSERT_EQ(LoadLIBMOBILE(TORVANE_COMPANION_BUILD), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_LT(copyFolder("/Documents/x", "f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0", kCompanion), 0);
    EXPECT_LT(copyFolder("/Documents/x", "0000000000000000000000000000000000000000", kCompanion), 0);
    EXPECT_LT(copyFolder("/Documents/../../etc", kUdid, kCompanion), 0);
    EXPECT_LT(copyFile("/nonexistent/file", "/Documents/a.json", kUdid, kCompanion), 0);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("is not installed on the device"), std::string::npos) << log;
    EXPECT_NE(log.find("no connected device"), std::string::npos) << log;
}

// The companion library speaks to lockdownd and the container service through the device
// library; an answer nested too deep to parse is refused unread, whichever service sends it.
TEST_F(CompanionLibraryTest, AnAnswerNestedTooDeepIsARefusal) {
    ASSERT_EQ(LoadLIBMOBILE(TORVANE_COMPANION_BUILD), 1);
    for (const std::string& answer : {testsupport::NestedXml(200000), testsupport::ChainedBinary(100002)}) {
        for (const bool fromLockdown : {false, true}) {
            SCOPED_TRACE(fromLockdown ? "lockdownd" : "house_arrest");
            simulator.withDevice(kUdid, [&](SimulatedDevice& d) {
                d.lockdownAnswer = fromLockdown ? answer : std::string();
                d.serviceAnswers["com.apple.mobile.house_arrest"] = answer;
            });
            ::testing::internal::CaptureStderr();
            EXPECT_LT(copyFolder("/Documents/x", kUdid, kCompanion), 0);
            ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(inContainer("/Documents/x"), "<missing>");
        }
    }
}

TEST(CompanionLibraryPathTest, TheEnvironmentNamesAnotherLibrary) {
    ::setenv("TORVANE_COMPANION_LIBRARY", "/opt/elsewhere/lib.so", 1);
    EXPECT_EQ(CompanionLibraryPath(), "/opt/elsewhere/lib.so");
    ::unsetenv("TORVANE_COMPANION_LIBRARY");
    EXPECT_NE(CompanionLibraryPath().find("torvane/libtorvane-companion.so"), std::string::npos);
}

}  // namespace

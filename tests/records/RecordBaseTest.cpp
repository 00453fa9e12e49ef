#include "records/BaseRecoveryObject.h"
#include "records/DataType.h"
#include "records/DeviceInfo.h"

#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(BaseRecoveryObject, FlagsAreIndependentAndNotRecoveredFollowsIsRecovered) {
    baseRecoveryObject r;
    EXPECT_FALSE(r.Recovered());
    EXPECT_TRUE(r.NotRecovered());
    EXPECT_EQ(r.RowId(), 0);
    EXPECT_FALSE(r.Text().has_value());

    r.setRecovered(true);
    EXPECT_TRUE(r.NotRecovered());
    r.setIsRecovered(true);
    r.setRecovered(false);
    EXPECT_FALSE(r.NotRecovered());

    r.setRowId(INT64_MIN);
    EXPECT_EQ(r.RowId(), INT64_MIN);
    r.setText("");
    EXPECT_EQ(r.Text(), "");
    r.setText(std::nullopt);
    EXPECT_FALSE(r.Text().has_value());
}

TEST(DataType, AllRunsEveryStepOtherwiseOnlyItsOwn) {
    EXPECT_TRUE(RunsStep(DataType::DataTypeAll, DataType::DataTypeNotes));
    EXPECT_TRUE(RunsStep(DataType::DataTypeInternetHistory, DataType::DataTypeInternetHistory));
    EXPECT_FALSE(RunsStep(DataType::DataTypeInternetHistory, DataType::DataTypeSMS));
    EXPECT_FALSE(RunsStep(DataTypeFromCode(42), DataType::DataTypeSMS));
    dataTypeHolder h;
    h.setDataType(DataType::DataTypeCalendar);
    EXPECT_EQ(ToCode(h.dataType()), 8);
}

TEST(DeviceInfo, VersionNumbersFromProductVersion) {
    struct Case {
        OptString version;
        int major, minor;
    } cases[] = {
        {"9.3.5", 9, 3}, {"10", 10, 7}, {"0.4", 5, 4}, {std::nullopt, 5, 7}, {"12.1", 12, 1},
        {"abc", 5, 7},
    };
    for (const auto& c : cases) {
        DeviceInfo d;
        d.setIOSMajorVersion(5);
        d.setIOSMinorVersion(7);
        d.applyVersionNumbers(c.version);
        EXPECT_EQ(d.iOSMajorVersion(), c.major) << c.version.value_or("(absent)");
        EXPECT_EQ(d.iOSMinorVersion(), c.minor) << c.version.value_or("(absent)");
    }
}

TEST(DeviceInfo, InformationFileHasNineLabelledLines) {
    testsupport::TempDir dir;
    const auto path = dir / "info.csv";
    DeviceInfo empty;
    ASSERT_TRUE(empty.exportDeviceInfo(path.string()));
    EXPECT_EQ(ReadFile(path),
              "Device Name,\nSerial Number,\nProduct Type,\nUnique DeviceID,\nProduct Version,\n"
              "Firmware Version,\nIMSI,\nIMEI,\nICICD,\n");

    DeviceInfo d;
    d.setDeviceName("Anna's \"work\", phone");
    d.setIMEI("3520990");
    ASSERT_TRUE(d.exportDeviceInfo(path.string()));  // overwrites, does not append
    const auto text = ReadFile(path);
    EXPECT_EQ(text.rfind("Device Name,\"Anna's \"\"work\"\", phone\"\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nIMEI,3520990\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);
}

TEST(DeviceInfo, FailedWriteIsReportedAndNameCannotLeaveTheFolder) {
    testsupport::TempDir dir;
    DeviceInfo d;
    EXPECT_FALSE(d.exportDeviceInfo((dir / "missing" / "x.csv").string()));

    d.setDeviceName("../../etc/passwd");
    EXPECT_EQ(d.InfoFileName(), "_._.._etc_passwd_info.csv");
    d.setDeviceName(".hidden");
    EXPECT_EQ(d.InfoFileName(), "_hidden_info.csv");
    d.setDeviceName("Anna's iPhone");
    EXPECT_EQ(d.InfoFileName(), "Anna's iPhone_info.csv");
}

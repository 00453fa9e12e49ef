#include "app/ByteScans.h"
#include "app/ChildProcess.h"
#include "app/HostSystemVersion.h"

#include <gtest/gtest.h>

TEST(RunThisCmd, ArgumentsReachTheProgramUntouchedByAnyShell) {
    EXPECT_EQ(ChildProcess::runThisCmd("/bin/echo", {"a b", "$(id)", ";", "*", "'q'"}),
              "a b $(id) ; * 'q'\n");
    EXPECT_EQ(ChildProcess::runThisCmd("/bin/echo", {}), "\n");
}

TEST(RunThisCmd, TheChildReadsAnEmptyInputAndFailuresGiveNothing) {
    EXPECT_EQ(ChildProcess::runThisCmd("/bin/cat", {}), "");  // sees the end at once
    EXPECT_EQ(ChildProcess::runThisCmd("/nonexistent/program", {"x"}), "");
    EXPECT_EQ(ChildProcess::runThisCmd("/bin/sh", {"-c", "printf out; printf err >&2; exit 3"}),
              "out");
}

TEST(RunThisCmd, OutputBeyondTheLimitIsDroppedWithoutStallingTheChild) {
    const std::string text =
        ChildProcess::runThisCmd("/usr/bin/head", {"-c", "20000000", "/dev/zero"});
    EXPECT_EQ(text.size(), ChildProcess::kMaxOutputBytes);
}

TEST(HostSystemVersion, ReadsNameAndVersionFromOsRelease) {
    const struct {
        const char* text;
        const char* name;
        const char* version;
        int major, minor;
    } cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
         "VERSION_ID=\"12\"\nID=debian\n",
         "Debian GNU/Linux", "12", 12, 0},
        {"NAME=Ubuntu\nVERSION_ID='22.04'\n", "Ubuntu", "22.04", 22, 4},
        {"NAME=\"Arch Linux\"\nBUILD_ID=rolling\n", "Arch Linux", "", 0, 0},
        {"NAME=\"Odd \\\"quoted\\\"\"\nVERSION_ID=3.x\n", "Odd \"quoted\"", "3.x", 3, 0},
        {"", "", "", 0, 0},
    };
    for (const auto& c : cases) {
        const HostSystemVersion v = HostSystemVersion::fromOsRelease(c.text);
        EXPECT_EQ(v.name, c.name);
        EXPECT_EQ(v.version, c.version);
        EXPECT_EQ(v.major, c.major) << c.text;
        EXPECT_EQ(v.minor, c.minor) << c.text;
    }
    // Whatever the host, it has a name, and the old single figure is major plus minor.
    const HostSystemVersion host = HostSystemVersion::current();
    EXPECT_FALSE(host.name.empty());
    EXPECT_EQ(getOSXVersion(), host.major + host.minor);
}

TEST(ByteScans, StopAtTheirByteAndNeverLeaveTheBuffer) {
    const Bytes text{0x41, 0x42, 0x00, 0x43};
    const Bytes digits{'1', '2', 'A', '/', '9'};
    const struct {
        const char* name;
        std::int64_t got;
        std::int64_t expected;
    } cases[] = {
        {"string end after the zero", GetTheLengthOfTheStringBytes(text, 0), 3},
        {"string without a zero", GetTheLengthOfTheStringBytes(text, 3), 4},
        {"string start past the end", GetTheLengthOfTheStringBytes(text, 5), -1},
        {"string negative start", GetTheLengthOfTheStringBytes(text, -1), -1},
        {"digits up to the slash", GetTheDictionaryStringLengthfromBytes(digits, 0), 3},
        {"digits from the end", GetTheDictionaryStringLengthfromBytes(digits, 4), 5},
        {"digits of nothing", GetTheDictionaryStringLengthfromBytes({}, 0), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
}

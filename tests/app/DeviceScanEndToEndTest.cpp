// Runs torvane-scan on simulated devices: --list-devices, and --device with the stand-in
// backup tool first on the PATH.

#include "app/ScanCommandLine.h"
#include "demo-backup/DemoBackup.h"
#include "support/DeviceSimulator.h"
#include "support/HostilePlists.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr const char* kUdid = "5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e";
// --list-devices reads devices for at most 1.5 s; under a sanitizer on a busy machine, devices
// that answer may need longer (a device that does not answer costs no more: its own waits are
// shorter).
const std::string kSlowMachine = "TORVANE_LISTING_LIMIT_MS=20000";

struct Ran {
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

SimulatedDevice Phone(const std::string& udid, const std::string& name, bool paired = true) {
    SimulatedDevice phone;
    phone.udid = udid;
    phone.paired = paired;
    phone.values = {{"DeviceName", name}, {"UniqueDeviceID", udid}, {"ProductVersion", "9.3.5"},
                    {"ProductType", "iPhone8,1"}, {"SerialNumber", "F2LXK0ABCDEF"}};
    return phone;
}

class DeviceScanEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulator.setEnvironment();
        dir = fs::temp_directory_path() / ("torvane-devscan-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "bin");
        fs::create_symlink(TORVANE_STANDIN_BACKUP, dir / "bin" / "idevicebackup2");
    }
    void TearDown() override { fs::remove_all(dir); }

    // torvane-scan with the stand-in tool first on the PATH and its data and cache below `dir`.
    // A run that has not ended after `hangGuard` is killed (status 128 + 9): a hang fails the
    // test rather than the suite.
    Ran run(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnv = {},
            std::chrono::seconds hangGuard = std::chrono::seconds(600)) {
        std::vector<std::string> args = {TORVANE_SCAN_BINARY};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<std::string> env = extraEnv;
        env.push_back("XDG_CACHE_HOME=" + (dir / "cache").string());
        env.push_back("XDG_DATA_HOME=" + (dir / "data").string());
        env.push_back("PATH=" + (dir / "bin").string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : ""));
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            if (entry.rfind("XDG_CACHE_HOME=", 0) != 0 && entry.rfind("XDG_DATA_HOME=", 0) != 0 &&
                entry.rfind("PATH=", 0) != 0)
                env.push_back(entry);
        }
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Ran ran;
        if (posix_spawn(&pid, TORVANE_SCAN_BINARY, &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            const auto end = std::chrono::steady_clock::now() + hangGuard;
            while (::waitpid(pid, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > end) {
                    ::kill(pid, SIGKILL);
                    ::waitpid(pid, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        ran.out = ReadAll(dir / "out.txt");
        ran.err = ReadAll(dir / "err.txt");
        return ran;
    }

    void prepareBackup(bool withInfo = true) {
        demo::DemoBackupOptions small;
        small.messages = 10;
        small.contacts = 5;
        demo::WriteDemoBackup(dir / "source", small);
        if (!withInfo) fs::remove(dir / "source" / "Info.plist");
    }

    DeviceSimulator simulator;
    fs::path dir;
};

TEST(ScanCommandLineTest, DeviceOptions) {
    const auto device = ParseScanCommandLine({"--device", "abc", "--type", "messages"});
    ASSERT_TRUE(device.options);
    EXPECT_EQ(device.options->deviceUdid, "abc");
    EXPECT_FALSE(device.options->backupFolder);
    EXPECT_TRUE(ParseScanCommandLine({"--list-devices"}).options->listDevices);
    EXPECT_FALSE(ParseScanCommandLine({"--device"}).options);
    EXPECT_FALSE(ParseScanCommandLine({"/backups/x", "--device", "abc"}).options);
    EXPECT_NE(ScanUsage("torvane-scan").find("--list-devices"), std::string::npos);
}

TEST_F(DeviceScanEndToEndTest, ListsTheConnectedDevices) {
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    simulator.attach(Phone("0000000000000000000000000000000000000001", "Dora's iPhone", false));
    const Ran ran = run({"--list-devices"}, {kSlowMachine});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_NE(ran.out.find(std::string(kUdid) + "  Clara's iPhone  iOS 9.3.5\n"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("0000000000000000000000000000000000000001  Dora's iPhone  (locked or not trusted)\n"),
              std::string::npos)
        << ran.out;
}

TEST_F(DeviceScanEndToEndTest, NoDeviceConnected) {
    EXPECT_EQ(run({"--list-devices"}).out, "No device is connected.\n");
    const Ran ran = run({"--device", kUdid});
    EXPECT_EQ(ran.status, 6);
    EXPECT_NE(ran.err.find("no connected device " + std::string(kUdid)), std::string::npos) << ran.err;
}

TEST_F(DeviceScanEndToEndTest, BacksTheDeviceUpAndScansAndExportsTheBackup) {
    prepareBackup();
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    const Ran ran = run({"--device", kUdid, "--type", "messages", "--fast", "--export", (dir / "export").string()},
                        {"TORVANE_STANDIN_SOURCE=" + (dir / "source").string()});
    ASSERT_EQ(ran.status, 0) << ran.out << ran.err;
    const fs::path backup = dir / "data" / "torvane" / "MobileSync" / "Backup" / kUdid;
    EXPECT_NE(ran.out.find("Backing up Clara's iPhone (iOS 9.3.5) into " + backup.string()), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("Backing up the device: 100%"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("Scan completed"), std::string::npos) << ran.out;
    EXPECT_TRUE(fs::exists(backup / "Manifest.plist"));
    bool messages = false;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "export"))
        messages = messages || entry.path().filename() == "SMS.csv";
    EXPECT_TRUE(messages);
}

TEST_F(DeviceScanEndToEndTest, ARefusedBackupIsRetriedThenGivenUp) {
    prepareBackup();
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    const Ran ran = run({"--device", kUdid}, {"TORVANE_STANDIN_SOURCE=" + (dir / "source").string(),
                                              "TORVANE_STANDIN_STATUSES=1",
                                              "TORVANE_STANDIN_LOG=" + (dir / "tool.log").string()});
    EXPECT_EQ(ran.status, 7) << ran.out << ran.err;
    const std::string log = ReadAll(dir / "tool.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);  // the first run and two retries
    EXPECT_NE(ran.out.find("Please Enter your passcode on the device"), std::string::npos);
    EXPECT_EQ(ran.out.find("Scan completed"), std::string::npos);
}

TEST_F(DeviceScanEndToEndTest, ABackupWithoutItsDescriptionIsNotScanned) {
    prepareBackup(false);
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    const Ran ran = run({"--device", kUdid}, {"TORVANE_STANDIN_SOURCE=" + (dir / "source").string()});
    EXPECT_EQ(ran.status, 3) << ran.out << ran.err;
    EXPECT_NE(ran.out.find("\"Info.plist\" or \"Manifest.plist\" is missing."), std::string::npos) << ran.out;
    EXPECT_NE(ran.err.find("lacks its Info.plist or Manifest.plist"), std::string::npos);
}

// A backup tool that fails: nothing is scanned, and the tool's own words say why.
TEST_F(DeviceScanEndToEndTest, AFailedBackupEndsWithTheToolsMessage) {
    struct Case {
        const char* name;
        bool partialBackup;
        const char* status;
    };
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    for (const Case& c : {Case{"status 255 after the description files", true, "255"},
                          Case{"status 2 at once, nothing written", false, "2"}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "source");
        fs::remove_all(dir / "data");
        std::vector<std::string> env = {"TORVANE_STANDIN_STATUSES=" + std::string(c.status)};
        if (c.partialBackup) {
            prepareBackup();
            for (const auto& entry : fs::directory_iterator(dir / "source"))
                if (entry.path().filename() != "Info.plist" && entry.path().filename() != "Manifest.plist")
                    fs::remove_all(entry.path());
            env.push_back("TORVANE_STANDIN_SOURCE=" + (dir / "source").string());
        }
        const Ran ran = run({"--device", kUdid, "--type", "messages"}, env);
        EXPECT_EQ(ran.status, 7) << ran.out << ran.err;
        EXPECT_NE(ran.err.find("the backup tool ended with status " + std::string(c.status) + ": Backup Failed."),
                  std::string::npos)
            << ran.err;
        EXPECT_EQ(ran.out.find("Scan completed"), std::string::npos) << ran.out;
    }
}

// Far more than any device command may take, far less than the library's own waits.
constexpr std::chrono::seconds kHangGuard{30};

TEST_F(DeviceScanEndToEndTest, WithoutAMultiplexerTheDeviceCommandsSaySo) {
    const std::vector<std::string> nowhere = {"USBMUXD_SOCKET_ADDRESS=UNIX:" + (dir / "no-usbmuxd").string()};
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--list-devices"}, std::vector<std::string>{"--device", kUdid}}) {
        const Ran ran = run(arguments, nowhere, kHangGuard);
        EXPECT_EQ(ran.status, 6) << arguments[0] << ": " << ran.out << ran.err;
        EXPECT_NE(ran.err.find("cannot reach the device multiplexer"), std::string::npos) << ran.err;
        EXPECT_EQ(ran.out.find("No device is connected."), std::string::npos) << ran.out;
    }
}

struct MultiplexerCase {
    const char* name;
    MuxListing listing;
};

class MisbehavingMultiplexerEndToEndTest : public DeviceScanEndToEndTest,
                                           public ::testing::WithParamInterface<MultiplexerCase> {};

TEST_P(MisbehavingMultiplexerEndToEndTest, TheDeviceCommandsEndWithNoDeviceRatherThanAnAbort) {
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    simulator.setListing(GetParam().listing);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--list-devices"}, std::vector<std::string>{"--device", kUdid}}) {
        const Ran ran = run(arguments, {}, kHangGuard);
        EXPECT_EQ(ran.status, 6) << arguments[0] << ": " << ran.out << ran.err;
        EXPECT_NE(ran.err.find("device multiplexer"), std::string::npos) << ran.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MisbehavingMultiplexerEndToEndTest,
                         ::testing::Values(MultiplexerCase{"ClosesEarly", MuxListing::CloseEarly},
                                           MultiplexerCase{"SendsGarbage", MuxListing::Garbage},
                                           MultiplexerCase{"NeverAnswers", MuxListing::NeverAnswer}),
                         [](const auto& p) { return std::string(p.param.name); });

// Devices whose lockdownd never answers, or answers with a property list nested far too deep,
// are named as devices that do not answer, and the device commands end with "no device".
struct SilentLockdownCase {
    const char* name;
    int devices;
    std::string answer;  // empty: no answer at all
};

class SilentLockdownTest : public DeviceScanEndToEndTest,
                           public ::testing::WithParamInterface<SilentLockdownCase> {};

TEST_P(SilentLockdownTest, TheDevicesAreNamedAsNotAnswering) {
    std::vector<std::string> udids;
    for (int i = 0; i < GetParam().devices; ++i) {
        char udid[41];
        std::snprintf(udid, sizeof udid, "5e5e%036d", i);
        SimulatedDevice phone = Phone(udid, "Clara's iPhone");
        phone.lockdownSilent = GetParam().answer.empty();
        phone.lockdownAnswer = GetParam().answer;
        simulator.attach(phone);
        udids.push_back(udid);
    }
    // A listing limit that leaves a slow (instrumented, loaded) machine time for the multiplexer's
    // list after the reads have given up.
    const Ran listed = run({"--list-devices"}, {"TORVANE_LISTING_LIMIT_MS=4500"}, kHangGuard);
    EXPECT_EQ(listed.status, 6) << listed.out << listed.err;
    // The identifiers the multiplexer gave, for --device.
    for (const std::string& udid : udids)
        EXPECT_NE(listed.out.find(udid + "  (does not answer)\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.err.find(udids.size() == 1 ? "1 device does not answer"
                                                : std::to_string(udids.size()) + " devices do not answer"),
              std::string::npos)
        << listed.err;

    const Ran device = run({"--device", udids[0]}, {"TORVANE_STANDIN_LOG=" + (dir / "tool.log").string()}, kHangGuard);
    EXPECT_EQ(device.status, 6) << device.out << device.err;
    EXPECT_FALSE(fs::exists(dir / "tool.log"));
}

INSTANTIATE_TEST_SUITE_P(Cases, SilentLockdownTest,
                         ::testing::Values(SilentLockdownCase{"OneDevice", 1, ""},
                                           SilentLockdownCase{"TwentyDevices", 20, ""},
                                           SilentLockdownCase{"AnswersNestedTooDeep", 1,
                                                              testsupport::NestedXml(200000)}),
                         [](const auto& p) { return std::string(p.param.name); });

// Devices the multiplexer lists but cannot connect to are named, beside the one that answers,
// and the device commands end with "no device" rather than after several seconds per device.
TEST_F(DeviceScanEndToEndTest, DevicesWhoseConnectionIsNeverAnsweredAreNamed) {
    const std::vector<std::string> silent = {"1111111111111111111111111111111111111111",
                                             "2222222222222222222222222222222222222222",
                                             "3333333333333333333333333333333333333333"};
    for (const std::string& udid : silent) {
        SimulatedDevice phone = Phone(udid, "Silent iPhone");
        phone.connectSilent = true;
        simulator.attach(phone);
    }
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    const Ran listed = run({"--list-devices"}, {kSlowMachine}, kHangGuard);
    EXPECT_EQ(listed.status, 6) << listed.out << listed.err;
    EXPECT_NE(listed.out.find(std::string(kUdid) + "  Clara's iPhone  iOS 9.3.5\n"), std::string::npos) << listed.out;
    for (const std::string& udid : silent)
        EXPECT_NE(listed.out.find(udid + "  (does not answer)\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.err.find("3 devices do not answer"), std::string::npos) << listed.err;

    const Ran device = run({"--device", silent[1]}, {"TORVANE_STANDIN_LOG=" + (dir / "tool.log").string()}, kHangGuard);
    EXPECT_EQ(device.status, 6) << device.out << device.err;
    EXPECT_NE(device.err.find(silent[1] + " is connected but does not answer"), std::string::npos) << device.err;
    EXPECT_FALSE(fs::exists(dir / "tool.log"));
}

// A multiplexer that stops answering after the device has arrived: its details cannot be read
// whole, so no backup is started into a folder without a name.
TEST_F(DeviceScanEndToEndTest, AMultiplexerThatStallsStartsNoBackup) {
    simulator.attach(Phone(kUdid, "Clara's iPhone"));
    simulator.answerConnects(2);  // the arrival, and the first of the device's details
    const Ran ran = run({"--device", kUdid}, {"TORVANE_STANDIN_LOG=" + (dir / "tool.log").string()}, kHangGuard);
    EXPECT_EQ(ran.status, 6) << ran.out << ran.err;
    EXPECT_EQ(ran.out.find("Backing up"), std::string::npos) << ran.out;
    EXPECT_FALSE(fs::exists(dir / "tool.log"));
}

// The listing asks the multiplexer for its device list a few times, not once per device: the
// cost of a listing grows with the number of devices, not with its square.
TEST_F(DeviceScanEndToEndTest, ListingManyDevicesAsksForTheDeviceListAFewTimes) {
    constexpr int kDevices = 60;
    for (int i = 0; i < kDevices; ++i) {
        char udid[41];
        std::snprintf(udid, sizeof udid, "%040d", i);
        simulator.attach(Phone(udid, "Phone " + std::to_string(i)));
    }
    const Ran listed = run({"--list-devices"}, {kSlowMachine}, kHangGuard);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), kDevices) << listed.out;
    EXPECT_LT(simulator.listingRequests(), 10);
}

TEST_F(DeviceScanEndToEndTest, AnUntrustedDeviceIsNotBackedUp) {
    simulator.attach(Phone(kUdid, "Clara's iPhone", false));
    const Ran ran = run({"--device", kUdid}, {"TORVANE_STANDIN_LOG=" + (dir / "tool.log").string()});
    EXPECT_EQ(ran.status, 6) << ran.out << ran.err;
    EXPECT_NE(ran.err.find("unlock it and trust this computer"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(dir / "tool.log"));
}

}  // namespace

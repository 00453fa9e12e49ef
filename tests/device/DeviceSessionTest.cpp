#include "device/AFCDirectoryAccess.h"
#include "device/AMApplication.h"
#include "device/AMDevice.h"
#include "device/DeviceTestSupport.h"
#include "device/MobileDeviceAccess.h"
#include "support/HostilePlists.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr const char* kUdid = "b9f3c0e1d2a34b5c6d7e8f90a1b2c3d4e5f60718";

class DeviceSessionTest : public ::testing::Test {
protected:
    void SetUp() override { simulator.setEnvironment(); }

    // Plugs the phone in and answers the listed device.
    std::shared_ptr<AMDevice> plugIn(SimulatedDevice phone) {
        access = std::make_unique<MobileDeviceAccess>();
        access->setListener(&listener, loop.poster());
        simulator.attach(std::move(phone));
        if (!loop.runUntil([&] { return !access->devices().empty(); })) return nullptr;
        return access->devices().front();
    }

    DeviceSimulator simulator;
    TestLoop loop;
    MobileDeviceAccessListener listener;
    std::unique_ptr<MobileDeviceAccess> access;
};

TEST_F(DeviceSessionTest, ValuesAreReadInASessionThatIsClosedAgain) {
    const auto device = plugIn(TestPhone(kUdid));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->deviceValueForKey("ProductVersion").asString(), "9.3.2");
    EXPECT_EQ(device->deviceValueForKey("PhoneNumber").asString(), "+49 170 1234567");
    EXPECT_EQ(device->serialNumber(), "F2LQX0ABGRY5");
    EXPECT_EQ(device->productType(), "iPhone8,1");
    EXPECT_EQ(device->description(), "AMDevice('Anna's iPhone')");
    EXPECT_FALSE(device->connected());
    EXPECT_FALSE(device->insession());
    EXPECT_EQ(simulator.openSessions(), 0);

    // A key the device lacks is no failure.
    EXPECT_TRUE(device->deviceValueForKey("BasebandVersion").isNone());
    EXPECT_FALSE(device->lasterror());

    const PlistValue all = device->allDeviceValuesForDomain(nullptr);
    EXPECT_EQ(all.stringFor("DeviceName"), "Anna's iPhone");
}

TEST_F(DeviceSessionTest, AnOpenSessionIsLeftOpen) {
    const auto device = plugIn(TestPhone(kUdid));
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->deviceConnect());
    ASSERT_TRUE(device->startSession());
    EXPECT_EQ(device->deviceValueForKey("SerialNumber").asString(), "F2LQX0ABGRY5");
    EXPECT_TRUE(device->connected());
    EXPECT_TRUE(device->insession());
    EXPECT_EQ(simulator.openSessions(), 1);
    EXPECT_TRUE(device->stopSession());
    EXPECT_TRUE(device->deviceDisconnect());
}

struct RefusingCase {
    const char* name;
    bool paired;
    bool locked;
};

class RefusingDeviceTest : public DeviceSessionTest,
                           public ::testing::WithParamInterface<RefusingCase> {};

TEST_P(RefusingDeviceTest, NameAndIdentifierAreKnownButNoValue) {
    SimulatedDevice phone = TestPhone(kUdid);
    phone.paired = GetParam().paired;
    phone.locked = GetParam().locked;
    const auto device = plugIn(phone);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->udid(), kUdid);
    EXPECT_EQ(device->deviceName(), "Anna's iPhone");
    EXPECT_TRUE(device->deviceValueForKey("SerialNumber").isNone());
    ASSERT_TRUE(device->lasterror());
    EXPECT_EQ(device->lasterror()->rfind("AMDeviceStartSession failed: ", 0), 0u) << *device->lasterror();
    EXPECT_FALSE(device->connected());
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusingDeviceTest,
                         ::testing::Values(RefusingCase{"NotTrusted", false, false},
                                           RefusingCase{"PasscodeLocked", true, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(DeviceSessionTest, ALockdownThatNeverAnswersFailsEachReadByTheDeadline) {
    SimulatedDevice phone = TestPhone(kUdid);
    phone.lockdownSilent = true;
    // Arrivals are read on this thread (the test's loop is also where they are read), as the
    // deadline's reads are. The phone is plugged in first, so that the subscription names it at
    // once, well within the deadline, which also bounds the requests to the multiplexer.
    simulator.attach(phone);
    const DeviceReadDeadline deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(1000));
    access = std::make_unique<MobileDeviceAccess>();
    access->setListener(&listener, loop.poster(), loop.poster());
    ASSERT_TRUE(loop.runUntil([&] { return !access->devices().empty(); }));
    const auto device = access->devices().front();  // the multiplexer names it, though it tells nothing
    EXPECT_FALSE(device->deviceName());
    // The identifier the multiplexer gave.
    EXPECT_EQ(device->udid(), kUdid);
    EXPECT_TRUE(device->deviceValueForKey("ProductVersion").isNone());
    ASSERT_TRUE(device->lasterror());
    // Timed out: once the deadline has passed, not even a connection is asked for.
    EXPECT_EQ(*device->lasterror(), "AMDeviceConnect failed: e8000106");
    EXPECT_FALSE(device->connected());
    EXPECT_FALSE(device->newAFCMediaDirectory());
    EXPECT_EQ(simulator.openSessions(), 0);
    EXPECT_GE(simulator.lockdownRequests(kUdid).size(), 1u);
}

// A device whose lockdownd answers with a property list nested far too deep is one that does
// not answer: its answers are refused before they are parsed.
TEST_F(DeviceSessionTest, AnAnswerNestedTooDeepIsNoAnswer) {
    const struct {
        const char* name;
        std::string answer;
    } cases[] = {
        {"XML, 200000 levels", testsupport::NestedXml(200000)},
        {"XML, 200000 levels, closing tags in comments", testsupport::NestedXml(200000, true)},
        {"binary, 100000 levels", testsupport::ChainedBinary(100002)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice phone = TestPhone(kUdid);
        phone.lockdownAnswer = c.answer;
        const auto device = plugIn(phone);
        ASSERT_TRUE(device);
        EXPECT_FALSE(device->deviceName());
        EXPECT_TRUE(device->deviceValueForKey("ProductVersion").isNone());
        simulator.detach(kUdid);
        ASSERT_TRUE(loop.runUntil([&] { return access->devices().empty(); }));
        access.reset();
    }
}

// The installation service is read through the device library's own client, whose answers
// are judged by their shape before they are parsed too: a deep one is no answer.
TEST_F(DeviceSessionTest, AnApplicationListNestedTooDeepIsNoList) {
    for (const std::string& answer : {testsupport::NestedXml(200000), testsupport::ChainedBinary(100002)}) {
        SimulatedDevice phone = TestPhone(kUdid);
        phone.serviceAnswers["com.apple.mobile.installation_proxy"] = answer;
        const auto device = plugIn(phone);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->deviceName(), "Anna's iPhone");
        EXPECT_FALSE(device->installedApplications());
        simulator.detach(kUdid);
        ASSERT_TRUE(loop.runUntil([&] { return access->devices().empty(); }));
        access.reset();
    }
}

TEST_F(DeviceSessionTest, AnUnpluggedDeviceAnswersOnlyWhatItKnew) {
    const auto device = plugIn(TestPhone(kUdid));
    ASSERT_TRUE(device);
    simulator.detach(kUdid);
    ASSERT_TRUE(loop.runUntil([&] { return access->devices().empty(); }));
    EXPECT_TRUE(device->deviceValueForKey("ProductVersion").isNone());
    EXPECT_EQ(device->udid(), kUdid);
    EXPECT_FALSE(device->newAFCMediaDirectory());
}

TEST_F(DeviceSessionTest, InstalledApplicationsAreTheUsersOnes) {
    SimulatedDevice phone = TestPhone(kUdid);
    phone.apps["com.example.notes"].info = {{"CFBundleIdentifier", "com.example.notes"},
                                            {"CFBundleName", "Notes+"},
                                            {"ApplicationType", "User"}};
    phone.apps["com.apple.mobilesafari"].info = {{"CFBundleIdentifier", "com.apple.mobilesafari"},
                                                 {"CFBundleDisplayName", "Safari"},
                                                 {"ApplicationType", "System"}};
    const auto device = plugIn(phone);
    ASSERT_TRUE(device);
    const auto apps = device->installedApplications();
    ASSERT_TRUE(apps);
    ASSERT_EQ(apps->size(), 1u);
    EXPECT_EQ(apps->front()->appname(), "Notes+");
    const auto safari = device->installedApplicationWithId("com.apple.mobilesafari");
    ASSERT_TRUE(safari);
    EXPECT_EQ(safari->appname(), "Safari");
    EXPECT_FALSE(device->installedApplicationWithId("com.example.missing"));
    EXPECT_EQ(simulator.openSessions(), 0);
}

}  // namespace

#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "device/DeviceTestSupport.h"
#include "support/HostilePlists.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// Notes each call with the size of the device list at that moment.
class RecordingListener : public MobileDeviceAccessListener {
public:
    explicit RecordingListener(MobileDeviceAccess& access) : access_(access) {}
    void deviceConnected(const std::shared_ptr<AMDevice>& device) override {
        calls.push_back("connected " + device->udid().value_or("?") + " " +
                        device->deviceName().value_or("?") + " listed " +
                        std::to_string(access_.devices().size()));
        lastConnected = device;
    }
    void deviceDisconnected(const std::shared_ptr<AMDevice>& device) override {
        calls.push_back("disconnected " + device->udid().value_or("?") + " listed " +
                        std::to_string(access_.devices().size()));
        lastDisconnected = device;
    }
    std::vector<std::string> calls;
    std::shared_ptr<AMDevice> lastConnected, lastDisconnected;

private:
    MobileDeviceAccess& access_;
};

class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override { simulator.setEnvironment(); }
    DeviceSimulator simulator;
    TestLoop loop;
};

TEST_F(DeviceListTest, ArrivalAndDepartureAreAnnouncedOnceEach) {
    MobileDeviceAccess access;
    RecordingListener listener(access);
    ASSERT_TRUE(access.setListener(&listener, loop.poster()));
    ASSERT_TRUE(access.subscribed());
    loop.drain();
    EXPECT_TRUE(access.devices().empty());
    EXPECT_TRUE(listener.calls.empty());

    simulator.attach(TestPhone("a1b2c3d4e5f60718293a4b5c6d7e8f9012345678"));
    ASSERT_TRUE(loop.runUntil([&] { return listener.calls.size() == 1; }));
    EXPECT_EQ(listener.calls[0],
              "connected a1b2c3d4e5f60718293a4b5c6d7e8f9012345678 Anna's iPhone listed 1");
    // The listed device holds neither a connection nor a session.
    EXPECT_FALSE(listener.lastConnected->connected());
    EXPECT_FALSE(listener.lastConnected->insession());

    simulator.detach("a1b2c3d4e5f60718293a4b5c6d7e8f9012345678");
    ASSERT_TRUE(loop.runUntil([&] { return listener.calls.size() == 2; }));
    EXPECT_EQ(listener.calls[1], "disconnected a1b2c3d4e5f60718293a4b5c6d7e8f9012345678 listed 1");
    EXPECT_TRUE(access.devices().empty());
    loop.drain();
    EXPECT_EQ(listener.calls.size(), 2u);

    // The departed device still answers its identifier but reaches nothing.
    EXPECT_EQ(listener.lastDisconnected->udid(), "a1b2c3d4e5f60718293a4b5c6d7e8f9012345678");
    EXPECT_TRUE(listener.lastDisconnected->deviceValueForKey("ProductVersion").isNone());
}

// An arriving device is read off the main loop: one whose lockdownd never answers does not hold
// the loop while its read waits, and is listed (with the multiplexer's identifier, without a
// name) once the read has given up.
TEST_F(DeviceListTest, ADeviceThatDoesNotAnswerDoesNotHoldTheMainLoop) {
    MobileDeviceAccess access;
    RecordingListener listener(access);
    access.setListener(&listener, loop.poster());
    const std::string udid = "5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a";
    SimulatedDevice phone = TestPhone(udid);
    phone.lockdownSilent = true;
    simulator.attach(phone);
    // The arrival has reached the loop and the device's read has begun.
    ASSERT_TRUE(loop.runUntil([&] { return !simulator.lockdownRequests(udid).empty(); }));
    bool ran = false;
    loop.poster()([&] { ran = true; });
    ASSERT_TRUE(loop.runUntil([&] { return ran; }));
    EXPECT_TRUE(access.devices().empty());
    EXPECT_TRUE(listener.calls.empty());
    ASSERT_TRUE(loop.runUntil([&] { return listener.calls.size() == 1; }));
    EXPECT_EQ(listener.calls[0], "connected " + udid + " ? listed 1");
}

TEST_F(DeviceListTest, AListenerThatImplementsNothingStillSeesTheListChange) {
    MobileDeviceAccess access;
    MobileDeviceAccessListener silent;
    access.setListener(&silent, loop.poster());
    simulator.attach(TestPhone("00008030-001a2b3c4d5e6f70"));
    ASSERT_TRUE(loop.runUntil([&] { return access.devices().size() == 1; }));
    simulator.detach("00008030-001a2b3c4d5e6f70");
    ASSERT_TRUE(loop.runUntil([&] { return access.devices().empty(); }));
}

TEST_F(DeviceListTest, UnknownDeparturesAndOtherCodesChangeNothing) {
    MobileDeviceAccess access;
    RecordingListener listener(access);
    access.setListener(&listener, loop.poster());
    simulator.attach(TestPhone("1111111111111111111111111111111111111111"));
    ASSERT_TRUE(loop.runUntil([&] { return access.devices().size() == 1; }));

    access.Notify({std::shared_ptr<DeviceHandle>(), ADNCI_MSG_DISCONNECTED});
    access.Notify({std::shared_ptr<DeviceHandle>(), 3});
    EXPECT_EQ(access.devices().size(), 1u);
    EXPECT_EQ(listener.calls.size(), 1u);
}

// The descriptors this process has open.
int OpenDescriptors() {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

struct MultiplexerCase {
    const char* name;
    MuxListing listing;
    bool running = true;  // false: nothing listens where the multiplexer should be
    std::string answer = {};  // the property list of a scripted answer
};

class MisbehavingMultiplexerTest : public DeviceListTest,
                                   public ::testing::WithParamInterface<MultiplexerCase> {};

TEST_P(MisbehavingMultiplexerTest, NothingIsListedNothingAbortsAndNoDescriptorIsKept) {
    simulator.attach(TestPhone("2222222222222222222222222222222222222222"));
    simulator.setListing(GetParam().listing);
    if (GetParam().listing == MuxListing::Scripted) simulator.setListingAnswer(GetParam().answer);
    if (!GetParam().running)
        ::setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + simulator.socketPath() + ".absent").c_str(), 1);
    const int before = OpenDescriptors();
    {
        MobileDeviceAccess access;
        MobileDeviceAccessListener silent;
        access.setListener(&silent, loop.poster());
        EXPECT_TRUE(access.subscribed());
        EXPECT_FALSE(access.multiplexerAnswers());
        // The subscription keeps asking, each time on a connection that it closes again.
        int peak = 0;
        const auto asked = [&] {
            peak = std::max(peak, OpenDescriptors());
            return simulator.listingRequests() >= 3;
        };
        if (GetParam().running)
            ASSERT_TRUE(loop.runUntil(asked));
        else
            loop.runUntil([&] { return asked() && false; }, std::chrono::seconds(2));
        // At most the question in flight, on both ends of the simulated socket.
        EXPECT_LE(peak, before + 2);
        EXPECT_TRUE(access.devices().empty());
        EXPECT_FALSE(access.multiplexerAnswers());
    }
    // The simulator closes its end of the last connection once it sees it closed.
    EXPECT_TRUE(loop.runUntil([&] { return OpenDescriptors() <= before; }));
}

INSTANTIATE_TEST_SUITE_P(Cases, MisbehavingMultiplexerTest,
                         ::testing::Values(MultiplexerCase{"ClosesEarly", MuxListing::CloseEarly},
                                           MultiplexerCase{"SendsGarbage", MuxListing::Garbage},
                                           MultiplexerCase{"NeverAnswers", MuxListing::NeverAnswer},
                                           MultiplexerCase{"NotRunning", MuxListing::Answer, false},
                                           MultiplexerCase{"NestsItsXmlListTooDeep", MuxListing::Scripted, true,
                                                           testsupport::NestedXml(200000)},
                                           MultiplexerCase{"NestsItsBinaryListTooDeep", MuxListing::Scripted, true,
                                                           testsupport::ChainedBinary(100002)}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(DeviceListTest, AMultiplexerThatAnswersAgainBringsItsDevices) {
    simulator.setListing(MuxListing::CloseEarly);
    MobileDeviceAccess access;
    RecordingListener listener(access);
    access.setListener(&listener, loop.poster());
    ASSERT_TRUE(access.subscribed());
    EXPECT_FALSE(access.multiplexerAnswers());
    simulator.attach(TestPhone("3333333333333333333333333333333333333333", "Bea's iPhone"));
    simulator.setListing(MuxListing::Answer);
    ASSERT_TRUE(loop.runUntil([&] { return listener.calls.size() == 1; }));
    EXPECT_EQ(listener.calls[0], "connected 3333333333333333333333333333333333333333 Bea's iPhone listed 1");
    EXPECT_TRUE(access.multiplexerAnswers());

    // A multiplexer that stops answering takes its devices with it after a few questions.
    simulator.setListing(MuxListing::NeverAnswer);
    ASSERT_TRUE(loop.runUntil([&] { return listener.calls.size() == 2; }));
    EXPECT_EQ(listener.calls[1], "disconnected 3333333333333333333333333333333333333333 listed 1");
    EXPECT_FALSE(access.multiplexerAnswers());
}

TEST_F(DeviceListTest, WithoutAMainLoopThereIsNoSubscription) {
    MobileDeviceAccess access;
    MobileDeviceAccessListener silent;
    EXPECT_TRUE(access.setListener(&silent));
    EXPECT_FALSE(access.subscribed());
    EXPECT_TRUE(access.devices().empty());
}

}  // namespace

namespace {

// waitForConnection: false at once without a subscription; with one, it returns on the next
// arrival or departure, and a notification of another kind does not end the wait. Each wait is
// known to have begun before the notification it is to see.
TEST_F(DeviceListTest, WaitForConnectionReturnsOnTheNextArrivalOrDeparture) {
    MobileDeviceAccess unsubscribed;
    EXPECT_FALSE(unsubscribed.waitForConnection());

    MobileDeviceAccess access;
    MobileDeviceAccessListener silent;
    access.setListener(&silent, loop.poster());
    ASSERT_TRUE(access.subscribed());
    loop.drain();
    const auto waitFor = [&] {
        auto waited = std::async(std::launch::async, [&] { return access.waitForConnection(); });
        EXPECT_TRUE(loop.runUntil([&] { return access.waitingForConnection(); }));
        return waited;
    };

    auto arrival = waitFor();
    for (const std::uint32_t other : {ADNCI_MSG_UNKNOWN, 4u, 0u}) {
        access.Notify(AMDeviceNotificationInfo{nullptr, other});
        EXPECT_TRUE(access.waitingForConnection()) << other;
    }
    const std::string udid = "c0ffee00c0ffee00c0ffee00c0ffee00c0ffee00";
    simulator.attach(TestPhone(udid));
    ASSERT_TRUE(loop.runUntil([&] { return access.devices().size() == 1; }));
    EXPECT_FALSE(access.waitingForConnection());
    // Bounded only so that a wait that never ends fails the test rather than hanging it.
    ASSERT_EQ(arrival.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(arrival.get());

    auto departure = waitFor();
    simulator.detach(udid);
    ASSERT_TRUE(loop.runUntil([&] { return access.devices().empty(); }));
    EXPECT_FALSE(access.waitingForConnection());
    ASSERT_EQ(departure.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(departure.get());
}

}  // namespace

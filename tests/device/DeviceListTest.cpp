#include "device/AMDevice.h"
#include "device/MobileDeviceAccess.h"
#include "device/DeviceTestSupport.h"

#include <gtest/gtest.h>

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

TEST_F(DeviceListTest, WithoutAMainLoopThereIsNoSubscription) {
    MobileDeviceAccess access;
    MobileDeviceAccessListener silent;
    EXPECT_TRUE(access.setListener(&silent));
    EXPECT_FALSE(access.subscribed());
    EXPECT_TRUE(access.devices().empty());
}

}  // namespace

#pragma once

#include "device/MobileDeviceFramework.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class AMDevice;

// Told of each device's arrival and departure, on the main loop; both are optional.
class MobileDeviceAccessListener {
public:
    virtual ~MobileDeviceAccessListener() = default;
    // After the device is in the list; it holds neither connection nor session, and its udid and
    // deviceName were read on arrival (either may be none).
    virtual void deviceConnected(const std::shared_ptr<AMDevice>& /*device*/) {}
    // While the device is still in the list; it can no longer reach the hardware.
    virtual void deviceDisconnected(const std::shared_ptr<AMDevice>& /*device*/) {}
};

// The process's access to connected devices: one subscription to device arrival and departure,
// the list of connected devices in order of arrival, and one listener told of each change.
// The notifications arrive through the main loop given with the listener, so the list changes
// and the listener calls happen there; the list itself may be read from any thread.
class MobileDeviceAccess {
public:
    // The one instance, made on first use; never destroyed while the process runs.
    static std::shared_ptr<MobileDeviceAccess> singleton();

    MobileDeviceAccess();
    // Ends the subscription: a destroyed object hears of no further device.
    ~MobileDeviceAccess();
    MobileDeviceAccess(const MobileDeviceAccess&) = delete;
    MobileDeviceAccess& operator=(const MobileDeviceAccess&) = delete;

    // Stores the listener (not owned); with a listener and no subscription yet, subscribes with
    // `mainLoop` as the loop the notifications come through. Always true; whether the
    // subscription is in force is subscribed().
    bool setListener(MobileDeviceAccessListener* listener, RunLoopPoster mainLoop = {});
    bool subscribed() const;
    // Whether the device multiplexer (usbmuxd) answered its latest question for the device
    // list; false without a subscription. A subscription made while it does not answer keeps
    // asking, so devices still arrive once it does.
    bool multiplexerAnswers() const;

    // A framework notification: 1 arrived, 2 left, anything else is ignored.
    void Notify(const AMDeviceNotificationInfo& info);
    void detachDevice(const std::shared_ptr<AMDevice>& device);
    // Every listed device stops its session and disconnects.
    void applicationWillTerminate();
    // Waits (off the main loop) until the next arrival or departure; false when not subscribed.
    bool waitForConnection();
    std::string clientVersion() const;

    // The connected devices, in order of arrival.
    std::vector<std::shared_ptr<AMDevice>> devices() const;

    static void notify_callback(const AMDeviceNotificationInfo* info, void* context);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    MobileDeviceAccessListener* listener_ = nullptr;
    bool subscribed_ = false;
    AMDeviceNotification* notification_ = nullptr;
    std::vector<std::shared_ptr<AMDevice>> devices_;
    bool waitingInRunLoop_ = false;
    std::uint64_t changes_ = 0;
};

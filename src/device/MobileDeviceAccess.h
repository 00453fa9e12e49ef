#pragma once

#include "device/MobileDeviceFramework.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
// the list of connected devices, and one listener told of each change. The notifications
// arrive through the main loop given with the listener, so the list changes and the listener
// calls happen there; the list itself may be read from any thread.
//
// An arriving device is read (its name and identifier) off the main loop, since a device may
// take seconds to answer or never answer: by default on a thread of its own per arrival, or
// through the `readers` given with the listener. The device is listed, and the listener told,
// on the main loop once it has been read, so devices are listed in the order their reads end.
// A device that leaves while it is being read is never listed.
class MobileDeviceAccess {
public:
    // The one instance, made on first use; never destroyed while the process runs.
    static std::shared_ptr<MobileDeviceAccess> singleton();

    MobileDeviceAccess();
    // Ends the subscription: a destroyed object hears of no further device. Destroyed on the main
    // loop given with the listener, or once that loop no longer runs.
    ~MobileDeviceAccess();
    MobileDeviceAccess(const MobileDeviceAccess&) = delete;
    MobileDeviceAccess& operator=(const MobileDeviceAccess&) = delete;

    // Stores the listener (not owned); with a listener and no subscription yet, subscribes with
    // `mainLoop` as the loop the notifications come through, and `readers` (none: a thread of
    // this object's own per arrival) as where arriving devices are read. Always true; whether
    // the subscription is in force is subscribed().
    bool setListener(MobileDeviceAccessListener* listener, RunLoopPoster mainLoop = {},
                     RunLoopPoster readers = {});
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
    // Waits (off the main loop) until the next arrival (once the device has been read) or
    // departure; false when not subscribed.
    bool waitForConnection();
    // Whether a waitForConnection is waiting now: true from its start until the arrival or
    // departure that ends it.
    bool waitingForConnection() const;
    std::string clientVersion() const;

    // The connected devices, in order of arrival.
    std::vector<std::shared_ptr<AMDevice>> devices() const;

    static void notify_callback(const AMDeviceNotificationInfo* info, void* context);

private:

    // Main loop: an arriving device has been read (none: it could not be connected).
    void arrived(const AMDeviceRef& handle, std::shared_ptr<AMDevice> device);
    // Starts reading the arriving device where the readers run.
    void read(const AMDeviceRef& handle);
    // An arrival or departure: ends a waitForConnection.
    void changed();

    mutable std::mutex mutex_;
    // What the reads of arriving devices share with this object: whether it still lives. The
    // object goes on its main loop (or once that loop no longer runs), so a read's result that
    // reaches the loop finds it either alive or gone.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    RunLoopPoster mainLoop_;
    RunLoopPoster readers_;
    // Arrivals being read, by handle; a departure takes its handle out.
    std::vector<AMDeviceRef> reading_;
    // The threads of this object's own readers, each with whether it has ended.
    std::list<std::pair<std::jthread, std::shared_ptr<std::atomic<bool>>>> readerThreads_;
    std::condition_variable changed_;
    MobileDeviceAccessListener* listener_ = nullptr;
    bool subscribed_ = false;
    AMDeviceNotification* notification_ = nullptr;
    std::vector<std::shared_ptr<AMDevice>> devices_;
    bool waitingInRunLoop_ = false;
    std::uint64_t changes_ = 0;
};

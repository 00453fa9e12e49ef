#include "device/MobileDeviceAccess.h"

#include "device/AMDevice.h"

#include <algorithm>
#include <iostream>

std::shared_ptr<MobileDeviceAccess> MobileDeviceAccess::singleton() {
    static std::mutex lock;
    static std::shared_ptr<MobileDeviceAccess> instance;
    std::lock_guard guard(lock);
    if (!instance) instance = std::make_shared<MobileDeviceAccess>();
    return instance;
}

MobileDeviceAccess::MobileDeviceAccess() = default;

MobileDeviceAccess::~MobileDeviceAccess() {
    AMDeviceNotification* notification = nullptr;
    {
        std::lock_guard lock(mutex_);
        notification = notification_;
        notification_ = nullptr;
        subscribed_ = false;
    }
    if (notification) AMDeviceNotificationUnsubscribe(notification);
}

bool MobileDeviceAccess::setListener(MobileDeviceAccessListener* listener, RunLoopPoster mainLoop) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
    if (listener && !subscribed_) {
        if (!mainLoop) {
            std::cerr << "MobileDeviceAccess: no main loop to deliver device notifications on\n";
            return true;
        }
        AMDeviceNotification* notification = nullptr;
        const std::int32_t status =
            AMDeviceNotificationSubscribe(notify_callback, 0, 0, this, &notification, std::move(mainLoop));
        if (status == 0) {
            notification_ = notification;
            subscribed_ = true;
        } else {
            std::cerr << "MobileDeviceAccess: device notifications unavailable (status " << std::hex
                      << status << std::dec << ")\n";
        }
    }
    return true;
}

bool MobileDeviceAccess::subscribed() const {
    std::lock_guard lock(mutex_);
    return subscribed_;
}

bool MobileDeviceAccess::multiplexerAnswers() const {
    std::lock_guard lock(mutex_);
    return subscribed_ && AMDeviceNotificationMultiplexerAnswers(notification_);
}

void MobileDeviceAccess::notify_callback(const AMDeviceNotificationInfo* info, void* context) {
    if (info && context) static_cast<MobileDeviceAccess*>(context)->Notify(*info);
}

void MobileDeviceAccess::Notify(const AMDeviceNotificationInfo& info) {
    if (info.msg == ADNCI_MSG_CONNECTED) {
        // Connecting talks to the device: not under the list's lock.
        std::shared_ptr<AMDevice> device = AMDevice::deviceFrom(info.device);
        if (device) {
            MobileDeviceAccessListener* listener = nullptr;
            {
                std::lock_guard lock(mutex_);
                devices_.push_back(device);
                listener = listener_;
            }
            if (listener) listener->deviceConnected(device);
        }
    } else if (info.msg == ADNCI_MSG_DISCONNECTED) {
        std::shared_ptr<AMDevice> device;
        MobileDeviceAccessListener* listener = nullptr;
        {
            std::lock_guard lock(mutex_);
            for (const auto& listed : devices_)
                if (listed->isDevice(info.device)) {
                    device = listed;
                    break;
                }
            listener = listener_;
        }
        if (device) {
            device->forgetDevice();
            if (listener) listener->deviceDisconnected(device);
            std::lock_guard lock(mutex_);
            const auto found = std::find(devices_.begin(), devices_.end(), device);
            if (found != devices_.end()) devices_.erase(found);
        }
    } else {
        return;
    }
    std::lock_guard lock(mutex_);
    ++changes_;
    if (waitingInRunLoop_) changed_.notify_all();
}

void MobileDeviceAccess::detachDevice(const std::shared_ptr<AMDevice>& device) {
    std::lock_guard lock(mutex_);
    const auto found = std::find(devices_.begin(), devices_.end(), device);
    if (found != devices_.end()) devices_.erase(found);
}

void MobileDeviceAccess::applicationWillTerminate() {
    for (const auto& device : devices()) device->applicationWillTerminate();
}

bool MobileDeviceAccess::waitForConnection() {
    std::unique_lock lock(mutex_);
    if (!subscribed_) return false;
    waitingInRunLoop_ = true;
    const std::uint64_t seen = changes_;
    changed_.wait(lock, [&] { return changes_ != seen; });
    waitingInRunLoop_ = false;
    return true;
}

std::string MobileDeviceAccess::clientVersion() const {
    return AFCGetClientVersionString();
}

std::vector<std::shared_ptr<AMDevice>> MobileDeviceAccess::devices() const {
    std::lock_guard lock(mutex_);
    return devices_;
}

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
    *alive_ = false;  // a read that ends from now on lists nothing
    std::list<std::pair<std::jthread, std::shared_ptr<std::atomic<bool>>>> readers;
    {
        std::lock_guard lock(mutex_);
        readers = std::move(readerThreads_);
    }
    readers.clear();  // each read ends within the device layer's limits
}

bool MobileDeviceAccess::setListener(MobileDeviceAccessListener* listener, RunLoopPoster mainLoop,
                                     RunLoopPoster readers) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
    if (listener && !subscribed_) {
        if (!mainLoop) {
            std::cerr << "MobileDeviceAccess: no main loop to deliver device notifications on\n";
            return true;
        }
        mainLoop_ = mainLoop;
        readers_ = std::move(readers);
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
        {
            std::lock_guard lock(mutex_);
            reading_.push_back(info.device);
        }
        read(info.device);
        return;  // the arrival counts once the device has been read
    }
    if (info.msg != ADNCI_MSG_DISCONNECTED) return;
    std::shared_ptr<AMDevice> device;
    MobileDeviceAccessListener* listener = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (const auto& listed : devices_)
            if (listed->isDevice(info.device)) {
                device = listed;
                break;
            }
        // A device still being read is not listed when its read ends.
        if (!device)
            if (const auto reading = std::find(reading_.begin(), reading_.end(), info.device); reading != reading_.end())
                reading_.erase(reading);
        listener = listener_;
    }
    if (device) {
        device->forgetDevice();
        if (listener) listener->deviceDisconnected(device);
        std::lock_guard lock(mutex_);
        const auto found = std::find(devices_.begin(), devices_.end(), device);
        if (found != devices_.end()) devices_.erase(found);
    }
    changed();
}

void MobileDeviceAccess::read(const AMDeviceRef& handle) {
    RunLoopPoster mainLoop, readers;
    {
        std::lock_guard lock(mutex_);
        mainLoop = mainLoop_;
        readers = readers_;
    }
    if (!mainLoop) {  // no loop to come back to: read here
        arrived(handle, AMDevice::deviceFrom(handle));
        return;
    }
    // The read touches nothing of this object; what it found reaches it on the main loop,
    // while it lives.
    auto work = [this, handle, alive = alive_, mainLoop = std::move(mainLoop)] {
        std::shared_ptr<AMDevice> device = AMDevice::deviceFrom(handle);
        mainLoop([this, handle, alive, device = std::move(device)] {
            if (*alive) arrived(handle, device);
        });
    };
    if (readers) {
        readers(std::move(work));
        return;
    }
    std::lock_guard lock(mutex_);
    readerThreads_.remove_if([](const auto& reader) { return reader.second->load(); });
    auto ended = std::make_shared<std::atomic<bool>>(false);
    readerThreads_.emplace_back(std::jthread([work = std::move(work), ended] {
                                    work();
                                    *ended = true;
                                }),
                                ended);
}

void MobileDeviceAccess::arrived(const AMDeviceRef& handle, std::shared_ptr<AMDevice> device) {
    MobileDeviceAccessListener* listener = nullptr;
    bool listed = false;
    {
        std::lock_guard lock(mutex_);
        const auto reading = std::find(reading_.begin(), reading_.end(), handle);
        if (reading != reading_.end()) {
            reading_.erase(reading);
            if (device) {
                devices_.push_back(device);
                listed = true;
            }
        }
        listener = listener_;
    }
    if (device && !listed) device->forgetDevice();  // it left while it was read
    if (listed && listener) listener->deviceConnected(device);
    changed();
}

void MobileDeviceAccess::detachDevice(const std::shared_ptr<AMDevice>& device) {
    std::lock_guard lock(mutex_);
    const auto found = std::find(devices_.begin(), devices_.end(), device);
    if (found != devices_.end()) devices_.erase(found);
}

void MobileDeviceAccess::applicationWillTerminate() {
    for (const auto& device : devices()) device->applicationWillTerminate();
}

void MobileDeviceAccess::changed() {
    std::lock_guard lock(mutex_);
    ++changes_;
    // The change itself ends the wait, so that waitingForConnection() is false from here on.
    if (waitingInRunLoop_) {
        waitingInRunLoop_ = false;
        changed_.notify_all();
    }
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

bool MobileDeviceAccess::waitingForConnection() const {
    std::lock_guard lock(mutex_);
    return waitingInRunLoop_;
}

std::string MobileDeviceAccess::clientVersion() const {
    return AFCGetClientVersionString();
}

std::vector<std::shared_ptr<AMDevice>> MobileDeviceAccess::devices() const {
    std::lock_guard lock(mutex_);
    return devices_;
}

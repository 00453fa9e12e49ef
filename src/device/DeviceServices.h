#pragma once

#include "common/Types.h"
#include "device/AMService.h"
#include "device/DevicePlist.h"
#include "device/MobileDeviceFramework.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

class AMDevice;

// Told of each line of the device's system log.
class AMSyslogRelayListener {
public:
    virtual ~AMSyslogRelayListener() = default;
    // The line's text; none when its bytes are not valid UTF-8.
    virtual void syslogMessage(const OptString& line) = 0;
};

// The system-log relay ("com.apple.syslog_relay"): reads the log on a thread of its own and
// tells the listener of each NUL-ended record on the main thread, through `mainLoop`. Once the
// relay is destroyed (on the main thread), calls still queued there tell the listener nothing.
class AMSyslogRelay : public AMService {
public:
    static std::unique_ptr<AMSyslogRelay> initWithAMDevice(AMDevice& device, AMSyslogRelayListener* listener,
                                                           RunLoopPoster mainLoop);
    ~AMSyslogRelay() override;

    // One read's bytes as records: each ends with a NUL; newlines at a record's start are
    // skipped; an empty record tells nothing; a record the read cuts off is dropped.
    static void AMSyslogRelayCallBack(const char* bytes, std::size_t size, AMSyslogRelayListener* listener);

private:
    AMSyslogRelay() = default;
    AMSyslogRelayListener* listener_ = nullptr;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::jthread reader_;
};

// The file relay ("com.apple.mobile.file_relay"): one request of file sets per connection; the
// device answers with an archive that is copied to the output as it comes.
class AMFileRelay : public AMService {
public:
    static std::unique_ptr<AMFileRelay> initWithAMDevice(AMDevice& device);

    bool getFileSets(const std::vector<std::string>& names, std::ostream& into);
    bool getFileSet(const std::string& name, std::ostream& into) { return getFileSets({name}, into); }
    // Copies everything up to the end of the connection.
    bool slurpInto(std::ostream& into);

private:
    AMFileRelay() = default;
    bool used_ = false;
};

// The notification proxy ("com.apple.mobile.notification_proxy"): observers of device
// notifications, told on the main loop given at creation.
class AMNotificationProxy : public AMService {
public:
    using Callback = std::function<void(const std::string& name)>;

    static std::unique_ptr<AMNotificationProxy> initWithAMDevice(AMDevice& device, RunLoopPoster mainLoop);
    ~AMNotificationProxy() override;

    bool postNotification(const std::string& name);
    // Adds the observer for the name unless it observes it already; the device is asked to
    // relay the name the first time it is observed. An empty callback is ignored.
    void addObserver(const void* observer, Callback callback, const std::string& name);
    // Removes the observer's first entry for the name; the name stays observed on the device.
    void removeObserver(const void* observer, const std::string& name);
    void removeObserver(const void* observer);
    // How many observers the name has.
    std::size_t observerCount(const std::string& name) const;

private:
    struct Entry {
        const void* observer;
        Callback callback;
    };
    struct State {
        mutable std::mutex mutex;
        std::map<std::string, std::vector<Entry>> messages;
    };
    static void AMNotificationProxy_callback(const std::string& name, void* context);

    AMNotificationProxy() = default;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The springboard services ("com.apple.springboardservices").
class AMSpringboardServices : public AMService {
public:
    static std::unique_ptr<AMSpringboardServices> initWithAMDevice(AMDevice& device);
    PlistValue getIconState();
    PlistValue getIconPNGData(const std::string& bundleId);
    // The icon's PNG bytes, or none.
    std::optional<std::vector<std::uint8_t>> getIcon(const std::string& bundleId);

private:
    AMSpringboardServices() = default;
};

// The sync service ("com.apple.mobilesync").
class AMMobileSync : public AMService {
public:
    static std::unique_ptr<AMMobileSync> initWithAMDevice(AMDevice& device);
    ~AMMobileSync() override;
    // Asks for the contacts; reads no reply and gives none.
    PlistValue getContactData();

private:
    AMMobileSync() = default;
};

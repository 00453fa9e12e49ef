#pragma once

#include "common/Types.h"
#include "device/DevicePlist.h"
#include "device/MobileDeviceFramework.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class AFCApplicationDirectory;
class AFCCrashLogDirectory;
class AFCMediaDirectory;
class AFCRootDirectory;
class AMApplication;
class AMFileRelay;
class AMInstallationProxy;
class AMInstallationProxyDelegate;
class AMMobileSync;
class AMNotificationProxy;
class AMSpringboardServices;
class AMSyslogRelay;
class AMSyslogRelayListener;

// One connected iOS device. Between operations it holds neither a connection nor a lockdown
// session: reading a value opens what is closed and closes it again, and each service factory
// connects, starts a session, starts its service and closes both (the service's socket stays
// usable). After the device has left (forgetDevice) every operation that needs it fails at
// once, while udid, deviceName and description still answer.
//
// Failures are kept as "<function> failed: <status in hexadecimal>" in lasterror and turn into
// an empty or false result. Safe to use from any thread; one operation runs at a time.
class AMDevice {
public:
    // A device made from the framework's handle (connects, reads the name and identifier,
    // disconnects), or none.
    static std::shared_ptr<AMDevice> deviceFrom(const AMDeviceRef& handle);
    // The same, giving the failure text when there is no device.
    static std::shared_ptr<AMDevice> initWithDevice(const AMDeviceRef& handle, std::string* orBust);

    ~AMDevice();
    AMDevice(const AMDevice&) = delete;
    AMDevice& operator=(const AMDevice&) = delete;

    void clearLastError();
    void setLastError(OptString text);
    // Status 0: clears lasterror, true. Otherwise lasterror := "<from> failed: <status>", false.
    bool checkStatus(std::int32_t status, const char* from);
    bool isDevice(const AMDeviceRef& handle) const;
    // The device has left: drops the handle.
    void forgetDevice();
    // The socket of a started service, or none; lasterror is left as it was.
    AMServiceSocket _startService(const std::string& name);

    bool deviceConnect();
    bool deviceDisconnect();
    bool startSession();
    bool stopSession();
    // Stops an open session and closes an open connection (the application is ending).
    void applicationWillTerminate();

    // A lockdown value, or none. Opens the connection and the session when they are closed and
    // closes what it opened. A missing key is no failure.
    PlistValue deviceValueForKey(const std::string& key, const char* domain);
    PlistValue deviceValueForKey(const std::string& key) { return deviceValueForKey(key, nullptr); }
    PlistValue allDeviceValuesForDomain(const char* domain);
    OptString productType();
    OptString deviceClass();
    OptString serialNumber();
    // "AMDevice('<name>')".
    std::string description() const;

    // ---- Service factories: a new object owned by the caller, or none ----
    std::unique_ptr<AFCMediaDirectory> newAFCMediaDirectory();
    std::unique_ptr<AFCCrashLogDirectory> newAFCCrashLogDirectory();
    std::unique_ptr<AFCRootDirectory> newAFCRootDirectory();
    std::unique_ptr<AFCApplicationDirectory> newAFCApplicationDirectory(const std::string& bundleId);
    std::unique_ptr<AMInstallationProxy> newAMInstallationProxyWithDelegate(
        AMInstallationProxyDelegate* delegate);
    // Notifications reach their observers through `mainLoop`.
    std::unique_ptr<AMNotificationProxy> newAMNotificationProxy(RunLoopPoster mainLoop);
    std::unique_ptr<AMSpringboardServices> newAMSpringboardServices();
    // The listener hears of each log line through `mainLoop`.
    std::unique_ptr<AMSyslogRelay> newAMSyslogRelay(AMSyslogRelayListener* listener, RunLoopPoster mainLoop);
    std::unique_ptr<AMFileRelay> newAMFileRelay();
    std::unique_ptr<AMMobileSync> newAMMobileSync();

    // The user's applications, in the device's order; none when the lookup failed.
    std::optional<std::vector<std::shared_ptr<const AMApplication>>> installedApplications();
    std::shared_ptr<const AMApplication> installedApplicationWithId(const std::string& bundleId);

    OptString udid() const;
    OptString deviceName() const;
    OptString lasterror() const;
    bool connected() const;
    bool insession() const;

private:
    explicit AMDevice(AMDeviceRef handle);
    // Connects and starts a session around `work`, then stops and disconnects whatever the
    // state was before. False when connecting or the session failed.
    template <class Work>
    bool withSession(Work work);
    std::optional<PlistValue> lookupApplications();

    mutable std::recursive_mutex mutex_;
    AMDeviceRef device_;
    OptString lasterror_;
    OptString deviceName_;
    OptString udid_;
    bool connected_ = false;
    bool insession_ = false;
};

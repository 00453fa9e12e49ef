#include "device/AMDevice.h"

#include "device/AFCDirectoryAccess.h"
#include "device/AMApplication.h"
#include "device/DeviceServices.h"

#include <cstdio>

std::shared_ptr<AMDevice> AMDevice::deviceFrom(const AMDeviceRef& handle) {
    std::string dropped;
    return initWithDevice(handle, &dropped);
}

std::shared_ptr<AMDevice> AMDevice::initWithDevice(const AMDeviceRef& handle, std::string* orBust) {
    std::shared_ptr<AMDevice> device(new AMDevice(handle));
    if (!device->deviceConnect()) {
        if (orBust) *orBust = device->lasterror().value_or("");
        device->device_.reset();
        return nullptr;
    }
    // Read without a session: a device that does not trust this computer still answers them.
    device->deviceName_ = AMDeviceCopyValue(handle, nullptr, "DeviceName").asString();
    device->udid_ = AMDeviceCopyValue(handle, nullptr, "UniqueDeviceID").asString();
    // A lockdownd that does not answer still leaves the identifier the multiplexer gave.
    if (!device->udid_)
        if (std::string announced = AMDeviceCopyDeviceIdentifier(handle); !announced.empty())
            device->udid_ = std::move(announced);
    device->deviceDisconnect();
    return device;
}

AMDevice::AMDevice(AMDeviceRef handle) : device_(std::move(handle)) {}

AMDevice::~AMDevice() {
    applicationWillTerminate();
}

void AMDevice::applicationWillTerminate() {
    std::lock_guard lock(mutex_);
    if (!device_) return;
    if (insession_) stopSession();
    if (connected_) deviceDisconnect();
}

void AMDevice::clearLastError() {
    setLastError(std::nullopt);
}

void AMDevice::setLastError(OptString text) {
    std::lock_guard lock(mutex_);
    lasterror_ = std::move(text);
}

bool AMDevice::checkStatus(std::int32_t status, const char* from) {
    if (status == 0) {
        clearLastError();
        return true;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%s failed: %x", from, static_cast<unsigned>(status));
    setLastError(std::string(text));
    return false;
}

bool AMDevice::isDevice(const AMDeviceRef& handle) const {
    std::lock_guard lock(mutex_);
    return device_ && device_ == handle;
}

void AMDevice::forgetDevice() {
    std::lock_guard lock(mutex_);
    device_.reset();
    connected_ = false;
    insession_ = false;
}

AMServiceSocket AMDevice::_startService(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (!device_) return nullptr;
    AMServiceSocket socket;
    if (AMDeviceStartService(device_, name, &socket) != 0) return nullptr;
    return socket;
}

bool AMDevice::deviceConnect() {
    std::lock_guard lock(mutex_);
    if (!checkStatus(device_ ? AMDeviceConnect(device_) : kAMDNoDevice, "AMDeviceConnect")) return false;
    connected_ = true;
    return true;
}

bool AMDevice::deviceDisconnect() {
    std::lock_guard lock(mutex_);
    if (!checkStatus(device_ ? AMDeviceDisconnect(device_) : kAMDNoDevice, "AMDeviceDisconnect"))
        return false;
    connected_ = false;
    return true;
}

bool AMDevice::startSession() {
    std::lock_guard lock(mutex_);
    if (!checkStatus(device_ ? AMDeviceStartSession(device_) : kAMDNoDevice, "AMDeviceStartSession"))
        return false;
    insession_ = true;
    return true;
}

bool AMDevice::stopSession() {
    std::lock_guard lock(mutex_);
    if (!checkStatus(device_ ? AMDeviceStopSession(device_) : kAMDNoDevice, "AMDeviceStopSession"))
        return false;
    insession_ = false;
    return true;
}

PlistValue AMDevice::deviceValueForKey(const std::string& key, const char* domain) {
    std::lock_guard lock(mutex_);
    if (!device_) return {};
    bool openedConnection = false;
    bool openedSession = false;
    if (!connected_) {
        if (!deviceConnect()) return {};
        openedConnection = true;
    }
    if (!insession_) {
        if (!startSession()) {
            // The session's failure is what the caller is told, not the closing step's success.
            const OptString failure = lasterror();
            if (openedConnection) deviceDisconnect();
            setLastError(failure);
            return {};
        }
        openedSession = true;
    }
    PlistValue value = AMDeviceCopyValue(device_, domain, key.empty() ? nullptr : key.c_str());
    if (openedSession) stopSession();
    if (openedConnection) deviceDisconnect();
    return value;
}

PlistValue AMDevice::allDeviceValuesForDomain(const char* domain) {
    return deviceValueForKey(std::string(), domain);
}

OptString AMDevice::productType() {
    return deviceValueForKey("ProductType").asString();
}
OptString AMDevice::deviceClass() {
    return deviceValueForKey("DeviceClass").asString();
}
OptString AMDevice::serialNumber() {
    return deviceValueForKey("SerialNumber").asString();
}

std::string AMDevice::description() const {
    return "AMDevice('" + deviceName().value_or("(null)") + "')";
}

template <class Work>
bool AMDevice::withSession(Work work) {
    std::lock_guard lock(mutex_);
    if (!device_ || !deviceConnect()) return false;
    if (!startSession()) {
        const OptString failure = lasterror();
        deviceDisconnect();
        setLastError(failure);
        return false;
    }
    work();
    // Keep the work's failure text: the closing steps clear it on success.
    const OptString failure = lasterror();
    stopSession();
    deviceDisconnect();
    if (failure) setLastError(failure);
    return true;
}

std::unique_ptr<AFCMediaDirectory> AMDevice::newAFCMediaDirectory() {
    std::unique_ptr<AFCMediaDirectory> made;
    withSession([&] { made = AFCMediaDirectory::initWithAMDevice(*this); });
    return made;
}

std::unique_ptr<AFCCrashLogDirectory> AMDevice::newAFCCrashLogDirectory() {
    std::unique_ptr<AFCCrashLogDirectory> made;
    withSession([&] { made = AFCCrashLogDirectory::initWithAMDevice(*this); });
    return made;
}

std::unique_ptr<AFCRootDirectory> AMDevice::newAFCRootDirectory() {
    std::unique_ptr<AFCRootDirectory> made;
    withSession([&] { made = AFCRootDirectory::initWithAMDevice(*this); });
    return made;
}

std::unique_ptr<AFCApplicationDirectory> AMDevice::newAFCApplicationDirectory(const std::string& bundleId) {
    std::unique_ptr<AFCApplicationDirectory> made;
    withSession([&] { made = AFCApplicationDirectory::initWithAMDevice(*this, bundleId); });
    return made;
}

std::unique_ptr<AMInstallationProxy> AMDevice::newAMInstallationProxyWithDelegate(
    AMInstallationProxyDelegate* delegate) {
    std::unique_ptr<AMInstallationProxy> made;
    withSession([&] { made = AMInstallationProxy::initWithAMDevice(*this); });
    if (made) made->setDelegate(delegate);
    return made;
}

std::unique_ptr<AMNotificationProxy> AMDevice::newAMNotificationProxy(RunLoopPoster mainLoop) {
    std::unique_ptr<AMNotificationProxy> made;
    withSession([&] { made = AMNotificationProxy::initWithAMDevice(*this, std::move(mainLoop)); });
    return made;
}

std::unique_ptr<AMSpringboardServices> AMDevice::newAMSpringboardServices() {
    std::unique_ptr<AMSpringboardServices> made;
    withSession([&] { made = AMSpringboardServices::initWithAMDevice(*this); });
    return made;
}

std::unique_ptr<AMSyslogRelay> AMDevice::newAMSyslogRelay(AMSyslogRelayListener* listener, RunLoopPoster mainLoop) {
    std::unique_ptr<AMSyslogRelay> made;
    withSession([&] { made = AMSyslogRelay::initWithAMDevice(*this, listener, std::move(mainLoop)); });
    return made;
}

std::unique_ptr<AMFileRelay> AMDevice::newAMFileRelay() {
    std::unique_ptr<AMFileRelay> made;
    withSession([&] { made = AMFileRelay::initWithAMDevice(*this); });
    return made;
}

std::unique_ptr<AMMobileSync> AMDevice::newAMMobileSync() {
    std::unique_ptr<AMMobileSync> made;
    withSession([&] { made = AMMobileSync::initWithAMDevice(*this); });
    return made;
}

std::optional<PlistValue> AMDevice::lookupApplications() {
    std::optional<PlistValue> result;
    const bool ran = withSession([&] {
        PlistValue lookup;
        if (checkStatus(AMDeviceLookupApplications(device_, nullptr, &lookup),
                        "AMDeviceLookupApplications"))
            result = std::move(lookup);
    });
    if (!ran) return std::nullopt;
    return result;
}

std::optional<std::vector<std::shared_ptr<const AMApplication>>> AMDevice::installedApplications() {
    const std::optional<PlistValue> lookup = lookupApplications();
    if (!lookup) return std::nullopt;
    std::vector<std::shared_ptr<const AMApplication>> result;
    for (const std::string& id : lookup->keys()) {
        const PlistValue info = lookup->get(id);
        if (info.stringFor("ApplicationType") == "User")
            result.push_back(std::make_shared<const AMApplication>(info));
    }
    return result;
}

std::shared_ptr<const AMApplication> AMDevice::installedApplicationWithId(const std::string& bundleId) {
    const std::optional<PlistValue> lookup = lookupApplications();
    if (!lookup || !lookup->has(bundleId)) return nullptr;
    return std::make_shared<const AMApplication>(lookup->get(bundleId));
}

OptString AMDevice::udid() const {
    std::lock_guard lock(mutex_);
    return udid_;
}
OptString AMDevice::deviceName() const {
    std::lock_guard lock(mutex_);
    return deviceName_;
}
OptString AMDevice::lasterror() const {
    std::lock_guard lock(mutex_);
    return lasterror_;
}
bool AMDevice::connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}
bool AMDevice::insession() const {
    std::lock_guard lock(mutex_);
    return insession_;
}

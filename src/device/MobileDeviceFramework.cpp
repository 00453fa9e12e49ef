#include "device/MobileDeviceFramework.h"

#include "common/PropertyListShape.h"
#include "common/TerminalText.h"
#include "device/UsbmuxClient.h"

#include <libimobiledevice/installation_proxy.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/service.h>
#include <plist/plist.h>
#include <usbmuxd.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <stop_token>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr const char* kLockdownLabel = "torvane";
constexpr std::uint16_t kLockdownPort = 62078;
// Descriptors kept free below FD_SETSIZE for what the library opens on its own.
constexpr int kDescriptorMargin = 16;

using Clock = std::chrono::steady_clock;

std::int32_t DeviceStatus(int libraryError) {
    if (libraryError == 0) return kAMDSuccess;
    const unsigned magnitude = static_cast<unsigned>(libraryError < 0 ? -libraryError : libraryError);
    return static_cast<std::int32_t>(static_cast<unsigned>(kAMDErrorBase) | (magnitude & 0xffu));
}

// The library waits for its sockets with select(), which cannot watch a descriptor at or above
// FD_SETSIZE (the C library aborts the process instead). A new socket takes the lowest free
// descriptor, so while that is well below the limit, the library may open one.
bool RoomForALibrarySocket() {
    const int probe = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (probe < 0) return false;
    ::close(probe);
    return probe < FD_SETSIZE - kDescriptorMargin;
}

thread_local std::optional<Clock::time_point> tDeadline;

}  // namespace

DeviceReadDeadline::DeviceReadDeadline(Clock::time_point deadline) : outer_(tDeadline) {
    tDeadline = outer_ ? std::min(*outer_, deadline) : deadline;
}

DeviceReadDeadline::~DeviceReadDeadline() {
    tDeadline = outer_;
}

unsigned DeviceReadDeadline::limitFor(unsigned limit) {
    if (!tDeadline) return limit;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*tDeadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<unsigned>(std::min<long long>(left, limit));
}

namespace {

// The multiplexer's handles of the devices in its latest device list, by identifier. The
// library finds a device by asking the multiplexer for its whole list and reading all of it
// (usbmuxd_get_device below answers from here instead): done once per device, that cost the
// square of the number of devices.
struct KnownHandles {
    std::mutex mutex;
    std::unordered_map<std::string, std::uint32_t> byUdid;
};

KnownHandles& Known() {
    static KnownHandles* known = new KnownHandles;  // used until the process ends
    return *known;
}

}  // namespace

// The library reaches the multiplexer through three functions of its multiplexer client:
// finding a device, connecting to one of its ports, and reading its pairing record. They are
// answered here, by this layer's own client: the library's client would ask for the whole
// device list to find each device (for many devices, a cost in the square of their number),
// waits several seconds for each answer whatever the caller's deadline, and keeps state of its
// own that two threads must not use at once.

// A device of the latest device list read, else of a fresh one.
extern "C" int usbmuxd_get_device(const char* udid, usbmuxd_device_info_t* device,
                                  enum usbmux_lookup_options options) {
    const bool usb = options == 0 || (options & DEVICE_LOOKUP_USBMUX) != 0;
    if (!udid || !device || !usb || std::strlen(udid) >= sizeof device->udid) return 0;
    const auto answer = [&](std::uint32_t handle) {
        std::memset(device, 0, sizeof *device);
        device->handle = handle;
        std::memcpy(device->udid, udid, std::strlen(udid));
        device->conn_type = CONNECTION_TYPE_USB;
        return 1;
    };
    {
        KnownHandles& known = Known();
        std::lock_guard lock(known.mutex);
        if (const auto found = known.byUdid.find(udid); found != known.byUdid.end()) return answer(found->second);
    }
    const unsigned limit = DeviceReadDeadline::limitFor(kMultiplexerRequestLimitMs);
    if (limit == 0) return -ETIMEDOUT;
    const UsbmuxListing listing = UsbmuxListDevices(std::chrono::milliseconds(limit));
    if (!listing.answered) return -ENODEV;
    for (const UsbmuxListedDevice& listed : listing.devices)
        if (listed.usb && listed.udid == udid) return answer(listed.handle);
    return 0;
}

extern "C" int usbmuxd_connect(const uint32_t handle, const unsigned short tcp_port) {
    const unsigned limit = DeviceReadDeadline::limitFor(kMultiplexerRequestLimitMs);
    if (limit == 0) return -ETIMEDOUT;
    std::string error;
    const int fd = UsbmuxConnect(handle, tcp_port, std::chrono::milliseconds(limit), &error);
    return fd >= 0 ? fd : -ECONNREFUSED;
}

extern "C" int usbmuxd_read_pair_record(const char* record_id, char** record_data, uint32_t* record_size) {
    if (!record_id || !record_data || !record_size) return -EINVAL;
    *record_data = nullptr;
    *record_size = 0;
    const unsigned limit = DeviceReadDeadline::limitFor(kMultiplexerRequestLimitMs);
    if (limit == 0) return -ETIMEDOUT;
    std::string error;
    const std::optional<std::string> record =
        UsbmuxReadPairRecord(record_id, std::chrono::milliseconds(limit), &error);
    if (!record || record->empty() || record->size() > kMaxServiceFrameBytes) return -ENOENT;
    // The caller frees it with free().
    *record_data = static_cast<char*>(std::malloc(record->size()));
    if (!*record_data) return -ENOMEM;
    std::memcpy(*record_data, record->data(), record->size());
    *record_size = static_cast<uint32_t>(record->size());
    return 0;
}

// The library parses what a device's services answer (lockdownd when it speaks for us, the
// installation and container services, the companion library's requests) with the
// property-list library's own functions. They are answered here as well: the bytes are judged
// by their shape first, as every list this layer reads is (PropertyListShape), and a list too
// deep or too large to parse safely is no list; the rest goes on to the property-list library.
namespace {

using PlistParse = void (*)(const char*, uint32_t, plist_t*);

// The property-list library's own function of that name.
PlistParse LibraryParse(const char* name) {
    return reinterpret_cast<PlistParse>(::dlsym(RTLD_NEXT, name));
}

void ParseIfSound(PlistParse parse, const char* bytes, uint32_t length, plist_t* plist) {
    if (!plist) return;
    *plist = nullptr;
    if (!bytes || length == 0 || !parse) return;
    if (const auto problem = PropertyListShape::Problem(bytes, length)) {
        std::cerr << "device: a property list refused unread: " << *problem << '\n';
        return;
    }
    parse(bytes, length, plist);
}

}  // namespace

extern "C" void plist_from_xml(const char* plist_xml, uint32_t length, plist_t* plist) {
    static const PlistParse parse = LibraryParse("plist_from_xml");
    ParseIfSound(parse, plist_xml, length, plist);
}

extern "C" void plist_from_bin(const char* plist_bin, uint32_t length, plist_t* plist) {
    static const PlistParse parse = LibraryParse("plist_from_bin");
    ParseIfSound(parse, plist_bin, length, plist);
}

extern "C" void plist_from_memory(const char* plist_data, uint32_t length, plist_t* plist) {
    static const PlistParse parse = LibraryParse("plist_from_memory");
    ParseIfSound(parse, plist_data, length, plist);
}

// ---- Devices ----

// One connection to a device's lockdownd, spoken to directly: requests and answers are
// property-list frames (a 4-byte big-endian length, then the list), every answer awaited with
// a time limit. A connection that failed once is out of step and is not used again.
struct LockdownLink {
    idevice_connection_t connection = nullptr;
    bool broken = false;
    bool sessionSsl = false;
    ~LockdownLink() {
        if (connection) idevice_disconnect(connection);
    }
};

struct DeviceHandle {
    std::string udid;
    std::uint32_t muxHandle = 0;
    std::mutex mutex;
    idevice_t device = nullptr;
    std::unique_ptr<LockdownLink> lockdown;
    std::string sessionId;

    ~DeviceHandle() {
        lockdown.reset();
        if (device) idevice_free(device);
    }
};

namespace {

lockdownd_error_t LockdownErrorOf(const std::string& error) {
    static const std::map<std::string, lockdownd_error_t> kErrors{
        {"PasswordProtected", LOCKDOWN_E_PASSWORD_PROTECTED},
        {"InvalidHostID", LOCKDOWN_E_INVALID_HOST_ID},
        {"UserDeniedPairing", LOCKDOWN_E_USER_DENIED_PAIRING},
        {"PairingDialogResponsePending", LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING},
        {"InvalidService", LOCKDOWN_E_INVALID_SERVICE},
        {"NoRunningSession", LOCKDOWN_E_NO_RUNNING_SESSION},
        {"SessionInactive", LOCKDOWN_E_SESSION_INACTIVE},
        {"MissingValue", LOCKDOWN_E_MISSING_VALUE},
        {"GetProhibited", LOCKDOWN_E_GET_PROHIBITED},
    };
    const auto found = kErrors.find(error);
    return found == kErrors.end() ? LOCKDOWN_E_UNKNOWN_ERROR : found->second;
}

bool LinkSend(LockdownLink& link, const PlistValue& message) {
    const std::string xml = message.toXml();
    if (xml.empty()) return false;
    const std::uint32_t length = static_cast<std::uint32_t>(xml.size());
    std::string frame{static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                      static_cast<char>(length >> 8), static_cast<char>(length)};
    frame += xml;
    std::size_t done = 0;
    while (done < frame.size()) {
        std::uint32_t sent = 0;
        if (idevice_connection_send(link.connection, frame.data() + done,
                                    static_cast<std::uint32_t>(frame.size() - done), &sent) != IDEVICE_E_SUCCESS ||
            sent == 0)
            return false;
        done += sent;
    }
    return true;
}

// Reads exactly `size` bytes before the deadline.
bool LinkReceive(LockdownLink& link, char* into, std::size_t size, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        std::uint32_t got = 0;
        // The library waits for ever when told 0: `left` is at least 1 here.
        const idevice_error_t error = idevice_connection_receive_timeout(
            link.connection, into + done, static_cast<std::uint32_t>(size - done), &got,
            static_cast<unsigned>(left));
        if (got == 0 || (error != IDEVICE_E_SUCCESS && error != IDEVICE_E_TIMEOUT)) {
            if (error == IDEVICE_E_TIMEOUT) continue;
            return false;
        }
        done += got;
    }
    return true;
}

// Sends one request and waits for its answer; the status of the exchange and the answer.
std::int32_t LockdownExchange(DeviceHandle& device, PlistValue request, PlistValue* answer) {
    *answer = PlistValue();
    LockdownLink* link = device.lockdown.get();
    if (!link) return kAMDNotConnected;
    if (link->broken) return kAMDReceiveFailed;
    request.set("Label", PlistValue::string(kLockdownLabel));
    if (!LinkSend(*link, request)) {
        link->broken = true;
        return kAMDSendFailed;
    }
    const unsigned limit = DeviceReadDeadline::limitFor(kLockdownReadTimeoutMs);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit);
    unsigned char header[4];
    if (!LinkReceive(*link, reinterpret_cast<char*>(header), 4, deadline)) {
        link->broken = true;
        return kAMDReceiveTimeout;
    }
    const std::uint32_t length = (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) |
                                 (std::uint32_t(header[2]) << 8) | header[3];
    if (length == 0 || length > kMaxServiceFrameBytes) {
        link->broken = true;
        return kAMDReceiveFailed;
    }
    std::string body(length, '\0');
    if (!LinkReceive(*link, body.data(), length, deadline)) {
        link->broken = true;
        return kAMDReceiveTimeout;
    }
    std::string why = "no dictionary";
    *answer = PlistValue::parse(body.data(), body.size(), &why);
    if (answer->kind() != PlistValue::Kind::Dictionary) {
        // The device is taken as one that does not answer.
        std::cerr << "lockdownd of " << TerminalText(device.udid) << ": refused its answer, " << why << '\n';
        link->broken = true;
        *answer = PlistValue();
        return kAMDReceiveFailed;
    }
    if (const std::optional<std::string> error = answer->stringFor("Error"))
        return DeviceStatus(LockdownErrorOf(*error));
    return kAMDSuccess;
}

PlistValue LockdownRequest(const char* name) {
    PlistValue request = PlistValue::dictionary();
    request.set("Request", PlistValue::string(name));
    return request;
}

// Ends the lockdown connection: a polite goodbye when it is still in step, then closes it.
void CloseLockdown(DeviceHandle& device) {
    if (!device.lockdown) return;
    if (!device.lockdown->broken) {
        if (!device.sessionId.empty()) {
            PlistValue stop = LockdownRequest("StopSession");
            stop.set("SessionID", PlistValue::string(device.sessionId));
            PlistValue answer;
            LockdownExchange(device, std::move(stop), &answer);
        }
        PlistValue answer;
        LockdownExchange(device, LockdownRequest("Goodbye"), &answer);
    }
    device.lockdown.reset();
    device.sessionId.clear();
}

// Opens a connection to a port of the device, refusing one that select() could not watch.
std::int32_t ConnectToPort(const AMDeviceRef& owner, std::uint16_t port, idevice_connection_t* connection) {
    *connection = nullptr;
    if (!RoomForALibrarySocket()) return kAMDTooManyDescriptors;
    // A deadline that has passed leaves no time to ask the multiplexer.
    if (DeviceReadDeadline::limitFor(kMultiplexerRequestLimitMs) == 0) return kAMDReceiveTimeout;
    // The multiplexer's answer is awaited no longer than the limit (see usbmuxd_connect).
    const idevice_error_t error = idevice_connect(owner->device, port, connection);
    if (error != IDEVICE_E_SUCCESS) {
        *connection = nullptr;
        return DeviceStatus(error);
    }
    int fd = -1;
    if (idevice_connection_get_fd(*connection, &fd) != IDEVICE_E_SUCCESS || fd < 0 ||
        fd >= FD_SETSIZE) {
        idevice_disconnect(*connection);
        *connection = nullptr;
        return kAMDTooManyDescriptors;
    }
    return kAMDSuccess;
}

}  // namespace

struct AMDeviceNotification {
    struct State {
        std::mutex mutex;
        bool alive = true;
        std::map<std::uint32_t, AMDeviceRef> devices;  // by multiplexer handle
        AMDeviceNotificationCallback callback = nullptr;
        void* context = nullptr;
        RunLoopPoster post;
        std::atomic<bool> answers{false};
        int unanswered = 0;  // questions in a row; only the monitor touches it
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    std::jthread monitor;
};

namespace {

// Unanswered device-list questions in a row after which every listed device has left.
constexpr int kUnansweredUntilDeparture = 3;

void DeliverEvent(const std::shared_ptr<AMDeviceNotification::State>& state, AMDeviceRef device,
                  std::uint32_t msg) {
    state->post([state, device = std::move(device), msg] {
        AMDeviceNotificationCallback callback = nullptr;
        void* context = nullptr;
        {
            std::lock_guard lock(state->mutex);
            if (!state->alive) return;
            callback = state->callback;
            context = state->context;
        }
        AMDeviceNotificationInfo info{device, msg};
        callback(&info, context);
    });
}

// Asks for the device list once and tells of what changed since the last answer.
void PollDevices(const std::shared_ptr<AMDeviceNotification::State>& state, const std::stop_token& stop) {
    const UsbmuxListing listing = UsbmuxListDevices(kMultiplexerAnswerLimit, stop);
    if (stop.stop_requested()) return;
    std::vector<std::pair<AMDeviceRef, std::uint32_t>> events;
    {
        std::lock_guard lock(state->mutex);
        if (!state->alive) return;
        if (!listing.answered) {
            if (state->answers.exchange(false) || state->unanswered == 0)
                std::cerr << "device multiplexer: " << listing.error << '\n';
            if (++state->unanswered == kUnansweredUntilDeparture) {
                for (auto& [handle, device] : state->devices) events.emplace_back(device, ADNCI_MSG_DISCONNECTED);
                state->devices.clear();
            }
        } else {
            state->answers = true;
            state->unanswered = 0;
            {
                KnownHandles& known = Known();
                std::lock_guard knownLock(known.mutex);
                for (const UsbmuxListedDevice& listed : listing.devices)
                    if (listed.usb) known.byUdid[listed.udid] = listed.handle;
            }
            std::set<std::uint32_t> present;
            for (const UsbmuxListedDevice& listed : listing.devices) {
                if (!listed.usb) continue;
                present.insert(listed.handle);
                if (state->devices.count(listed.handle)) continue;
                auto device = std::make_shared<DeviceHandle>();
                device->udid = listed.udid;
                device->muxHandle = listed.handle;
                state->devices[listed.handle] = device;
                events.emplace_back(std::move(device), ADNCI_MSG_CONNECTED);
            }
            for (auto it = state->devices.begin(); it != state->devices.end();) {
                if (present.count(it->first)) {
                    ++it;
                    continue;
                }
                events.emplace_back(it->second, ADNCI_MSG_DISCONNECTED);
                {
                    // A device that has left is no longer found under its old handle.
                    KnownHandles& known = Known();
                    std::lock_guard knownLock(known.mutex);
                    if (const auto found = known.byUdid.find(it->second->udid);
                        found != known.byUdid.end() && found->second == it->first)
                        known.byUdid.erase(found);
                }
                it = state->devices.erase(it);
            }
        }
    }
    for (auto& [device, msg] : events) DeliverEvent(state, std::move(device), msg);
}

void MonitorDevices(const std::stop_token& stop, const std::shared_ptr<AMDeviceNotification::State>& state) {
    std::mutex mutex;
    std::condition_variable_any wake;
    auto interval = kDeviceListInterval;
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(mutex);
            wake.wait_for(lock, stop, interval, [] { return false; });
        }
        if (stop.stop_requested()) return;
        PollDevices(state, stop);
        interval = state->answers ? kDeviceListInterval : std::min(interval * 2, kDeviceListLongestInterval);
    }
}

}  // namespace

std::int32_t AMDeviceNotificationSubscribe(AMDeviceNotificationCallback callback, std::uint32_t,
                                           std::uint32_t, void* context,
                                           AMDeviceNotification** subscription,
                                           RunLoopPoster post) {
    if (!callback || !subscription || !post) return kAMDInvalidArgument;
    auto created = std::make_unique<AMDeviceNotification>();
    created->state->callback = callback;
    created->state->context = context;
    created->state->post = std::move(post);
    PollDevices(created->state, {});
    created->monitor = std::jthread([state = created->state](std::stop_token stop) { MonitorDevices(stop, state); });
    *subscription = created.release();
    return kAMDSuccess;
}

std::int32_t AMDeviceNotificationUnsubscribe(AMDeviceNotification* subscription) {
    if (!subscription) return kAMDInvalidArgument;
    {
        std::lock_guard lock(subscription->state->mutex);
        subscription->state->alive = false;
    }
    subscription->monitor.request_stop();
    if (subscription->monitor.joinable()) subscription->monitor.join();
    delete subscription;
    return kAMDSuccess;
}

bool AMDeviceNotificationMultiplexerAnswers(const AMDeviceNotification* subscription) {
    return subscription && subscription->state->answers;
}

std::int32_t AMDeviceConnect(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (device->lockdown) {
        if (!device->lockdown->broken) return kAMDSuccess;
        CloseLockdown(*device);  // out of step: start afresh
    }
    if (!device->device) {
        if (!RoomForALibrarySocket()) return kAMDTooManyDescriptors;
        // Found in the device list already read (see usbmuxd_get_device).
        const idevice_error_t error =
            idevice_new_with_options(&device->device, device->udid.c_str(), IDEVICE_LOOKUP_USBMUX);
        if (error != IDEVICE_E_SUCCESS) {
            device->device = nullptr;
            return DeviceStatus(error);
        }
    }
    auto link = std::make_unique<LockdownLink>();
    const std::int32_t status = ConnectToPort(device, kLockdownPort, &link->connection);
    if (status != kAMDSuccess) return status;
    device->lockdown = std::move(link);
    return kAMDSuccess;
}

std::int32_t AMDeviceDisconnect(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    CloseLockdown(*device);
    return kAMDSuccess;
}

std::int32_t AMDeviceStartSession(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    if (!RoomForALibrarySocket()) return kAMDTooManyDescriptors;
    char* recordBytes = nullptr;
    std::uint32_t recordSize = 0;
    if (usbmuxd_read_pair_record(device->udid.c_str(), &recordBytes, &recordSize) < 0 || !recordBytes) {
        std::free(recordBytes);
        return kAMDNoPairRecord;
    }
    const PlistValue record = PlistValue::parse(recordBytes, recordSize);
    std::free(recordBytes);
    const std::optional<std::string> hostId = record.stringFor("HostID");
    if (!hostId) return kAMDNoPairRecord;
    PlistValue request = LockdownRequest("StartSession");
    request.set("HostID", PlistValue::string(*hostId));
    if (const std::optional<std::string> buid = record.stringFor("SystemBUID"))
        request.set("SystemBUID", PlistValue::string(*buid));
    PlistValue answer;
    const std::int32_t status = LockdownExchange(*device, std::move(request), &answer);
    if (status != kAMDSuccess) return status;
    device->sessionId = answer.stringFor("SessionID").value_or("");
    if (answer.get("EnableSessionSSL").asBoolean().value_or(false)) {
        if (idevice_connection_enable_ssl(device->lockdown->connection) != IDEVICE_E_SUCCESS) {
            device->lockdown->broken = true;
            device->sessionId.clear();
            return DeviceStatus(LOCKDOWN_E_SSL_ERROR);
        }
        device->lockdown->sessionSsl = true;
    }
    return kAMDSuccess;
}

std::int32_t AMDeviceStopSession(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    PlistValue request = LockdownRequest("StopSession");
    request.set("SessionID", PlistValue::string(device->sessionId));
    PlistValue answer;
    const std::int32_t status = LockdownExchange(*device, std::move(request), &answer);
    device->sessionId.clear();
    if (device->lockdown->sessionSsl) {
        idevice_connection_disable_ssl(device->lockdown->connection);
        device->lockdown->sessionSsl = false;
    }
    return status;
}

PlistValue AMDeviceCopyValue(const AMDeviceRef& device, const char* domain, const char* key) {
    if (!device) return {};
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return {};
    PlistValue request = LockdownRequest("GetValue");
    if (domain) request.set("Domain", PlistValue::string(domain));
    if (key) request.set("Key", PlistValue::string(key));
    PlistValue answer;
    if (LockdownExchange(*device, std::move(request), &answer) != kAMDSuccess) return {};
    return answer.get("Value");
}

std::string AMDeviceCopyDeviceIdentifier(const AMDeviceRef& device) {
    return device ? device->udid : std::string();
}

// ---- Service sockets ----

struct ServiceConnection {
    AMDeviceRef device;  // keeps the device object alive while the connection is
    std::mutex sendMutex;
    service_client_t client = nullptr;
    std::atomic<bool> closed{false};
    std::jthread listener;

    ~ServiceConnection() {
        if (listener.joinable()) {
            listener.request_stop();
            listener.join();
        }
        if (client) service_client_free(client);
    }
};

namespace {

// Starts a service through lockdownd (which needs a session) and gives where to reach it.
std::int32_t StartLockdownService(DeviceHandle& device, const std::string& serviceName,
                                  std::uint16_t* port, bool* ssl) {
    PlistValue request = LockdownRequest("StartService");
    request.set("Service", PlistValue::string(serviceName));
    PlistValue answer;
    const std::int32_t status = LockdownExchange(device, std::move(request), &answer);
    if (status != kAMDSuccess) return status;
    const std::optional<std::int64_t> number = answer.get("Port").asInteger();
    if (!number || *number <= 0 || *number > 0xffff) return DeviceStatus(LOCKDOWN_E_UNKNOWN_ERROR);
    *port = static_cast<std::uint16_t>(*number);
    *ssl = answer.get("EnableServiceSSL").asBoolean().value_or(false);
    return kAMDSuccess;
}

}  // namespace

std::int32_t AMDeviceStartService(const AMDeviceRef& device, const std::string& serviceName,
                                  AMServiceSocket* socket, void*) {
    if (!socket) return kAMDInvalidArgument;
    *socket = nullptr;
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    std::uint16_t port = 0;
    bool ssl = false;
    const std::int32_t started = StartLockdownService(*device, serviceName, &port, &ssl);
    if (started != kAMDSuccess) return started;
    if (!RoomForALibrarySocket()) return kAMDTooManyDescriptors;
    auto connection = std::make_shared<ServiceConnection>();
    connection->device = device;
    std::string identifier = serviceName;
    lockdownd_service_descriptor descriptor{port, static_cast<std::uint8_t>(ssl ? 1 : 0), identifier.data()};
    const service_error_t connected = service_client_new(device->device, &descriptor, &connection->client);
    if (connected != SERVICE_E_SUCCESS) {
        connection->client = nullptr;
        return DeviceStatus(connected);
    }
    *socket = std::move(connection);
    return kAMDSuccess;
}

std::int32_t AMDeviceLookupApplications(const AMDeviceRef& device, const void*, PlistValue* result) {
    if (!result) return kAMDInvalidArgument;
    *result = PlistValue();
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    std::uint16_t port = 0;
    bool ssl = false;
    const std::int32_t started = StartLockdownService(*device, INSTPROXY_SERVICE_NAME, &port, &ssl);
    if (started != kAMDSuccess) return started;
    if (!RoomForALibrarySocket()) return kAMDTooManyDescriptors;
    std::string identifier = INSTPROXY_SERVICE_NAME;
    lockdownd_service_descriptor descriptor{port, static_cast<std::uint8_t>(ssl ? 1 : 0), identifier.data()};
    instproxy_client_t proxy = nullptr;
    const instproxy_error_t made = instproxy_client_new(device->device, &descriptor, &proxy);
    if (made != INSTPROXY_E_SUCCESS) return DeviceStatus(made);
    plist_t lookup = nullptr;
    const instproxy_error_t looked = instproxy_lookup(proxy, nullptr, nullptr, &lookup);
    instproxy_client_free(proxy);
    if (looked != INSTPROXY_E_SUCCESS) {
        if (lookup) plist_free(lookup);
        return DeviceStatus(looked);
    }
    *result = PlistValue(lookup);
    if (result->kind() != PlistValue::Kind::Dictionary) *result = PlistValue::dictionary();
    return kAMDSuccess;
}

std::int32_t AMServiceSend(const AMServiceSocket& socket, const void* bytes, std::size_t size,
                           std::size_t* sent) {
    if (sent) *sent = 0;
    if (!socket || !socket->client || socket->closed) return kAMDNotConnected;
    if (size > 0xffffffffu) return kAMDInvalidArgument;
    std::lock_guard lock(socket->sendMutex);
    std::uint32_t done = 0;
    const service_error_t error = service_send(socket->client, static_cast<const char*>(bytes),
                                               static_cast<std::uint32_t>(size), &done);
    if (sent) *sent = done;
    return error == SERVICE_E_SUCCESS ? kAMDSuccess : kAMDSendFailed;
}

std::int32_t AMServiceReceive(const AMServiceSocket& socket, void* buffer, std::size_t size,
                              std::size_t* received, unsigned timeoutMs) {
    if (received) *received = 0;
    if (!socket || !socket->client || socket->closed) return kAMDNotConnected;
    if (size > 0xffffffffu) size = 0xffffffffu;
    // The library waits for ever when told 0.
    const unsigned limit = DeviceReadDeadline::limitFor(std::max(timeoutMs, 1u));
    if (limit == 0) return kAMDReceiveTimeout;
    std::uint32_t done = 0;
    const service_error_t error =
        service_receive_with_timeout(socket->client, static_cast<char*>(buffer),
                                     static_cast<std::uint32_t>(size), &done, limit);
    if (received) *received = done;
    if (error == SERVICE_E_SUCCESS || done > 0) return kAMDSuccess;
    return error == SERVICE_E_TIMEOUT ? kAMDReceiveTimeout : kAMDReceiveFailed;
}

void AMServiceClose(const AMServiceSocket& socket) {
    if (!socket) return;
    socket->closed = true;
}

// ---- AFC ----
//
// AFC is spoken here over the service's socket: each request is a 40-byte header ("CFA6LPAA",
// whole length, header-and-data length, packet number, operation; little-endian), its data and
// an optional payload; each is answered by one packet of the same number, a status packet or
// one with data. Every answer is awaited within the connection's I/O timeout and read whole.

namespace {

constexpr char kAfcMagic[8] = {'C', 'F', 'A', '6', 'L', 'P', 'A', 'A'};
constexpr std::size_t kAfcHeaderBytes = 40;
// No answer of the device may be longer than this.
constexpr std::uint64_t kMaxAfcAnswerBytes = 16u << 20;
// Reads and writes go in pieces of at most these sizes.
constexpr std::uint32_t kAfcReadPiece = 1u << 20;
constexpr std::uint32_t kAfcWritePiece = 1u << 15;

enum : std::uint64_t {
    kOpStatus = 0x01, kOpData = 0x02, kOpReadDir = 0x03, kOpRemovePath = 0x08, kOpMakeDir = 0x09,
    kOpGetFileInfo = 0x0A, kOpGetDevInfo = 0x0B, kOpFileOpen = 0x0D, kOpFileOpenResult = 0x0E,
    kOpFileRead = 0x0F, kOpFileWrite = 0x10, kOpFileSeek = 0x11, kOpFileTell = 0x12,
    kOpFileTellResult = 0x13, kOpFileClose = 0x14, kOpFileSetSize = 0x15, kOpRenamePath = 0x18,
    kOpMakeLink = 0x1C,
};

std::string U64(std::uint64_t value) {
    char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    return std::string(bytes, 8);
}

std::uint64_t ReadU64(const std::string& bytes, std::size_t at = 0) {
    std::uint64_t value = 0;
    if (at + 8 > bytes.size()) return 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string PathData(const char* path) {
    return std::string(path) + '\0';
}

// The NUL-ended texts of an answer.
std::vector<std::string> TextsOf(const std::string& data) {
    std::vector<std::string> texts;
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t end = data.find('\0', at);
        if (end == std::string::npos) {
            texts.push_back(data.substr(at));
            break;
        }
        texts.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    return texts;
}

const char* AfcStatusText(std::int32_t status) {
    switch (status) {
        case 2: return "The device did not understand the request's header";
        case 3: return "The device has no resources left for the request";
        case 4: return "The device could not read the object";
        case 5: return "The device could not write the object";
        case 6: return "The device does not know the request";
        case 7: return "The request's argument is not valid";
        case 8: return "No such file or folder";
        case 9: return "The object is a folder";
        case 10: return "Permission denied";
        case 11: return "The connection to the device has ended";
        case 12: return "The device did not answer in time";
        case 13: return "The device sent more data than asked for";
        case 16: return "The object exists already";
        case 17: return "The object is busy";
        case 18: return "No space is left on the device";
        case 33: return "The folder is not empty";
        default: return nullptr;
    }
}

}  // namespace

struct AFCConnection {
    AMServiceSocket socket;
    std::uint32_t ioTimeoutMs = kDeviceReadTimeoutMs;
    std::uint64_t nextPacket = 0;
    // An answer was cut short, came too late or out of step: the stream can't be trusted.
    bool broken = false;
    // The latest failed call's status; 0 while none has failed.
    std::int32_t lastError = 0;
};

struct AFCKeyValuePairs {
    std::vector<std::string> texts;  // key, value, key, value, ...
    std::size_t next = 0;
};

struct AFCDirectory {
    std::vector<std::string> names;
    std::size_t next = 0;
};

struct AFCOperation {
    std::uint64_t operation = 0;
    std::string data;
    std::int32_t resultStatus = kAFCInvalidArgument;  // until processed
};

namespace {

struct AfcAnswer {
    std::uint64_t operation = 0;
    std::string data;  // the answer's data and payload, joined
};

// Reads exactly `size` bytes before the deadline: 0, kAFCTimeout, or kAFCNotConnected when the
// connection ended.
std::int32_t ReceiveAfc(AFCConnection& afc, char* into, std::size_t size, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return kAFCTimeout;
        std::size_t got = 0;
        const std::int32_t status =
            AMServiceReceive(afc.socket, into + done, size - done, &got, static_cast<unsigned>(left));
        if (got > 0) {
            done += got;
            continue;
        }
        if (status != kAMDReceiveTimeout) return kAFCNotConnected;
    }
    return 0;
}

// One request and its answer, within `timeoutMs`. The status: the device's for a status
// answer, or kAFCNotConnected / kAFCTimeout when the exchange itself failed (the connection is
// then out of step for good).
std::int32_t ExchangeAfc(AFCConnection& afc, std::uint64_t operation, const std::string& data,
                         const std::string& payload, unsigned timeoutMs, AfcAnswer* answer) {
    if (afc.broken) return kAFCNotConnected;
    const std::uint64_t packet = afc.nextPacket++;
    std::string out(kAfcMagic, sizeof kAfcMagic);
    out += U64(kAfcHeaderBytes + data.size() + payload.size());
    out += U64(kAfcHeaderBytes + data.size());
    out += U64(packet);
    out += U64(operation);
    out += data;
    out += payload;
    std::size_t sent = 0;
    if (AMServiceSend(afc.socket, out.data(), out.size(), &sent) != kAMDSuccess || sent != out.size()) {
        afc.broken = true;
        return kAFCNotConnected;
    }
    const unsigned limit = DeviceReadDeadline::limitFor(timeoutMs);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit);
    std::string header(kAfcHeaderBytes, '\0');
    if (const std::int32_t failed = ReceiveAfc(afc, header.data(), header.size(), deadline)) {
        afc.broken = true;
        return failed;
    }
    const std::uint64_t entire = ReadU64(header, 8);
    const std::uint64_t thisLength = ReadU64(header, 16);
    if (std::memcmp(header.data(), kAfcMagic, sizeof kAfcMagic) != 0 || ReadU64(header, 24) != packet ||
        thisLength < kAfcHeaderBytes || entire < thisLength || entire - kAfcHeaderBytes > kMaxAfcAnswerBytes) {
        afc.broken = true;
        return kAFCNotConnected;
    }
    std::string body(entire - kAfcHeaderBytes, '\0');
    if (const std::int32_t failed = ReceiveAfc(afc, body.data(), body.size(), deadline)) {
        afc.broken = true;
        return failed;
    }
    const std::uint64_t answered = ReadU64(header, 32);
    if (answered == kOpStatus) {
        if (body.size() < 8) {
            afc.broken = true;
            return kAFCNotConnected;
        }
        const std::uint64_t code = ReadU64(body);
        return code > 0x7fffffff ? 1 : static_cast<std::int32_t>(code);
    }
    if (answer) {
        answer->operation = answered;
        answer->data = std::move(body);
    }
    return 0;
}

// Every AFC call goes through here, so the connection remembers the latest failure.
std::int32_t CallAfc(AFCConnection* afc, std::uint64_t operation, const std::string& data,
                     const std::string& payload = {}, AfcAnswer* answer = nullptr) {
    const std::int32_t status = ExchangeAfc(*afc, operation, data, payload, afc->ioTimeoutMs, answer);
    if (status != 0) afc->lastError = status;
    return status;
}

// A call answered by one 64-bit number in a packet of its own kind (an opened file's handle, a
// position); any other answer puts the connection out of step.
std::int32_t CallAfcForNumber(AFCConnection* afc, std::uint64_t operation, const std::string& data,
                              std::uint64_t answerOperation, std::uint64_t* number) {
    AfcAnswer answer;
    const std::int32_t status = CallAfc(afc, operation, data, {}, &answer);
    if (status != 0) return status;
    if (answer.operation != answerOperation || answer.data.size() < 8) {
        afc->broken = true;
        afc->lastError = kAFCNotConnected;
        return kAFCNotConnected;
    }
    *number = ReadU64(answer.data);
    return 0;
}

bool PathRefused(const char* path) {
    return !path || !AFCPathStaysInside(path);
}

}  // namespace

bool AFCPathStaysInside(const char* path) {
    if (!path) return false;
    const std::string_view text(path);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        if (text.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

std::int32_t AFCConnectionOpen(const AMServiceSocket& socket, std::uint32_t ioTimeout, AFCConnection** connection) {
    if (!connection) return kAFCInvalidArgument;
    *connection = nullptr;
    if (!socket || !socket->client || socket->closed) return kAFCInvalidArgument;
    auto created = std::make_unique<AFCConnection>();
    created->socket = socket;
    created->ioTimeoutMs = ioTimeout == 0 ? kDeviceReadTimeoutMs : ioTimeout;
    *connection = created.release();
    return 0;
}

std::int32_t AFCConnectionClose(AFCConnection* connection) {
    if (!connection) return kAFCInvalidArgument;
    delete connection;
    return 0;
}

std::uint32_t AFCConnectionGetIOTimeout(AFCConnection* connection) {
    return connection ? connection->ioTimeoutMs : 0;
}

PlistValue AFCConnectionCopyLastErrorInfo(AFCConnection* connection) {
    if (!connection || connection->lastError == 0) return {};
    PlistValue info = PlistValue::dictionary();
    info.set("Code", PlistValue::integer(connection->lastError));
    if (const char* text = AfcStatusText(connection->lastError))
        info.set("NSLocalizedDescription", PlistValue::string(text));
    return info;
}

AFCOperation* AFCOperationCreateRemovePath(const char* path) {
    if (PathRefused(path)) return nullptr;
    return new AFCOperation{kOpRemovePath, PathData(path)};
}

AFCOperation* AFCOperationCreateMakeDirectory(const char* path) {
    if (PathRefused(path)) return nullptr;
    return new AFCOperation{kOpMakeDir, PathData(path)};
}

void AFCOperationRelease(AFCOperation* operation) {
    delete operation;
}

std::int32_t AFCConnectionProcessOperation(AFCConnection* connection, AFCOperation* operation,
                                           std::uint32_t timeoutMs) {
    if (!connection || !operation) return kAFCInvalidArgument;
    const std::int32_t status = ExchangeAfc(*connection, operation->operation, operation->data, {},
                                            timeoutMs == 0 ? connection->ioTimeoutMs : timeoutMs, nullptr);
    operation->resultStatus = status;
    if (status != 0) connection->lastError = status;
    // Only a failed exchange fails the processing; the device's refusal is the result.
    return status == kAFCNotConnected || status == kAFCTimeout ? status : 0;
}

std::int32_t AFCOperationGetResultStatus(const AFCOperation* operation) {
    return operation ? operation->resultStatus : kAFCInvalidArgument;
}

namespace {

std::int32_t ReadPairs(AFCConnection* connection, std::uint64_t operation, const std::string& data,
                       AFCKeyValuePairs** pairs) {
    AfcAnswer answer;
    const std::int32_t status = CallAfc(connection, operation, data, {}, &answer);
    if (status != 0) return status;
    *pairs = new AFCKeyValuePairs{TextsOf(answer.data), 0};
    return 0;
}

}  // namespace

std::int32_t AFCDeviceInfoOpen(AFCConnection* connection, AFCKeyValuePairs** pairs) {
    if (!connection || !pairs) return kAFCInvalidArgument;
    return ReadPairs(connection, kOpGetDevInfo, {}, pairs);
}

std::int32_t AFCFileInfoOpen(AFCConnection* connection, const char* path, AFCKeyValuePairs** pairs) {
    if (!connection || !pairs || PathRefused(path)) return kAFCInvalidArgument;
    return ReadPairs(connection, kOpGetFileInfo, PathData(path), pairs);
}

std::int32_t AFCKeyValueRead(AFCKeyValuePairs* pairs, const char** key, const char** value) {
    if (!pairs || !key || !value) return kAFCInvalidArgument;
    *key = nullptr;
    *value = nullptr;
    if (pairs->next + 1 < pairs->texts.size()) {
        *key = pairs->texts[pairs->next].c_str();
        *value = pairs->texts[pairs->next + 1].c_str();
        pairs->next += 2;
    }
    return 0;
}

std::int32_t AFCKeyValueClose(AFCKeyValuePairs* pairs) {
    delete pairs;
    return 0;
}

std::int32_t AFCDirectoryOpen(AFCConnection* connection, const char* path, AFCDirectory** dir) {
    if (!connection || !dir || PathRefused(path)) return kAFCInvalidArgument;
    AfcAnswer answer;
    const std::int32_t status = CallAfc(connection, kOpReadDir, PathData(path), {}, &answer);
    if (status != 0) return status;
    *dir = new AFCDirectory{TextsOf(answer.data), 0};
    return 0;
}

std::int32_t AFCDirectoryRead(AFCConnection*, AFCDirectory* dir, const char** name) {
    if (!dir || !name) return kAFCInvalidArgument;
    *name = dir->next < dir->names.size() ? dir->names[dir->next++].c_str() : nullptr;
    return 0;
}

std::int32_t AFCDirectoryClose(AFCConnection*, AFCDirectory* dir) {
    delete dir;
    return 0;
}

std::int32_t AFCDirectoryCreate(AFCConnection* connection, const char* path) {
    if (!connection || PathRefused(path)) return kAFCInvalidArgument;
    return CallAfc(connection, kOpMakeDir, PathData(path));
}

std::int32_t AFCRemovePath(AFCConnection* connection, const char* path) {
    if (!connection || PathRefused(path)) return kAFCInvalidArgument;
    return CallAfc(connection, kOpRemovePath, PathData(path));
}

std::int32_t AFCRenamePath(AFCConnection* connection, const char* oldPath, const char* newPath) {
    if (!connection || PathRefused(oldPath) || PathRefused(newPath)) return kAFCInvalidArgument;
    return CallAfc(connection, kOpRenamePath, PathData(oldPath) + PathData(newPath));
}

std::int32_t AFCLinkPath(AFCConnection* connection, std::int64_t type, const char* target,
                         const char* path) {
    if (!connection || PathRefused(target) || PathRefused(path)) return kAFCInvalidArgument;
    if (type != 1 && type != 2) return kAFCInvalidArgument;
    return CallAfc(connection, kOpMakeLink, U64(static_cast<std::uint64_t>(type)) + PathData(target) + PathData(path));
}

std::int32_t AFCFileRefOpen(AFCConnection* connection, const char* path, std::int64_t mode,
                            AFCFileRef* ref) {
    if (!connection || !ref || PathRefused(path)) return kAFCInvalidArgument;
    *ref = 0;
    // The protocol's modes: 1 read only, 3 write (created or emptied), 2 read and write.
    std::uint64_t afcMode = 0;
    switch (mode) {
        case 1: afcMode = 1; break;
        case 2: afcMode = 3; break;
        case 3: afcMode = 2; break;
        default: return kAFCInvalidArgument;
    }
    return CallAfcForNumber(connection, kOpFileOpen, U64(afcMode) + PathData(path), kOpFileOpenResult, ref);
}

std::int32_t AFCFileRefRead(AFCConnection* connection, AFCFileRef ref, void* buffer,
                            std::uint32_t* count) {
    if (!connection || !buffer || !count) return kAFCInvalidArgument;
    const std::uint32_t wanted = std::min(*count, kAfcReadPiece);
    *count = 0;
    AfcAnswer answer;
    const std::int32_t status = CallAfc(connection, kOpFileRead, U64(ref) + U64(wanted), {}, &answer);
    if (status != 0) return status;
    // A device that answers more than was asked for is not believed.
    if (answer.data.size() > wanted) {
        connection->lastError = 13;
        return 13;
    }
    std::memcpy(buffer, answer.data.data(), answer.data.size());
    *count = static_cast<std::uint32_t>(answer.data.size());
    return 0;
}

std::int32_t AFCFileRefWrite(AFCConnection* connection, AFCFileRef ref, const void* bytes,
                             std::uint32_t count) {
    if (!connection || (!bytes && count > 0)) return kAFCInvalidArgument;
    const char* from = static_cast<const char*>(bytes);
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t piece = std::min(count - done, kAfcWritePiece);
        const std::int32_t status = CallAfc(connection, kOpFileWrite, U64(ref), std::string(from + done, piece));
        if (status != 0) return status;
        done += piece;
    }
    return 0;
}

std::int32_t AFCFileRefSeek(AFCConnection* connection, AFCFileRef ref, std::int64_t offset,
                            std::int32_t whence) {
    if (!connection) return kAFCInvalidArgument;
    return CallAfc(connection, kOpFileSeek,
                   U64(ref) + U64(static_cast<std::uint64_t>(whence)) + U64(static_cast<std::uint64_t>(offset)));
}

std::int32_t AFCFileRefTell(AFCConnection* connection, AFCFileRef ref, std::uint64_t* offset) {
    if (!connection || !offset) return kAFCInvalidArgument;
    return CallAfcForNumber(connection, kOpFileTell, U64(ref), kOpFileTellResult, offset);
}

std::int32_t AFCFileRefSetFileSize(AFCConnection* connection, AFCFileRef ref, std::uint64_t size) {
    if (!connection) return kAFCInvalidArgument;
    return CallAfc(connection, kOpFileSetSize, U64(ref) + U64(size));
}

std::int32_t AFCFileRefClose(AFCConnection* connection, AFCFileRef ref) {
    if (!connection) return kAFCInvalidArgument;
    return CallAfc(connection, kOpFileClose, U64(ref));
}

const char* AFCGetClientVersionString() {
    return "torvane-afc-1.0";
}

// ---- Property-list frames and the notification proxy ----

namespace {

std::int32_t SendFrame(const AMServiceSocket& socket, const PlistValue& message) {
    const std::string xml = message.toXml();
    if (xml.empty()) return kAMDInvalidArgument;
    const std::uint32_t length = static_cast<std::uint32_t>(xml.size());
    std::string frame(4, '\0');
    frame[0] = static_cast<char>((length >> 24) & 0xff);
    frame[1] = static_cast<char>((length >> 16) & 0xff);
    frame[2] = static_cast<char>((length >> 8) & 0xff);
    frame[3] = static_cast<char>(length & 0xff);
    frame += xml;
    std::size_t sent = 0;
    const std::int32_t status = AMServiceSend(socket, frame.data(), frame.size(), &sent);
    if (status != kAMDSuccess) return status;
    return sent == frame.size() ? kAMDSuccess : kAMDSendFailed;
}

// Reads exactly `size` bytes; waits in short slices so that a stop request ends it soon.
bool ReadExactly(const AMServiceSocket& socket, char* into, std::size_t size,
                 const std::stop_token& stop, bool idleAllowed) {
    std::size_t done = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (done < size) {
        if (stop.stop_requested()) return false;
        std::size_t got = 0;
        const std::int32_t status = AMServiceReceive(socket, into + done, size - done, &got, 250);
        if (got > 0) {
            done += got;
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (status != kAMDReceiveTimeout) return false;  // the connection has ended
        // Nothing came: a quiet proxy is fine between frames, not inside one.
        if (!(idleAllowed && done == 0) &&
            std::chrono::steady_clock::now() - lastProgress >
                std::chrono::milliseconds(kDeviceReadTimeoutMs))
            return false;
    }
    return true;
}

void ListenLoop(const std::stop_token& stop, const AMServiceSocket& socket,
                AMDNotificationCallback callback, void* context, const RunLoopPoster& post) {
    while (!stop.stop_requested()) {
        unsigned char header[4];
        if (!ReadExactly(socket, reinterpret_cast<char*>(header), 4, stop, true)) return;
        const std::uint32_t length = (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) |
                                     (std::uint32_t(header[2]) << 8) | header[3];
        if (length == 0 || length > kMaxServiceFrameBytes) {
            std::cerr << "notification proxy: refused a message of " << length << " bytes\n";
            return;
        }
        std::string body(length, '\0');
        if (!ReadExactly(socket, body.data(), length, stop, false)) return;
        std::string why;
        const PlistValue message = PlistValue::parse(body.data(), body.size(), &why);
        if (!message) {
            std::cerr << "notification proxy: refused a message, " << why << '\n';
            return;
        }
        const std::optional<std::string> command = message.stringFor("Command");
        if (command == "ProxyDeath") return;
        if (command != "RelayNotification") continue;
        const std::optional<std::string> name = message.stringFor("Name");
        if (!name) continue;
        post([callback, context, name = *name] { callback(name, context); });
    }
}

}  // namespace

std::int32_t AMDListenForNotifications(const AMServiceSocket& socket, AMDNotificationCallback callback,
                                       void* context, RunLoopPoster post) {
    if (!socket || !callback || !post) return kAMDInvalidArgument;
    if (socket->listener.joinable()) return kAMDSuccess;
    socket->listener = std::jthread([socket = socket.get(), callback, context,
                                     post = std::move(post)](std::stop_token stop) {
        // The thread is joined by the connection's destructor, so the raw pointer outlives it;
        // a non-owning shared pointer lets the frame readers take the usual argument.
        const AMServiceSocket self(std::shared_ptr<ServiceConnection>{}, socket);
        ListenLoop(stop, self, callback, context, post);
    });
    return kAMDSuccess;
}

std::int32_t AMDObserveNotification(const AMServiceSocket& socket, const std::string& name) {
    PlistValue message = PlistValue::dictionary();
    message.set("Command", PlistValue::string("ObserveNotification"));
    message.set("Name", PlistValue::string(name));
    return SendFrame(socket, message);
}

std::int32_t AMDPostNotification(const AMServiceSocket& socket, const std::string& name,
                                 const PlistValue* userInfo) {
    PlistValue message = PlistValue::dictionary();
    message.set("Command", PlistValue::string("PostNotification"));
    message.set("Name", PlistValue::string(name));
    if (userInfo && *userInfo) message.set("UserInfo", *userInfo);
    return SendFrame(socket, message);
}

std::int32_t AMDShutdownNotificationProxy(const AMServiceSocket& socket) {
    if (!socket) return kAMDInvalidArgument;
    PlistValue message = PlistValue::dictionary();
    message.set("Command", PlistValue::string("Shutdown"));
    const std::int32_t status = SendFrame(socket, message);
    if (socket->listener.joinable()) {
        socket->listener.request_stop();
        socket->listener.join();
    }
    AMServiceClose(socket);
    return status;
}

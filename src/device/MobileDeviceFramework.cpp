#include "device/MobileDeviceFramework.h"

#include <libimobiledevice/afc.h>
#include <libimobiledevice/installation_proxy.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/service.h>
#include <plist/plist.h>
#include <usbmuxd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

// Exported by libimobiledevice, though not in its public header: an AFC client on a service
// connection that is already open (the connection a house_arrest request vended).
extern "C" afc_error_t afc_client_new_with_service_client(service_client_t service_client,
                                                          afc_client_t* client);

namespace {

constexpr const char* kLockdownLabel = "torvane";

std::int32_t DeviceStatus(int libraryError) {
    if (libraryError == 0) return kAMDSuccess;
    const unsigned magnitude = static_cast<unsigned>(libraryError < 0 ? -libraryError : libraryError);
    return static_cast<std::int32_t>(static_cast<unsigned>(kAMDErrorBase) | (magnitude & 0xffu));
}

}  // namespace

// ---- Devices ----

struct DeviceHandle {
    std::string udid;
    std::uint32_t muxHandle = 0;
    std::mutex mutex;
    idevice_t device = nullptr;
    lockdownd_client_t lockdown = nullptr;
    std::string sessionId;

    ~DeviceHandle() {
        if (lockdown) lockdownd_client_free(lockdown);
        if (device) idevice_free(device);
    }
};

struct AMDeviceNotification {
    struct State {
        std::mutex mutex;
        bool alive = true;
        std::map<std::uint32_t, AMDeviceRef> devices;  // by multiplexer handle
        AMDeviceNotificationCallback callback = nullptr;
        void* context = nullptr;
        RunLoopPoster post;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    usbmuxd_subscription_context_t usbmux = nullptr;
};

namespace {

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

// Runs on the multiplexer's event thread.
void UsbmuxEvent(const usbmuxd_event_t* event, void* userData) {
    auto* subscription = static_cast<AMDeviceNotification*>(userData);
    const auto& state = subscription->state;
    if (event->device.conn_type != CONNECTION_TYPE_USB) return;
    AMDeviceRef device;
    std::uint32_t msg = ADNCI_MSG_UNKNOWN;
    {
        std::lock_guard lock(state->mutex);
        if (!state->alive) return;
        if (event->event == UE_DEVICE_ADD) {
            device = std::make_shared<DeviceHandle>();
            device->udid = event->device.udid;
            device->muxHandle = event->device.handle;
            state->devices[device->muxHandle] = device;
            msg = ADNCI_MSG_CONNECTED;
        } else if (event->event == UE_DEVICE_REMOVE) {
            const auto found = state->devices.find(event->device.handle);
            if (found != state->devices.end()) {
                device = found->second;
                state->devices.erase(found);
            } else {
                device = std::make_shared<DeviceHandle>();
                device->udid = event->device.udid;
                device->muxHandle = event->device.handle;
            }
            msg = ADNCI_MSG_DISCONNECTED;
        } else {
            return;
        }
    }
    DeliverEvent(state, std::move(device), msg);
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
    const int result = usbmuxd_events_subscribe(&created->usbmux, UsbmuxEvent, created.get());
    if (result != 0) return DeviceStatus(result);
    *subscription = created.release();
    return kAMDSuccess;
}

std::int32_t AMDeviceNotificationUnsubscribe(AMDeviceNotification* subscription) {
    if (!subscription) return kAMDInvalidArgument;
    {
        std::lock_guard lock(subscription->state->mutex);
        subscription->state->alive = false;
    }
    usbmuxd_events_unsubscribe(subscription->usbmux);
    delete subscription;
    return kAMDSuccess;
}

std::int32_t AMDeviceConnect(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (device->lockdown) return kAMDSuccess;
    if (!device->device) {
        const idevice_error_t error =
            idevice_new_with_options(&device->device, device->udid.c_str(), IDEVICE_LOOKUP_USBMUX);
        if (error != IDEVICE_E_SUCCESS) {
            device->device = nullptr;
            return DeviceStatus(error);
        }
    }
    const lockdownd_error_t error = lockdownd_client_new(device->device, &device->lockdown, kLockdownLabel);
    if (error != LOCKDOWN_E_SUCCESS) {
        device->lockdown = nullptr;
        return DeviceStatus(error);
    }
    return kAMDSuccess;
}

std::int32_t AMDeviceDisconnect(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    lockdownd_client_free(device->lockdown);
    device->lockdown = nullptr;
    device->sessionId.clear();
    return kAMDSuccess;
}

std::int32_t AMDeviceStartSession(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    char* recordBytes = nullptr;
    std::uint32_t recordSize = 0;
    if (usbmuxd_read_pair_record(device->udid.c_str(), &recordBytes, &recordSize) < 0 ||
        !recordBytes)
        return kAMDNoPairRecord;
    const PlistValue record = PlistValue::parse(recordBytes, recordSize);
    std::free(recordBytes);
    const std::optional<std::string> hostId = record.stringFor("HostID");
    if (!hostId) return kAMDNoPairRecord;
    char* sessionId = nullptr;
    const lockdownd_error_t error =
        lockdownd_start_session(device->lockdown, hostId->c_str(), &sessionId, nullptr);
    device->sessionId = sessionId ? sessionId : "";
    std::free(sessionId);
    return DeviceStatus(error);
}

std::int32_t AMDeviceStopSession(const AMDeviceRef& device) {
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    const lockdownd_error_t error = lockdownd_stop_session(device->lockdown, device->sessionId.c_str());
    device->sessionId.clear();
    return DeviceStatus(error);
}

PlistValue AMDeviceCopyValue(const AMDeviceRef& device, const char* domain, const char* key) {
    if (!device) return {};
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return {};
    plist_t value = nullptr;
    if (lockdownd_get_value(device->lockdown, domain, key, &value) != LOCKDOWN_E_SUCCESS) {
        if (value) plist_free(value);
        return {};
    }
    return PlistValue(value);
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

std::int32_t AMDeviceStartService(const AMDeviceRef& device, const std::string& serviceName,
                                  AMServiceSocket* socket, void*) {
    if (!socket) return kAMDInvalidArgument;
    *socket = nullptr;
    if (!device) return kAMDNoDevice;
    std::lock_guard lock(device->mutex);
    if (!device->lockdown) return kAMDNotConnected;
    lockdownd_service_descriptor_t descriptor = nullptr;
    const lockdownd_error_t error =
        lockdownd_start_service(device->lockdown, serviceName.c_str(), &descriptor);
    if (error != LOCKDOWN_E_SUCCESS || !descriptor) {
        if (descriptor) lockdownd_service_descriptor_free(descriptor);
        return DeviceStatus(error != LOCKDOWN_E_SUCCESS ? error : LOCKDOWN_E_UNKNOWN_ERROR);
    }
    auto connection = std::make_shared<ServiceConnection>();
    connection->device = device;
    const service_error_t connected = service_client_new(device->device, descriptor, &connection->client);
    lockdownd_service_descriptor_free(descriptor);
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
    lockdownd_service_descriptor_t descriptor = nullptr;
    const lockdownd_error_t error =
        lockdownd_start_service(device->lockdown, INSTPROXY_SERVICE_NAME, &descriptor);
    if (error != LOCKDOWN_E_SUCCESS || !descriptor) {
        if (descriptor) lockdownd_service_descriptor_free(descriptor);
        return DeviceStatus(error != LOCKDOWN_E_SUCCESS ? error : LOCKDOWN_E_UNKNOWN_ERROR);
    }
    instproxy_client_t proxy = nullptr;
    const instproxy_error_t made = instproxy_client_new(device->device, descriptor, &proxy);
    lockdownd_service_descriptor_free(descriptor);
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
    std::uint32_t done = 0;
    const service_error_t error =
        service_receive_with_timeout(socket->client, static_cast<char*>(buffer),
                                     static_cast<std::uint32_t>(size), &done, timeoutMs);
    if (received) *received = done;
    if (error == SERVICE_E_SUCCESS || done > 0) return kAMDSuccess;
    return error == SERVICE_E_TIMEOUT ? kAMDReceiveTimeout : kAMDReceiveFailed;
}

void AMServiceClose(const AMServiceSocket& socket) {
    if (!socket) return;
    socket->closed = true;
}

// ---- AFC ----

struct AFCConnection {
    AMServiceSocket socket;
    afc_client_t afc = nullptr;
};

struct AFCKeyValuePairs {
    std::vector<std::string> texts;  // key, value, key, value, ...
    std::size_t next = 0;
};

struct AFCDirectory {
    std::vector<std::string> names;
    std::size_t next = 0;
};

namespace {

// Takes a NULL-terminated list of texts that the library allocated, and frees it.
std::vector<std::string> TakeList(char** list) {
    std::vector<std::string> texts;
    if (!list) return texts;
    for (char** item = list; *item; ++item) texts.emplace_back(*item);
    afc_dictionary_free(list);
    return texts;
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

std::int32_t AFCConnectionOpen(const AMServiceSocket& socket, std::uint32_t, AFCConnection** connection) {
    if (!connection) return kAFCInvalidArgument;
    *connection = nullptr;
    if (!socket || !socket->client || socket->closed) return kAFCInvalidArgument;
    auto created = std::make_unique<AFCConnection>();
    created->socket = socket;
    const afc_error_t error = afc_client_new_with_service_client(socket->client, &created->afc);
    if (error != AFC_E_SUCCESS) return error;
    *connection = created.release();
    return 0;
}

std::int32_t AFCConnectionClose(AFCConnection* connection) {
    if (!connection) return kAFCInvalidArgument;
    if (connection->afc) afc_client_free(connection->afc);
    delete connection;
    return 0;
}

std::int32_t AFCDeviceInfoOpen(AFCConnection* connection, AFCKeyValuePairs** pairs) {
    if (!connection || !pairs) return kAFCInvalidArgument;
    char** list = nullptr;
    const afc_error_t error = afc_get_device_info(connection->afc, &list);
    if (error != AFC_E_SUCCESS) {
        TakeList(list);
        return error;
    }
    *pairs = new AFCKeyValuePairs{TakeList(list), 0};
    return 0;
}

std::int32_t AFCFileInfoOpen(AFCConnection* connection, const char* path, AFCKeyValuePairs** pairs) {
    if (!connection || !pairs || PathRefused(path)) return kAFCInvalidArgument;
    char** list = nullptr;
    const afc_error_t error = afc_get_file_info(connection->afc, path, &list);
    if (error != AFC_E_SUCCESS) {
        TakeList(list);
        return error;
    }
    *pairs = new AFCKeyValuePairs{TakeList(list), 0};
    return 0;
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
    char** list = nullptr;
    const afc_error_t error = afc_read_directory(connection->afc, path, &list);
    if (error != AFC_E_SUCCESS) {
        TakeList(list);
        return error;
    }
    *dir = new AFCDirectory{TakeList(list), 0};
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
    return afc_make_directory(connection->afc, path);
}

std::int32_t AFCRemovePath(AFCConnection* connection, const char* path) {
    if (!connection || PathRefused(path)) return kAFCInvalidArgument;
    return afc_remove_path(connection->afc, path);
}

std::int32_t AFCRenamePath(AFCConnection* connection, const char* oldPath, const char* newPath) {
    if (!connection || PathRefused(oldPath) || PathRefused(newPath)) return kAFCInvalidArgument;
    return afc_rename_path(connection->afc, oldPath, newPath);
}

std::int32_t AFCLinkPath(AFCConnection* connection, std::int64_t type, const char* target,
                         const char* path) {
    if (!connection || PathRefused(target) || PathRefused(path)) return kAFCInvalidArgument;
    if (type != 1 && type != 2) return kAFCInvalidArgument;
    return afc_make_link(connection->afc, type == 1 ? AFC_HARDLINK : AFC_SYMLINK, target, path);
}

std::int32_t AFCFileRefOpen(AFCConnection* connection, const char* path, std::int64_t mode,
                            AFCFileRef* ref) {
    if (!connection || !ref || PathRefused(path)) return kAFCInvalidArgument;
    *ref = 0;
    afc_file_mode_t afcMode = AFC_FOPEN_RDONLY;
    switch (mode) {
        case 1:
            afcMode = AFC_FOPEN_RDONLY;
            break;
        case 2:
            afcMode = AFC_FOPEN_WRONLY;
            break;
        case 3:
            afcMode = AFC_FOPEN_RW;
            break;
        default:
            return kAFCInvalidArgument;
    }
    std::uint64_t handle = 0;
    const afc_error_t error = afc_file_open(connection->afc, path, afcMode, &handle);
    if (error != AFC_E_SUCCESS) return error;
    *ref = handle;
    return 0;
}

std::int32_t AFCFileRefRead(AFCConnection* connection, AFCFileRef ref, void* buffer,
                            std::uint32_t* count) {
    if (!connection || !buffer || !count) return kAFCInvalidArgument;
    std::uint32_t read = 0;
    const afc_error_t error = afc_file_read(connection->afc, ref, static_cast<char*>(buffer), *count, &read);
    if (error != AFC_E_SUCCESS) {
        *count = 0;
        return error;
    }
    // The library reports a data packet that the device cut short as read whole. Such a device
    // has dropped the connection, so a position query after each read tells a true read from
    // a cut one.
    std::uint64_t position = 0;
    if (read > 0) {
        const afc_error_t alive = afc_file_tell(connection->afc, ref, &position);
        if (alive != AFC_E_SUCCESS) {
            std::memset(buffer, 0, *count);
            *count = 0;
            return alive;
        }
    }
    // A device that answers more than was asked for is not believed.
    *count = std::min(read, *count);
    return AFC_E_SUCCESS;
}

std::int32_t AFCFileRefWrite(AFCConnection* connection, AFCFileRef ref, const void* bytes,
                             std::uint32_t count) {
    if (!connection || (!bytes && count > 0)) return kAFCInvalidArgument;
    std::uint32_t written = 0;
    const afc_error_t error =
        afc_file_write(connection->afc, ref, static_cast<const char*>(bytes), count, &written);
    if (error != AFC_E_SUCCESS) return error;
    return written == count ? 0 : AFC_E_WRITE_ERROR;
}

std::int32_t AFCFileRefSeek(AFCConnection* connection, AFCFileRef ref, std::int64_t offset,
                            std::int32_t whence) {
    if (!connection) return kAFCInvalidArgument;
    return afc_file_seek(connection->afc, ref, offset, whence);
}

std::int32_t AFCFileRefTell(AFCConnection* connection, AFCFileRef ref, std::uint64_t* offset) {
    if (!connection || !offset) return kAFCInvalidArgument;
    return afc_file_tell(connection->afc, ref, offset);
}

std::int32_t AFCFileRefSetFileSize(AFCConnection* connection, AFCFileRef ref, std::uint64_t size) {
    if (!connection) return kAFCInvalidArgument;
    return afc_file_truncate(connection->afc, ref, size);
}

std::int32_t AFCFileRefClose(AFCConnection* connection, AFCFileRef ref) {
    if (!connection) return kAFCInvalidArgument;
    return afc_file_close(connection->afc, ref);
}

const char* AFCGetClientVersionString() {
    return "torvane-afc-1.0 (libimobiledevice)";
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
        const PlistValue message = PlistValue::parse(body.data(), body.size());
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

#pragma once

#include "device/DevicePlist.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The device framework: the plain functions through which the device classes reach connected
// iOS devices (over usbmuxd, lockdownd and the device services). Each returns a 32-bit status,
// 0 for success; callers put a non-zero one into their error texts in hexadecimal.
//
// Every read from a device has a timeout, and every length a device sends is checked before
// it is used. The device multiplexer is asked for its device list by this layer itself (see
// UsbmuxClient.h), and lockdownd and AFC are spoken here over the library's connections, so no
// library thread runs and every wait is bounded. A connection whose descriptor select() could
// not watch (FD_SETSIZE and above) is refused rather than handed to the library.

// ---- Statuses ----
inline constexpr std::int32_t kAMDSuccess = 0;
// Device-level failures: 0xe8000000 plus the size of the underlying library's error code.
inline constexpr std::int32_t kAMDErrorBase = static_cast<std::int32_t>(0xe8000000u);
inline constexpr std::int32_t kAMDNoDevice = kAMDErrorBase | 0x100;           // device is gone
inline constexpr std::int32_t kAMDNotConnected = kAMDErrorBase | 0x101;       // no connection
inline constexpr std::int32_t kAMDNoPairRecord = kAMDErrorBase | 0x102;       // not trusted
inline constexpr std::int32_t kAMDInvalidArgument = kAMDErrorBase | 0x103;
inline constexpr std::int32_t kAMDReceiveFailed = kAMDErrorBase | 0x104;
inline constexpr std::int32_t kAMDSendFailed = kAMDErrorBase | 0x105;
inline constexpr std::int32_t kAMDReceiveTimeout = kAMDErrorBase | 0x106;    // nothing came in time
inline constexpr std::int32_t kAMDTooManyDescriptors = kAMDErrorBase | 0x107; // see above
// AFC statuses are the AFC protocol's own codes: 4 is a read error (a directory open of a
// file answers it), 7 an invalid argument (also a path that leaves the root), 8 not found.
inline constexpr std::int32_t kAFCReadError = 4;
inline constexpr std::int32_t kAFCInvalidArgument = 7;
inline constexpr std::int32_t kAFCNotFound = 8;
inline constexpr std::int32_t kAFCNotConnected = 11;    // the connection has ended or is out of step
inline constexpr std::int32_t kAFCTimeout = 12;         // the device did not answer in time

// How long one read from a device service may wait, in milliseconds.
inline constexpr unsigned kDeviceReadTimeoutMs = 30000;
// How long one answer of lockdownd may take, in milliseconds. A lockdownd that does not
// answer in time has its connection closed: the next request opens a new one.
inline constexpr unsigned kLockdownReadTimeoutMs = 5000;
// How long the device multiplexer may take to answer a request the library makes of it on
// the way to a device (a connection to one of its ports, its pairing record), in milliseconds.
// The library itself would wait several seconds for each: a multiplexer that does not answer
// would then cost that much per device.
inline constexpr unsigned kMultiplexerRequestLimitMs = 1000;
// How long the device multiplexer may take to give its device list, and how often the list is
// asked for while a subscription lives (more slowly while the multiplexer does not answer).
inline constexpr std::chrono::milliseconds kMultiplexerAnswerLimit{1000};
inline constexpr std::chrono::milliseconds kDeviceListInterval{500};
inline constexpr std::chrono::milliseconds kDeviceListLongestInterval{4000};

// While an object of this class lives, every device read made by the thread that made it
// (lockdownd answers, service reads) waits no later than `deadline`, whatever its own limit:
// for a command that must end in time. Scopes nest; the inner deadline holds inside.
class DeviceReadDeadline {
public:
    explicit DeviceReadDeadline(std::chrono::steady_clock::time_point deadline);
    ~DeviceReadDeadline();
    DeviceReadDeadline(const DeviceReadDeadline&) = delete;
    DeviceReadDeadline& operator=(const DeviceReadDeadline&) = delete;
    // The milliseconds a read of this thread may wait: `limit`, or less when a deadline is
    // nearer (0 when it has passed).
    static unsigned limitFor(unsigned limit);

private:
    std::optional<std::chrono::steady_clock::time_point> outer_;
};

// Hands work to the thread that subscribed (the main thread's loop), in posting order.
using RunLoopPoster = std::function<void(std::function<void()>)>;

// ---- Devices ----
struct DeviceHandle;
using AMDeviceRef = std::shared_ptr<DeviceHandle>;

// Message codes of a device notification.
inline constexpr std::uint32_t ADNCI_MSG_CONNECTED = 1;
inline constexpr std::uint32_t ADNCI_MSG_DISCONNECTED = 2;
inline constexpr std::uint32_t ADNCI_MSG_UNKNOWN = 3;

struct AMDeviceNotificationInfo {
    AMDeviceRef device;
    std::uint32_t msg = ADNCI_MSG_UNKNOWN;
};
using AMDeviceNotificationCallback = void (*)(const AMDeviceNotificationInfo* info, void* context);
struct AMDeviceNotification;

// Subscribes to device arrival and departure: the callback then runs through `post` (on the
// subscribing thread's loop) once per arrival and once per departure of a device connected
// over USB. The same handle object is given for a device's arrival and its departure.
// The device list is asked for once before this returns (the devices connected now are
// posted at once) and then every kDeviceListInterval on a thread of the subscription's own;
// while the multiplexer does not answer, the questions come more slowly, and after three
// unanswered ones in a row every listed device has left. A multiplexer that is not running yet
// is waited for in the same way.
std::int32_t AMDeviceNotificationSubscribe(AMDeviceNotificationCallback callback,
                                           std::uint32_t unused1, std::uint32_t unused2,
                                           void* context, AMDeviceNotification** subscription,
                                           RunLoopPoster post);
// Ends a subscription: no callback runs afterwards, not even one already posted.
std::int32_t AMDeviceNotificationUnsubscribe(AMDeviceNotification* subscription);
// Whether the multiplexer answered the subscription's latest question for the device list.
bool AMDeviceNotificationMultiplexerAnswers(const AMDeviceNotification* subscription);

// The connection (to the device's lockdownd) and the lockdown session; a session needs a
// connection and a pairing record for the device (no pairing is made here).
std::int32_t AMDeviceConnect(const AMDeviceRef& device);
std::int32_t AMDeviceDisconnect(const AMDeviceRef& device);
std::int32_t AMDeviceStartSession(const AMDeviceRef& device);
std::int32_t AMDeviceStopSession(const AMDeviceRef& device);
// A new value, or none; a null key gives the whole domain as a dictionary. Needs a connection.
PlistValue AMDeviceCopyValue(const AMDeviceRef& device, const char* domain, const char* key);
// The device's identifier as the device multiplexer announced it.
std::string AMDeviceCopyDeviceIdentifier(const AMDeviceRef& device);

// ---- Service sockets ----
struct ServiceConnection;
using AMServiceSocket = std::shared_ptr<ServiceConnection>;

// Starts a device service (needs a session) and connects to it; the connection stays usable
// after the session ends.
std::int32_t AMDeviceStartService(const AMDeviceRef& device, const std::string& serviceName,
                                  AMServiceSocket* socket, void* unused = nullptr);
// A new dictionary from bundle identifier to bundle information. Needs a session.
std::int32_t AMDeviceLookupApplications(const AMDeviceRef& device, const void* options,
                                        PlistValue* result);

// One send or receive call on a service socket. A receive gives at most `size` bytes and waits
// at most `timeoutMs`: kAMDReceiveTimeout when nothing came, kAMDReceiveFailed when the
// connection has ended.
std::int32_t AMServiceSend(const AMServiceSocket& socket, const void* bytes, std::size_t size,
                           std::size_t* sent);
std::int32_t AMServiceReceive(const AMServiceSocket& socket, void* buffer, std::size_t size,
                              std::size_t* received, unsigned timeoutMs = kDeviceReadTimeoutMs);
// Marks the connection closed: further calls fail; it is released with its last reference.
void AMServiceClose(const AMServiceSocket& socket);

// ---- AFC ----
struct AFCConnection;
struct AFCKeyValuePairs;
struct AFCDirectory;
using AFCFileRef = std::uint64_t;

// An AFC connection on a started service's socket. Every call on it waits at most `ioTimeout`
// milliseconds for the device (0: kDeviceReadTimeoutMs); a device that answers too late, cuts
// an answer short or answers out of step ends the connection (kAFCNotConnected afterwards).
std::int32_t AFCConnectionOpen(const AMServiceSocket& socket, std::uint32_t ioTimeout,
                               AFCConnection** connection);
std::int32_t AFCConnectionClose(AFCConnection* connection);
// The I/O timeout in force, in milliseconds; 0 for no connection.
std::uint32_t AFCConnectionGetIOTimeout(AFCConnection* connection);
// What the connection's latest failed call went wrong with: a dictionary with "Code" (the
// AFC status) and, for the statuses this layer can describe, "NSLocalizedDescription"; none
// when no call has failed.
PlistValue AFCConnectionCopyLastErrorInfo(AFCConnection* connection);

// One AFC request, made by a maker below, processed on a connection, and released.
struct AFCOperation;
// Removes a file or an empty folder.
AFCOperation* AFCOperationCreateRemovePath(const char* path);
// Makes a folder (and the folders above it).
AFCOperation* AFCOperationCreateMakeDirectory(const char* path);
void AFCOperationRelease(AFCOperation* operation);
// Sends the operation and waits at most `timeoutMs` for its answer. The status says whether
// the exchange itself worked; the device's answer is AFCOperationGetResultStatus.
std::int32_t AFCConnectionProcessOperation(AFCConnection* connection, AFCOperation* operation,
                                           std::uint32_t timeoutMs);
// The device's AFC status for the operation; kAFCInvalidArgument for none or one not processed.
std::int32_t AFCOperationGetResultStatus(const AFCOperation* operation);
std::int32_t AFCDeviceInfoOpen(AFCConnection* connection, AFCKeyValuePairs** pairs);
std::int32_t AFCFileInfoOpen(AFCConnection* connection, const char* path, AFCKeyValuePairs** pairs);
// The next pair; both null at the end. The texts live until AFCKeyValueClose.
std::int32_t AFCKeyValueRead(AFCKeyValuePairs* pairs, const char** key, const char** value);
std::int32_t AFCKeyValueClose(AFCKeyValuePairs* pairs);
std::int32_t AFCDirectoryOpen(AFCConnection* connection, const char* path, AFCDirectory** dir);
// The next entry name; null at the end. The text lives until AFCDirectoryClose.
std::int32_t AFCDirectoryRead(AFCConnection* connection, AFCDirectory* dir, const char** name);
std::int32_t AFCDirectoryClose(AFCConnection* connection, AFCDirectory* dir);
std::int32_t AFCDirectoryCreate(AFCConnection* connection, const char* path);
std::int32_t AFCRemovePath(AFCConnection* connection, const char* path);
std::int32_t AFCRenamePath(AFCConnection* connection, const char* oldPath, const char* newPath);
// Type 1 a hard link, 2 a symbolic one; makes `path` point to `target`.
std::int32_t AFCLinkPath(AFCConnection* connection, std::int64_t type, const char* target,
                         const char* path);
// Mode 1 read, 2 write (created or emptied), 3 read and write.
std::int32_t AFCFileRefOpen(AFCConnection* connection, const char* path, std::int64_t mode,
                            AFCFileRef* ref);
// In: the buffer's size; out: the bytes read (0 at the end).
std::int32_t AFCFileRefRead(AFCConnection* connection, AFCFileRef ref, void* buffer,
                            std::uint32_t* count);
std::int32_t AFCFileRefWrite(AFCConnection* connection, AFCFileRef ref, const void* bytes,
                             std::uint32_t count);
std::int32_t AFCFileRefSeek(AFCConnection* connection, AFCFileRef ref, std::int64_t offset,
                            std::int32_t whence);
std::int32_t AFCFileRefTell(AFCConnection* connection, AFCFileRef ref, std::uint64_t* offset);
std::int32_t AFCFileRefSetFileSize(AFCConnection* connection, AFCFileRef ref, std::uint64_t size);
std::int32_t AFCFileRefClose(AFCConnection* connection, AFCFileRef ref);
const char* AFCGetClientVersionString();

// Whether an AFC path stays inside the connection's root: no ".." component.
bool AFCPathStaysInside(const char* path);

// ---- Notification proxy ----
using AMDNotificationCallback = void (*)(const std::string& name, void* context);
// Reads the proxy's relayed notifications on a thread of its own and runs the callback through
// `post` for each.
std::int32_t AMDListenForNotifications(const AMServiceSocket& socket, AMDNotificationCallback callback,
                                       void* context, RunLoopPoster post);
std::int32_t AMDObserveNotification(const AMServiceSocket& socket, const std::string& name);
std::int32_t AMDPostNotification(const AMServiceSocket& socket, const std::string& name,
                                 const PlistValue* userInfo);
// Asks the proxy to end, stops listening and closes the socket.
std::int32_t AMDShutdownNotificationProxy(const AMServiceSocket& socket);

// ---- Property-list frames ----
// The device-service wire format: a 4-byte big-endian length, then an XML property list.
// Replies longer than this are refused.
inline constexpr std::uint32_t kMaxServiceFrameBytes = 32u << 20;

#include "device/UsbmuxClient.h"

#include "device/DevicePlist.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDefaultSocket = "/var/run/usbmuxd";
constexpr std::uint32_t kProtocolVersion = 1;
constexpr std::uint32_t kPlistMessage = 8;
// A device list larger than this is no device list.
constexpr std::uint32_t kMaxReplyBytes = 4u << 20;
// poll() waits in slices this long, so that a stop request is heard soon.
constexpr int kSliceMs = 100;

struct Header {
    std::uint32_t length, version, message, tag;
};

// A descriptor closed when it goes out of scope.
class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }
    // The descriptor, no longer closed here.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, kSliceMs));
}

// Waits for `events` until the deadline; false on timeout, stop or error.
bool WaitFor(int fd, short events, Clock::time_point deadline, const std::stop_token& stop) {
    for (;;) {
        if (stop.stop_requested()) return false;
        const int slice = MillisecondsLeft(deadline);
        if (slice == 0) return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, slice);
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0) return (p.revents & events) != 0 || (p.revents & (POLLHUP | POLLERR)) != 0;
    }
}

// Connects without blocking past the deadline; -1 with `error` set on failure.
int ConnectTo(const sockaddr* address, socklen_t size, int family, Clock::time_point deadline,
              const std::stop_token& stop, std::string& error) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    if (::connect(fd, address, size) == 0) return fd;
    if (errno != EINPROGRESS && errno != EAGAIN) {
        error = std::string("connect: ") + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    int failure = 0;
    socklen_t length = sizeof failure;
    if (!WaitFor(fd, POLLOUT, deadline, stop) ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0) {
        error = failure ? std::string("connect: ") + std::strerror(failure) : "connect: no answer in time";
        ::close(fd);
        return -1;
    }
    return fd;
}

int ConnectToMultiplexer(Clock::time_point deadline, const std::stop_token& stop, std::string& error) {
    const char* configured = std::getenv("USBMUXD_SOCKET_ADDRESS");
    std::string address = configured && *configured ? configured : std::string("UNIX:") + kDefaultSocket;
    if (address.rfind("UNIX:", 0) == 0) {
        const std::string path = address.substr(5);
        sockaddr_un un{};
        un.sun_family = AF_UNIX;
        if (path.empty() || path.size() >= sizeof un.sun_path) {
            error = "unusable multiplexer socket path";
            return -1;
        }
        std::memcpy(un.sun_path, path.c_str(), path.size() + 1);
        return ConnectTo(reinterpret_cast<const sockaddr*>(&un), sizeof un, AF_UNIX, deadline, stop, error);
    }
    // "<host>:<port>", the host possibly in brackets.
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        error = "unusable multiplexer address " + address;
        return -1;
    }
    std::string host = address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        error = "unusable multiplexer address " + address;
        return -1;
    }
    int fd = -1;
    for (addrinfo* entry = found; entry && fd < 0; entry = entry->ai_next)
        fd = ConnectTo(entry->ai_addr, entry->ai_addrlen, entry->ai_family, deadline, stop, error);
    ::freeaddrinfo(found);
    return fd;
}

bool SendAll(int fd, const std::string& bytes, Clock::time_point deadline, const std::stop_token& stop) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline, stop))
            continue;
        return false;
    }
    return true;
}

bool ReceiveAll(int fd, char* into, std::size_t size, Clock::time_point deadline, const std::stop_token& stop) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd, into + done, size - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return false;  // closed early
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline, stop)) continue;
        return false;
    }
    return true;
}

std::string Request(const char* type, std::uint32_t tag, PlistValue message = PlistValue::dictionary()) {
    message.set("MessageType", PlistValue::string(type));
    message.set("ClientVersionString", PlistValue::string("torvane"));
    message.set("ProgName", PlistValue::string("torvane"));
    message.set("kLibUSBMuxVersion", PlistValue::integer(3));
    const std::string xml = message.toXml();
    const Header header{static_cast<std::uint32_t>(sizeof(Header) + xml.size()), kProtocolVersion,
                        kPlistMessage, tag};
    std::string out(reinterpret_cast<const char*>(&header), sizeof header);
    return out + xml;
}

// One request and its answer on a connection of its own; the answer, or none with `error` set.
// The connection stays open in `socket` (a Connect's answer leaves it joined to the device).
std::optional<PlistValue> Exchange(const std::string& request, std::uint32_t tag, Clock::time_point deadline,
                                   const std::stop_token& stop, int& socket, std::string& error) {
    socket = ConnectToMultiplexer(deadline, stop, error);
    if (socket < 0) return std::nullopt;
    if (!SendAll(socket, request, deadline, stop)) {
        error = "the multiplexer took no request";
        return std::nullopt;
    }
    Header header{};
    if (!ReceiveAll(socket, reinterpret_cast<char*>(&header), sizeof header, deadline, stop)) {
        error = "the multiplexer gave no answer in time";
        return std::nullopt;
    }
    if (header.length < sizeof header || header.length - sizeof header > kMaxReplyBytes ||
        header.message != kPlistMessage || header.tag != tag) {
        error = "the multiplexer's answer is no answer to the request";
        return std::nullopt;
    }
    std::string body(header.length - sizeof header, '\0');
    if (!ReceiveAll(socket, body.data(), body.size(), deadline, stop)) {
        error = "the multiplexer's answer was cut short";
        return std::nullopt;
    }
    std::string why = "no dictionary";
    PlistValue reply = PlistValue::parse(body.data(), body.size(), &why);
    if (reply.kind() != PlistValue::Kind::Dictionary) {
        error = "the multiplexer's answer is no answer to the request (" + why + ")";
        return std::nullopt;
    }
    return reply;
}

UsbmuxListedDevice DeviceOf(const PlistValue& entry) {
    const PlistValue properties = entry.get("Properties");
    UsbmuxListedDevice device;
    device.handle = static_cast<std::uint32_t>(
        properties.get("DeviceID").asInteger().value_or(entry.get("DeviceID").asInteger().value_or(0)));
    device.udid = properties.stringFor("SerialNumber").value_or("");
    device.usb = properties.stringFor("ConnectionType") == "USB";
    return device;
}

}  // namespace

UsbmuxListing UsbmuxListDevices(std::chrono::milliseconds limit, const std::stop_token& stop) {
    UsbmuxListing listing;
    const Clock::time_point deadline = Clock::now() + limit;
    const Socket socket(ConnectToMultiplexer(deadline, stop, listing.error));
    if (socket.fd() < 0) return listing;
    constexpr std::uint32_t kTag = 1;
    if (!SendAll(socket.fd(), Request("ListDevices", kTag), deadline, stop)) {
        listing.error = "the multiplexer took no request";
        return listing;
    }
    Header header{};
    if (!ReceiveAll(socket.fd(), reinterpret_cast<char*>(&header), sizeof header, deadline, stop)) {
        listing.error = "the multiplexer gave no answer";
        return listing;
    }
    if (header.length < sizeof header || header.length - sizeof header > kMaxReplyBytes ||
        header.message != kPlistMessage || header.tag != kTag) {
        listing.error = "the multiplexer's answer is no device list";
        return listing;
    }
    std::string body(header.length - sizeof header, '\0');
    if (!ReceiveAll(socket.fd(), body.data(), body.size(), deadline, stop)) {
        listing.error = "the multiplexer's answer was cut short";
        return listing;
    }
    std::string why = "no DeviceList";
    const PlistValue reply = PlistValue::parse(body.data(), body.size(), &why);
    const PlistValue list = reply.get("DeviceList");
    if (list.kind() != PlistValue::Kind::Array) {
        listing.error = "the multiplexer's answer is no device list (" + why + ")";
        return listing;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        UsbmuxListedDevice device = DeviceOf(list.at(i));
        if (device.handle != 0 && !device.udid.empty()) listing.devices.push_back(std::move(device));
    }
    listing.answered = true;
    return listing;
}

int UsbmuxConnect(std::uint32_t handle, std::uint16_t port, std::chrono::milliseconds limit, std::string* error) {
    std::string failure;
    constexpr std::uint32_t kTag = 1;
    PlistValue message = PlistValue::dictionary();
    message.set("DeviceID", PlistValue::integer(handle));
    // In network byte order, as the multiplexer expects it.
    message.set("PortNumber", PlistValue::integer(static_cast<std::uint16_t>((port >> 8) | (port << 8))));
    int fd = -1;
    const std::optional<PlistValue> reply =
        Exchange(Request("Connect", kTag, std::move(message)), kTag, Clock::now() + limit, {}, fd, failure);
    Socket socket(fd);
    if (reply) {
        const std::optional<std::int64_t> number = reply->get("Number").asInteger();
        const int flags = ::fcntl(fd, F_GETFL);
        if (number != 0)
            failure = "the multiplexer refused the connection (" + std::to_string(number.value_or(-1)) + ")";
        else if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            failure = std::string("fcntl: ") + std::strerror(errno);
        else
            return socket.release();
    }
    if (error) *error = failure;
    return -1;
}

std::optional<std::string> UsbmuxReadPairRecord(const std::string& udid, std::chrono::milliseconds limit,
                                                std::string* error) {
    std::string failure;
    constexpr std::uint32_t kTag = 1;
    PlistValue message = PlistValue::dictionary();
    message.set("PairRecordID", PlistValue::string(udid));
    int fd = -1;
    const std::optional<PlistValue> reply =
        Exchange(Request("ReadPairRecord", kTag, std::move(message)), kTag, Clock::now() + limit, {}, fd, failure);
    const Socket socket(fd);
    if (reply) {
        if (const auto record = reply->get("PairRecordData").asData()) return std::string(record->begin(), record->end());
        failure = "the multiplexer holds no pairing record for the device";
    }
    if (error) *error = failure;
    return std::nullopt;
}

#include "support/DeviceSimulator.h"

#include <arpa/inet.h>
#include <plist/plist.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

namespace {

// ---- Property lists ----

struct Plist {
    plist_t node = nullptr;
    Plist() = default;
    explicit Plist(plist_t n) : node(n) {}
    Plist(Plist&& o) noexcept : node(o.node) { o.node = nullptr; }
    Plist& operator=(Plist&& o) noexcept {
        std::swap(node, o.node);
        return *this;
    }
    Plist(const Plist&) = delete;
    ~Plist() {
        if (node) plist_free(node);
    }
    plist_t release() {
        plist_t n = node;
        node = nullptr;
        return n;
    }
};

std::optional<std::string> StringOf(plist_t dict, const char* key) {
    if (!dict || plist_get_node_type(dict) != PLIST_DICT) return std::nullopt;
    plist_t item = plist_dict_get_item(dict, key);
    if (!item || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
    char* text = nullptr;
    plist_get_string_val(item, &text);
    std::string result = text ? text : "";
    std::free(text);
    return result;
}

std::optional<std::uint64_t> NumberOf(plist_t dict, const char* key) {
    if (!dict || plist_get_node_type(dict) != PLIST_DICT) return std::nullopt;
    plist_t item = plist_dict_get_item(dict, key);
    if (!item || plist_get_node_type(item) != PLIST_UINT) return std::nullopt;
    std::uint64_t value = 0;
    plist_get_uint_val(item, &value);
    return value;
}

void Set(plist_t dict, const char* key, plist_t value) {
    plist_dict_set_item(dict, key, value);
}

plist_t Str(const std::string& s) {
    return plist_new_string(s.c_str());
}

plist_t InfoDict(const std::map<std::string, std::string>& info) {
    plist_t dict = plist_new_dict();
    for (const auto& [k, v] : info) Set(dict, k.c_str(), Str(v));
    return dict;
}

// ---- Sockets ----

bool ReadFull(int fd, void* into, std::size_t size) {
    auto* bytes = static_cast<char*>(into);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd, bytes + done, size - done, 0);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd, bytes + done, size - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr std::uint32_t kMaxFrame = 16u << 20;

// One property-list frame of a device service: 4-byte big-endian length, then the plist.
Plist ReadFrame(int fd) {
    std::uint32_t length = 0;
    if (!ReadFull(fd, &length, 4)) return {};
    length = ntohl(length);
    if (length == 0 || length > kMaxFrame) return {};
    std::string body(length, '\0');
    if (!ReadFull(fd, body.data(), length)) return {};
    plist_t node = nullptr;
    plist_from_memory(body.data(), length, &node);
    return Plist(node);
}

// A frame whose property list is these bytes, as they are.
bool WriteBytesFrame(int fd, std::string_view body) {
    std::string frame(4, '\0');
    const std::uint32_t big = htonl(static_cast<std::uint32_t>(body.size()));
    std::memcpy(frame.data(), &big, 4);
    frame += body;
    return WriteAll(fd, frame.data(), frame.size());
}

bool WriteFrame(int fd, plist_t message) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(message, &xml, &length);
    const bool written = WriteBytesFrame(fd, std::string_view(xml, length));
    std::free(xml);
    return written;
}

// ---- Paths ----

// The tree path of an AFC path; none when it leaves the root.
std::optional<std::string> Normalise(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (parts.empty()) return std::nullopt;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& p : parts) result += "/" + p;
    return result.empty() ? "/" : result;
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// ---- AFC ----

constexpr char kAfcMagic[] = "CFA6LPAA";
enum : std::uint64_t {
    AFC_STATUS = 1, AFC_DATA = 2, AFC_READ_DIR = 3, AFC_REMOVE_PATH = 8, AFC_MAKE_DIR = 9,
    AFC_GET_FILE_INFO = 0xA, AFC_GET_DEVINFO = 0xB, AFC_FILE_OPEN = 0xD, AFC_FILE_OPEN_RES = 0xE,
    AFC_FILE_READ = 0xF, AFC_FILE_WRITE = 0x10, AFC_FILE_SEEK = 0x11, AFC_FILE_TELL = 0x12,
    AFC_FILE_TELL_RES = 0x13, AFC_FILE_CLOSE = 0x14, AFC_FILE_SET_SIZE = 0x15,
    AFC_RENAME_PATH = 0x18, AFC_FILE_LOCK = 0x1B, AFC_MAKE_LINK = 0x1C,
};
enum : std::uint64_t {
    AFC_OK = 0, AFC_UNKNOWN = 1, AFC_READ_ERROR = 4, AFC_UNKNOWN_PACKET = 6, AFC_INVALID_ARG = 7,
    AFC_NOT_FOUND = 8, AFC_IS_DIR = 9, AFC_EXISTS = 16,
};

struct AfcHeader {
    char magic[8];
    std::uint64_t entireLength, thisLength, packetNum, operation;
};

bool SendAfc(int fd, std::uint64_t packet, std::uint64_t operation, const std::string& data) {
    AfcHeader header{};
    std::memcpy(header.magic, kAfcMagic, 8);
    header.entireLength = sizeof header + data.size();
    header.thisLength = sizeof header + data.size();
    header.packetNum = packet;
    header.operation = operation;
    std::string out(reinterpret_cast<const char*>(&header), sizeof header);
    out += data;
    return WriteAll(fd, out.data(), out.size());
}

std::string U64(std::uint64_t value) {
    return std::string(reinterpret_cast<const char*>(&value), 8);
}

std::uint64_t ReadU64(const std::string& data, std::size_t at) {
    std::uint64_t value = 0;
    if (at + 8 <= data.size()) std::memcpy(&value, data.data() + at, 8);
    return value;
}

// The NUL-ended texts of a request, from `at` on.
std::vector<std::string> Texts(const std::string& data, std::size_t at) {
    std::vector<std::string> texts;
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

}  // namespace

// ---- The file tree ----

SimulatedFileTree::SimulatedFileTree() {
    nodes["/"] = {Node::Kind::Folder, {}, 0};
}

void SimulatedFileTree::addFolder(const std::string& path) {
    const auto normal = Normalise(path);
    if (!normal || nodes.count(*normal)) return;
    addFolder(Parent(*normal));
    nodes[*normal] = {Node::Kind::Folder, {}, nextOrder++};
}

void SimulatedFileTree::addFile(const std::string& path, std::string contents) {
    const auto normal = Normalise(path);
    if (!normal) return;
    addFolder(Parent(*normal));
    nodes[*normal] = {Node::Kind::File, std::move(contents), nextOrder++};
}

bool SimulatedFileTree::isFolder(const std::string& path) const {
    const auto normal = Normalise(path);
    const auto found = normal ? nodes.find(*normal) : nodes.end();
    return found != nodes.end() && found->second.kind == Node::Kind::Folder;
}

bool SimulatedFileTree::isFile(const std::string& path) const {
    const auto normal = Normalise(path);
    const auto found = normal ? nodes.find(*normal) : nodes.end();
    return found != nodes.end() && found->second.kind == Node::Kind::File;
}

bool SimulatedFileTree::exists(const std::string& path) const {
    const auto normal = Normalise(path);
    return normal && nodes.count(*normal);
}

std::string SimulatedFileTree::contents(const std::string& path) const {
    const auto normal = Normalise(path);
    const auto found = normal ? nodes.find(*normal) : nodes.end();
    return found == nodes.end() ? std::string() : found->second.data;
}

std::vector<std::string> SimulatedFileTree::children(const std::string& path) const {
    const auto normal = Normalise(path);
    std::vector<std::pair<std::uint64_t, std::string>> found;
    if (!normal) return {};
    const std::string prefix = *normal == "/" ? "/" : *normal + "/";
    for (const auto& [p, node] : nodes) {
        if (p == *normal || p.rfind(prefix, 0) != 0) continue;
        const std::string rest = p.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos) found.emplace_back(node.order, rest);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [order, name] : found) names.push_back(name);
    return names;
}

// ---- The simulator ----

struct DeviceSimulator::Attached {
    SimulatedDevice device;
    std::uint32_t handle = 0;
    bool detached = false;
    std::map<std::uint16_t, std::string> ports;  // started services
    std::vector<std::string> posted, observed, requests;
    std::string rawReceived;
};

struct DeviceSimulator::Connection {
    int fd = -1;
    std::mutex writeMutex;
    bool listening = false;
    std::shared_ptr<Attached> device;  // behind a Connect
    std::set<std::string> observing;   // a notification proxy's observed names
    ~Connection() {
        if (fd >= 0) ::close(fd);
    }
};

DeviceSimulator::DeviceSimulator() {
    char folder[] = "/tmp/torvane-usbmuxd-XXXXXX";
    if (!::mkdtemp(folder)) std::abort();
    folder_ = folder;
    socketPath_ = folder_ + "/usbmuxd";
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath_.c_str(), sizeof address.sun_path - 1);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0)
        std::abort();
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

DeviceSimulator::~DeviceSimulator() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    ::close(listenFd_);
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        for (const auto& c : connections_) ::shutdown(c->fd, SHUT_RDWR);
        threads.swap(threads_);
    }
    for (std::thread& t : threads) t.join();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

void DeviceSimulator::setEnvironment() const {
    ::setenv("USBMUXD_SOCKET_ADDRESS", socketAddress().c_str(), 1);
}

void DeviceSimulator::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::shutdown(fd, SHUT_RDWR);
        }
        connections_.push_back(connection);
        threads_.emplace_back([this, connection] { serve(connection); });
    }
}

void DeviceSimulator::serve(std::shared_ptr<Connection> connection) {
    serveMux(*connection);
    std::lock_guard lock(mutex_);
    ::shutdown(connection->fd, SHUT_RDWR);
    std::erase(connections_, connection);
}

std::shared_ptr<DeviceSimulator::Attached> DeviceSimulator::findDevice(std::uint32_t handle) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->handle == handle && !d->detached) return d;
    return nullptr;
}

std::shared_ptr<DeviceSimulator::Attached> DeviceSimulator::findDevice(const std::string& udid) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->device.udid == udid && !d->detached) return d;
    return nullptr;
}

namespace {

plist_t AttachedMessage(const std::string& udid, std::uint32_t handle) {
    plist_t props = plist_new_dict();
    Set(props, "ConnectionType", Str("USB"));
    Set(props, "DeviceID", plist_new_uint(handle));
    Set(props, "LocationID", plist_new_uint(0));
    Set(props, "ProductID", plist_new_uint(0x12a8));
    Set(props, "SerialNumber", Str(udid));
    plist_t message = plist_new_dict();
    Set(message, "MessageType", Str("Attached"));
    Set(message, "DeviceID", plist_new_uint(handle));
    Set(message, "Properties", props);
    return message;
}

struct MuxHeader {
    std::uint32_t length, version, message, tag;
};

bool SendMux(int fd, std::uint32_t tag, plist_t message) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(message, &xml, &length);
    MuxHeader header{static_cast<std::uint32_t>(sizeof(MuxHeader) + length), 1, 8, tag};
    std::string out(reinterpret_cast<const char*>(&header), sizeof header);
    out.append(xml, length);
    std::free(xml);
    return WriteAll(fd, out.data(), out.size());
}

bool SendMuxBytes(int fd, std::uint32_t tag, const std::string& body) {
    MuxHeader header{static_cast<std::uint32_t>(sizeof(MuxHeader) + body.size()), 1, 8, tag};
    std::string out(reinterpret_cast<const char*>(&header), sizeof header);
    out += body;
    return WriteAll(fd, out.data(), out.size());
}

bool SendResult(int fd, std::uint32_t tag, std::uint32_t number) {
    Plist message(plist_new_dict());
    Set(message.node, "MessageType", Str("Result"));
    Set(message.node, "Number", plist_new_uint(number));
    return SendMux(fd, tag, message.node);
}

}  // namespace

void DeviceSimulator::setListingAnswer(std::string body) {
    {
        std::lock_guard lock(mutex_);
        listingAnswer_ = std::move(body);
    }
    listing_ = MuxListing::Scripted;
}

std::uint32_t DeviceSimulator::attach(SimulatedDevice device) {
    std::lock_guard lock(mutex_);
    auto attached = std::make_shared<Attached>();
    attached->device = std::move(device);
    attached->handle = nextHandle_++;
    devices_.push_back(attached);
    Plist message(AttachedMessage(attached->device.udid, attached->handle));
    for (const auto& c : connections_)
        if (c->listening) {
            std::lock_guard write(c->writeMutex);
            SendMux(c->fd, 0, message.node);
        }
    return attached->handle;
}

void DeviceSimulator::detach(const std::string& udid) {
    std::lock_guard lock(mutex_);
    const auto device = findDevice(udid);
    if (!device) return;
    device->detached = true;
    Plist message(plist_new_dict());
    Set(message.node, "MessageType", Str("Detached"));
    Set(message.node, "DeviceID", plist_new_uint(device->handle));
    for (const auto& c : connections_) {
        if (c->listening) {
            std::lock_guard write(c->writeMutex);
            SendMux(c->fd, 0, message.node);
        }
        if (c->device == device) ::shutdown(c->fd, SHUT_RDWR);
    }
}

void DeviceSimulator::withDevice(const std::string& udid,
                                 const std::function<void(SimulatedDevice&)>& change) {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->device.udid == udid) change(d->device);
}

void DeviceSimulator::relayNotification(const std::string& udid, const std::string& name) {
    std::lock_guard lock(mutex_);
    Plist message(plist_new_dict());
    Set(message.node, "Command", Str("RelayNotification"));
    Set(message.node, "Name", Str(name));
    for (const auto& c : connections_)
        if (c->device && c->device->device.udid == udid && c->observing.count(name)) {
            std::lock_guard write(c->writeMutex);
            WriteFrame(c->fd, message.node);
        }
}

std::vector<std::string> DeviceSimulator::postedNotifications(const std::string& udid) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->device.udid == udid) return d->posted;
    return {};
}

std::vector<std::string> DeviceSimulator::observedNotifications(const std::string& udid) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->device.udid == udid) return d->observed;
    return {};
}

std::vector<std::string> DeviceSimulator::lockdownRequests(const std::string& udid) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->device.udid == udid) return d->requests;
    return {};
}

std::string DeviceSimulator::rawReceived(const std::string& udid) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->device.udid == udid) return d->rawReceived;
    return {};
}

std::vector<std::string> DeviceSimulator::savedPairRecords() const {
    std::lock_guard lock(mutex_);
    return savedPairRecords_;
}

void DeviceSimulator::serveMux(Connection& connection) {
    const int fd = connection.fd;
    // Replies go out under the connection's write lock alone; where the simulator's lock is
    // needed as well, it is taken first (as attach and detach take them).
    const auto reply = [&connection, fd](std::uint32_t tag, plist_t message) {
        std::lock_guard write(connection.writeMutex);
        return SendMux(fd, tag, message);
    };
    const auto result = [&connection, fd](std::uint32_t tag, std::uint32_t number) {
        std::lock_guard write(connection.writeMutex);
        return SendResult(fd, tag, number);
    };
    for (;;) {
        MuxHeader header{};
        if (!ReadFull(fd, &header, sizeof header)) return;
        if (header.length < sizeof header || header.length > kMaxFrame) return;
        std::string body(header.length - sizeof header, '\0');
        if (!ReadFull(fd, body.data(), body.size())) return;
        if (header.message != 8) {
            result(header.tag, 6);  // only property-list messages are spoken here
            continue;
        }
        plist_t node = nullptr;
        plist_from_memory(body.data(), static_cast<std::uint32_t>(body.size()), &node);
        Plist request(node);
        const std::string type = StringOf(request.node, "MessageType").value_or("");
        if (type == "ListDevices" || type == "Listen") {
            ++listingRequests_;
            switch (listing_.load()) {
                case MuxListing::Answer:
                    break;
                case MuxListing::CloseEarly:
                    return;
                case MuxListing::Garbage: {
                    // A header that announces more than any message holds, then noise.
                    const MuxHeader bad{0xfffffff0u, 7, 0x5a5a5a5au, header.tag};
                    std::string noise(reinterpret_cast<const char*>(&bad), sizeof bad);
                    noise += "\x01\xff garbage \x00\x7f";
                    {
                        std::lock_guard write(connection.writeMutex);
                        WriteAll(fd, noise.data(), noise.size());
                    }
                    char sink[256];
                    while (::recv(fd, sink, sizeof sink, 0) > 0) {
                    }
                    return;
                }
                case MuxListing::NeverAnswer: {
                    char sink[256];
                    while (::recv(fd, sink, sizeof sink, 0) > 0) {
                    }
                    return;
                }
                case MuxListing::Scripted: {
                    std::string answer;
                    {
                        std::lock_guard lock(mutex_);
                        answer = listingAnswer_;
                    }
                    std::lock_guard write(connection.writeMutex);
                    SendMuxBytes(fd, header.tag, answer);
                    continue;
                }
            }
        }
        if (type == "ListDevices") {
            Plist message(plist_new_dict());
            plist_t list = plist_new_array();
            {
                std::lock_guard lock(mutex_);
                for (const auto& d : devices_)
                    if (!d->detached) plist_array_append_item(list, AttachedMessage(d->device.udid, d->handle));
            }
            Set(message.node, "DeviceList", list);
            reply(header.tag, message.node);
        } else if (type == "Listen") {
            // Under the simulator's lock, so that no attach or detach falls between the devices
            // named here and the events that follow.
            std::lock_guard lock(mutex_);
            std::lock_guard write(connection.writeMutex);
            SendResult(fd, header.tag, 0);
            for (const auto& d : devices_)
                if (!d->detached) {
                    Plist message(AttachedMessage(d->device.udid, d->handle));
                    SendMux(fd, 0, message.node);
                }
            connection.listening = true;
        } else if (type == "ReadBUID") {
            Plist message(plist_new_dict());
            Set(message.node, "BUID", Str("SIMULATED-SYSTEM-BUID"));
            reply(header.tag, message.node);
        } else if (type == "ReadPairRecord") {
            const auto device = findDevice(StringOf(request.node, "PairRecordID").value_or(""));
            bool paired = false;
            {
                std::lock_guard lock(mutex_);
                paired = device && device->device.paired;
            }
            if (!paired) {
                result(header.tag, 2);
                continue;
            }
            Plist record(plist_new_dict());
            Set(record.node, "HostID", Str("SIMULATED-HOST-ID"));
            Set(record.node, "SystemBUID", Str("SIMULATED-SYSTEM-BUID"));
            char* xml = nullptr;
            std::uint32_t length = 0;
            plist_to_xml(record.node, &xml, &length);
            Plist message(plist_new_dict());
            Set(message.node, "PairRecordData", plist_new_data(xml, length));
            std::free(xml);
            reply(header.tag, message.node);
        } else if (type == "SavePairRecord" || type == "DeletePairRecord") {
            {
                std::lock_guard lock(mutex_);
                savedPairRecords_.push_back(StringOf(request.node, "PairRecordID").value_or(""));
            }
            result(header.tag, 0);
        } else if (type == "Connect") {
            const auto device = findDevice(static_cast<std::uint32_t>(NumberOf(request.node, "DeviceID").value_or(0)));
            const auto port = ntohs(static_cast<std::uint16_t>(NumberOf(request.node, "PortNumber").value_or(0)));
            if (!device) {
                result(header.tag, 2);
                continue;
            }
            bool silent = false;
            {
                std::lock_guard lock(mutex_);
                silent = device->device.connectSilent;
            }
            for (int left = connectsAnswered_.load(); !silent && left >= 0;) {
                if (left == 0)
                    silent = true;
                else if (connectsAnswered_.compare_exchange_weak(left, left - 1))
                    break;
            }
            if (silent) {
                char sink[256];
                while (::recv(fd, sink, sizeof sink, 0) > 0) {
                }
                return;
            }
            std::string service;
            if (port != 62078) {
                std::lock_guard lock(mutex_);
                const auto found = device->ports.find(port);
                if (found == device->ports.end()) {
                    std::lock_guard write(connection.writeMutex);
                    SendResult(fd, header.tag, 3);
                    continue;
                }
                service = found->second;
                device->ports.erase(found);  // a started service takes one connection
            }
            {
                std::lock_guard lock(mutex_);
                {
                    std::lock_guard write(connection.writeMutex);
                    SendResult(fd, header.tag, 0);
                }
                connection.device = device;
                if (device->detached) return;
            }
            if (port == 62078)
                serveLockdown(connection, device);
            else
                serveService(connection, device, service);
            return;
        } else {
            result(header.tag, 1);
        }
    }
}

void DeviceSimulator::serveLockdown(Connection& connection, const std::shared_ptr<Attached>& device) {
    const int fd = connection.fd;
    bool session = false;
    const auto endSession = [&] {
        if (session) --openSessions_;
        session = false;
    };
    for (;;) {
        Plist request = ReadFrame(fd);
        if (!request.node) break;
        const std::string name = StringOf(request.node, "Request").value_or("");
        {
            std::lock_guard lock(mutex_);
            device->requests.push_back(name);
            if (device->device.lockdownSilent) continue;
            if (const std::string& answer = device->device.lockdownAnswer; !answer.empty()) {
                WriteBytesFrame(fd, answer);
                continue;
            }
        }
        Plist reply(plist_new_dict());
        Set(reply.node, "Request", Str(name));
        std::lock_guard lock(mutex_);
        SimulatedDevice& d = device->device;
        if (name == "QueryType") {
            Set(reply.node, "Type", Str("com.apple.mobile.lockdown"));
        } else if (name == "GetValue") {
            const auto domain = StringOf(request.node, "Domain");
            const auto key = StringOf(request.node, "Key");
            if (key) Set(reply.node, "Key", Str(*key));
            if (domain) {
                Set(reply.node, "Error", Str("MissingValue"));
            } else if (!key) {
                if (!session) {
                    Set(reply.node, "Error", Str("InvalidHostID"));
                } else {
                    Set(reply.node, "Value", InfoDict(d.values));
                }
            } else if (!session && !d.publicKeys.count(*key)) {
                Set(reply.node, "Error", Str("InvalidHostID"));
            } else if (const auto found = d.values.find(*key); found != d.values.end()) {
                Set(reply.node, "Value", Str(found->second));
            } else {
                Set(reply.node, "Error", Str("MissingValue"));
            }
        } else if (name == "StartSession") {
            if (!d.paired || StringOf(request.node, "HostID") != "SIMULATED-HOST-ID") {
                Set(reply.node, "Error", Str("InvalidHostID"));
            } else if (d.locked) {
                Set(reply.node, "Error", Str("PasswordProtected"));
            } else {
                if (!session) ++openSessions_;
                session = true;
                Set(reply.node, "SessionID", Str("SIMULATED-SESSION"));
                Set(reply.node, "EnableSessionSSL", plist_new_bool(0));
            }
        } else if (name == "StopSession") {
            endSession();
            Set(reply.node, "Result", Str("Success"));
        } else if (name == "ValidatePair") {
            Set(reply.node, "Result", Str("Success"));
        } else if (name == "StartService") {
            const std::string service = StringOf(request.node, "Service").value_or("");
            static const std::set<std::string> known{
                "com.apple.afc", "com.apple.afc2", "com.apple.crashreportcopymobile",
                "com.apple.mobile.house_arrest", "com.apple.mobile.installation_proxy",
                "com.apple.mobile.notification_proxy", "com.apple.syslog_relay",
                "com.apple.mobile.file_relay", "com.apple.springboardservices",
                "com.apple.mobilesync", "com.torvane.test.raw"};
            if (!session) {
                Set(reply.node, "Error", Str("NoRunningSession"));
            } else if (!known.count(service)) {
                Set(reply.node, "Error", Str("InvalidService"));
            } else {
                const std::uint16_t port = nextPort_++;
                device->ports[port] = service;
                Set(reply.node, "Service", Str(service));
                Set(reply.node, "Port", plist_new_uint(port));
                Set(reply.node, "EnableServiceSSL", plist_new_bool(0));
            }
        } else if (name == "Goodbye") {
            Set(reply.node, "Result", Str("Success"));
            WriteFrame(fd, reply.node);
            break;
        } else {
            Set(reply.node, "Error", Str("InvalidRequest"));
        }
        if (!WriteFrame(fd, reply.node)) break;
    }
    std::lock_guard lock(mutex_);
    endSession();
}

void DeviceSimulator::serveService(Connection& connection, const std::shared_ptr<Attached>& device,
                                   const std::string& service) {
    const int fd = connection.fd;
    std::string scripted;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = device->device.serviceAnswers.find(service);
            found != device->device.serviceAnswers.end())
            scripted = found->second;
    }
    if (!scripted.empty()) {
        if (ReadFrame(fd).node) WriteBytesFrame(fd, scripted);
        return;
    }
    if (service == "com.apple.afc" || service == "com.apple.afc2" ||
        service == "com.apple.crashreportcopymobile") {
        serveAfc(connection, device, device->device.media);
    } else if (service == "com.apple.mobile.house_arrest") {
        Plist request = ReadFrame(fd);
        const std::string command = StringOf(request.node, "Command").value_or("");
        const std::string id = StringOf(request.node, "Identifier").value_or("");
        SimulatedApp* app = nullptr;
        {
            std::lock_guard lock(mutex_);
            const auto found = device->device.apps.find(id);
            if (found != device->device.apps.end()) app = &found->second;
        }
        Plist reply(plist_new_dict());
        if (!app || (command != "VendContainer" && command != "VendDocuments")) {
            Set(reply.node, "Error", Str("ApplicationLookupFailed"));
            WriteFrame(fd, reply.node);
            return;
        }
        Set(reply.node, "Status", Str("Complete"));
        if (!WriteFrame(fd, reply.node)) return;
        serveAfc(connection, device, app->container);
    } else if (service == "com.apple.mobile.installation_proxy") {
        for (;;) {
            Plist request = ReadFrame(fd);
            if (!request.node) return;
            const std::string command = StringOf(request.node, "Command").value_or("");
            std::vector<std::map<std::string, std::string>> apps;
            {
                std::lock_guard lock(mutex_);
                for (const auto& [id, app] : device->device.apps) apps.push_back(app.info);
            }
            if (command == "Browse") {
                for (std::size_t i = 0; i < apps.size(); ++i) {
                    Plist reply(plist_new_dict());
                    plist_t list = plist_new_array();
                    plist_array_append_item(list, InfoDict(apps[i]));
                    Set(reply.node, "CurrentList", list);
                    Set(reply.node, "CurrentIndex", plist_new_uint(i));
                    Set(reply.node, "CurrentAmount", plist_new_uint(1));
                    Set(reply.node, "Total", plist_new_uint(apps.size()));
                    Set(reply.node, "Status", Str("BrowsingApplications"));
                    if (!WriteFrame(fd, reply.node)) return;
                }
                Plist done(plist_new_dict());
                Set(done.node, "Status", Str("Complete"));
                if (!WriteFrame(fd, done.node)) return;
            } else if (command == "Lookup") {
                Plist reply(plist_new_dict());
                plist_t result = plist_new_dict();
                for (const auto& info : apps)
                    if (const auto id = info.find("CFBundleIdentifier"); id != info.end())
                        Set(result, id->second.c_str(), InfoDict(info));
                Set(reply.node, "LookupResult", result);
                Set(reply.node, "Status", Str("Complete"));
                if (!WriteFrame(fd, reply.node)) return;
            } else {
                Plist reply(plist_new_dict());
                Set(reply.node, "Error", Str("UnknownCommand"));
                if (!WriteFrame(fd, reply.node)) return;
            }
        }
    } else if (service == "com.apple.mobile.notification_proxy") {
        for (;;) {
            Plist request = ReadFrame(fd);
            if (!request.node) return;
            const std::string command = StringOf(request.node, "Command").value_or("");
            const std::string name = StringOf(request.node, "Name").value_or("");
            std::lock_guard lock(mutex_);
            if (command == "ObserveNotification") {
                connection.observing.insert(name);
                device->observed.push_back(name);
            } else if (command == "PostNotification") {
                device->posted.push_back(name);
            } else if (command == "Shutdown") {
                Plist reply(plist_new_dict());
                Set(reply.node, "Command", Str("ProxyDeath"));
                std::lock_guard write(connection.writeMutex);
                WriteFrame(fd, reply.node);
                return;
            }
        }
    } else if (service == "com.apple.syslog_relay") {
        std::string bytes;
        {
            std::lock_guard lock(mutex_);
            bytes = device->device.syslog;
        }
        WriteAll(fd, bytes.data(), bytes.size());
        char sink[256];
        while (::recv(fd, sink, sizeof sink, 0) > 0) {
        }
    } else if (service == "com.apple.mobile.file_relay") {
        Plist request = ReadFrame(fd);
        Plist reply(plist_new_dict());
        std::string archive;
        {
            std::lock_guard lock(mutex_);
            archive = device->device.fileRelayArchive;
        }
        plist_t sources = request.node ? plist_dict_get_item(request.node, "Sources") : nullptr;
        if (!sources || plist_get_node_type(sources) != PLIST_ARRAY || plist_array_get_size(sources) == 0) {
            Set(reply.node, "Error", Str("InvalidSource"));
            WriteFrame(fd, reply.node);
            return;
        }
        Set(reply.node, "Status", Str("Acknowledged"));
        if (!WriteFrame(fd, reply.node)) return;
        WriteAll(fd, archive.data(), archive.size());
    } else if (service == "com.apple.springboardservices") {
        for (;;) {
            Plist request = ReadFrame(fd);
            if (!request.node) return;
            Plist reply(plist_new_dict());
            if (StringOf(request.node, "command") == "getIconPNGData")
                Set(reply.node, "pngData", plist_new_data("\x89PNG", 4));
            else
                Set(reply.node, "iconState", plist_new_array());
            if (!WriteFrame(fd, reply.node)) return;
        }
    } else if (service == "com.apple.mobilesync") {
        while (ReadFrame(fd).node) {
        }
    } else if (service == "com.torvane.test.raw") {
        std::string bytes;
        bool holdOpen = false;
        {
            std::lock_guard lock(mutex_);
            bytes = device->device.rawBytes;
            holdOpen = device->device.rawHoldOpen;
        }
        WriteAll(fd, bytes.data(), bytes.size());
        if (!holdOpen) ::shutdown(fd, SHUT_WR);
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            std::lock_guard lock(mutex_);
            device->rawReceived.append(buffer, static_cast<std::size_t>(n));
        }
    }
}

void DeviceSimulator::serveAfc(Connection& connection, const std::shared_ptr<Attached>& device,
                               SimulatedFileTree& tree) {
    const int fd = connection.fd;
    struct OpenFile {
        std::string path;
        std::uint64_t position = 0;
    };
    std::map<std::uint64_t, OpenFile> files;
    std::uint64_t nextFile = 1;
    for (;;) {
        AfcHeader header{};
        if (!ReadFull(fd, &header, sizeof header)) return;
        if (std::memcmp(header.magic, kAfcMagic, 8) != 0 || header.thisLength < sizeof header ||
            header.entireLength < header.thisLength || header.entireLength > kMaxFrame)
            return;
        std::string data(header.thisLength - sizeof header, '\0');
        std::string payload(header.entireLength - header.thisLength, '\0');
        if (!ReadFull(fd, data.data(), data.size()) || !ReadFull(fd, payload.data(), payload.size())) return;
        const std::uint64_t packet = header.packetNum;
        const auto status = [&](std::uint64_t code) { return SendAfc(fd, packet, AFC_STATUS, U64(code)); };

        std::unique_lock lock(mutex_);
        if (device->device.afcSilent) continue;
        using Kind = SimulatedFileTree::Node::Kind;
        bool sent = true;
        switch (header.operation) {
            case AFC_READ_DIR: {
                const auto path = Normalise(Texts(data, 0).empty() ? "" : Texts(data, 0)[0]);
                if (!path) {
                    sent = status(AFC_INVALID_ARG);
                } else if (!tree.exists(*path)) {
                    sent = status(AFC_NOT_FOUND);
                } else if (!tree.isFolder(*path)) {
                    sent = status(AFC_READ_ERROR);
                } else {
                    std::string names(".\0..\0", 5);
                    for (const std::string& n : tree.children(*path)) names += n + '\0';
                    sent = SendAfc(fd, packet, AFC_DATA, names);
                }
                break;
            }
            case AFC_GET_FILE_INFO: {
                const auto texts = Texts(data, 0);
                const auto path = Normalise(texts.empty() ? "" : texts[0]);
                const auto node = path ? tree.nodes.find(*path) : tree.nodes.end();
                if (!path) {
                    sent = status(AFC_INVALID_ARG);
                } else if (node == tree.nodes.end()) {
                    sent = status(AFC_NOT_FOUND);
                } else {
                    const auto& n = node->second;
                    const char* format = n.kind == Kind::Folder ? "S_IFDIR" : n.kind == Kind::Link ? "S_IFLNK" : "S_IFREG";
                    std::string info;
                    const auto pair = [&](const std::string& k, const std::string& v) { info += k + '\0' + v + '\0'; };
                    pair("st_size", std::to_string(n.kind == Kind::File ? n.data.size() : 0));
                    pair("st_blocks", "8");
                    pair("st_nlink", "1");
                    pair("st_ifmt", format);
                    pair("st_mtime", "1700000000000000000");
                    pair("st_birthtime", "1600000000000000000");
                    if (n.kind == Kind::Link) pair("LinkTarget", n.data);
                    sent = SendAfc(fd, packet, AFC_DATA, info);
                }
                break;
            }
            case AFC_GET_DEVINFO: {
                std::string info;
                for (const auto& [k, v] : std::map<std::string, std::string>{
                         {"Model", "iPhone8,1"}, {"FSTotalBytes", "64000000000"},
                         {"FSFreeBytes", "32000000000"}, {"FSBlockSize", "4096"}})
                    info += k + '\0' + v + '\0';
                sent = SendAfc(fd, packet, AFC_DATA, info);
                break;
            }
            case AFC_MAKE_DIR: {
                const auto texts = Texts(data, 0);
                const auto path = Normalise(texts.empty() ? "" : texts[0]);
                if (!path) sent = status(AFC_INVALID_ARG);
                else if (tree.isFile(*path)) sent = status(AFC_EXISTS);
                else {
                    tree.addFolder(*path);
                    sent = status(AFC_OK);
                }
                break;
            }
            case AFC_REMOVE_PATH: {
                const auto texts = Texts(data, 0);
                const auto path = Normalise(texts.empty() ? "" : texts[0]);
                if (!path || *path == "/") sent = status(AFC_INVALID_ARG);
                else if (!tree.exists(*path)) sent = status(AFC_NOT_FOUND);
                else if (!tree.children(*path).empty()) sent = status(AFC_UNKNOWN);
                else {
                    tree.nodes.erase(*path);
                    sent = status(AFC_OK);
                }
                break;
            }
            case AFC_RENAME_PATH: {
                const auto texts = Texts(data, 0);
                const auto from = Normalise(texts.size() > 0 ? texts[0] : "");
                const auto to = Normalise(texts.size() > 1 ? texts[1] : "");
                if (!from || !to) sent = status(AFC_INVALID_ARG);
                else if (!tree.exists(*from)) sent = status(AFC_NOT_FOUND);
                else {
                    auto node = tree.nodes[*from];
                    tree.nodes.erase(*from);
                    tree.nodes[*to] = node;
                    sent = status(AFC_OK);
                }
                break;
            }
            case AFC_MAKE_LINK: {
                const auto texts = Texts(data, 8);
                const auto link = Normalise(texts.size() > 1 ? texts[1] : "");
                if (!link || texts.size() < 2) sent = status(AFC_INVALID_ARG);
                else if (tree.exists(*link)) sent = status(AFC_EXISTS);
                else {
                    tree.nodes[*link] = {Kind::Link, texts[0], tree.nextOrder++};
                    sent = status(AFC_OK);
                }
                break;
            }
            case AFC_FILE_OPEN: {
                const std::uint64_t mode = ReadU64(data, 0);
                const auto texts = Texts(data, 8);
                const auto path = Normalise(texts.empty() ? "" : texts[0]);
                if (!path) {
                    sent = status(AFC_INVALID_ARG);
                } else if (tree.isFolder(*path)) {
                    sent = status(AFC_IS_DIR);
                } else if ((mode == 1 || mode == 2) && !tree.isFile(*path)) {
                    sent = status(AFC_NOT_FOUND);
                } else if (!tree.isFolder(Parent(*path))) {
                    sent = status(AFC_NOT_FOUND);
                } else {
                    if (mode == 3 || mode == 4) tree.addFile(*path, "");
                    else if (!tree.isFile(*path)) tree.addFile(*path, "");
                    const std::uint64_t handle = nextFile++;
                    files[handle] = {*path, mode == 5 || mode == 6 ? tree.contents(*path).size() : 0};
                    sent = SendAfc(fd, packet, AFC_FILE_OPEN_RES, U64(handle));
                }
                break;
            }
            case AFC_FILE_READ: {
                const auto found = files.find(ReadU64(data, 0));
                const std::uint64_t wanted = std::min<std::uint64_t>(ReadU64(data, 8), 1u << 20);
                if (found == files.end()) {
                    sent = status(AFC_INVALID_ARG);
                    break;
                }
                const std::string& contents = tree.nodes[found->second.path].data;
                const std::uint64_t at = std::min<std::uint64_t>(found->second.position, contents.size());
                const std::string chunk = contents.substr(at, wanted);
                found->second.position = at + chunk.size();
                if (device->device.dropDuringRead && !chunk.empty()) {
                    // Announce the whole chunk, send half of it, drop the connection.
                    AfcHeader reply{};
                    std::memcpy(reply.magic, kAfcMagic, 8);
                    reply.entireLength = sizeof reply + chunk.size();
                    reply.thisLength = sizeof reply;
                    reply.packetNum = packet;
                    reply.operation = AFC_DATA;
                    WriteAll(fd, &reply, sizeof reply);
                    WriteAll(fd, chunk.data(), chunk.size() / 2);
                    ::shutdown(fd, SHUT_RDWR);
                    return;
                }
                sent = SendAfc(fd, packet, AFC_DATA, chunk);
                break;
            }
            case AFC_FILE_WRITE: {
                const auto found = files.find(ReadU64(data, 0));
                if (found == files.end()) {
                    sent = status(AFC_INVALID_ARG);
                    break;
                }
                std::string& contents = tree.nodes[found->second.path].data;
                if (contents.size() < found->second.position) contents.resize(found->second.position);
                contents.replace(found->second.position, payload.size(), payload);
                found->second.position += payload.size();
                sent = status(AFC_OK);
                break;
            }
            case AFC_FILE_SEEK: {
                const auto found = files.find(ReadU64(data, 0));
                if (found == files.end()) {
                    sent = status(AFC_INVALID_ARG);
                    break;
                }
                const std::uint64_t whence = ReadU64(data, 8);
                const auto offset = static_cast<std::int64_t>(ReadU64(data, 16));
                const auto size = static_cast<std::int64_t>(tree.nodes[found->second.path].data.size());
                const std::int64_t base = whence == 0 ? 0 : whence == 1 ? static_cast<std::int64_t>(found->second.position) : size;
                if (base + offset < 0) {
                    sent = status(AFC_INVALID_ARG);
                    break;
                }
                found->second.position = static_cast<std::uint64_t>(base + offset);
                sent = status(AFC_OK);
                break;
            }
            case AFC_FILE_TELL: {
                const auto found = files.find(ReadU64(data, 0));
                sent = found == files.end() ? status(AFC_INVALID_ARG)
                                            : SendAfc(fd, packet, AFC_FILE_TELL_RES, U64(found->second.position));
                break;
            }
            case AFC_FILE_SET_SIZE: {
                const auto found = files.find(ReadU64(data, 0));
                if (found == files.end()) {
                    sent = status(AFC_INVALID_ARG);
                    break;
                }
                tree.nodes[found->second.path].data.resize(std::min<std::uint64_t>(ReadU64(data, 8), kMaxFrame));
                sent = status(AFC_OK);
                break;
            }
            case AFC_FILE_CLOSE:
                sent = status(files.erase(ReadU64(data, 0)) ? AFC_OK : AFC_INVALID_ARG);
                break;
            case AFC_FILE_LOCK:
                sent = status(AFC_OK);
                break;
            default:
                sent = status(AFC_UNKNOWN_PACKET);
                break;
        }
        if (!sent) return;
    }
}

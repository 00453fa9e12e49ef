#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// An in-memory file system as AFC serves it: absolute paths, folders, files and links.
class SimulatedFileTree {
public:
    SimulatedFileTree();
    void addFolder(const std::string& path);
    void addFile(const std::string& path, std::string contents);
    bool isFolder(const std::string& path) const;
    bool isFile(const std::string& path) const;
    bool exists(const std::string& path) const;
    // The file's contents; empty when there is none.
    std::string contents(const std::string& path) const;
    // Names directly inside a folder, in the order they were added.
    std::vector<std::string> children(const std::string& path) const;

    struct Node {
        enum class Kind { Folder, File, Link } kind = Kind::File;
        std::string data;    // a file's bytes, a link's target
        std::uint64_t order = 0;
    };
    std::map<std::string, Node> nodes;
    std::uint64_t nextOrder = 1;
};

// One application on a simulated device.
struct SimulatedApp {
    // Bundle information: string values by key ("CFBundleIdentifier", "ApplicationType", ...).
    std::map<std::string, std::string> info;
    // The application's container; a vended Documents container is its "/Documents".
    SimulatedFileTree container;
};

// One simulated iOS device, as a test describes it.
struct SimulatedDevice {
    std::string udid;
    // Lockdown values of the default domain.
    std::map<std::string, std::string> values;
    // Keys answered without a session (a device that does not trust the host answers only these).
    std::set<std::string> publicKeys{"DeviceName", "UniqueDeviceID", "ProductVersion",
                                     "ProductType", "DeviceClass", "BuildVersion"};
    // The host holds a pairing record for the device.
    bool paired = true;
    // The device refuses a session (passcode-locked).
    bool locked = false;
    // The media folder ("com.apple.afc").
    SimulatedFileTree media;
    std::map<std::string, SimulatedApp> apps;
    // Bytes the system-log relay sends.
    std::string syslog;
    // The archive the file relay sends after acknowledging a request.
    std::string fileRelayArchive;
    // The scripted service "com.torvane.test.raw": sends these bytes, then closes, unless
    // rawHoldOpen keeps the connection open until the client closes it.
    std::string rawBytes;
    bool rawHoldOpen = false;
    // An AFC file read is answered with only part of its data, then the connection is dropped.
    bool dropDuringRead = false;
    // lockdownd reads every request and never answers one.
    bool lockdownSilent = false;
    // When not empty, lockdownd answers every request with these bytes as its property list.
    std::string lockdownAnswer;
    // A service named here reads one request and answers it with these bytes as its property
    // list, then closes the connection.
    std::map<std::string, std::string> serviceAnswers;
    // AFC reads every request and never answers one.
    bool afcSilent = false;
    // The multiplexer reads every request to connect to the device and never answers one.
    bool connectSilent = false;
};

// How the multiplexer answers a client that asks for the device list (ListDevices or Listen).
enum class MuxListing {
    Answer,       // as usbmuxd does
    CloseEarly,   // closes the connection without a word
    Garbage,      // sends bytes that are no multiplexer message and keeps the connection open
    NeverAnswer,  // keeps the connection open and says nothing
    Scripted,     // answers with the property-list bytes given to setListingAnswer
};

// A usbmuxd socket server on a private UNIX socket, with the simulated devices behind it: the
// multiplexer's protocol (ListDevices, Listen, Connect, ReadPairRecord, ReadBUID,
// SavePairRecord) and, behind Connect, each device's lockdownd, AFC, house_arrest, the
// installation proxy, the notification proxy and a few relays. Tests point libusbmuxd at it
// with USBMUXD_SOCKET_ADDRESS (setEnvironment) so no real device or daemon is reached.
//
// Locks: the simulator's lock is taken before a connection's write lock, never after it.
class DeviceSimulator {
public:
    DeviceSimulator();
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // "UNIX:<path>"
    std::string socketAddress() const { return "UNIX:" + socketPath_; }
    const std::string& socketPath() const { return socketPath_; }
    // Sets USBMUXD_SOCKET_ADDRESS for this process (and the children it starts).
    void setEnvironment() const;

    // Plugs the device in; listeners hear of it. Answers its multiplexer handle.
    std::uint32_t attach(SimulatedDevice device);
    // Unplugs it; listeners hear of it and its open connections are dropped.
    void detach(const std::string& udid);
    // Runs `change` on the device's state under the simulator's lock.
    void withDevice(const std::string& udid, const std::function<void(SimulatedDevice&)>& change);
    // How device-list requests are answered from now on.
    void setListing(MuxListing listing) { listing_ = listing; }
    // From now on device-list requests are answered with these bytes as the property list.
    void setListingAnswer(std::string body);
    // Answers only the next `count` requests to connect to a device; every later one is read
    // and never answered (a multiplexer that stalls). Negative: all are answered (the default).
    void answerConnects(int count) { connectsAnswered_ = count; }
    // Device-list requests (ListDevices and Listen) received so far.
    int listingRequests() const { return listingRequests_.load(); }
    // Sends a relayed notification to every notification-proxy connection that observes it.
    void relayNotification(const std::string& udid, const std::string& name);

    // What clients did, for the tests to look at.
    std::vector<std::string> postedNotifications(const std::string& udid) const;
    std::vector<std::string> observedNotifications(const std::string& udid) const;
    std::vector<std::string> lockdownRequests(const std::string& udid) const;
    std::string rawReceived(const std::string& udid) const;
    std::vector<std::string> savedPairRecords() const;
    int openSessions() const { return openSessions_.load(); }

private:
    struct Attached;
    struct Connection;
    void acceptLoop();
    void serve(std::shared_ptr<Connection> connection);
    void serveMux(Connection& connection);
    void serveLockdown(Connection& connection, const std::shared_ptr<Attached>& device);
    void serveService(Connection& connection, const std::shared_ptr<Attached>& device,
                      const std::string& service);
    void serveAfc(Connection& connection, const std::shared_ptr<Attached>& device,
                  SimulatedFileTree& tree);
    std::shared_ptr<Attached> findDevice(std::uint32_t handle) const;
    std::shared_ptr<Attached> findDevice(const std::string& udid) const;

    std::string folder_;
    std::string socketPath_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    mutable std::recursive_mutex mutex_;
    std::vector<std::shared_ptr<Attached>> devices_;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::vector<std::thread> threads_;
    std::vector<std::string> savedPairRecords_;
    std::uint32_t nextHandle_ = 1;
    std::uint16_t nextPort_ = 49152;
    std::atomic<int> openSessions_{0};
    std::atomic<MuxListing> listing_{MuxListing::Answer};
    std::atomic<int> listingRequests_{0};
    std::atomic<int> connectsAnswered_{-1};
    std::string listingAnswer_;  // under mutex_
};

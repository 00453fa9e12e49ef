#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// The device multiplexer (usbmuxd) as far as its device list goes. Each question opens a
// connection of its own, waits for the answer with poll() (never select(), so a high
// descriptor number is no danger) until a deadline, and closes the connection on every path:
// a multiplexer that closes early, sends garbage or never answers costs one descriptor for at
// most `limit`, never more.
//
// The multiplexer is found where libusbmuxd finds it: USBMUXD_SOCKET_ADDRESS ("UNIX:<path>" or
// "<host>:<port>"), else /var/run/usbmuxd.

struct UsbmuxListedDevice {
    std::uint32_t handle = 0;  // the multiplexer's DeviceID
    std::string udid;          // SerialNumber
    bool usb = false;          // ConnectionType "USB" (not over the network)
};

struct UsbmuxListing {
    // The multiplexer gave a device list (possibly empty).
    bool answered = false;
    std::vector<UsbmuxListedDevice> devices;
    // Why there is no list: for the log.
    std::string error;
};

// Asks for the device list ("ListDevices") and waits at most `limit` for all of the answer;
// a stop request ends the wait early, without a list.
UsbmuxListing UsbmuxListDevices(std::chrono::milliseconds limit, const std::stop_token& stop = {});

// Asks the multiplexer to connect to `port` of the device it knows by `handle`, waiting at most
// `limit` for its answer: the connected socket (in blocking mode, the caller's to close), or -1
// with `error` set. Safe to call from several threads at once.
int UsbmuxConnect(std::uint32_t handle, std::uint16_t port, std::chrono::milliseconds limit, std::string* error);

// The pairing record the multiplexer keeps for the device, waiting at most `limit`; none when
// it has none or does not answer in time. Safe to call from several threads at once.
std::optional<std::string> UsbmuxReadPairRecord(const std::string& udid, std::chrono::milliseconds limit,
                                                std::string* error);

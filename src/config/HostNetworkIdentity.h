#pragma once

#include "common/Types.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What identifies this computer, from the kernel's list of network interfaces.

// One hardware (link-layer) address as the kernel lists it.
struct LinkAddress {
    std::string interfaceName;
    // ARPHRD_* of the interface; 1 is Ethernet (wired and wireless alike).
    unsigned hardwareType = 0;
    std::vector<std::uint8_t> bytes;
    bool loopback = false;
    // Backed by a device (it has /sys/class/net/<name>/device), not a bridge, tunnel or
    // container link, whose addresses may change from one boot to the next.
    bool physical = false;
};

// The MAC address of the primary Ethernet interface, "%02x:%02x:%02x:%02x:%02x:%02x" (17
// characters); none when there is none.
OptString getMacAddress();
// The primary interface among the listed ones: an Ethernet interface that is not the loopback
// and has a six-byte address other than all zeros; physical ones first, then by name, so that
// the choice stays the same from run to run. Its address formatted; none when none qualifies.
OptString PrimaryMacAddress(const std::vector<LinkAddress>& addresses);
std::string FormatMacAddress(const std::array<std::uint8_t, 6>& bytes);
// The kernel's link-layer addresses of every interface.
std::vector<LinkAddress> ListLinkAddresses();

// The identity that usage events carry: not the hardware address itself but the lower-case
// hexadecimal SHA-256 of the token followed by the address, so that no hardware address leaves
// the machine and the identity stays the same from run to run; "unknown ID" without an address.
std::string AnalyticsIdentity(const OptString& macAddress, std::string_view token);

// The IPv4 addresses of the host's interfaces.
class interfaceUtil {
public:
    // One "%d.%d.%d.%d" per interface that has an IPv4 address, in the kernel's order of the
    // interfaces (the loopback included); an interface without one is left out.
    static std::vector<std::string> getInterfaces();
};

// The IPv4 address of one interface, asked of the kernel (SIOCGIFADDR); none for a null or
// unknown name or an interface without one (the reason goes to stderr).
OptString get_iface_address(const char* interfaceName);

#include "config/HostNetworkIdentity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

std::string FormatMacAddress(const std::array<std::uint8_t, 6>& b) {
    char text[19];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4],
                  b[5]);
    return text;
}

OptString PrimaryMacAddress(const std::vector<LinkAddress>& addresses) {
    std::vector<const LinkAddress*> candidates;
    for (const LinkAddress& a : addresses) {
        if (a.loopback || a.hardwareType != ARPHRD_ETHER || a.bytes.size() != 6) continue;
        if (std::all_of(a.bytes.begin(), a.bytes.end(), [](std::uint8_t b) { return b == 0; }))
            continue;
        candidates.push_back(&a);
    }
    if (candidates.empty()) return std::nullopt;
    const auto best = std::min_element(candidates.begin(), candidates.end(),
                                       [](const LinkAddress* x, const LinkAddress* y) {
                                           if (x->physical != y->physical) return x->physical;
                                           return x->interfaceName < y->interfaceName;
                                       });
    std::array<std::uint8_t, 6> bytes{};
    std::copy_n((*best)->bytes.begin(), 6, bytes.begin());
    return FormatMacAddress(bytes);
}

std::vector<LinkAddress> ListLinkAddresses() {
    std::vector<LinkAddress> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        std::cerr << "network identity: the interfaces cannot be listed: " << std::strerror(errno)
                  << '\n';
        return out;
    }
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, ::freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET || !entry->ifa_name)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        LinkAddress address;
        address.interfaceName = entry->ifa_name;
        address.hardwareType = link->sll_hatype;
        const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
        address.bytes.assign(link->sll_addr, link->sll_addr + length);
        address.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        std::error_code error;
        address.physical =
            address.interfaceName.find('/') == std::string::npos &&
            std::filesystem::exists("/sys/class/net/" + address.interfaceName + "/device", error);
        out.push_back(std::move(address));
    }
    return out;
}

OptString getMacAddress() {
    return PrimaryMacAddress(ListLinkAddresses());
}

std::string AnalyticsIdentity(const OptString& macAddress, std::string_view token) {
    if (!macAddress) return "unknown ID";
    const std::string input = std::string(token) + *macAddress;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return "unknown ID";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 0x0F];
    }
    return out;
}

std::vector<std::string> interfaceUtil::getInterfaces() {
    std::vector<std::string> addresses;
    struct if_nameindex* names = ::if_nameindex();
    if (!names) {
        std::cerr << "network identity: the interfaces cannot be listed: " << std::strerror(errno)
                  << '\n';
        return addresses;
    }
    for (const struct if_nameindex* entry = names; entry->if_index != 0 && entry->if_name;
         ++entry) {
        if (OptString address = get_iface_address(entry->if_name))
            addresses.push_back(std::move(*address));
    }
    ::if_freenameindex(names);
    return addresses;
}

OptString get_iface_address(const char* interfaceName) {
    if (!interfaceName) return std::nullopt;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::cerr << "socket: " << std::strerror(errno) << '\n';
        return std::nullopt;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, interfaceName, IFNAMSIZ - 1);
    request.ifr_addr.sa_family = AF_INET;
    const int rc = ::ioctl(fd, SIOCGIFADDR, &request);
    const int error = errno;
    ::close(fd);
    if (rc != 0) {
        // No IPv4 address on the interface: not a failure worth a line.
        if (error != EADDRNOTAVAIL)
            std::cerr << "ioctl: " << interfaceName << ": " << std::strerror(error) << '\n';
        return std::nullopt;
    }
    const auto* address = reinterpret_cast<const sockaddr_in*>(&request.ifr_addr);
    const std::uint32_t value = ntohl(address->sin_addr.s_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (value >> 24) & 0xFF, (value >> 16) & 0xFF,
                  (value >> 8) & 0xFF, value & 0xFF);
    return text;
}

#include "device/HostInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>

namespace {

std::string FormatAddress(const sockaddr* address) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    const std::uint32_t value = ntohl(in->sin_addr.s_addr);
    return std::to_string((value >> 24) & 0xff) + "." + std::to_string((value >> 16) & 0xff) + "." +
           std::to_string((value >> 8) & 0xff) + "." + std::to_string(value & 0xff);
}

}  // namespace

std::vector<std::string> interfaceUtil::getInterfaces() {
    std::vector<std::string> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return result;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (entry->ifa_flags & IFF_LOOPBACK) continue;
        result.push_back(FormatAddress(entry->ifa_addr));
    }
    freeifaddrs(list);
    return result;
}

std::optional<std::string> get_iface_address(const char* name) {
    if (!name) return std::nullopt;
    std::optional<std::string> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && entry->ifa_name &&
            std::strcmp(entry->ifa_name, name) == 0) {
            found = FormatAddress(entry->ifa_addr);
            break;
        }
    freeifaddrs(list);
    return found;
}

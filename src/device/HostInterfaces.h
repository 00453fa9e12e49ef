#pragma once

#include <optional>
#include <string>
#include <vector>

// The host's network addresses.
class interfaceUtil {
public:
    // The IPv4 address of each network interface that has one, in the system's order; loopback
    // interfaces are left out.
    static std::vector<std::string> getInterfaces();
};

// The IPv4 address of the named interface ("192.168.1.20"), or none.
std::optional<std::string> get_iface_address(const char* name);

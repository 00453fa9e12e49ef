#include "config/HostNetworkIdentity.h"

#include <net/if_arp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

LinkAddress Link(const char* name, std::vector<std::uint8_t> bytes, bool physical = true,
                 bool loopback = false, unsigned type = ARPHRD_ETHER) {
    return LinkAddress{name, type, std::move(bytes), loopback, physical};
}

TEST(HostIdentityTest, ThePrimaryEthernetAddress) {
    const std::vector<std::uint8_t> mac = {0x00, 0x1C, 0x42, 0xAB, 0xCD, 0xEF};
    struct Row {
        const char* why;
        std::vector<LinkAddress> links;
        OptString primary;
    };
    for (const Row& row : {
             Row{"one interface", {Link("eth0", mac)}, "00:1c:42:ab:cd:ef"},
             Row{"none", {}, std::nullopt},
             Row{"loopback, zeros and other kinds are skipped",
                 {Link("lo", {0, 0, 0, 0, 0, 0}, false, true), Link("zero0", {0, 0, 0, 0, 0, 0}),
                  Link("loop1", {1, 2, 3, 4, 5, 6}, false, true),
                  Link("ib0", {1, 2, 3, 4, 5, 6}, true, false, ARPHRD_INFINIBAND),
                  Link("short0", {1, 2, 3})},
                 std::nullopt},
             Row{"a device before a virtual link, then by name",
                 {Link("docker0", {2, 0, 0, 0, 0, 1}, false), Link("wlp2s0", {3, 0, 0, 0, 0, 3}),
                  Link("enp1s0", mac)},
                 "00:1c:42:ab:cd:ef"},
         })
        EXPECT_EQ(PrimaryMacAddress(row.links), row.primary) << row.why;
    EXPECT_EQ(FormatMacAddress({0xDE, 0xAD, 0x00, 0x01, 0x0A, 0xFF}), "de:ad:00:01:0a:ff");
}

TEST(HostIdentityTest, InterfaceAddressesFromTheKernel) {
    EXPECT_EQ(get_iface_address(nullptr), std::nullopt);
    EXPECT_EQ(get_iface_address("no-such-if0"), std::nullopt);
    const OptString loopback = get_iface_address("lo");
    if (loopback) {
        EXPECT_EQ(*loopback, "127.0.0.1");
    }
    const std::vector<std::string> addresses = interfaceUtil::getInterfaces();
    for (const std::string& address : addresses) {
        EXPECT_EQ(std::count(address.begin(), address.end(), '.'), 3) << address;
    }
    if (loopback) {
        EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
    }
    // Whatever the machine has, the primary address is either none or well formed.
    if (const OptString mac = getMacAddress()) {
        EXPECT_EQ(mac->size(), 17u);
    }
}

}  // namespace

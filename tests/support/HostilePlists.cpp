#include "support/HostilePlists.h"

#include <cstdint>
#include <vector>

namespace testsupport {

std::string NestedXml(int levels, bool commentedCloses) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>";
    for (int i = 0; i < levels; ++i) xml += commentedCloses ? "<array><!--</array>-->" : "<array>";
    for (int i = 0; i < levels; ++i) xml += "</array>";
    return xml + "</dict></plist>";
}

std::string ChainedBinary(int objects, int fanOut) {
    std::string b = "bplist00";
    std::vector<std::uint32_t> offsets;
    const auto ref = [&](std::uint32_t r) {
        for (int k = 3; k >= 0; --k) b += static_cast<char>((r >> (8 * k)) & 0xFF);
    };
    offsets.push_back(static_cast<std::uint32_t>(b.size()));  // 0: the top dictionary
    b += static_cast<char>(0xD1);
    ref(1);
    ref(2);
    offsets.push_back(static_cast<std::uint32_t>(b.size()));  // 1: its key
    b += "\x51"
         "a";
    for (int i = 2; i < objects; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(b.size()));
        if (i + 1 < objects) {
            b += static_cast<char>(0xA0 | fanOut);
            for (int f = 0; f < fanOut; ++f) ref(static_cast<std::uint32_t>(i + 1));
        } else {
            b += static_cast<char>(0xA0);
        }
    }
    const auto table = static_cast<std::uint64_t>(b.size());
    for (std::uint32_t o : offsets) ref(o);
    std::string trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 4;
    for (int k = 0; k < 8; ++k) {
        trailer[8 + k] = static_cast<char>((static_cast<std::uint64_t>(objects) >> (8 * (7 - k))) & 0xFF);
        trailer[24 + k] = static_cast<char>((table >> (8 * (7 - k))) & 0xFF);
    }
    return b + trailer;
}

}  // namespace testsupport

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The host's operating system and its version, from /etc/os-release (the distribution) or,
// without that file, from uname (the kernel).
struct HostSystemVersion {
    std::string name;     // "Debian GNU/Linux", or the kernel's name
    std::string version;  // "12", "22.04", or the kernel release
    std::int32_t major = 0;
    std::int32_t minor = 0;

    static HostSystemVersion current();
    // Reads the NAME and VERSION_ID lines of an os-release text (values may be quoted).
    static HostSystemVersion fromOsRelease(std::string_view text);
    // Sets major and minor from the leading numbers of "major.minor...".
    void parseVersionNumbers();
};

// The host's major plus minor version number (22.04 gives 26); 0 when unknown. Kept as the
// one figure older callers compared.
std::int32_t getOSXVersion();

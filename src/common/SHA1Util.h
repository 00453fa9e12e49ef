#pragma once

#include <string>
#include <string_view>

// Names under which a device backup keeps its files.
class SHA1Util {
public:
    // The SHA-1 of the text's bytes as 40 lower-case hexadecimal characters. Backups name each
    // device file by the hash of "domain-relativePath". The text is treated as a C string: the
    // bytes from the first zero byte on are not hashed.
    static std::string SHA1HashStringForUTF8String(std::string_view text);
};

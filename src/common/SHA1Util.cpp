#include "common/SHA1Util.h"

#include <openssl/evp.h>

#include <array>
#include <stdexcept>

std::string SHA1Util::SHA1HashStringForUTF8String(std::string_view text) {
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos) text = text.substr(0, end);

    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &digestLength, EVP_sha1(), nullptr) !=
            1 ||
        digestLength != 20) {
        // Only a broken crypto library gets here; a wrong name would silently miss every file.
        throw std::runtime_error("SHA-1 digest failed");
    }

    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digestLength);
    for (unsigned int i = 0; i < digestLength; ++i) {
        hex.push_back(hexDigits[digest[i] >> 4]);
        hex.push_back(hexDigits[digest[i] & 0x0F]);
    }
    return hex;
}

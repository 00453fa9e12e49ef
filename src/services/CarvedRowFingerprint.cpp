#include "services/CarvedRowFingerprint.h"

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace {

void AppendLength(std::string& out, std::size_t length) {
    const auto n = static_cast<std::uint64_t>(length);
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
}

}  // namespace

void CarvedRowFingerprint::add(const ColumnValue& value) {
    // A type tag and a length before every value keep "ab"+"c" apart from "a"+"bc".
    if (value.isNull()) {
        bytes_ += 'N';
    } else if (value.isInteger()) {
        bytes_ += 'I';
        const std::int64_t n = value.asInteger();
        bytes_.append(reinterpret_cast<const char*>(&n), sizeof n);
    } else if (value.isDouble()) {
        bytes_ += 'D';
        const double d = value.asDouble();
        bytes_.append(reinterpret_cast<const char*>(&d), sizeof d);
    } else if (const std::string* text = value.text()) {
        bytes_ += 'T';
        AppendLength(bytes_, text->size());
        bytes_ += *text;
    } else if (const Bytes* blob = value.blob()) {
        bytes_ += 'B';
        AppendLength(bytes_, blob->size());
        bytes_.append(reinterpret_cast<const char*>(blob->data()), blob->size());
    }
}

CarvedRowFingerprint::Digest CarvedRowFingerprint::digest() const {
    // One digest context per thread, made once: every carved record is hashed.
    struct ContextDeleter {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    thread_local const std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    unsigned char full[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes_.data(), bytes_.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), full, &size) != 1 || size < 16)
        throw std::runtime_error("cannot compute a record fingerprint");
    Digest digest;
    std::memcpy(digest.data(), full, digest.size());
    return digest;
}

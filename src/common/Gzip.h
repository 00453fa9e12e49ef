#pragma once

#include "common/Types.h"

#include <cstddef>
#include <optional>

// Gzip compression of byte buffers (zlib, gzip header and trailer).
namespace GZIP {

// Decompressed output above this size is refused, so that a small hostile stream cannot make
// the process allocate without bound.
inline constexpr std::size_t kMaxGunzippedBytes = std::size_t{1} << 30;

// The bytes gzip-compressed. The level is a fraction of the strongest: 0.0 stores, 1.0 is
// zlib's level 9, 9 × level is rounded to the nearest level; a negative level is zlib's
// default. Empty or already gzipped bytes come back unchanged. None for a level above 1.0
// (after rounding) or not a number, or when zlib fails.
std::optional<Bytes> gzippedDataWithCompressionLevel(const Bytes& data, float level);
// gzippedDataWithCompressionLevel with zlib's default level.
std::optional<Bytes> gzippedData(const Bytes& data);

// The decompressed bytes of a gzip stream; consecutive gzip members are decoded one after the
// other, bytes after the last member are ignored. Bytes that do not start like gzip come back
// unchanged. None for a damaged or truncated stream or output beyond maxOutputBytes.
std::optional<Bytes> gunzippedData(const Bytes& data,
                                   std::size_t maxOutputBytes = kMaxGunzippedBytes);

// Whether the bytes start with the gzip magic number 0x1F 0x8B.
bool isGzippedData(const Bytes& data);

}  // namespace GZIP

// Placeholder kept for callers of the old name; it decodes nothing.
class GZipUtil {
public:
    std::optional<Bytes> GunzippedData(const Bytes& data) const;
};

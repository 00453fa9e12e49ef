#include "common/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

namespace {

// windowBits for deflateInit2/inflateInit2: 15 (32 KiB window) + 16 writes a gzip wrapper,
// + 32 detects a zlib or gzip wrapper when reading.
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kDetectWindowBits = 15 + 32;
constexpr int kMemoryLevel = 8;
constexpr std::size_t kGrowStep = 16384;

void logFailure(const std::string& what, const z_stream& stream) {
    std::cerr << ("gzip: " + what + (stream.msg ? std::string(": ") + stream.msg : std::string()) +
                  "\n");
}

uInt clampToUInt(std::size_t n) {
    return static_cast<uInt>(std::min<std::size_t>(n, UINT_MAX));
}

// Owns a deflate or inflate stream so that every exit ends it.
class DeflateStream {
public:
    z_stream stream{};
    bool initialised = false;
    ~DeflateStream() {
        if (initialised) deflateEnd(&stream);
    }
};

class InflateStream {
public:
    z_stream stream{};
    bool initialised = false;
    ~InflateStream() {
        if (initialised) inflateEnd(&stream);
    }
};

}  // namespace

namespace GZIP {

bool isGzippedData(const Bytes& data) {
    return data.size() >= 2 && data[0] == 0x1F && data[1] == 0x8B;
}

std::optional<Bytes> gzippedDataWithCompressionLevel(const Bytes& data, float level) {
    if (data.empty() || isGzippedData(data)) return data;

    int zlibLevel = Z_DEFAULT_COMPRESSION;
    if (std::isnan(level)) {
        std::cerr << "gzip: compression level is not a number\n";
        return std::nullopt;
    }
    if (level >= 0.0f) {
        const float scaled = std::round(9.0f * level);
        if (scaled > 9.0f) {
            std::cerr << "gzip: compression level above the strongest\n";
            return std::nullopt;
        }
        zlibLevel = static_cast<int>(scaled);
    }

    DeflateStream z;
    if (deflateInit2(&z.stream, zlibLevel, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        logFailure("cannot start compression", z.stream);
        return std::nullopt;
    }
    z.initialised = true;

    Bytes out(std::max<std::size_t>(kGrowStep, deflateBound(&z.stream, data.size())));
    std::size_t inPos = 0;
    std::size_t written = 0;
    for (;;) {
        if (z.stream.avail_in == 0 && inPos < data.size()) {
            const uInt chunk = clampToUInt(data.size() - inPos);
            z.stream.next_in = const_cast<Bytef*>(data.data() + inPos);
            z.stream.avail_in = chunk;
            inPos += chunk;
        }
        if (written == out.size()) out.resize(out.size() + std::max(kGrowStep, out.size() / 2));
        const uInt room = clampToUInt(out.size() - written);
        z.stream.next_out = out.data() + written;
        z.stream.avail_out = room;
        const int rc = deflate(&z.stream, inPos == data.size() ? Z_FINISH : Z_NO_FLUSH);
        written += room - z.stream.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK) {
            logFailure("compression failed", z.stream);
            return std::nullopt;
        }
    }
    out.resize(written);
    return out;
}

std::optional<Bytes> gzippedData(const Bytes& data) {
    return gzippedDataWithCompressionLevel(data, -1.0f);
}

std::optional<Bytes> gunzippedData(const Bytes& data, std::size_t maxOutputBytes) {
    if (!isGzippedData(data)) return data;

    InflateStream z;
    if (inflateInit2(&z.stream, kDetectWindowBits) != Z_OK) {
        logFailure("cannot start decompression", z.stream);
        return std::nullopt;
    }
    z.initialised = true;

    // One byte of room beyond the limit tells output of exactly the limit from output above it.
    const std::size_t bufferLimit = maxOutputBytes == SIZE_MAX ? SIZE_MAX : maxOutputBytes + 1;
    Bytes out(std::min(bufferLimit, std::max(kGrowStep, data.size() * 2)));
    std::size_t inPos = 0;
    std::size_t written = 0;
    for (;;) {
        if (z.stream.avail_in == 0 && inPos < data.size()) {
            const uInt chunk = clampToUInt(data.size() - inPos);
            z.stream.next_in = const_cast<Bytef*>(data.data() + inPos);
            z.stream.avail_in = chunk;
            inPos += chunk;
        }
        if (written == out.size()) {
            if (out.size() >= bufferLimit) break;
            out.resize(std::min(bufferLimit, out.size() + std::max(kGrowStep, out.size() / 2)));
        }
        const uInt room = clampToUInt(out.size() - written);
        z.stream.next_out = out.data() + written;
        z.stream.avail_out = room;
        const int rc = inflate(&z.stream, Z_NO_FLUSH);
        written += room - z.stream.avail_out;

        if (rc == Z_STREAM_END) {
            // A gzip file may hold several members one after the other; decode them all.
            const std::size_t next = inPos - z.stream.avail_in;
            if (data.size() - next >= 2 && data[next] == 0x1F && data[next + 1] == 0x8B) {
                if (inflateReset(&z.stream) != Z_OK) {
                    logFailure("cannot restart decompression", z.stream);
                    return std::nullopt;
                }
                continue;
            }
            break;
        }
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR && z.stream.avail_out == 0) continue;  // output full: grow and go on
        logFailure(rc == Z_BUF_ERROR ? "truncated stream" : "damaged stream", z.stream);
        return std::nullopt;
    }
    if (written > maxOutputBytes) {
        std::cerr << ("gzip: decompressed data larger than " + std::to_string(maxOutputBytes) +
                      " bytes, refused\n");
        return std::nullopt;
    }
    out.resize(written);
    return out;
}

}  // namespace GZIP

std::optional<Bytes> GZipUtil::GunzippedData(const Bytes&) const {
    return std::nullopt;
}

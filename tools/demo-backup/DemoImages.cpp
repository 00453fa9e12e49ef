// Small but real picture and film files for the demo backup: a baseline JPEG whose 8x8 blocks
// each have one colour (so only the blocks' DC coefficients are coded), a PNG, and the head of
// a QuickTime film.

#include "demo-backup/DemoBackup.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace demo {
namespace {

using ByteVector = std::vector<std::uint8_t>;

struct Rgb {
    int r, g, b;
};

// A little landscape: sky getting lighter towards the horizon, a sun, hills, a meadow.
Rgb LandscapeColour(int x, int y, int width, int height, std::uint32_t seed) {
    const int horizon = height * (5 + static_cast<int>(seed % 3)) / 10;
    const int sunX = width * (2 + static_cast<int>(seed % 5)) / 8;
    const int sunY = height / 5;
    if (std::abs(x - sunX) <= width / 12 && std::abs(y - sunY) <= height / 10)
        return {250, 214, 80};
    if (y < horizon) {
        const int light = 60 * y / std::max(1, horizon);
        return {90 + light, 150 + light, 225 + light / 3};
    }
    const int hill = horizon + (height / 8) * (1 + ((x / 8 + static_cast<int>(seed)) % 3)) / 3;
    if (y < hill) return {70, 110 + static_cast<int>(seed % 40), 60};
    const int shade = 40 * (y - hill) / std::max(1, height - hill);
    return {60 + shade, 150 - shade, 55};
}

void PutBig16(ByteVector& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void PutBig32(ByteVector& out, std::uint32_t v) {
    PutBig16(out, v >> 16);
    PutBig16(out, v & 0xFFFF);
}

// The entropy-coded bits of a JPEG scan, with 0xFF bytes stuffed.
class BitWriter {
public:
    explicit BitWriter(ByteVector& out) : out_(out) {}
    void put(std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = static_cast<std::uint8_t>((current_ << 1) | ((bits >> i) & 1));
            if (++filled_ == 8) flushByte();
        }
    }
    // Pads the last byte with one-bits, as the format asks.
    void finish() {
        while (filled_ != 0) put(1, 1);
    }

private:
    void flushByte() {
        out_.push_back(current_);
        if (current_ == 0xFF) out_.push_back(0x00);
        current_ = 0;
        filled_ = 0;
    }
    ByteVector& out_;
    std::uint8_t current_ = 0;
    int filled_ = 0;
};

int Category(int value) {
    int magnitude = std::abs(value);
    int bits = 0;
    while (magnitude > 0) {
        ++bits;
        magnitude >>= 1;
    }
    return bits;
}

int ClampByte(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

}  // namespace

std::vector<std::uint8_t> DemoJpeg(int width, int height, std::uint32_t seed) {
    if (width <= 0 || height <= 0 || width % 8 != 0 || height % 8 != 0 || width > 4096 ||
        height > 4096)
        throw std::invalid_argument("DemoJpeg: sides must be positive multiples of 8");
    ByteVector out = {0xFF, 0xD8};
    // APP0, JFIF 1.01, no units, density 1:1, no thumbnail.
    out.insert(out.end(), {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00,
                           0x01, 0x00, 0x01, 0x00, 0x00});
    // One quantisation table of 8s: a flat block's DC coefficient becomes its level - 128.
    out.insert(out.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    out.insert(out.end(), 64, 8);
    // Frame: baseline, 8 bits, three components without subsampling, all on table 0.
    out.insert(out.end(), {0xFF, 0xC0, 0x00, 0x11, 0x08});
    PutBig16(out, static_cast<std::uint32_t>(height));
    PutBig16(out, static_cast<std::uint32_t>(width));
    out.insert(out.end(), {0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00});
    // DC table 0: the twelve size categories, each a 4-bit code (0000 ... 1011).
    out.insert(out.end(),
               {0xFF, 0xC4, 0x00, 0x1F, 0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (std::uint8_t s = 0; s < 12; ++s) out.push_back(s);
    // AC table 0: end-of-block only, the 1-bit code 0.
    out.insert(out.end(), {0xFF, 0xC4, 0x00, 0x14, 0x10, 1, 0, 0, 0, 0, 0,
                           0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0x00});
    // Scan of the three components.
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00,
                           0x3F, 0x00});
    BitWriter bits(out);
    std::array<int, 3> previous{0, 0, 0};
    for (int by = 0; by < height / 8; ++by) {
        for (int bx = 0; bx < width / 8; ++bx) {
            const Rgb c = LandscapeColour(bx * 8 + 4, by * 8 + 4, width, height, seed);
            const std::array<int, 3> levels = {
                ClampByte(0.299 * c.r + 0.587 * c.g + 0.114 * c.b),
                ClampByte(128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b),
                ClampByte(128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b)};
            for (int k = 0; k < 3; ++k) {
                const int dc = levels[static_cast<std::size_t>(k)] - 128;
                const int diff = dc - previous[static_cast<std::size_t>(k)];
                previous[static_cast<std::size_t>(k)] = dc;
                const int size = Category(diff);
                bits.put(static_cast<std::uint32_t>(size), 4);
                if (size > 0) {
                    const int value = diff >= 0 ? diff : diff + (1 << size) - 1;
                    bits.put(static_cast<std::uint32_t>(value), size);
                }
                bits.put(0, 1);  // end of block: every AC coefficient is 0
            }
        }
    }
    bits.finish();
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

std::vector<std::uint8_t> DemoPng(int width, int height, std::uint32_t seed) {
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096)
        throw std::invalid_argument("DemoPng: bad size");
    ByteVector raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const Rgb c = LandscapeColour(x, y, width, height, seed);
            raw.insert(raw.end(), {static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g),
                                   static_cast<std::uint8_t>(c.b)});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    ByteVector packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) !=
        Z_OK)
        throw std::runtime_error("DemoPng: compression failed");
    packed.resize(packedSize);

    ByteVector out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const auto chunk = [&](const char* type, const ByteVector& data) {
        PutBig32(out, static_cast<std::uint32_t>(data.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
        PutBig32(out, static_cast<std::uint32_t>(crc));
    };
    ByteVector header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    chunk("IHDR", header);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return out;
}

std::vector<std::uint8_t> DemoQuickTimeHeader() {
    ByteVector out;
    PutBig32(out, 20);
    out.insert(out.end(), {'f', 't', 'y', 'p', 'q', 't', ' ', ' ', 0, 0, 2, 0, 'q', 't', ' ', ' '});
    PutBig32(out, 8);
    out.insert(out.end(), {'m', 'o', 'o', 'v'});
    PutBig32(out, 8);
    out.insert(out.end(), {'m', 'd', 'a', 't'});
    return out;
}

}  // namespace demo

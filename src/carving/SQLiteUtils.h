#pragma once

#include "common/Types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// A read-only window on bytes of a database file: a page, a page's free gap, a freeblock.
using ByteView = std::span<const std::uint8_t>;

// A decoded varint: its value and the number of bytes it took (1 to 9).
struct varInt {
    std::int64_t value = 0;
    std::int64_t position = 0;
};

// Decodes the varint that starts at p, reading no byte at or after end. A varint is one to nine
// bytes: the first eight give 7 bits each while their high bit is set, a ninth gives all 8 bits.
// Returns the number of bytes taken, or 0 when p is at or after end or the varint runs past it.
inline int ReadVarint(const std::uint8_t* p, const std::uint8_t* end, std::uint64_t& value) {
    if (p >= end) return 0;
    if (*p < 0x80) {
        value = *p;
        return 1;
    }
    const std::ptrdiff_t available = end - p;
    const int limit = available < 9 ? static_cast<int>(available) : 9;
    std::uint64_t v = 0;
    for (int i = 0; i < limit; ++i) {
        if (i == 8) {
            value = (v << 8) | p[8];
            return 9;
        }
        v = (v << 7) | (p[i] & 0x7F);
        if ((p[i] & 0x80) == 0) {
            value = v;
            return i + 1;
        }
    }
    return 0;
}

// Big-endian two's-complement integer of 1 to 8 bytes, as the record format stores integers.
inline std::int64_t ReadBigEndianSigned(const std::uint8_t* p, int width) {
    std::uint64_t v = (p[0] & 0x80) ? ~std::uint64_t{0} : 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
    return static_cast<std::int64_t>(v);
}

inline std::uint32_t ReadBigEndian16(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 8) | p[1];
}

inline std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// The byte and varint readers of the file-format layer. Every reader checks its bounds and answers
// nothing (std::nullopt) where the bytes it needs are not all there.
class SQLiteUtils {
public:
    // Unsigned big-endian 16-bit value of the two bytes at location.
    static std::optional<std::int32_t> convertToint16fromData(ByteView data, std::int64_t location);
    // The next-freeblock field of the freeblock (or page header) that starts at offset.
    static std::optional<std::int32_t> NextFreeblockOffset(ByteView data, std::int64_t offset);
    // The size field of the freeblock at offset, its own 4-byte head included.
    static std::optional<std::int32_t> FreeblockSize(ByteView data, std::int64_t offset);
    // The whole freeblock at offset, head included; nothing when it runs past the data.
    static std::optional<ByteView> FreeblockData(ByteView data, std::int64_t offset);

    static Bytes reverseData(ByteView data);
    static bool IsOdd(std::int64_t value) { return value % 2 != 0; }
    static bool IsEven(std::int64_t value) { return value % 2 == 0; }

    // The varint at index: its value and length. Unlike a fixed 9-byte window, a varint that ends
    // inside the data is read however close to the end it lies.
    static std::optional<varInt> convertRealVarintToIntfromByteArray(ByteView data,
                                                                     std::int64_t index);
    // The varint at index read through a window of nine bytes: nothing when the window runs
    // past the end of the data, even where the varint itself would end before it.
    static std::optional<varInt> convertVarintToIntfromByteArray(ByteView data,
                                                                 std::int64_t fromIndex);
    // The varint at the start of the data (convertRealVarintToIntfromByteArray at 0).
    static std::optional<varInt> convertVarintToIntfromByteArray(ByteView data) {
        return convertRealVarintToIntfromByteArray(data, 0);
    }
    // The unsigned big-endian 16-bit value at offset (convertToint16fromData).
    static std::optional<std::int32_t> convertTo16BitInt(ByteView data, std::int64_t offset) {
        return convertToint16fromData(data, offset);
    }
    // The byte masked with the bit (0 to 7) of that number: non-zero when the bit is set; 0
    // for a bit number outside a byte.
    static std::int8_t isBitSet(std::uint8_t byte, int bitToCheck) {
        if (bitToCheck < 0 || bitToCheck > 7) return 0;
        return static_cast<std::int8_t>(byte & (1u << bitToCheck));
    }
};

// The varint at bytes, reading at most length bytes (taken modulo 256, as a one-byte count):
// what was gathered when the bytes end before the varint does; 0 for no bytes.
std::uint64_t decodeVarint(const std::uint8_t* bytes, std::size_t length);

// Small byte helpers that the recoverers use.
class dataUtils {
public:
    static std::optional<std::int32_t> convertToint16fromData(ByteView data, std::int64_t location) {
        return SQLiteUtils::convertToint16fromData(data, location);
    }
    // The byte at location (0 to 255), or -1 when location lies outside the data.
    static int getBytefromData(ByteView data, std::uint64_t location);
    // Index of the first byte equal to character, or -1.
    static int indexOfCharinData(ByteView data, std::uint8_t character);
    // Eight bytes in host (little-endian) order taken as an IEEE 754 double; nothing for any
    // other length.
    static std::optional<double> ConvertNSDataToDouble(ByteView data);
};

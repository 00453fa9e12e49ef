#include "carving/SQLiteUtils.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
bool Inside(ByteView data, std::int64_t offset, std::int64_t width) {
    return offset >= 0 && width >= 0 && offset <= static_cast<std::int64_t>(data.size()) &&
           width <= static_cast<std::int64_t>(data.size()) - offset;
}
}  // namespace

std::optional<std::int32_t> SQLiteUtils::convertToint16fromData(ByteView data,
                                                                std::int64_t location) {
    if (!Inside(data, location, 2)) return std::nullopt;
    return static_cast<std::int32_t>(ReadBigEndian16(data.data() + location));
}

std::optional<std::int32_t> SQLiteUtils::NextFreeblockOffset(ByteView data, std::int64_t offset) {
    return convertToint16fromData(data, offset);
}

std::optional<std::int32_t> SQLiteUtils::FreeblockSize(ByteView data, std::int64_t offset) {
    if (offset > INT64_MAX - 2) return std::nullopt;
    return convertToint16fromData(data, offset + 2);
}

std::optional<ByteView> SQLiteUtils::FreeblockData(ByteView data, std::int64_t offset) {
    const auto size = FreeblockSize(data, offset);
    if (!size || !Inside(data, offset, *size)) return std::nullopt;
    return data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(*size));
}

Bytes SQLiteUtils::reverseData(ByteView data) { return Bytes(data.rbegin(), data.rend()); }

std::optional<varInt> SQLiteUtils::convertRealVarintToIntfromByteArray(ByteView data,
                                                                       std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(data.size())) return std::nullopt;
    std::uint64_t value = 0;
    const int length = ReadVarint(data.data() + index, data.data() + data.size(), value);
    if (length == 0) return std::nullopt;
    return varInt{static_cast<std::int64_t>(value), length};
}

std::optional<varInt> SQLiteUtils::convertVarintToIntfromByteArray(ByteView data,
                                                                   std::int64_t fromIndex) {
    constexpr std::int64_t kWindow = 9;
    if (!Inside(data, fromIndex, kWindow)) return std::nullopt;
    return convertRealVarintToIntfromByteArray(
        data.subspan(static_cast<std::size_t>(fromIndex), kWindow), 0);
}

std::uint64_t decodeVarint(const std::uint8_t* bytes, std::size_t length) {
    length %= 256;
    if (!bytes || length == 0) return 0;
    std::uint64_t value = 0;
    if (ReadVarint(bytes, bytes + length, value) > 0) return value;
    // The bytes end inside the varint: what they gave.
    for (std::size_t i = 0; i < length && i < 8; ++i) value = (value << 7) | (bytes[i] & 0x7F);
    return value;
}

int dataUtils::getBytefromData(ByteView data, std::uint64_t location) {
    return location < data.size() ? data[location] : -1;
}

int dataUtils::indexOfCharinData(ByteView data, std::uint8_t character) {
    const auto it = std::find(data.begin(), data.end(), character);
    return it == data.end() ? -1 : static_cast<int>(it - data.begin());
}

std::optional<double> dataUtils::ConvertNSDataToDouble(ByteView data) {
    if (data.size() != sizeof(double)) return std::nullopt;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | data[static_cast<std::size_t>(i)];
    return std::bit_cast<double>(bits);
}

#include "app/ByteScans.h"

namespace {

template <class Stops>
std::int64_t ScanFrom(const Bytes& bytes, std::int64_t start, Stops stops) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    if (start < 0 || start > size) return -1;
    for (std::int64_t i = start; i < size; ++i)
        if (stops(bytes[static_cast<std::size_t>(i)])) return i;
    return size;
}

}  // namespace

std::int64_t GetTheDictionaryStringLengthfromBytes(const Bytes& bytes, std::int64_t start) {
    return ScanFrom(bytes, start, [](std::uint8_t b) { return b < 48; });
}

std::int64_t GetTheLengthOfTheStringBytes(const Bytes& bytes, std::int64_t start) {
    const std::int64_t zero = ScanFrom(bytes, start, [](std::uint8_t b) { return b == 0; });
    if (zero < 0 || zero == static_cast<std::int64_t>(bytes.size())) return zero;
    return zero + 1;
}

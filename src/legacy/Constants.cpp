#include "legacy/Constants.h"

Constants::ColumnDescriptor Constants::getDataType(std::int32_t serialType) {
    switch (serialType) {
        case 0: return {"NULL", "0"};
        case 1: return {"INTEGER", "1"};
        case 2: return {"INTEGER", "2"};
        case 3: return {"INTEGER", "3"};
        case 4: return {"INTEGER", "4"};
        case 5: return {"INTEGER", "6"};
        case 6: return {"INTEGER", "8"};
        case 7: return {"FLOAT", "8"};
        case 8: return {"0", "0"};
        case 9: return {"1", "0"};
        case 10:
        case 11: return {"RESERVED", "0"};
        default: break;
    }
    if (serialType < 0) return {"UNKNOWN", "0"};
    if (serialType % 2 == 0) return {"BLOB", std::to_string((serialType - 12) / 2)};
    return {"TEXT", std::to_string((serialType - 13) / 2)};
}

std::int32_t Constants::huffman_check(std::int64_t offset, FileBytes bytes) {
    std::int32_t count = 1;
    while (bytes.has(offset + count, 1) && bytes[offset + count - 1] > 0x80) ++count;
    return count;
}

std::int32_t Constants::huffman_calc(std::int64_t offset, std::int32_t count, FileBytes bytes) {
    if (count <= 1) return bytes[offset];
    // (b1 - 128) * 128^(k-1) + ... + (b(k-1) - 128) * 128 + bk, in wrapping arithmetic.
    std::uint64_t value = 0;
    for (std::int32_t i = 0; i + 1 < count; ++i)
        value = value * 128 + static_cast<std::uint64_t>(static_cast<std::int64_t>(bytes[offset + i]) - 128);
    value = value * 128 + bytes[offset + count - 1];
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t Constants::big_endian(std::int64_t offset, std::int32_t length, FileBytes bytes) {
    std::uint64_t value = 0;
    for (std::int32_t i = 0; i < length; ++i) value = (value << 8) | bytes[offset + i];
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

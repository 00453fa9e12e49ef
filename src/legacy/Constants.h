#pragma once

#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <string>
#include <utility>

// What the older carving routines read record headers with: the serial-type table, their own
// variable-length integer (not SQLite's: see huffman_check) and a big-endian integer reader.
// Reads are bounded by the view: a byte past its end reads as 0.
class Constants {
public:
    // A column descriptor: (kind, length). Kind is "NULL", "INTEGER", "FLOAT", "0", "1",
    // "RESERVED", "BLOB", "TEXT" or "UNKNOWN"; length the content's byte count in decimal digits.
    using ColumnDescriptor = std::pair<std::string, std::string>;

    static ColumnDescriptor getDataType(std::int32_t serialType);

    // The byte count of the variable-length integer at offset: 1, plus 1 for every byte of
    // 0x81 or more before the one that ends it (a byte of 0x80 or less). No limit of 9 bytes;
    // the count stops at the end of the data.
    static std::int32_t huffman_check(std::int64_t offset, FileBytes bytes);
    // The value of the count bytes at offset: the last byte whole, plus (b - 128) * 128^(k - i)
    // for each byte before it. Beyond 31 bits the value wraps and means nothing.
    static std::int32_t huffman_calc(std::int64_t offset, std::int32_t count, FileBytes bytes);
    // The length bytes at offset, unsigned and most significant first; the low 32 bits.
    static std::int32_t big_endian(std::int64_t offset, std::int32_t length, FileBytes bytes);
};

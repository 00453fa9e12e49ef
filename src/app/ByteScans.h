#pragma once

#include "common/Types.h"

#include <cstdint>

// Scans of a byte buffer from a start index. Neither reads past the buffer: a start outside it
// gives -1, and a scan that meets no stopping byte gives the buffer's size.

// The index of the first byte at or after start whose value is below 48 ('0').
std::int64_t GetTheDictionaryStringLengthfromBytes(const Bytes& bytes, std::int64_t start);

// The index just after the first 0 byte at or after start.
std::int64_t GetTheLengthOfTheStringBytes(const Bytes& bytes, std::int64_t start);

#pragma once

#include "legacy/LegacyBytes.h"

#include <cstdint>

// Two byte decoders of the call-record parser, behind one shared instance.
class CommanFunctions {
public:
    // The one instance, made on first use (thread-safe).
    static CommanFunctions& sharedObject();

    // The big-endian unsigned value of the first len bytes of the view, for len 1, 2, 3 or 4;
    // 0 for any other length. A byte past the view's end reads as 0.
    std::uint32_t ParseIntegerValueFromBytes(FileBytes bytes, std::int32_t len) const;
    // A two-byte variable-length integer: ((a AND 127) * 128) + (b AND 127).
    std::int32_t GetRowID(std::int8_t a, std::int8_t b) const;

private:
    CommanFunctions() = default;
};

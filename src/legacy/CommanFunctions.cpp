#include "legacy/CommanFunctions.h"

CommanFunctions& CommanFunctions::sharedObject() {
    static CommanFunctions instance;
    return instance;
}

std::uint32_t CommanFunctions::ParseIntegerValueFromBytes(FileBytes bytes, std::int32_t len) const {
    if (len < 1 || len > 4) return 0;
    std::uint32_t value = 0;
    for (std::int32_t i = 0; i < len; ++i) value = (value << 8) | bytes[i];
    return value;
}

std::int32_t CommanFunctions::GetRowID(std::int8_t a, std::int8_t b) const {
    return ((static_cast<std::uint8_t>(a) & 127) * 128) + (static_cast<std::uint8_t>(b) & 127);
}

#include "records/RecordFields.h"

#include <array>
#include <cstdint>
#include <functional>

std::mutex& SharedRecordText::LockOf(const void* field) {
    static std::array<std::mutex, 64> locks;
    // Fields lie at least 8 bytes apart; neighbouring fields take neighbouring locks.
    const auto at = reinterpret_cast<std::uintptr_t>(field) >> 3;
    return locks[std::hash<std::uintptr_t>{}(at) % locks.size()];
}

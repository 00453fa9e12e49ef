#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A text that may be absent. Absent and empty are different things: an absent text was
// never stored (a NULL column, a field nobody set), an empty one was stored as "".
using OptString = std::optional<std::string>;

// Raw bytes: file contents, blobs, digests.
using Bytes = std::vector<std::uint8_t>;

// Equality of two texts where an absent text equals nothing, not even another absent text.
inline bool SameText(const OptString& a, const OptString& b) {
    return a.has_value() && b.has_value() && *a == *b;
}

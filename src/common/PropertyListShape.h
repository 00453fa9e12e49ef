#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The shape of property-list bytes, judged before they reach the property-list library. The
// library's parser recurses once per level of nesting and, for binary lists, copies an object
// every time it is referenced, so a few hostile kilobytes can exhaust the stack or the memory.
// What a device, the device multiplexer or a backup sends is shallow and has at most some
// thousand values; anything far beyond is refused here.
//
// XML: the nesting of elements, counted so that it is never less than the parser's (every
// opening tag counts, also inside comments, character data and attribute values; a closing tag
// counts only outside them). Binary ("bplist00"): the trailer, the offset table and the
// references of every container are read here, iteratively and bounded: references out of
// range, cycles, paths deeper than the limit and trees (shared objects counted once per
// reference) larger than the limit are refused.
namespace PropertyListShape {

inline constexpr std::size_t kMaxDepth = 256;
inline constexpr std::uint64_t kMaxValues = 1u << 20;

// Why the bytes must not be parsed, for a log line ("nested deeper than 256 levels"); none when
// they may be.
std::optional<std::string> Problem(const void* bytes, std::size_t size);

}  // namespace PropertyListShape

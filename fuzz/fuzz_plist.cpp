// The shape check that property lists pass before they reach the parser, over fuzzed bytes: it
// reads the binary format's trailer, offset table and references itself, so every offset it
// takes from the bytes must stay inside them.

#include "common/PropertyListShape.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto problem = PropertyListShape::Problem(data, size);
    // A refusal always says why.
    if (problem && problem->empty()) std::abort();
    return 0;
}

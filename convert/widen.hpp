#pragma once
// Sample widening: each 3-byte group b0 b1 b2 becomes 00 b0 b1 b2, so a 24-bit
// little-endian sample turns into the 32-bit sample 256 times as large.

#include <cstddef>

#include "convert/stream.hpp"

namespace halvorine {

// `in` holds 3 * groups bytes, `out` has room for 4 * groups.
void widen_groups(const Byte* in, std::size_t groups, Byte* out);

}  // namespace halvorine

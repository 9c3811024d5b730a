#pragma once
// Sample widening: each 3-byte group b0 b1 b2 becomes 00 b0 b1 b2, so a 24-bit
// little-endian sample turns into the 32-bit sample 256 times as large.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/stream.hpp"

namespace halvorine {

// `in` holds 3 * groups bytes, `out` room for 4 * groups.
inline void widen_groups(const Byte* in, std::size_t groups, Byte* out) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // One 4-byte load per group (the fourth byte belongs to the next group
        // and is shifted out), so the last group is left to the byte loop.
        for (; i + 1 < groups; ++i) {
            std::uint32_t v;
            std::memcpy(&v, in + 3 * i, 4);
            v <<= 8;
            std::memcpy(out + 4 * i, &v, 4);
        }
    }
    for (; i < groups; ++i) {
        out[4 * i] = 0;
        out[4 * i + 1] = in[3 * i];
        out[4 * i + 2] = in[3 * i + 1];
        out[4 * i + 3] = in[3 * i + 2];
    }
}

}  // namespace halvorine

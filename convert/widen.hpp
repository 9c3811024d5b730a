#pragma once
// Sample widening: each 3-byte group b0 b1 b2 becomes 00 b0 b1 b2, so a 24-bit
// little-endian sample turns into the 32-bit sample 256 times as large.

#include <cstddef>

#include "convert/blocks.hpp"

namespace halvorine {

// `in` holds 3 * groups bytes, `out` has room for 4 * groups.
void widen_groups(const Byte* in, std::size_t groups, Byte* out);

// The same through 32-bit words, on any byte order: what widen_groups runs in
// WebAssembly, whose engines take twice as long over the byte loop (nearly
// three times in JavaScriptCore's first compiled tier). Native builds keep
// the byte loop, which compilers turn into byte shuffles where the target
// has them.
void widen_groups_by_words(const Byte* in, std::size_t groups, Byte* out);

// Widens everything the input still holds; 1 or 2 trailing bytes are dropped.
// Once the input proves longer than one block, a second thread reads and
// widens while the calling one writes, so the two copies through the kernel
// overlap. Whatever whole groups were read before a read error are written
// before it is reported. Throws WriteFailure, ReadFailure, or whatever the
// source threw, always on the calling thread.
void widen_samples(Source& in, Sink& out, Blocks& blocks);

// The same in the calling thread alone, block after block: what
// widen_samples falls back to when no thread can be started.
void widen_samples_serially(Source& in, Sink& out, Blocks& blocks);

}  // namespace halvorine

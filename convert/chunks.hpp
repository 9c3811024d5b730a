#pragma once
// The chunks after the fmt chunk: "rcvr" chunks are dropped, any other chunk
// before the data is carried over, and from the "data" chunk's size on every
// 3-byte group is widened to 4 bytes until the input ends.

#include "convert/blocks.hpp"

namespace halvorine {

// Continues where translate_header stopped and returns at the end of the
// input. Throws HeaderError, WriteFailure or ReadFailure.
void walk_chunks(Source& in, Sink& out, Blocks& blocks);

// A whole conversion: header, then chunk walk, through the given buffers.
void convert(Source& in, Sink& out, Blocks& blocks);
void convert(Source& in, Sink& out);

}  // namespace halvorine

#include "convert/chunks.hpp"

#include "convert/header.hpp"
#include "convert/widen.hpp"

namespace halvorine {

namespace {

std::uint32_t read_size(Source& in, int failed_stage) {
    Field<4> size{};
    if (!read_exact(in, size)) throw HeaderError{failed_stage};
    return le32(size);
}

// A chunk we know nothing about (LIST, fact, PEAK, ...) goes through as it
// is, with the pad byte that follows a chunk of odd size.
void copy_chunk(Source& in, Sink& out, Blocks& blocks, const ChunkId& id) {
    write_exact(out, id);
    const std::uint32_t size = read_size(in, stage::other_chunk);
    write_exact(out, to_le32(size));
    if (!copy_bytes(in, out, blocks, size)) throw HeaderError{stage::other_chunk};
    if (size % 2 != 0) {
        Field<1> pad{};
        switch (read_some(in, pad).how) {
            case Read::whole: write_exact(out, pad); break;
            case Read::end: break;  // the next chunk ID cannot be read either: code 12
            case Read::error: throw HeaderError{stage::other_chunk};
        }
    }
}

}  // namespace

void walk_chunks(Source& in, Sink& out, Blocks& blocks) {
    int stage = stage::after_fmt;
    for (;;) {
        ChunkId id{};
        if (!read_exact(in, id)) throw HeaderError{stage};
        if (is_id(id, "rcvr")) {
            stage = stage::rcvr;
            const std::uint32_t size = read_size(in, stage);
            if (!skip_bytes(in, blocks, size)) throw HeaderError{stage};
        } else if (is_id(id, "data")) {
            write_exact(out, id);
            write_exact(out, to_le32(read_size(in, stage::other_chunk)));
            widen_samples(in, out, blocks);
            return;
        } else {
            copy_chunk(in, out, blocks, id);
            stage = stage::after_fmt;
        }
    }
}

void convert(Source& in, Sink& out, Blocks& blocks) {
    translate_header(in, out, blocks);
    walk_chunks(in, out, blocks);
}

void convert(Source& in, Sink& out) {
    Blocks blocks;
    convert(in, out, blocks);
}

}  // namespace halvorine

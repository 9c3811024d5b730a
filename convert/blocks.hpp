#pragma once
// Block-sized moves for everything that is not a single header field: the
// rest of a fmt chunk, chunk content and the sample data. The buffers are
// allocated once per conversion, so memory stays the same whatever the input.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <vector>

#include "convert/exact_io.hpp"

namespace halvorine {

struct Blocks {
    // 128 Ki sample groups: 384 KiB in, 512 KiB out. Blocks that stay in the
    // L2 cache between the read, the widening and the write beat larger ones.
    static constexpr std::size_t groups = std::size_t{1} << 17;
    // Widened blocks in flight between the reading and the writing thread.
    static constexpr std::size_t depth = 3;
    std::vector<Byte> in = std::vector<Byte>(groups * 3);
    std::array<std::vector<Byte>, depth> widened;

    Blocks() {
        for (auto& block : widened) block.resize(groups * 4);
    }
};

// Reads `count` bytes and forgets them. False when the input ended first.
inline bool skip_bytes(Source& in, Blocks& blocks, std::uint64_t count) {
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count, blocks.in.size()));
        if (!read_exact(in, std::span(blocks.in).first(want))) return false;
        count -= want;
    }
    return true;
}

// Copies `count` bytes, each passed through `translate`. Whatever arrived is
// written before a short input is reported (false).
template <typename Translate>
bool copy_bytes(Source& in, Sink& out, Blocks& blocks, std::uint64_t count, Translate translate) {
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count, blocks.in.size()));
        const auto block = std::span(blocks.in).first(read_some(in, std::span(blocks.in).first(want)).got);
        if constexpr (!std::is_same_v<Translate, std::identity>) std::ranges::transform(block, block.begin(), translate);
        write_exact(out, block);
        if (block.size() != want) return false;
        count -= want;
    }
    return true;
}

inline bool copy_bytes(Source& in, Sink& out, Blocks& blocks, std::uint64_t count) {
    return copy_bytes(in, out, blocks, count, std::identity{});
}

}  // namespace halvorine

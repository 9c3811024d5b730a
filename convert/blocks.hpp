#pragma once
// Block-sized moves for everything that is not a single header field: the
// rest of a fmt chunk, chunk content and the sample data. The buffers are
// allocated once, by each front end for all the files it converts, so memory
// stays the same whatever the input.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <type_traits>

#include "convert/exact_io.hpp"

namespace halvorine {

struct Blocks {
    // 128 Ki sample groups: 384 KiB in, 512 KiB out. Blocks that stay in the
    // L2 cache between the read, the widening and the write beat larger ones.
    static constexpr std::size_t groups = std::size_t{1} << 17;
    // Widened blocks in flight between the reading and the writing thread.
    static constexpr std::size_t depth = 3;
    static constexpr std::size_t in_size = groups * 3;
    static constexpr std::size_t widened_size = groups * 4;

    // One allocation, left unfilled: every byte is written before it is
    // read, and a small file then touches only the few pages it uses.
    std::unique_ptr<Byte[]> storage{new Byte[in_size + depth * widened_size]};
    std::span<Byte> in{storage.get(), in_size};
    std::array<std::span<Byte>, depth> widened = [this] {
        std::array<std::span<Byte>, depth> blocks;
        for (std::size_t i = 0; i < depth; ++i) blocks[i] = {storage.get() + in_size + i * widened_size, widened_size};
        return blocks;
    }();

    Blocks() = default;
    // The spans point into `storage`: a copy or a move would leave them behind.
    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;
};

// Reads `count` bytes and forgets them. False when the input ended first.
inline bool skip_bytes(Source& in, Blocks& blocks, std::uint64_t count) {
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count, blocks.in.size()));
        if (!read_exact(in, blocks.in.first(want))) return false;
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
        const auto block = blocks.in.first(read_some(in, blocks.in.first(want)).got);
        if constexpr (!std::is_same_v<Translate, std::identity>) {
            std::transform(block.begin(), block.end(), block.begin(), translate);
        }
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

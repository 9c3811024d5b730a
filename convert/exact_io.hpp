#pragma once
// Field-sized reads and writes: a field arrives whole or not at all, and a
// short write is always a write failure.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/errors.hpp"
#include "convert/stream.hpp"

namespace halvorine {

template <std::size_t N>
using Field = std::array<Byte, N>;

using ChunkId = Field<4>;

// How a read came out. Only `end` may finish a step that allows the input
// to stop there (a missing pad byte, the end of the sample data): an I/O
// error must never pass for the end of the input.
enum class Read { whole, end, error };

struct ReadResult {
    std::size_t got;
    Read how;
};

// Reads as much of `into` as the input holds and says why it stopped short.
[[nodiscard]] inline ReadResult read_some(Source& in, std::span<Byte> into) {
    const std::size_t got = in.read(into);
    return {got, got == into.size() ? Read::whole : in.failed() ? Read::error : Read::end};
}

// True when all of `into` could be read. A partial field is consumed.
[[nodiscard]] inline bool read_exact(Source& in, std::span<Byte> into) {
    return read_some(in, into).how == Read::whole;
}

inline void write_exact(Sink& out, std::span<const Byte> bytes) {
    if (!bytes.empty() && !out.write(bytes)) throw WriteFailure{};
}

inline bool is_id(const ChunkId& id, std::string_view name) {
    return name.size() == 4 && static_cast<char>(id[0]) == name[0] &&
           static_cast<char>(id[1]) == name[1] && static_cast<char>(id[2]) == name[2] &&
           static_cast<char>(id[3]) == name[3];
}

inline std::uint16_t le16(const Field<2>& b) {
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

inline std::uint32_t le32(const Field<4>& b) {
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

inline Field<2> to_le16(std::uint16_t v) {
    return {static_cast<Byte>(v), static_cast<Byte>(v >> 8)};
}

inline Field<4> to_le32(std::uint32_t v) {
    return {static_cast<Byte>(v), static_cast<Byte>(v >> 8), static_cast<Byte>(v >> 16),
            static_cast<Byte>(v >> 24)};
}

}  // namespace halvorine

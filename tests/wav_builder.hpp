#pragma once
// Builds WAV inputs and their expected conversions byte by byte, for tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace halvorine::test {

using Bytes = std::vector<std::uint8_t>;

inline void put(Bytes& b, std::string_view text) {
    for (const char c : text) b.push_back(static_cast<std::uint8_t>(c));
}
inline void put(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

struct Fmt {
    std::uint16_t format_tag = 1;
    std::uint16_t channels = 2;
    std::uint32_t sample_rate = 48000;
    std::uint32_t avg_bytes_per_sec = 288000;
    std::uint16_t block_align = 6;
    Bytes rest = {24, 0};  // wBitsPerSample, then cbSize and any extension
    // The declared size; by default the real one.
    std::int64_t size = -1;
};

// "RIFF", its size, "WAVE", and the fmt chunk's ID and size.
inline Bytes riff_to_fmt_size(std::uint32_t riff_size, std::uint32_t fmt_size) {
    Bytes b;
    put(b, "RIFF");
    put32(b, riff_size);
    put(b, "WAVE");
    put(b, "fmt ");
    put32(b, fmt_size);
    return b;
}

// "RIFF", size, "WAVE" and the fmt chunk.
inline Bytes wav_header(const Fmt& f = {}, std::uint32_t riff_size = 1000) {
    Bytes b = riff_to_fmt_size(
        riff_size, f.size >= 0 ? static_cast<std::uint32_t>(f.size) : static_cast<std::uint32_t>(14 + f.rest.size()));
    put16(b, f.format_tag);
    put16(b, f.channels);
    put32(b, f.sample_rate);
    put32(b, f.avg_bytes_per_sec);
    put16(b, f.block_align);
    put(b, f.rest);
    return b;
}

inline Bytes chunk(std::string_view id, const Bytes& content) {
    Bytes b;
    put(b, id);
    put32(b, static_cast<std::uint32_t>(content.size()));
    put(b, content);
    return b;
}

inline Bytes data_chunk(std::uint32_t size, const Bytes& samples = {}) {
    Bytes b;
    put(b, "data");
    put32(b, size);
    put(b, samples);
    return b;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const auto& p : parts) put(b, p);
    return b;
}

// The header a conversion must write for `f`, with `avg_out` as its
// nAvgBytesPerSec: fmt size + 4, nBlockAlign 8, 24 made 32, the trailer.
inline Bytes translated(const Fmt& f, std::uint32_t avg_out, std::uint32_t riff_size = 1000) {
    Bytes b = riff_to_fmt_size(riff_size, static_cast<std::uint32_t>(14 + f.rest.size() + 4));
    put16(b, f.format_tag);
    put16(b, f.channels);
    put32(b, f.sample_rate);
    put32(b, avg_out);
    put16(b, 8);
    for (const std::uint8_t v : f.rest) b.push_back(v == 24 ? 32 : v);
    put(b, Bytes{0x00, 0x00, 0xDE, 0xAD});
    return b;
}

// `n` bytes counting up from `first`.
inline Bytes counting(std::size_t n, std::uint8_t first = 1) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first + i);
    return b;
}

// Every whole 3-byte group as 00 b0 b1 b2; a tail of 1 or 2 bytes is dropped.
inline Bytes widened(const Bytes& samples) {
    Bytes b;
    for (std::size_t i = 0; i + 3 <= samples.size(); i += 3) {
        b.push_back(0);
        b.insert(b.end(), samples.begin() + static_cast<std::ptrdiff_t>(i),
                 samples.begin() + static_cast<std::ptrdiff_t>(i + 3));
    }
    return b;
}

}  // namespace halvorine::test

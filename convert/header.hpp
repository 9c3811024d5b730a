#pragma once
// The RIFF header and fmt chunk: each field is read, checked and written in
// its translated form before the next is read, so a rejected input leaves
// exactly the fields that passed in the output.

#include <cstdint>

#include "convert/blocks.hpp"

namespace halvorine {

// Stage codes of the header. Each names the step that failed.
namespace stage {
inline constexpr int riff_unreadable = 0;
inline constexpr int not_riff = 1;
inline constexpr int not_wave = 2;
inline constexpr int not_fmt = 3;
inline constexpr int fmt_size = 4;
inline constexpr int format_tag = 5;
inline constexpr int channels = 6;
inline constexpr int sample_rate = 7;
inline constexpr int avg_bytes_per_sec = 8;
inline constexpr int block_align = 9;
inline constexpr int one_byte_not_pcm = 10;
inline constexpr int two_bytes_not_pcm = 11;
inline constexpr int fmt_rest = 11;
inline constexpr int three_bytes_not_pcm = 12;
inline constexpr int after_fmt = 12;
inline constexpr int four_bytes_not_float = 13;
inline constexpr int rcvr = 13;
inline constexpr int other_chunk = 25;
}  // namespace stage

inline constexpr std::uint16_t format_pcm = 1;
inline constexpr std::uint16_t format_ieee_float = 3;

// Appended to the rewritten fmt chunk; the fmt size written counts it.
inline constexpr Field<4> fmt_trailer{0x00, 0x00, 0xDE, 0xAD};

// nAvgBytesPerSec for samples widened from 3 to 4 bytes: 4/3 of the input,
// truncated, and the largest 32-bit count where that does not fit.
std::uint32_t widened_avg_bytes_per_sec(std::uint32_t avg_bytes_per_sec);

// The stage code for a nBlockAlign/nChannels pair and a format tag, or 0 when
// the bytes per sample suit the format.
int bytes_per_sample_stage(std::int16_t block_align, std::int16_t channels, std::uint16_t format_tag);

// Reads the input from its first byte through the fmt chunk and writes its
// translation through the fmt trailer. Throws HeaderError or WriteFailure.
void translate_header(Source& in, Sink& out, Blocks& blocks);

}  // namespace halvorine

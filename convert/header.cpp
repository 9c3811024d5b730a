#include "convert/header.hpp"

#include <limits>

namespace halvorine {

namespace {

template <std::size_t N>
Field<N> read_field(Source& in, int failed_stage) {
    Field<N> field{};
    if (!read_exact(in, field)) throw HeaderError{failed_stage};
    return field;
}

void expect_id(Source& in, Sink& out, std::string_view name, int failed_stage) {
    const auto id = read_field<4>(in, failed_stage);
    if (!is_id(id, name)) throw HeaderError{failed_stage};
    write_exact(out, id);
}

// Bytes of value 24 in the rest of the fmt chunk (wBitsPerSample above all)
// describe the 24-bit samples; the output's samples are 32-bit.
Byte widen_bit_count(Byte b) { return b == 24 ? Byte{32} : b; }

}  // namespace

std::uint32_t widened_avg_bytes_per_sec(std::uint32_t avg_bytes_per_sec) {
    const std::uint64_t widened = std::uint64_t{avg_bytes_per_sec} * 4 / 3;
    return widened > std::numeric_limits<std::uint32_t>::max()
               ? std::numeric_limits<std::uint32_t>::max()
               : static_cast<std::uint32_t>(widened);
}

int bytes_per_sample_stage(std::int16_t block_align, std::int16_t channels, std::uint16_t format_tag) {
    switch (block_align / channels) {
        case 1: return format_tag == format_pcm ? 0 : stage::one_byte_not_pcm;
        case 2: return format_tag == format_pcm ? 0 : stage::two_bytes_not_pcm;
        case 3: return format_tag == format_pcm ? 0 : stage::three_bytes_not_pcm;
        case 4: return format_tag == format_ieee_float ? 0 : stage::four_bytes_not_float;
        default: return stage::block_align;
    }
}

void translate_header(Source& in, Sink& out, Blocks& blocks) {
    {
        const auto riff = read_field<4>(in, stage::riff_unreadable);
        if (!is_id(riff, "RIFF")) throw HeaderError{stage::not_riff};
        write_exact(out, riff);
    }
    write_exact(out, read_field<4>(in, stage::not_wave));  // RIFF size, as read
    expect_id(in, out, "WAVE", stage::not_wave);
    expect_id(in, out, "fmt ", stage::not_fmt);

    // Counts the fmt bytes still due in the output, the trailer included;
    // wraps like the 32-bit size field it comes from.
    std::uint32_t remaining = le32(read_field<4>(in, stage::fmt_size)) + 4u;
    write_exact(out, to_le32(remaining));

    const auto format_tag = le16(read_field<2>(in, stage::format_tag));
    if (format_tag != format_pcm && format_tag != format_ieee_float) throw HeaderError{stage::format_tag};
    write_exact(out, to_le16(format_tag));

    const auto channels = static_cast<std::int16_t>(le16(read_field<2>(in, stage::channels)));
    if (channels < 1 || channels > 2) throw HeaderError{stage::channels};
    write_exact(out, to_le16(static_cast<std::uint16_t>(channels)));

    write_exact(out, read_field<4>(in, stage::sample_rate));

    const auto avg_bytes_per_sec = le32(read_field<4>(in, stage::avg_bytes_per_sec));
    write_exact(out, to_le32(widened_avg_bytes_per_sec(avg_bytes_per_sec)));

    const auto block_align = static_cast<std::int16_t>(le16(read_field<2>(in, stage::block_align)));
    if (const int rejected = bytes_per_sample_stage(block_align, channels, format_tag)) throw HeaderError{rejected};
    write_exact(out, to_le16(8));

    // The fields so far take 14 bytes of the chunk. A fmt size below 10 or
    // near 2^32 wraps the count, and the copy then runs to the end of input.
    remaining -= 14;
    if (remaining > 4 && !copy_bytes(in, out, blocks, remaining - 4, widen_bit_count)) {
        throw HeaderError{stage::fmt_rest};
    }
    write_exact(out, fmt_trailer);
}

}  // namespace halvorine

// Header translation on in-memory bytes: what is written, and where and with
// which stage code a bad or short header stops.

#include <gtest/gtest.h>

#include "tests/convert_harness.hpp"

namespace halvorine::test {
namespace {

// The translation with nAvgBytesPerSec at 4/3 of the input's.
Bytes translated(const Fmt& f) {
    return test::translated(f, static_cast<std::uint32_t>(std::uint64_t{f.avg_bytes_per_sec} * 4 / 3));
}

Bytes first(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

TEST(HeaderTranslation, StereoTwentyFourBitBecomesThirtyTwoBit) {
    const auto out = translate_bytes(wav_header());
    EXPECT_EQ(out.ending, "ok");
    const Bytes expected = {'R', 'I', 'F', 'F', 0xE8, 0x03, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            20, 0, 0, 0,   1, 0,   2, 0,   0x80, 0xBB, 0, 0,   0x00, 0xDC, 0x05, 0,
                            8, 0,   32, 0,   0x00, 0x00, 0xDE, 0xAD};
    EXPECT_EQ(out.output, expected);
    EXPECT_EQ(out.consumed, 36u);
}

// Every cut through a valid header stops at the field it cuts, with that
// field's code, leaving the fields before it translated in the output.
TEST(HeaderTranslation, TruncationSweep) {
    const Fmt fmt{.rest = {24, 0, 24, 7}};
    const Bytes input = wav_header(fmt);
    const Bytes full = translated(fmt);
    struct Field { std::size_t offset; int stage; };
    const Field fields[] = {{0, 0}, {4, 2}, {8, 2}, {12, 3}, {16, 4}, {20, 5},
                            {22, 6}, {24, 7}, {28, 8}, {32, 9}};
    for (std::size_t cut = 0; cut < input.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const auto out = translate_bytes(first(input, cut));
        if (cut < 34) {
            const Field* f = &fields[0];
            for (const auto& candidate : fields) if (candidate.offset <= cut) f = &candidate;
            EXPECT_EQ(out.ending, "header " + std::to_string(f->stage));
            EXPECT_EQ(out.output, first(full, f->offset));
        } else {
            // The rest of the fmt chunk goes byte by byte.
            EXPECT_EQ(out.ending, "header 11");
            EXPECT_EQ(out.output, first(full, cut));
        }
    }
    EXPECT_EQ(translate_bytes(input).output, full);
}

// A field with a value the format does not allow stops the translation with
// the output ending at the field before it.
TEST(HeaderTranslation, RejectedValues) {
    struct Case {
        const char* name;
        Fmt fmt;
        int stage;
        std::size_t written;
    };
    const Case cases[] = {
        {"format tag 2", {.format_tag = 2}, 5, 20},
        {"format tag 0", {.format_tag = 0}, 5, 20},
        {"extensible", {.format_tag = 0xFFFE}, 5, 20},
        {"no channels", {.channels = 0}, 6, 22},
        {"three channels", {.channels = 3}, 6, 22},
        {"channels -1", {.channels = 0xFFFF}, 6, 22},
        {"block align 0", {.block_align = 0}, 9, 32},
        {"5 bytes per sample", {.block_align = 10}, 9, 32},
        {"negative block align", {.block_align = static_cast<std::uint16_t>(-6)}, 9, 32},
        {"8-bit float", {.format_tag = 3, .channels = 1, .block_align = 1}, 10, 32},
        {"16-bit float", {.format_tag = 3, .block_align = 4}, 11, 32},
        {"24-bit float", {.format_tag = 3}, 12, 32},
        {"32-bit PCM", {.block_align = 8}, 13, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = translate_bytes(wav_header(c.fmt));
        EXPECT_EQ(out.ending, "header " + std::to_string(c.stage));
        EXPECT_EQ(out.output, first(translated(c.fmt), c.written));
    }
}

TEST(HeaderTranslation, AcceptedLayouts) {
    const Fmt cases[] = {
        {.channels = 1, .block_align = 3},                            // 24-bit mono
        {.format_tag = 3, .channels = 2, .block_align = 8, .rest = {32, 0}},  // float stereo
        {.channels = 2, .block_align = 7},                            // 7/2 truncates to 3
        {.channels = 2, .block_align = 4, .rest = {16, 0}},           // 16-bit stays 16
        {.channels = 1, .block_align = 1, .rest = {8, 0}},
        {.rest = {24, 0, 0, 0}},                                      // cbSize 0
        {.rest = {24, 0, 22, 0, 24, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}},
    };
    for (const auto& fmt : cases) {
        SCOPED_TRACE(testing::PrintToString(fmt.rest) + " align " + std::to_string(fmt.block_align));
        const auto out = translate_bytes(wav_header(fmt));
        EXPECT_EQ(out.ending, "ok");
        EXPECT_EQ(out.output, translated(fmt));
        EXPECT_EQ(out.consumed, wav_header(fmt).size());
    }
}

TEST(HeaderTranslation, AvgBytesPerSecIsFourThirdsWithoutWrapping) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 0}, {2, 2}, {5, 6}, {288000, 384000}, {536870912, 715827882},
        {600000000, 800000000}, {3221225471u, 4294967294u}, {3221225472u, 4294967295u},
        {4294967295u, 4294967295u},
    };
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(widened_avg_bytes_per_sec(in), expected) << in;
        const auto out = translate_bytes(wav_header({.avg_bytes_per_sec = in}));
        EXPECT_EQ(le32({out.output[28], out.output[29], out.output[30], out.output[31]}), expected) << in;
    }
}

// Declared fmt sizes that disagree with the fields: the count of bytes still
// to copy wraps like the 32-bit size it comes from.
TEST(HeaderTranslation, OddFmtSizes) {
    const Bytes after = {'d', 'a', 't', 'a', 24, 0, 0, 0, 1, 2, 3};
    auto input = [&](std::uint32_t size, const Bytes& rest, const Bytes& next) {
        return concat({wav_header({.rest = rest, .size = size}), next});
    };
    auto head = [](std::uint32_t out_size) {  // the first 16 output bytes
        Bytes b;
        put(b, "RIFF");
        put32(b, 1000);
        put(b, "WAVEfmt ");
        put32(b, out_size);
        return b;
    };
    const Bytes canonical = translated({});
    const Bytes fields(canonical.begin() + 20, canonical.begin() + 34);  // wFormatTag to nBlockAlign
    const Bytes up_to_avg(fields.begin(), fields.end() - 2);
    const Bytes trailer = {0x00, 0x00, 0xDE, 0xAD};
    // A 12-byte chunk ends after nAvgBytesPerSec: nBlockAlign is read from
    // the next two bytes, and the walk starts 2 bytes into the next chunk.
    const Bytes fmt12 = first(wav_header({.rest = {}, .size = 12}), 32);
    const struct {
        const char* name;
        Bytes input;
        const char* ending;
        Bytes expected;
    } cases[] = {
        {"14: the trailer follows nBlockAlign", input(14, {}, after), "ok", concat({head(18), fields, trailer})},
        {"12, sample size after it", concat({fmt12, Bytes{6, 0}, after}), "ok", concat({head(16), fields, trailer})},
        {"12, data ID after it", concat({fmt12, after}), "header 9", concat({head(16), up_to_avg})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = translate_bytes(c.input);
        EXPECT_EQ(out.ending, c.ending);
        EXPECT_EQ(out.output, c.expected);
        EXPECT_EQ(out.consumed, 34u);  // through nBlockAlign, wherever it came from
    }
    for (const std::uint32_t size : {8u, 9u, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
        // The count wraps: everything left is copied, 24 made 32, up to the end.
        SCOPED_TRACE(size);
        const auto out = translate_bytes(input(size, {24, 0}, after));
        EXPECT_EQ(out.ending, "header 11");
        EXPECT_EQ(out.output, concat({head(size + 4), fields, Bytes{32, 0, 'd', 'a', 't', 'a', 32, 0, 0, 0, 1, 2, 3}}));
    }
}

}  // namespace
}  // namespace halvorine::test

// Arbitrary bytes through the whole conversion, in memory. Checks what must
// hold for every input, not only for WAV files.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "convert/chunks.hpp"
#include "convert/errors.hpp"
#include "convert/memory_io.hpp"

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

bool known_stage(int stage) { return (stage >= 0 && stage <= 13) || stage == 25; }

// A "data" ID with its whole size field somewhere past the RIFF header.
bool has_data_size(std::span<const std::uint8_t> in) {
    constexpr std::string_view data = "data";
    for (std::size_t i = 12; i + 8 <= in.size(); ++i) {
        if (std::equal(data.begin(), data.end(), in.begin() + static_cast<std::ptrdiff_t>(i))) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::span<const std::uint8_t> input(bytes, size);
    halvorine::MemorySource in(input);
    halvorine::MemorySink out;
    static halvorine::Blocks blocks;  // allocated once, as in a real run
    bool succeeded = false;
    try {
        halvorine::convert(in, out, blocks);
        succeeded = true;
    } catch (const halvorine::HeaderError& e) {
        check(known_stage(e.stage));
    }
    // Memory never fails, so neither write nor read failures may escape.
    check(out.bytes().size() * 3 <= size * 4 + 12);
    check(!succeeded || has_data_size(input));
    check(in.consumed() == size || !succeeded);
    return 0;
}

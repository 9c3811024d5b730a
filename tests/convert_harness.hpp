#pragma once
// Runs the conversion core on in-memory bytes and records how it ended.

#include <optional>
#include <string>

#include "convert/chunks.hpp"
#include "convert/header.hpp"
#include "convert/memory_io.hpp"
#include "tests/wav_builder.hpp"

namespace halvorine::test {

struct Outcome {
    Bytes output;
    // "ok", "header N", "write" or "read".
    std::string ending;
    std::size_t consumed = 0;
};

template <typename Step>
Outcome run_core(const Bytes& input, Step step) {
    MemorySource in(input);
    MemorySink out;
    Outcome result;
    try {
        step(in, out);
        result.ending = "ok";
    } catch (const HeaderError& e) {
        result.ending = "header " + std::to_string(e.stage);
    } catch (const WriteFailure&) {
        result.ending = "write";
    } catch (const ReadFailure&) {
        result.ending = "read";
    }
    result.output = out.bytes();
    result.consumed = in.consumed();
    return result;
}

inline Outcome convert_bytes(const Bytes& input) {
    return run_core(input, [](Source& in, Sink& out) { convert(in, out); });
}

inline Outcome translate_bytes(const Bytes& input) {
    return run_core(input, [](Source& in, Sink& out) {
        Blocks blocks;
        translate_header(in, out, blocks);
    });
}

}  // namespace halvorine::test

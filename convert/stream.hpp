#pragma once
// The two ends of a conversion: a forward-only byte source and a byte sink.
// Files, memory and fault-injecting test doubles all sit behind these.

#include <cstddef>
#include <cstdint>
#include <span>

namespace halvorine {

using Byte = std::uint8_t;

class Source {
public:
    virtual ~Source() = default;
    // Reads until `into` is full, the input ends or reading fails, and returns
    // how many bytes arrived. Fewer than asked means the input is over.
    virtual std::size_t read(std::span<Byte> into) = 0;
    // After a short read: true when it was an I/O error, not the end of input.
    [[nodiscard]] virtual bool failed() const = 0;
};

class Sink {
public:
    virtual ~Sink() = default;
    // False when not every byte was accepted.
    virtual bool write(std::span<const Byte> bytes) = 0;
};

}  // namespace halvorine

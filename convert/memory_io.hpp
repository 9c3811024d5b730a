#pragma once
// In-memory ends for a conversion, for tests and fuzzing.

#include <algorithm>
#include <vector>

#include "convert/stream.hpp"

namespace halvorine {

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const Byte> bytes) : bytes_(bytes) {}
    std::size_t read(std::span<Byte> into) override {
        const std::size_t n = std::min(into.size(), bytes_.size() - pos_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), n, into.begin());
        pos_ += n;
        return n;
    }
    [[nodiscard]] bool failed() const override { return false; }
    [[nodiscard]] std::size_t consumed() const { return pos_; }

private:
    std::span<const Byte> bytes_;
    std::size_t pos_ = 0;
};

class MemorySink final : public Sink {
public:
    bool write(std::span<const Byte> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return true;
    }
    [[nodiscard]] const std::vector<Byte>& bytes() const { return bytes_; }

private:
    std::vector<Byte> bytes_;
};

}  // namespace halvorine

#pragma once
// Files as a Source and a Sink. Each owns its stream; the output is closed
// explicitly so that a write failing only at the last flush is still seen.

#include <cstdio>
#include <memory>
#include <string>

#include "convert/stream.hpp"

namespace halvorine {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

class FileSource final : public Source {
public:
    // Opens `path` for binary reading; is_open() tells whether it worked.
    explicit FileSource(const std::string& path);
    [[nodiscard]] bool is_open() const { return file_ != nullptr; }
    std::size_t read(std::span<Byte> into) override;
    [[nodiscard]] bool failed() const override;

private:
    FileHandle file_;
};

class FileSink final : public Sink {
public:
    // Creates `path` for binary writing, truncating a file of that name.
    explicit FileSink(const std::string& path);
    [[nodiscard]] bool is_open() const { return file_ != nullptr; }
    bool write(std::span<const Byte> bytes) override;
    // Flushes and closes. False when any byte written failed to reach the file.
    bool close();

private:
    FileHandle file_;
    bool intact_ = true;
};

}  // namespace halvorine

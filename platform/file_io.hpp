#pragma once
// Files as a Source and a Sink. Each owns its stream; the output is closed
// explicitly so that a write failing only at the last flush is still seen.

#include <optional>
#include <string>

#include "platform/file_open.hpp"
#include "convert/stream.hpp"

namespace halvorine {

class FileSource final : public Source {
public:
    // Opens `path` for binary reading; is_open() tells whether it worked.
    explicit FileSource(const std::string& path);
    // Reads `file`, opened elsewhere.
    explicit FileSource(FileHandle file);
    [[nodiscard]] bool is_open() const { return file_ != nullptr; }
    std::size_t read(std::span<Byte> into) override;
    [[nodiscard]] bool failed() const override;
    [[nodiscard]] std::optional<FileIdentity> identity() const;
    [[nodiscard]] std::optional<std::uint64_t> size() const;

private:
    FileHandle file_;
};

class FileSink final : public Sink {
public:
    // Opens or creates `path` for binary writing, locks it for this run and
    // empties it, unless it is `input` under another name (a link), that
    // cannot be told, or another run is writing it: then is_open() is false
    // and the file is left as it was. With `own_file_only`, see
    // open_for_writing.
    FileSink(const std::string& path, const FileSource& input, bool own_file_only = false);
    // Writes `file`, opened elsewhere, under the same conditions.
    FileSink(FileHandle file, const FileSource& input);
    [[nodiscard]] bool is_open() const { return file_ != nullptr; }
    bool write(std::span<const Byte> bytes) override;
    [[nodiscard]] std::optional<FileIdentity> identity() const;
    // Flushes and closes. False when any byte written failed to reach the file.
    bool close();

private:
    FileHandle file_;
    bool intact_ = true;
};

}  // namespace halvorine

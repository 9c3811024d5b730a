#include "platform/file_io.hpp"

#include <cerrno>
#include <utility>

namespace halvorine {

namespace {

// Header fields are a few bytes each and everything else moves in blocks of
// hundreds of KiB, which stdio would split around its own small buffer; so
// the streams go unbuffered and every block is one system call.
FileHandle unbuffered(FileHandle file) {
    if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

// A signal that cut a call short is no reason to give up on it.
bool interrupted(std::FILE* file) {
    if (std::ferror(file) == 0 || errno != EINTR) return false;
    std::clearerr(file);
    return true;
}

}  // namespace

FileSource::FileSource(const std::string& path) : FileSource(open_for_reading(path)) {}

FileSource::FileSource(FileHandle file) : file_(unbuffered(std::move(file))) {}

std::size_t FileSource::read(std::span<Byte> into) {
    std::size_t got = 0;
    do {
        got += std::fread(into.data() + got, 1, into.size() - got, file_.get());
    } while (got < into.size() && interrupted(file_.get()));
    return got;
}

bool FileSource::failed() const { return std::ferror(file_.get()) != 0; }

std::optional<FileIdentity> FileSource::identity() const { return halvorine::identity(file_.get()); }

std::optional<std::uint64_t> FileSource::size() const { return halvorine::size(file_.get()); }

FileSink::FileSink(const std::string& path, const FileSource& input, bool own_file_only)
    : FileSink(open_for_writing(path, own_file_only), input) {}

FileSink::FileSink(FileHandle file, const FileSource& input) {
    // Nothing is truncated before the output is known not to be the input:
    // names can lie (links, renames), the open files cannot. Two unknown
    // identities on one volume are equal, and so refused.
    if (!file) return;
    const auto in = input.identity();
    const auto out = halvorine::identity(file.get());
    if (!in || !out || *in == *out || !claim_output(file.get())) return;
    file_ = unbuffered(std::move(file));
}

bool FileSink::write(std::span<const Byte> bytes) {
    std::size_t put = 0;
    while (intact_ && put < bytes.size()) {
        put += std::fwrite(bytes.data() + put, 1, bytes.size() - put, file_.get());
        if (put < bytes.size() && !interrupted(file_.get())) intact_ = false;
    }
    return intact_;
}

std::optional<FileIdentity> FileSink::identity() const { return halvorine::identity(file_.get()); }

bool FileSink::close() {
    if (!file_) return intact_;
    const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    intact_ = intact_ && flushed && closed;
    return intact_;
}

}  // namespace halvorine

#include "convert/file_io.hpp"

namespace halvorine {

namespace {

// Header fields are a few bytes each and everything else moves in blocks of
// most of a MiB, which stdio would split around its own small buffer; so the
// streams go unbuffered and every block is one system call.
FileHandle open_unbuffered(const std::string& path, const char* mode) {
    FileHandle file(std::fopen(path.c_str(), mode));
    if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

}  // namespace

FileSource::FileSource(const std::string& path) : file_(open_unbuffered(path, "rb")) {}

std::size_t FileSource::read(std::span<Byte> into) {
    return std::fread(into.data(), 1, into.size(), file_.get());
}

bool FileSource::failed() const { return std::ferror(file_.get()) != 0; }

FileSink::FileSink(const std::string& path) : file_(open_unbuffered(path, "wb")) {}

bool FileSink::write(std::span<const Byte> bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) intact_ = false;
    return intact_;
}

bool FileSink::close() {
    if (!file_) return intact_;
    const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    intact_ = intact_ && flushed && closed;
    return intact_;
}

}  // namespace halvorine

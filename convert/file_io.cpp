#include "convert/file_io.hpp"

namespace halvorine {

FileSource::FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}

std::size_t FileSource::read(std::span<Byte> into) {
    return std::fread(into.data(), 1, into.size(), file_.get());
}

bool FileSource::failed() const { return std::ferror(file_.get()) != 0; }

FileSink::FileSink(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

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

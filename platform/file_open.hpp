#pragma once
// The few things about files that the standard library cannot do: open an
// output without truncating it, tell whether two open files are one, keep
// other runs off an output, and empty it once it is known to be safe.
// Everything system-specific about opening files lives behind these.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace halvorine {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// What makes a file itself whatever name it was opened by: its device (or
// volume) and its number on it. ReFS numbers files in 128 bits: `high` holds
// the upper half, 0 elsewhere. Some network and FUSE file systems number no
// file at all and give 0.
struct FileIdentity {
    std::uint64_t device;
    std::uint64_t number;
    std::uint64_t high = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Opens `name` for binary reading.
FileHandle open_for_reading(const std::string& name);

// Opens `name` for binary writing, creating it when missing and leaving its
// content alone when not. On Windows no other writer may hold it, and none
// may open it for writing while we do. With `own_file_only`, no link is
// followed, and what is there must be a file with no other name: the output
// is then this folder's own, not some other place a link or a second name
// leads to, nor a pipe that would wait for a reader for ever.
FileHandle open_for_writing(const std::string& name, bool own_file_only = false);

// Whether `name`, its link not followed, is missing, a folder (which no
// output opens), or a file with no other name: what open_for_writing with
// `own_file_only` will take or refuse by itself. False for a link, a pipe, a
// device, and a file with more than one name.
bool own_file_or_missing(const std::string& name);

// The identity of an open file; none when the system cannot say.
std::optional<FileIdentity> identity(std::FILE* file);

// The size of an open regular file; none for pipes and devices, or when the
// system cannot say.
std::optional<std::uint64_t> size(std::FILE* file);

// Whether the system numbers this file: some network and FUSE file systems
// give 0 for every file, and an identity of 0 tells nothing. A batch takes
// a file of unknown identity for one it has not met, rather than skip a
// recording as met already. (An output whose identity equals its input's,
// unknown or not, is still refused: that errs towards writing nothing.)
constexpr bool known(const FileIdentity& id) { return id.number != 0 || id.high != 0; }

// Takes a regular file for this run alone, without waiting, and empties it;
// pipes and devices are neither locked nor emptied. False when another run
// holds it or either step failed: the file is then left as it was. The lock
// lasts until the file is closed.
bool claim_output(std::FILE* file);

#if defined(_WIN32)
// What a handle opened without following a reparse point is: a file with
// one name, or more, on a disk; a folder; a reparse point that keeps its
// data elsewhere (a cloud placeholder), which is opened once more, followed;
// or none of these (a link, a pipe, a device).
enum class Found { own_file, shared_file, folder, not_own, placeholder };
Found found_at(void* handle);

// The identity of an open handle's file.
std::optional<FileIdentity> identity_of_handle(void* handle);

// An open handle as a stream, which then owns it; closed on failure.
FileHandle stream_of(void* handle, bool writing);
#else
// As open_for_writing and own_file_or_missing, for `name` relative to the
// open folder `at`.
FileHandle open_for_writing_at(int at, const char* name, bool own_file_only);
bool own_file_or_missing_at(int at, const char* name);
#endif

}  // namespace halvorine

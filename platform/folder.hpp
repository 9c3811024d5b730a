#pragma once
// A folder held open while it is walked and its recordings convert. Its
// entries are looked at, entered and opened through the open folder itself,
// so that what was checked is what is used: a folder renamed, or replaced by
// a link, once it was opened, cannot send a file or an output anywhere else.
// An interface, so that the batch's tests can give a folder system of their
// own.

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/file_open.hpp"
#include "platform/paths.hpp"

namespace halvorine {

class Folder {
public:
    virtual ~Folder() = default;

    // The folder's own identity; none when the system cannot say.
    [[nodiscard]] virtual std::optional<FileIdentity> identity() const = 0;

    // What it holds; none when it cannot be read at all.
    [[nodiscard]] virtual std::optional<Listing> list() const = 0;

    // The folder `name` in it, not through a link; null when `name` is no
    // folder now (or cannot be opened).
    [[nodiscard]] virtual std::unique_ptr<Folder> enter(const std::filesystem::path& name) const = 0;

    // The identity of `name` in it, a link followed only when `follow`.
    [[nodiscard]] virtual std::optional<FileIdentity> identity_of(const std::filesystem::path& name,
                                                                  bool follow) const = 0;

    // `name` in it for binary reading, when it is a file on a disk: never a
    // pipe or a device, which could hold the batch for ever, and a link
    // followed only when `follow`. Null otherwise.
    [[nodiscard]] virtual FileHandle open_input(const std::filesystem::path& name, bool follow) const = 0;

    // `name` in it for writing as the folder's own file, as
    // open_for_writing(name, true) opens one.
    [[nodiscard]] virtual FileHandle open_output(const std::filesystem::path& name) const = 0;

    // As own_file_or_missing, for `name` in it.
    [[nodiscard]] virtual bool own_file_or_missing(const std::filesystem::path& name) const = 0;
};

// Where the folders a person named are opened.
class Folders {
public:
    virtual ~Folders() = default;
    // What `path` leads to, a link followed; none when nothing is there.
    [[nodiscard]] virtual std::optional<EntryKind> kind_of(const std::filesystem::path& path) const = 0;
    // The folder at `path`, a link to one followed (a person may name a link
    // to the folder they mean); null when it is no folder or cannot be opened.
    [[nodiscard]] virtual std::unique_ptr<Folder> open(const std::filesystem::path& path) const = 0;
};

// The system's own.
const Folders& system_folders();

}  // namespace halvorine

#pragma once
// Everything one drop target's window converts: the files and folders a
// person named, and the recordings under those folders. All is listed before
// the first conversion, so that the count is known and no output written
// meanwhile is met in a listing. A file or folder reached twice (a folder
// and a file in it, one folder named twice, a folder mounted inside itself)
// is taken once. Each folder is remembered as it was listed, and opened again
// through the folders above it, never by its path, when its recordings
// convert: a folder moved or replaced meanwhile is found out, not followed.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "cli/messages.hpp"
#include "platform/folder.hpp"

namespace halvorine::cli {

// A hash for identities, which the batch keeps by the hundred thousand.
struct IdentityHash {
    std::size_t operator()(const FileIdentity& id) const noexcept {
        std::uint64_t h = 14695981039346656037u;
        for (const std::uint64_t part : {id.device, id.number, id.high}) h = (h ^ part) * 1099511628211u;
        return static_cast<std::size_t>(h ^ (h >> 32));  // all of it, where size_t has 32 bits
    }
};

inline constexpr std::size_t no_folder = static_cast<std::size_t>(-1);

// A folder of the batch. One a person named (or that holds a file a person
// named) is opened by its path; any other through its parent, by name.
struct BatchFolder {
    std::size_t parent;               // no_folder for one opened by its path
    std::filesystem::path path;       // as shown: the named path, or the parent's and the name
    std::optional<FileIdentity> identity;  // as listed
};

// A recording to convert, or a note to say in its place.
struct BatchItem {
    std::size_t folder = no_folder;  // the recording's; no_folder for a note
    std::filesystem::path name;      // in its folder
    bool named = false;              // named by a person: a link to it followed
    std::optional<FileIdentity> identity;
    std::string note;
};

// What the walks passed over, by kind.
struct Skipped {
    std::size_t links = 0;
    std::size_t hidden = 0;
    std::size_t other = 0;
};

class BatchList {
public:
    // `found` is told the count of recordings found so far, folder by folder.
    explicit BatchList(const Folders& folders, std::function<void(std::size_t)> found = {});

    // A path as a person named it.
    void add(const std::filesystem::path& path);
    // Items chosen that no path leads to, which cannot be converted.
    void without_path(std::size_t count);

    [[nodiscard]] const std::vector<BatchItem>& items() const { return items_; }
    [[nodiscard]] const std::vector<BatchFolder>& folders() const { return folders_; }
    [[nodiscard]] std::size_t files() const { return files_; }
    [[nodiscard]] const Skipped& skipped() const { return skipped_; }

    // Folder `k` open as it was listed, entered from the folder named above
    // it, which stays open from its listing to the batch's end. Null when a
    // folder on the way no longer opens, or is another folder now: `*lost`
    // is that one, and `*changed` says which. Borrowed: it stays open until
    // another folder is asked for.
    Folder* open(std::size_t k, std::size_t* lost = nullptr, bool* changed = nullptr);

private:
    bool first_time(const std::optional<FileIdentity>& id);
    std::size_t folder_of_named(const std::filesystem::path& file);
    std::size_t named(const std::filesystem::path& path, std::unique_ptr<Folder> folder);
    void walk(const std::filesystem::path& top);
    void note(Message m, const std::filesystem::path& path);
    bool kept(const FolderEntry& entry);

    const Folders& system_;
    std::function<void(std::size_t)> found_;
    std::vector<BatchFolder> folders_;
    std::vector<BatchItem> items_;
    std::size_t files_ = 0;
    Skipped skipped_;
    std::unordered_set<FileIdentity, IdentityHash> seen_;
    std::map<std::filesystem::path, std::size_t> named_folders_;  // of files named, by path
    std::unordered_map<std::size_t, std::unique_ptr<Folder>> tops_;  // the folders named, by place
    // The folders open now below the named one `top_`, from the top down.
    std::size_t top_ = no_folder;
    std::vector<std::pair<std::size_t, std::unique_ptr<Folder>>> chain_;
};

}  // namespace halvorine::cli

#pragma once
// What a walk through folders needs of the system beyond the standard
// library: a folder listed whatever the length of its path, a link told from
// what it leads to, the form of a long path the system opens, and a name
// shown as the messages show every name.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvorine {

// A symbolic link and, on Windows, a junction or a mount point is a `link`:
// a walk that followed one could leave the folder it was given, or come back
// round to it. What the system cannot tell is `other`, with pipes and
// devices, so that nothing unknown is followed.
enum class EntryKind { folder, file, link, other };

struct FolderEntry {
    std::filesystem::path name;  // the entry's own name, without the folder's
    EntryKind kind;
    bool hidden = false;  // Windows' Hidden or System attribute
};

// What a folder was read to hold. A listing can fail part-way (a card pulled
// out, a network share gone); what came before is still true.
struct Listing {
    std::vector<FolderEntry> entries;  // "." and ".." left out, in no set order
    bool complete = true;
};

// What `path` leads to, a link followed; none when nothing is there.
std::optional<EntryKind> kind_of(const std::filesystem::path& path);

#if defined(_WIN32)
// What `folder` holds; none when it cannot be read at all. (Elsewhere a
// folder lists itself through its descriptor: platform/folder.hpp.)
std::optional<Listing> list_folder(const std::filesystem::path& folder);
#endif

// Whether a Windows reparse point with this tag names another place (a
// symbolic link, a junction, a mount point) rather than holding its own
// data elsewhere, as a cloud placeholder or a deduplicated file does: only
// the first kind is a link. The tag's name-surrogate bit, read here on
// every system so that the rule is tested where the tests run.
constexpr bool names_another_place(std::uint32_t reparse_tag) { return (reparse_tag & 0x20000000u) != 0; }

// The path as the system opens it. Past MAX_PATH, the current folder
// counted, Windows opens only the "\\?\" form of the full path unless long
// paths are switched on in the registry; shorter paths go as given, so that
// device names and the rest behave as they always have. Elsewhere, `path`.
std::filesystem::path system_form(const std::filesystem::path& path);

// The name in UTF-8, the messages' encoding on every system.
std::string utf8_name(const std::filesystem::path& path);

// The path a UTF-8 name stands for: utf8_name's inverse.
std::filesystem::path path_from_utf8(std::string_view name);

}  // namespace halvorine

#pragma once
// What a walk through folders needs of the system beyond the standard
// library: a folder listed whatever the length of its path, a link told from
// what it leads to, the form of a long path the system opens, and a name
// shown as the messages show every name.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvorine {

// A symbolic link and, on Windows, any reparse point (a junction, a mount
// point) is `other`: a walk that followed them could leave the folder it was
// given, or come back round to it. So is what the system cannot tell, so that
// nothing unknown is followed.
enum class EntryKind { folder, file, other };

struct FolderEntry {
    std::filesystem::path name;  // the entry's own name, without the folder's
    EntryKind kind;
};

// What `path` leads to, a link followed; none when nothing is there.
std::optional<EntryKind> kind_of(const std::filesystem::path& path);

// What `folder` holds, "." and ".." left out, in no set order; none when it
// cannot be read.
std::optional<std::vector<FolderEntry>> list_folder(const std::filesystem::path& folder);

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

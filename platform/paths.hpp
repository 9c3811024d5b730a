#pragma once
// What a walk through folders needs of the system beyond the standard
// library: a link told from what it leads to, and a name shown as the
// messages show every name.

#include <filesystem>
#include <string>

namespace halvorine {

// True for a symbolic link and, on Windows, for any reparse point (a
// junction, a mount point): a walk that followed them could leave the folder
// it was given, or come back round to it. Also true when the system cannot
// tell, so that nothing unknown is followed.
bool is_link(const std::filesystem::path& path);

// The path as the system opens it. Past MAX_PATH, the current folder
// counted, Windows opens only the "\\?\" form of the full path unless long
// paths are switched on in the registry; shorter paths go as given, so that
// device names and the rest behave as they always have. Elsewhere, `path`.
std::filesystem::path system_form(const std::filesystem::path& path);

// The name in UTF-8, the messages' encoding on every system.
std::string utf8_name(const std::filesystem::path& path);

}  // namespace halvorine

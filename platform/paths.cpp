#include "platform/paths.hpp"

#include <system_error>

#if defined(_WIN32)
#include <windows.h>

#include "platform/utf16.hpp"
#endif

namespace halvorine {

namespace fs = std::filesystem;

#if defined(_WIN32)

// The standard library here sees no links at all: it takes a junction for
// the folder it leads to.
bool is_link(const fs::path& path) {
    std::error_code ec;
    std::wstring name = fs::absolute(path, ec).native();
    if (ec) return true;
    // Past MAX_PATH only the "\\?\" form of a full path is looked up.
    if (name.size() >= MAX_PATH && !name.starts_with(L"\\\\")) name = L"\\\\?\\" + name;
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string utf8_name(const fs::path& path) { return narrow(path.native()); }

#else

bool is_link(const fs::path& path) {
    std::error_code ec;
    const fs::file_type type = fs::symlink_status(path, ec).type();
    return ec || type == fs::file_type::symlink;
}

std::string utf8_name(const fs::path& path) { return path.native(); }

#endif

}  // namespace halvorine

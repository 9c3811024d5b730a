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

fs::path system_form(const fs::path& path) {
    const std::wstring& given = path.native();
    const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size < MAX_PATH) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

#else

bool is_link(const fs::path& path) {
    std::error_code ec;
    const fs::file_type type = fs::symlink_status(path, ec).type();
    return ec || type == fs::file_type::symlink;
}

std::string utf8_name(const fs::path& path) { return path.native(); }

fs::path system_form(const fs::path& path) { return path; }

#endif

}  // namespace halvorine

#include "platform/paths.hpp"

#include <system_error>

#if defined(_WIN32)
#include <windows.h>

#include "platform/utf16.hpp"
#endif

namespace halvorine {

namespace fs = std::filesystem;

#if defined(_WIN32)

// The standard library here asks the C runtime, which takes the "?" of a
// long path's "\\?\" for a wildcard and finds nothing.
std::optional<EntryKind> kind_of(const fs::path& path) {
    const DWORD a = GetFileAttributesW(system_form(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
        return EntryKind::other;
    }
    return (a & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::folder : EntryKind::file;
}

// The standard library here sees no links at all, taking a junction for the
// folder it leads to, and lists no folder past MAX_PATH.
std::optional<Listing> list_folder(const fs::path& folder) {
    const std::wstring pattern = system_form(folder / L"*").native();
    WIN32_FIND_DATAW found{};
    const HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        // A drive's root has no "." to find when it is empty.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return Listing{};
        return std::nullopt;
    }
    Listing listing;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const DWORD a = found.dwFileAttributes;
        // A reparse point's tag comes in dwReserved0. A cloud placeholder
        // (OneDrive's files on demand) is a reparse point too, and is the
        // user's file like any other.
        const bool link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && names_another_place(found.dwReserved0);
        const EntryKind kind = link                                  ? EntryKind::link
                               : (a & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::folder
                               : (a & FILE_ATTRIBUTE_DEVICE) != 0    ? EntryKind::other
                                                                     : EntryKind::file;
        listing.entries.push_back({fs::path(name), kind, (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0});
    } while (FindNextFileW(h, &found) != 0);
    listing.complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(h);
    return listing;
}

std::string utf8_name(const fs::path& path) { return narrow(path.native()); }

fs::path path_from_utf8(std::string_view name) { return wide(name); }

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

std::optional<EntryKind> kind_of(const fs::path& path) {
    std::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    if (type == fs::file_type::not_found) return std::nullopt;
    return type == fs::file_type::directory ? EntryKind::folder
           : type == fs::file_type::regular ? EntryKind::file
                                            : EntryKind::other;
}

std::string utf8_name(const fs::path& path) { return path.native(); }

fs::path path_from_utf8(std::string_view name) { return std::string(name); }

fs::path system_form(const fs::path& path) { return path; }

#endif

}  // namespace halvorine

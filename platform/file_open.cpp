#include "platform/file_open.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>
#include <string_view>

#include "platform/paths.hpp"
#include "platform/utf16.hpp"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace halvorine {

#if defined(_WIN32)

namespace {

HANDLE os_handle(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

// The name as the system opens it: UTF-16, whatever the code page, and in
// the long form past MAX_PATH.
std::wstring system_name(const std::string& name) { return system_form(std::filesystem::path(wide(name))).native(); }

// The volume a handle's file is on, by the name Windows gives each mounted
// volume (\\?\Volume{GUID}\), folded to 64 bits (FNV-1a). Its serial alone
// is not enough: cards imaged from one another share it, and FAT numbers
// files by their place in the folders, so two such cards dropped together
// would seem one. The serial where the name cannot be had.
std::uint64_t volume_of(HANDLE h, std::uint64_t serial) {
    wchar_t name[MAX_PATH + 64];
    const DWORD n = GetFinalPathNameByHandleW(h, name, MAX_PATH + 64, VOLUME_NAME_GUID | FILE_NAME_OPENED);
    if (n == 0 || n >= MAX_PATH + 64) return serial;
    const std::wstring_view path(name, n);
    const std::size_t end = path.find(L'\\', 4);  // after "\\?\"
    if (end == std::wstring_view::npos) return serial;
    std::uint64_t hash = 14695981039346656037u;
    for (const wchar_t c : path.substr(0, end)) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211u;
    return hash;
}

}  // namespace

// Pipes and devices have no file number. Their kind still tells them from a
// file on disk, which is all a pipe input and a file output need; two of one
// kind count as one file, as nothing rules that out.
std::optional<FileIdentity> identity_of_handle(void* handle) {
    const HANDLE h = handle;
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    const DWORD kind = GetFileType(h);
    if (kind == FILE_TYPE_UNKNOWN) return std::nullopt;
    if (kind != FILE_TYPE_DISK) return FileIdentity{std::uint64_t{1} << 32 | kind, 0};  // beyond any volume serial
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(h, FileIdInfo, &id, sizeof id) != 0) {
        std::uint64_t half[2];
        static_assert(sizeof half == sizeof id.FileId.Identifier);
        std::memcpy(half, id.FileId.Identifier, sizeof half);
        return FileIdentity{volume_of(h, id.VolumeSerialNumber), half[0], half[1]};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info) == 0) return std::nullopt;
    return FileIdentity{volume_of(h, info.dwVolumeSerialNumber),
                        (std::uint64_t{info.nFileIndexHigh} << 32) | std::uint64_t{info.nFileIndexLow}};
}

Found found_at(void* handle) {
    const HANDLE h = handle;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || GetFileInformationByHandle(h, &info) == 0) return Found::not_own;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) == 0 ||
            names_another_place(tag.ReparseTag)) {
            return Found::not_own;
        }
        return Found::placeholder;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Found::folder;
    return info.nNumberOfLinks == 1 ? Found::own_file : Found::shared_file;
}

namespace {

HANDLE open_to_write(const std::wstring& path, DWORD disposition, DWORD flags) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

// The output as this folder's own file, or INVALID_HANDLE_VALUE.
HANDLE open_own_file(const std::wstring& path) {
    HANDLE h = open_to_write(path, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) return h;
    const Found found = found_at(h);
    if (found == Found::own_file) return h;
    const auto before = identity_of_handle(h);
    CloseHandle(h);
    if (found != Found::placeholder) return INVALID_HANDLE_VALUE;
    // Its data is fetched when it is opened as itself; that it is still the
    // same file is checked on the handle, as a name can change meanwhile;
    // and nothing is created, should a link have taken its name.
    h = open_to_write(path, OPEN_EXISTING, 0);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!before || identity_of_handle(h) != before || GetFileInformationByHandle(h, &info) == 0 ||
        info.nNumberOfLinks != 1) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

}  // namespace

FileHandle stream_of(void* handle, bool writing) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), (writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, writing ? "wb" : "rb");
    if (file == nullptr) _close(fd);
    return FileHandle(file);
}

FileHandle open_for_reading(const std::string& name) { return FileHandle(_wfopen(system_name(name).c_str(), L"rb")); }

bool own_file_or_missing(const std::string& name) {
    const HANDLE h = CreateFileW(system_name(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;  // missing, or the open says why
    const Found found = found_at(h);
    CloseHandle(h);
    return found != Found::not_own && found != Found::shared_file;
}

FileHandle open_for_writing(const std::string& name, bool own_file_only) {
    int fd = -1;
    const std::wstring path = system_name(name);
    if (own_file_only) {
        const HANDLE h = open_own_file(path);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return stream_of(h, true);
    }
    // Denying other writers is Windows' lock: a second run opening the same
    // output is refused here, before anything of it is touched.
    if (_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, _SH_DENYWR, _S_IREAD | _S_IWRITE) != 0) {
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return FileHandle(file);
}

std::optional<FileIdentity> identity(std::FILE* file) { return identity_of_handle(os_handle(file)); }

std::optional<std::uint64_t> size(std::FILE* file) {
    const HANDLE h = os_handle(file);
    LARGE_INTEGER bytes{};
    if (GetFileType(h) != FILE_TYPE_DISK || GetFileSizeEx(h, &bytes) == 0) return std::nullopt;
    return static_cast<std::uint64_t>(bytes.QuadPart);
}

bool claim_output(std::FILE* file) {
    if (GetFileType(os_handle(file)) != FILE_TYPE_DISK) return true;
    return _chsize_s(_fileno(file), 0) == 0;
}

#else

FileHandle open_for_reading(const std::string& name) { return FileHandle(std::fopen(name.c_str(), "rb")); }

namespace {

bool own_file(const struct stat& st) { return S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1); }

}  // namespace

bool own_file_or_missing_at(int at, const char* name) {
    struct stat st {};
    return ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || own_file(st);
}

bool own_file_or_missing(const std::string& name) { return own_file_or_missing_at(AT_FDCWD, name.c_str()); }

FileHandle open_for_writing_at(int at, const char* name, bool own_file_only) {
    // Not blocking: a pipe with no reader would hold the open for ever.
    const int flags = own_file_only ? O_NOFOLLOW | O_NONBLOCK | O_NOCTTY : 0;
    const int fd = ::openat(at, name, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (own_file_only && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
                          ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return FileHandle(file);
}

FileHandle open_for_writing(const std::string& name, bool own_file_only) {
    return open_for_writing_at(AT_FDCWD, name.c_str(), own_file_only);
}

std::optional<FileIdentity> identity(std::FILE* file) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::uint64_t> size(std::FILE* file) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

namespace {

// Two runs writing one output would interleave their blocks into a file that
// is neither conversion, and both would report success.
bool lock_alone(int fd) {
    int done = 0;
    do {
        done = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (done != 0 && errno == EINTR);
    // Where the file system keeps no locks, no other run can be told apart
    // either; that is no reason to refuse the conversion. Any other failure
    // (another run holds it, an I/O error) leaves the file alone.
    return done == 0 || errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL;
}

}  // namespace

bool claim_output(std::FILE* file) {
    const int fd = ::fileno(file);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    return !S_ISREG(st.st_mode) || (lock_alone(fd) && ::ftruncate(fd, 0) == 0);
}

#endif

}  // namespace halvorine

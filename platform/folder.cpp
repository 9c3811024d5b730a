#include "platform/folder.hpp"

#if defined(_WIN32)
#include <windows.h>

#include <string>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace halvorine {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)

// Held without FILE_SHARE_DELETE, a folder can be neither renamed nor
// removed, nor can any folder above it: the path it was opened by stays its
// path while it is held, and names under it are opened by that path. The
// path is the one the system reached (a junction named by a person
// resolved), so that a junction changed meanwhile sends nothing elsewhere.
class SystemFolder final : public Folder {
public:
    SystemFolder(HANDLE h, fs::path path) : h_(h), path_(std::move(path)) {}
    ~SystemFolder() override { CloseHandle(h_); }
    SystemFolder(const SystemFolder&) = delete;
    SystemFolder& operator=(const SystemFolder&) = delete;

    static std::unique_ptr<Folder> open(const fs::path& path, DWORD flags) {
        const HANDLE h = CreateFileW(system_form(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        // A cloud placeholder's folder (OneDrive's) is a reparse point that
        // names no other place: the user's folder like any other.
        BY_HANDLE_FILE_INFORMATION info{};
        const Found found = found_at(h);
        if (!(found == Found::folder ||
              (found == Found::placeholder && GetFileInformationByHandle(h, &info) != 0 &&
               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0))) {
            CloseHandle(h);
            return nullptr;
        }
        return std::make_unique<SystemFolder>(h, reached(h, path));
    }

    std::optional<FileIdentity> identity() const override { return identity_of_handle(h_); }
    std::optional<Listing> list() const override { return list_folder(path_); }
    std::unique_ptr<Folder> enter(const fs::path& name) const override {
        return open(path_ / name, FILE_FLAG_OPEN_REPARSE_POINT);
    }

    std::optional<FileIdentity> identity_of(const fs::path& name, bool follow) const override {
        const HANDLE h = CreateFileW(system_form(path_ / name).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
        if (h == INVALID_HANDLE_VALUE) return std::nullopt;
        const auto id = identity_of_handle(h);
        CloseHandle(h);
        return id;
    }

    FileHandle open_input(const fs::path& name, bool follow) const override {
        const std::wstring path = system_form(path_ / name).native();
        HANDLE h = open_to_read(path, follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        const Found found = found_at(h);
        if (found == Found::placeholder) {
            // Its data comes when it is opened as itself; still the same file.
            const auto before = identity_of_handle(h);
            CloseHandle(h);
            h = open_to_read(path, 0);
            if (h == INVALID_HANDLE_VALUE) return nullptr;
            if (!before || identity_of_handle(h) != before) {
                CloseHandle(h);
                return nullptr;
            }
        } else if (found != Found::own_file && found != Found::shared_file) {
            CloseHandle(h);
            return nullptr;
        }
        return stream_of(h, false);
    }

    FileHandle open_output(const fs::path& name) const override {
        return open_for_writing(utf8_name(path_ / name), true);
    }
    bool own_file_or_missing(const fs::path& name) const override {
        return halvorine::own_file_or_missing(utf8_name(path_ / name));
    }

private:
    static HANDLE open_to_read(const std::wstring& path, DWORD flags) {
        return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    }

    // Some network file systems cannot say; their path is then the one given.
    static fs::path reached(HANDLE h, const fs::path& given) {
        std::wstring name(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()),
                                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (n == 0) return given;
            if (n < name.size()) {
                name.resize(n);
                return name;
            }
            name.resize(n);
        }
    }

    HANDLE h_;
    fs::path path_;
};

class SystemFolders final : public Folders {
public:
    std::optional<EntryKind> kind_of(const fs::path& path) const override { return halvorine::kind_of(path); }
    std::unique_ptr<Folder> open(const fs::path& path) const override { return SystemFolder::open(path, 0); }
};

#else

class SystemFolder final : public Folder {
public:
    explicit SystemFolder(int fd) : fd_(fd) {}
    ~SystemFolder() override { ::close(fd_); }
    SystemFolder(const SystemFolder&) = delete;
    SystemFolder& operator=(const SystemFolder&) = delete;

    // O_DIRECTORY: a pipe in a folder's place is refused, never waited on.
    // Opened only as a place where it can be (O_PATH), so that a folder whose
    // files can be opened but not listed still gives the files named in it.
    static std::unique_ptr<Folder> open(int at, const char* name, int flags) {
#if defined(O_PATH)
        flags |= O_PATH;
#else
        flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
#endif
        const int fd = ::openat(at, name, O_DIRECTORY | O_CLOEXEC | flags);
        if (fd < 0) return nullptr;
        return std::make_unique<SystemFolder>(fd);
    }

    std::optional<FileIdentity> identity() const override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return std::nullopt;
        return of(st);
    }

    std::optional<Listing> list() const override {
        // A description of its own, so that each listing starts at the top.
        const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return std::nullopt;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
        if (!dir) {
            ::close(fd);
            return std::nullopt;
        }
        Listing listing;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                listing.complete = errno == 0;
                break;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            struct stat st {};
            const EntryKind kind = ::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? EntryKind::other
                                   : S_ISDIR(st.st_mode)                                ? EntryKind::folder
                                   : S_ISREG(st.st_mode)                                ? EntryKind::file
                                   : S_ISLNK(st.st_mode)                                ? EntryKind::link
                                                                                        : EntryKind::other;
            listing.entries.push_back({fs::path(name), kind});
        }
        return listing;
    }

    std::unique_ptr<Folder> enter(const fs::path& name) const override { return open(fd_, name.c_str(), O_NOFOLLOW); }

    std::optional<FileIdentity> identity_of(const fs::path& name, bool follow) const override {
        struct stat st {};
        if (::fstatat(fd_, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
        return of(st);
    }

    FileHandle open_input(const fs::path& name, bool follow) const override {
        // Not blocking: a pipe opens at once, to be refused below.
        const int fd = ::openat(fd_, name.c_str(),
                                O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return nullptr;
        }
        std::FILE* file = ::fdopen(fd, "rb");
        if (file == nullptr) ::close(fd);
        return FileHandle(file);
    }

    FileHandle open_output(const fs::path& name) const override {
        return open_for_writing_at(fd_, name.c_str(), true);
    }

    bool own_file_or_missing(const fs::path& name) const override {
        return own_file_or_missing_at(fd_, name.c_str());
    }

private:
    static FileIdentity of(const struct stat& st) {
        return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }
    int fd_;
};

class SystemFolders final : public Folders {
public:
    // A batch holds each folder named open, and each folder down to the one
    // converting: a deep tree or a long selection would pass the soft limit
    // on open files (often 1,024) long before the hard one.
    SystemFolders() {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
    }
    std::optional<EntryKind> kind_of(const fs::path& path) const override { return halvorine::kind_of(path); }
    std::unique_ptr<Folder> open(const fs::path& path) const override {
        return SystemFolder::open(AT_FDCWD, path.c_str(), 0);
    }
};

#endif

}  // namespace

const Folders& system_folders() {
    static const SystemFolders folders;
    return folders;
}

}  // namespace halvorine

#include "platform/gather.hpp"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#endif

namespace halvorine {

namespace {

// "S-1-", then numbers, each after one dash: nothing that SDDL would read as
// more than a SID.
bool plain_sid(std::wstring_view sid) {
    if (!sid.starts_with(L"S-1-") || sid.back() == L'-') return false;
    for (std::size_t i = 1; i < sid.size(); ++i) {
        if (sid[i] == L'-' ? sid[i - 1] == L'-' : sid[i] < L'0' || sid[i] > L'9') return false;
    }
    return true;
}

// Leads with no one to take in: a file manager passes every file chosen to
// one process, and on Windows no gathering could be made or joined.
class Alone final : public Gathering {
public:
    std::vector<std::filesystem::path> collect() override { return {}; }
};

}  // namespace

std::wstring pipe_security(std::wstring_view user, std::wstring_view integrity) {
    if (!plain_sid(user) || !plain_sid(integrity) || !integrity.starts_with(L"S-1-16-")) return {};
    // NR as well as NW: a process of the same user at a lower level, a
    // sandboxed one, can neither hand over nor hold the leader up by
    // connecting and saying nothing.
    return L"D:P(A;;GA;;;" + std::wstring(user) + L")S:(ML;;NWNR;;;" + std::wstring(integrity) + L")";
}

#if !defined(_WIN32)

std::unique_ptr<Gathering> Gathering::join(const std::filesystem::path&) { return std::make_unique<Alone>(); }

#else

// The drop targets of one user's session meet at a named pipe that only that
// user's processes, at the same integrity level or above, can open. The first
// to make it leads. It greets each drop target that connects, which then
// writes how long it took to start (in milliseconds, two UTF-16 units, low
// first) and its full path, and ends once the leader has answered that it
// took the path. A drop target not answered leads a window of its own: a
// path is never lost, and never taken by two.

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long a drop target looks for a leader that is there but busy.
constexpr auto join_limit = std::chrono::seconds(5);
// Explorer starts a selection's processes one right after another. The
// leader takes them in until one started right after the latest would have
// come, were it twice as slow to start as the slowest so far (the leader
// included: a busy machine is slow to start every process), and none has
// come for a moment more. No start counts as longer than `join_limit`, and
// a start ends where a process begins to look for a leader: time spent
// waiting for one that is busy tells nothing of the next start.
constexpr auto quiet = std::chrono::milliseconds(300);
// The most the leader gives one drop target, from its greeting to its
// answer: one that connects and says nothing holds it up no longer.
constexpr auto per_client = std::chrono::seconds(2);
// How long a greeted drop target waits for its answer: well past the
// leader's limit, so that it never gives up on an answer given in time and
// converts its file beside the leader.
constexpr auto answer_limit = std::chrono::seconds(5);
constexpr char greeting = 'h';
constexpr char taken = 'k';

struct Closer {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, Closer>;
Handle own(HANDLE handle) { return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using Descriptor = std::unique_ptr<void, LocalFreer>;

DWORD millis_until(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<DWORD>(std::max<decltype(left)>(left, 0));
}

// An overlapped ConnectNamedPipe, ReadFile or WriteFile on `handle`, begun by
// `begin`, waited for until `until` and cancelled then. The bytes it moved;
// none when it failed, or was cancelled first.
template <class Begin>
std::optional<DWORD> bounded(HANDLE handle, Clock::time_point until, Begin begin) {
    OVERLAPPED io{};
    const Handle event = own(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return std::nullopt;
    io.hEvent = event.get();
    if (begin(&io) == 0) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) return 0;
        if (error != ERROR_IO_PENDING) return std::nullopt;
        if (WaitForSingleObject(io.hEvent, millis_until(until)) != WAIT_OBJECT_0) CancelIoEx(handle, &io);
    }
    DWORD done = 0;
    if (GetOverlappedResult(handle, &io, &done, TRUE) == 0) return std::nullopt;
    return done;
}

// Whom a process runs as; a field is empty where it cannot be read.
struct Account {
    std::wstring user;       // the SID, in its string form
    std::wstring integrity;  // the integrity level's SID
    DWORD session = 0;
};

std::wstring text_of(PSID sid) {
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(sid, &text) == 0) return {};
    const std::unique_ptr<wchar_t, LocalFreer> freed(text);
    return text;
}

Account account_of(HANDLE process, DWORD id) {
    Account account;
    HANDLE token = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &token) == 0) return account;
    const Handle closed(token);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != 0) {
        account.user = text_of(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    }
    if (GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size) != 0) {
        account.integrity = text_of(reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid);
    }
    if (ProcessIdToSessionId(id, &account.session) == 0) account.user.clear();
    return account;
}

// How long ago `process` started, on this clock; none when it cannot be
// told.
std::optional<Clock::duration> age(HANDLE process) {
    FILETIME created{};
    FILETIME unused[3];
    if (GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2]) == 0) return std::nullopt;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](FILETIME t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    if (ticks(now) < ticks(created)) return Clock::duration{};
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds((ticks(now) - ticks(created)) * 100));
}

Handle make_instance(const std::wstring& name, void* descriptor, bool first) {
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    const DWORD open = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    return own(CreateNamedPipeW(name.c_str(), open, mode, PIPE_UNLIMITED_INSTANCES, 4096, 65536, 0, &security));
}

class Leader final : public Gathering {
public:
    Leader(std::wstring name, Descriptor descriptor, Handle first, Clock::duration took)
        : name_(std::move(name)), descriptor_(std::move(descriptor)), pipe_(std::move(first)) {
        arrived(GetCurrentProcess(), took);
    }

    std::vector<fs::path> collect() override {
        std::vector<fs::path> paths;
        std::vector<Handle> answered;
        last_ = Clock::now();  // whatever it took to open this window
        for (auto until = gathering_ends(); pipe_; until = gathering_ends()) {
            const HANDLE pipe = pipe_.get();
            if (!bounded(pipe, until, [&](OVERLAPPED* io) { return ConnectNamedPipe(pipe, io); })) break;
            // The next is made before this one is served, so that a drop
            // target never finds the pipe gone meanwhile and leads beside.
            Handle next = make_instance(name_, descriptor_.get(), false);
            ULONG id = 0;
            const Handle client =
                own(GetNamedPipeClientProcessId(pipe, &id) != 0
                        ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)
                        : nullptr);
            if (auto handed = serve(pipe)) {
                paths.push_back(std::move(handed->first));
                arrived(client.get(), handed->second);
                // Kept until the gathering ends, a moment after the last
                // answer: an answer is read before the pipe it is in goes.
                answered.push_back(std::move(pipe_));
            }
            pipe_ = std::move(next);
        }
        pipe_.reset();
        return paths;
    }

private:
    // The full path a drop target hands over, from then on this window's,
    // and how long it took to start; none when it says none in time, or
    // cannot be answered.
    static std::optional<std::pair<fs::path, Clock::duration>> serve(HANDLE pipe) {
        const auto until = Clock::now() + per_client;
        const auto say = [&](const char& what) {
            return bounded(pipe, until, [&](OVERLAPPED* io) { return WriteFile(pipe, &what, 1, nullptr, io); }) == 1;
        };
        if (!say(greeting)) return std::nullopt;
        std::wstring text(32768, L'\0');  // longer than any path Windows opens
        const auto got = bounded(pipe, until, [&](OVERLAPPED* io) {
            return ReadFile(pipe, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), nullptr, io);
        });
        if (!got || *got % sizeof(wchar_t) != 0 || *got < 2 * sizeof(wchar_t)) return std::nullopt;
        const std::chrono::milliseconds took(std::uint32_t{text[0]} | std::uint32_t{text[1]} << 16);
        text = text.substr(2, *got / sizeof(wchar_t) - 2);
        if (text.find(L'\0') != std::wstring::npos || !fs::path(text).is_absolute()) return std::nullopt;
        if (Clock::now() >= until || !say(taken)) return std::nullopt;
        return std::pair{fs::path(std::move(text)), took};
    }

    // Notes a process of the selection, here now, that took `took` to start.
    void arrived(HANDLE process, Clock::duration took) {
        const auto now = Clock::now();
        slowest_ = std::max(slowest_, std::min<Clock::duration>(took, join_limit));
        latest_ = std::max(latest_, now - (process != nullptr ? age(process) : std::nullopt).value_or(took));
        last_ = now;
    }

    // A process started right after the latest is on its way till then.
    Clock::time_point gathering_ends() const { return std::max(last_, latest_ + 2 * slowest_) + quiet; }

    const std::wstring name_;
    const Descriptor descriptor_;
    Handle pipe_;  // the instance listening
    Clock::time_point latest_;  // the latest start in the selection
    Clock::time_point last_;    // the latest arrival
    Clock::duration slowest_{};
};

// Whether the leader at the other end of `pipe` runs as `self`'s user in its
// session: a pipe another account made first under this name gets nothing.
bool ours(HANDLE pipe, const Account& self) {
    ULONG id = 0;
    if (GetNamedPipeServerProcessId(pipe, &id) == 0) return false;
    const Handle process = own(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) return false;
    const Account leader = account_of(process.get(), id);
    return !leader.user.empty() && leader.user == self.user && leader.session == self.session;
}

// Hands `file` to the leader at the other end of `pipe`, saying that this
// process took `took` to start; true once it has answered that the file is
// its own.
bool hand_over(HANDLE pipe, const fs::path& file, Clock::duration took, Clock::time_point limit) {
    char said = 0;
    const auto hear = [&](Clock::time_point until) {
        return bounded(pipe, until, [&](OVERLAPPED* io) { return ReadFile(pipe, &said, 1, nullptr, io); }) == 1;
    };
    // Nothing is written before the greeting: giving up until then costs
    // nothing.
    if (!hear(limit) || said != greeting) return false;
    const auto ms = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
    const std::wstring message = std::wstring{wchar_t(ms & 0xFFFF), wchar_t(ms >> 16)} + file.native();
    const auto until = Clock::now() + answer_limit;
    const auto size = static_cast<DWORD>(message.size() * sizeof(wchar_t));
    return bounded(pipe, until, [&](OVERLAPPED* io) { return WriteFile(pipe, message.data(), size, nullptr, io); }) ==
               size &&
           hear(until) && said == taken;
}

}  // namespace

std::unique_ptr<Gathering> Gathering::join(const fs::path& file) {
    const Clock::duration took = age(GetCurrentProcess()).value_or(Clock::duration{});
    const Account self = account_of(GetCurrentProcess(), GetCurrentProcessId());
    const std::wstring sddl = pipe_security(self.user, self.integrity);
    PSECURITY_DESCRIPTOR made = nullptr;
    if (sddl.empty() ||
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made, nullptr) == 0) {
        return std::make_unique<Alone>();
    }
    Descriptor descriptor(made);
    // Pipe names are one namespace for the whole machine.
    const std::wstring name = L"\\\\.\\pipe\\halvorine-drop-" + self.user + L"-" + std::to_wstring(self.session);
    // Of drop targets started together, only one may find no pipe and make
    // it: that is one step under this lock, since not every system honours
    // FILE_FLAG_FIRST_PIPE_INSTANCE (wine does not).
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    const Handle lock = own(CreateMutexW(&security, FALSE, (L"Local\\halvorine-drop-" + self.user).c_str()));
    if (!lock) return std::make_unique<Alone>();
    // A leader that no longer takes, or is gone, lets the next try lead.
    for (const auto limit = Clock::now() + join_limit; Clock::now() < limit;) {
        const DWORD waited = WaitForSingleObject(lock.get(), millis_until(limit));
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) break;
        const Handle pipe = own(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                            nullptr));
        const DWORD error = pipe ? ERROR_SUCCESS : GetLastError();
        Handle first = error == ERROR_FILE_NOT_FOUND ? make_instance(name, descriptor.get(), true) : nullptr;
        ReleaseMutex(lock.get());
        if (first) return std::make_unique<Leader>(name, std::move(descriptor), std::move(first), took);
        if (pipe) {
            if (!ours(pipe.get(), self)) break;
            if (hand_over(pipe.get(), file, took, limit)) return nullptr;
        } else if (error == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), 100);
        } else {
            break;  // no pipe could be made, or it is another account's, or a higher level's
        }
    }
    return std::make_unique<Alone>();
}

#endif

}  // namespace halvorine

#include "platform/gather.hpp"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#endif

namespace halvorine {

#if !defined(_WIN32)

namespace {

// A file manager passes every chosen file to one process.
class Alone final : public Gathering {
public:
    std::vector<std::filesystem::path> arrived(bool) override { return {}; }
    void close() override {}
};

}  // namespace

std::unique_ptr<Gathering> Gathering::join(const std::vector<std::filesystem::path>&) {
    return std::make_unique<Alone>();
}

#else

// The drop targets of one session meet at a named pipe. The first to make
// it leads; each other writes its full paths as one message, NUL after
// each, and ends only once the leader has answered with one byte, written
// after the paths were queued. No answer, or no leader to be found in time,
// and it leads itself: a path is never lost, and never taken by two.

namespace {

using Clock = std::chrono::steady_clock;
// Settled once nothing has come for 300 ms, or, if longer, for four times
// the longest wait between two arrivals so far or the time this
// process took to start (a machine slow to start processes is slow to start
// every one of them), and no drop target started beside this one is still
// on its way. Only a stream that never stops is cut short.
constexpr auto quiet = std::chrono::milliseconds(300);
constexpr int quiet_gaps = 4;
constexpr int quiet_starts = 4;
constexpr auto settle_limit = std::chrono::seconds(20);
constexpr auto poll = std::chrono::milliseconds(50);
// Explorer starts a selection's processes one after another: those started
// after this one, or a moment before, are of its selection (or of one it
// takes in too); a window left open from before is not.
constexpr ULONGLONG beside = 3ULL * 10'000'000;  // in FILETIME's 100 ns
// How long a drop target looks for a leader that is there but busy.
constexpr auto join_limit = std::chrono::seconds(5);
constexpr char acknowledged = 'k';

// Pipes are one namespace for the whole machine: the session in the name
// keeps another session's drops, another user's among them, apart. The
// pipe's default security lets only its creator's account (and the system
// and administrators) write to it.
std::wstring pipe_name() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return L"\\\\.\\pipe\\halvorine-drop-" + std::to_wstring(session);
}

// In FILETIME's 100 ns, since 1601.
ULONGLONG created(HANDLE process) {
    FILETIME creation{};
    FILETIME unused[3];
    if (GetProcessTimes(process, &creation, &unused[0], &unused[1], &unused[2]) == 0) return 0;
    return (ULONGLONG{creation.dwHighDateTime} << 32) | creation.dwLowDateTime;
}

// Whether a process of this program that this one's parent started about
// when it started this one, or since, still runs: one that has handed its
// paths over has ended.
bool others_on_their_way() {
    const DWORD self = GetCurrentProcessId();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (bool more = Process32FirstW(snapshot, &entry) != 0; more; more = Process32NextW(snapshot, &entry) != 0) {
        all.push_back(entry);
    }
    CloseHandle(snapshot);
    const auto me = std::find_if(all.begin(), all.end(), [&](const auto& e) { return e.th32ProcessID == self; });
    if (me == all.end()) return false;
    const ULONGLONG mine = created(GetCurrentProcess());
    for (const auto& e : all) {
        if (e.th32ProcessID == self || e.th32ParentProcessID != me->th32ParentProcessID ||
            _wcsicmp(e.szExeFile, me->szExeFile) != 0) {
            continue;
        }
        const HANDLE other = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, e.th32ProcessID);
        if (other == nullptr) continue;
        const ULONGLONG theirs = created(other);
        const bool running = WaitForSingleObject(other, 0) == WAIT_TIMEOUT;
        CloseHandle(other);
        if (running && theirs != 0 && theirs + beside >= mine) return true;
    }
    return false;
}

// How long ago this process was started.
Clock::duration started_ago() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    const ULONGLONG since = created(GetCurrentProcess());
    if (since == 0 || ticks < since) return {};
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds((ticks - since) * 100));
}

HANDLE make_instance(const std::wstring& name, bool first) {
    const DWORD open = PIPE_ACCESS_DUPLEX | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    return CreateNamedPipeW(name.c_str(), open, mode, PIPE_UNLIMITED_INSTANCES, 4096, 65536, 0, nullptr);
}

// One message from `pipe`, whole; false when the pipe fails first.
bool read_message(HANDLE pipe, std::wstring& text) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        const bool whole = ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) != 0;
        bytes.append(buffer, got);
        if (whole) break;
        if (GetLastError() != ERROR_MORE_DATA) return false;
    }
    if (bytes.size() % sizeof(wchar_t) != 0) return false;
    text.resize(bytes.size() / sizeof(wchar_t));
    bytes.copy(reinterpret_cast<char*>(text.data()), bytes.size());
    return true;
}

class Leader final : public Gathering {
public:
    Leader(std::wstring name, HANDLE first)
        : name_(std::move(name)), last_(Clock::now()), quiet_(std::max<Clock::duration>(quiet, quiet_starts * started_ago())) {
        thread_ = std::thread([this, first] { serve(first); });
    }
    ~Leader() override { close(); }

    std::vector<std::filesystem::path> arrived(bool settle) override {
        std::unique_lock lock(mutex_);
        if (settle) {
            const auto limit = Clock::now() + settle_limit;
            const auto settled = [this] { return last_ + std::max(quiet_, quiet_gaps * longest_); };
            while (!finished_ && Clock::now() < limit) {
                if (Clock::now() < settled()) {
                    changed_.wait_until(lock, std::min(limit, settled()));
                    continue;
                }
                const auto before = last_;
                lock.unlock();
                const bool more = others_on_their_way();
                lock.lock();
                if (!more && last_ == before) break;
                changed_.wait_for(lock, poll);
            }
        }
        return std::exchange(queue_, {});
    }

    // The thread may be waiting for a connection: connecting to the pipe
    // wakes it, and it then answers nobody, so whoever connected goes on to
    // lead (this process has stopped listening).
    void close() override {
        if (!thread_.joinable()) return;
        std::unique_lock lock(mutex_);
        closing_ = true;
        while (!finished_) {
            lock.unlock();
            const HANDLE wake = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                            nullptr);
            if (wake != INVALID_HANDLE_VALUE) {
                CloseHandle(wake);
            } else if (GetLastError() == ERROR_PIPE_BUSY) {
                WaitNamedPipeW(name_.c_str(), 20);
            }
            lock.lock();
            changed_.wait_for(lock, std::chrono::milliseconds(20), [this] { return finished_; });
        }
        lock.unlock();
        thread_.join();
    }

private:
    // A pipe instance stays listening from the first one on until the thread
    // ends: the next is made before the one connected is let go, so that a
    // drop target never finds the pipe gone and leads beside this one.
    void serve(HANDLE pipe) {
        while (pipe != INVALID_HANDLE_VALUE) {
            const bool connected =
                ConnectNamedPipe(pipe, nullptr) != 0 || GetLastError() == ERROR_PIPE_CONNECTED;
            const HANDLE next = make_instance(name_, false);
            std::wstring text;
            std::vector<std::filesystem::path> paths;
            bool taken = false;
            if (connected && read_message(pipe, text)) {
                // All or none: a path queued without an answer would be
                // converted twice. Out of memory, there is no answer, and
                // the drop target converts its own.
                try {
                    for (std::size_t at = 0, end; (end = text.find(L'\0', at)) != std::wstring::npos; at = end + 1) {
                        paths.emplace_back(text.substr(at, end - at));
                    }
                    std::lock_guard lock(mutex_);
                    if (closing_) {
                        CloseHandle(next);
                        break;
                    }
                    queue_.reserve(queue_.size() + paths.size());
                    std::move(paths.begin(), paths.end(), std::back_inserter(queue_));
                    taken = true;
                    const auto now = Clock::now();
                    longest_ = std::max(longest_, now - last_);
                    last_ = now;
                } catch (const std::exception&) {
                }
            }
            if (taken) {
                changed_.notify_all();
                DWORD wrote = 0;
                WriteFile(pipe, &acknowledged, 1, &wrote, nullptr);
                // Until it is read: the answer must not go with the pipe.
                FlushFileBuffers(pipe);
            }
            CloseHandle(pipe);
            pipe = next;
            std::lock_guard lock(mutex_);
            if (closing_) break;
        }
        if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    const std::wstring name_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::filesystem::path> queue_;
    Clock::time_point last_;
    const Clock::duration quiet_;
    Clock::duration longest_{};
    bool closing_ = false;
    bool finished_ = false;
    std::thread thread_;
};

// Leads without a pipe: none could be made, or the leader could not be
// reached.
class Alone final : public Gathering {
public:
    std::vector<std::filesystem::path> arrived(bool) override { return {}; }
    void close() override {}
};

// Hands `message` over on `pipe`, connected to the leader, and closes it;
// true once the leader has answered.
bool hand_over(HANDLE pipe, const std::wstring& message) {
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    DWORD wrote = 0;
    char answer = 0;
    DWORD got = 0;
    const auto size = static_cast<DWORD>(message.size() * sizeof(wchar_t));
    // No time limit on the answer: the leader writes it right after taking
    // the paths, and once they are taken this process must not convert them.
    const bool handed = WriteFile(pipe, message.data(), size, &wrote, nullptr) != 0 && wrote == size &&
                        ReadFile(pipe, &answer, 1, &got, nullptr) != 0 && got == 1 && answer == acknowledged;
    CloseHandle(pipe);
    return handed;
}

}  // namespace

std::unique_ptr<Gathering> Gathering::join(const std::vector<std::filesystem::path>& paths) {
    std::wstring message;
    for (const auto& path : paths) {
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(path, ec);
        message += (ec ? path : full).native();
        message += L'\0';
    }
    // Started with nothing (a double click), it has nothing to hand over,
    // and no other's paths to take either.
    if (message.empty()) return std::make_unique<Alone>();
    const std::wstring name = pipe_name();
    // Whether there is a leader to hand over to, and becoming it when there
    // is none, is one step under the session's lock: of drop targets started
    // together only one finds no pipe and makes it. (Not every system honours
    // FILE_FLAG_FIRST_PIPE_INSTANCE; wine does not.)
    const HANDLE lock = CreateMutexW(nullptr, FALSE, L"Local\\halvorine-drop-gathering");
    if (lock == nullptr) return std::make_unique<Alone>();
    std::unique_ptr<Gathering> led;
    bool handed = false;
    const auto limit = Clock::now() + join_limit;
    // Refused by a leader that stopped taking, or finding it busy: try again
    // to hand over or to lead, until one works or time is up.
    for (auto now = Clock::now(); !led && !handed && now < limit; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - now).count();
        const DWORD waited = WaitForSingleObject(lock, static_cast<DWORD>(left));
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) break;
        const HANDLE pipe =
            CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD error = pipe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        HANDLE first = INVALID_HANDLE_VALUE;
        if (error == ERROR_FILE_NOT_FOUND) first = make_instance(name, true);
        ReleaseMutex(lock);
        if (first != INVALID_HANDLE_VALUE) {
            try {
                led = std::make_unique<Leader>(name, first);
            } catch (const std::system_error&) {
                CloseHandle(first);
                break;
            }
        } else if (pipe != INVALID_HANDLE_VALUE) {
            handed = hand_over(pipe, message);
        } else if (error == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), 100);
        } else if (error == ERROR_ACCESS_DENIED) {
            break;  // another account's (an elevated one's): not to be joined
        } else {
            Sleep(1);
        }
    }
    CloseHandle(lock);
    if (handed) return nullptr;
    return led ? std::move(led) : std::make_unique<Alone>();
}

#endif

}  // namespace halvorine

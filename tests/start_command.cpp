// Windows: starts command lines the way Explorer starts a verb's command or
// a drop, with CreateProcessW and no command interpreter. The end-to-end
// tests and tools/windows-check.sh start the drop target through it, under
// wine.
//
//   start_command COMMAND
//     starts COMMAND with this program's input and output, and ends with its
//     status.
//   start_command FOLDER STEP...
//     starts several, as Explorer starts a verb once per file chosen: the
//     Nth command's output goes to FOLDER\N.out, and nothing comes in; once
//     all have ended, it prints each one's "N STATUS" on a line. A STEP is a
//     command line, listed to start, or one of:
//       go         starts those listed together, each from a thread of its
//                  own (wine's CreateProcessW waits for each program to be
//                  under way, which would start them one by one)
//       go=MS      starts them one every MS milliseconds, likewise
//       ended=K    waits until K of those started have ended
//       said=TEXT  waits until one's output holds TEXT
//       kill       ends each one that still runs, with status 9
//       held       those listed from then on read a pipe that is closed once
//                  all the others have ended: a window waiting for its key
//                  waits until then
//       mute       connects to the drop targets' gathering pipe once it is
//                  there and says nothing; prints "pipe SDDL" (its security
//                  as read back) and "user SID" (this process's)
//     Those still listed at the end start together. On stderr: how long
//     after the last start the first words came, and the widest gap between
//     two processes' creation in a start of several (a loaded machine may
//     hold one back for longer than Explorer would).

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    std::wstring command;
    HANDLE in = nullptr;
    HANDLE process = nullptr;  // once started
    std::wstring out;
    bool held = false;  // reads the held pipe
    bool ended = false;
    DWORD status = 126;  // when it cannot be started
};

bool start(wchar_t* command, HANDLE in, HANDLE out, HANDLE& process, bool say = true) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = out;
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line.
    if (CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &info) == 0) {
        if (say) std::fprintf(stderr, "cannot start %ls: error %lu\n", command, GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    return true;
}

// Connects to the gathering pipe of this user's session, named as the drop
// target names it, and prints what `mute` says.
HANDLE connect_mute() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    alignas(TOKEN_USER) BYTE buffer[256];
    DWORD size = 0;
    wchar_t* user = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) == 0 ||
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user) == 0) {
        return INVALID_HANDLE_VALUE;
    }
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const std::wstring name = std::wstring(L"\\\\.\\pipe\\halvorine-drop-") + user + L"-" + std::to_wstring(session);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (const auto limit = Clock::now() + std::chrono::seconds(20); Clock::now() < limit; Sleep(1)) {
        pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        if (GetLastError() == ERROR_PIPE_BUSY) WaitNamedPipeW(name.c_str(), 100);
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* sddl = nullptr;
    const SECURITY_INFORMATION asked = DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
    if (pipe == INVALID_HANDLE_VALUE ||
        GetSecurityInfo(pipe, SE_KERNEL_OBJECT, asked, nullptr, nullptr, nullptr, nullptr, &descriptor) != 0 ||
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, asked, &sddl, nullptr) == 0) {
        sddl = const_cast<wchar_t*>(L"none");
    }
    std::printf("pipe %ls\nuser %ls\n", sddl, user);
    return pipe;
}

class Runs {
public:
    explicit Runs(std::wstring folder) : folder_(std::move(folder)) {}

    void list(const wchar_t* command, HANDLE in, bool held) {
        Run& run = runs_.emplace_back();
        run.command = command;
        run.in = in;
        run.held = held;
        run.out = folder_ + L"\\" + std::to_wstring(runs_.size()) + L".out";
    }

    // Starts those listed, `apart` after one another, each from a thread of
    // its own, so that one slow to start holds up none of the next. Under
    // wine on a loaded machine, one of a hundred started at once is now and
    // then refused: that is wine's, not the program's, and each refused is
    // started once more when the others' starts are over, alone. Only a
    // second refusal is said, as the tests take any word on stderr for the
    // program's.
    void go(std::chrono::milliseconds apart) {
        std::vector<std::thread> starters;
        std::vector<Run*> refused;
        auto at = Clock::now();
        for (Run& run : runs_) {
            if (run.process != nullptr || run.ended) continue;
            starters.emplace_back([this, &run, &refused, at] {
                std::this_thread::sleep_until(at);
                if (!launch(run, false)) {
                    std::lock_guard lock(mutex_);
                    refused.push_back(&run);
                }
            });
            at += apart;
        }
        for (auto& starter : starters) starter.join();
        for (Run* run : refused) run->ended = !launch(*run, true);
        std::vector<std::uint64_t> created;  // in 100 ns units
        for (const Run& run : runs_) {
            FILETIME times[4];
            if (run.process != nullptr && GetProcessTimes(run.process, &times[0], &times[1], &times[2], &times[3]) != 0) {
                created.push_back(std::uint64_t{times[0].dwHighDateTime} << 32 | times[0].dwLowDateTime);
            }
        }
        std::sort(created.begin(), created.end());
        for (std::size_t i = 1; i < created.size(); ++i) widest_gap_ = std::max(widest_gap_, created[i] - created[i - 1]);
    }

    // Starts `run` with its output in its file; false where it could not be.
    bool launch(Run& run, bool say) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        const HANDLE out = CreateFileW(run.out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        {
            std::lock_guard lock(mutex_);
            last_start_ = std::max(last_start_.value_or(Clock::time_point{}), Clock::now());
        }
        const bool started = out != INVALID_HANDLE_VALUE && start(run.command.data(), run.in, out, run.process, say);
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        return started;
    }

    // Waits, looking every few milliseconds at each run, until `done`; a
    // step gives up after two minutes, and the checks then say what is wrong.
    template <class Done>
    void wait(Done done, bool step = true) {
        for (const auto limit = Clock::now() + std::chrono::minutes(2); !step || Clock::now() < limit;) {
            std::size_t ended = 0;
            for (Run& run : runs_) {
                if (!run.ended && run.process != nullptr && WaitForSingleObject(run.process, 0) == WAIT_OBJECT_0) {
                    GetExitCodeProcess(run.process, &run.status);
                    run.ended = true;
                }
                ended += run.ended;
                WIN32_FILE_ATTRIBUTE_DATA file{};
                if (!first_words_ && run.process != nullptr && last_start_ &&
                    GetFileAttributesExW(run.out.c_str(), GetFileExInfoStandard, &file) != 0 &&
                    (file.nFileSizeLow != 0 || file.nFileSizeHigh != 0)) {
                    first_words_ = Clock::now() - *last_start_;
                }
            }
            if (done(ended)) return;
            Sleep(5);
        }
        std::fprintf(stderr, "gave up waiting\n");
    }

    bool said(const std::string& text) const {
        for (const Run& run : runs_) {
            std::ifstream out(std::filesystem::path(run.out), std::ios::binary);
            const std::string words{std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>()};
            if (words.find(text) != std::string::npos) return true;
        }
        return false;
    }

    void kill() {
        for (Run& run : runs_) {
            if (run.process != nullptr && !run.ended) TerminateProcess(run.process, 9);
        }
    }

    // Waits for all, those reading the held pipe last, and prints their
    // statuses.
    void finish(HANDLE held) {
        go(std::chrono::milliseconds(0));
        std::size_t reading = 0;
        for (const Run& run : runs_) reading += run.held;
        wait([&](std::size_t ended) { return ended + reading >= runs_.size(); }, false);
        if (held != nullptr) CloseHandle(held);
        wait([&](std::size_t ended) { return ended == runs_.size(); }, false);
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            std::printf("%zu %lu\n", i + 1, static_cast<unsigned long>(runs_[i].status));
        }
        if (first_words_) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*first_words_).count();
            std::fprintf(stderr, "first words %lld ms after the last start\n", static_cast<long long>(ms));
        }
        std::fprintf(stderr, "widest gap %llu ms\n", static_cast<unsigned long long>(widest_gap_ / 10000));
    }

private:
    std::wstring folder_;
    std::vector<Run> runs_;
    std::mutex mutex_;
    std::optional<Clock::time_point> last_start_;
    std::optional<Clock::duration> first_words_;
    std::uint64_t widest_gap_ = 0;  // in 100 ns units
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2) {
        HANDLE process = nullptr;
        if (!start(argv[1], GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE), process)) return 126;
        DWORD status = 126;
        WaitForSingleObject(process, INFINITE);
        GetExitCodeProcess(process, &status);
        return static_cast<int>(status);
    }
    if (argc < 3) return 125;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0,
                            nullptr);
    HANDLE held = nullptr;
    HANDLE mute = INVALID_HANDLE_VALUE;
    Runs runs(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const std::wstring step = argv[i];
        if (step == L"go") {
            runs.go(std::chrono::milliseconds(0));
        } else if (step.starts_with(L"go=")) {
            runs.go(std::chrono::milliseconds(std::stoi(step.substr(3))));
        } else if (step.starts_with(L"ended=")) {
            const std::size_t k = std::stoul(step.substr(6));
            runs.wait([&](std::size_t ended) { return ended >= k; });
        } else if (step.starts_with(L"said=")) {
            const auto utf8 = std::filesystem::path(step.substr(5)).u8string();
            const std::string text(utf8.begin(), utf8.end());
            runs.wait([&](std::size_t) { return runs.said(text); });
        } else if (step == L"kill") {
            runs.kill();
        } else if (step == L"held") {
            if (CreatePipe(&in, &held, &inherited, 0) == 0) return 125;
            SetHandleInformation(held, HANDLE_FLAG_INHERIT, 0);
        } else if (step == L"mute") {
            mute = connect_mute();
        } else {
            runs.list(argv[i], in, held != nullptr);
        }
    }
    runs.finish(held);
    if (mute != INVALID_HANDLE_VALUE) CloseHandle(mute);
    return 0;
}

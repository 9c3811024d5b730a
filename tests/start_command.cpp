// Windows: starts the command line given as its one argument the way
// Explorer starts a verb's command or a drop, with CreateProcessW and no
// command interpreter, and ends with that program's exit status. The
// end-to-end tests start the drop target through it, under wine.
//
// Given a folder and several command lines, it starts them all at once, as
// Explorer starts a verb once per selected file: the Nth one's output goes
// to FOLDER\N.out and nothing comes in; once all have ended, it prints each
// one's "N STATUS" on a line.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// 126 when it cannot be started. With `thread`, it is made to wait: it
// runs once the thread is resumed.
DWORD start(wchar_t* command, HANDLE in, HANDLE out, HANDLE err, HANDLE& process, HANDLE* thread = nullptr) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line.
    const DWORD flags = thread != nullptr ? CREATE_SUSPENDED : 0;
    if (CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &start, &info) == 0) {
        std::fprintf(stderr, "cannot start %ls: error %lu\n", command, GetLastError());
        return 126;
    }
    if (thread != nullptr) {
        *thread = info.hThread;
    } else {
        CloseHandle(info.hThread);
    }
    process = info.hProcess;
    return 0;
}

DWORD status_of(HANDLE process) {
    DWORD status = 126;
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &status);
    CloseHandle(process);
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2) {
        HANDLE process = nullptr;
        if (start(argv[1], GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                  GetStdHandle(STD_ERROR_HANDLE), process) != 0) {
            return 126;
        }
        return static_cast<int>(status_of(process));
    }
    if (argc < 3) return 125;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                       OPEN_EXISTING, 0, nullptr);
    // All made first, then all let go together: wine's CreateProcessW waits
    // for each program to be under way, which would start them one by one.
    std::vector<HANDLE> processes(argc - 2, nullptr);
    std::vector<HANDLE> threads(argc - 2, nullptr);
    std::vector<DWORD> statuses(argc - 2, 0);
    for (int i = 2; i < argc; ++i) {
        const std::wstring name = std::wstring(argv[1]) + L"\\" + std::to_wstring(i - 1) + L".out";
        const HANDLE out = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) return 125;
        statuses[i - 2] = start(argv[i], nothing, out, out, processes[i - 2], &threads[i - 2]);
        CloseHandle(out);
    }
    for (const HANDLE thread : threads) {
        if (thread == nullptr) continue;
        ResumeThread(thread);
        CloseHandle(thread);
    }
    for (std::size_t i = 0; i < processes.size(); ++i) {
        if (statuses[i] == 0) statuses[i] = status_of(processes[i]);
        std::printf("%zu %lu\n", i + 1, static_cast<unsigned long>(statuses[i]));
    }
    return 0;
}

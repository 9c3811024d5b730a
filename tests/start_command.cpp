// Windows: starts a command line the way Explorer starts a verb's command
// or a drop, with CreateProcessW and no command interpreter, with this
// program's input and output, and ends with its status. The end-to-end
// tests and tools/windows-check.sh start the drop target through it, under
// wine.
//
//   start_command COMMAND

#include <windows.h>

#include <cstdio>

namespace {

bool start(wchar_t* command, HANDLE in, HANDLE out, HANDLE& process) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = out;
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line.
    if (CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &info) == 0) {
        std::fprintf(stderr, "cannot start %ls: error %lu\n", command, GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 125;
    HANDLE process = nullptr;
    if (!start(argv[1], GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE), process)) return 126;
    DWORD status = 126;
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &status);
    return static_cast<int>(status);
}

// Windows: starts the command line given as its one argument the way
// Explorer starts a verb's command or a drop, with CreateProcessW and no
// command interpreter, and ends with that program's exit status. The
// end-to-end tests start the drop target through it, under wine.

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 125;
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line.
    if (CreateProcessW(nullptr, argv[1], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process) == 0) {
        return 126;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 126;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}

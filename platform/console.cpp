#include "platform/console.hpp"

#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/utf16.hpp"
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace halvorine {

namespace {

#if defined(_WIN32)
// False when stdout is no console.
bool shown_on_console(std::string_view text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) == 0) return false;
    const std::wstring utf16 = wide(text);
    DWORD written = 0;
    return WriteConsoleW(out, utf16.data(), static_cast<DWORD>(utf16.size()), &written, nullptr) != 0;
}
#endif

}  // namespace

void prepare_output() {
#if defined(SIGPIPE)
    std::signal(SIGPIPE, SIG_IGN);
#endif
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#if defined(_WIN32)
    // "\n", never "\r\n". A program built for clicks, started by Explorer,
    // has no standard output to set.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) _setmode(_fileno(stdout), _O_BINARY);
#endif
}

void write_out(std::string_view text) {
#if defined(_WIN32)
    if (shown_on_console(text)) return;
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool output_is_terminal() {
#if defined(_WIN32)
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool built_for_clicks() {
#if defined(_WIN32)
    const auto* image = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
#else
    return false;
#endif
}

void open_console() {
#if defined(_WIN32)
    const DWORD sent = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE));
    if (!built_for_clicks() || sent == FILE_TYPE_DISK || sent == FILE_TYPE_PIPE || AllocConsole() == 0) return;
    // The console's own ends, even where the starter handed others over.
    const auto end = [](const wchar_t* name) {
        return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    };
    SetStdHandle(STD_OUTPUT_HANDLE, end(L"CONOUT$"));
    SetStdHandle(STD_INPUT_HANDLE, end(L"CONIN$"));
#endif
}

void wait_for_key() {
#if defined(_WIN32)
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode) != 0) {
        // Keys pressed while the files were converting do not count.
        FlushConsoleInputBuffer(in);
        _getwch();
        return;
    }
#else
    // Lines typed while the files were converting do not count either.
    if (isatty(STDIN_FILENO) != 0) tcflush(STDIN_FILENO, TCIFLUSH);
#endif
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    }
}

#if defined(_WIN32)

std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv) {
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) args.push_back(narrow(argv[i]));
    return args;
}
#endif

}  // namespace halvorine

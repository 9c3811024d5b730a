#include "platform/command_line.hpp"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace halvorine {

namespace {

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> split_command_line(std::wstring_view line) {
    std::size_t at = 0;
    // The program's name, which CreateProcess has already found; a path
    // with spaces comes quoted, and nothing in it is taken for an argument.
    if (!line.empty() && line.front() == L'"') {
        const std::size_t close = line.find(L'"', 1);
        at = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && !blank(line[at])) ++at;
    }

    std::vector<std::wstring> arguments;
    while (true) {
        while (at < line.size() && blank(line[at])) ++at;
        if (at == line.size()) return arguments;
        std::wstring argument;
        bool quoted = false;
        for (; at < line.size() && (quoted || !blank(line[at])); ++at) {
            if (line[at] == L'"') {
                quoted = !quoted;
            } else {
                argument += line[at];
            }
        }
        arguments.push_back(std::move(argument));
    }
}

#if defined(_WIN32)
std::vector<std::wstring> own_arguments() { return split_command_line(GetCommandLineW()); }
#endif

}  // namespace halvorine

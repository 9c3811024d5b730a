// Windows: a drop target that only gathers. Started many times at once, the
// one that leads prints every path it was given or handed, one a line; the
// others print nothing. tools/windows-check.sh runs it when the drop target
// itself does not gather yet.

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/gather.hpp"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::filesystem::path> paths(argv + 1, argv + argc);
    auto gathering = halvorine::Gathering::join(paths);
    if (!gathering) return 0;
    for (auto& path : gathering->arrived(true)) paths.push_back(std::move(path));
    gathering->close();
    for (auto& path : gathering->arrived(false)) paths.push_back(std::move(path));
    for (const auto& path : paths) {
        const auto name = path.u8string();
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::fputc('\n', stdout);
    }
    return 0;
}

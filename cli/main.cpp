#include <cstdio>
#include <string>
#include <vector>

#include "cli/run.hpp"
#include "platform/console.hpp"

#if defined(__MINGW32__)
// cmd.exe hands "*.wav" over as it is; with this set, the MinGW start-up code
// expands wildcards into file names before wmain sees the arguments. Set
// here, for this program alone.
extern "C" {
int _dowildcard = -1;
}
#endif

namespace {

int start(const std::vector<std::string>& args) {
    halvorine::prepare_output();
    const int status = halvorine::cli::run(args);
    std::fflush(stdout);
    return status;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return start(halvorine::utf8_arguments(argc, argv)); }
#else
int main(int argc, char** argv) { return start({argv, argv + argc}); }
#endif

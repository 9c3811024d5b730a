#include <csignal>
#include <cstdio>

#include "cli/run.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include <string>
#include <vector>

#include "convert/utf16.hpp"
#endif

#if defined(__MINGW32__)
// cmd.exe hands "*.wav" over as it is; with this set, the MinGW start-up code
// expands wildcards into file names before wmain sees the arguments.
extern "C" {
int _dowildcard = -1;
}
#endif

namespace {

int start(int argc, const char* const* argv) {
    // An output pipe whose reader is gone, or a file past its size limit, is
    // a failed write to report like any other, not a silent death.
#if defined(SIGPIPE)
    std::signal(SIGPIPE, SIG_IGN);
#endif
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#if defined(_WIN32)
    // The messages are the same bytes on every platform: "\n", never "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const int status = halvorine::cli::run(argc, argv);
    std::fflush(stdout);
    return status;
}

}  // namespace

#if defined(_WIN32)
// Taken through the code page, a name loses every character outside it; in
// UTF-16 it arrives whole, and goes on in UTF-8 as on Linux.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> names(static_cast<std::size_t>(argc));
    std::vector<const char*> utf8(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = halvorine::narrow(argv[i]);
        utf8[i] = names[i].c_str();
    }
    return start(argc, utf8.data());
}
#else
int main(int argc, char** argv) { return start(argc, argv); }
#endif

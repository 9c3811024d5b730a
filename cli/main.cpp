#include <csignal>
#include <cstdio>

#include "cli/run.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#if defined(__MINGW32__)
// cmd.exe hands "*.wav" over as it is; with this set, the MinGW start-up code
// expands wildcards into file names before main sees the arguments.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) {
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

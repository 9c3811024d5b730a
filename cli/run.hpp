#pragma once

namespace halvorine::cli {

// The whole program: checks the argument, names the output, converts, and
// returns the exit status (0 on success and for the usage text, else 1).
int run(int argc, const char* const* argv);

}  // namespace halvorine::cli

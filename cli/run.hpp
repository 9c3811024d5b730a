#pragma once
// The console program: files named on the command line, in and relative to
// the current folder, and words on stdout.

#include <string>
#include <string_view>
#include <vector>

#include "convert/blocks.hpp"

namespace halvorine::cli {

// Converts the file named `argument` as the console program does, through
// `blocks`; the exit status, 0 or 1.
int convert_named(std::string_view argument, Blocks& blocks);

// The whole program, given its arguments (the program's name first) in
// UTF-8: checks them, then converts. The exit status: 0 on success and for
// the usage text, else 1.
int run(const std::vector<std::string>& args);

}  // namespace halvorine::cli

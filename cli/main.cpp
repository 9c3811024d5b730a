#include <cstdio>

#include "cli/run.hpp"

int main(int argc, char** argv) {
    const int status = halvorine::cli::run(argc, argv);
    std::fflush(stdout);
    return status;
}

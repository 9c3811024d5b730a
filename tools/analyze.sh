#!/usr/bin/env bash
# Static analysis of the program and the fuzz target: clang-tidy with the
# checks chosen in .clang-tidy, and cppcheck. Any finding fails.
source "$(dirname "$0")/prelude.sh"
cmake --preset release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# clang-tidy reads one file at a time: a file per core.
printf '%s\n' cli/*.cpp convert/*.cpp platform/*.cpp fuzz/*.cpp |
  xargs -P "$(nproc)" -n 1 clang-tidy --quiet -p build/release
cppcheck -j "$(nproc)" --enable=warning,performance,portability --std=c++20 --error-exitcode=1 \
  --inline-suppr --quiet -I . cli convert platform fuzz
echo "static analysis: clean"

#!/usr/bin/env bash
# Static analysis of the program and the fuzz target: clang-tidy with the
# checks chosen in .clang-tidy, and cppcheck. Any finding fails.
source "$(dirname "$0")/prelude.sh"
cmake --preset release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
clang-tidy --quiet -p build/release cli/*.cpp convert/*.cpp platform/*.cpp fuzz/*.cpp
cppcheck --enable=warning,performance,portability --std=c++20 --error-exitcode=1 \
  --inline-suppr --quiet -I . cli convert platform fuzz
echo "static analysis: clean"

#!/usr/bin/env bash
# Fuzzes the conversion core with libFuzzer for SECONDS (default 60). New
# coverage goes to a scratch folder; a crash, leak or broken invariant fails
# the run and leaves its input in build/fuzz/findings: copy it into
# fuzz/corpus so it is replayed by the tests from then on.
source "$(dirname "$0")/prelude.sh"
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
make_work
mkdir -p build/fuzz/findings
./build/fuzz/fuzz/convert_fuzz -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/ "$work" fuzz/corpus

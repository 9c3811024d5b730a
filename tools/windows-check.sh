#!/usr/bin/env bash
# Builds the Windows executable (mingw-w64) and runs the end-to-end and
# interoperability tests against it under wine: the same bytes, messages and
# statuses as the native build, plus wildcard expansion by the program itself.
# Needs: g++-mingw-w64-x86-64-posix wine64, and the release build's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
wine=/usr/lib/wine/wine64

cmake --preset windows >/dev/null
cmake --build --preset windows
exe=$PWD/build/windows/halvorine-convert.exe
if x86_64-w64-mingw32-objdump -p "$exe" | grep -i "DLL Name" | grep -viE "kernel32|msvcrt"; then
  echo "the .exe needs DLLs beyond the system's" >&2
  exit 1
fi
[[ -x build/release/tests/e2e_tests ]] || { cmake --preset release >/dev/null && cmake --build --preset release; }

WINEPREFIX=$(mktemp -d)
# No Mono or Gecko: nothing here needs them, and there is no network to fetch them.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
"$wine" wineboot --init >/dev/null 2>&1

HALVORINE_CONVERT_RUNNER=$wine HALVORINE_CONVERT_EXE=$exe HALVORINE_CONVERT_WINDOWS=1 \
  build/release/tests/e2e_tests
python3 tests/interop_test.py "$wine" "$exe"

# The bundled example converts to the same bytes as with the native build.
work=$(mktemp -d)
cp examples/sim.wav "$work/"
(cd "$work" && "$wine" "$exe" sim.wav >/dev/null && mv halvorine-sim.ddc windows.ddc &&
  "$root/build/release/halvorine-convert" sim.wav >/dev/null && cmp windows.ddc halvorine-sim.ddc)
rm -rf "$work"
echo "windows build: checks passed"

#!/usr/bin/env bash
# Builds the Windows executable (mingw-w64) and runs the end-to-end and
# interoperability tests against it under wine: the same bytes, messages and
# statuses as the native build, names in any script included, plus wildcard
# expansion by the program itself and names shown whole on a console.
# Needs: g++-mingw-w64-x86-64-posix wine64, and the release build's tests.
source "$(dirname "$0")/prelude.sh"
wine=/usr/lib/wine/wine64

cmake --preset windows >/dev/null
cmake --build --preset windows
exe=$PWD/build/windows/halvorine-convert.exe
if x86_64-w64-mingw32-objdump -p "$exe" | grep -i "DLL Name" | grep -viE "kernel32|msvcrt"; then
  echo "the .exe needs DLLs beyond the system's" >&2
  exit 1
fi
need_release tests/e2e_tests

WINEPREFIX=$(mktemp -d)
# No Mono or Gecko: nothing here needs them, and there is no network to fetch them.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wine takes arguments and file names in the locale's character set; in the C
# locale every byte beyond ASCII would be lost before the program sees it.
export LC_ALL=C.UTF-8
at_exit '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"'
"$wine" wineboot --init >/dev/null 2>&1

HALVORINE_CONVERT_RUNNER=$wine HALVORINE_CONVERT_EXE=$exe HALVORINE_CONVERT_WINDOWS=1 \
  build/release/tests/e2e_tests
python3 tests/interop_test.py "$wine" "$exe"

# The bundled example, under a name outside the code page, converts to the
# same bytes and prints the same bytes as with the native build.
make_work
cp examples/sim.wav "$work/запись.wav"
(cd "$work" && "$wine" "$exe" запись.wav >windows.out && mv halvorine-запись.ddc windows.ddc &&
  "$root/build/release/halvorine-convert" запись.wav >native.out &&
  cmp windows.ddc halvorine-запись.ddc && cmp windows.out native.out)

# On a console (here wine's, on a pseudo-terminal) the name shows as itself.
# Bytes written as they are would show in the console's code page instead.
(cd "$work" && script -qec "$(printf '%q ' "$wine" "$exe" запись.wav)" /dev/null </dev/null >console.out)
sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\r//g' "$work/console.out" |
  grep -qF "Convert запись.wav to Halvorine format (halvorine-запись.ddc)" ||
  { echo "the console shows the name otherwise:" >&2; cat -v "$work/console.out" >&2; exit 1; }

# Past 260 characters, current folder included, Windows opens a name only in
# its "\\?\" form; wine opens any form, so its trace shows which one was used
# (names cut short there).
deep=$work/$(printf 'd%.0s' {1..200})
long=$(printf 'l%.0s' {1..60})
mkdir "$deep" && cp examples/sim.wav "$deep/$long.wav"
(cd "$deep" && WINEDEBUG=trace+file "$wine" "$exe" "$long.wav" >/dev/null 2>trace)
for name in "$long.wav" "halvorine-$long.ddc"; do
  grep -F 'CreateFileW L"\\\\?\\' "$deep/trace" | grep -qF "\\${name:0:30}" ||
    { echo "$name was not opened in its \\\\?\\ form" >&2; exit 1; }
done
rm -rf "$work"
echo "windows build: checks passed"

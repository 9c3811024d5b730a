#!/usr/bin/env bash
# Builds the .deb (and, with --windows, the Windows .zip) and checks what they
# hold: the program converts the example from the unpacked package, and the
# man page renders.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --preset release >/dev/null
cmake --build --preset release --target halvorine-convert
(cd build/release && rm -f ./*.deb && cpack >/dev/null)
deb=$(ls build/release/halvorine-convert_*.deb)
dpkg-deb -x "$deb" "$work/root"
cp examples/sim.wav "$work/"
(cd "$work" && ./root/usr/bin/halvorine-convert sim.wav >/dev/null && [[ -s halvorine-sim.ddc ]])
man -l "$work/root/usr/share/man/man1/halvorine-convert.1" | grep -q "EXIT STATUS"
echo "package: $deb"

if [[ ${1:-} == --windows ]]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  (cd build/windows && rm -f ./*.zip && cpack >/dev/null)
  zip=$(ls "$root"/build/windows/halvorine-convert-*-win64.zip)
  unzip -Z1 "$zip" | sort | tr '\n' ' ' | grep -q "halvorine-convert-.*-win64/README.md .*halvorine-convert.exe" ||
    { unzip -l "$zip"; echo "the .zip lacks the .exe or the README" >&2; exit 1; }
  echo "package: $zip"
fi

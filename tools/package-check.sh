#!/usr/bin/env bash
# Builds the .deb (and, with --windows, the Windows .zip; with --arm64, the
# arm64 .deb) and checks what they hold: the program converts the example from
# the unpacked package, and the man page renders.
# --arm64 needs g++-aarch64-linux-gnu, qemu-user and googletest.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows=0 arm64=0
# A package's Depends, one "name version" a line (version 0 where none is asked).
depends() {
  dpkg-deb -f "$1" Depends | tr ',' '\n' | sed -E 's/^ *([^ ]+) *$/\1 0/; s/^ *([^ ]+) \(>= ([^)]+)\) *$/\1 \2/'
}
for arg in "$@"; do
  case $arg in
    --windows) windows=1 ;;
    --arm64) arm64=1 ;;
    *) echo "usage: $0 [--windows] [--arm64]" >&2; exit 2 ;;
  esac
done

cmake --preset release >/dev/null
cmake --build --preset release --target halvorine-convert
(cd build/release && rm -f ./*.deb && cpack >/dev/null)
deb=$(ls build/release/halvorine-convert_*.deb)
dpkg-deb -x "$deb" "$work/root"
cp examples/sim.wav "$work/"
(cd "$work" && ./root/usr/bin/halvorine-convert sim.wav >/dev/null && [[ -s halvorine-sim.ddc ]])
man -l "$work/root/usr/share/man/man1/halvorine-convert.1" | grep -q "EXIT STATUS"
echo "package: $deb"

if ((windows)); then
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  (cd build/windows && rm -f ./*.zip && cpack >/dev/null)
  zip=$(ls "$root"/build/windows/halvorine-convert-*-win64.zip)
  unzip -Z1 "$zip" | sort | tr '\n' ' ' | grep -q "halvorine-convert-.*-win64/README.md .*halvorine-convert.exe" ||
    { unzip -l "$zip"; echo "the .zip lacks the .exe or the README" >&2; exit 1; }
  echo "package: $zip"
fi

if ((arm64)); then
  cmake --preset aarch64 >/dev/null
  cmake --build --preset aarch64 --target halvorine-convert
  (cd build/aarch64 && rm -f ./*.deb && cpack >/dev/null)
  arm_deb=$(ls build/aarch64/halvorine-convert_*_arm64.deb)
  # Its dependencies are declared by hand (dpkg-shlibdeps sees no arm64
  # libraries here): they must ask at least what dpkg-shlibdeps found for the
  # same sources built for this machine, and cover every library the program
  # links.
  while read -r name version; do
    declared=$(depends "$arm_deb" | awk -v name="$name" '$1 == name { print $2 }')
    [[ -n $declared ]] && dpkg --compare-versions "$declared" ge "$version" ||
      { echo "$arm_deb: needs $name (>= $version): update CPACK_DEBIAN_PACKAGE_DEPENDS" >&2; exit 1; }
  done < <(depends "$deb")
  mkdir "$work/arm64"
  dpkg-deb -x "$arm_deb" "$work/arm64/root"
  if aarch64-linux-gnu-readelf -d "$work/arm64/root/usr/bin/halvorine-convert" | grep NEEDED |
    grep -vE '\[(libc\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libstdc\+\+\.so\.6)\]'; then
    echo "$arm_deb: the program links a library its Depends does not name" >&2
    exit 1
  fi
  [[ -f "$work/arm64/root/usr/share/man/man1/halvorine-convert.1" ]]
  cp examples/sim.wav "$work/arm64/"
  (cd "$work/arm64" && qemu-aarch64 -L /usr/aarch64-linux-gnu ./root/usr/bin/halvorine-convert sim.wav >/dev/null &&
    cmp halvorine-sim.ddc ../halvorine-sim.ddc)
  echo "package: $arm_deb"
fi

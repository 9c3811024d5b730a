#!/usr/bin/env bash
# Builds the program for 64-bit Arm, 32-bit Arm (armhf), 32-bit x86 and
# big-endian IBM Z Linux with Debian's cross compilers and runs each build
# under qemu-user: the unit, interoperability and corpus tests (ctest, through the toolchain's emulator),
# the native end-to-end tests against the target's program, and the bundled
# example, which must convert to the same bytes as with the native build. On
# 32-bit x86 it also converts an input over 4 GiB, under qemu and, where the
# kernel allows, as a real 32-bit process. The packages are made and checked
# by tools/release.sh.
# Needs: g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu
# g++-s390x-linux-gnu qemu-user googletest, and the release build's tests.
source "$(dirname "$0")/prelude.sh"
make_work

need_release tests/e2e_tests
cp examples/sim.wav "$work/"
(cd "$work" && "$root/build/release/halvorine-convert" sim.wav >/dev/null && mv halvorine-sim.ddc native.ddc)

# preset:qemu:triplet for each target.
for target in aarch64:aarch64:aarch64-linux-gnu armhf:arm:arm-linux-gnueabihf \
              i686:i386:i686-linux-gnu s390x:s390x:s390x-linux-gnu; do
  IFS=: read -r preset qemu triplet <<<"$target"
  qemu=$(command -v "qemu-$qemu")
  exe=$root/build/$preset/halvorine-convert
  echo "== $preset"
  cmake --workflow --preset "$preset"
  # binfmt may not be registered: qemu is named as the runner, and finds the
  # target's loader and libraries through QEMU_LD_PREFIX, and through
  # LD_LIBRARY_PATH rather than this machine's ld.so.cache (see
  # cmake/debian-cross.cmake).
  export QEMU_LD_PREFIX=/usr/$triplet QEMU_SET_ENV=LD_LIBRARY_PATH=/usr/$triplet/lib
  HALVORINE_CONVERT_RUNNER=$qemu HALVORINE_CONVERT_EXE=$exe build/release/tests/e2e_tests
  (cd "$work" && "$qemu" "$exe" sim.wav >/dev/null && cmp native.ddc halvorine-sim.ddc && rm halvorine-sim.ddc)
done

# Under qemu-i386 every file is opened for large offsets, as by any 64-bit
# process, so a build without large-file support would pass there and fail on
# a real 32-bit system past 2 GiB. The program's own objects must call the
# 64-bit-offset functions; and where this kernel runs 32-bit x86 code, the
# static i686 build runs on it as it would on such a system, the large input
# included.
if i686-linux-gnu-nm --undefined-only build/i686/libhalvorine_*.a |
  grep -E ' (fopen|freopen|open|openat|creat|stat|fstat|lstat|fstatat|lseek|fseeko|ftello|truncate|ftruncate)$'; then
  echo "the i686 build uses 32-bit file offsets" >&2
  exit 1
fi
i686=$root/build/i686/halvorine-convert
python3 tools/large-input-check.py qemu-i386 "$i686"
if "$i686" >/dev/null 2>&1; then
  echo "== i686 on this kernel"
  HALVORINE_CONVERT_EXE=$i686 build/release/tests/e2e_tests
  python3 tools/large-input-check.py "$i686"
else
  echo "== i686 on this kernel: skipped, it runs no 32-bit x86 code"
fi

echo "cross builds: checks passed"

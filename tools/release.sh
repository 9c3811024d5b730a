#!/usr/bin/env bash
# Makes every release artifact in dist/ from the committed sources (HEAD), and
# checks each one:
#   halvorine-convert-VERSION.tar.gz               the source (git archive)
#   halvorine-convert_VERSION_{amd64,arm64,armhf}.deb
#                                                  Debian packages; the foreign
#                                                  ones cross-built by dpkg-buildpackage
#   halvorine-convert-VERSION-{x86_64,aarch64}-linux.tar.gz
#                                                  static programs for any distribution:
#                                                  the console one and the drop target,
#                                                  their man pages and desktop entry
#   halvorine-convert-VERSION-win64.zip            the Windows programs: the console
#                                                  one and the drop target, for typing
#                                                  and for clicks
#   halvorine-convert-VERSION-win64.msi            the same, as a Windows installer
#   halvorine-convert-VERSION-web.zip              the page that converts in a browser
#   SHA256SUMS
# Reproducible: the same commit gives the same bytes whatever the folder, the
# time or the umask (SOURCE_DATE_EPOCH from debian/changelog, build paths
# mapped away, archives with fixed order, owners and times);
# tools/reproducible-check.sh proves it. VERSION is debian/changelog's.
# "nocheck" in DEB_BUILD_OPTIONS leaves out the tests, as for any Debian
# build: the native package's own, and the checks here of each artifact
# (lintian, the example converted, the manual page, the hardening); what
# makes the bytes is the same either way.
#
# Needs: dpkg-dev debhelper lintian man-db cmake g++ libgtest-dev
# crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user
# g++-mingw-w64-x86-64-posix emscripten node-acorn esbuild zip strip-nondeterminism
# devscripts (hardening-check) wixl msitools faketime,
# and Debian's arm64 and
# armhf C++ runtime, from which dpkg-shlibdeps computes the cross packages'
# dependencies:
#   dpkg --add-architecture arm64 && dpkg --add-architecture armhf &&
#   apt-get update && apt-get install libstdc++6:arm64 libstdc++6:armhf
source "$(dirname "$0")/prelude.sh"
export LC_ALL=C.UTF-8 TZ=UTC
name=halvorine-convert
version=$(dpkg-parsechangelog -SVersion)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -STimestamp)
export SOURCE_DATE_EPOCH
grep -q "project(halvorine_convert VERSION $version " CMakeLists.txt ||
  { echo "CMakeLists.txt's project version is not debian/changelog's $version" >&2; exit 1; }
[[ -z $(git status --porcelain --untracked-files=no) ]] ||
  echo "note: uncommitted changes are left out; the release is made from HEAD" >&2

dist=$root/dist
checks=true
[[ " ${DEB_BUILD_OPTIONS-} " != *" nocheck "* ]] || checks=false
# Runs a check of an artifact, unless the checks are left out.
checked() { ! $checks || "$@"; }
make_work
rm -rf "$dist"
mkdir "$dist"

# Runs a command with its output kept aside, shown only when it fails.
quiet() {
  local log
  log=$(mktemp -p "$work" log.XXXXXX)
  "$@" >"$log" 2>&1 || { tail -n 60 "$log" >&2; echo "failed: $*" >&2; return 1; }
}

# A .tar.gz of folder $2 of $1, the same bytes for the same files.
pack_tar() {
  (cd "$1" && tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
    --mode=u=rwX,go=rX -cf - "$2") | gzip -9n >"$3"
}

# The bundled example converts to its known bytes with program "$@" (and a
# qemu in front for another processor); the check is the package's own
# autopkgtest.
converts_example() {
  (cd "$src" && HALVORINE_CONVERT="$*" AUTOPKGTEST_TMP=$(mktemp -d -p "$work") \
    quiet debian/tests/convert-example)
}

# No build folder is named in a built program.
no_build_path() {
  if grep -qaF "$work" "$1"; then
    echo "$1 names its build folder" >&2
    exit 1
  fi
}

source_tarball() {
  local out=$name-$version.tar.gz
  # Everything else is built from this, so that the release is what it ships.
  git archive --format=tar --prefix="$name-$version/" HEAD | tar -xf - -C "$work"
  src=$work/$name-$version
  pack_tar "$work" "$name-$version" "$dist/$out"
  echo "$out"
}

# $1: the Debian architecture. The native one is built with its tests; the
# others by Debian's cross building, without them (tools/cross-check.sh runs
# them under qemu).
deb() {
  local arch=$1 dir=$work/deb-$1 qemu=()
  local deb=${name}_${version}_$arch.deb
  # A caller's "nocheck" holds here too, as for any Debian build.
  local options=(-us -uc -b) build_options="noddebs parallel=2"
  [[ " ${DEB_BUILD_OPTIONS-} " != *" nocheck "* ]] || build_options+=" nocheck"
  case $arch in
    "$(dpkg --print-architecture)") ;;
    arm64) qemu=(qemu-aarch64 -L /) ;;
    armhf) qemu=(qemu-arm -L /) ;;
    *) echo "no qemu known for $arch" >&2; exit 1 ;;
  esac
  if ((${#qemu[@]})); then
    options+=(-a "$arch" -Pcross,nocheck)
    [[ $build_options == *" nocheck"* ]] || build_options+=" nocheck"
  fi
  mkdir "$dir"
  cp -a "$src" "$dir/"
  (cd "$dir/$name-$version" && DEB_BUILD_OPTIONS=$build_options quiet dpkg-buildpackage "${options[@]}")
  cp "$dir/$deb" "$dist/"
  checked quiet lintian --fail-on error,warning "$dist/$deb"
  dpkg-deb -f "$dist/$deb" Depends | grep -q 'libstdc++6 (>= ' ||
    { echo "$deb: dpkg-shlibdeps did not compute its dependencies" >&2; exit 1; }
  dpkg-deb -x "$dist/$deb" "$dir/root"
  # A foreign program runs on Debian's own libraries for its architecture
  # (the multiarch ones named above), those its Depends name.
  checked converts_example "${qemu[@]}" "$dir/root/usr/bin/$name"
  ! $checks || man -l "$dir/root/usr/share/man/man1/$name.1.gz" 2>/dev/null | grep -q "EXIT STATUS"
  echo "$deb"
}

# A static program is loaded at a random address (static PIE) and its
# relocations are read-only once resolved (full RELRO), as the .deb's is.
# hardening-check takes a static PIE for a shared library (it looks for the
# program header table's own entry, which ld writes only beside an
# interpreter), so the PIE flag is read here; and in a stripped static program
# it finds no symbols to tell the stack protector or the fortified calls by.
# Control flow protection is left out of the Debian build too.
hardened() {
  readelf -dW "$1" | grep -q 'FLAGS_1.*PIE' ||
    { echo "$1 is not position independent" >&2; exit 1; }
  quiet hardening-check --nopie --nostackprotector --nofortify --nocfprotection "$1"
}

# $1: the processor (x86_64 or aarch64), with a static-$1 preset.
static_tarball() {
  local cpu=$1 preset=static-$1 base=$name-$version-$1-linux qemu=()
  [[ $cpu == x86_64 ]] || qemu=("qemu-$cpu")
  (cd "$src" && quiet cmake --preset "$preset" && quiet cmake --build --preset "$preset")
  local exe=$src/build/$preset/$name drop=$src/build/$preset/halvorine-drop
  for program in "$exe" "$drop"; do
    if readelf -lW "$program" | grep -q INTERP; then
      echo "$program is not statically linked" >&2
      exit 1
    fi
    checked hardened "$program"
    no_build_path "$program"
  done
  checked converts_example "${qemu[@]}" "$exe"
  mkdir "$work/$base"
  static_files "$src" "$src/build/$preset" "$work/$base"
  pack_tar "$work" "$base" "$dist/$base.tar.gz"
  echo "$base.tar.gz"
}

# A .zip of folder $1 of the work folder, the same bytes for the same files.
pack_zip() {
  find "$work/$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$work" && find "$1" | sort | zip -X -q -@ "$dist/$1.zip")
  quiet strip-nondeterminism --timestamp "$SOURCE_DATE_EPOCH" "$dist/$1.zip"
  echo "$1.zip"
}

windows_zip() {
  local base=$name-$version-win64
  (cd "$src" && quiet cmake --preset windows && quiet cmake --build --preset windows)
  mkdir "$work/$base"
  for exe in "$name.exe" halvorine-drop.exe halvorine-dropw.exe; do no_build_path "$src/build/windows/$exe"; done
  windows_files "$src" "$work/$base"
  pack_zip "$base"
}

# The installer, of the zip's files (windows_zip first). It must hold those
# five and nothing else.
windows_msi() {
  local files=$work/$name-$version-win64 out=$name-$version-win64.msi
  quiet "$src/tools/msi.sh" "$files" "$version" "$dist/$out"
  diff <(msiextract -l "$dist/$out" | sort) \
    <(printf "$name/%s\n" "$name.exe" halvorine-drop.exe halvorine-dropw.exe README.txt LICENSE.txt | sort) >&2
  echo "$out"
}

# The page's folder, to open from any static web server (tools/web-check.sh
# tests it in a browser).
web_zip() {
  local base=$name-$version-web
  (cd "$src" && quiet cmake --preset web && quiet cmake --build --preset web)
  mkdir "$work/$base"
  # The files web/files.json lists, and no leftover of an older build.
  local files
  mapfile -t files < <(python3 "$src/web/pack.py" --list)
  install -m 644 "${files[@]/#/$src/build/web/site/}" "$src/LICENSE" "$work/$base/"
  for f in "$work/$base"/*; do no_build_path "$f"; done
  pack_zip "$base"
}

# One line per artifact; each function writes its file into dist/ and prints
# its name.
source_tarball
deb "$(dpkg --print-architecture)"
deb arm64
deb armhf
static_tarball x86_64
static_tarball aarch64
windows_zip
windows_msi
web_zip

(cd "$dist" && ls | grep -vx SHA256SUMS | xargs sha256sum -- >SHA256SUMS)
cat "$dist/SHA256SUMS"

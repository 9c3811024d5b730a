# Sourced first by the scripts in tools/ and by bench/run.sh:
#   source "$(dirname "$0")/prelude.sh"
# Strict mode; the repository's root, $root, as the working folder; and
#   make_work [PARENT]   a scratch folder, $work (in $TMPDIR or /tmp by
#                        default), removed at exit
#   at_exit COMMAND      more to do at exit (a server to stop), run before
#                        $work goes; a script adds to this, never its own trap
#   windows_files TREE INTO
#                        the files the Windows zip and installer ship, from
#                        source tree TREE's windows build, into folder INTO
#   static_files TREE BUILD INTO
#                        the files a static Linux tarball ships, from source
#                        tree TREE and its build folder BUILD, into folder
#                        INTO; the README's install lines are tried on them
#                        (tests/docs_test.py)
#   need_release [FILE]  builds the release preset when build/release/FILE
#                        (default the program) is missing: the program alone,
#                        or everything for any other FILE
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

work=
exit_steps=()
at_exit() { exit_steps+=("$1"); }
run_exit_steps() {
  local step
  for step in "${exit_steps[@]}"; do eval "$step" || true; done
  [[ -z $work ]] || rm -rf "$work"
}
trap run_exit_steps EXIT
make_work() { work=$(mktemp -d -p "${1:-${TMPDIR:-/tmp}}" halvorine.XXXXXX); }

need_release() {
  local file=${1:-halvorine-convert}
  [[ -x build/release/$file ]] && return
  cmake --preset release >/dev/null
  if [[ $file == halvorine-convert ]]; then
    cmake --build --preset release --target halvorine-convert
  else
    cmake --build --preset release
  fi
}

windows_files() {
  install -m 644 "$1/build/windows/halvorine-convert.exe" "$1/build/windows/halvorine-drop.exe" \
    "$1/build/windows/halvorine-dropw.exe" "$2/"
  # Notepad wants CRLF line ends.
  sed 's/\r*$/\r/' "$1/doc/README-windows.txt" >"$2/README.txt"
  sed 's/\r*$/\r/' "$1/LICENSE" >"$2/LICENSE.txt"
}

static_files() {
  install -m 755 "$2/halvorine-convert" "$2/halvorine-drop" "$3/"
  install -m 644 "$2/doc/halvorine-convert.1" "$2/doc/halvorine-drop.1" "$1/linux/halvorine-drop.desktop" \
    "$1/README.md" "$1/CONTRIBUTING.md" "$1/LICENSE" "$3/"
  # Where README.md's links look for them.
  install -D -m 644 "$1/doc/interop.md" "$3/doc/interop.md"
  install -D -m 644 "$1/web/README.md" "$3/web/README.md"
}

#!/usr/bin/env bash
# Builds the web page (the web preset) and the native program, tests the
# page's reading and storing, its zip, what it takes from a folder, its
# room check, its writing into a chosen folder, its words around names, its
# stall check and its queue of files under node (web/test/io-test.mjs,
# zip-test.mjs, intake-test.mjs, room-test.mjs, folder-test.mjs,
# words-test.mjs, converter-test.mjs, scheduler-test.mjs), then converts in
# chromium, in Firefox ESR (in a private window too) and in WebKitGTK (with
# and without the storage features Safari ships), through the page's own
# file input: the bundled example, every file the interop test has its tools
# write, the generated inputs of
# web/test/make_inputs.py (in chromium; the other engines run the same
# WebAssembly, and convert those inputs that test their own reading, storing
# and names), a folder of a thousand small recordings (in chromium; with --big
# in Firefox and WebKitGTK too), and with --big a 256 MiB input (and in
# chromium a 1 GiB one and a zip of 2 GiB), comparing each with the native
# program on the same file; then with no server, and opened as a file from
# the folder the release zips. --many instead picks 1,000 and then 10,000
# small recordings at once and prints their times, their ratio, the native
# program's run once per file and their zips' (after the example and a
# refusal, and nothing else; CI does not run it).
#
#   tools/web-check.sh [--engines "chromium,firefox,..."] [--big | --big-only | --many] [--runs N] [--screenshots DIR]
#
# --big-only converts the large inputs (after the example and a refusal) and
# nothing else, the 256 MiB one once unless --runs is given: the timed part
# of --big, for a run that is alone on the machine. A table follows of each
# engine's times (median of --runs, 3 unless given): the native program, the
# floor (a bare worker reading the file and writing as many bytes), the page,
# the browser's memory above idle and the zip's seconds from its button to
# the file saved; for the thousand files, the native program run once per
# file, the page, and the memory after them against before.
#
# The page is served by python3 -m http.server on a free loopback port; the
# server's log must show requests for the page's own files only.
source "$(dirname "$0")/prelude.sh"

cmake --preset web >/dev/null
cmake --build --preset web
need_release
site=$root/build/web/site
# npm ci starts from nothing each time: only when the lock file has changed
# since the last one here (CI's timed run follows its first).
(cd web/test && if ! sha256sum --quiet -c node_modules/.installed-lock >/dev/null 2>&1; then
  npm ci --no-audit --no-fund --loglevel=error && sha256sum package-lock.json >node_modules/.installed-lock
fi)

# Large inputs go to memory where there is room, like the benchmark's.
make_work "$( (($(df --output=avail /dev/shm | tail -n 1) > 8 * 1024 * 1024)) && echo /dev/shm || echo /tmp)"
engines=(chromium firefox firefox-private webkit webkit-storage)
if [[ ${1-} == --engines ]]; then
  IFS=", " read -ra engines <<<"$2"
  shift 2
fi

mkdir -p "$work/example" "$work/interop"
cp examples/sim.wav "$work/example/"
python3 web/test/make_inputs.py "$work/generated"
# The large inputs or the many files alone need neither the reading and storing test nor the
# files of other programs.
if [[ " $* " != *" --big-only "* && " $* " != *" --many "* ]]; then
  node web/test/io-test.mjs
  node web/test/zip-test.mjs
  node web/test/intake-test.mjs
  node web/test/room-test.mjs
  node web/test/folder-test.mjs
  node web/test/words-test.mjs
  node web/test/converter-test.mjs
  node web/test/scheduler-test.mjs
  status=0
  python3 tests/interop_test.py --keep-inputs "$work/interop" build/release/halvorine-convert || status=$?
  # 77: sox, sndfile-convert or ffmpeg is missing here (and CI is not set).
  ((status == 0 || status == 77)) || exit "$status"
fi

# The folder as tools/release.sh zips it, unpacked, to open as a file.
mapfile -t files < <(python3 web/pack.py --list)
mkdir "$work/unzipped"
(cd "$site" && zip -q "$work/web.zip" "${files[@]}") && unzip -q "$work/web.zip" -d "$work/unzipped"

# Each engine in a run of its own: one that fails does not stop the others.
status=0
for engine in "${engines[@]}"; do
  node web/test/browser-test.mjs --engine "$engine" --site "$site" --file-url "file://$work/unzipped/index.html" \
    --native "$root/build/release/halvorine-convert" --work "$work" \
    --inputs "$work/example" --inputs "$work/interop" --inputs "$work/generated" "$@" | tee -a "$work/said" ||
    status=1
done
if grep -q '^table: ' "$work/said"; then
  echo
  echo "engine | input | native s | floor s | page s | page/floor | page/native | memory above idle MiB | per MiB of output | zip s"
  sed -n 's/^table: //p' "$work/said"
fi

# Every request the servers saw was for one of the page's files (in the
# site's folder or in a test's variant of it, one folder down; the page's
# scripts ask by build), or an address the test itself opened (it lists them
# in opened-ENGINE.log).
cat "$work"/opened-*.log 2>/dev/null | sort -u >"$work/opened"
page_files=$(printf '%s|' "${files[@]}" | sed 's/\./\\./g; s/|$//')
strays=$(cat "$work"/server-*.log | grep -oE '"GET [^ ]+' | cut -c6- | sort -u |
  grep -vxE "/([a-z-]+/)?(|$page_files)(\?build=[0-9a-f]+)?" |
  grep -vxFf "$work/opened" || true)
[[ -z $strays ]] || { echo "requests for other paths: $strays" >&2; exit 1; }
echo "server: $(cat "$work"/server-*.log | grep -c '"GET ') requests, all for the page's files"
exit "$status"

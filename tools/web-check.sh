#!/usr/bin/env bash
# Builds the web page (the web preset) and the native program, then converts
# in headless chromium, through the page's own file input: the bundled
# example, every file the interop test has its tools write, the generated
# inputs of web/test/make_inputs.py, and with --big a 256 MiB and a 1 GiB
# input, comparing each with the native program on the same file.
#
#   tools/web-check.sh [--big] [--runs N] [--screenshots DIR]
#
# The page is served by python3 -m http.server on a free loopback port; the
# server's log must show requests for the page's own files only.
source "$(dirname "$0")/prelude.sh"

cmake --preset web >/dev/null
cmake --build --preset web
need_release
site=$root/build/web/site
(cd web/test && npm ci --no-audit --no-fund --loglevel=error)

# Large inputs go to memory where there is room, like the benchmark's.
make_work "$( (($(df --output=avail /dev/shm | tail -n 1) > 8 * 1024 * 1024)) && echo /dev/shm || echo /tmp)"
server=
at_exit '[[ -z $server ]] || kill "$server" 2>/dev/null'

mkdir -p "$work/example" "$work/interop"
cp examples/sim.wav "$work/example/"
python3 web/test/make_inputs.py "$work/generated"
status=0
python3 tests/interop_test.py --keep-inputs "$work/interop" build/release/halvorine-convert || status=$?
# 77: sox, sndfile-convert or ffmpeg is missing here (and CI is not set).
((status == 0 || status == 77)) || exit "$status"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" 2>"$work/server.log" >/dev/null &
server=$!
for _ in $(seq 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/')" 2>/dev/null && break
  sleep 0.1
done

node web/test/browser-test.mjs --url "http://127.0.0.1:$port/" --native "$root/build/release/halvorine-convert" \
  --work "$work" --inputs "$work/example" --inputs "$work/interop" --inputs "$work/generated" "$@"

# Every request the server saw was for one of the page's files.
strays=$(grep -oE '"GET [^ ]+' "$work/server.log" | cut -c6- | sort -u |
  grep -vxE '/(|index\.html|(page|storage|worker|sw|halvorine)\.js|style\.css|halvorine\.wasm|manifest\.webmanifest|icon(\.svg|-192\.png|-512\.png))' || true)
[[ -z $strays ]] || { echo "requests for other paths: $strays" >&2; exit 1; }
echo "server: $(grep -c '"GET ' "$work/server.log") requests, all for the page's files"

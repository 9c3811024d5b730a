#!/usr/bin/env bash
# tools/apt-install.sh against a package manager that fails in the ways a
# mirror does: an update that fails on one index is not fatal when the
# install then works; a package that cannot be installed fails the run and
# is named. apt-get, dpkg-query, sleep and debconf-set-selections are
# stand-ins on PATH here; nothing is installed.
set -euo pipefail
tool=$(cd "$(dirname "$0")/.." && pwd)/tools/apt-install.sh
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
# apt-get: "update" fails when $FAIL_UPDATE is set; "install" of a package
# named nosuch-* fails, as with no candidate.
cat >"$fake/apt-get" <<'FAKE'
#!/bin/sh
echo "apt-get $*" >>"$CALLS"
case " $* " in
  *" update "*) [ -z "$FAIL_UPDATE" ] || { echo "E: File has unexpected size. Mirror sync in progress?" >&2; exit 100; } ;;
  *" nosuch-"*) echo "E: Unable to locate package" >&2; exit 100 ;;
esac
FAKE
printf '#!/bin/sh\nexit 1\n' >"$fake/dpkg-query"  # nothing is installed
# The package lists, fetched ($FRESH set) a minute ago or a day ago.
mkdir -p "$fake/lists/partial"
printf '#!/bin/sh\necho "lists=%s/lists/"\n' "$fake" >"$fake/apt-config"
printf '#!/bin/sh\n' >"$fake/sleep"
printf '#!/bin/sh\ncat >/dev/null\n' >"$fake/debconf-set-selections"
chmod +x "$fake"/*

failed=0
# FAIL_UPDATE FRESH PACKAGES STATUS WORDS UPDATES INSTALLS: the status, words
# in its output, and how many updates and installs were tried.
while IFS='|' read -r fail_update fresh packages status words updates installs; do
  : >"$fake/calls"
  touch -d "$([[ -n $fresh ]] && echo '1 minute ago' || echo '1 day ago')" "$fake/lists/partial"
  got=0
  err=$(CALLS=$fake/calls FAIL_UPDATE=$fail_update PATH=$fake:$PATH "$tool" $packages 2>&1) || got=$?
  got_updates=$(grep -c ' update' "$fake/calls" || true)
  got_installs=$(grep -c 'install -y' "$fake/calls" || true)
  if [[ $got != "$status" || $err != *"$words"* || $got_updates != "$updates" || $got_installs != "$installs" ]]; then
    echo "FAIL: update fails '$fail_update', fresh '$fresh', packages '$packages': status $got, $got_updates updates," \
      "$got_installs installs; stderr: $err" >&2
    failed=$((failed + 1))
  fi
done <<'CASES'
||cmake g++|0||1|1
1||cmake g++|0|going on with the package lists there are|3|1
||cmake nosuch-pkg g++|1|cannot install: nosuch-pkg|2|2
1||nosuch-a cmake nosuch-b|1|cannot install: nosuch-a nosuch-b|6|2
|1|cmake g++|0|less than ten minutes old|0|1
1|1|nosuch-pkg|1|cannot install: nosuch-pkg|3|2
CASES
echo "$((6 - failed)) passed, $failed failed"
((failed == 0))

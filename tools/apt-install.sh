#!/usr/bin/env bash
# Installs those of the Debian packages named that are not installed yet, with
# apt-get, as root (tools/setup.sh runs it through sudo).
#
#   tools/apt-install.sh PACKAGE...
#
# A mirror that is mid-sync or stale fails `apt-get update` on one index now
# and then ("File has unexpected size ... Mirror sync in progress?") while
# every other index is fresh. So the update is tried a few times, and a
# failed update is not fatal: the install goes ahead with the lists there are.
# Only a failed install fails, after one more update and try, and then it
# names each package that cannot be installed.
set -uo pipefail
missing=()
for p; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
export DEBIAN_FRONTEND=noninteractive

# Lists fetched in the last ten minutes (tools/setup.sh's, just before) are
# fresh enough: apt works in the lists' partial/ folder as it fetches. After
# a failed install they are fetched all the same.
lists=/var/lib/apt/lists/
eval "$(apt-config shell lists Dir::State::lists/d)"
update() {
  local try
  if [[ ${1-} != again && -n $(find "${lists}partial" -maxdepth 0 -mmin -10 2>/dev/null) ]]; then
    echo "apt-install: the package lists are less than ten minutes old"
    return 0
  fi
  for try in 1 2 3; do
    apt-get update -q && return 0
    echo "apt-install: apt-get update failed (try $try of 3)" >&2
    ((try == 3)) || sleep $((try * 5))
  done
  echo "apt-install: going on with the package lists there are" >&2
  return 1
}
options=(-y -q --no-install-recommends)
if [[ -n ${CI-} ]]; then
  # CI's machine is used once: no file needs syncing to disk as it is
  # unpacked, and no manual page index is needed.
  options+=(-o Dpkg::Options::=--force-unsafe-io)
  echo 'man-db man-db/auto-update boolean false' | debconf-set-selections
fi
install() { apt-get install "${options[@]}" "$@"; }

update
install "${missing[@]}" && exit 0
# A list from a stale index may name a file the mirror has since replaced.
echo "apt-install: the install failed; updating and trying once more" >&2
update again
install "${missing[@]}" && exit 0

# Say which: each package alone, as apt-get would install it now.
cannot=()
for p in "${missing[@]}"; do
  apt-get install -s "${options[@]}" "$p" >/dev/null 2>&1 || cannot+=("$p")
done
if ((${#cannot[@]})); then
  echo "apt-install: cannot install: ${cannot[*]}" >&2
else
  echo "apt-install: each package can be installed alone, but not all together: ${missing[*]}" >&2
fi
exit 1

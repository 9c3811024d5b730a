#!/usr/bin/env bash
# Shows that tools/release.sh is reproducible: runs it in two clones of HEAD,
# in folders of different names and depths, side by side and under different
# umasks, and compares their SHA256SUMS. On a difference, prints
# diffoscope's account of the first file that differs. When they are the
# same, leaves the release in dist/ (as tools/release.sh would). Needs what
# tools/release.sh needs, and diffoscope-minimal.
source "$(dirname "$0")/prelude.sh"
commit=$(git -C "$root" rev-parse HEAD)
make_work
runs=(a/x b/yy)
umasks=(022 002)
# The package's own tests and the checks of each artifact run in the first
# build; the second is for its bytes, which must be the first's.
checks=("" nocheck)
pids=()
for i in 0 1; do
  clone=$work/${runs[i]}
  git clone -q "$root" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  (umask "${umasks[i]}" && DEB_BUILD_OPTIONS=${checks[i]} "$clone/tools/release.sh") >"$clone.log" 2>&1 &
  pids+=($!)
done
status=0
for i in 0 1; do
  wait "${pids[i]}" || status=1
  clone=$work/${runs[i]}
  echo "== release from $clone"
  cat "$clone.log"
  [[ ! -d $clone/dist ]] || (cd "$clone/dist" && ls -l --time-style=+ | awk 'NR > 1 { print $5, $NF }')
done
((status == 0)) || { echo "a release failed" >&2; exit 1; }
first=$work/${runs[0]}/dist second=$work/${runs[1]}/dist
# The installer above all: plain wixl would give it a new package code and
# time on every build.
grep -q -- '-win64\.msi$' "$first/SHA256SUMS" || { echo "the release holds no installer" >&2; exit 1; }
if ! cmp -s "$first/SHA256SUMS" "$second/SHA256SUMS"; then
  diff "$first/SHA256SUMS" "$second/SHA256SUMS" || true
  file=$(diff <(sort "$first/SHA256SUMS") <(sort "$second/SHA256SUMS") | awk '/^[<>]/ { print $3; exit }')
  diffoscope --text - "$first/$file" "$second/$file" | head -n 200 || true
  echo "the two releases differ" >&2
  exit 1
fi
rm -rf "$root/dist"
cp -a "$first" "$root/dist"
echo "reproducible: both releases give the same SHA256SUMS; the release is in $root/dist"

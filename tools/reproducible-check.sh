#!/usr/bin/env bash
# Shows that tools/release.sh is reproducible: runs it in two clones of HEAD,
# in folders of different names and depths, one after the other and under
# different umasks, and compares their SHA256SUMS. On a difference, prints
# diffoscope's account of the first file that differs. When they are the
# same, leaves the release in dist/ (as tools/release.sh would). Needs what
# tools/release.sh needs, and diffoscope-minimal.
source "$(dirname "$0")/prelude.sh"
commit=$(git -C "$root" rev-parse HEAD)
make_work
runs=(a/x b/yy)
umasks=(022 002)
for i in 0 1; do
  clone=$work/${runs[i]}
  git clone -q "$root" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  echo "== release from $clone"
  (umask "${umasks[i]}" && "$clone/tools/release.sh")
  (cd "$clone/dist" && ls -l --time-style=+ | awk 'NR > 1 { print $5, $NF }')
done
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

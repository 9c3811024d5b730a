#!/usr/bin/env bash
# Runs the README's two commands as a new user would: in a fresh Debian 12
# root (mmdebstrap --variant=apt: apt and the essential packages, no compiler,
# no CMake), with the committed sources copied in and a clean environment,
# through chroot. Both must succeed, and the example must be converted.
# mmdebstrap mounts /proc, /sys and /dev for its hooks and removes the mounts
# after. Needs: mmdebstrap, and a Debian mirror (deb.debian.org) on the network.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git archive --format=tar --prefix=halvorine-convert/ HEAD >"$work/source.tar"

# The two commands, as the README gives them.
commands=$(awk '/^```sh$/ { block = 1; next } /^```$/ { if (block) n++; block = 0; if (n == 2) exit; next }
                block' README.md)
[[ $(wc -l <<<"$commands") == 2 ]] || { echo "the README does not start with two commands" >&2; exit 1; }
printf '%s\n' "$commands"

start=$SECONDS
mmdebstrap --variant=apt --quiet \
  --customize-hook="tar -xf '$work/source.tar' -C \"\$1/root\"" \
  --customize-hook="chroot \"\$1\" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
      bash -euxc 'cd /root/halvorine-convert; $(sed 's/$/;/' <<<"$commands" | tr '\n' ' ') test -s examples/halvorine-sim.ddc'" \
  bookworm "$work/root"
echo "fresh root: both README commands passed in $((SECONDS - start)) s (mmdebstrap included)"

#!/usr/bin/env bash
# Runs the README's two commands as a new user would: in a fresh Debian 12
# root (mmdebstrap --variant=apt: apt and the essential packages, no compiler,
# no CMake), with the committed sources copied in and a clean environment,
# through chroot. Both must succeed, and the example must be converted; the
# sanitizer build they made then runs the interoperability test out here. Then,
# if tools/release.sh has made dist/, the native .deb is installed there with
# apt, as the README's Install section says, and its autopkgtest run against
# the installed program.
# mmdebstrap mounts /proc, /sys and /dev for its hooks and removes the mounts
# after. Needs: mmdebstrap, and a Debian mirror (deb.debian.org) on the network.
#
#   tools/fresh-root-check.sh [--readme | --package | --fetch]
#
# --readme runs the README's commands alone, --package installs the .deb
# alone (each in a root of its own), so that CI can run the first while the
# release is being made.
#
# The root is Debian 12 from mmdebstrap's mirrors for it (bookworm, its
# updates and its security suite, as this machine's), and takes the packages
# this machine's apt has kept (/var/cache/apt/archives, linked in): apt
# verifies each against the root's own lists, and fetches what is missing or
# of another version. --fetch downloads into that cache, without installing
# anything here, the packages a fresh root needs: its base and what
# tools/setup.sh installs for the tests.
source "$(dirname "$0")/prelude.sh"
what=${1:---readme --package}
archives=/var/cache/apt/archives/
eval "$(apt-config shell archives Dir::Cache::archives/d)"

if [[ $what == --fetch ]]; then
  # As if nothing were installed, from this machine's package lists: the
  # upgrade is mmdebstrap's way to the essential packages and apt, and the
  # install what tools/setup.sh test asks for, without recommends as it asks.
  empty=$(mktemp)
  at_exit 'rm -f "$empty"'
  read -ra tests < <(sed -n 's/^ *test) packages=(\(.*\)) ;;$/\1/p' tools/setup.sh)
  ((${#tests[@]})) || { echo "tools/setup.sh names no packages for the tests" >&2; exit 1; }
  fetch=(apt-get -q -y --download-only --no-install-recommends -o Dir::State::status="$empty"
         -o APT::Architectures="$(dpkg --print-architecture)")
  # Only a saving: a root fetches whatever is not here.
  "${fetch[@]}" dist-upgrade && "${fetch[@]}" install apt "${tests[@]}" ||
    echo "fresh root: fetching failed; each root fetches what it needs" >&2
  echo "fresh root: $(ls "$archives" | grep -c '\.deb$') packages in $archives"
  exit 0
fi
make_work
git archive --format=tar --prefix=halvorine-convert/ HEAD >"$work/source.tar"
deb=
[[ $what != *--package* ]] || deb=$(ls dist/halvorine-convert_*_"$(dpkg --print-architecture)".deb 2>/dev/null || true)
[[ $what != --package || -n $deb ]] || { echo "no .deb in dist/: run tools/release.sh first" >&2; exit 1; }

# The two commands, as the README gives them.
commands=$(awk '/^```sh$/ { block = 1; next } /^```$/ { if (block) n++; block = 0; if (n == 2) exit; next }
                block' README.md)
[[ $(wc -l <<<"$commands") == 2 ]] || { echo "the README does not start with two commands" >&2; exit 1; }
printf '%s\n' "$commands"

# What runs in the root, by bash -c in the sources' folder: the commands,
# and the package if there is one. (No single quotes in them.)
readme="$(sed 's/$/;/' <<<"$commands" | tr '\n' ' ') test -s examples/halvorine-sim.ddc;"
readme+=' echo "the README commands took $SECONDS s"'
[[ $what == *--readme* ]] || readme=true
package=true
if [[ -n $deb ]]; then
  cp "$deb" "$work/"
  package="apt-get install -y -q /root/${deb##*/} && AUTOPKGTEST_TMP=\$(mktemp -d) debian/tests/convert-example"
fi
in_root='chroot "$1" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin bash -euxc'

start=$SECONDS
# The root's own download can meet a mirror mid-sync: that is tried again, up
# to three times. Once the root is made, what runs in it is the test.
for try in 1 2 3; do
  rm -rf "$work/root" "$work/made"
  status=0
  # Linked rather than copied: the cache and the root share a file system
  # here; where they do not, the root fetches it all.
  mmdebstrap --variant=apt --quiet \
    --setup-hook="mkdir -p \"\$1$archives\" && { ln -f '$archives'*.deb \"\$1$archives\" 2>/dev/null || true; }" \
    --customize-hook="touch '$work/made'" \
    --customize-hook="tar -xf '$work/source.tar' -C \"\$1/root\"" \
    --customize-hook="$in_root 'cd /root/halvorine-convert; $readme'" \
    --customize-hook="cp $work/*.deb \"\$1/root/\" 2>/dev/null || true" \
    --customize-hook="$in_root 'cd /root/halvorine-convert; $package'" \
    bookworm "$work/root" || status=$?
  ((status != 0)) || break
  [[ ! -e $work/made ]] || exit "$status"
  echo "fresh root: making the root failed (try $try of 3)" >&2
  ((try < 3)) || exit "$status"
  sleep $((try * 10))
done
done=()
if [[ $what == *--readme* ]]; then
  done+=("both README commands passed")
  # The sanitizer build that the README's second command made, on the files
  # of other programs' writers (tests/interop_test.py): here, since a fresh
  # root has none of them, and it skips (77) where this machine has none and
  # CI is not set. So CI makes the sanitizer build once, in the root.
  status=0
  python3 tests/interop_test.py "$work/root/root/halvorine-convert/build/asan/halvorine-convert" || status=$?
  ((status == 0 || status == 77)) || exit "$status"
  ((status == 77)) || done+=("its sanitizer build converted the other writers' files")
fi
[[ -z $deb ]] || done+=("$deb installed and converted the example")
echo "fresh root: $(printf '%s; ' "${done[@]}")$((SECONDS - start)) s in all"

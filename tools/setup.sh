#!/usr/bin/env bash
# Installs what building the program ("build") or building it and running
# every test ("test") needs, when it is missing, with apt-get on Debian or
# Ubuntu (tools/apt-install.sh); as root, or through sudo. Says what it
# installs before it does.
source "$(dirname "$0")/prelude.sh"
case ${1-} in
  build) packages=(cmake make g++) ;;
  test) packages=(cmake make g++ libgtest-dev) ;;
  *) echo "usage: $0 build|test" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
sudo=()
((EUID == 0)) || sudo=(sudo)
echo "Installing with ${sudo[*]:+sudo }apt-get: ${missing[*]}"
"${sudo[@]}" "$root/tools/apt-install.sh" "${missing[@]}"

#!/usr/bin/env bash
# The drop target's desktop entry ($1): valid by desktop-file-validate when
# that is installed (CI installs it), run in a terminal on the files chosen,
# and offered for WAV recordings alone: a folder type would put it on every
# folder's menu.
set -euo pipefail
entry=$1
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry"
elif [[ -n ${CI-} ]]; then
  echo "desktop-file-validate is missing (desktop-file-utils)" >&2
  exit 1
fi
value() { sed -n "s/^$1=//p" "$entry"; }
fail() { echo "$entry: $*" >&2; exit 1; }
[[ $(value Type) == Application ]] || fail "Type is $(value Type)"
[[ $(value Terminal) == true ]] || fail "Terminal is $(value Terminal)"
[[ $(value Exec) == "halvorine-drop %F" ]] || fail "Exec is $(value Exec)"
types=$(value MimeType)
[[ -n $types ]] || fail "no MimeType"
for type in ${types//;/ }; do
  case $type in
    audio/wav | audio/x-wav | audio/vnd.wave) ;;
    *) fail "MimeType lists $type" ;;
  esac
done
if command -v desktop-file-validate >/dev/null; then exit 0; fi
exit 77

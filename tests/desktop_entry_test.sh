#!/usr/bin/env bash
# The drop target's desktop entry ($1): valid, run in a terminal on the files
# chosen, offered for WAV types alone (a folder type would put it on every
# folder's menu). Skipped (77) without desktop-file-validate, except in CI.
set -euo pipefail
value() { sed -n "s/^$1=//p" "$entry"; }
fail() { echo "$entry: $*" >&2; exit 1; }
entry=$1
[[ $(value Type)/$(value Terminal)/$(value Exec) == "Application/true/halvorine-drop %F" ]] ||
  fail "runs $(value Type)/$(value Terminal)/$(value Exec)"
for type in $(value MimeType | tr ';' ' ') ''; do
  [[ $type == @(audio/wav|audio/x-wav|audio/vnd.wave) ]] || [[ -z $type && -n $(value MimeType) ]] ||
    fail "MimeType lists '$type'"
done
command -v desktop-file-validate >/dev/null || { [[ -n ${CI-} ]] && fail "no desktop-file-validate"; exit 77; }
desktop-file-validate "$entry"

#!/usr/bin/env bash
# Makes the Windows installer: tools/msi.sh FOLDER VERSION OUT.msi, where
# FOLDER holds halvorine-convert.exe, halvorine-drop.exe, halvorine-dropw.exe,
# README.txt and LICENSE.txt. tools/release.sh makes the release's with it, and
# tools/windows-check.sh an older and a newer one to upgrade between.
#
# The same files give the same bytes: wixl would otherwise write a random
# package code, the wall-clock time into the summary information and each
# file's own time into the cabinet, so all three are taken from
# SOURCE_DATE_EPOCH (the changelog's date; tools/release.sh sets it).
# Needs: wixl msitools faketime python3.
set -euo pipefail
[[ $# == 3 ]] || { echo "usage: $0 FOLDER VERSION OUT.msi" >&2; exit 2; }
files=$(cd "$1" && pwd) version=$2 out=$(realpath -m "$3")
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"
wxs=$(cd "$(dirname "$0")/.." && pwd)/windows/halvorine-convert.wxs

# A name-based UUID: the same text gives the same code.
uuid() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.NAMESPACE_URL, sys.argv[1])).upper())' "$1"; }
# A new version is a new product (a major upgrade, so it replaces the older
# one); each different package gets its own package code.
product=$(uuid "halvorine-convert product $version")
package=$(uuid "halvorine-convert package $version $SOURCE_DATE_EPOCH $(cd "$files" && sha256sum -- * | sha256sum)")

touch -d "@$SOURCE_DATE_EPOCH" "$files"/*
# faketime's fixed form: the clock stands still for the whole run.
at=$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
rm -f "$out"
# wixl takes the files' paths relative to the folder it runs in.
(cd "$files" && TZ=UTC faketime -f "$at" wixl -a x64 -D Version="$version" -D ProductCode="$product" \
  -D PackageCode="$package" -D Files=. -o "$out" "$wxs")
TZ=UTC faketime -f "$at" msibuild "$out" -s halvorine-convert "halvorine-convert developers" "x64;1033" "{$package}"

# The install folder on the system PATH: '=' sets the variable, '-' takes the
# part added away again on uninstall, '*' makes it the machine's; "[~]" stands
# for what PATH already holds, so the folder goes at its end.
TZ=UTC faketime -f "$at" msibuild "$out" -q "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL LOCALIZABLE, \`Value\` CHAR(255) LOCALIZABLE, \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)" \
  -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('PATH', '=-*PATH', '[~];[INSTALLDIR]', 'Convert')" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"

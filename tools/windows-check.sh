#!/usr/bin/env bash
# Builds the Windows executables (mingw-w64) and runs the end-to-end and
# interoperability tests against them under wine: the same bytes, messages and
# statuses as the native build, names in any script included, plus wildcard
# expansion by the program itself and names shown whole on a console. The
# installer is installed in a fresh prefix first (files, right-click entries,
# shortcut, PATH), the drop target is tested as installed: started by the
# folder background's command as Explorer starts it (a folder of recordings,
# a memory card's root as drive E:), by the entries on files and folders as
# Explorer calls their class (tests/choose_entry.cpp: one file, 150 and
# 1,000 chosen at once, folders with a drive's root, two selections at once,
# an activation with no Drop; each window read as a person sees it), and
# typed in a console; then the installer must leave nothing behind, replace an older
# version and refuse to replace a newer one.
# Needs: g++-mingw-w64-x86-64-posix wine64 wixl msitools faketime xvfb, and
# the release build's drop target and tests.
source "$(dirname "$0")/prelude.sh"
wine=/usr/lib/wine/wine64

cmake --preset windows >/dev/null
cmake --build --preset windows
exe=$PWD/build/windows/halvorine-convert.exe
# Windows' own DLLs only (ole32 and user32: the drop target's COM class).
for program in "$exe" build/windows/halvorine-drop.exe build/windows/halvorine-dropw.exe; do
  if x86_64-w64-mingw32-objdump -p "$program" | grep -i "DLL Name" | grep -viE "kernel32|msvcrt|ole32|user32"; then
    echo "$program needs DLLs beyond the system's" >&2
    exit 1
  fi
done
need_release tests/e2e_tests

make_work
WINEPREFIX=$(mktemp -d)
# No Mono or Gecko: nothing here needs them, and there is no network to fetch
# them; no menu entries or desktop files for this machine either. The
# prefix's desktop is $HOME, so that is a fresh folder too.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" HOME=$work/home
mkdir "$HOME"
# wine takes arguments and file names in the locale's character set; in the C
# locale every byte beyond ASCII would be lost before the program sees it.
export LC_ALL=C.UTF-8
# One wineserver for every run, started before them and waited for at the
# end: a server that starts and stops with each run may go away under the
# next one.
wineserver=/usr/lib/wine/wineserver
"$wineserver" -p
at_exit '"$wineserver" -k 2>/dev/null; "$wineserver" -w; rm -rf "$WINEPREFIX"'
"$wine" wineboot --init >/dev/null 2>&1

# Whether a line of file $1 starts with one of wine's own messages for a
# server it lost or could not reach (tests/wine_faults.txt).
wine_fault() {
  awk 'NR == FNR { if ($0 != "") message[n++] = $0; next }
       { for (i = 0; i < n; i++) if (index($0, message[i]) == 1) found = 1 }
       END { exit !found }' "$root/tests/wine_faults.txt" "$1"
}
# wine_run DIR OUT ERR COMMAND...: runs COMMAND in folder DIR, its stdout to
# OUT and its stderr to ERR. A run that printed nothing and failed on wine's
# own account is run once more on a fresh copy of DIR as it was before; what
# that gives stands.
wine_run() {
  local dir=$1 out=$2 err=$3 status=0
  shift 3
  rm -rf "$dir.before" && cp -a "$dir" "$dir.before"
  (cd "$dir" && "$@" >"$out" 2>"$err") || status=$?
  if [[ ! -s $out ]] && wine_fault "$err"; then
    echo "wine failed, not the program ($(head -n 1 "$err")): once more" >&2
    rm -rf "$dir" && cp -a "$dir.before" "$dir"
    status=0
    (cd "$dir" && "$@" >"$out" 2>"$err") || status=$?
  fi
  rm -rf "$dir.before"
  return "$status"
}

fail() { echo "$*" >&2; exit 1; }
# The installer as tools/release.sh makes it, and the same files as an
# older version to upgrade from.
version=$(dpkg-parsechangelog -SVersion)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -STimestamp)
export SOURCE_DATE_EPOCH
files=$work/files
mkdir "$files"
windows_files "$root" "$files"
tools/msi.sh "$files" "$version" "$work/new.msi"
tools/msi.sh "$files" 1.0.0 "$work/old.msi"
x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Werror -O2 -municode -static -s \
  tests/start_command.cpp -o "$work/start_command.exe"
x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Werror -O2 -municode -static -s \
  tests/choose_entry.cpp -o "$work/choose_entry.exe" -lole32 -luuid

folder='C:\Program Files\halvorine-convert'
installed_files=$WINEPREFIX/drive_c/Program\ Files/halvorine-convert
shortcut="$HOME/Convert to Halvorine (.ddc).lnk"
verb_key='HKLM\Software\Classes\SystemFileAssociations\.wav\shell\halvorine-convert'
folder_key='HKLM\Software\Classes\Directory\shell\halvorine-convert'
background_key='HKLM\Software\Classes\Directory\Background\shell\halvorine-convert'
class_key='HKLM\Software\Classes\CLSID\{D5C6678E-DD71-420B-8F4F-0A43148FB5BA}'
msiexec() { "$wine" msiexec "$@" /qn; }
# The data of one registry value (reg query's arguments).
reg_value() { "$wine" reg query "$@" 2>/dev/null | tr -d '\r' | sed -n 's/^ *[^ ].*REG_[A-Z_]*  *//p'; }
system_path() { reg_value 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH; }
# The version of each entry of ours in Apps & features, one a line.
installed() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { if (name == "halvorine-convert") print version; name = version = "" }
         $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
         END { if (name == "halvorine-convert") print version }'
}
same_files() {
  for f in halvorine-convert.exe halvorine-drop.exe halvorine-dropw.exe README.txt LICENSE.txt; do
    cmp -s "$installed_files/$f" "$files/$f" || fail "$f is not installed as built"
  done
}
# The system PATH as the installer found it, then with the folder taken off
# $1 times: wine's msiexec, taking off a value appended with "[~];", leaves
# the ';' (a package holding nothing but such a PATH entry does the same),
# where Windows Installer takes both. Anything else on the PATH is a fault.
path_before=$(system_path)
path_after() { printf '%s' "$path_before" && printf ';%.0s' $(seq "$1"); }
# Nothing of ours left after $1 removals: no file, key, shortcut, PATH entry
# or Apps & features entry.
nothing_left() {
  [[ ! -e $installed_files ]] || fail "uninstalled, but the files are left: $(ls "$installed_files")"
  for key in "$verb_key" "$folder_key" "$background_key" "$class_key"; do
    [[ -z $(reg_value "$key" /ve) ]] || fail "uninstalled, but the right-click entry $key is left"
  done
  [[ ! -e $shortcut ]] || fail "uninstalled, but the shortcut is left"
  [[ $(system_path) == "$(path_after "$1")" ]] || fail "uninstalled, but PATH is $(system_path)"
  [[ -z $(installed) ]] || fail "uninstalled, but Apps & features lists $(installed)"
}
# The Windows form of path $1 on this machine.
windows_path() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }
# Command line $1 with its placeholder $2 (%1, %V) replaced by $3.
with_path() { printf '%s' "${1%%"$2"*}$3${1#*"$2"}"; }
# The console program run on each recording under folder $1, in its folder.
convert_natively() {
  local file
  while IFS= read -r -d '' file; do
    (cd "$(dirname "$file")" && "$root/build/release/halvorine-convert" "$(basename "$file")" >/dev/null)
  done < <(find "$1" -type f -iname '*.wav' -print0)
}

msiexec /i "$work/new.msi" || fail "the installer failed"
same_files
# Each right-click entry: its name, and its class or command read back. The
# entries on files and folders name the class, whose server is the drop
# target for clicks, and hold no command line.
drop="\"$folder\\halvorine-dropw.exe\""
background_verb=$(reg_value "$background_key\command" /ve)
for key in "$verb_key" "$folder_key"; do
  [[ $(reg_value "$key\DropTarget" /v CLSID) == "{D5C6678E-DD71-420B-8F4F-0A43148FB5BA}" &&
    -z $(reg_value "$key\command" /ve) ]] || fail "$key names no class"
done
[[ $(reg_value "$class_key\LocalServer32" /ve) == "$drop" ]] ||
  fail "the class's server is $(reg_value "$class_key\LocalServer32" /ve)"
[[ $background_verb == "$drop \"%V\"" ]] || fail "the folder background's right-click entry runs $background_verb"
[[ $(reg_value "$verb_key" /ve) == "Convert to Halvorine (.ddc)" ]] || fail "the right-click entry is not named"
for key in "$folder_key" "$background_key"; do
  [[ $(reg_value "$key" /ve) == "Convert recordings to Halvorine" ]] || fail "$key is not named"
done
[[ $(system_path) == "$path_before;$folder\\" ]] || fail "installed, PATH is $(system_path)"
[[ -f $shortcut ]] || fail "no shortcut on the desktop"
grep -aqF 'halvorine-convert\halvorine-dropw.exe' "$shortcut" || fail "the shortcut does not start the build for clicks"
[[ $(installed) == "$version" ]] || fail "Apps & features lists $(installed)"
# A new command prompt finds the console program on the PATH, and it converts.
mkdir "$work/path" "$work/path-native"
cp examples/sim.wav "$work/path/"
cp examples/sim.wav "$work/path-native/"
wine_run "$work/path" "$work/path.out" "$work/path.err" "$wine" cmd /c "halvorine-convert sim.wav"
(cd "$work/path-native" && "$root/build/release/halvorine-convert" sim.wav >/dev/null)
cmp "$work/path/halvorine-sim.ddc" "$work/path-native/halvorine-sim.ddc"

# The drop target is tested as installed, given files as a drop on its
# shortcut gives them.
HALVORINE_CONVERT_RUNNER=$wine HALVORINE_CONVERT_EXE=$exe HALVORINE_CONVERT_WINDOWS=1 \
  HALVORINE_DROP_VERB="$drop \"%1\"" HALVORINE_DROP_EXE="$folder\halvorine-dropw.exe" \
  HALVORINE_START_COMMAND=$work/start_command.exe build/release/tests/e2e_tests

# The background entry in a folder of 200 recordings (%V, the folder
# shown): each recording converts to the bytes the
# console program writes in its folder, and nothing else is written.
python3 tools/wavgen.py names "$work/tree" 200
cp -a "$work/tree" "$work/tree-native"
convert_natively "$work/tree-native"
# Then on a memory card's root, drive E: (a folder here), as Explorer
# gives it: "E:\", which the C runtime would read as E:". Only the card's
# recordings convert, the one that is no WAV file fails without keeping
# take.wav, whose output it names, from converting, and the rest is passed
# over: "._" companions, the trash, the system's folders, and Hidden, which
# wine hides as Windows does.
python3 tools/wavgen.py card "$work/card"
cp -a "$work/card" "$work/card-native"
for recording in "001 Field.wav" REC/Interview.WAV REC/2024-05/take.wav; do
  (cd "$work/card-native/$(dirname "$recording")" &&
    "$root/build/release/halvorine-convert" "$(basename "$recording")" >/dev/null)
done
card_said="3 converted, 1 failed
  E:\\REC\\2024-05\\take.edit.wav: Error in .wav file header [1]
9 skipped: hidden or system 8, not .wav files 1
Press a key to close this window."
for entry in background; do
  entry_verb=$background_verb placeholder=%V
  command=$(with_path "$entry_verb" $placeholder "$(windows_path "$work/$entry")")
  cp -a "$work/tree" "$work/$entry"
  wine_run "$work/$entry" "$work/$entry.out" "$work/$entry.err" "$wine" "$work/start_command.exe" "$command" </dev/null ||
    fail "the $entry entry failed: $(cat "$work/$entry.out")"
  diff -r "$work/tree-native" "$work/$entry" >&2 || fail "the $entry entry's outputs are not the console program's"
  grep -qx "200 converted, 0 failed" "$work/$entry.out" || fail "the $entry entry said: $(cat "$work/$entry.out")"

  card=$work/card-$entry
  cp -a "$work/card" "$card"
  ln -sfn "$card" "$WINEPREFIX/dosdevices/e:"
  "$wine" cmd /c 'attrib +h E:\Hidden' >/dev/null 2>&1 || fail "attrib +h E:\\Hidden failed"
  [[ $("$wine" cmd /c 'attrib E:\Hidden' 2>/dev/null) == *"H "*'E:\Hidden'* ]] || fail "wine did not hide E:\\Hidden"
  status=0
  wine_run "$card" "$card.out" "$card.err" "$wine" "$work/start_command.exe" \
    "$(with_path "$entry_verb" $placeholder 'E:\')" </dev/null || status=$?
  [[ $status == 1 ]] || fail "the $entry entry on E:\\ ended with $status: $(cat "$card.out")"
  diff -r "$work/card-native" "$card" >&2 || fail "the $entry entry on E:\\ wrote other files than the console program"
  [[ $(sed -n '/ converted, [0-9]* failed$/,$p' "$card.out") == "$card_said" ]] ||
    fail "the $entry entry on E:\\ said: $(cat "$card.out")"
done
rm "$WINEPREFIX/dosdevices/e:"

# The entries on files and folders are DropTarget verbs: choose_entry does
# what Explorer does (the class named under the verb's key, started as a
# local server, DragEnter and Drop with the selection), then reads the
# window each selection's drop target opens, here under an X server of its
# own, as a person would, and presses its key. choose KEY NAME...: each
# $work/NAME.list chosen at once, its window's screen in
# $work/NAME.list.screen, "LIST PROCESSES STATUS" for each in
# $work/choose.out.
# COM needs wine's RpcSs, which this prefix, installed into while its first
# services started, may hold two services.exe of and never start: a fresh
# server, on the prefix as installed, starts one.
"$wineserver" -k 2>/dev/null
"$wineserver" -w
"$wineserver" -p
Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" 2>/dev/null &
at_exit "kill $!"
until [[ -s $work/display ]]; do sleep 0.1; done
display=:$(head -n 1 "$work/display")
choose() {
  local key=$1
  shift
  local lists=()
  for name; do lists+=("$(windows_path "$work/$name.list")"); done
  (cd "$work" && DISPLAY=$display timeout 1200 "$wine" "$work/choose_entry.exe" "$key" "${lists[@]}" \
    >"$work/choose.out" 2>"$work/choose.err" </dev/null) || fail "choose_entry failed: $(cat "$work/choose.err")"
  sed -i 's/\r$//' "$work/choose.out"
  sed -n 's/^Z:.*\\\([^\\]*\)\.list: /\1: /p' "$work/choose.err" >&2
}
# chose NAME PROCESSES STATUS: NAME's selection started that many processes,
# the last ending with that status.
chose() {
  [[ $(list=$(windows_path "$work/$1.list") awk '$1 == ENVIRON["list"] { print $2, $3 }' "$work/choose.out") == "$2 $3" ]] ||
    fail "$1: $(cat "$work/choose.out" "$work/choose.err")"
}
# selection NAME PATH...: NAME's list, the paths in their Windows form ("?"
# as it is: an item with no path).
selection() {
  local name=$1 path
  shift
  for path; do if [[ $path == "?" ]]; then echo "?"; else windows_path "$path"; echo; fi; done >"$work/$name.list"
}
wav_key='Software\Classes\SystemFileAssociations\.wav\shell\halvorine-convert'
dir_key='Software\Classes\Directory\shell\halvorine-convert'

# One file, with an item from a phone beside it: the window's lines are the
# native drop target's, then the item with no path, counted as failed.
mkdir "$work/one"
cp examples/sim.wav "$work/one/take.wav"
selection one "$work/one/take.wav" "?"
choose "$wav_key" one
chose one 1 1
cmp "$work/one/halvorine-take.ddc" "$work/path-native/halvorine-sim.ddc" || fail "the one file's output"
[[ $(cat "$work/one.list.screen") == "
 Convert take.wav to Halvorine format (halvorine-take.ddc)


Not converted: items chosen that are not files on a drive (on a phone, or inside a zip folder): 1.

1 converted, 1 failed
  Not converted: items chosen that are not files on a drive (on a phone, or inside a zip folder): 1.
Press a key to close this window." ]] || fail "the window of one file showed: $(cat "$work/one.list.screen")"

# 150 files in five folders and 1,000 in one, chosen at once; then folders
# and a drive's root (E:, a folder here) from the folder entry: one process
# each, every file converted once, to the console program's bytes.
python3 tools/wavgen.py names "$work/many" 150
cp -a "$work/many" "$work/many-native"
convert_natively "$work/many-native"
mkdir "$work/thousand"
for i in $(seq 1000); do cp examples/sim.wav "$work/thousand/t$i.wav"; done
mapfile -d '' many < <(find "$work/many" -type f -iname '*.wav' -print0)
selection many "${many[@]}"
mapfile -d '' thousand < <(find "$work/thousand" -type f -print0)
selection thousand "${thousand[@]}"
choose "$wav_key" many thousand
chose many 1 0
chose thousand 1 0
diff -r "$work/many-native" "$work/many" >&2 || fail "the 150 files' outputs are not the console program's"
[[ $(sed "/^$/d" "$work/many.list.screen" | tail -n 2) == $'150 converted, 0 failed\nPress a key to close this window.' ]] ||
  fail "the window of 150 files ended: $(tail -n 3 "$work/many.list.screen")"
[[ $(sed "/^$/d" "$work/thousand.list.screen" | tail -n 2) == $'1000 converted, 0 failed\nPress a key to close this window.' ]] ||
  fail "the window of 1,000 files ended: $(tail -n 3 "$work/thousand.list.screen")"
for i in $(seq 1000); do cmp -s "$work/thousand/halvorine-t$i.ddc" "$work/path-native/halvorine-sim.ddc" ||
  fail "t$i.wav's output"; done
cp -a "$work/card" "$work/card-chosen"
ln -sfn "$work/card-chosen" "$WINEPREFIX/dosdevices/e:"
"$wine" cmd /c 'attrib +h E:\Hidden' >/dev/null 2>&1 || fail "attrib +h E:\\Hidden failed"
cp -a "$work/tree" "$work/folders"
selection folders "$work/folders"
echo 'E:\' >>"$work/folders.list"
choose "$dir_key" folders
chose folders 1 1
rm "$WINEPREFIX/dosdevices/e:"
diff -r "$work/card-native" "$work/card-chosen" >&2 || fail "the folder entry on E:\\ wrote other files than the console program"
diff -r "$work/tree-native" "$work/folders" >&2 || fail "the folder entry's outputs are not the console program's"
grep -qx "203 converted, 1 failed" "$work/folders.list.screen" ||
  fail "the window of a folder and E:\\ ended: $(tail -n 4 "$work/folders.list.screen")"

# Two selections at once: two processes, each window with its own files.
for name in first second; do
  mkdir "$work/$name"
  for i in 1 2 3; do cp examples/sim.wav "$work/$name/$name$i.wav"; done
  selection "$name" "$work/$name"/*.wav
done
choose "$wav_key" first second
chose first 1 0
chose second 1 0
for name in first second; do
  [[ $(grep -o '^ Convert [a-z]*' "$work/$name.list.screen" | sort -u) == " Convert $name" &&
    $(grep -c '^ Convert ' "$work/$name.list.screen") == 3 ]] ||
    fail "the window of $name showed: $(cat "$work/$name.list.screen")"
done

# Started by COM with no Drop to follow: it ends by itself, unseen.
(DISPLAY=$display timeout 300 "$wine" "$work/choose_entry.exe" "$wav_key" </dev/null >"$work/nodrop.out" 2>&1) ||
  fail "choose_entry failed with no Drop: $(cat "$work/nodrop.out")"
[[ $(tr -d '\r' <"$work/nodrop.out") == "1 processes, status 0" ]] ||
  fail "activated with no Drop, the drop target: $(cat "$work/nodrop.out")"

# Typed in a console: the console build, found on the PATH, with its output
# redirected, gives the native drop target's bytes and status, and cmd waits
# for it. The build for clicks, on a console, shows the first file's lines
# at once.
typed=$work/typed
mkdir -p "$typed/rec"
cp examples/sim.wav "$typed/take.wav" && cp examples/sim.wav "$typed/rec/a.wav" && cp examples/sim.wav "$typed/rec/b.WAV"
printf 'notes' >"$typed/bad.wav"
cp -a "$typed" "$typed-native"
status=0
(cd "$typed-native" && "$root/build/release/halvorine-drop" take.wav bad.wav rec </dev/null >"$work/typed-native.out") ||
  status=$?
typed_run() {
  (cd "$typed" && script -qec "$(printf '%q ' "$wine" cmd /c 'halvorine-drop take.wav bad.wav rec > typed.out < NUL')" \
    /dev/null </dev/null >"$work/typed.console")
}
typed_status=0
typed_run || typed_status=$?
if [[ ! -s $typed/typed.out ]] && wine_fault "$work/typed.console"; then typed_status=0 && typed_run || typed_status=$?; fi
mv "$typed/typed.out" "$work/typed.out"
[[ $typed_status == "$status" ]] || fail "typed, the drop target ended with $typed_status, not $status"
cmp "$work/typed-native.out" "$work/typed.out" || fail "typed, the drop target printed otherwise"
diff -r "$typed-native" "$typed" >&2 || fail "typed, the drop target wrote otherwise"
window=$work/window
mkdir "$window" && cp examples/sim.wav "$window/take.wav"
# Keys keep coming until it takes one (those before its wait do not count);
# the terminal may echo the first ones, and no line checked holds an x.
window_run() {
  (while printf x; do sleep 0.5; done) 2>/dev/null |
    (cd "$window" && timeout 120 script -qec "$(printf '%q ' "$wine" "$installed_files/halvorine-dropw.exe" \
      "$(windows_path "$window/take.wav")")" /dev/null >"$work/window.out") || true
}
window_run
if ! grep -q Convert "$work/window.out" && wine_fault "$work/window.out"; then window_run; fi
sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\r//g' "$work/window.out" | tr -d x | grep -v '^ *$' | head -n 1 >"$work/window.lines"
[[ $(cat "$work/window.lines") == " Convert take.wav to Halvorine format (halvorine-take.ddc)" ]] ||
  { echo "the build for clicks showed on a console:" >&2; cat -v "$work/window.out" >&2; exit 1; }

# A folder past 260 characters dropped on the installed drop target: it never
# enters the folder, and opens the recording (GENERIC_READ) and its output
# (GENERIC_WRITE) by their "\\?\" forms, never by the plain ones, to the
# native drop target's bytes and words. wine's trace cuts names short before
# the file's own.
dropped=$work/$(printf 'p%.0s' {1..200})/$(printf 'e%.0s' {1..60})
recording=take-$(printf 'l%.0s' {1..60}).wav
mkdir -p "$dropped" "$dropped-native"
cp examples/sim.wav "$dropped/$recording" && cp examples/sim.wav "$dropped-native/$recording"
WINEDEBUG=trace+file wine_run "$dropped" "$work/dropped.out" "$dropped.trace" \
  "$wine" "$work/start_command.exe" "\"$folder\\halvorine-dropw.exe\" \"Z:${dropped//\//\\}\"" </dev/null ||
  fail "the drop target failed on a deep folder: $(cat "$work/dropped.out")"
opened() { grep -aF "CreateFileW L\"$1" "$dropped.trace" | grep -aF "$(printf 'e%.0s' {1..30})" | grep -aF "$2"; }
for access in GENERIC_READ GENERIC_WRITE; do
  opened '\\\\?\\' $access >/dev/null || fail "the drop target opened nothing ($access) in the \\\\?\\ form"
  if opened Z: $access; then fail "the drop target opened a long name ($access) in its plain form"; fi
done
build/release/halvorine-drop "$dropped-native" </dev/null >"$work/dropped-native.out"
cmp "$dropped/halvorine-${recording%.wav}.ddc" "$dropped-native/halvorine-${recording%.wav}.ddc"
cmp "$work/dropped-native.out" "$work/dropped.out"

msiexec /x "$work/new.msi" || fail "the uninstaller failed"
nothing_left 1
# A newer version replaces an older one, leaving one entry; an older one is
# refused over a newer one, which stays as it was.
msiexec /i "$work/old.msi" && [[ $(installed) == 1.0.0 ]] || fail "1.0.0 did not install"
msiexec /i "$work/new.msi" || fail "$version did not install over 1.0.0"
[[ $(installed) == "$version" ]] || fail "after the upgrade, Apps & features lists $(installed)"
[[ $(system_path) == "$(path_after 2);$folder\\" ]] || fail "after the upgrade, PATH is $(system_path)"
if msiexec /i "$work/old.msi"; then fail "1.0.0 installed over $version"; fi
[[ $(installed) == "$version" ]] || fail "after the refused downgrade, Apps & features lists $(installed)"
same_files
msiexec /x "$work/new.msi" || fail "the uninstaller failed after the upgrade"
nothing_left 3
python3 tests/interop_test.py "$wine" "$exe"

# The bundled example, under a name outside the code page, converts to the
# same bytes and prints the same bytes as with the native build.
names=$work/names
mkdir "$names" "$names-native"
cp examples/sim.wav "$names/запись.wav"
cp examples/sim.wav "$names-native/запись.wav"
wine_run "$names" "$work/windows.out" "$work/windows.err" "$wine" "$exe" запись.wav
(cd "$names-native" && "$root/build/release/halvorine-convert" запись.wav >"$work/native.out")
cmp "$names/halvorine-запись.ddc" "$names-native/halvorine-запись.ddc"
cmp "$work/windows.out" "$work/native.out"

# On a console (here wine's, on a pseudo-terminal) the name shows as itself.
# Bytes written as they are would show in the console's code page instead.
# The console takes wine's messages too: no banner and one of them there is
# wine's failure, tried once more.
console() { (cd "$names" && script -qec "$(printf '%q ' "$wine" "$exe" запись.wav)" /dev/null </dev/null >"$work/console.out"); }
console
if ! grep -q Convert "$work/console.out" && wine_fault "$work/console.out"; then
  echo "wine failed on the console, not the program: once more" >&2
  console
fi
sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\r//g' "$work/console.out" |
  grep -qF "Convert запись.wav to Halvorine format (halvorine-запись.ddc)" ||
  { echo "the console shows the name otherwise:" >&2; cat -v "$work/console.out" >&2; exit 1; }

# Past 260 characters, current folder included, Windows opens a name only in
# its "\\?\" form; wine opens any form, so its trace shows which one was used
# (names cut short there).
deep=$work/$(printf 'd%.0s' {1..200})
long=$(printf 'l%.0s' {1..60})
mkdir "$deep" && cp examples/sim.wav "$deep/$long.wav"
WINEDEBUG=trace+file wine_run "$deep" "$work/deep.out" "$deep.trace" "$wine" "$exe" "$long.wav"
for name in "$long.wav" "halvorine-$long.ddc"; do
  grep -F 'CreateFileW L"\\\\?\\' "$deep.trace" | grep -qF "\\${name:0:30}" ||
    { echo "$name was not opened in its \\\\?\\ form" >&2; exit 1; }
done
echo "windows build: checks passed"

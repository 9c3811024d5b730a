#!/usr/bin/env bash
# Fails one system call at a time under strace and checks that the program
# still ends honestly: it reports success only for the exact output, leaves
# behind only a beginning of the right output, never changes its input,
# says at most one of its own messages after the banner, and makes a call
# cut short by a signal again rather than fail. Then the drop target beside
# it lists a folder whose listing fails part-way.
#
#   tools/fault-sweep.sh [PROGRAM]    (default build/release/halvorine-convert)
#
# ctest runs it in the release build; it exits 77 (skipped) without strace.
#
# For each input the clean run is traced once to count the calls; then every
# call N of each syscall below is failed alone, once per errno, each run in a
# fresh folder with a fresh copy of the input (EAGAIN is EWOULDBLOCK, the
# answer when another run holds the output). Linux only; needs strace.
program=${1:+$(realpath -m "$1")}
source "$(dirname "$0")/prelude.sh"

if [[ -z $program ]]; then
  program=build/release/halvorine-convert
  need_release
fi
[[ -x $program ]] || { echo "no program at $program" >&2; exit 2; }
# In CI a missing strace is a fault of the set-up, not a reason to skip.
command -v strace >/dev/null || { echo "strace is missing (apt-get install strace)" >&2; [[ -n ${CI-} ]] && exit 2; exit 77; }
program=$(realpath "$program")
start=$SECONDS

# The errnos each syscall is failed with.
declare -A errnos=(
  [read]="EIO EINTR" [write]="EIO ENOSPC EINTR" [openat]="EIO EACCES" [close]=EIO
  [newfstatat]=EIO [fstat]=EIO [statx]=EIO [ftruncate]=EIO [lseek]=EIO [flock]="EIO EAGAIN EINTR"
)
syscalls=(read write openat close newfstatat fstat statx flock ftruncate lseek)

make_work
# plain, odd (a LIST chunk with its pad byte, a rcvr chunk to drop) and long
# (past two blocks, so that the second thread reads).
python3 tools/wavgen.py sweep "$work"
cp "$work/plain.wav" "$work/linked.wav"

arg=rec.wav
out=halvorine-rec.ddc
banner=$'\n Convert rec.wav to Halvorine format (halvorine-rec.ddc)\n\n'
messages=("Could not open $arg" "Could not open $out"$'\n' $'\nERROR: Failed to write output file.\n'
          $'\nERROR: Failed to read input file.\n')

# A fresh folder holding only the input as rec.wav; for "linked" the output
# name is a second name of it.
fresh() {
  rm -rf "$work/run"
  mkdir -p "$work/run/work"
  cp "$work/$1.wav" "$work/run/work/$arg"
  [[ $1 != linked ]] || ln -f "$work/run/work/$arg" "$work/run/work/$out"
}

# Runs the program in the fresh folder under strace with the given options;
# sets status, stdout is left in $work/run/stdout.
run() {
  status=0
  (cd "$work/run/work" && exec strace -f "$@" "$program" "$arg") >"$work/run/stdout" 2>"$work/run/stderr" || status=$?
}

# Whether the stdout text is the banner and at most one catalogue message.
stdout_ok() {
  local text=$1 rest m
  [[ $text == "$banner"* ]] || return 1
  rest=${text#"$banner"}
  [[ -z $rest ]] && return 0
  for m in "${messages[@]}"; do [[ $rest == "$m" ]] && return 0; done
  [[ $rest =~ ^(Unknown\ wFormatTag\.)?Error\ in\ \.wav\ file\ header\ \[[0-9]+\]$ ]]
}

size() { stat -c %s "$1" 2>/dev/null || echo no; }

# Everything wrong with the finished run, one reason per line; nothing when
# it held. $1 is the input, $2 whether stdout is judged.
judge() {
  local input=$1 judge_stdout=$2 text dir=$work/run/work
  text=$(cat "$work/run/stdout"; echo .)
  text=${text%.}
  cmp -s "$dir/$arg" "$work/$input.wav" || echo "input changed ($(size "$dir/$arg") bytes, was $(size "$work/$input.wav"))"
  if [[ $input == linked ]]; then
    # No output can be right when its name is the input's: the program must refuse.
    ((status == 1)) || echo "status $status, not 1"
    [[ $dir/$out -ef $dir/$arg ]] || echo "$out is no longer a name of the input"
  else
    ((status == 0 || status == 1)) || echo "status $status"
    if [[ -e $dir/$out ]]; then
      local got want=$work/$input.ddc
      got=$(size "$dir/$out")
      if ((status == 0)) && ! cmp -s "$dir/$out" "$want"; then
        echo "status 0 but the output differs from the clean run's"
      fi
      if ((got > $(size "$want"))) || ! cmp -s -n "$got" "$dir/$out" "$want"; then
        echo "output ($got bytes) is not a prefix of the clean output ($(size "$want") bytes)"
      fi
    elif ((status == 0)); then
      echo "status 0 but no output"
    fi
  fi
  if [[ $judge_stdout == yes ]]; then
    if ! stdout_ok "$text"; then
      echo "stdout is not the banner and at most one message"
    elif [[ $text == "$banner" ]] && ((status != 0)); then
      echo "status $status without a message"
    elif [[ $text != "$banner" ]] && ((status == 0)); then
      echo "status 0 after a failure message"
    fi
  fi
  local stray
  stray=$(cd "$dir" && ls -A | grep -vxF -e "$arg" -e "$out" || true)
  [[ -z $stray ]] || echo "left behind: $stray"
}

passed=0 failed=0 skipped=0
all_calls=$(IFS=,; echo "${syscalls[*]}")
for input in plain odd long linked; do
  fresh "$input"
  run -o "$work/clean.log" -e trace="$all_calls"
  clean_status=$status
  [[ $input == linked ]] || cp "$work/run/work/$out" "$work/$input.ddc" 2>/dev/null || : >"$work/$input.ddc"
  # The clean run itself must be right before its output can be the measure.
  want_status=0 want_stdout=$banner
  [[ $input != linked ]] || want_status=1 want_stdout="$banner""Could not open $out"$'\n'
  if ((clean_status != want_status)) || [[ $(cat "$work/run/stdout"; echo .) != "$want_stdout." ]]; then
    echo "$input: the clean run gave status $clean_status and stdout $(printf %q "$(cat "$work/run/stdout")")"
    failed=$((failed + 1))
    continue
  fi
  # strace counts when=N in each thread on its own: so N runs to the most
  # calls any one thread makes, and stdout goes unjudged at an N where some
  # thread's write goes to fd 1.
  declare -A count=() to_stdout=()
  while read -r what call n; do
    if [[ $what == count ]]; then count[$call]=$n; else to_stdout[$n]=1; fi
  done < <(awk '$2 ~ /^[a-z0-9_]+\(/ {
                  call = substr($2, 1, index($2, "(") - 1)
                  n = ++calls[$1, call]
                  if (n > most[call]) most[call] = n
                  if ($2 == "write(1,") print "stdout write", n
                }
                END { for (call in most) print "count", call, most[call] }' "$work/clean.log")
  counts=
  for call in "${syscalls[@]}"; do counts+=" $call ${count[$call]:-0}"; done
  echo "$input: clean run makes$counts"

  for call in "${syscalls[@]}"; do
    for ((n = 1; n <= ${count[$call]:-0}; n++)); do
      judge_stdout=yes
      [[ $call != write || -z ${to_stdout[$n]:-} ]] || judge_stdout=no
      for errno in ${errnos[$call]}; do
        fresh "$input"
        run -o /dev/null -e trace="$call" -e inject="$call:error=$errno:when=$n"
        # The dynamic loader gave up before main: nothing of the program ran.
        if ((status == 127)) && [[ ! -s $work/run/stdout ]] && cmp -s "$work/run/work/$arg" "$work/$input.wav" &&
          [[ $input == linked || ! -e $work/run/work/$out ]]; then
          skipped=$((skipped + 1))
          continue
        fi
        problems=$(judge "$input" "$judge_stdout")
        # A call cut short by a signal is made again, never reported.
        if [[ $errno == EINTR && $input != linked ]] && ((status != 0)); then
          problems+=${problems:+$'\n'}"status $status after an interrupted $call"
        fi
        if [[ -z $problems ]]; then
          passed=$((passed + 1))
        else
          failed=$((failed + 1))
          echo "$input $call N=$n $errno: ${problems//$'\n'/; } [status $status, stdout $(printf %q "$(cat "$work/run/stdout")")]"
        fi
      done
    done
  done
done

# The drop target beside it, on a folder whose listing fails after its first
# part: what was read converts, and the folder is named among the failures.
drop=$(dirname "$program")/halvorine-drop
if [[ -x $drop ]]; then
  rm -rf "$work/run" && mkdir -p "$work/run/rec"
  cp "$work/plain.wav" "$work/run/rec/a.wav" && cp "$work/odd.wav" "$work/run/rec/b.wav"
  status=0
  (cd "$work/run" && strace -o /dev/null -e trace=getdents64 -e inject=getdents64:error=EIO:when=2 \
    "$drop" rec </dev/null >"$work/run/stdout" 2>/dev/null) || status=$?
  partly=$'\nNot converted: the rest of the folder rec, which cannot be read to its end.\n'
  if ((status == 1)) && grep -qxF "2 converted, 1 failed" "$work/run/stdout" && grep -qzF "$partly" "$work/run/stdout" &&
    cmp -s "$work/run/rec/halvorine-a.ddc" "$work/plain.ddc" && cmp -s "$work/run/rec/halvorine-b.ddc" "$work/odd.ddc"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "drop target, listing cut short: status $status, stdout $(printf %q "$(cat "$work/run/stdout")")"
  fi
fi

echo "fault sweep: $((SECONDS - start)) s"
echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))

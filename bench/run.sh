#!/usr/bin/env bash
# Throughput and memory benchmark of halvorine-convert.
#
# On a 24-bit stereo WAV with 256 MiB of sample data, held in tmpfs, it times
# side by side (runs interleaved, so machine noise hits all of them alike):
#   converter   halvorine-convert big.wav
#   dd          dd if=big.wav of=copy.wav bs=1M          (a plain copy: the floor)
#   cat         cat big.wav > copy.wav                   (another plain copy)
#   sox         sox big.wav -b 32 -t wavpcm out.wav      (the same widening by a
#                                                         general tool; when installed)
#   per_group   per_group_copy big.wav out.ddc           (3-byte fread + 4-byte fwrite per group)
# and reports the medians of wall, user and system seconds, the ratios
# converter/dd, converter/sox and per_group/converter, and the converter's
# peak RSS (GNU time) on a 1 KB, a 10 MB and the 256 MiB input.
#
# Then small files, as a folder of recordings is converted, against cp:
#   one_file    200 conversions of a 1 KB recording, one after another
#   batch       1,000 recordings of 1 KB to 300 KB through xargs -P 2 -n 1
# for the program under test (the release preset links the C++ runtime in)
# and for the same sources loading the shared C++ runtime, as distributions
# build them.
#
# Then a folder as a user drops it: those 1,000 recordings and 4 of 64 MiB,
#   drop        halvorine-drop FOLDER          (one process for them all)
#   each        halvorine-convert on each file, one after another
# Last, 10,000 and 100,000 small recordings in 100 folders through
# halvorine-drop: the ratio of their times, and the peak RSS of each.
#
# Run from anywhere:   bench/run.sh
#   RUNS=N             timed runs per command (default 7)
#   HALVORINE_BIN=P    use this converter instead of building the release preset;
#   PER_GROUP_BIN=P    the reference then defaults to bench/per_group_copy beside
#                      it, and the drop target to halvorine-drop (DROP_BIN=P).
#   SHARED_RUNTIME_BIN=P  the build that loads the shared C++ runtime; by
#                      default built from these sources in build/shared-runtime.
# Exits 0 whatever the figures; PASS/FAIL is for information.

# The programs given, found from where it was started.
for given in HALVORINE_BIN PER_GROUP_BIN DROP_BIN SHARED_RUNTIME_BIN; do
    [[ -z ${!given:-} ]] || printf -v "$given" %s "$(realpath -m "${!given}")"
done
source "$(dirname "$0")/../tools/prelude.sh"
export LC_ALL=C  # a '.' in $EPOCHREALTIME and in printed numbers
runs=${RUNS:-7}

if [[ -z ${HALVORINE_BIN:-} ]]; then
    cmake --preset release >/dev/null
    cmake --build --preset release >/dev/null
    HALVORINE_BIN=$root/build/release/halvorine-convert
fi
conv=$(realpath "$HALVORINE_BIN")
per_group=$(realpath "${PER_GROUP_BIN:-$(dirname "$conv")/bench/per_group_copy}")
drop=$(realpath "${DROP_BIN:-$(dirname "$conv")/halvorine-drop}")
if [[ -z ${SHARED_RUNTIME_BIN:-} ]]; then
    cmake -S . -B build/shared-runtime -DCMAKE_BUILD_TYPE=Release -DHALVORINE_TESTS=OFF \
        -DHALVORINE_STATIC_RUNTIME=OFF >/dev/null
    cmake --build build/shared-runtime -j 2 --target halvorine-convert >/dev/null
    SHARED_RUNTIME_BIN=$root/build/shared-runtime/halvorine-convert
fi
conv_shared=$(realpath "$SHARED_RUNTIME_BIN")
for b in "$conv" "$conv_shared" "$per_group" "$drop" /usr/bin/time; do
    [[ -x $b ]] || { echo "missing executable: $b" >&2; exit 1; }
done

make_work /dev/shm
cd "$work"

# A 44-byte header, then pseudo-random samples; the browser test's 256 MiB
# input is big.wav, byte for byte.
wavgen() { python3 "$root/tools/wavgen.py" "$@"; }
wavgen bench $((256 << 20)) big.wav
wavgen bench 10000000 small.wav
wavgen bench $((1000 - 44)) one.wav
wavgen batch batch

# Each command runs under $timed: nothing for the warm-up, GNU time for the
# measured runs (the same small cost for every command).
timed=()
clean_big() { rm -f halvorine-big.ddc copy.wav out.ddc out.wav; }
run_converter() { "${timed[@]}" "$conv" big.wav >/dev/null; }
run_dd()        { "${timed[@]}" dd if=big.wav of=copy.wav bs=1M status=none; }
run_cat()       { "${timed[@]}" cat big.wav >copy.wav; }
run_sox()       { "${timed[@]}" sox big.wav -b 32 -t wavpcm out.wav; }
run_per_group() { "${timed[@]}" "$per_group" big.wav out.ddc; }
names=(converter dd cat)
if command -v sox >/dev/null; then names+=(sox); fi
names+=(per_group)

# Untimed warm-up, and a check that the converter really converts: its data
# bytes (after its 48-byte header) must match the reference's (after 44).
clean_big
for n in "${names[@]}"; do "run_$n"; done
cmp -s <(tail -c +49 halvorine-big.ddc) <(tail -c +45 out.ddc) ||
    { echo "converter output does not match the reference" >&2; exit 1; }

# Runs run_NAME for each NAME given, RUNS times, the runs interleaved, each
# after the command $1. Each run's wall seconds go to wall[NAME]; a command
# run under $timed also leaves its user and system seconds in user[NAME] and
# sys[NAME].
declare -A wall user sys med
time_runs() {
    local before=$1 r n t0 t1 u s
    shift
    for ((r = 0; r < runs; r++)); do
        for n in "$@"; do
            "$before"
            rm -f cpu.txt
            t0=$EPOCHREALTIME
            "run_$n"
            t1=$EPOCHREALTIME
            wall[$n]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }') "
            if [[ -s cpu.txt ]]; then
                read -r u s <cpu.txt
                user[$n]+="$u "
                sys[$n]+="$s "
            fi
        done
    done
}
timed=(/usr/bin/time -f "%U %S" -o cpu.txt)
time_runs clean_big "${names[@]}"
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for n in "${names[@]}"; do
    med[$n]=$(median <<<"${wall[$n]}")
    med[$n.user]=$(median <<<"${user[$n]}")
    med[$n.sys]=$(median <<<"${sys[$n]}")
done

# Peak RSS in KiB, the largest of RUNS runs for each input.
peak_rss() {
    local best=0 kib
    for ((r = 0; r < runs; r++)); do
        rm -f "halvorine-$1.ddc"
        kib=$( { /usr/bin/time -f %M "$conv" "$1.wav" >/dev/null; } 2>&1 | tail -n 1)
        if ((kib > best)); then best=$kib; fi
    done
    echo "$best"
}
rss_one=$(peak_rss one)
rss_small=$(peak_rss small)
rss_big=$(peak_rss big)

printf 'halvorine-convert benchmark: 256 MiB of 24-bit stereo samples in tmpfs, median of %d runs\n\n' "$runs"
printf '%-12s %9s %9s %9s\n' command "wall (s)" "user (s)" "sys (s)"
for n in "${names[@]}"; do
    printf '%-12s %9.3f %9.2f %9.2f\n' "$n" "${med[$n]}" "${med[$n.user]}" "${med[$n.sys]}"
done
echo
awk -v conv="${med[converter]}" -v dd="${med[dd]}" -v sox="${med[sox]:-}" -v pg="${med[per_group]}" \
    -v r1="$rss_one" -v rs="$rss_small" -v rb="$rss_big" 'BEGIN {
    verdict = "%-34s %12s   %-10s %s\n"
    printf verdict, "measure", "value", "target", "result"
    printf verdict, "converter / dd", sprintf("%.2f", conv / dd), "<= 1.15", (conv / dd <= 1.15 ? "PASS" : "FAIL")
    if (sox != "")
        printf verdict, "converter / sox", sprintf("%.2f", conv / sox), "<= 0.55", (conv / sox <= 0.55 ? "PASS" : "FAIL")
    else
        printf verdict, "converter / sox", "-", "<= 0.55", "not measured (no sox)"
    printf verdict, "per_group_copy / converter", sprintf("%.1f", pg / conv), ">= 20", (pg / conv >= 20 ? "PASS" : "FAIL")
    printf verdict, "peak RSS, 1 KB input (MiB)", sprintf("%.2f", r1 / 1024), "-", ""
    printf verdict, "peak RSS, 10 MB input (MiB)", sprintf("%.2f", rs / 1024), "<= 8", (rs <= 8192 ? "PASS" : "FAIL")
    printf verdict, "peak RSS, 256 MiB input (MiB)", sprintf("%.2f", rb / 1024), "<= 8", (rb <= 8192 ? "PASS" : "FAIL")
    d = rb - rs; if (d < 0) d = -d
    printf verdict, "RSS difference (MiB)", sprintf("%.2f", d / 1024), "<= 1", (d <= 1024 ? "PASS" : "FAIL")
}'
echo; echo "each run's wall time (s), in the order taken:"
for n in "${names[@]}"; do printf '  %-10s %s\n' "$n" "${wall[$n]}"; done

# Small files. Every command is a fresh process per file, so what counts is
# what a run costs before and after its few bytes: start-up, buffers, threads.
rm -f big.wav small.wav halvorine-*.ddc copy.wav out.ddc out.wav
one_file() { for ((i = 0; i < 200; i++)); do "$@"; done >/dev/null; }
batch() { (cd batch && printf '%s\n' rec-*.wav | xargs -P 2 "$@" >/dev/null); }
clean_batch() { rm -f batch/halvorine-*.ddc batch/copy-*; }
run_one_conv()     { one_file "$conv" one.wav; }
run_one_shared()   { one_file "$conv_shared" one.wav; }
run_one_cp()       { one_file cp one.wav copy.wav; }
run_batch_conv()   { batch -n 1 "$conv"; }
run_batch_shared() { batch -n 1 "$conv_shared"; }
run_batch_cp()     { batch -I{} cp {} copy-{}; }
small_cmds=(one_conv one_shared one_cp batch_conv batch_shared batch_cp)
for c in "${small_cmds[@]}"; do clean_batch; "run_$c"; done  # warm-up
# A converter batch must have converted every file, byte for byte.
clean_batch; run_batch_conv
python3 - <<'EOF' || { echo "the batch did not convert every file" >&2; exit 1; }
import glob
for wav in glob.glob("batch/rec-*.wav"):
    src = open(wav, "rb").read()[44:]
    got = open(wav.replace("rec-", "halvorine-rec-").replace(".wav", ".ddc"), "rb").read()[48:]
    assert got == b"".join(b"\0" + src[i:i + 3] for i in range(0, len(src) - 2, 3)), wav
EOF
time_runs clean_batch "${small_cmds[@]}"
clean_batch
for c in "${small_cmds[@]}"; do med[$c]=$(median <<<"${wall[$c]}"); done
printf '\nsmall files, median of %d runs\n\n' "$runs"
printf '%-44s %9s\n' command "wall (s)"
printf '%-44s %9.3f\n' "converter, 200 runs on 1 KB" "${med[one_conv]}" \
    "converter, shared runtime, 200 runs on 1 KB" "${med[one_shared]}" "cp, 200 runs on 1 KB" "${med[one_cp]}" \
    "converter, 1,000 files, xargs -P 2" "${med[batch_conv]}" \
    "converter, shared runtime, 1,000 files" "${med[batch_shared]}" "cp, 1,000 files, xargs -P 2" "${med[batch_cp]}"
echo
awk -v oc="${med[one_conv]}" -v os="${med[one_shared]}" -v ocp="${med[one_cp]}" \
    -v bc="${med[batch_conv]}" -v bs="${med[batch_shared]}" -v bcp="${med[batch_cp]}" 'BEGIN {
    verdict = "%-34s %12s   %-10s %s\n"
    printf verdict, "measure", "value", "target", "result"
    printf verdict, "1 KB: converter / cp", sprintf("%.2f", oc / ocp), "-", ""
    printf verdict, "1 KB: shared runtime / cp", sprintf("%.2f", os / ocp), "-", ""
    printf verdict, "batch: converter / cp", sprintf("%.2f", bc / bcp), "<= 1.05", (bc / bcp <= 1.05 ? "PASS" : "FAIL")
    printf verdict, "batch: shared runtime / cp", sprintf("%.2f", bs / bcp), "-", ""
}'
echo; echo "each run's wall time (s), in the order taken:"
for c in "${small_cmds[@]}"; do printf '  %-12s %s\n' "$c" "${wall[$c]}"; done

# A folder dropped on the drop target against the console program run on
# each of its files in turn: what one process saves over a thousand.
mkdir folder
mv batch/rec-*.wav folder/
for i in 1 2 3 4; do wavgen bench $((64 << 20)) "folder/long-$i.wav"; done
clean_folder() { rm -f folder/halvorine-*.ddc; }
# The drop target waits for a key at the end: standard input gives none.
run_drop() { "$drop" folder </dev/null >drop.out; }
run_each() { (cd folder && for f in *.wav; do "$conv" "$f"; done >/dev/null); }
clean_folder; run_drop; clean_folder; run_each  # warm-up
sha256sum folder/halvorine-*.ddc >each.sum
clean_folder; run_drop
sha256sum -c --quiet each.sum || { echo "the drop target's outputs differ from the console program's" >&2; exit 1; }
grep -q '^1004 converted, 0 failed' drop.out || { echo "the drop target did not convert all 1,004:" >&2; tail -n 3 drop.out >&2; exit 1; }
time_runs clean_folder drop each
clean_folder
for c in drop each; do med[$c]=$(median <<<"${wall[$c]}"); done
printf '\na folder of 1,000 small recordings and 4 of 64 MiB, median of %d runs\n\n' "$runs"
printf '%-44s %9s\n' command "wall (s)"
printf '%-44s %9.3f\n' "halvorine-drop on the folder" "${med[drop]}" \
    "halvorine-convert on each file in turn" "${med[each]}"
echo
awk -v d="${med[drop]}" -v e="${med[each]}" 'BEGIN {
    verdict = "%-34s %12s   %-10s %s\n"
    printf verdict, "measure", "value", "target", "result"
    printf verdict, "folder: drop / each", sprintf("%.2f", d / e), "<= 0.9", (d / e <= 0.9 ? "PASS" : "FAIL")
}'
echo; echo "each run's wall time (s), in the order taken:"
for c in drop each; do printf '  %-12s %s\n' "$c" "${wall[$c]}"; done

# Scale: 10,000 and 100,000 small recordings in 100 folders through the drop
# target, which lists them all first and checks each output against those it
# made; the per-file cost should not grow with the count. Memory is the
# peak RSS of one run of each.
rm -rf folder
python3 - <<'PY'
import os
one = open("one.wav", "rb").read()
for n, top in ((10_000, "scale-10k"), (100_000, "scale-100k")):
    for i in range(n):
        folder = f"{top}/{i % 100:02d}"
        if i < 100:
            os.makedirs(folder)
        with open(f"{folder}/take-{i}.wav", "wb") as f:
            f.write(one)
PY
clean_scale() { find scale-10k scale-100k -name 'halvorine-*.ddc' -delete; }
run_scale10k() { "$drop" scale-10k </dev/null >scale.out; }
run_scale100k() { "$drop" scale-100k </dev/null >scale.out; }
clean_scale; run_scale100k
grep -q '^100000 converted, 0 failed' scale.out || { echo "the drop target did not convert all 100,000:" >&2; tail -n 3 scale.out >&2; exit 1; }
rss=()
for top in scale-10k scale-100k; do
    clean_scale
    rss+=("$( { /usr/bin/time -f %M "$drop" "$top" </dev/null >/dev/null; } 2>&1 | tail -n 1)")
done
runs_before=$runs; runs=3
time_runs clean_scale scale10k scale100k
runs=$runs_before
clean_scale
for c in scale10k scale100k; do med[$c]=$(median <<<"${wall[$c]}"); done
printf '\nsmall recordings in 100 folders through halvorine-drop, median of 3 runs\n\n'
printf '%-44s %9s %12s\n' command "wall (s)" "peak RSS (KiB)"
printf '%-44s %9.3f %12s\n' "10,000 recordings" "${med[scale10k]}" "${rss[0]}" \
    "100,000 recordings" "${med[scale100k]}" "${rss[1]}"
echo
awk -v a="${med[scale10k]}" -v b="${med[scale100k]}" 'BEGIN {
    verdict = "%-34s %12s   %-10s %s\n"
    printf verdict, "measure", "value", "target", "result"
    printf verdict, "100,000 / 10,000 recordings", sprintf("%.2f", b / a), "<= 11", (b / a <= 11 ? "PASS" : "FAIL")
}'
rm -rf scale-10k scale-100k scale.out

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
# peak RSS (GNU time) on a 10 MB and on the 256 MiB input.
#
# Run from anywhere:   bench/run.sh
#   RUNS=N             timed runs per command (default 7)
#   HALVORINE_BIN=P    use this converter instead of building the release preset;
#   PER_GROUP_BIN=P    the reference then defaults to bench/per_group_copy beside it.
# Exits 0 whatever the figures; PASS/FAIL is for information.
set -euo pipefail
export LC_ALL=C  # a '.' in $EPOCHREALTIME and in printed numbers

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${RUNS:-7}

if [[ -z ${HALVORINE_BIN:-} ]]; then
    (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release >/dev/null)
    HALVORINE_BIN=$root/build/release/halvorine-convert
fi
conv=$(realpath "$HALVORINE_BIN")
per_group=$(realpath "${PER_GROUP_BIN:-$(dirname "$conv")/bench/per_group_copy}")
for b in "$conv" "$per_group" /usr/bin/time; do
    [[ -x $b ]] || { echo "missing executable: $b" >&2; exit 1; }
done

work=$(mktemp -d -p /dev/shm halvorine-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Canonical 44-byte header, then deterministic pseudo-random sample bytes.
python3 - <<'EOF'
import random, struct
block = random.Random(20240601).randbytes(1 << 20)
def wav(path, size):
    fmt = struct.pack("<HHIIHH", 1, 2, 48000, 48000 * 6, 6, 24)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + size) + b"WAVE"
                + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", size))
        for at in range(0, size, len(block)):
            f.write(block[:size - at])
wav("big.wav", 256 << 20)
wav("small.wav", 10_000_000)
EOF

# Each command runs under $timed: nothing for the warm-up, GNU time for the
# measured runs (the same small cost for every command).
timed=()
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
rm -f halvorine-big.ddc copy.wav out.ddc out.wav
for n in "${names[@]}"; do "run_$n"; done
cmp -s <(tail -c +49 halvorine-big.ddc) <(tail -c +45 out.ddc) ||
    { echo "converter output does not match the reference" >&2; exit 1; }

declare -A wall user sys med
timed=(/usr/bin/time -f "%U %S" -o cpu.txt)
for ((r = 0; r < runs; r++)); do
    for n in "${names[@]}"; do
        rm -f halvorine-big.ddc copy.wav out.ddc out.wav
        t0=$EPOCHREALTIME
        "run_$n"
        t1=$EPOCHREALTIME
        wall[$n]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }') "
        read -r u s <cpu.txt
        user[$n]+="$u "
        sys[$n]+="$s "
    done
done
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
rss_small=$(peak_rss small)
rss_big=$(peak_rss big)

printf 'halvorine-convert benchmark: 256 MiB of 24-bit stereo samples in tmpfs, median of %d runs\n\n' "$runs"
printf '%-12s %9s %9s %9s\n' command "wall (s)" "user (s)" "sys (s)"
for n in "${names[@]}"; do
    printf '%-12s %9.3f %9.2f %9.2f\n' "$n" "${med[$n]}" "${med[$n.user]}" "${med[$n.sys]}"
done
echo
awk -v conv="${med[converter]}" -v dd="${med[dd]}" -v sox="${med[sox]:-}" -v pg="${med[per_group]}" \
    -v rs="$rss_small" -v rb="$rss_big" 'BEGIN {
    verdict = "%-34s %12s   %-10s %s\n"
    printf verdict, "measure", "value", "target", "result"
    printf verdict, "converter / dd", sprintf("%.2f", conv / dd), "<= 1.15", (conv / dd <= 1.15 ? "PASS" : "FAIL")
    if (sox != "")
        printf verdict, "converter / sox", sprintf("%.2f", conv / sox), "<= 0.55", (conv / sox <= 0.55 ? "PASS" : "FAIL")
    else
        printf verdict, "converter / sox", "-", "<= 0.55", "not measured (no sox)"
    printf verdict, "per_group_copy / converter", sprintf("%.1f", pg / conv), ">= 20", (pg / conv >= 20 ? "PASS" : "FAIL")
    printf verdict, "peak RSS, 10 MB input (MiB)", sprintf("%.2f", rs / 1024), "<= 8", (rs <= 8192 ? "PASS" : "FAIL")
    printf verdict, "peak RSS, 256 MiB input (MiB)", sprintf("%.2f", rb / 1024), "<= 8", (rb <= 8192 ? "PASS" : "FAIL")
    d = rb - rs; if (d < 0) d = -d
    printf verdict, "RSS difference (MiB)", sprintf("%.2f", d / 1024), "<= 1", (d <= 1024 ? "PASS" : "FAIL")
}'
echo; echo "each run's wall time (s), in the order taken:"
for n in "${names[@]}"; do printf '  %-10s %s\n' "$n" "${wall[$n]}"; done

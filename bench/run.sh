#!/usr/bin/env bash
# Throughput and memory benchmark of halvorine-convert.
#
# On a 24-bit stereo WAV with 256 MiB of sample data, held in tmpfs, it times
# side by side (runs interleaved, so machine noise hits all three alike):
#   converter   halvorine-convert big.wav
#   dd          dd if=big.wav of=copy.wav bs=1M        (a plain copy: the floor)
#   per_group   per_group_copy big.wav out.ddc         (3-byte fread + 4-byte fwrite per group)
# and reports the medians, converter/dd and per_group/converter, and the
# converter's peak RSS (GNU time) on a 10 MB and on the 256 MiB input.
#
# Run from anywhere:   bench/run.sh
#   RUNS=N             timed runs per command (default 5)
#   HALVORINE_BIN=P    use this converter instead of building the release preset;
#   PER_GROUP_BIN=P    the reference then defaults to bench/per_group_copy beside it.
# Exits 0 whatever the figures; PASS/FAIL is for information.
set -euo pipefail
export LC_ALL=C  # a '.' in $EPOCHREALTIME and in printed numbers

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${RUNS:-5}

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

run_converter() { "$conv" big.wav >/dev/null; }
run_dd()        { dd if=big.wav of=copy.wav bs=1M status=none; }
run_per_group() { "$per_group" big.wav out.ddc; }
names=(converter dd per_group)

# Untimed warm-up, and a check that the converter really converts: its data
# bytes (after its 48-byte header) must match the reference's (after 44).
rm -f halvorine-big.ddc copy.wav out.ddc
for n in "${names[@]}"; do "run_$n"; done
cmp -s <(tail -c +49 halvorine-big.ddc) <(tail -c +45 out.ddc) ||
    { echo "converter output does not match the reference" >&2; exit 1; }

declare -A times med
for ((r = 0; r < runs; r++)); do
    for n in "${names[@]}"; do
        rm -f halvorine-big.ddc copy.wav out.ddc
        t0=$EPOCHREALTIME; "run_$n"; t1=$EPOCHREALTIME
        times[$n]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }') "
    done
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for n in "${names[@]}"; do med[$n]=$(median <<<"${times[$n]}"); done

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

awk -v conv="${med[converter]}" -v dd="${med[dd]}" -v pg="${med[per_group]}" \
    -v rs="$rss_small" -v rb="$rss_big" -v runs="$runs" 'BEGIN {
    verdict = "%-34s %12s   %-10s %s\n"
    printf "halvorine-convert benchmark: 256 MiB of 24-bit stereo samples in tmpfs, median of %d runs\n\n", runs
    printf verdict, "measure", "value", "target", "result"
    printf verdict, "converter (s)", sprintf("%.3f", conv), "", ""
    printf verdict, "dd bs=1M (s)", sprintf("%.3f", dd), "", ""
    printf verdict, "per_group_copy (s)", sprintf("%.3f", pg), "", ""
    printf verdict, "converter / dd", sprintf("%.2f", conv / dd), "<= 1.5", (conv / dd <= 1.5 ? "PASS" : "FAIL")
    printf verdict, "per_group_copy / converter", sprintf("%.1f", pg / conv), ">= 15", (pg / conv >= 15 ? "PASS" : "FAIL")
    printf verdict, "peak RSS, 10 MB input (MiB)", sprintf("%.2f", rs / 1024), "<= 8", (rs <= 8192 ? "PASS" : "FAIL")
    printf verdict, "peak RSS, 256 MiB input (MiB)", sprintf("%.2f", rb / 1024), "<= 8", (rb <= 8192 ? "PASS" : "FAIL")
    d = rb - rs; if (d < 0) d = -d
    printf verdict, "RSS difference (MiB)", sprintf("%.2f", d / 1024), "<= 1", (d <= 1024 ? "PASS" : "FAIL")
}'
echo; echo "each run (s), in the order taken:"
for n in "${names[@]}"; do printf '  %-10s %s\n' "$n" "${times[$n]}"; done

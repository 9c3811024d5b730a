#!/usr/bin/env python3
"""Writes the generated inputs of the browser test into DIR: the fuzz seeds
(one valid file for each chunk and fmt layout), each of them cut short after
every byte, one refusal for each stage code a whole file can reach, and the
naming rule's edges as file names, and a recording of some MiB.

Usage: make_inputs.py DIR"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from wavgen import SEEDS, bench, cuts, refusals, write_all  # noqa: E402

# Names around the rule that the first '.' must stand within the first 70
# bytes of the name, in UTF-8.
NAMES = [
    "nodot",
    "a" * 69 + ".wav",
    "a" * 70 + ".wav",
    "\u0436" * 34 + "x.wav",
    "\u0436" * 35 + ".wav",
    "rec.2024.wav",
    "%s%d.wav",
    "\u9332\u97f3 take 1.wav",
]


def main(folder):
    files = {}
    for seed, data in SEEDS.items():
        files[seed + ".wav"] = data
        for cut, short in enumerate(cuts(data)):
            files[f"{seed}-cut{cut:03}.wav"] = short
    for name, data in refusals():
        files[name + ".wav"] = data
    for name in NAMES:
        files[name] = SEEDS["seed-plain"]
    write_all(folder, files.items())
    # Longer than the blocks the page gathers before each write, and not a
    # whole number of them.
    bench(os.path.join(folder, "long.wav"), (6 << 20) + 3006)
    print(f"{len(files)} inputs in {folder}")


if __name__ == "__main__":
    main(sys.argv[1])

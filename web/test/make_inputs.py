#!/usr/bin/env python3
"""Writes the generated inputs of the browser test into DIR: the fuzz seeds
(one valid file for each chunk and fmt layout), each of them cut short after
every byte, one refusal for each stage code a whole file can reach, and the
naming rule's edges as file names.

Usage: make_inputs.py DIR"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz"))
from make_seeds import SEEDS, chunk, wav  # noqa: E402

PLAIN = SEEDS["seed-plain"]
SAMPLES = chunk(b"data", bytes(range(1, 20)))


def refusals():
    """(name, bytes): each stage code a whole file can reach."""
    yield "stage1-rifx", b"RIFX" + PLAIN[4:]
    yield "stage2-wavx", PLAIN[:8] + b"WAVX" + PLAIN[12:]
    yield "stage3-junk-first", PLAIN[:12] + b"JUNK" + PLAIN[16:]
    yield "stage5-tag2", wav(tag=2, after=SAMPLES)
    yield "stage5-extensible", wav(tag=0xFFFE, after=SAMPLES)
    yield "stage6-no-channels", wav(channels=0, after=SAMPLES)
    yield "stage6-three-channels", wav(channels=3, after=SAMPLES)
    yield "stage9-five-bytes", wav(align=10, after=SAMPLES)
    yield "stage10-float-8", wav(tag=3, align=2, after=SAMPLES)
    yield "stage11-float-16", wav(tag=3, align=4, after=SAMPLES)
    yield "stage12-float-24", wav(tag=3, align=6, after=SAMPLES)
    yield "stage13-pcm-32", wav(tag=1, align=8, after=SAMPLES)
    yield "stage13-rcvr-last", wav(after=chunk(b"rcvr", b"r" * 4))
    yield "stage25-list-short", wav(after=b"LIST" + struct.pack("<I", 100) + b"INFO")


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
    os.makedirs(folder, exist_ok=True)
    files = {}
    for seed, data in SEEDS.items():
        files[seed + ".wav"] = data
        for cut in range(len(data)):
            files[f"{seed}-cut{cut:03}.wav"] = data[:cut]
    for name, data in refusals():
        files[name + ".wav"] = data
    for name in NAMES:
        files[name] = PLAIN
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{len(files)} inputs in {folder}")


if __name__ == "__main__":
    main(sys.argv[1])

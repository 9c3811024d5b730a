#!/usr/bin/env python3
"""Writes the fuzz seed corpus: small valid files, one for each kind of chunk
and fmt layout the converter knows. Findings kept later sit beside them."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body


def wav(tag=1, channels=2, align=6, rest=b"\x18\x00", after=b""):
    fmt = struct.pack("<HHIIH", tag, channels, 48000, 48000 * align, align) + rest
    body = b"WAVE" + chunk(b"fmt ", fmt) + after
    return b"RIFF" + struct.pack("<I", len(body)) + body


SAMPLES = bytes(range(1, 20))
SEEDS = {
    "seed-plain": wav(after=chunk(b"data", SAMPLES)),
    "seed-rcvr": wav(after=chunk(b"rcvr", b"r" * 41) + chunk(b"rcvr", b"") + chunk(b"data", SAMPLES)),
    "seed-list-odd": wav(after=chunk(b"LIST", b"INFOabc") + b"\x00" + chunk(b"data", SAMPLES)),
    "seed-float-fact-peak": wav(tag=3, align=8, rest=b"\x20\x00\x00\x00",
                                after=chunk(b"fact", b"\x06\x00\x00\x00") + chunk(b"PEAK", bytes(24))
                                + chunk(b"data", SAMPLES)),
    "seed-mono-16": wav(channels=1, align=2, rest=b"\x10\x00", after=chunk(b"data", SAMPLES)),
    "seed-extended-fmt": wav(rest=b"\x18\x00\x16\x00\x18\x00\x03\x00\x00\x00" + bytes(16),
                             after=chunk(b"data", SAMPLES)),
    "seed-short-fmt": wav(rest=b"", after=chunk(b"data", SAMPLES))[:32] + b"\x06\x00" + chunk(b"data", SAMPLES),
}


def main():
    os.makedirs(HERE, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":  # the web page's test builds its inputs from SEEDS too
    main()

#!/usr/bin/env python3
"""Writes examples/sim.wav: 10 ms of 24-bit stereo PCM at 48 kHz (a 1 kHz
tone left, 440 Hz right) with a "rcvr" chunk between the fmt and data chunks.
Deterministic: running it again gives the same bytes."""
import math
import struct
import sys

RATE = 48000
FRAMES = 480
CHANNELS = 2
BYTES_PER_SAMPLE = 3


def sample(freq, n):
    value = int(round(0.5 * 8388607 * math.sin(2 * math.pi * freq * n / RATE)))
    return (value & 0xFFFFFF).to_bytes(3, "little")


def main(path):
    block_align = CHANNELS * BYTES_PER_SAMPLE
    fmt = struct.pack("<HHIIHH", 1, CHANNELS, RATE, RATE * block_align, block_align, 24)
    rcvr = b"receiver 7; gain 12 dB; site north ridge\x00"  # 41 bytes: odd on purpose
    data = b"".join(sample(1000, n) + sample(440, n) for n in range(FRAMES))
    chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt
              + b"rcvr" + struct.pack("<I", len(rcvr)) + rcvr
              + b"data" + struct.pack("<I", len(data)) + data)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/sim.wav")

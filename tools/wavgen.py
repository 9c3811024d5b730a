#!/usr/bin/env python3
"""The WAV files everything here converts: the example, the fuzz seeds, the
browser test's inputs, the fault sweep's, the large-input check's and the
benchmark's. Deterministic: the same call gives the same bytes, which the
example in git and the fuzz corpus depend on.

Scripts import it (sys.path to this folder); shell and node run it:
  wavgen.py sim OUT             the bundled example
  wavgen.py bench SIZE OUT      a 44-byte header, then SIZE bytes of
                                pseudo-random 24-bit stereo samples (any size,
                                written in constant memory)
  wavgen.py batch DIR [LARGEST] 1,000 such recordings of 1 KB to LARGEST bytes
                                (300 KB unless given)
  wavgen.py sweep DIR           plain.wav, odd.wav and long.wav
  wavgen.py names DIR COUNT     COUNT small recordings under oddly named
                                folders, with the names test's names
  wavgen.py card DIR            a memory card: recordings in nested folders
                                among what computers leave on one
"""
import functools
import math
import os
import random
import struct
import sys


def u32(n):
    return struct.pack("<I", n)


def chunk(cid, body):
    return cid + u32(len(body)) + body


def riff(*chunks):
    """A whole file: the RIFF header sized for the chunks that follow."""
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + u32(len(body)) + body


def fmt(tag=1, channels=2, align=6, rest=b"\x18\x00", rate=48000):
    """The fmt chunk; `rest` is wBitsPerSample and whatever follows it."""
    return chunk(b"fmt ", struct.pack("<HHIIH", tag, channels, rate, rate * align, align) + rest)


def wav(tag=1, channels=2, align=6, rest=b"\x18\x00", after=b""):
    """RIFF, WAVE, the fmt chunk, then `after` as it is."""
    return riff(fmt(tag, channels, align, rest), after)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def sim():
    """10 ms of 24-bit stereo PCM at 48 kHz (a 1 kHz tone left, 440 Hz right)
    with a "rcvr" chunk of odd size between the fmt and data chunks."""
    def sample(freq, n):
        value = int(round(0.5 * 8388607 * math.sin(2 * math.pi * freq * n / 48000)))
        return (value & 0xFFFFFF).to_bytes(3, "little")
    rcvr = b"receiver 7; gain 12 dB; site north ridge\x00"
    data = b"".join(sample(1000, n) + sample(440, n) for n in range(480))
    return riff(fmt(), chunk(b"rcvr", rcvr), chunk(b"data", data))


SEED_SAMPLES = bytes(range(1, 20))
SEEDS = {
    "seed-plain": wav(after=chunk(b"data", SEED_SAMPLES)),
    "seed-rcvr": wav(after=chunk(b"rcvr", b"r" * 41) + chunk(b"rcvr", b"") + chunk(b"data", SEED_SAMPLES)),
    "seed-list-odd": wav(after=chunk(b"LIST", b"INFOabc") + b"\x00" + chunk(b"data", SEED_SAMPLES)),
    "seed-float-fact-peak": wav(tag=3, align=8, rest=b"\x20\x00\x00\x00",
                                after=chunk(b"fact", b"\x06\x00\x00\x00") + chunk(b"PEAK", bytes(24))
                                + chunk(b"data", SEED_SAMPLES)),
    "seed-mono-16": wav(channels=1, align=2, rest=b"\x10\x00", after=chunk(b"data", SEED_SAMPLES)),
    "seed-extended-fmt": wav(rest=b"\x18\x00\x16\x00\x18\x00\x03\x00\x00\x00" + bytes(16),
                             after=chunk(b"data", SEED_SAMPLES)),
    "seed-short-fmt": wav(rest=b"", after=chunk(b"data", SEED_SAMPLES))[:32] + b"\x06\x00"
    + chunk(b"data", SEED_SAMPLES),
}


def cuts(data):
    """Every beginning of `data` shorter than the whole."""
    return [data[:n] for n in range(len(data))]


def refusals():
    """(name, bytes): a whole file for each header stage that refuses it."""
    plain = SEEDS["seed-plain"]
    samples = chunk(b"data", SEED_SAMPLES)
    yield "stage1-rifx", b"RIFX" + plain[4:]
    yield "stage2-wavx", plain[:8] + b"WAVX" + plain[12:]
    yield "stage3-junk-first", plain[:12] + b"JUNK" + plain[16:]
    yield "stage5-tag2", wav(tag=2, after=samples)
    yield "stage5-extensible", wav(tag=0xFFFE, after=samples)
    yield "stage6-no-channels", wav(channels=0, after=samples)
    yield "stage6-three-channels", wav(channels=3, after=samples)
    yield "stage9-five-bytes", wav(align=10, after=samples)
    yield "stage10-float-8", wav(tag=3, align=2, after=samples)
    yield "stage11-float-16", wav(tag=3, align=4, after=samples)
    yield "stage12-float-24", wav(tag=3, align=6, after=samples)
    yield "stage13-pcm-32", wav(tag=1, align=8, after=samples)
    yield "stage13-rcvr-last", wav(after=chunk(b"rcvr", b"r" * 4))
    yield "stage25-list-short", wav(after=b"LIST" + u32(100) + b"INFO")


def sweep():
    """(name, bytes): plain, 24-bit stereo with ten groups and one byte to
    drop; odd, a LIST chunk of odd size with its pad byte and a rcvr chunk to
    drop; long, samples past two blocks of 384 KiB, so that a second thread
    reads."""
    data = chunk(b"data", bytes(range(1, 32)))
    yield "plain", riff(fmt(), data)
    yield "odd", riff(fmt(), chunk(b"LIST", b"INFOx") + b"\0", chunk(b"rcvr", bytes(10)), data)
    yield "long", riff(fmt(), chunk(b"data", bytes(range(256)) * 3100))


def sparse(path, size, pieces):
    """A file of `size` bytes, holes but for each (offset, bytes) piece: a
    recording of many GiB that takes no room on disk."""
    with open(path, "wb") as f:
        for offset, data in pieces:
            f.seek(offset)
            f.write(data)
        f.truncate(size)


@functools.cache
def bench_block():
    return random.Random(20240601).randbytes(1 << 20)


def bench(path, size):
    """A 44-byte header for 24-bit stereo, then `size` sample bytes: one
    pseudo-random MiB again and again, so any size costs one MiB of memory.
    Sizes past 32 bits are declared as the largest that fits."""
    declare = min(size, 0xFFFFFFFF - 36)
    block = bench_block()
    with open(path, "wb") as f:
        f.write(b"RIFF" + u32(36 + declare) + b"WAVE" + fmt() + b"data" + u32(declare))
        for at in range(0, size, len(block)):
            f.write(block[:size - at])


def batch(folder, count=1000, largest=300_000):
    """Recordings of 1 KB to `largest` bytes, whole groups of samples, as a
    folder of them is converted."""
    os.makedirs(folder, exist_ok=True)
    sizes = random.Random(7)
    for i in range(count):
        bench(os.path.join(folder, f"rec-{i:04}.wav"), sizes.randrange(1000, largest) // 6 * 6)


# The names test's: spaces, scripts beyond any code page, a second ".", and
# what a command interpreter would read as its own (&, ^, %, !, ;, brackets).
NAMES = ["rec 1", "запись", "録音", "rec.2024", "a&md,marker&", "take(1)", "take[1]",
         "x^y", "x,y", "x;y", "x=y", "x%y", "x!y", "x'y"]
FOLDERS = ["", "rec 1", "папка", "папка/録音 [2] (b)", "a&b,c;d=e%f!g'h^i"]


def names(folder, count):
    """Recordings of up to 3 KB spread over nested folders, a number before
    each name so that no two give one output, some of them ".WAV"."""
    sizes = random.Random(11)
    for i in range(count):
        extension = ".WAV" if i % 9 == 0 else ".wav"
        path = os.path.join(folder, FOLDERS[i % len(FOLDERS)], f"{i:03} {NAMES[i % len(NAMES)]}{extension}")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        bench(path, sizes.randrange(6, 3000) // 6 * 6)


# What a computer leaves beside each recording on a card: macOS its "._"
# companion (a few KB of resource data, no WAV), the desktops their trash
# and Windows its own folders, each holding a recording of its own.
CARD_RECORDINGS = ["001 Field.wav", "REC/Interview.WAV", "REC/2024-05/take.wav"]
CARD_LEFT = [".Trash-1000/files/old.wav", "$RECYCLE.BIN/x.wav", "System Volume Information/x.wav",
             "lost+found/x.wav", "Hidden/secret.wav"]


def card(folder):
    """CARD_RECORDINGS, each with its "._" companion; CARD_LEFT; a text file;
    and take.edit.wav, no WAV file, whose output is take.wav's and whose name
    sorts before it. Hidden is for the Windows check to hide."""
    sizes = random.Random(13)
    for name in CARD_RECORDINGS + CARD_LEFT:
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        bench(path, sizes.randrange(6, 3000) // 6 * 6)
    apple_double = (b"\x00\x05\x16\x07\x00\x02\x00\x00" + b"Mac OS X        ").ljust(4096, b"\x00")
    for name in CARD_RECORDINGS:
        head, tail = os.path.split(name)
        write(os.path.join(folder, head, "._" + tail), apple_double)
    write(os.path.join(folder, "REC/notes.txt"), b"take 2 best\n")
    write(os.path.join(folder, "REC/2024-05/take.edit.wav"), b"edit list: 0:00-0:42\n")


def write_all(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files:
        write(os.path.join(folder, name), data)


def main(argv):
    what, args = (argv[0], argv[1:]) if argv else ("", [])
    if what == "sim" and len(args) == 1:
        write(args[0], sim())
    elif what == "bench" and len(args) == 2:
        bench(args[1], int(args[0]))
    elif what == "batch" and len(args) in (1, 2):
        batch(args[0], largest=int(args[1]) if args[1:] else 300_000)
    elif what == "names" and len(args) == 2:
        names(args[0], int(args[1]))
    elif what == "card" and len(args) == 1:
        card(args[0])
    elif what == "sweep" and len(args) == 1:
        write_all(args[0], ((name + ".wav", data) for name, data in sweep()))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])

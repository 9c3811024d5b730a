#!/usr/bin/env python3
"""Converts one input of more than 4 GiB and checks the output's size and the
bytes at its seams: where a 32-bit size_t or file offset would wrap, a block
would go missing or land twice.

The input is sparse and the output a named pipe read here, so neither takes
room on disk. The input carries a LIST chunk of the largest size a chunk can
declare (0xFFFFFFFF, which is also a 32-bit size_t's largest value), copied
through with its pad byte, then the data chunk, widened to the end.

Usage: large-input-check.py [RUNNER...] PATH-TO-halvorine-convert
(a RUNNER such as qemu-i386 runs a cross build)"""
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wavgen  # noqa: E402

LIST_SIZE = 0xFFFFFFFF
GROUPS = 100_000_001  # about 300 MB of samples after the LIST chunk
LIST_END = bytes([0xA1, 0xA2, 0xA3, 0xA4])  # the last bytes of the LIST content
PAD = 0xA5
SAMPLES_END = bytes([0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77])  # 2 groups and 1 trailing byte


def end_of_run(run, fifo, read):
    """Waits for the program, killing it if it hangs. A program that ended
    without opening the pipe would leave the reader waiting for a writer for
    ever: the pipe is then opened for writing once, which the reader sees as
    its end."""
    try:
        run.wait(timeout=240)
    except subprocess.TimeoutExpired:
        run.kill()
        run.wait()
    while not read.is_set():
        try:
            os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
            return
        except OSError:  # no reader yet, or no longer
            time.sleep(0.1)


def main():
    converter = [os.path.abspath(a) if os.path.exists(a) else a for a in sys.argv[1:]]
    riff = b"RIFF" + struct.pack("<I", 0xFFFFFFFF) + b"WAVE"
    list_head = b"LIST" + struct.pack("<I", LIST_SIZE)
    data_head = b"data" + struct.pack("<I", 0xFFFFFFFF)
    head_in = riff + wavgen.fmt() + list_head
    head_out = (riff + b"fmt " + struct.pack("<IHHIIHH", 20, 1, 2, 48000, 384000, 8, 32) + b"\x00\x00\xde\xad"
                + list_head)
    sample_bytes = 3 * GROUPS + 1
    size_in = len(head_in) + LIST_SIZE + 1 + len(data_head) + sample_bytes
    data_out = len(head_out) + LIST_SIZE + 1
    size_out = data_out + len(data_head) + 4 * GROUPS
    # (offset in the output, bytes expected there)
    marks = [(0, head_out),
             (data_out - 5, LIST_END + bytes([PAD]) + data_head),
             (size_out - 8, b"\x00\x11\x22\x33\x00\x44\x55\x66")]

    with tempfile.TemporaryDirectory() as tmp:
        os.chdir(tmp)
        list_end = len(head_in) + LIST_SIZE - len(LIST_END)
        wavgen.sparse("big.wav", size_in, [(0, head_in), (list_end, LIST_END + bytes([PAD]) + data_head),
                                           (size_in - len(SAMPLES_END), SAMPLES_END)])
        assert os.path.getsize("big.wav") == size_in > 1 << 32
        os.mkfifo("halvorine-big.ddc")
        start = time.monotonic()
        run = subprocess.Popen([*converter, "big.wav"], stdout=subprocess.PIPE)
        read = threading.Event()
        watch = threading.Thread(target=end_of_run, args=(run, "halvorine-big.ddc", read))
        watch.start()
        size, failures = 0, []
        with open("halvorine-big.ddc", "rb") as out:
            while block := out.read(1 << 20):
                for offset, want in marks:
                    lo, hi = max(offset, size), min(offset + len(want), size + len(block))
                    if lo < hi and block[lo - size:hi - size] != want[lo - offset:hi - offset]:
                        failures.append(f"bytes at {lo}..{hi}")
                size += len(block)
        read.set()
        watch.join()
        stdout = run.stdout.read()
        seconds = time.monotonic() - start
    if run.returncode != 0 or stdout != b"\n Convert big.wav to Halvorine format (halvorine-big.ddc)\n\n":
        failures.append(f"status {run.returncode}, stdout {stdout!r}")
    if size != size_out:
        failures.append(f"{size} bytes written, {size_out} expected")
    print(f"large input: {size_in} bytes in, {size} out, {seconds:.1f} s")
    if failures:
        sys.exit("FAILED: " + "; ".join(failures))


if __name__ == "__main__":
    main()

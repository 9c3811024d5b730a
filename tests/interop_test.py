#!/usr/bin/env python3
"""Converts WAV files written by tools nobody here wrote (sox, libsndfile's
sndfile-convert, Python's wave module) and checks the results: status and
stdout, the rewritten fmt fields, foreign chunks carried through, and the
widened samples against sox's own 24-to-32-bit conversion.

Usage: interop_test.py [RUNNER] PATH-TO-halvorine-convert
(a RUNNER such as wine64 runs the Windows build)
Exits 77 (skipped) when sox or sndfile-convert is missing, unless CI is set."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

CONVERTER = [os.path.abspath(a) if os.path.exists(a) else a for a in sys.argv[1:]]
failures = []


checks = 0


def check(ok, what):
    global checks
    checks += 1
    if not ok:
        failures.append(what)


def chunks(body, start):
    """(id, content, bytes with pad) for each chunk from `start` up to data."""
    pos, found = start, []
    while pos + 8 <= len(body):
        cid, size = body[pos:pos + 4], struct.unpack_from("<I", body, pos + 4)[0]
        if cid == b"data":
            found.append((cid, body[pos + 8:], body[pos:pos + 8]))
            break
        end = pos + 8 + size + (size % 2)
        found.append((cid, body[pos + 8:pos + 8 + size], body[pos:end]))
        pos = end
    return found


def sox(*args):
    subprocess.run(["sox", *args], check=True, capture_output=True)


def sox_s32(path):
    return subprocess.run(["sox", path, "-t", "s32", "-"], check=True, capture_output=True).stdout


def convert(name):
    run = subprocess.run([*CONVERTER, name], capture_output=True)
    out = "halvorine-" + name.split(".")[0] + ".ddc"
    with open(out, "rb") as f:
        return run.returncode, run.stdout, out, f.read()


def check_converted(name, bits):
    with open(name, "rb") as f:
        src = f.read()
    status, stdout, out_name, dst = convert(name)
    banner = f"\n Convert {name} to Halvorine format ({out_name})\n\n".encode()
    check(status == 0, f"{name}: status {status}")
    check(stdout == banner, f"{name}: stdout {stdout!r}")
    fmt_size = struct.unpack_from("<I", src, 16)[0]
    tag, channels, rate, avg, _align = struct.unpack_from("<HHIIH", src, 20)
    check(dst[:16] == src[:16] and struct.unpack_from("<I", dst, 16)[0] == fmt_size + 4, f"{name}: RIFF or fmt size")
    check(struct.unpack_from("<HHIIH", dst, 20) == (tag, channels, rate, avg * 4 // 3, 8), f"{name}: fmt fields")
    rest = src[34:20 + fmt_size]
    check(dst[34:20 + fmt_size] == bytes(32 if b == 24 else b for b in rest), f"{name}: rest of fmt")
    check(struct.unpack_from("<H", dst, 34)[0] == (32 if bits == 24 else bits), f"{name}: wBitsPerSample")
    check(dst[20 + fmt_size:24 + fmt_size] == b"\x00\x00\xde\xad", f"{name}: fmt trailer")
    src_chunks = chunks(src, 20 + fmt_size)
    dst_chunks = chunks(dst, 24 + fmt_size)
    kept = [c for c in src_chunks if c[0] != b"rcvr"]
    check([c[2] for c in dst_chunks[:-1]] == [c[2] for c in kept[:-1]], f"{name}: chunks before data")
    samples, widened = src_chunks[-1][1], dst_chunks[-1][1]
    check(dst_chunks[-1][2] == src_chunks[-1][2], f"{name}: data ID and size")
    expected = b"".join(b"\x00" + samples[i:i + 3] for i in range(0, len(samples) - 2, 3))
    check(widened == expected, f"{name}: widened samples")
    if bits == 24 and tag == 1:
        check(widened == sox_s32(name), f"{name}: samples differ from sox's 32-bit conversion")
    return [c[0] for c in dst_chunks]


def main():
    if not (shutil.which("sox") and shutil.which("sndfile-convert")):
        print("sox or sndfile-convert missing")
        return 1 if os.environ.get("CI") else 77
    with tempfile.TemporaryDirectory() as tmp:
        os.chdir(tmp)
        tone = ["synth", "0.05", "sine", "440", "sine", "660"]
        sox("-n", "-r", "48000", "-c", "2", "-b", "24", "-t", "wavpcm", "s24.wav", *tone)
        sox("-n", "-r", "44100", "-c", "1", "-b", "24", "-t", "wavpcm", "m24.wav", *tone[:4])
        sox("-n", "-r", "44100", "-c", "2", "-b", "16", "-t", "wavpcm", "s16.wav", *tone)
        sox("-n", "-r", "8000", "-c", "1", "-b", "8", "-t", "wavpcm", "m8.wav", *tone[:4])
        sox("-n", "-r", "48000", "-c", "2", "-b", "32", "-e", "floating-point", "-t", "wavpcm", "f32.wav", *tone)
        subprocess.run(["sndfile-convert", "-pcm24", "f32.wav", "sf24.wav"], check=True)
        subprocess.run(["sndfile-convert", "-float32", "s24.wav", "sffloat.wav"], check=True)
        with wave.open("py24.wav", "wb") as w:  # 3 mono frames: 9 bytes of data, an odd size
            w.setnchannels(1)
            w.setsampwidth(3)
            w.setframerate(22050)
            w.writeframes(bytes([0x01, 0x02, 0x03, 0xFF, 0xFE, 0xFD, 0x80, 0x00, 0x7F]))

        for name, bits in [("s24.wav", 24), ("m24.wav", 24), ("s16.wav", 16), ("m8.wav", 8),
                           ("sf24.wav", 24), ("py24.wav", 24)]:
            check_converted(name, bits)
        check(check_converted("f32.wav", 32)[:-1] == [b"fact"], "f32.wav: fact chunk")
        check(check_converted("sffloat.wav", 32)[:-1] == [b"fact", b"PEAK"], "sffloat.wav: fact and PEAK")

        # sox's default 24-bit output is WAVE_FORMAT_EXTENSIBLE, which is refused.
        sox("-n", "-r", "48000", "-c", "2", "-b", "24", "ext.wav", *tone)
        status, stdout, _, dst = convert("ext.wav")
        check(status == 1, f"ext.wav: status {status}")
        check(stdout.endswith(b"Unknown wFormatTag.Error in .wav file header [5]"), f"ext.wav: {stdout!r}")
        check(len(dst) == 20, f"ext.wav: {len(dst)} bytes written")
        # ... and rewritten as plain PCM it converts.
        sox("ext.wav", "-t", "wavpcm", "plain.wav")
        check_converted("plain.wav", 24)

    for f in failures:
        print("FAILED:", f)
    print(f"interop: {checks} checks, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Converts WAV files written by tools nobody here wrote (sox, libsndfile's
sndfile-convert, FFmpeg, Python's wave module) and checks the results: status
and stdout, the rewritten fmt fields, foreign chunks carried through, chunks
after the data widened like samples, and the widened samples against sox's own
24-to-32-bit conversion. Files these tools write in forms the program refuses
(WAVE_FORMAT_EXTENSIBLE, a chunk before fmt, RF64) are refused as doc/interop.md
says, and rewritten by `sox IN -t wavpcm OUT` they hold only fmt and data,
every sample kept, and convert.

Usage: interop_test.py [--keep-inputs DIR] [RUNNER...] PATH-TO-halvorine-convert
(a RUNNER such as wine64 runs the Windows build, and one such as
qemu-aarch64 -L /usr/aarch64-linux-gnu a cross build; --keep-inputs copies
every WAV file the tools wrote into DIR, for other front ends to convert)
Exits 77 (skipped) when sox, sndfile-convert or ffmpeg is missing, unless CI
is set."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

ARGS = sys.argv[1:]
KEEP = os.path.abspath(ARGS[1]) if ARGS[:1] == ["--keep-inputs"] else None
if KEEP:
    ARGS = ARGS[2:]
CONVERTER = [os.path.abspath(a) if os.path.exists(a) else a for a in ARGS]
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


def samples_and_after(wav):
    """The data chunk's content, and everything after it. An RF64 file keeps
    the real size in ds64: its data runs to the end."""
    _, rest, header = chunks(wav, 12)[-1]
    size = struct.unpack_from("<I", header, 4)[0]
    return rest[:size], rest[size:]


def widen(b):
    return b"".join(b"\x00" + b[i:i + 3] for i in range(0, len(b) - 2, 3))


def read(name):
    with open(name, "rb") as f:
        return f.read()


def sox(*args):
    subprocess.run(["sox", *args], check=True, capture_output=True)


def sox_s32(path):
    return subprocess.run(["sox", path, "-t", "s32", "-"], check=True, capture_output=True).stdout


# Under wine, a run that failed on wine's own account (it printed nothing,
# and its stderr starts with one of wine's messages in wine_faults.txt) is
# tried once more, without the output the first try may have left.
UNDER_WINE = any("wine" in os.path.basename(a) for a in CONVERTER[:-1])
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine_faults.txt"), "rb") as f:
    WINE_FAULTS = tuple(line for line in f.read().split(b"\n") if line)


def convert(name):
    out = "halvorine-" + name.split(".")[0] + ".ddc"
    run = subprocess.run([*CONVERTER, name], capture_output=True)
    if UNDER_WINE and not run.stdout and run.stderr.startswith(WINE_FAULTS):
        if os.path.lexists(out):
            os.remove(out)
        run = subprocess.run([*CONVERTER, name], capture_output=True)
    with open(out, "rb") as f:
        return run.returncode, run.stdout, out, f.read()


def ffmpeg(name, *args):
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "sine=frequency=440:duration=0.05:sample_rate=48000", "-ac", "2", *args, name], check=True)


def check_converted(name, bits):
    src = read(name)
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
    check(widened == widen(samples), f"{name}: widened samples")
    if bits == 24 and tag == 1:  # sox reads the data chunk only, not what follows it
        in_chunk = len(samples_and_after(src)[0]) // 3 * 4
        check(widened[:in_chunk] == sox_s32(name), f"{name}: samples differ from sox's 32-bit conversion")
    return [c[0] for c in dst_chunks]


def main():
    if not all(shutil.which(tool) for tool in ("sox", "sndfile-convert", "ffmpeg")):
        print("sox, sndfile-convert or ffmpeg missing")
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

        # FFmpeg's plain PCM has a LIST chunk before the data, and its bext
        # follows fmt: both are carried through.
        ffmpeg("ff16.wav", "-c:a", "pcm_s16le")
        ffmpeg("ffu8.wav", "-c:a", "pcm_u8")
        ffmpeg("ffbext.wav", "-c:a", "pcm_s16le", "-write_bext", "1")
        for name, bits, before in [("ff16.wav", 16, [b"LIST"]), ("ffu8.wav", 8, [b"LIST"]),
                                   ("ffbext.wav", 16, [b"bext", b"LIST"])]:
            check(check_converted(name, bits)[:-1] == before, f"{name}: chunks before data")

        # Chunks after the data are widened like samples: libsndfile's tags
        # set on a written file (the LIST chunk), FFmpeg's peak envelope (levl).
        subprocess.run(["sndfile-metadata-set", "--str-title", "Take 1", "sf24.wav", "tagged.wav"], check=True)
        ffmpeg("ffpeak.wav", "-c:a", "pcm_s16le", "-write_peak", "on")
        for name, bits, before, tail in [("tagged.wav", 24, [], b"LIST"), ("ffpeak.wav", 16, [b"LIST"], b"levl")]:
            check(check_converted(name, bits)[:-1] == before, f"{name}: chunks before data")
            after = samples_and_after(read(name))[1]
            check(after.startswith(tail), f"{name}: no {tail} after the data")
            check(read("halvorine-" + name[:-4] + ".ddc").endswith(widen(after)), f"{name}: {tail} not widened")

        # Forms that are refused: (file, message, bytes written before it).
        sox("-n", "-r", "48000", "-c", "2", "-b", "24", "ext.wav", *tone)  # sox's default 24-bit form
        ffmpeg("ff24.wav", "-c:a", "pcm_s24le")  # FFmpeg's only 24-bit form
        ffmpeg("fff32.wav", "-c:a", "pcm_f32le")  # and its only float form
        subprocess.run(["sndfile-convert", "-pcm32", "s16.wav", "sf32.wav"], check=True)  # 4-byte PCM
        ffmpeg("junk.wav", "-c:a", "pcm_s24le", "-rf64", "auto")  # JUNK before fmt, room for ds64
        ffmpeg("rf64.wav", "-c:a", "pcm_s16le", "-rf64", "always")  # what "auto" becomes past 4 GiB
        extensible = b"Unknown wFormatTag.Error in .wav file header [5]"
        refused = [("ext.wav", extensible, 20), ("ff24.wav", extensible, 20), ("fff32.wav", extensible, 20),
                   ("sf32.wav", b"Error in .wav file header [13]", 32),
                   ("junk.wav", b"Error in .wav file header [3]", 12),
                   ("rf64.wav", b"Error in .wav file header [1]", 0)]
        for name, message, written in refused:
            status, stdout, _, dst = convert(name)
            check(status == 1, f"{name}: status {status}")
            check(stdout.endswith(message), f"{name}: {stdout!r}")
            check(len(dst) == written, f"{name}: {len(dst)} bytes written")

        # ... and rewritten by sox they hold fmt and data alone and convert,
        # with every sample where the width stays (32-bit integers must be
        # made 24-bit, as the documents say).
        for name, bits, options in [("ext.wav", 24, []), ("ff24.wav", 24, []), ("junk.wav", 24, []),
                                    ("rf64.wav", 16, []), ("tagged.wav", 24, []), ("sf32.wav", 24, ["-b", "24"])]:
            plain = "plain-" + name
            sox(name, *options, "-t", "wavpcm", plain)
            check([c[0] for c in chunks(read(plain), 12)] == [b"fmt ", b"data"], f"{plain}: chunks")
            if not options:
                check(samples_and_after(read(plain)) == (samples_and_after(read(name))[0], b""), f"{plain}: samples")
            check_converted(plain, bits)

        if KEEP:
            os.makedirs(KEEP, exist_ok=True)
            for name in sorted(os.listdir(".")):
                if name.endswith(".wav"):
                    shutil.copy(name, KEEP)

    for f in failures:
        print("FAILED:", f)
    print(f"interop: {checks} checks, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

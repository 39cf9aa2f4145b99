#!/usr/bin/env python3
"""Builds the benchmark's input files byte by byte: MPEG 1 Layer III frames
with ID3v2 covers, ID3v1 tags, Lyrics3 blocks and junk between frames; for
the joined case, parts encoded by lame joined end to end; for the vbr cases,
lame's variable-bitrate frames without a VBR header.

usage: make_library.py CASE FOLDER   (CASE: library, big, small, tail, noise, joined, vbr, vbrtag)
"""
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

rng = random.Random(2026)


def frame(bitrate_index, padding):
    # MPEG 1 Layer III, 44100 Hz, joint stereo; the payload is random audio
    # bytes with no 0xFF, so no false header sits inside a frame.
    bitrates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    length = 144000 * bitrates[bitrate_index] // 44100 + padding
    header = bytes([0xFF, 0xFB, (bitrate_index << 4) | (padding << 1), 0x44])
    return header + bytes(rng.randrange(0, 255) for _ in range(length - 4))


# A pool of frames to draw from: building every frame afresh would make the
# generator, not the cleaner, the slow part. One bitrate, padded and not:
# a stream whose bitrates vary and that has no VBR header gets one added in
# front, which the vbr cases measure.
POOL = [frame(9, p) for p in (0, 1) for _ in range(40)]


def id3v2(body_size):
    size = bytes([(body_size >> 21) & 0x7F, (body_size >> 14) & 0x7F, (body_size >> 7) & 0x7F, body_size & 0x7F])
    return b"ID3\x03\x00\x00" + size + os.urandom(body_size)


def id3v1(title):
    return (b"TAG" + title.encode()[:30].ljust(30, b"\0") + b"Artist".ljust(30, b"\0") +
            b"Album".ljust(30, b"\0") + b"2026" + b"Comment".ljust(29, b"\0") + b"\x07\x0c")


def lyrics3():
    return b"LYRICSBEGIN" + b"la la la " * 40 + b"000372LYRICS200"


def junk(size):
    return bytes(rng.randrange(0, 255) for _ in range(size))


def song(path, audio_bytes, cover, tail_tags=True, junk_gaps=True):
    with open(path, "wb") as out:
        if cover:
            out.write(id3v2(cover))
        written = 0
        while written < audio_bytes:
            f = POOL[rng.randrange(len(POOL))]
            out.write(f)
            written += len(f)
            if junk_gaps and rng.random() < 0.001:
                out.write(junk(rng.randrange(1, 200)))
        if tail_tags:
            out.write(lyrics3())
            out.write(id3v1(os.path.basename(path)))


def big_audio(path, size, cover):
    # Repeats one megabyte of frames: fast to write, the same work to clean.
    block = bytearray()
    while len(block) < 1 << 20:
        block += POOL[rng.randrange(len(POOL))]
    with open(path, "wb") as out:
        if cover:
            out.write(id3v2(cover))
        for _ in range(size // len(block)):
            out.write(block)
        out.write(id3v1("big"))


def lame_frames(seconds, *options):
    """A sweeping tone as lame encodes it at a variable bitrate (with -t, no
    VBR header in front)."""
    if shutil.which("lame") is None:
        sys.exit("the joined and vbr cases need lame (apt-get install lame)")
    with tempfile.TemporaryDirectory() as scratch:
        pcm = os.path.join(scratch, "tone.wav")
        with wave.open(pcm, "wb") as out:
            out.setnchannels(2)
            out.setsampwidth(2)
            out.setframerate(44100)
            # A tone a little higher each second.
            for second in range(seconds):
                step = 2 * math.pi * (300 + 5 * second) / 44100
                out.writeframes(b"".join(struct.pack("<hh", v, -v) for v in
                                         (int(12000 * math.sin(step * n)) for n in range(44100))))
        mp3 = os.path.join(scratch, "part.mp3")
        subprocess.run(["lame", "--quiet", "-V", "2", *options, pcm, mp3], check=True)
        with open(mp3, "rb") as f:
            return f.read()


def lame_part(seconds):
    """Three minutes of the tone (a Xing header with a LAME tag in the first
    frame), with an ID3v2 tag holding a cover in front and an ID3v1 tag
    behind, as a tagger leaves it."""
    return id3v2(64 << 10) + lame_frames(seconds) + id3v1("part")


def repeated(path, head, body, size):
    """head, then body again and again until size bytes."""
    with open(path, "wb") as out:
        out.write(head)
        for _ in range(size // len(body)):
            out.write(body)


def main():
    case, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    if case == "library":
        for i in range(200):
            song(os.path.join(folder, "song%03d.mp3" % i), rng.randrange(1 << 20, 10 << 20),
                 rng.randrange(100 << 10, 500 << 10))
    elif case == "big":
        big_audio(os.path.join(folder, "big.mp3"), 1 << 30, 300 << 10)
    elif case == "tail":
        big_audio(os.path.join(folder, "tail.mp3"), 1 << 30, 0)
    elif case == "noise":
        # No MP3 at all: the search looks through all of it for audio.
        noise = random.Random(7)
        with open(os.path.join(folder, "noise.mp3"), "wb") as out:
            for _ in range(1024):
                out.write(noise.randbytes(1 << 20))
    elif case == "small":
        for i in range(10000):
            sub = os.path.join(folder, "artist%02d" % (i // 1000), "album%02d" % (i // 100 % 10))
            os.makedirs(sub, exist_ok=True)
            song(os.path.join(sub, "track%04d.mp3" % i), 20 << 10, rng.randrange(1 << 10, 4 << 10), junk_gaps=False)
    elif case == "joined":
        # Parts joined with cat until 512 MB: one Xing header to make true,
        # and every other part's header frame and tags to remove.
        repeated(os.path.join(folder, "joined.mp3"), b"", lame_part(180), 512 << 20)
    elif case in ("vbr", "vbrtag"):
        # 512 MB of variable-bitrate frames without a VBR header: one is
        # added in front; with nothing in front the file grows, behind a tag
        # it takes the tag's place.
        head = id3v2(64 << 10) if case == "vbrtag" else b""
        repeated(os.path.join(folder, case + ".mp3"), head, lame_frames(180, "-t"), 512 << 20)
    else:
        sys.exit("unknown case " + case)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets to fuzz/corpus/<target>/.

Every seed is built byte by byte: tiny MPEG 2 Layer III frames (24 or 48
bytes), an ID3v2 tag, an ID3v1 tag, a Lyrics3 marker and RIFF/WAVE headers.
The clean_file seeds begin with the switch byte (1 /T, 2 /F, 4 /P, 8 /B,
16 /D). Run it again after changing it; the output is always the same.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(length=24, mono=True, fill=0x11, padding=False):
    """An MPEG 2 Layer III frame at 24000 Hz: 8 kbit/s gives 24 bytes,
    16 kbit/s 48 bytes."""
    bitrate_index = {24: 1, 48: 2}[length]
    b2 = (bitrate_index << 4) | (1 << 2) | (2 if padding else 0)
    header = bytes([0xFF, 0xF3, b2, 0xC4 if mono else 0x00])
    size = length + (1 if padding else 0)
    return header + bytes([fill]) * (size - 4)


def xing_frame(count):
    """A 48-byte mono frame carrying a Xing header with this frame count."""
    body = bytearray(frame(48, fill=0x22))
    body[13:25] = b"Xing" + struct.pack(">II", 1, count)
    return bytes(body)


def other_stream_frame():
    """A 26-byte MPEG 2 Layer III frame at 22050 Hz: another stream."""
    return bytes([0xFF, 0xF3, 0x10, 0xC4]) + b"\x33" * 22


def id3v2(body=16, flags=0):
    return b"ID3\x03\x00" + bytes([flags]) + bytes([0, 0, 0, body]) + b"\x00" * body


def id3v1(title=b"Seed"):
    tag = b"TAG" + title.ljust(30, b"\x00") + b"Artist".ljust(30, b"\x00") + b"Album".ljust(30, b"\x00")
    return tag + b"2024" + b"Comment".ljust(29, b"\x00") + b"\x01\x0c"


def riff(payload, extra=b""):
    chunks = b"fmt " + struct.pack("<I", 30) + b"\x55\x00" + b"\x55" * 28 + extra
    chunks += b"data" + struct.pack("<I", len(payload)) + payload
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


def tag_inside_frames():
    """Four 48-byte frames whose last 128 bytes pass as an ID3v1 tag (the
    headers inside it are text to the tag test), then one junk byte."""
    body = bytearray()
    for i in range(4):
        body += frame(48, fill=0x20 + i)
    body[64:67] = b"TAG"
    for at in range(67, len(body)):
        if at % 48 >= 4:
            body[at] = ord("x")
    return bytes(body) + b"\x01"


def frames(n, **kw):
    return b"".join(frame(fill=0x10 + i, **kw) for i in range(n))


SEEDS = {
    "frame_search": {
        "three-frames": frames(3),
        "junk-then-frames": b"\x00\xff\x12\xff\xfe" + frames(2),
        "xing": xing_frame(3) + frames(3),
        "mpeg1-header": b"\xff\xfb\x90\x64" + b"\x00" * 60,
        "padded": frames(2, padding=True, mono=False),
    },
    "frame_walk": {
        "joined-with-tags": id3v2() + xing_frame(2) + frames(2) + id3v1() + id3v2(40) + xing_frame(1) + frames(1),
        "stale-count": xing_frame(1) + frames(5),
        "count-then-stranded": xing_frame(1) + frames(2) + b"junk" + frames(1) + b"junk",
        "stranded": frames(3) + b"junk" + frames(1) + b"junk" + frames(3),
        "stacked-tags": id3v2(30) + id3v2(200) + frames(3),
        "cut-off-confirms": frames(2) + b"junk" + frames(1) + frame(48)[:20],
        "tag-claims-too-much": frames(2) + b"ID3\x03\x00\x00\x7f\x7f\x7f\x7f" + frames(3),
        # Second byte 0xB7: 68,160 zero bytes go in after the first three
        # frames, so what follows lies beyond the search's reach.
        "beyond-reach-eight": b"\x00\xb7\xff\x4c" + frames(3) + frames(8),
        "beyond-reach-seven": b"\x00\xb7\xff\x4c" + frames(3) + frames(7) + id3v1(),
        "beyond-reach-tag": b"\x00\xb7\xff\x4c" + frames(3) + id3v2() + frames(3),
    },
    "riff_wave": {
        "wave": riff(frames(2)),
        "odd-list": riff(frames(1), b"LIST" + struct.pack("<I", 5) + b"abcde\x00"),
        "not-wave": b"RIFF\x10\x00\x00\x00AVI " + b"\x00" * 8,
        "no-data": b"RIFF\x10\x00\x00\x00WAVEfmt " + struct.pack("<I", 0xFFFFFFFF),
    },
    "id3v2": {
        "tag": id3v2() + frames(1),
        "footer": id3v2(4, 0x10) + b"3DI" + b"\x00" * 7,
        "after-junk": b"\x00\x00\x00" + id3v2(2),
        "bad-size": b"ID3\x04\x00\x00\x00\x80\x00\x00",
    },
    "id3v1": {
        "tag": id3v1(),
        "frame-into-tag": frame(48)[:30] + id3v1(),
        "lyrics-then-tag": frame(24) + b"LYRICSBEGIN" + b"words" + id3v1()[:40],
        "bad-title": b"TAG\x01" + b"x" * 124,
    },
    "clean_file": {
        "tagged-trash": b"\x01" + id3v2() + frames(3) + b"junk" + frames(2) + id3v1(),
        "keep-tag": b"\x05" + frames(3) + id3v1(),
        "earlier-trash": b"\x21" + id3v2() + frames(3) + b"junk" + frames(1) + id3v1(),
        "cut-into-tag": b"\x04" + frames(2) + frame(24)[:10] + id3v1(),
        "riff": b"\x03" + riff(frames(3)),
        "xing-backup": b"\x19" + xing_frame(2) + frames(4) + b"LYRICSBEGIN" + b"x" * 9,
        "not-mp3": b"\x01" + b"\x89PNG\r\n\x1a\n" + b"\xff\xe0" * 8,
        "tag-inside-frames": b"\x06" + tag_inside_frames(),
        # Found by the fuzzer: with /T /P the kept tag's text holds a frame,
        # and a frame holds a "LYRICSBEGIN" before a valid "TAG", so a second
        # clean both grows the file and clears that frame from the marker.
        "tp-tag-frame-and-lyrics": bytes.fromhex(
            "05fff305fff314c41010111111111111fff314c4121212121212131212121212"
            "121212fff314c41212121212121212121212121212121212121212fff314c411"
            "11494353424547494e11111111114111111111fff3144c595249435342454749"
            "4e11111212121212544147536500fff314c41212121212121212121212121212"
            "121212121212544147536565a0a0a0a0a0a064000058696e6700070000000000"
            "000000210000000000416c1111fff314c462756d000000000000000000000000"
            "00000000000014c4121212121212121212121212121212121212121254414753"
            "65656400000000000000000000000000000000000000000000416c0000000000"
            "00000000010c"),
        # Found by the fuzzer: past the Xing count, a chance Layer I header
        # confirmed by a "TAG" in the junk behind it begins a new stream; the
        # first clean removes that "TAG", so a second clean drops the frame.
        "xing-count-then-new-stream": bytes.fromhex(
            "19fff324c42222222222222222a258696e670000000100000002222222222222"
            "202d20436c65616e656420222222222222fff314c4101010101010101090f010"
            "101010101010101010fff314c4111111111111efe5111105ff1105fff305fff3"
            "6f14c4534245504e47f440ffff590d0a1affffffffff12121212544147536500"
            "fff314c41212121212124353424547494e11111212341212544147536500fff3"
            "14c41212121212121212121212121212121212121212544147534c5952494353"
            "420a1affffe001ffe0b7ffe000"),
        # A Xing count of one frame, then a frame past it that junk leaves
        # unconfirmed, then another stream: the first clean keeps the Xing
        # frame and its one frame before the other stream, and a second
        # clean must keep them too.
        "xing-count-one-then-other-stream": b"\x00" + xing_frame(1) + frame(48) + frame(48) + b"\x00" * 30
        + other_stream_frame() * 3,
    },
}


def main():
    root = os.path.join(HERE, "corpus")
    shutil.rmtree(root, ignore_errors=True)
    for target, seeds in SEEDS.items():
        os.makedirs(os.path.join(root, target))
        for name, data in seeds.items():
            with open(os.path.join(root, target, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()

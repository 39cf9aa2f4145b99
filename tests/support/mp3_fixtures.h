// MP3 data built byte by byte: frames, tags and containers with known layout.
#pragma once

#include <cstdint>
#include <string>

#include "support/test_support.h"

namespace scourby::testing {

// One frame with this header (default: MPEG 1 Layer III, 128 kbit/s,
// 44100 Hz, 417 bytes). The payload holds no 0xFF and no ASCII letter, so
// it never looks like a header or a tag; seed varies it.
Bytes Frame(std::uint8_t b1 = 0xFB, std::uint8_t b2 = 0x90, std::uint8_t b3 = 0x64, int seed = 0);

// count default frames, each with its own payload.
Bytes Frames(int count, int seed = 0);

// An ID3v2.3 tag with a body of bodySize bytes (10 + bodySize in all).
Bytes Id3v2Tag(std::uint32_t bodySize);

// Bytes like a compressed picture's: random, with a header of the default
// frame planted every 1000 bytes or so, and no tag marker ("ID3", "TAG",
// "LYRICSBEGIN", "APETAGEX").
Bytes Picture(std::size_t size, int seed = 0);

// An ID3v2.3 tag whose body is a picture of pictureSize bytes.
Bytes Id3v2PictureTag(std::uint32_t pictureSize, int seed = 0);

// A valid 128-byte ID3v1 tag.
Bytes Id3v1Tag(const std::string& title = "Title");

// A first frame carrying a Xing header with this frame count (MPEG 1
// stereo: "Xing" at offset 36).
Bytes XingFrame(std::uint32_t frameCount);

// A RIFF/WAVE file with a 'fmt ' chunk and payload as its "data" chunk.
Bytes RiffWave(const Bytes& payload);

// Little-endian and big-endian 32-bit numbers as bytes.
Bytes Le32(std::uint32_t value);
Bytes Be32(std::uint32_t value);

}  // namespace scourby::testing

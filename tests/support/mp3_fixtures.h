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

// An APEv2 tag (one item, a 32-byte footer, and the same 32 bytes as a
// header in front when withHeader).
Bytes ApeTag(bool withHeader);

// A Lyrics3 v2 block.
Bytes Lyrics3V2();

// An ID3v2.4 tag with a body of bodySize bytes and a footer (20 + bodySize
// in all).
Bytes Id3v2FooterTag(std::uint32_t bodySize);

// A first frame carrying a Xing header with this frame count and byte count
// (MPEG 1 stereo: "Xing" at offset 36); by default the byte count is that of
// the frame and frameCount default frames, so that the header is true for
// them.
Bytes XingFrame(std::uint32_t frameCount);
Bytes XingFrame(std::uint32_t frameCount, std::uint32_t byteCount);

// A RIFF/WAVE file with payload as its "data" chunk, behind a 'fmt ' chunk
// of 30 bytes that gives this format tag (default: MPEG Layer 3), or of 40
// for the extensible format (0xFFFE) with this sub-format.
Bytes RiffWave(const Bytes& payload, std::uint16_t format = 0x0055, std::uint16_t subFormat = 0);

// The number of frames of a stream whose frames lie back to back from its
// start, up to the first bytes that are not a whole frame.
std::uint32_t FrameCount(const Bytes& stream);

// Little-endian and big-endian 32-bit numbers as bytes.
Bytes Le32(std::uint32_t value);
Bytes Be32(std::uint32_t value);

}  // namespace scourby::testing

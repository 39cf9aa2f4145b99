#include "mpeg/frame_header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace scourby {
namespace {

FrameHeader HeaderOf(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  FrameHeader header;
  header.headerBytes = {b0, b1, b2, b3};
  return header;
}

std::string Hex(const FrameHeader& h) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", h.headerBytes[0], h.headerBytes[1], h.headerBytes[2],
                h.headerBytes[3]);
  return text;
}

struct ValidCase {
  std::array<std::uint8_t, 4> bytes;
  std::int32_t versionCode, layer, padding, sampleRate, bitrate, frameLength;
};

TEST(DecodeFrameHeader, ValidHeadersDecodeToTheirFieldsAndLength) {
  const ValidCase cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, 1, 3, 0, 44100, 128, 417},
      {{0xFF, 0xFB, 0x92, 0x64}, 1, 3, 1, 44100, 128, 418},
      {{0xFF, 0xFB, 0xE4, 0xC4}, 1, 3, 0, 48000, 320, 960},
      {{0xFF, 0xF3, 0x84, 0xC4}, 2, 3, 0, 24000, 64, 192},
      {{0xFF, 0xE3, 0x18, 0xC4}, 25, 3, 0, 8000, 8, 72},
      {{0xFF, 0xFF, 0xEA, 0x00}, 1, 1, 1, 32000, 448, 676},
      {{0xFF, 0xE5, 0xEA, 0x00}, 25, 2, 1, 8000, 160, 2881},  // largest Layer II frame
      {{0xFF, 0xF5, 0x14, 0x00}, 2, 2, 0, 24000, 8, 48},      // smallest Layer II frame
      // Protection bit, private bit and byte 3 change nothing.
      {{0xFF, 0xFA, 0x91, 0x00}, 1, 3, 0, 44100, 128, 417},
      // Layer I rounds down to whole 4-byte slots before padding:
      // 12000 * 32 / 44100 = 8.7 slots -> 32 bytes, + 4.
      {{0xFF, 0xFF, 0x12, 0x00}, 1, 1, 1, 44100, 32, 36},
      // MPEG 2 Layer I: 12000 * 144 / 22050 = 78.4 slots -> 312 bytes, + 4.
      {{0xFF, 0xF7, 0x92, 0x00}, 2, 1, 1, 22050, 144, 316},
      // MPEG 2 Layer III: 72000 * 8 / 22050 = 26.1 -> 26, + 1.
      {{0xFF, 0xF3, 0x12, 0x00}, 2, 3, 1, 22050, 8, 27},
  };
  for (const ValidCase& c : cases) {
    FrameHeader h = HeaderOf(c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]);
    ASSERT_EQ(DecodeFrameHeader(h), 1) << Hex(h);
    EXPECT_EQ(h.versionCode, c.versionCode) << Hex(h);
    EXPECT_EQ(h.layer, c.layer) << Hex(h);
    EXPECT_EQ(h.padding, c.padding) << Hex(h);
    EXPECT_EQ(h.sampleRate, c.sampleRate) << Hex(h);
    EXPECT_EQ(h.bitrate, c.bitrate) << Hex(h);
    EXPECT_EQ(h.frameLength, c.frameLength) << Hex(h);
  }
}

// Index 1 and index 14 of each bitrate row, reached through the version and
// layer that select the row.
TEST(DecodeFrameHeader, EachVersionAndLayerUsesItsBitrateRow) {
  struct RowCase {
    std::uint8_t byte1;
    std::int32_t lowest, highest;
  };
  const RowCase rows[] = {
      {0xFF, 32, 448},  // MPEG 1 Layer I
      {0xFD, 32, 384},  // MPEG 1 Layer II
      {0xFB, 32, 320},  // MPEG 1 Layer III
      {0xF7, 32, 256},  // MPEG 2 Layer I
      {0xE7, 32, 256},  // MPEG 2.5 Layer I
      {0xF5, 8, 160},   // MPEG 2 Layer II
      {0xE3, 8, 160},   // MPEG 2.5 Layer III
  };
  for (const RowCase& r : rows) {
    FrameHeader low = HeaderOf(0xFF, r.byte1, 0x10, 0x00);
    FrameHeader high = HeaderOf(0xFF, r.byte1, 0xE0, 0x00);
    ASSERT_EQ(DecodeFrameHeader(low), 1) << Hex(low);
    ASSERT_EQ(DecodeFrameHeader(high), 1) << Hex(high);
    EXPECT_EQ(low.bitrate, r.lowest) << Hex(low);
    EXPECT_EQ(high.bitrate, r.highest) << Hex(high);
  }
}

// Every combination of the decoded bit fields: exactly the valid ones pass,
// and their lengths are positive with the right padding slot.
TEST(DecodeFrameHeader, EveryValidCombinationHasAPlausibleLength) {
  int valid = 0;
  for (unsigned b1 = 0xE0; b1 <= 0xFF; b1 += 2) {
    for (unsigned b2 = 0; b2 <= 0xFF; b2 += 1) {
      FrameHeader h = HeaderOf(0xFF, static_cast<std::uint8_t>(b1), static_cast<std::uint8_t>(b2), 0);
      if (DecodeFrameHeader(h) == 0) continue;
      if ((b2 & 1) == 0) ++valid;  // count each header once, not per private bit
      EXPECT_GE(h.frameLength, 24) << Hex(h);
      EXPECT_LE(h.frameLength, 2881) << Hex(h);
      if (h.layer == 1) {
        EXPECT_EQ(h.frameLength % 4, 0) << Hex(h);
      }
    }
  }
  // 3 versions x 3 layers x 3 sample rates x 14 bitrates x 2 paddings.
  EXPECT_EQ(valid, 756);
}

struct InvalidCase {
  std::array<std::uint8_t, 4> bytes;
  FrameHeader expected;  // headerBytes unused; 7 marks an untouched field
};

// A failed decode writes the fields of the steps before the failing one and
// the failing step's own (rejected) value; later fields keep older values.
TEST(DecodeFrameHeader, InvalidHeadersFailAtTheirStepAndLeaveLaterFieldsAlone) {
  const InvalidCase cases[] = {
      {{0xFF, 0xEB, 0x90, 0x64}, {{}, -1, 7, 7, 7, 7, 7}},      // version field 1
      {{0xFF, 0xF9, 0x90, 0x64}, {{}, 1, -1, 7, 7, 7, 7}},      // layer field 0
      {{0xFF, 0xFB, 0x9C, 0x64}, {{}, 1, 3, 0, 0, 7, 7}},       // sample-rate index 3
      {{0xFF, 0xFB, 0x02, 0x64}, {{}, 1, 3, 1, 44100, 0, 7}},   // bitrate index 0
      {{0xFF, 0xFB, 0xF0, 0x64}, {{}, 1, 3, 0, 44100, -1, 7}},  // bitrate index 15
      {{0xFF, 0xE1, 0x90, 0x64}, {{}, 25, -1, 7, 7, 7, 7}},     // MPEG 2.5, layer field 0
      {{0xFF, 0xF3, 0x0C, 0x64}, {{}, 2, 3, 0, 0, 7, 7}},       // MPEG 2, sample-rate index 3
  };
  for (const InvalidCase& c : cases) {
    FrameHeader h{c.bytes, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(DecodeFrameHeader(h), 0) << Hex(h);
    EXPECT_EQ(h.versionCode, c.expected.versionCode) << Hex(h);
    EXPECT_EQ(h.layer, c.expected.layer) << Hex(h);
    EXPECT_EQ(h.padding, c.expected.padding) << Hex(h);
    EXPECT_EQ(h.sampleRate, c.expected.sampleRate) << Hex(h);
    EXPECT_EQ(h.bitrate, c.expected.bitrate) << Hex(h);
    EXPECT_EQ(h.frameLength, c.expected.frameLength) << Hex(h);
  }
}

TEST(BigEndian32, TakesTheFirstByteAsTheMostSignificant) {
  const struct {
    std::uint8_t bytes[4];
    std::uint32_t value;
  } cases[] = {
      {{0x00, 0x00, 0x00, 0x0F}, 15u},         {{0x00, 0x01, 0x00, 0x00}, 65536u},
      {{0x80, 0x00, 0x00, 0x00}, 2147483648u}, {{0xFF, 0xFF, 0xFF, 0xFF}, 4294967295u},
      {{0x12, 0x34, 0x56, 0x78}, 0x12345678u},
  };
  for (const auto& c : cases) EXPECT_EQ(BigEndian32(c.bytes), c.value);
}

TEST(VersionText, NamesEachVersionCode) {
  EXPECT_STREQ(VersionText(1), "1.0");
  EXPECT_STREQ(VersionText(2), "2.0");
  EXPECT_STREQ(VersionText(25), "2.5");
}

}  // namespace
}  // namespace scourby

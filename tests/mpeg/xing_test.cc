#include "mpeg/xing.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace scourby {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& frame, std::size_t at, std::initializer_list<unsigned> bytes) {
  for (const unsigned b : bytes) frame[at++] = static_cast<std::uint8_t>(b);
}

void PutText(Bytes& frame, std::size_t at, const std::string& text) {
  for (const char c : text) frame[at++] = static_cast<std::uint8_t>(c);
}

FrameHeader Decoded(const Bytes& frame) {
  FrameHeader header;
  EXPECT_TRUE(IsFrameHeader(frame.data(), header));
  return header;
}

// An MPEG 1 Layer III frame of 417 bytes (joint stereo) as LAME writes it:
// "Xing" at 36, all four flags, 5 frames, 4096 bytes, an empty table of
// contents, quality 100, and a LAME tag at 156 whose music length is 4096,
// music CRC 0x1234 and tag CRC 0xCAAA (the CRC of bytes 0 to 189).
Bytes LameFrame() {
  Bytes frame(417, 0);
  Put(frame, 0, {0xFF, 0xFB, 0x90, 0x64});
  PutText(frame, 36, "Xing");
  Put(frame, 40, {0, 0, 0, 0x0F, 0, 0, 0, 5, 0, 0, 0x10, 0x00});
  Put(frame, 152, {0, 0, 0, 0x64});
  PutText(frame, 156, "LAME3.100");
  Put(frame, 184, {0, 0, 0x10, 0x00, 0x12, 0x34, 0xCA, 0xAA});
  return frame;
}

// Where two frames differ, for a failure's message.
std::string Differences(const Bytes& a, const Bytes& b) {
  std::string out;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const int x = i < a.size() ? a[i] : -1, y = i < b.size() ? b[i] : -1;
    if (x != y) out += " [" + std::to_string(i) + "] " + std::to_string(x) + " != " + std::to_string(y);
  }
  return out;
}

StreamTruth Truth(std::uint32_t frames, std::uint32_t bytes, std::uint16_t musicCrc = 0xBEEF) {
  StreamTruth truth{frames, bytes, {}, musicCrc};
  // Frame k of the table begins 40 bytes further on than frame k - 1.
  for (std::size_t i = 0; i < kTocEntries; ++i) truth.tocOffsets[i] = static_cast<std::uint32_t>(i * 40);
  return truth;
}

// floor(256 * 40i / 4000), the table of contents of Truth(F, 4000).
const Bytes kToc = {0,   2,   5,   7,   10,  12,  15,  17,  20,  23,  25,  28,  30,  33,  35,  38,  40,  43,  46,  48,
                    51,  53,  56,  58,  61,  64,  66,  69,  71,  74,  76,  79,  81,  84,  87,  89,  92,  94,  97,  99,
                    102, 104, 107, 110, 112, 115, 117, 120, 122, 125, 128, 130, 133, 135, 138, 140, 143, 145, 148, 151,
                    153, 156, 158, 161, 163, 166, 168, 171, 174, 176, 179, 181, 184, 186, 189, 192, 194, 197, 199, 202,
                    204, 207, 209, 212, 215, 217, 220, 222, 225, 227, 230, 232, 235, 238, 240, 243, 245, 248, 250, 253};

TEST(Xing, HeadersAreMadeTrueFieldByFieldAndNothingElseChanges) {
  const struct {
    const char* name;
    std::function<void(Bytes&)> make;  // from LameFrame
    StreamTruth truth;
    bool musicChanged;
    std::map<std::size_t, Bytes> changes;  // the bytes that must change, at their offsets
  } cases[] = {
      {"a true header keeps every byte", nullptr, Truth(5, 4096), false, {}},
      {"counts wrong: the counts, the table of contents and the LAME tag",
       nullptr,
       Truth(9, 4000),
       false,
       {{44, {0, 0, 0, 9, 0, 0, 0x0F, 0xA0}}, {52, kToc}, {184, {0, 0, 0x0F, 0xA0, 0xBE, 0xEF, 0x04, 0xC1}}}},
      {"only the byte count wrong",
       nullptr,
       Truth(5, 4000),
       false,
       {{48, {0, 0, 0x0F, 0xA0}}, {52, kToc}, {184, {0, 0, 0x0F, 0xA0, 0xBE, 0xEF, 0x57, 0x54}}}},
      {"counts true, a frame cleared: the LAME tag's music CRC",
       nullptr,
       Truth(5, 4096),
       true,
       {{188, {0xBE, 0xEF, 0x91, 0x97}}}},
      {"counts true, a joined part's padding: the LAME tag's encoder padding and music CRC",
       nullptr,
       [] {
         StreamTruth truth = Truth(5, 4096);
         truth.encoderPadding = 0x234;
         return truth;
       }(),
       false,
       {{178, {0x02, 0x34}}, {188, {0xBE, 0xEF, 0x66, 0x84}}}},
      {"a LAME tag whose own CRC fails is no LAME tag",
       [](Bytes& f) { f[191] = 0xAB; },
       Truth(9, 4000),
       true,
       {{44, {0, 0, 0, 9, 0, 0, 0x0F, 0xA0}}, {52, kToc}}},
      {"Info, frame count only",
       [](Bytes& f) {
         PutText(f, 36, "Info"), Put(f, 40, {0, 0, 0, 1});
       },
       Truth(9, 4000),
       false,
       {{44, {0, 0, 0, 9}}}},
      {"no counts: nothing is wrong",
       [](Bytes& f) {
         Put(f, 40, {0, 0, 0, 0x04});
       },
       Truth(9, 4000),
       false,
       {}},
      {"a frame that ends inside the table: the counts only",
       [](Bytes& f) { f.resize(100); },
       Truth(9, 4000),
       true,
       {{44, {0, 0, 0, 9, 0, 0, 0x0F, 0xA0}}}},
      {"a frame that ends inside the byte count",
       [](Bytes& f) { f.resize(50); },
       Truth(9, 4000),
       true,
       {{44, {0, 0, 0, 9}}}},
      {"Xing at the mono offset of a stereo frame is none",
       [](Bytes& f) { PutText(f, 21, "Xing"), f[36] = 'x'; },
       Truth(9, 4000),
       true,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes frame = LameFrame();
    if (c.make) c.make(frame);
    const Bytes before = frame;
    const FrameHeader header = Decoded(frame);
    const std::optional<XingFields> fields = FindXingFields(frame, header);
    bool changed = false;
    if (fields) changed = MakeXingTrue(frame, *fields, c.truth, c.musicChanged);
    Bytes expected = before;
    for (const auto& [at, bytes] : c.changes) std::copy(bytes.begin(), bytes.end(), expected.begin() + at);
    EXPECT_TRUE(frame == expected) << Differences(frame, expected);
    EXPECT_EQ(changed, !c.changes.empty());
    // Made true once, it stays as it is.
    if (fields) {
      EXPECT_FALSE(MakeXingTrue(frame, *FindXingFields(frame, header), c.truth, false));
      EXPECT_TRUE(frame == expected) << Differences(frame, expected);
    }
  }
}

TEST(Xing, TableEntriesAreCappedAndNameTheirFrames) {
  EXPECT_EQ(TocFrame(0, 1000), 0u);
  EXPECT_EQ(TocFrame(1, 1000), 10u);    // floor(1001 / 100)
  EXPECT_EQ(TocFrame(99, 1000), 990u);  // floor(99099 / 100)
  EXPECT_EQ(TocFrame(99, 0), 0u);
  EXPECT_EQ(TocFrame(99, 0xFFFFFFFF), 4252017623u);
  Bytes frame = LameFrame();
  StreamTruth truth = Truth(9, 4000);
  truth.tocOffsets[99] = 3999;  // floor(256 * 3999 / 4000) = 255
  truth.tocOffsets[98] = 4000;  // would be 256
  MakeXingTrue(frame, *FindXingFields(frame, Decoded(frame)), truth, false);
  EXPECT_EQ(frame[52 + 99], 255);
  EXPECT_EQ(frame[52 + 98], 255);
}

TEST(Xing, HeaderFramesOfJoinedPartsAreToldByTheirMagic) {
  const struct {
    const char* name;
    std::initializer_list<unsigned> header;
    std::size_t at;
    const char* magic;
    std::size_t length;  // of the frame as given
    bool headerFrame;
  } cases[] = {
      {"Xing, MPEG 1 stereo", {0xFF, 0xFB, 0x90, 0x04}, 36, "Xing", 417, true},
      {"Info, MPEG 1 stereo", {0xFF, 0xFB, 0x90, 0x04}, 36, "Info", 417, true},
      {"Info, MPEG 1 mono", {0xFF, 0xFB, 0x90, 0xC4}, 21, "Info", 417, true},
      {"Xing, MPEG 2 stereo", {0xFF, 0xF3, 0x84, 0x44}, 21, "Xing", 144, true},
      {"Xing, MPEG 2.5 mono", {0xFF, 0xE3, 0x58, 0xC4}, 13, "Xing", 144, true},
      {"VBRI at 36, whatever the channels", {0xFF, 0xF3, 0x84, 0xC4}, 36, "VBRI", 144, true},
      {"Info at another offset", {0xFF, 0xFB, 0x90, 0x04}, 21, "Info", 417, false},
      {"lower case", {0xFF, 0xFB, 0x90, 0x04}, 36, "info", 417, false},
      {"magic cut off by the frame's end", {0xFF, 0xFB, 0x90, 0x04}, 36, "Xing", 39, false},
  };
  for (const auto& c : cases) {
    Bytes frame(417, 0);
    Put(frame, 0, c.header);
    PutText(frame, c.at, c.magic);
    const FrameHeader header = Decoded(frame);
    frame.resize(c.length);
    EXPECT_EQ(IsVbrHeaderFrame(frame, header), c.headerFrame) << c.name;
  }
}

}  // namespace
}  // namespace scourby

namespace scourby {
namespace {

// The frame put in front of a stream without a header: the first frame's
// header with no CRC, no padding or private bit, at the smallest bitrate
// that holds the counts and the table of contents; "Xing", flags 7, F, B,
// the table, and nothing else.
TEST(Xing, AnAddedHeaderFrameHoldsTheCountsAndTableAndNothingElse) {
  const struct {
    const char* name;
    Bytes first;  // the first frame's header
    Bytes added;  // the added frame's
    std::size_t length;
    std::size_t xingAt;
  } cases[] = {
      {"MPEG 1, 44100 Hz, stereo, with CRC and padding", {0xFF, 0xFA, 0x92, 0x64}, {0xFF, 0xFB, 0x30, 0x64}, 156, 36},
      {"MPEG 1, 48000 Hz, mono, private bit", {0xFF, 0xFB, 0x95, 0xC4}, {0xFF, 0xFB, 0x34, 0xC4}, 144, 21},
      {"MPEG 2, 22050 Hz, stereo", {0xFF, 0xF3, 0x80, 0x64}, {0xFF, 0xF3, 0x60, 0x64}, 156, 21},
      {"MPEG 2.5, 11025 Hz, mono", {0xFF, 0xE3, 0x50, 0xC4}, {0xFF, 0xE3, 0x30, 0xC4}, 156, 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FrameHeader header = AddedXingHeader(Decoded(c.first));
    ASSERT_EQ(static_cast<std::size_t>(header.frameLength), c.length);
    Bytes frame(c.length, 0xAA);
    BuildXingFrame(frame, header, Truth(7, 4000));
    Bytes expected(c.length, 0);
    Put(expected, 0, {c.added[0], c.added[1], c.added[2], c.added[3]});
    PutText(expected, c.xingAt, "Xing");
    Put(expected, c.xingAt + 4, {0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0x0F, 0xA0});
    std::copy(kToc.begin(), kToc.end(), expected.begin() + static_cast<std::ptrdiff_t>(c.xingAt + 16));
    EXPECT_EQ(frame, expected) << Differences(frame, expected);
    // It reads back as a header with the two counts and the table, and no
    // LAME tag.
    const std::optional<XingFields> fields = FindXingFields(frame, Decoded(frame));
    ASSERT_TRUE(fields);
    EXPECT_TRUE(XingCountsTrue(frame, *fields, 7, 4000));
    EXPECT_EQ(fields->lameTag, XingFields::kAbsent);
  }
}

}  // namespace
}  // namespace scourby

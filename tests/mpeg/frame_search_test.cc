#include "mpeg/frame_search.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace scourby {
namespace {

using platform::File;
using platform::FileAccess;
using platform::Reader;
using testing::Bytes;
using testing::TempDir;
using testing::WriteFile;

Bytes Zeros(std::size_t n) { return Bytes(n, '\0'); }

Bytes Raw(std::initializer_list<unsigned> bytes) {
  Bytes out;
  for (const unsigned b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// A frame of `length` bytes: the four header bytes, then zeros.
Bytes Frame(std::initializer_list<unsigned> header, std::size_t length = 417) {
  Bytes out = Raw(header);
  out.resize(length, '\0');
  return out;
}

const Bytes kFrame = Frame({0xFF, 0xFB, 0x90, 0x64});  // MPEG 1 Layer III, 417 bytes

struct Outcome {
  std::int32_t found = 0;
  std::int64_t position = 0;
  FrameHeader header;
  XingInfo xing;
};

// Every search runs unbuffered, with a tiny buffer (so the 4-byte steps
// cross buffer boundaries) and with the default buffer.
class FindFrameHeaderTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  Outcome Search(const Bytes& content, std::int64_t start, std::int32_t checkXing = 0, XingInfo xing = {}) {
    WriteFile(dir_ / "f.mp3", content);
    File file = File::OpenExisting(dir_ / "f.mp3", FileAccess::kRead);
    EXPECT_TRUE(file.IsOpen());
    Reader reader(file, GetParam());
    reader.SetPosition(start);
    Outcome out;
    out.xing = xing;
    out.found = FindFrameHeader(reader, checkXing, out.header, out.xing);
    out.position = reader.Position();
    return out;
  }

  TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(BufferSizes, FindFrameHeaderTest, ::testing::Values(0, 16, Reader::kDefaultBufferSize));

struct SearchCase {
  const char* name;
  Bytes content;
  std::int64_t start;
  std::int64_t header;  // offset of the header found; -1: none
};

TEST_P(FindFrameHeaderTest, FindsTheHeaderTheWindowRulesAllow) {
  const Bytes twoFrames = kFrame + kFrame;
  Bytes nonAudio = Zeros(20);
  nonAudio.replace(3, 4, Raw({0xFF, 0xF0, 0x00, 0x00}));  // reserved layer field
  const SearchCase cases[] = {
      {"frame at the start", kFrame, 0, 0},
      {"after 1 zero byte", Zeros(1) + kFrame, 0, 1},
      {"after 2 zero bytes", Zeros(2) + kFrame, 0, 2},
      {"after 3 zero bytes", Zeros(3) + kFrame, 0, 3},
      {"64000 bytes after the start", Zeros(64000) + kFrame, 0, 64000},
      {"64001 bytes after the start", Zeros(64001) + kFrame, 0, -1},
      {"limit counts from the start", Zeros(10 + 64000) + kFrame, 10, 10 + 64000},
      {"limit counts from the start, past it", Zeros(10 + 64001) + kFrame, 10, -1},
      // At the last place, only when the group before holds no 0xFF.
      {"0xFF just before the last place", Zeros(63999) + Raw({0xFF}) + kFrame, 0, -1},
      {"0xFF a group before the last place", Zeros(63995) + Raw({0xFF}) + Zeros(4) + kFrame, 0, 64000},
      // The 0xFF before the frame is its group's first 0xFF, so the frame
      // at offset 1 is never a candidate.
      {"0xFF right before the frame", Raw({0xFF}) + twoFrames, 0, 418},
      {"groups count from the start", "abcde" + Raw({0xFF}) + twoFrames, 5, 423},
      {"four 0xFF before the frame", Raw({0xFF, 0xFF, 0xFF, 0xFF}) + kFrame, 0, 4},
      {"reserved layer in non-audio", nonAudio + kFrame, 0, 20},
      {"invalid header right before a frame", Frame({0xFF, 0xFB, 0x00, 0x64}, 4) + kFrame, 0, 4},
      {"second byte's top bit clear", Frame({0xFF, 0x7B, 0x90, 0x64}, 24), 0, -1},
      {"MPEG 2.5", Frame({0xFF, 0xE3, 0x18, 0xC4}, 72), 0, 0},
      // The last read returns nothing and the file's last four bytes stand
      // at positions 1 to 4.
      {"header in the last four bytes", Raw({0xFF, 0, 0, 0, 0xFF, 0xFB, 0x90, 0x64}), 0, 4},
      // Positions 7 and 8 still hold 90 64 from the read before.
      {"header cut off by the end", Raw({0, 0, 0x90, 0x64, 0xFF, 0xFB}), 0, -1},
      // The empty last read leaves FB 90 64 at positions 5 to 7.
      {"header running past the end", Raw({0, 0, 0, 0, 0xFB, 0x90, 0x64, 0xFF}), 0, -1},
      {"empty file", Bytes(), 0, -1},
      {"start at the end", kFrame, 417, -1},
      {"start past the end", kFrame, 1000, -1},
      {"frame after the start only", kFrame + kFrame, 1, 417},
  };
  for (const SearchCase& c : cases) {
    const Outcome out = Search(c.content, c.start);
    if (c.header < 0) {
      EXPECT_EQ(out.found, 0) << c.name;
      EXPECT_EQ(out.position, c.start) << c.name;
    } else {
      EXPECT_EQ(out.found, 1) << c.name;
      EXPECT_EQ(out.position, c.header) << c.name;
    }
  }
}

TEST_P(FindFrameHeaderTest, LeavesTheAcceptedHeaderDecoded) {
  Outcome out = Search(Zeros(2) + kFrame, 0);
  ASSERT_EQ(out.found, 1);
  EXPECT_EQ(out.header.headerBytes, (std::array<std::uint8_t, 4>{0xFF, 0xFB, 0x90, 0x64}));
  EXPECT_EQ(out.header.frameLength, 417);

  out = Search(Frame({0xFF, 0xE3, 0x18, 0xC4}, 72), 0);
  ASSERT_EQ(out.found, 1);
  EXPECT_EQ(out.header.versionCode, 25);
  EXPECT_EQ(out.header.bitrate, 8);
  EXPECT_EQ(out.header.sampleRate, 8000);
}

struct XingCase {
  const char* name;
  std::initializer_list<unsigned> header;
  std::size_t offset;  // of the magic, from the header's first byte
  const char* magic;
  std::uint32_t flags, count;
  std::size_t cutAt;    // file length after the header's offset; 0: whole
  std::uint32_t known;  // expected xingFramesKnown
};

Bytes Be32(std::uint32_t v) { return Raw({v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}); }

Bytes XingFrame(const XingCase& c) {
  Bytes frame = Frame(c.header);
  frame.replace(c.offset, 12, std::string(c.magic, 4) + Be32(c.flags) + Be32(c.count));
  if (c.cutAt != 0) frame.resize(c.cutAt);
  return frame;
}

constexpr std::uint32_t kOldCount = 0xDEADBEEF;

TEST_P(FindFrameHeaderTest, XingProbeReadsTheFrameCountAtItsOffset) {
  const std::initializer_list<unsigned> m1Stereo = {0xFF, 0xFB, 0x90, 0x04}, m1Mono = {0xFF, 0xFB, 0x90, 0xC4},
                                        m2Stereo = {0xFF, 0xF3, 0x84, 0x44}, m2Mono = {0xFF, 0xF3, 0x84, 0xC4},
                                        m25Stereo = {0xFF, 0xE3, 0x58, 0x84}, m25Mono = {0xFF, 0xE3, 0x58, 0xC4},
                                        m1LayerII = {0xFF, 0xFD, 0x90, 0x04};
  const XingCase cases[] = {
      {"MPEG 1 stereo", m1Stereo, 36, "Xing", 0x0F, 0x1000, 0, 1},
      {"frame count flag clear", m1Stereo, 36, "Xing", 0x0E, 0x1000, 0, 0},
      {"MPEG 1 mono", m1Mono, 21, "Xing", 0x01, 0x1000, 0, 1},
      {"MPEG 1 stereo, mono offset", m1Stereo, 21, "Xing", 0x0F, 0x1000, 0, 0},
      {"MPEG 1 mono, stereo offset", m1Mono, 36, "Xing", 0x0F, 0x1000, 0, 0},
      {"MPEG 2 stereo", m2Stereo, 21, "Xing", 0x0F, 0x1000, 0, 1},
      {"MPEG 2 mono", m2Mono, 13, "Xing", 0x0F, 0x1000, 0, 1},
      {"MPEG 2.5 stereo", m25Stereo, 21, "Xing", 0x0F, 0x1000, 0, 1},
      {"MPEG 2.5 mono", m25Mono, 13, "Xing", 0x0F, 0x1000, 0, 1},
      {"MPEG 1 Layer II", m1LayerII, 36, "Xing", 0x0F, 0x1000, 0, 1},
      {"Info", m1Stereo, 36, "Info", 0x0F, 0x1000, 0, 0},
      {"lower-case xing", m1Stereo, 36, "xing", 0x0F, 0x1000, 0, 0},
      {"count with the top bit set", m1Stereo, 36, "Xing", 0x0F, 0x80000000, 0, 1},
      {"count of 0", m1Stereo, 36, "Xing", 0x0F, 0, 0, 0},
      {"magic cut off", m1Stereo, 36, "Xing", 0x0F, 0x1000, 39, 0},
      {"flags cut off", m1Stereo, 36, "Xing", 0x0F, 0x1000, 43, 0},
      {"count cut off", m1Stereo, 36, "Xing", 0x0F, 0x1000, 47, 0},
  };
  for (const std::size_t lead : {0u, 3u}) {
    for (const XingCase& c : cases) {
      const std::string name = std::string(c.name) + " after " + std::to_string(lead);
      const Outcome out = Search(Zeros(lead) + XingFrame(c), 0, 1, XingInfo{1, kOldCount});
      ASSERT_EQ(out.found, 1) << name;
      EXPECT_EQ(out.position, static_cast<std::int64_t>(lead)) << name;
      EXPECT_EQ(out.xing.xingFramesKnown, static_cast<std::int32_t>(c.known)) << name;
      // The count is written only with a known count, never cleared.
      EXPECT_EQ(out.xing.xingFrameCount, c.known ? c.count : kOldCount) << name;
    }
  }
}

TEST_P(FindFrameHeaderTest, XingInfoChangesOnlyWhenAProbingSearchFindsAHeader) {
  const XingCase first = {"", {0xFF, 0xFB, 0x90, 0x04}, 36, "Xing", 1, 4096, 0, 1};
  const XingCase later = {"", {0xFF, 0xFB, 0x90, 0x04}, 36, "Xing", 1, 7, 0, 1};
  const Bytes content = XingFrame(first) + XingFrame(later);
  WriteFile(dir_ / "two.mp3", content);
  File file = File::OpenExisting(dir_ / "two.mp3", FileAccess::kRead);
  Reader reader(file, GetParam());
  FrameHeader header;
  XingInfo xing;
  ASSERT_EQ(FindFrameHeader(reader, 1, header, xing), 1);
  EXPECT_EQ(xing.xingFramesKnown, 1);
  EXPECT_EQ(xing.xingFrameCount, 4096u);

  reader.SetPosition(417);
  ASSERT_EQ(FindFrameHeader(reader, 0, header, xing), 1);
  EXPECT_EQ(reader.Position(), 417);
  EXPECT_EQ(xing.xingFrameCount, 4096u);

  reader.SetPosition(static_cast<std::int64_t>(content.size()));
  EXPECT_EQ(FindFrameHeader(reader, 1, header, xing), 0);
  EXPECT_EQ(xing.xingFramesKnown, 1);
  EXPECT_EQ(xing.xingFrameCount, 4096u);
}

}  // namespace
}  // namespace scourby

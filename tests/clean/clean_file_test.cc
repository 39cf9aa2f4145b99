// The cleaning pass where the frame reconstructor meets a frame header: a
// tag marker that begins among the header's own bytes.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"
#include "tags/frame_reconstructor.h"

namespace scourby::testing {
namespace {

// MPEG 2 Layer III, 24000 Hz, 8 kbit/s, mono: 24-byte frames.
Bytes SmallFrame(int seed) { return Frame(0xF3, 0x14, 0xC4, seed); }

struct MarkerCase {
  const char* name;
  Bytes frame;        // the last frame, holding "TAG" at tagAt
  std::size_t tagAt;  // where "TAG" begins
};

// A frame with this header whose bytes from tagAt on are "TAG" and text, so
// that they pass as the start of a valid ID3v1 tag.
MarkerCase TagFrame(const char* name, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::size_t tagAt) {
  Bytes frame = Frame(b1, b2, b3);
  frame.replace(tagAt, Bytes::npos, frame.size() - tagAt, 'x');
  frame.replace(tagAt, 3, "TAG");
  return {name, frame, tagAt};
}

TEST(CleanFile, ATagMarkerInsideTheHeaderClearsTheDataButNotTheHeader) {
  const MarkerCase cases[] = {
      // Header FF F3 14 'T' and then "AG": byte 3 is the channel mode byte.
      TagFrame("TAG from header byte 3", 0xF3, 0x14, 'T', 3),
      // Header FF F3 'T' 'A' (40 kbit/s, 120 bytes): byte 2 holds the bitrate.
      TagFrame("TAG from header byte 2", 0xF3, 'T', 'A', 2),
      // After the header: cleared from the marker on, as always.
      TagFrame("TAG in the frame's data", 0xF3, 0x14, 0xC4, 10),
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.frame.empty());
    const Bytes audio = SmallFrame(1) + SmallFrame(2);
    Bytes expected = c.frame;
    const std::size_t from = std::max<std::size_t>(c.tagAt, 4);
    expected.replace(from, Bytes::npos, expected.size() - from, c.frame[c.tagAt - 1]);
    for (const char* mode : {"/V", "/C"}) {
      TempDir dir;
      WriteFile(dir / "song.mp3", audio + c.frame);
      RunScourby({"song.mp3", mode}, dir.path().string());
      const Bytes cleaned = ReadFile(dir / "song.mp3");
      EXPECT_TRUE(cleaned == audio + expected) << mode;
      // The frame is still a frame: a second pass finds it and keeps it.
      const RunResult again = RunScourby({"song.mp3", mode}, dir.path().string());
      EXPECT_NE(again.out.find(" - Cleaned 0 bytes\r\n"), std::string::npos) << again.out;
      EXPECT_TRUE(ReadFile(dir / "song.mp3") == cleaned) << mode;
    }
  }
}

// The pass looks ahead for the first letters of a marker over many frames
// at a time, in steps; a marker that begins on the last byte a step covers,
// or on a frame's last byte, must still be found in its frame.
TEST(CleanFile, MarkersAreFoundWhereverTheLookaheadStepsEnd) {
  constexpr std::size_t kFrame = 417;
  constexpr std::size_t kStep = 16 * 1024;  // the lookahead's step
  // A frame from offset at on holding "TAG" and text (a valid tag start), or
  // "LYRICSBEGIN".
  auto marked = [&](int seed, std::size_t at, const Bytes& marker) {
    Bytes frame = Frame(0xFB, 0x90, 0x64, seed);
    frame.replace(at, Bytes::npos, kFrame - at, 'a');
    frame.replace(at, std::min(marker.size(), kFrame - at), marker.substr(0, kFrame - at));
    return frame;
  };
  struct Case {
    const char* name;
    std::map<int, std::pair<std::size_t, Bytes>> marks;  // frame -> (offset, marker)
  };
  const std::size_t boundary = kStep - 1;  // from the start of the scan
  const Case cases[] = {
      {"pair on a step's last byte, scan from frame 0", {{int(boundary / kFrame), {boundary % kFrame, "TAG"}}}},
      {"pair on a step's last byte, scan from frame 1",
       {{0, {200, "TAG"}}, {1 + int(boundary / kFrame), {boundary % kFrame, "TAG"}}}},
      {"lyrics marker beyond a step", {{0, {300, "LYRICSBEGIN"}}, {50, {100, "LYRICSBEGIN"}}}},
      {"'T' on a frame's last byte, then a marker", {{3, {kFrame - 1, "TAG"}}, {4, {5, "TAG"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes input, expected;
    for (int i = 0; i < 90; ++i) {
      const auto mark = c.marks.find(i);
      Bytes frame =
          mark == c.marks.end() ? Frame(0xFB, 0x90, 0x64, i) : marked(i, mark->second.first, mark->second.second);
      input += frame;
      std::vector<std::uint8_t> cleared(frame.begin(), frame.end());
      ReconstructFrame(cleared);
      expected += Bytes(cleared.begin(), cleared.end());
    }
    ASSERT_NE(input, expected);
    for (const char* mode : {"/V", "/C"}) {
      TempDir dir;
      WriteFile(dir / "song.mp3", input);
      RunScourby({"song.mp3", mode}, dir.path().string());
      EXPECT_TRUE(ReadFile(dir / "song.mp3") == expected) << mode;
    }
  }
}

}  // namespace
}  // namespace scourby::testing

// The cleaning pass where the frame reconstructor meets a frame header: a
// tag marker that begins among the header's own bytes.
#include <gtest/gtest.h>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

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

}  // namespace
}  // namespace scourby::testing

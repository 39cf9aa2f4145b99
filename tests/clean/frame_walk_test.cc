// The frame walk over byte buffers: which frames a stream keeps where junk,
// tags, joins and Xing counts meet it.
#include "clean/frame_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/mp3_fixtures.h"

namespace scourby::testing {
namespace {

// Builds a stream piece by piece and remembers where the frames to keep
// begin.
class Layout {
 public:
  // Frames that the walk must keep.
  Layout& Keep(const Bytes& frames, int frameLength = 417) {
    for (std::size_t at = 0; at < frames.size(); at += static_cast<std::size_t>(frameLength)) {
      kept_.push_back(static_cast<std::int64_t>(bytes_.size() + at));
    }
    bytes_ += frames;
    return *this;
  }
  // Bytes that are junk to the walk, chance or stranded frames included.
  Layout& Junk(const Bytes& junk) {
    bytes_ += junk;
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }
  const std::vector<std::int64_t>& kept() const { return kept_; }

 private:
  Bytes bytes_;
  std::vector<std::int64_t> kept_;
};

struct Walked {
  std::vector<std::int64_t> frames;  // where each frame visited begins
  std::int64_t tail = -1;            // where the walk ended
  XingInfo xing;                     // after the walk
};

// Walks the frames as the pass does: from the first frame, frame by frame.
// An incomplete last frame is visited, not kept: it is left out here.
Walked Walk(const Bytes& content, std::int64_t from = 0) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  platform::Reader input(bytes);
  input.SetPosition(from);
  FrameWalk walk(input, static_cast<std::int64_t>(content.size()));
  Walked walked;
  if (!walk.First()) return walked;
  for (std::uint32_t count = 1;; ++count) {
    const std::int64_t start = input.Position();
    const std::int64_t end = start + walk.header().frameLength;
    if (end <= static_cast<std::int64_t>(content.size())) walked.frames.push_back(start);
    input.SetPosition(std::min<std::int64_t>(end, static_cast<std::int64_t>(content.size())));
    if (!walk.Next(input.Position(), count)) break;
  }
  walked.tail = input.Position();
  walked.xing = walk.xing();
  return walked;
}

TEST(FrameWalk, KeepsEveryFrameOfTheStreamAndNoneOfTheJunk) {
  // MPEG 2 Layer III, 24000 Hz, 64 kbit/s: frames of another stream.
  Bytes otherStream;
  for (int i = 0; i < 4; ++i) otherStream += Frame(0xF3, 0x84, 0x64, i);
  const int otherLength = static_cast<int>(otherStream.size() / 4);
  // MPEG 1 Layer III, 48000 Hz, 128 kbit/s.
  Bytes rate48000;
  for (int i = 0; i < 4; ++i) rate48000 += Frame(0xFB, 0x94, 0x64, i);
  const int rate48000Length = static_cast<int>(rate48000.size() / 4);
  const Bytes picture = Id3v2PictureTag(150000, 1);
  const struct {
    const char* name;
    Layout layout;
  } cases[] = {
      {"frames only", Layout().Keep(Frames(6, 0))},
      {"junk between two runs", Layout().Keep(Frames(3, 0)).Junk("JUNKJUNKJUNK").Keep(Frames(3, 3))},
      {"stacked ID3v2 tags before the first frame",
       Layout().Junk(Id3v2Tag(3000) + Id3v2PictureTag(90000, 2) + Id3v2Tag(20)).Keep(Frames(4, 0))},
      {"a picture's chance headers between two runs",
       Layout().Keep(Frames(3, 0)).Junk(Picture(50000, 3)).Keep(Frames(3, 3)).Junk(Picture(20000, 4))},
      {"joined files: tags with pictures longer than the reach between the parts", Layout()
                                                                                       .Junk(picture)
                                                                                       .Keep(Frames(5, 0))
                                                                                       .Junk(Id3v1Tag() + picture)
                                                                                       .Keep(Frames(5, 5))
                                                                                       .Junk(Id3v1Tag() + picture)
                                                                                       .Keep(Frames(5, 10))
                                                                                       .Junk(Id3v1Tag())},
      {"a frame stranded between junk", Layout().Keep(Frames(3, 0)).Junk("JUNK" + Frame() + "JUNK").Keep(Frames(3, 4))},
      {"two frames stranded between junk",
       Layout().Keep(Frames(3, 0)).Junk("JUNK" + Frames(2, 3) + "JUNK").Keep(Frames(3, 5))},
      {"frames of another stream behind junk are a stream of their own",
       Layout().Keep(Frames(3, 0)).Junk("JUNK").Keep(otherStream, otherLength)},
      {"frames of another stream straight after the last frame",
       Layout().Keep(Frames(3, 0)).Keep(otherStream, otherLength)},
      // The same version and layer at 48000 Hz is another stream: it does
      // not confirm a 44100 Hz frame stranded in front of it.
      {"a frame behind junk followed by frames that differ only in sample rate",
       Layout().Keep(Frames(3, 0)).Junk("JUNK" + Frame()).Keep(rate48000, rate48000Length)},
      {"a frame behind junk confirmed by a tag",
       Layout().Keep(Frames(3, 0)).Junk("JUNK").Keep(Frame()).Junk(Id3v1Tag())},
      {"a frame behind junk confirmed by the cut-off last frame",
       Layout().Keep(Frames(3, 0)).Junk("JUNK").Keep(Frame()).Junk(Frame().substr(0, 100))},
      {"a tag that claims more than the file holds is searched through",
       Layout().Keep(Frames(3, 0)).Junk(Id3v2Tag(10).substr(0, 6) + "\x7F\x7F\x7F\x7F" + "junk").Keep(Frames(3, 3))},
      // Beyond the reach, a stream is taken only when 8 whole frames chain.
      {"7 frames beyond the reach stay junk", Layout().Keep(Frames(3, 0)).Junk(Bytes(64100, '\0') + Frames(7, 3))},
      {"8 frames beyond the reach are taken", Layout().Keep(Frames(3, 0)).Junk(Bytes(64100, '\0')).Keep(Frames(8, 3))},
      {"beyond the reach, a tag does not confirm",
       Layout().Keep(Frames(3, 0)).Junk(Bytes(64100, '\0') + Frames(7, 3) + Id3v1Tag())},
      {"an ID3v2 tag beyond the reach starts the search afresh behind it",
       Layout().Keep(Frames(3, 0)).Junk(Bytes(64100, '\0') + Id3v2Tag(10)).Keep(Frames(3, 3))},
      {"a picture longer than the reach in an APEv2 tag between joined parts",
       Layout().Keep(Frames(3, 0)).Junk("APETAGEX" + Picture(150000, 6)).Keep(Frames(8, 3))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Walked walked = Walk(c.layout.bytes());
    EXPECT_EQ(walked.frames, c.layout.kept());
  }
}

// count frames of MPEG 1 Layer I, 44100 Hz, 288 kbit/s, stereo.
Bytes LayerOne(int count) {
  Bytes frames;
  for (int i = 0; i < count; ++i) frames += Frame(0xFF, 0x90, 0x00, i);
  return frames;
}

TEST(FrameWalk, TheFirstFrameMustBeConfirmed) {
  const struct {
    const char* name;
    Bytes content;
    std::int64_t first;  // -1: none
  } cases[] = {
      {"frames from the start", Frames(3, 0), 0},
      {"one frame, then the end of the file", Frame(), 0},
      {"one frame, then a cut-off frame", Frame() + Frame().substr(0, 10), 0},
      {"a chance header, then frames", "\xFF\xFB\x90\x64" + Bytes(100, 'x') + Frames(8, 0), 104},
      // Where the audio does not begin, a first frame needs 8 frames in a
      // row (32 of Layer I), all of one version, layer, rate and channels.
      {"a picture, then 7 frames", Picture(30000, 5) + Frames(7, 0), -1},
      {"a picture, then 8 frames", Picture(30000, 5) + Frames(8, 0), 30000},
      {"junk, then 8 frames that turn from stereo to mono",
       "junk" + Frames(4, 0) + Frame(0xFB, 0x90, 0xC4) + Frame(0xFB, 0x90, 0xC4) + Frames(2, 4), -1},
      {"junk, then 31 frames of Layer I", "junk" + LayerOne(31), -1},
      {"junk, then 32 frames of Layer I", "junk" + LayerOne(32), 4},
      {"whole ID3v2 tags back to back, then one frame: the audio begins there", Id3v2Tag(100) + Id3v2Tag(30) + Frame(),
       150},
      {"a picture and no frames", Picture(30000, 5), -1},
      {"7 frames beyond the reach", Bytes(64001, '\0') + Frames(7, 0), -1},
      {"8 frames beyond the reach", Bytes(64001, '\0') + Frames(8, 0), 64001},
      {"a tag whose size stops short of its picture", Id3v2Tag(100) + Picture(120000, 7) + Frames(8, 0), 120110},
      {"an ID3v2 tag renews the reach", Bytes(60000, '\0') + Id3v2Tag(70000) + Frames(8, 0), 60000 + 70010},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Walked walked = Walk(c.content);
    EXPECT_EQ(walked.frames.empty() ? -1 : walked.frames.front(), c.first);
  }
}

// PCM as masters hold it: near silence, dither and fades put 0xFF 0xFF in
// many 24- and 32-bit samples, and chance chains frame headers a few frames
// long. No first frame is taken in it, and a real stream behind it is.
TEST(FrameWalk, PcmHoldsNoFirstFrameAndAStreamBehindItIsFound) {
  std::mt19937 random(19);
  std::normal_distribution<double> noise(0.0, 1.0);
  int buffers = 0;
  for (const int bits : {8, 16, 24, 32}) {
    for (const int channels : {1, 2}) {
      for (const bool bigEndian : {false, true}) {
        for (const char* shape : {"silence with dither", "near silence", "fade from silence", "low noise"}) {
          const std::string name = std::string(shape) + ", " + std::to_string(bits) + " bits, " +
                                   std::to_string(channels) + (bigEndian ? " channels, big-endian" : " channels");
          SCOPED_TRACE(name);
          const int frames = 48000 * 2;
          const double full = std::ldexp(1.0, bits - 1);
          Bytes pcm;
          double brown = 0;
          for (int i = 0; i < frames * channels; ++i) {
            const double t = static_cast<double>(i) / (frames * channels);
            double level = 0;
            if (shape == std::string("silence with dither")) level = std::round(noise(random) * 0.7);
            if (shape == std::string("near silence")) level = std::round(noise(random) * 3);
            if (shape == std::string("fade from silence")) level = noise(random) * full * 0.3 * t * t * t;
            if (shape == std::string("low noise")) level = (brown = 0.98 * brown + noise(random)) * full * 1e-4;
            auto sample = static_cast<std::int64_t>(std::clamp(level, -full, full - 1));
            if (bits == 8) sample += 128;  // 8-bit PCM is unsigned
            for (int byte = 0; byte < bits / 8; ++byte) {
              const int shift = 8 * (bigEndian ? bits / 8 - 1 - byte : byte);
              pcm += static_cast<char>(static_cast<std::uint64_t>(sample) >> shift);
            }
          }
          const Walked alone = Walk(pcm);
          EXPECT_TRUE(alone.frames.empty()) << "a frame at " << alone.frames.front();
          const Walked behind = Walk(pcm + Frames(8, 0));
          ASSERT_FALSE(behind.frames.empty());
          EXPECT_EQ(behind.frames.front(), static_cast<std::int64_t>(pcm.size()));
          ++buffers;
        }
      }
    }
  }
  EXPECT_EQ(buffers, 64);
}

TEST(FrameWalk, AXingCountEndsTheStreamOnlyWhereNoConfirmedStreamGoesOn) {
  const struct {
    const char* name;
    Layout layout;
    bool countKept;  // the count still known after the walk
  } cases[] = {
      {"count met, then the end", Layout().Keep(XingFrame(3) + Frames(3, 0)), true},
      {"count met, then junk with a chance frame",
       Layout().Keep(XingFrame(3) + Frames(3, 0)).Junk("JUNK" + Frame() + "JUNK"), true},
      {"count met, then a confirmed stream: the count is stale", Layout().Keep(XingFrame(2) + Frames(5, 0)), false},
      {"joined VBR files: the count of the first part is stale",
       Layout().Keep(XingFrame(3) + Frames(3, 0)).Junk(Id3v1Tag() + Id3v2Tag(100)).Keep(XingFrame(2) + Frames(2, 5)),
       false},
      {"count met, then a single frame and junk", Layout().Keep(XingFrame(1) + Frames(1, 0)).Junk(Frame() + "JUNK"),
       true},
      {"count met, then 8 frames of the stream beyond the reach: the count is stale",
       Layout().Keep(XingFrame(3) + Frames(3, 0)).Junk(Bytes(70000, '\0')).Keep(Frames(8, 3)), false},
      {"count met, then 7 frames of the stream beyond the reach",
       Layout().Keep(XingFrame(3) + Frames(3, 0)).Junk(Bytes(70000, '\0') + Frames(7, 3)), true},
      {"a count of one frame, then another stream: the one frame confirms the first",
       Layout().Keep(XingFrame(1) + Frames(1, 0)).Keep(Frame(0xF3, 0x84, 0x64, 0) + Frame(0xF3, 0x84, 0x64, 1), 192),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Walked walked = Walk(c.layout.bytes());
    EXPECT_EQ(walked.frames, c.layout.kept());
    EXPECT_EQ(walked.xing.xingFramesKnown != 0, c.countKept);
  }
}

}  // namespace
}  // namespace scourby::testing

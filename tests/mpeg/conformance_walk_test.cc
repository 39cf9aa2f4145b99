// Walks the frames of the conformance bitstreams the way the cleaning pass
// does. Each stream is a bare run of frames, so every header must lie right
// behind the previous frame and the walk must end at the end of the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "mpeg/frame_search.h"
#include "support/test_support.h"

namespace scourby {
namespace {

namespace fs = std::filesystem;
using platform::File;
using platform::FileAccess;
using platform::Reader;

struct Walk {
  int frames = 0;
  std::int64_t end = 0;           // where the last frame read ended
  std::int64_t missing = 0;       // bytes the last frame declared past the end
  std::int64_t strayHeader = -1;  // a header not right behind the previous frame
  std::int32_t xingFramesKnown = 0;
};

// The first search probes for Xing; each frame is read whole (a short read
// is a cut-off last frame) and the next search starts behind it.
Walk WalkFrames(const std::string& path, std::size_t bufferSize) {
  File file = File::OpenExisting(path, FileAccess::kRead);
  EXPECT_TRUE(file.IsOpen()) << path;
  Reader reader(file, bufferSize);
  FrameHeader header;
  XingInfo xing;
  std::vector<std::uint8_t> frame;
  Walk walk;
  std::int32_t found = FindFrameHeader(reader, 1, header, xing);
  walk.xingFramesKnown = xing.xingFramesKnown;
  while (found == 1) {
    if (reader.Position() != walk.end) {
      walk.strayHeader = reader.Position();
      break;
    }
    const auto length = static_cast<std::size_t>(header.frameLength);
    frame.resize(length);
    const std::size_t got = reader.Read(frame.data(), length);
    ++walk.frames;
    walk.end = reader.Position();
    walk.missing = static_cast<std::int64_t>(length - got);
    found = FindFrameHeader(reader, 0, header, xing);
  }
  return walk;
}

std::vector<fs::path> ConformanceStreams() {
  std::vector<fs::path> streams;
  const fs::path corpus = testing::CorpusDir();
  std::error_code error;
  if (corpus.empty() || !fs::is_directory(corpus / "conformance", error)) return streams;
  for (const auto& entry : fs::directory_iterator(corpus / "conformance", error)) {
    if (entry.is_regular_file()) streams.push_back(entry.path());
  }
  std::sort(streams.begin(), streams.end());
  return streams;
}

TEST(ConformanceWalk, EveryFrameFollowsTheLastAndTheWalkEndsAtTheEnd) {
  const std::vector<fs::path> streams = ConformanceStreams();
  if (streams.empty()) GTEST_SKIP() << "no conformance streams";
  for (const std::size_t bufferSize : {Reader::kDefaultBufferSize, std::size_t{16}}) {
    for (const fs::path& stream : streams) {
      const std::string name = stream.filename().string() + " buffer " + std::to_string(bufferSize);
      const Walk walk = WalkFrames(stream.string(), bufferSize);
      EXPECT_GT(walk.frames, 0) << name;
      EXPECT_EQ(walk.strayHeader, -1) << name << " after frame " << walk.frames;
      EXPECT_EQ(walk.end, static_cast<std::int64_t>(fs::file_size(stream))) << name;
      // Only this stream's last frame is cut off by the end of the file.
      EXPECT_EQ(walk.missing, stream.filename() == "l3-compl.bit" ? 169 : 0) << name;
      EXPECT_EQ(walk.xingFramesKnown, 0) << name;
    }
  }
}

}  // namespace
}  // namespace scourby

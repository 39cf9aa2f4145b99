// Breaks and broken pipes while files are being cleaned.
#include <gtest/gtest.h>
#include <signal.h>

#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

// About 100 MB of frames: long enough to be in the middle of it when the
// signal arrives.
const Bytes& BigFrames() {
  static const Bytes frames = [] {
    const Bytes block = Frames(1000);
    Bytes all;
    all.reserve(block.size() * 250);
    for (int i = 0; i < 250; ++i) all += block;
    return all;
  }();
  return frames;
}

struct Folder {
  TempDir dir;
  Folder() {
    WriteFile(dir / "a_big.mp3", Id3v2Tag(1000) + BigFrames());
    WriteFile(dir / "b_small.mp3", Id3v2Tag(50) + Frames(3));
  }
};

TEST(Signals, DirectModeFinishesTheCurrentFileAndStartsNoOther) {
  const struct {
    int signal;
    const char* event;
  } cases[] = {{SIGINT, "CTRL_C_EVENT"}, {SIGTERM, "CTRL_SHUTDOWN_EVENT"}, {SIGHUP, "CTRL_CLOSE_EVENT"}};
  for (const auto& c : cases) {
    Folder folder;
    Process run({"*.mp3"}, folder.dir.path().string());
    ASSERT_TRUE(run.WaitForOutput("a_big.mp3"));
    run.Signal(c.signal);
    const RunResult result = run.Wait();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, std::string("\r\n*** ") + c.event + " -> Finishing current file ***\r\n");
    EXPECT_NE(
        result.out.find("a_big.mp3 - Cleaned 1010 bytes\r\n\r\nFinished! Processed 1 file(s) - cleaned 1010 bytes"),
        std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("b_small"), std::string::npos);
    EXPECT_TRUE(ReadFile(folder.dir / "a_big.mp3") == BigFrames());
  }
}

TEST(Signals, CompatibilityModeAbandonsTheCurrentFile) {
  // The trash goes back to what it held before the pass: gone when the pass
  // made it, an earlier run's bytes when there were any.
  for (const Bytes& earlier : {Bytes(), Bytes("removed by an earlier run")}) {
    Folder folder;
    if (!earlier.empty()) WriteFile(folder.dir / "a_big.mp3.trash", earlier);
    const Bytes original = ReadFile(folder.dir / "a_big.mp3");
    Process run({"*.mp3", "/C", "/T"}, folder.dir.path().string());
    ASSERT_TRUE(run.WaitForOutput("a_big.mp3"));
    // Two breaks in a row (signals of one kind may merge while pending, so
    // the second is a different one): two notices, the same outcome.
    run.Signal(SIGINT);
    run.Signal(SIGQUIT);
    const RunResult result = run.Wait();
    EXPECT_EQ(result.err,
              "\r\n*** CTRL_C_EVENT -> Canceling current file ***\r\n"
              "\r\n*** CTRL_BREAK_EVENT -> Canceling current file ***\r\n");
    EXPECT_NE(result.out.find("a_big.mp3\r\nFinished! Processed 0 file(s) - cleaned 0 bytes"), std::string::npos)
        << result.out;
    EXPECT_TRUE(ReadFile(folder.dir / "a_big.mp3") == original);
    EXPECT_FALSE(Exists(folder.dir / "a_big.mp3.clean"));
    EXPECT_EQ(Exists(folder.dir / "a_big.mp3.trash") ? ReadFile(folder.dir / "a_big.mp3.trash") : "<none>",
              earlier.empty() ? "<none>" : earlier);
  }
}

TEST(Signals, ABrokenPipeNeverStopsAFileHalfway) {
  for (const char* mode : {"/T", "/TC"}) {
    Folder folder;
    for (int i = 0; i < 20; ++i) WriteFile(folder.dir / ("c" + std::to_string(i) + ".mp3"), Id3v2Tag(50) + Frames(3));
    Process run({"*.mp3", mode}, folder.dir.path().string());
    ASSERT_TRUE(run.WaitForOutput("a_big.mp3"));
    run.CloseOutput();
    EXPECT_EQ(run.Wait().exitCode, 0);
    EXPECT_TRUE(ReadFile(folder.dir / "a_big.mp3") == BigFrames()) << mode;
    EXPECT_TRUE(ReadFile(folder.dir / "b_small.mp3") == Frames(3));
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(ReadFile(folder.dir / ("c" + std::to_string(i) + ".mp3")) == Frames(3));
  }
}

}  // namespace
}  // namespace scourby::testing

// Breaks and broken pipes while files are being cleaned.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>

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
  // With /E the exit code tells that the break left a file unwalked.
  const struct {
    int signal;
    const char* event;
    const char* switches;
    int exitCode;
  } cases[] = {{SIGINT, "CTRL_C_EVENT", "/V", 0},
               {SIGTERM, "CTRL_SHUTDOWN_EVENT", "/E", 3},
               {SIGHUP, "CTRL_CLOSE_EVENT", "/E", 3}};
  for (const auto& c : cases) {
    Folder folder;
    Process run({"*.mp3", c.switches}, folder.dir.path().string());
    ASSERT_TRUE(run.WaitForOutput("a_big.mp3"));
    run.Signal(c.signal);
    const RunResult result = run.Wait();
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.err, std::string("\r\n*** ") + c.event + " -> Finishing current file ***\r\n");
    EXPECT_NE(result.out.find("Finished! Processed 1 file(s) - cleaned 1010 bytes"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(" - Cleaned 1010 bytes\r\n"), std::string::npos) << result.out;
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
    Process run({"*.mp3", "/C", "/T", "/E"}, folder.dir.path().string());
    ASSERT_TRUE(run.WaitForOutput("a_big.mp3"));
    // Two breaks in a row (signals of one kind may merge while pending, so
    // the second is a different one): two notices, the same outcome.
    run.Signal(SIGINT);
    run.Signal(SIGQUIT);
    const RunResult result = run.Wait();
    EXPECT_EQ(result.exitCode, 3);
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

// A file and what a clean removes from it, in file order, with where each
// removed piece lay.
struct Removal {
  Bytes content;
  Bytes removed;
  std::vector<std::pair<std::size_t, std::size_t>> pieces;  // offset, size
  Removal& Keep(const Bytes& bytes) {
    content += bytes;
    return *this;
  }
  Removal& Remove(const Bytes& bytes) {
    pieces.emplace_back(content.size(), bytes.size());
    content += bytes;
    removed += bytes;
    return *this;
  }
};

// Runs the program under strace, killed (SIGKILL) right before its n-th call
// of syscall: a run that cannot write out anything it still holds. (A
// sanitizer build runs without LeakSanitizer, which stops under strace.)
void RunKilledBefore(const std::string& syscall, int n, const std::string& folder) {
  const std::string command = "cd '" + folder +
                              "' && ASAN_OPTIONS=detect_leaks=0 strace -f -q -o /dev/null -e trace=" + syscall +
                              " -e inject=" + syscall + ":signal=SIGKILL:when=" + std::to_string(n) + " '" +
                              SCOURBY_BINARY + "' song.mp3 /T >/dev/null 2>&1";
  [[maybe_unused]] const int status = std::system(command.c_str());
}

// A run killed outright (kill -9, the out-of-memory killer, a closed
// session) cannot write out what it holds. Killed before each of its writes
// and before it cuts the file, a direct-mode /T run leaves a trash that
// holds the earlier trash and then the removed bytes in file order up to a
// point, and that point lies past every removed byte whose place in the
// file has been overwritten (or cut off).
TEST(Signals, AKilledDirectModeRunHasTrashedEveryByteItOverwrote) {
  if (std::system("strace -f -q -o /dev/null true >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace cannot run here";
  const Bytes junk = Bytes("JUNK") + Bytes(3000, '\x01');
  // Variable-bitrate frames without a VBR header: one is added in front,
  // behind a tag too short to make room for it, so the file grows first.
  Bytes vbr[2];
  for (int i = 0; i < 2500; ++i) vbr[i / 1000 > 0] += Frame(0xFB, i % 3 ? 0x90 : 0xA0, 0x64, i);
  const Removal inputs[] = {
      Removal().Remove(Id3v2Tag(10)).Keep(vbr[0]).Remove(junk).Keep(vbr[1]),
      Removal().Remove(Id3v2Tag(300000)).Keep(Frames(2500, 0)).Remove(junk).Keep(Frames(2500, 7)).Remove(Id3v1Tag()),
      // Joined files: each part's tags between the parts.
      Removal()
          .Remove(Id3v2Tag(200000))
          .Keep(Frames(2000, 0))
          .Remove(Id3v1Tag("A") + Id3v2Tag(150000))
          .Keep(Frames(2000, 3))
          .Remove(junk + Id3v1Tag("B")),
  };
  int kills = 0;
  for (const Removal& input : inputs) {
    for (const Bytes& earlier : {Bytes(), Bytes("removed by an earlier run")}) {
      TempDir dir;
      const auto reset = [&] {
        WriteFile(dir / "song.mp3", input.content);
        std::filesystem::remove(dir / "song.mp3.trash");
        if (!earlier.empty()) WriteFile(dir / "song.mp3.trash", earlier);
      };
      reset();
      ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                             "' && ASAN_OPTIONS=detect_leaks=0 strace -f -q -o writes.log -e trace=pwrite64 '" +
                             SCOURBY_BINARY + "' song.mp3 /T >/dev/null 2>&1")
                                .c_str()),
                0);
      const Bytes log = ReadFile(dir / "writes.log");
      const int writes = static_cast<int>(std::count(log.begin(), log.end(), '\n'));
      ASSERT_GT(writes, 3);
      std::filesystem::remove(dir / "writes.log");
      std::vector<std::pair<std::string, int>> points = {{"ftruncate", 1}};
      for (int n = 1; n <= writes; ++n) points.emplace_back("pwrite64", n);
      for (const auto& [syscall, n] : points) {
        SCOPED_TRACE(syscall + " #" + std::to_string(n) + (earlier.empty() ? "" : ", earlier trash"));
        reset();
        RunKilledBefore(syscall, n, dir.path().string());
        ++kills;
        const Bytes now = ReadFile(dir / "song.mp3");
        const Bytes trash = Exists(dir / "song.mp3.trash") ? ReadFile(dir / "song.mp3.trash") : "";
        ASSERT_TRUE(trash.starts_with(earlier));
        const Bytes added = trash.substr(earlier.size());
        ASSERT_TRUE(input.removed.starts_with(added)) << "the trash holds bytes that were not removed";
        // How far the rewrite has reached: up to the last byte that differs.
        std::size_t reached = now.size() < input.content.size() ? input.content.size() : 0;
        for (std::size_t i = reached; i < input.content.size(); ++i) {
          if (now[i] != input.content[i]) reached = i + 1;
        }
        std::size_t needed = 0;
        for (const auto& [at, size] : input.pieces) needed += at >= reached ? 0 : std::min(size, reached - at);
        EXPECT_GE(added.size(), needed) << "overwritten before it reached the trash";
      }
    }
  }
  std::cout << "killed " << kills << " runs\n";
}

}  // namespace
}  // namespace scourby::testing

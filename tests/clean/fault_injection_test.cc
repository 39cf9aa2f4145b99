// Failures of the file system at every step of a cleaning pass: each read,
// write, flush, cut, close, rename and delete of a pass is made to fail in
// turn (a write also to come back short, or the disk to fill up), and the
// files and the report must stay sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "clean/clean_file.h"
#include "platform/console.h"
#include "platform/fault_plan.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"
#include "tags/frame_reconstructor.h"

namespace scourby::testing {
namespace {

namespace fs = std::filesystem;
using platform::FaultKind;
using platform::FaultPlan;
using platform::FileOp;

// An input with something of everything the pass removes, and what it must
// become.
struct Sample {
  Bytes input;
  Bytes clean;  // cleaned without /P; empty: as a run without faults leaves it
  Bytes trash;
  Bytes tag;                                                 // the trailing ID3v1 tag, appended with /P
  std::vector<std::pair<std::size_t, std::size_t>> removed;  // where the trash's bytes lie in the input
};

// framesFirst: no tag before the frames and no junk between them, so that
// they stand where they belong until the last frame, which the
// reconstructor changes.
Sample MakeSample(int frameCount, bool framesFirst = false) {
  const Bytes head = framesFirst ? "" : Id3v2Tag(2038);
  const Bytes frames = Frames(frameCount);
  const Bytes junk = framesFirst ? "" : "JUNKJUNKJUNK";
  const Bytes tail = "LYRICSBEGIN some words LYRICS200" + Id3v1Tag();
  // The last frame's declared length runs 100 bytes into the Lyrics3 block
  // and the ID3v1 tag; the reconstructor clears the tag start out of it.
  Bytes last = Frame().substr(0, 317) + tail.substr(0, 100);
  Bytes expectedLast = last;
  auto* bytes = reinterpret_cast<std::uint8_t*>(expectedLast.data());
  ReconstructFrame(std::span(bytes, expectedLast.size()));

  const std::size_t split = 417 * static_cast<std::size_t>(frameCount / 2);
  Sample s;
  s.input = head + frames.substr(0, split) + junk + frames.substr(split) + last + tail.substr(100);
  s.clean = frames + expectedLast;
  // The bytes the reconstructor clears go to the trash too, as they were.
  const std::size_t cleared =
      last.size() - ReconstructStart(std::span(reinterpret_cast<const std::uint8_t*>(last.data()), last.size()));
  s.trash = head + junk + last.substr(last.size() - cleared) + tail.substr(100);
  s.tag = Id3v1Tag();
  s.removed = {{0, head.size()},
               {head.size() + split, junk.size()},
               {s.input.size() - tail.size() + 100 - cleared, cleared + tail.size() - 100}};
  return s;
}

// Inputs whose passes take other roads: a VBR header written back at its
// offset; more pieces for /L than memory holds, kept in a scratch file; a
// header frame added in front of the stream where the file must grow for
// it.
enum class Road { kPlain, kStaleHeader, kManyPieces, kGrows };

Sample MakeRoadSample(Road road) {
  Sample s;
  s.tag = Id3v1Tag();
  const Bytes junk = "JUNKJUNKJUNK";
  Bytes head, frames;
  switch (road) {
    case Road::kPlain: break;
    case Road::kStaleHeader:
      head = Id3v2Tag(2038);
      frames = XingFrame(20) + Frames(12);
      break;
    case Road::kGrows:
      head = Id3v2Tag(10);  // shorter than the header frame added in its place
      for (int i = 0; i < 12; ++i) frames += Frame(0xFB, i % 2 ? 0xA0 : 0x90, 0x64, i);
      break;
    case Road::kManyPieces: {
      // A byte of junk after every third frame, more often than memory
      // holds pieces.
      const Bytes small = Frame(0xF3, 0x14, 0xC4, 1) + Frame(0xF3, 0x14, 0xC4, 2) + Frame(0xF3, 0x14, 0xC4, 3);
      for (int i = 0; i < 17000; ++i) {
        s.input += small;
        s.removed.emplace_back(s.input.size(), 1);
        s.input += "J";
        s.trash += "J";
        s.clean += small;
      }
      s.input += small;
      s.clean += small;
      s.tag.clear();
      return s;
    }
  }
  s.input = head + frames + junk + Frames(3, 5) + s.tag;
  s.trash = head + junk + s.tag;
  s.removed = {{0, head.size()}, {head.size() + frames.size(), junk.size()}, {s.input.size() - 128, 128}};
  return s;
}

struct Mode {
  const char* name;
  Options options;
  int frameCount;
  bool earlierTrash = false;  // a trash file from an earlier run is there
  bool framesFirst = false;   // see MakeSample
  Road road = Road::kPlain;
};

Options Switches(bool compat, bool trash, bool backup, bool times, bool keepTag, bool list = false) {
  Options o;
  o.compatibility = compat || backup;
  o.saveTrash = trash;
  o.backup = backup;
  o.keepTimestamp = times;
  o.keepId3v1 = keepTag;
  o.listRemoved = list;
  return o;
}

std::vector<Mode> Modes() {
  return {
      {"direct", Switches(false, false, false, false, false), 12},
      {"/T", Switches(false, true, false, false, false), 12},
      {"/T, earlier trash", Switches(false, true, false, false, false), 12, true},
      {"/C", Switches(true, false, false, false, false), 12},
      {"/C /T", Switches(true, true, false, false, false), 12},
      {"/C /T, earlier trash", Switches(true, true, false, false, false), 12, true},
      {"/B", Switches(false, false, true, false, false), 12},
      {"/D", Switches(false, false, false, true, false), 12},
      {"/P", Switches(false, false, false, false, true), 12},
      // Large enough that the in-place writer writes several batches.
      {"direct, several batches", Switches(false, false, false, false, false), 8400},
      // Compatibility mode writes the frames that stand in place only once
      // the last one differs, copying them from the input in one go.
      {"/C /T, frames from the start", Switches(true, true, false, false, false), 12, false, true},
      {"/C, many frames from the start", Switches(true, false, false, false, false), 2000, false, true},
      {"/T, frames from the start", Switches(false, true, false, false, false), 12, false, true},
      {"/T, a VBR header made true", Switches(false, true, false, false, false), 0, false, false, Road::kStaleHeader},
      {"/C /T, a VBR header made true", Switches(true, true, false, false, false), 0, false, false,
       Road::kStaleHeader},
      {"/T, a header added, the file grows", Switches(false, true, false, false, false), 0, false, false, Road::kGrows},
      {"/C, a header added", Switches(true, false, false, false, false), 0, false, false, Road::kGrows},
      {"/T /L, the list in a scratch file", Switches(false, true, false, false, false, true), 0, false, false,
       Road::kManyPieces},
  };
}

struct Outcome {
  CleanResult result;
  RunTotals totals;
  Bytes out;  // what was printed, the path included
  FaultPlan plan;
};

class Folder {
 public:
  std::string song() const { return dir_ / "song.mp3"; }
  std::string operator/(const std::string& name) const { return dir_ / name; }

  Outcome Clean(const Bytes& input, const Options& options, FaultPlan plan, const Bytes* earlierTrash = nullptr) {
    for (const auto& entry : fs::directory_iterator(dir_.path())) fs::remove(entry.path());
    WriteFile(song(), input);
    if (earlierTrash != nullptr) WriteFile(song() + ".trash", *earlierTrash);
    Outcome o;
    o.plan = plan;
    {
      platform::ScopedFaultPlan scoped(o.plan);
      platform::CaptureStdout(&o.out);
      o.result = CleanFile(song(), options, o.totals);
      platform::CaptureStdout(nullptr);
    }
    return o;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  TempDir dir_;
};

const char* OpName(FileOp op) {
  static const char* const names[] = {"open", "read", "write", "flush", "truncate", "close", "rename", "delete"};
  return names[static_cast<int>(op)];
}

// The faults to walk over a pass whose operations the plan counted.
std::vector<FaultPlan> Faults(const FaultPlan& counted) {
  std::vector<FaultPlan> plans;
  for (std::size_t op = 0; op < platform::kFileOpCount; ++op) {
    for (std::int64_t n = 0; n < counted.counts[op]; ++n) {
      FaultPlan p;
      p.kind = FaultKind::kFail;
      p.op = static_cast<FileOp>(op);
      p.failAt = n;
      plans.push_back(p);
    }
  }
  for (std::int64_t n = 0; n < counted.Count(FileOp::kWrite); ++n) {
    FaultPlan p;
    p.kind = FaultKind::kShortWrite;
    p.op = FileOp::kWrite;
    p.failAt = n;
    plans.push_back(p);
  }
  const std::int64_t total = counted.bytesWritten;
  for (std::int64_t step = 0; step < 16; ++step) {
    FaultPlan p;
    p.kind = FaultKind::kDiskFull;
    p.op = FileOp::kWrite;
    p.failAt = -1;
    p.byteBudget = total * step / 16;
    plans.push_back(p);
  }
  return plans;
}

std::string Describe(const FaultPlan& p) {
  switch (p.kind) {
    case FaultKind::kFail: return std::string(OpName(p.op)) + " #" + std::to_string(p.failAt) + " fails";
    case FaultKind::kShortWrite: return "write #" + std::to_string(p.failAt) + " comes back short";
    case FaultKind::kDiskFull: return "disk full after " + std::to_string(p.byteBudget) + " bytes";
    case FaultKind::kNone: break;
  }
  return "no fault";
}

bool Contains(const Bytes& text, const std::string& part) { return text.find(part) != std::string::npos; }

// How many of the trash's bytes the input has lost: those the rewrite has
// reached, up to the last byte that differs from the input.
std::size_t RemovedSoFar(const Sample& sample, const Bytes& now) {
  std::size_t reached = 0;
  if (now.size() < sample.input.size()) {
    reached = sample.input.size();
  } else {
    for (std::size_t i = 0; i < sample.input.size(); ++i) {
      if (now[i] != sample.input[i]) reached = i + 1;
    }
  }
  std::size_t bytes = 0;
  for (const auto& [at, size] : sample.removed) bytes += at >= reached ? 0 : std::min(size, reached - at);
  return bytes;
}

const Bytes kEarlierTrash = "removed by an earlier run";

// A file's lines without those of /L.
Bytes WithoutListing(const Bytes& lines) {
  Bytes kept;
  for (std::size_t at = 0, end; at < lines.size(); at = end) {
    end = lines.find("\r\n", at);
    end = end == Bytes::npos ? lines.size() : end + 2;
    const Bytes line = lines.substr(at, end - at);
    if (!line.starts_with(" - Removed ") && !line.starts_with(" - Cleared ") && !line.starts_with(" - Added ") &&
        !line.starts_with(" - Rewrote ") && line != "\r\n") {
      kept += line;
    }
  }
  return kept;
}

TEST(FaultInjection, EveryFailureOfAPassLeavesSoundFilesAndAnHonestReport) {
  for (const Mode& mode : Modes()) {
    SCOPED_TRACE(mode.name);
    const Options& options = mode.options;
    const bool compat = options.compatibility != 0;
    const Sample sample =
        mode.road == Road::kPlain ? MakeSample(mode.frameCount, mode.framesFirst) : MakeRoadSample(mode.road);
    Folder folder;
    const Bytes* earlier = mode.earlierTrash ? &kEarlierTrash : nullptr;
    const Bytes before = mode.earlierTrash ? kEarlierTrash : "";

    const Outcome counted = folder.Clean(sample.input, options, FaultPlan(), earlier);
    const std::string cleanedLine = WithoutListing(counted.out.substr(folder.song().size()));
    ASSERT_EQ(cleanedLine.rfind(" - Cleaned ", 0), 0u) << counted.out;
    const long long cleanedBytes = std::stoll(cleanedLine.substr(11));
    const Bytes expected =
        sample.clean.empty() ? ReadFile(folder.song()) : sample.clean + (options.keepId3v1 ? sample.tag : "");
    if (!sample.clean.empty()) {
      ASSERT_EQ(cleanedBytes, static_cast<long long>(sample.input.size() - expected.size()));
    }
    ASSERT_TRUE(ReadFile(folder.song()) == expected);
    ASSERT_GT(counted.plan.Count(FileOp::kRead), 0);
    ASSERT_GT(counted.plan.Count(FileOp::kWrite), options.saveTrash ? 1 : 0);
    if (mode.frameCount > 8000) {
      ASSERT_GE(counted.plan.Count(FileOp::kWrite), 3);
    }

    for (const FaultPlan& fault : Faults(counted.plan)) {
      SCOPED_TRACE(Describe(fault));
      const Outcome o = folder.Clean(sample.input, options, fault, earlier);
      if (fault.kind != FaultKind::kDiskFull) {
        EXPECT_TRUE(o.plan.fired()) << "the pass took another road";
      }
      const Bytes now = ReadFile(folder.song());
      const bool reportedCleaned = Contains(o.out, " - Cleaned ");
      const std::vector<std::string> names = folder.Names();
      const auto has = [&](const std::string& name) { return std::count(names.begin(), names.end(), name) > 0; };
      const Bytes trash = has("song.mp3.trash") ? ReadFile(folder.song() + ".trash") : "<none>";

      // Every line is the file's own: a clean result or a named failure,
      // and why it failed.
      ASSERT_EQ(o.out.rfind(folder.song(), 0), 0u) << o.out;
      const Bytes lines = WithoutListing(o.out.substr(folder.song().size()));
      const platform::Error::Kind reason =
          fault.kind == FaultKind::kFail ? platform::Error::Kind::kIo : platform::Error::Kind::kDiskFull;
      if (reportedCleaned) {
        EXPECT_EQ(o.result.outcome, CleanResult::Outcome::kCleaned) << o.out;
        EXPECT_EQ(o.totals.filesProcessed, 1);
        EXPECT_EQ(o.totals.bytesCleaned, cleanedBytes);
        EXPECT_TRUE(now == expected) << "reported cleaned, but the file is not the cleaned data\n" << o.out;
        // A trash or a list that could not be written or read back is
        // named on the file's line.
        EXPECT_TRUE(lines == cleanedLine || lines == " ! Could not write " + folder.song() + ".trash\r\n" + cleanedLine ||
                    (options.listRemoved && lines == " ! Could not list what is removed\r\n" + cleanedLine))
            << o.out;
        EXPECT_FALSE(o.result.reason.failed());
        if (options.saveTrash && lines == cleanedLine) {
          EXPECT_TRUE(trash == before + sample.trash);
        }
        if (options.backup) {
          EXPECT_TRUE(ReadFile(folder.song() + ".bak") == sample.input);
        }
      } else {
        EXPECT_NE(o.result.outcome, CleanResult::Outcome::kCleaned);
        EXPECT_EQ(o.totals.filesProcessed, 0);
        EXPECT_EQ(o.totals.bytesCleaned, 0);
        EXPECT_TRUE(lines == "...Cannot open!\r\n" || lines.rfind(" ! Could not ", 0) == 0) << o.out;
        if (!Contains(lines, "changed meanwhile")) {
          EXPECT_EQ(o.result.reason.kind, reason) << o.out;
        }
        // A pass that has not written yet cannot have changed the file.
        const bool failedBeforeWriting = o.plan.firstWriteAt < 0 || o.plan.firedAt < o.plan.firstWriteAt;
        if (compat || failedBeforeWriting || Contains(lines, "Could not read")) {
          EXPECT_TRUE(now == sample.input) << "the input changed\n" << o.out;
          // The input keeps every byte: the trash is as it was before.
          if (fault.op != FileOp::kDelete) {
            EXPECT_TRUE(trash == (mode.earlierTrash ? before : "<none>")) << trash;
          }
        } else {
          const std::string rewrite = " ! Could not rewrite " + folder.song() + "\r\n";
          const std::string trashFailed = " ! Could not write " + folder.song() + ".trash\r\n";
          EXPECT_TRUE(lines == rewrite || lines == trashFailed + rewrite) << o.out;
          // The bytes the rewrite took out of the input are in the trash,
          // after what earlier runs put there (none, where a file that
          // could not be made longer for a header frame stayed as it was).
          if (options.saveTrash && lines == rewrite) {
            const Bytes got = trash == "<none>" ? "" : trash;
            EXPECT_TRUE(got.starts_with(before + sample.trash.substr(0, RemovedSoFar(sample, now)))) << o.out;
            EXPECT_TRUE((before + sample.trash).starts_with(got)) << o.out;
          }
        }
        EXPECT_FALSE(has("song.mp3.bak"));
      }
      // Nothing but the input and the outputs the switches ask for.
      if (fault.op != FileOp::kDelete) {
        EXPECT_FALSE(has("song.mp3.clean")) << o.out;
      }
      for (const std::string& name : names) {
        EXPECT_TRUE(name == "song.mp3" || name == "song.mp3.trash" || name == "song.mp3.bak" ||
                    (name == "song.mp3.clean" && fault.op == FileOp::kDelete))
            << name;
      }
    }
  }
}

// The compatibility-mode messages name what failed.
TEST(FaultInjection, CompatibilityModeNamesTheFailure) {
  const Sample sample = MakeSample(12);
  Folder folder;
  const Options options = Switches(true, true, false, false, false);
  const std::string song = folder.song();
  const struct {
    FileOp op;
    std::int64_t failAt;
    std::string message;
  } cases[] = {
      {FileOp::kOpen, 1, " ! Could not write " + song + ".clean\r\n"},
      {FileOp::kOpen, 2, " ! Could not write " + song + ".trash\r\n"},
      {FileOp::kRead, 0, " ! Could not read " + song + "\r\n"},
      {FileOp::kFlush, 0, " ! Could not write " + song + ".clean\r\n"},
      {FileOp::kFlush, 1, " ! Could not write " + song + ".trash\r\n"},
      {FileOp::kRename, 0, " ! Could not rename " + song + ".clean to " + song + "\r\n"},
  };
  for (const auto& c : cases) {
    FaultPlan plan;
    plan.kind = FaultKind::kFail;
    plan.op = c.op;
    plan.failAt = c.failAt;
    const Outcome o = folder.Clean(sample.input, options, plan);
    EXPECT_EQ(o.out, song + c.message) << OpName(c.op) << " #" << c.failAt;
    EXPECT_EQ(platform::ErrorText(o.result.reason), "input/output error");
    EXPECT_TRUE(ReadFile(song) == sample.input);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"song.mp3"});
  }
}

// With /B a failed rename of the cleaned copy gives the input its name back.
TEST(FaultInjection, BackupIsMovedBackWhenTheCleanedCopyCannotTakeItsPlace) {
  const Sample sample = MakeSample(12);
  Folder folder;
  FaultPlan plan;
  plan.kind = FaultKind::kFail;
  plan.op = FileOp::kRename;
  plan.failAt = 1;
  const Outcome o = folder.Clean(sample.input, Switches(true, false, true, false, false), plan);
  EXPECT_EQ(o.out, folder.song() + " ! Could not rename " + folder.song() + ".clean to " + folder.song() + "\r\n");
  EXPECT_TRUE(ReadFile(folder.song()) == sample.input);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"song.mp3"});
}

}  // namespace
}  // namespace scourby::testing

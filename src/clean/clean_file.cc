#include "clean/clean_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "clean/frame_walk.h"
#include "clean/in_place_writer.h"
#include "clean/marker_lookahead.h"
#include "clean/output_file.h"
#include "clean/run_state.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/riff_wave.h"

namespace scourby {
namespace {

using Outcome = CleanResult::Outcome;
using platform::File;
using platform::Reader;

constexpr std::size_t kChunkSize = 256 * 1024;  // copies of appended bytes
constexpr std::size_t kRunFlush = 256 * 1024;    // longest run held back
constexpr std::size_t kMaxFrameLength = 4096;    // above any valid frame
constexpr std::size_t kHeaderSize = 4;

void Print(std::string_view text) { platform::WriteStdout(text); }
void PrintLine(std::string_view text) {
  platform::WriteStdout(text);
  platform::WriteStdout("\r\n");
}

std::string Padded(std::int64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%*lld", width, static_cast<long long>(value));
  return text;
}

void PrintProgress(std::uint32_t frameCount, const FrameHeader& h) {
  Print("\r - Frame #" + Padded(frameCount, 5) + ":" + Padded(h.frameLength, 4) + " bytes " + Padded(h.bitrate, 3) +
        "kbit " + Padded(h.sampleRate, 5) + "Hz");
}

// Everything one pass holds open, and how far it got.
struct Pass {
  const std::string& path;
  const Options& options;
  CleanResult result;
  File input;
  std::optional<Reader> reader;
  OutputFile clean;
  OutputFile trash;  // open from its creation to the end of the pass
  bool trashFailureShown = false;
  InPlaceWriter writer;

  // Kept bytes that lie one after another in the read buffer are held as a
  // run and written in one piece straight from the buffer, before it is
  // refilled: no copy per frame.
  struct Run {
    std::int64_t source = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
  } run;

  void Keep(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed) {
    if (!changed && run.size != 0 && source == run.source + static_cast<std::int64_t>(run.size) &&
        bytes.data() == run.data + run.size) {
      run.size += bytes.size();
      // Written out while the bytes are still in the cache.
      if (run.size >= kRunFlush) FlushRun();
      return;
    }
    FlushRun();
    if (changed) {
      Emit(bytes, source, true);
    } else {
      run = {source, bytes.data(), bytes.size()};
    }
  }
  void FlushRun() {
    if (run.size == 0) return;
    const Run held = run;
    run.size = 0;
    Emit({held.data, held.size}, held.source, false);
  }
  void Emit(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed) {
    if (options.compatibility) {
      clean.Write(bytes.data(), bytes.size());
    } else {
      writer.Write(*reader, bytes, source, changed);
    }
  }

  // Writes to the trash file; a failure is reported once and stops the trash.
  void Trash(const std::uint8_t* data, std::size_t size) {
    if (trash.IsOpen()) trash.Write(data, size);
  }
  void TrashRange(std::int64_t from, std::int64_t to) {
    if (trash.IsOpen()) CopyRange(*reader, from, to, trash);
  }
};

CleanResult End(Pass& pass, Outcome outcome) {
  platform::FlushStdout();
  pass.result.outcome = outcome;
  return pass.result;
}

// Abandons a pass that leaves its input as it was: what it wrote is taken
// back. A trash file it created goes, one it found is cut back to the length
// it had, so that it holds no bytes that are still in the input.
CleanResult Abandon(Pass& pass, Outcome outcome) {
  pass.clean.Discard();
  pass.trash.Discard();
  return End(pass, outcome);
}

// A trash file that could not be written is named once on the file's line.
void ShowTrashFailure(Pass& pass) {
  if (pass.trashFailureShown) return;
  pass.trashFailureShown = true;
  PrintLine(" ! Could not write " + pass.path + ".trash");
}

// Pushes the trash file to the disk. False when it could not be written.
bool FlushTrash(Pass& pass) { return !pass.trash.IsOpen() || pass.trash.Flush(nullptr); }

// Closes the trash file of a pass that changed its input. One the pass
// created and left empty goes; one it found stays exactly as it was. False
// when it could not be written.
bool CloseTrash(Pass& pass) {
  if (!pass.trash.IsOpen()) return true;
  if (pass.trash.owned() && pass.trash.written() == 0 && !pass.trash.failed()) {
    pass.trash.Discard();
    return true;
  }
  const bool flushed = pass.trash.Flush(nullptr);
  return pass.trash.Close() && flushed;
}

// Ends a direct-mode pass that failed after it began to rewrite the file:
// the trash keeps what was removed.
CleanResult RewriteFailed(Pass& pass) {
  if (!CloseTrash(pass)) ShowTrashFailure(pass);
  PrintLine(" ! Could not rewrite " + pass.path);
  return End(pass, Outcome::kFailed);
}

// Bytes that another process appended while the pass ran lie beyond the
// length the pass saw. They are moved down behind the cleaned data, so that
// cutting the file loses none of them; the length is looked at again until
// it stays put. Returns the length to cut the file at, or -1 on a failure.
std::int64_t KeepAppended(File& file, std::int64_t seen, std::int64_t written) {
  if (written >= seen) {
    // A kept ID3v1 tag overlapping the last frame can end the cleaned data
    // beyond the old length: whatever follows it stays where it is.
    const std::int64_t length = file.Length();
    return length < 0 ? -1 : std::max(length, written);
  }
  std::int64_t from = seen;
  std::int64_t to = written;  // ahead of from: a forward copy is safe
  std::vector<std::uint8_t> chunk;
  while (true) {
    const std::int64_t length = file.Length();
    if (length < 0) return -1;
    if (length <= from) return to;
    chunk.resize(kChunkSize);
    while (from < length) {
      const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length - from, kChunkSize));
      const std::int64_t got = file.ReadAt(from, chunk.data(), want);
      if (got <= 0 || !file.WriteAt(to, chunk.data(), static_cast<std::size_t>(got))) return -1;
      from += got;
      to += got;
    }
  }
}

// A read of the input failed midway. Compatibility mode and a direct-mode
// pass that has not written yet leave the input as it was; a direct-mode
// pass that has is reported as a partly rewritten file, and keeps its trash.
CleanResult ReadFailed(Pass& pass) {
  if (pass.options.compatibility || !pass.writer.wroteAnything()) {
    PrintLine(" ! Could not read " + pass.path);
    return Abandon(pass, Outcome::kFailed);
  }
  return RewriteFailed(pass);
}

}  // namespace

CleanResult CleanFile(const std::string& path, const Options& options, RunTotals& totals) {
  Pass pass{path, options, {}, {}, {}, {}, {}, false, {}, {}};
  CleanResult& result = pass.result;
  const bool compat = options.compatibility != 0;

  Print(path);
  platform::FlushStdout();
  pass.writer.Reset();

  pass.input = File::OpenExisting(path, compat ? platform::FileAccess::kRead : platform::FileAccess::kReadWrite);
  // In compatibility mode the lock keeps a second cleaner off the file while
  // its ".clean" is written and renamed.
  if (!pass.input.IsOpen() || (compat && !pass.input.TryLock())) {
    PrintLine("...Cannot open!");
    return End(pass, Outcome::kCannotOpen);
  }
  result.bytesRead = pass.input.LengthWhenOpened();
  if (result.bytesRead < 0) {
    PrintLine("...Cannot open!");
    return End(pass, Outcome::kCannotOpen);
  }
  // Compatibility mode replaces the file itself: a symbolic link is cleaned
  // at its final target, so that it stays a link to the cleaned data.
  const std::string target = compat ? platform::FinalPathOf(path, pass.input) : path;
  if (target.empty()) {
    PrintLine("...Cannot open!");
    return End(pass, Outcome::kCannotOpen);
  }
  const std::string cleanPath = target + ".clean";
  const std::string trashPath = path + ".trash";
  platform::FileTimes savedTimes;
  const bool timesKnown = options.keepTimestamp && pass.input.GetTimes(savedTimes);

  Reader& input = pass.reader.emplace(pass.input);
  input.SetRefillHook([&pass] { pass.FlushRun(); });
  // The pass cleans the file as long as it was when it was opened; what
  // another process appends meanwhile is never read as part of it.
  input.SetLimit(result.bytesRead);
  if (SkipRiffWave(input) == -1) return End(pass, Outcome::kRiffError);
  std::vector<std::uint8_t> keptTag;
  if (options.keepId3v1) keptTag = ReadTrailingId3v1(input);
  SkipId3v2(input);

  FrameWalk walk(input, result.bytesRead);
  if (!walk.First()) {
    if (input.Failed()) return ReadFailed(pass);
    PrintLine("...No MP3!");
    return End(pass, Outcome::kNoMpeg);
  }
  const FrameHeader& header = walk.header();
  if (options.verbose) {
    const XingInfo& xing = walk.xing();
    PrintLine("");
    PrintLine(std::string(" - MPEG ") + VersionText(header.versionCode) + " layer " + std::to_string(header.layer));
    PrintLine(" - Header found at: " + std::to_string(input.Position()) + " bytes");
    if (xing.xingFramesKnown) PrintLine(" - XingVBR - Total number of frames = " + std::to_string(xing.xingFrameCount));
  }

  if (compat && !pass.clean.Create(cleanPath, pass.input)) {
    PrintLine(" ! Could not write " + cleanPath);
    return Abandon(pass, Outcome::kFailed);
  }
  // The trash is added to, never cut: it keeps what earlier runs removed.
  // Without it the removed bytes would be lost, so the file stays as it is.
  if (options.saveTrash && !pass.trash.OpenToAppend(trashPath, pass.input)) {
    PrintLine(" ! Could not write " + trashPath);
    return Abandon(pass, Outcome::kFailed);
  }

  std::array<std::uint8_t, kMaxFrameLength> frame;
  MarkerLookahead lookahead;
  std::int64_t frameEnd = 0;
  while (true) {
    if (compat && BreakRequested.load()) return Abandon(pass, Outcome::kCancelled);
    ++result.frameCount;
    const std::int64_t frameStart = input.Position();
    if (frameStart > frameEnd) {
      pass.TrashRange(frameEnd, frameStart);
      input.SetPosition(frameStart);
    }
    if (options.verbose) PrintProgress(result.frameCount, header);

    const auto length = static_cast<std::size_t>(header.frameLength);
    std::span<const std::uint8_t> bytes = input.View(length);
    if (bytes.size() == length) {
      // Most frames hold no tag start: they are passed on where they lie in
      // the read buffer, and copied only to be changed.
      const std::size_t clearFrom = options.noReconstruct ? length : lookahead.ClearFrom(input, bytes);
      const bool changed = clearFrom < length;
      if (changed) {
        std::copy(bytes.begin(), bytes.end(), frame.begin());
        ReconstructFrame(std::span(frame.data(), length), false);
        // The search has just read these four bytes as the frame's header: a
        // marker that starts among them clears the frame's data, never the
        // header, which would otherwise stop being one (or change length).
        std::copy_n(bytes.begin(), kHeaderSize, frame.begin());
        bytes = std::span<const std::uint8_t>(frame.data(), length);
      }
      pass.Keep(bytes, frameStart, changed);
      result.bytesKept += static_cast<std::int64_t>(length);
    } else {
      pass.Trash(bytes.data(), bytes.size());
    }
    frameEnd = input.Position();
    if (input.Failed() || !walk.Next(frameEnd, result.frameCount)) break;
  }

  // The tail: everything after the last frame.
  pass.TrashRange(input.Position(), result.bytesRead);
  pass.FlushRun();
  const bool keepTag = options.keepId3v1 && keptTag.size() == 128;
  if (input.Failed()) return ReadFailed(pass);
  if (compat) {
    if (keepTag) pass.clean.Write(keptTag.data(), keptTag.size());
    if (!pass.clean.Flush(timesKnown ? &savedTimes : nullptr) || !pass.clean.Close()) {
      PrintLine(" ! Could not write " + cleanPath);
      return Abandon(pass, Outcome::kFailed);
    }
  }
  if (!FlushTrash(pass)) {
    // Without the trash the removed bytes would be lost: in compatibility
    // mode the input stays as it was (and the finished ".clean" goes). In
    // direct mode, which has begun to rewrite the file, the pass goes on.
    ShowTrashFailure(pass);
    if (compat) return Abandon(pass, Outcome::kFailed);
  }

  if (!compat) {
    if (keepTag) pass.writer.Write(input, keptTag, -1, true);
    // Every byte worth keeping has been read: the rest of the file is room.
    input.SetPosition(std::max<std::int64_t>(result.bytesRead, result.bytesKept + (keepTag ? 128 : 0)));
    std::int64_t length = -1;
    if (!pass.writer.Flush(input) ||
        (length = KeepAppended(pass.input, result.bytesRead, pass.writer.written())) < 0 ||
        !pass.input.Truncate(length)) {
      return RewriteFailed(pass);
    }
    if (timesKnown) pass.input.SetTimes(savedTimes);
  }
  if (keepTag) result.bytesKept += 128;

  if (options.verbose) {
    PrintLine("");
    PrintLine(" - " + std::to_string(result.bytesRead) + " bytes read - " + std::to_string(result.bytesKept) +
              " bytes saved");
  }

  if (compat) {
    // Windows cannot rename a file that is open; elsewhere the lock is held
    // until the cleaned file has taken the input's place.
    if (pass.input.Length() != result.bytesRead) {
      // Another process wrote to the file meanwhile: replacing it would lose
      // what it wrote.
      PrintLine(" ! Could not clean " + path + ": it changed meanwhile");
      return Abandon(pass, Outcome::kFailed);
    }
    if (!platform::kOpenFilesCanBeRenamed) pass.input.Close();
    const std::string backupPath = target + ".bak";
    const bool movedAside = options.backup && platform::RenameReplacing(target, backupPath);
    const bool replaced = (!options.backup || movedAside) && platform::RenameReplacing(cleanPath, target);
    pass.input.Close();
    if (!replaced) {
      // The file was not cleaned: the input keeps (or gets back) its name and
      // the cleaned copy goes, as after any other failure.
      if (movedAside) platform::RenameReplacing(backupPath, target);
      PrintLine(" ! Could not rename " + cleanPath + " to " + target);
      return Abandon(pass, Outcome::kFailed);
    }
  } else if (!pass.input.Close()) {
    // A delayed write error surfaces here at the latest.
    return RewriteFailed(pass);
  }
  if (!CloseTrash(pass)) ShowTrashFailure(pass);

  const std::int64_t cleaned = result.bytesRead - result.bytesKept;
  PrintLine(" - Cleaned " + std::to_string(cleaned) + " bytes");
  platform::FlushStdout();
  totals.filesProcessed += 1;
  totals.bytesCleaned += cleaned;
  return End(pass, Outcome::kCleaned);
}

}  // namespace scourby

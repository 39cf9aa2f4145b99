#include "clean/clean_file.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "clean/appended_bytes.h"
#include "clean/frame_walk.h"
#include "clean/kept_bytes.h"
#include "clean/marker_lookahead.h"
#include "clean/output_file.h"
#include "clean/pass_lines.h"
#include "clean/removed_pieces.h"
#include "clean/vbr_header_update.h"
#include "mpeg/xing.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/frame_reconstructor.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/other_formats.h"

namespace scourby {
namespace {

using Outcome = CleanResult::Outcome;
using platform::File;
using platform::Reader;

constexpr std::size_t kMaxFrameLength = 4096;  // above any valid frame
constexpr std::size_t kHeaderSize = 4;

// Everything one pass holds open, and how far it got. The steps below run
// in order; each returns false when the pass ends there, with the outcome
// set.
struct Pass {
  const std::string& path;
  const Options& options;
  const bool compat = options.compatibility != 0;
  CleanResult result;
  File input;
  std::string target;  // the file that compatibility mode replaces: path, or a link's final target
  platform::FileTimes times;
  bool timesKnown = false;
  std::optional<Reader> reader;
  std::optional<FrameWalk> walk;
  std::vector<std::uint8_t> keptTag;  // a valid trailing ID3v1 tag, with /P
  OutputFile clean;
  OutputFile trash;  // open from its creation to the end of the pass
  bool trashFailureShown = false;
  bool unchanged = false;       // the cleaned file would be the file as it is
  bool rewritesHeader = false;  // the VBR header is made true
  std::optional<KeptBytes> kept;
  MarkerLookahead lookahead;
  VbrHeaderUpdate vbrHeader;
  std::optional<RemovedPieces> pieces;  // with /L
  std::int64_t firstFrameAt = 0;

  bool Fail(Outcome outcome, std::string failedPath = {}) {
    result.outcome = outcome;
    result.failedPath = std::move(failedPath);
    return false;
  }
  bool keepTag() const { return options.keepId3v1 && keptTag.size() == kId3v1Size; }
  std::string trashPath() const { return path + ".trash"; }
  std::string cleanPath() const { return target + ".clean"; }

  void TrashRange(std::int64_t from, std::int64_t to) {
    if (trash.IsOpen()) CopyRange(*reader, from, to, trash);
  }
  // A trash file that could not be written is named once on the file's line.
  void ShowTrashFailure() {
    if (trashFailureShown) return;
    trashFailureShown = true;
    PrintTrashFailure(trashPath());
  }
  // Pushes the trash file to the disk. False when it could not be written.
  bool FlushTrash() { return !trash.IsOpen() || trash.Flush(nullptr); }
  // Closes the trash file of a pass that changed its input. One the pass
  // created and left empty goes; one it found stays exactly as it was.
  void CloseTrash() {
    if (!trash.IsOpen()) return;
    if (trash.owned() && trash.written() == 0 && !trash.failed()) {
      trash.Discard();
      return;
    }
    const bool flushed = trash.Flush(nullptr);
    if (!trash.Close() || !flushed) ShowTrashFailure();
  }
};

// Opens the input: for reading and writing (direct mode), or for reading
// only (compatibility mode, which replaces the file itself: a link is
// cleaned at its final target, so that it stays a link to the cleaned data).
// The cleaners' lock keeps a second cleaner off the file. A dry run opens
// it the same way, so that a file the real run could not open (read-only,
// locked) gets the same line, and writes nothing through it.
bool Open(Pass& pass) {
  pass.input =
      File::OpenExisting(pass.path, pass.compat ? platform::FileAccess::kRead : platform::FileAccess::kReadWrite);
  if (!pass.input.IsOpen() || (pass.compat && !pass.input.TryLock())) return pass.Fail(Outcome::kCannotOpen);
  pass.result.bytesRead = pass.input.LengthWhenOpened();
  if (pass.result.bytesRead < 0) return pass.Fail(Outcome::kCannotOpen);
  pass.target = pass.compat ? platform::FinalPathOf(pass.path, pass.input) : pass.path;
  if (pass.target.empty()) return pass.Fail(Outcome::kCannotOpen);
  pass.timesKnown = pass.options.keepTimestamp && pass.input.GetTimes(pass.times);
  // The pass cleans the file as long as it was when it was opened; what
  // another process appends meanwhile is never read as part of it.
  pass.reader.emplace(pass.input).SetLimit(pass.result.bytesRead);
  return true;
}

// Steps over a RIFF/WAVE wrapper and an ID3v2 tag; finds the first frame.
bool FindAudio(Pass& pass) {
  Reader& input = *pass.reader;
  const RiffWave& riff = pass.result.riff = SkipRiffWave(input);
  if (riff.result == -1) return pass.Fail(Outcome::kRiffError);
  // Other audio is never MP3, whatever chance headers its samples hold.
  if (riff.audio == WaveAudio::kOther ||
      (riff.result == 0 && (Wave64Audio(input) == WaveAudio::kOther || IsOtherFormatAt(input, 0)))) {
    return pass.Fail(Outcome::kNoMpeg);
  }
  if (riff.result == 0) input.SetPosition(0);
  if (pass.options.listRemoved) pass.pieces.emplace();
  if (pass.pieces && pass.result.riff.result == 1) pass.pieces->RiffHeader(input.Position());
  if (pass.options.keepId3v1) pass.keptTag = ReadTrailingId3v1(input);
  const std::int64_t tagAt = input.Position();
  SkipId3v2(input);
  if (riff.result == 0 && input.Position() > tagAt && IsOtherFormatAt(input, input.Position())) {
    return pass.Fail(Outcome::kNoMpeg);
  }
  if (pass.pieces && input.Position() > tagAt) pass.pieces->Id3v2Tag(tagAt, input.Position() - tagAt);
  FrameWalk& walk = pass.walk.emplace(input, pass.result.bytesRead);
  if (pass.pieces) {
    walk.SetTagObserver([&pass](std::int64_t at, std::int64_t length) { pass.pieces->Id3v2Tag(at, length); });
  }
  if (!walk.First()) return pass.Fail(input.Failed() ? Outcome::kCouldNotRead : Outcome::kNoMpeg, pass.path);
  pass.firstFrameAt = input.Position();
  if (pass.options.verbose) PrintFirstFrame(walk.header(), walk.xing(), pass.firstFrameAt);
  return true;
}

// Creates ".clean" (compatibility mode) and opens ".trash" (/T). The trash
// is added to, never cut: it keeps what earlier runs removed. Without it the
// removed bytes would be lost, so the file stays as it is. A dry run creates
// nothing: it only counts what it would keep.
bool OpenOutputs(Pass& pass) {
  // What is kept is held as views into the read buffer until it refills.
  pass.reader->SetRefillHook([&pass] {
    if (pass.kept) pass.kept->Flush();
    pass.vbrHeader.Flush();
  });
  if (pass.options.dryRun) {
    pass.kept.emplace(*pass.reader, nullptr, false);
    return true;
  }
  if (pass.compat && !pass.clean.Create(pass.cleanPath(), pass.input)) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
  }
  if (pass.options.saveTrash && !pass.trash.OpenToAppend(pass.trashPath(), pass.input)) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.trashPath());
  }
  pass.kept.emplace(*pass.reader, pass.compat ? &pass.clean : nullptr);
  // Direct mode overwrites the file's own bytes, in the read buffer too:
  // every removed byte reaches the trash first, and the kept bytes held as
  // views are taken in.
  if (!pass.compat) {
    pass.kept->writer().SetBeforeWrite([&pass] {
      pass.vbrHeader.Flush();
      if (pass.trash.IsOpen()) pass.trash.PushOut();
    });
  }
  return true;
}

// Keeps the frame at the read position when it lies whole in the file: as
// it lies in the read buffer, or copied and cleared from a tag start that
// the reconstructor finds in it (never its header, which the search has
// just read as one). A frame cut off by the end of the file goes to the
// trash, and so does the header frame of a part joined behind the first:
// it holds no audio, and the stream has one header, the first frame's.
// False for a frame cut off.
bool KeepFrame(Pass& pass, std::int64_t frameStart, const FrameHeader& header, bool first) {
  Reader& input = *pass.reader;
  const auto length = static_cast<std::size_t>(header.frameLength);
  std::span<const std::uint8_t> bytes = input.View(length);
  const bool cutOff = bytes.size() < length;
  if (cutOff || (!first && IsVbrHeaderFrame(bytes, header))) {
    if (pass.trash.IsOpen()) pass.trash.Write(bytes.data(), bytes.size());
    if (pass.pieces && cutOff) pass.pieces->CutOffFrame(frameStart);
    if (pass.pieces && !cutOff) pass.pieces->HeaderFrame(frameStart, header.frameLength);
    return !cutOff;
  }
  const std::size_t clearFrom = pass.options.noReconstruct ? length : pass.lookahead.ReconstructStart(input, bytes);
  std::array<std::uint8_t, kMaxFrameLength> frame;
  const bool changed = clearFrom < length;
  if (changed) {
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    OverwriteFrom(std::span(frame.data(), length), clearFrom, kHeaderSize);
    bytes = std::span<const std::uint8_t>(frame.data(), length);
  }
  pass.vbrHeader.Kept(bytes, header, changed);
  pass.kept->Keep(bytes, frameStart, changed);
  pass.result.bytesKept += static_cast<std::int64_t>(length);
  if (pass.pieces) {
    pass.pieces->KeptFrame(frameStart, header.frameLength);
    // Cleared from the marker on, never in the header.
    const std::size_t from = std::max(clearFrom, kHeaderSize);
    if (changed)
      pass.pieces->Cleared(frameStart + static_cast<std::int64_t>(from), static_cast<std::int64_t>(length - from));
  }
  return true;
}

// Walks the frames: each is kept, the bytes before it, between frames and
// after the last one go to the trash.
bool CopyFrames(Pass& pass) {
  Reader& input = *pass.reader;
  FrameWalk& walk = *pass.walk;
  CleanResult& result = pass.result;
  std::int64_t frameEnd = 0;
  bool cutOff = false;
  do {
    if (pass.compat && BreakRequested.load()) return pass.Fail(Outcome::kCancelled);
    ++result.frameCount;
    const std::int64_t frameStart = input.Position();
    if (frameStart > frameEnd) {
      pass.TrashRange(frameEnd, frameStart);
      input.SetPosition(frameStart);
    }
    if (pass.options.verbose) PrintProgress(result.frameCount, walk.header());
    cutOff = !KeepFrame(pass, frameStart, walk.header(), result.frameCount == 1);
    frameEnd = input.Position();
  } while (!input.Failed() && walk.Next(frameEnd, result.frameCount));
  // Every frame stands where it was read, all that follows them is a tag
  // that /P keeps, and the VBR header is true: there is nothing to remove,
  // not even to the trash.
  const std::int64_t keptTagSize = pass.keepTag() ? kId3v1Size : 0;
  pass.rewritesHeader = pass.vbrHeader.Rewrites();
  pass.unchanged = !input.Failed() && pass.kept->InPlace() && pass.kept->kept() + keptTagSize == result.bytesRead &&
                   !pass.rewritesHeader;
  const std::int64_t tail = input.Position();
  // Told apart before anything is written over the file.
  if (pass.pieces && !input.Failed()) pass.pieces->Tail(input, result.bytesRead, cutOff, !pass.keepTag());
  if (!pass.unchanged) pass.TrashRange(tail, result.bytesRead);
  pass.kept->Flush();
  if (!input.Failed()) return true;
  // Compatibility mode, and direct mode before its first write, leave the
  // input as it was.
  const bool untouched = pass.compat || !pass.kept->writer().wroteAnything();
  return pass.Fail(untouched ? Outcome::kCouldNotRead : Outcome::kCouldNotRewrite, pass.path);
}

// Makes the VBR header at the front of the cleaned data true: reads back
// what it needs through `cleaned` and writes the header frame in place with
// write. False when the cleaned data could not be read or the frame written.
template <typename Write>
bool MakeHeaderTrue(Pass& pass, Reader& cleaned, Write write) {
  if (!pass.vbrHeader.Rewrites()) return true;
  const std::optional<std::span<const std::uint8_t>> frame = pass.vbrHeader.MakeTrue(cleaned);
  if (!frame) return !pass.vbrHeader.Failed();
  return write(*frame);
}

// A file with nothing to remove, or a dry run: nothing on disk changes, no
// write, no cut, no rename, no ".bak", and no time is set (reading moved
// none). It counts as cleaned of what a real run would remove (0 bytes for a
// file with nothing to remove).
bool LeaveAsItWas(Pass& pass) {
  // What the walk gave the trash lies in the tag that /P keeps: it stays in
  // the file, so it is no removed byte.
  if (pass.unchanged) pass.trash.Discard();
  if (pass.keepTag()) pass.result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(pass.result.bytesRead, pass.result.bytesKept);
  pass.clean.Discard();  // compatibility mode: the empty ".clean" goes
  pass.input.Close();
  return true;
}

// Direct mode: writes what is still pending (and a kept tag) in front of
// the read position, keeps what another process appended, and cuts the
// file behind the cleaned data.
bool Cut(Pass& pass) {
  if (pass.unchanged || pass.options.dryRun) return LeaveAsItWas(pass);
  // The pass has begun to rewrite the file: without the trash it goes on.
  if (!pass.FlushTrash()) pass.ShowTrashFailure();
  Reader& input = *pass.reader;
  InPlaceWriter& writer = pass.kept->writer();
  CleanResult& result = pass.result;
  if (pass.keepTag()) writer.Write(input, pass.keptTag, -1, true);
  // Every byte worth keeping has been read: the rest of the file is room.
  input.SetPosition(std::max<std::int64_t>(result.bytesRead, result.bytesKept + (pass.keepTag() ? kId3v1Size : 0)));
  std::int64_t length = -1;
  const auto writeHeader = [&input](std::span<const std::uint8_t> frame) {
    return input.WriteAt(0, frame.data(), frame.size());
  };
  if (!writer.Flush(input) || !MakeHeaderTrue(pass, input, writeHeader) ||
      (length = KeepAppended(pass.input, result.bytesRead, writer.written())) < 0 || !pass.input.Truncate(length)) {
    return pass.Fail(Outcome::kCouldNotRewrite, pass.path);
  }
  if (pass.timesKnown) pass.input.SetTimes(pass.times);
  if (pass.keepTag()) result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(result.bytesRead, result.bytesKept);
  // A delayed write error surfaces here at the latest.
  if (!pass.input.Close()) return pass.Fail(Outcome::kCouldNotRewrite, pass.path);
  return true;
}

// Compatibility mode: completes ".clean" and flushes it (and the trash) to
// the disk, then puts it in the input's place; with /B the input first
// moves to ".bak".
bool Replace(Pass& pass) {
  if (pass.unchanged || pass.options.dryRun) return LeaveAsItWas(pass);
  CleanResult& result = pass.result;
  pass.kept->WriteHeldBack();
  if (pass.vbrHeader.Rewrites()) {
    // The cleaned data is read back from ".clean" itself.
    if (!pass.clean.PushOut()) return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
    Reader cleaned(pass.clean.file());
    const auto writeHeader = [&pass](std::span<const std::uint8_t> frame) {
      return pass.clean.WriteAt(0, frame.data(), frame.size());
    };
    if (!MakeHeaderTrue(pass, cleaned, writeHeader)) return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
  }
  if (pass.keepTag()) pass.clean.Write(pass.keptTag.data(), pass.keptTag.size());
  // The input's attributes (Windows) go with the complete data: a read-only
  // file cleaned with /B stays read-only.
  if (!pass.clean.Flush(pass.timesKnown ? &pass.times : nullptr) || !pass.clean.TakeAttributes(pass.input) ||
      !pass.clean.Close()) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath());
  }
  if (!pass.FlushTrash()) return pass.Fail(Outcome::kCouldNotWrite, pass.trashPath());
  if (pass.keepTag()) result.bytesKept += kId3v1Size;
  if (pass.options.verbose) PrintSummary(result.bytesRead, result.bytesKept);
  // Replacing a file that another process wrote to meanwhile would lose
  // what it wrote.
  if (pass.input.Length() != result.bytesRead) return pass.Fail(Outcome::kChangedMeanwhile, pass.path);
  // Windows cannot rename a file that is open; elsewhere the lock is held
  // until the cleaned file has taken the input's place.
  if (!platform::kOpenFilesCanBeRenamed) pass.input.Close();
  const std::string backupPath = pass.target + ".bak";
  const bool movedAside = pass.options.backup && platform::RenameReplacing(pass.target, backupPath);
  const bool replaced =
      (!pass.options.backup || movedAside) && platform::RenameReplacing(pass.cleanPath(), pass.target);
  pass.input.Close();
  if (replaced) return true;
  // The input keeps (or gets back) its name.
  if (movedAside) platform::RenameReplacing(backupPath, pass.target);
  return pass.Fail(Outcome::kCouldNotRename, pass.target);
}

// Takes back what a failed pass wrote: its ".clean", and what it added to
// the trash. Once direct mode has begun to rewrite the file, the trash keeps
// what was removed instead.
void TakeBack(Pass& pass) {
  if (pass.result.outcome == Outcome::kCouldNotRewrite) {
    pass.CloseTrash();
    return;
  }
  pass.clean.Discard();
  pass.trash.Discard();
}

}  // namespace

CleanResult CleanFile(const std::string& path, const Options& options, RunTotals& totals) {
  platform::WriteStdout(path);
  platform::FlushStdout();
  Pass pass{.path = path, .options = options};
  const bool cleaned = Open(pass) && FindAudio(pass) && OpenOutputs(pass) && CopyFrames(pass) &&
                       (pass.compat ? Replace(pass) : Cut(pass));
  if (cleaned) {
    pass.result.outcome = options.dryRun ? Outcome::kWouldClean : Outcome::kCleaned;
    pass.CloseTrash();
    totals.filesProcessed += 1;
    totals.bytesCleaned += pass.result.bytesRead - pass.result.bytesKept;
  } else {
    TakeBack(pass);
  }
  switch (pass.result.outcome) {
    case Outcome::kCleaned:
    case Outcome::kWouldClean:
      // A trash that could not be written, named on the file's line.
      if (pass.trashFailureShown) totals.filesFailed += 1;
      break;
    case Outcome::kRiffError:
    case Outcome::kNoMpeg: break;
    case Outcome::kCancelled: totals.stoppedEarly = true; break;
    default: totals.filesFailed += 1; break;
  }
  // A file left as it was lists nothing.
  if (cleaned && pass.pieces && !pass.unchanged) {
    // Without /V, and without a trash failure named, the path's line is
    // still open.
    PrintListed(*pass.pieces, pass.rewritesHeader ? pass.firstFrameAt : -1,
                !options.verbose && !pass.trashFailureShown);
  }
  if (pass.result.outcome != Outcome::kCancelled) platform::WriteStdoutLine(FinalLine(pass.result));
  platform::FlushStdout();
  return pass.result;
}

}  // namespace scourby

#include "clean/clean_file.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "clean/finish_pass.h"
#include "clean/header_room.h"
#include "clean/pass.h"
#include "clean/pass_lines.h"
#include "mpeg/xing.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/other_formats.h"
#include "tags/trailing_tags.h"

namespace scourby {
namespace {

using Outcome = CleanResult::Outcome;
using platform::File;
using platform::Reader;

// Opens the input: for reading and writing (direct mode), or for reading
// only (compatibility mode, which replaces the file itself: a link is
// cleaned at its final target, so that it stays a link to the cleaned data).
// The cleaners' lock keeps a second cleaner off the file. A dry run opens
// it the same way, so that a file the real run could not open (read-only,
// locked) gets the same line, and writes nothing through it.
bool Open(Pass& pass) {
  pass.input =
      File::OpenExisting(pass.path, pass.compat ? platform::FileAccess::kRead : platform::FileAccess::kReadWrite);
  if (!pass.input.IsOpen() || (pass.compat && !pass.input.TryLock()) || pass.input.LengthWhenOpened() < 0) {
    return pass.Fail(Outcome::kCannotOpen, {}, pass.input.error());
  }
  pass.result.bytesRead = pass.input.LengthWhenOpened();
  pass.target = pass.compat ? platform::FinalPathOf(pass.path, pass.input) : pass.path;
  if (pass.target.empty()) return pass.Fail(Outcome::kCannotOpen, {}, platform::LastSystemError());
  pass.timesKnown = pass.options.keepTimestamp && pass.input.GetTimes(pass.times);
  // The pass cleans the file as long as it was when it was opened; what
  // another process appends meanwhile is never read as part of it.
  pass.reader.emplace(pass.input).SetLimit(pass.result.bytesRead);
  pass.walkEnd = pass.result.bytesRead;
  return true;
}

// Steps over a RIFF/WAVE wrapper and an ID3v2 tag; finds the first frame.
// Other audio is never MP3, whatever chance headers its samples hold.
bool FindAudio(Pass& pass) {
  Reader& input = *pass.reader;
  const RiffWave& riff = pass.result.riff = SkipRiffWave(input);
  if (riff.result == -1) return pass.Fail(Outcome::kRiffError);
  if (riff.audio == WaveAudio::kOther ||
      (riff.result == 0 && (Wave64Audio(input) == WaveAudio::kOther || IsOtherFormatAt(input, 0)))) {
    return pass.Fail(Outcome::kNoMpeg);
  }
  if (riff.result == 0) input.SetPosition(0);
  if (riff.result == 1) pass.between.RiffHeader(input.Position());
  if (pass.options.keepId3v1 && !pass.keepTags) pass.keptTag = ReadTrailingId3v1(input);
  const std::int64_t tagAt = input.Position();
  SkipId3v2(input);
  const std::int64_t audioAt = input.Position();
  if (riff.result == 0 && audioAt > tagAt && IsOtherFormatAt(input, audioAt)) return pass.Fail(Outcome::kNoMpeg);
  if (audioAt > tagAt) pass.between.Id3v2Tag(tagAt, audioAt - tagAt);
  // With /K the tags at the end stay: the frames end where they begin.
  if (pass.keepTags) {
    pass.endTags = ReadTrailingTags(input, audioAt, pass.result.bytesRead);
    if (!pass.endTags.empty()) pass.walkEnd = pass.endTags.front().at;
    input.SetLimit(pass.walkEnd);
    input.SetPosition(audioAt);
  }
  FrameWalk& walk = pass.walk.emplace(input, pass.walkEnd);
  walk.SetTagObserver([&pass](std::int64_t at, std::int64_t length) { pass.between.Id3v2Tag(at, length); });
  if (!walk.First()) {
    return input.Failed() ? pass.Fail(Outcome::kCouldNotRead, pass.path, pass.input.error())
                          : pass.Fail(Outcome::kNoMpeg);
  }
  pass.firstFrameAt = input.Position();
  if (pass.options.verbose) PrintFirstFrame(walk.header(), walk.xing(), pass.firstFrameAt);
  return true;
}

// A variable-bitrate stream without a VBR header gets a header frame in
// front of it. Where its first frames already tell (their bitrates differ),
// room is left for it from the start, so that the file is rewritten once;
// otherwise the stream moves once at the end. Direct mode grows the file
// where fewer bytes are removed in front of the stream than the frame is
// long (but some are): it is made longer first, by bytes written at its
// end, so that a full disk leaves it as it was.
bool LeaveRoomForHeader(Pass& pass) {
  constexpr std::size_t kLookahead = 64 * 1024;
  const std::span<const std::uint8_t> ahead = pass.reader->Peek(pass.firstFrameAt, kLookahead);
  if (!VbrHeaderUpdate::AddsFromStart(ahead)) return true;
  const std::int64_t added = VbrHeaderUpdate::AddedLength(ahead);
  if (!pass.compat && !pass.options.dryRun) {
    // Where nothing in front of the stream goes (or, with /K, may stay),
    // the stream moves as a whole either way: it moves at the end, so that
    // a file whose stream turns out not to take a header after all is never
    // touched.
    const std::int64_t removed = pass.keepTags ? 0 : pass.firstFrameAt;
    if (removed == 0) return true;
    const std::int64_t grow = std::max<std::int64_t>(added - removed, 0);
    const std::int64_t length = pass.result.bytesRead;
    // A file that another process makes longer meanwhile gets its header
    // at the end, where room allows.
    if (grow > 0 && pass.input.Length() != length) return true;
    const std::span<const std::uint8_t> room = HeaderRoom(grow);
    if (grow > 0 && !pass.input.WriteAt(length, room.data(), room.size())) {
      const platform::Error error = pass.input.error();
      pass.input.Truncate(length);
      return pass.Fail(Outcome::kCouldNotRewrite, pass.path, error);
    }
    pass.header.grown = grow;
  }
  pass.header.roomAhead = added;
  return true;
}

// Creates ".clean" (compatibility mode) and opens ".trash" (/T), and the
// sink that sends every byte to one of them. The trash is added to, never
// cut: it keeps what earlier runs removed. Without it the removed bytes
// would be lost, so the file stays as it is. A dry run creates nothing: it
// only counts what it would keep.
bool OpenOutputs(Pass& pass) {
  const bool write = !pass.options.dryRun;
  if (write && pass.compat && !pass.clean.Create(pass.cleanPath(), pass.input)) {
    return pass.Fail(Outcome::kCouldNotWrite, pass.cleanPath(), pass.clean.error());
  }
  const std::string trashPath = pass.path + ".trash";
  if (write && pass.options.saveTrash && !pass.trash.Open(trashPath, pass.input)) {
    return pass.Fail(Outcome::kCouldNotWrite, trashPath, pass.trash.error());
  }
  SinkChoice choice = {
      .reconstruct = !pass.options.noReconstruct,
      // An MP3 has no place for the tags inside a RIFF/WAVE wrapper.
      .leadingTags = pass.keepTags && pass.result.riff.result != 1,
      .endTags = pass.keepTags && !pass.endTags.empty() ? pass.walkEnd : -1,
      .listId3v1 = !pass.keepTag(),
  };
  if (!LeaveRoomForHeader(pass)) return false;
  choice.roomAhead = pass.header.roomAhead;
  pass.sink.emplace(*pass.reader, write && pass.compat ? &pass.clean : nullptr, write, pass.trash.output(),
                    pass.options.listRemoved ? &pass.listing : nullptr, choice);
  return true;
}

// Walks the frames and hands the sink every byte in file order: the frames,
// and what lies before, between and behind them. A frame cut off by the end
// of the frames is the last; so is one that ends them.
bool CopyFrames(Pass& pass) {
  Reader& input = *pass.reader;
  FrameWalk& walk = *pass.walk;
  ByteSink& sink = *pass.sink;
  CleanResult& result = pass.result;
  std::int64_t cutOffAt = -1;
  std::int64_t frameEnd = 0;
  do {
    if (pass.compat && BreakRequested.load()) return pass.Fail(Outcome::kCancelled);
    ++result.frameCount;
    const std::int64_t frameStart = input.Position();
    const FrameHeader& header = walk.header();
    if (pass.options.verbose) PrintProgress(result.frameCount, header);
    frameEnd = frameStart + header.frameLength;
    if (frameEnd > pass.walkEnd) {
      cutOffAt = frameStart;
      break;
    }
    // The header frame of a part joined behind the first holds no audio:
    // the stream has one header, the first frame's.
    const bool joined = result.frameCount > 1 &&
                        IsVbrHeaderFrame(input.Peek(frameStart, static_cast<std::size_t>(header.frameLength)), header);
    pass.between.Take(frameStart, header.frameLength, joined ? ByteKind::kJoinedHeader : ByteKind::kFrame, sink);
  } while (!input.Failed() && walk.Next(frameEnd, result.frameCount));
  input.SetLimit(result.bytesRead);
  // Every frame stands where it was read, all that follows them is a tag
  // that stays, and the VBR header is true (none is added): there is
  // nothing to remove, not even to the trash. (Where direct mode has
  // already moved the frames for a header frame that turned out not to be
  // wanted, they are moved back.)
  const std::int64_t stays = pass.keepTag() ? kId3v1Size : result.bytesRead - pass.walkEnd;
  pass.header.rewrites = sink.vbrHeader().Rewrites();
  const bool moved = pass.header.roomAhead != 0 && !pass.compat && !pass.options.dryRun;
  pass.unchanged = !input.Failed() && sink.kept().InPlace() && sink.kept().kept() + stays == result.bytesRead &&
                   !pass.header.rewrites && sink.vbrHeader().Adds() == 0 && !moved;
  if (!pass.unchanged && !input.Failed()) {
    if (cutOffAt >= 0) pass.between.UpTo(cutOffAt, sink);
    if (!pass.keepTags) pass.endTags = ReadTrailingTags(input, pass.between.cursor(), result.bytesRead);
    pass.between.Tail(result.bytesRead, pass.endTags, cutOffAt >= 0, sink);
  }
  sink.kept().Flush();
  result.bytesKept = sink.kept().kept();
  if (!input.Failed()) return true;
  // Compatibility mode, and direct mode before its first write, leave the
  // input as it was.
  const bool untouched = pass.compat || !sink.kept().writer().wroteAnything();
  return pass.Fail(untouched ? Outcome::kCouldNotRead : Outcome::kCouldNotRewrite, pass.path, pass.input.error());
}

// Adds the pass to the totals: a completed one to the files and bytes, a
// failure (a trash not written included) to the failures, a cancelled one
// as a run stopped early.
void Count(const Pass& pass, bool cleaned, RunTotals& totals) {
  if (cleaned) {
    totals.filesProcessed += 1;
    totals.bytesCleaned += pass.result.bytesRead - pass.result.bytesKept;
  }
  switch (pass.result.outcome) {
    case Outcome::kCleaned:
    case Outcome::kWouldClean:
      if (pass.trash.failureShown()) totals.filesFailed += 1;
      break;
    case Outcome::kRiffError:
    case Outcome::kNoMpeg: break;
    case Outcome::kCancelled: totals.stoppedEarly = true; break;
    default: totals.filesFailed += 1; break;
  }
}

}  // namespace

CleanResult CleanFile(const std::string& path, const Options& options, RunTotals& totals) {
  platform::WriteStdout(path);
  platform::FlushStdout();
  Pass pass{.path = path, .options = options};
  const bool cleaned = Open(pass) && FindAudio(pass) && OpenOutputs(pass) && CopyFrames(pass) &&
                       (pass.compat ? FinishThroughClean(pass) : FinishInPlace(pass));
  if (cleaned) {
    pass.result.outcome = options.dryRun ? Outcome::kWouldClean : Outcome::kCleaned;
    pass.trash.Close(pass.options.verbose != 0);
  } else {
    TakeBack(pass);
  }
  Count(pass, cleaned, totals);
  // A file left as it was lists nothing.
  if (cleaned && options.listRemoved && !pass.unchanged) {
    // Without /V, and without a trash failure named, the path's line is
    // still open.
    if (!PrintListed(pass.listing, {pass.header.rewrote, pass.header.added, pass.firstFrameAt},
                     !options.verbose && !pass.trash.failureShown(), options.verbose != 0)) {
      totals.filesFailed += 1;
    }
  }
  if (pass.result.outcome != Outcome::kCancelled) {
    platform::WriteStdoutLine(FinalLine(pass.result));
    if (options.verbose) PrintReason(pass.result.reason);
  }
  platform::FlushStdout();
  return pass.result;
}

}  // namespace scourby

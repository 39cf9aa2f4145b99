#include "clean/clean_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/break_handler.h"
#include "clean/in_place_writer.h"
#include "mpeg/frame_search.h"
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

constexpr std::size_t kChunkSize = 256 * 1024;  // copies of junk and tail
constexpr std::size_t kDirectWrite = 64 * 1024;  // written without a copy
constexpr std::size_t kRunFlush = 256 * 1024;    // longest run held back
constexpr std::size_t kMaxFrameLength = 4096;    // above any valid frame
constexpr std::size_t kHeaderSize = 4;
constexpr std::int64_t kFirstFrameRange = 64000;

void Print(std::string_view text) { platform::WriteStdout(text); }
void PrintLine(std::string_view text) {
  platform::WriteStdout(text);
  platform::WriteStdout("\r\n");
}

// An output file written front to back through a buffer. Remembers the first
// failure, so the pass can check once at the end.
class OutputFile {
 public:
  bool Create(const std::string& path, const File& like) {
    path_ = path;
    file_ = File::CreateOutput(path, &like);
    failed_ = !file_.IsOpen();
    return !failed_;
  }
  const std::string& path() const { return path_; }
  bool failed() const { return failed_; }
  std::int64_t length() const { return offset_ + static_cast<std::int64_t>(buffer_.size()); }

  void Write(const std::uint8_t* data, std::size_t size) {
    if (failed_) return;
    if (buffer_.size() + size > kChunkSize || size >= kDirectWrite) FlushBuffer();
    if (size >= kDirectWrite) {
      WriteNow(data, size);
    } else {
      buffer_.insert(buffer_.end(), data, data + size);
    }
  }

  // Writes out what is buffered, pushes it to the disk and closes the file.
  bool Finish(const platform::FileTimes* times) {
    FlushBuffer();
    if (!failed_ && times != nullptr) file_.SetTimes(*times);
    if (!failed_ && !file_.Flush()) failed_ = true;
    if (!file_.Close()) failed_ = true;
    return !failed_;
  }

  // Closes and deletes the file, as when it stays empty or is incomplete.
  void Discard() {
    file_.Close();
    platform::DeletePath(path_);
  }

 private:
  void FlushBuffer() {
    if (!buffer_.empty()) WriteNow(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  void WriteNow(const std::uint8_t* data, std::size_t size) {
    if (failed_ || !file_.WriteAt(offset_, data, size)) {
      failed_ = true;
      return;
    }
    offset_ += static_cast<std::int64_t>(size);
  }

  std::string path_;
  File file_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t offset_ = 0;
  bool failed_ = false;
};

// Copies the bytes from..to of the input to out, a chunk at a time straight
// from the read buffer, and leaves the read position at to (or where the file
// ended).
void CopyRange(Reader& input, std::int64_t from, std::int64_t to, OutputFile& out) {
  input.SetPosition(from);
  while (from < to) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(to - from, kChunkSize));
    const std::span<const std::uint8_t> got = input.View(want);
    out.Write(got.data(), got.size());
    from += static_cast<std::int64_t>(got.size());
    if (got.size() < want) break;
  }
}

bool IsSync(const std::uint8_t* b) { return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0; }

bool StartsWith(const std::uint8_t* bytes, std::size_t size, std::string_view marker) {
  return size >= marker.size() && std::memcmp(bytes, marker.data(), marker.size()) == 0;
}

// A chance pattern in a picture or in PCM samples can look like a frame
// header. The first frame is trusted only when the next two positions it
// points to hold headers of the same stream, or the file ends, or a tag
// starts there.
bool ConfirmFirstFrame(Reader& input, std::int64_t at, const FrameHeader& first, std::int64_t fileLength) {
  std::int64_t position = at + first.frameLength;
  for (int step = 0; step < 2; ++step) {
    if (position == fileLength) return true;
    std::uint8_t bytes[11] = {};
    input.SetPosition(position);
    const std::size_t got = input.Read(bytes, sizeof bytes);
    if (StartsWith(bytes, got, "TAG") || StartsWith(bytes, got, "LYRICSBEGIN") || StartsWith(bytes, got, "APETAGEX")) {
      return true;
    }
    FrameHeader next;
    std::memcpy(next.headerBytes.data(), bytes, 4);
    if (got < 4 || !IsSync(bytes) || DecodeFrameHeader(next) != 1 || next.versionCode != first.versionCode ||
        next.layer != first.layer || next.sampleRate != first.sampleRate) {
      return false;
    }
    position += next.frameLength;
  }
  return true;
}

// Finds the first frame that is confirmed, searching from the read position
// for as long as candidates lie within range of it. On success the read
// position is on the frame's header.
bool FindFirstFrame(Reader& input, FrameHeader& header, XingInfo& xing, std::int64_t fileLength) {
  const std::int64_t searchStart = input.Position();
  while (FindFrameHeader(input, 1, header, xing) == 1) {
    const std::int64_t at = input.Position();
    if (at - searchStart > kFirstFrameRange) break;
    const bool confirmed = ConfirmFirstFrame(input, at, header, fileLength);
    input.SetPosition(confirmed ? at : at + 1);
    if (confirmed) return true;
  }
  input.SetPosition(searchStart);
  return false;
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

// Where the next possible tag marker lies in the read buffer, found by one
// scan over many frames at a time: frames before it hold no marker and skip
// the frame reconstructor's own scan.
class MarkerLookahead {
 public:
  // ReconstructStart for a frame viewed in the reader.
  std::size_t ClearFrom(const Reader& input, std::span<const std::uint8_t> frame) {
    const std::span<const std::uint8_t> buffered = input.Buffered();
    const auto base = reinterpret_cast<std::uintptr_t>(buffered.data());
    const auto at = reinterpret_cast<std::uintptr_t>(frame.data());
    if (buffered.empty() || at < base || at + frame.size() > base + buffered.size()) {
      return ReconstructStart(frame, false);
    }
    const std::size_t from = at - base;
    const std::size_t end = from + frame.size();
    if (!known_ || refills_ != input.Refills() || next_ < from) {
      known_ = true;
      found_ = false;
      refills_ = input.Refills();
      next_ = from;
    }
    // Scanned a little at a time, so the bytes are still in the cache when
    // they are written out.
    while (!found_ && next_ + 1 < end) {
      const std::size_t chunk = std::min(kScanStep, buffered.size() - next_);
      const std::size_t k = FindMarkerCandidate(buffered.subspan(next_, chunk));
      found_ = k < chunk;
      next_ += found_ ? k : chunk - 1;  // a pair may begin on the last byte
    }
    // A pair that begins on the frame's last byte is no marker of this frame.
    if (!found_ || next_ + 1 >= end) return frame.size();
    known_ = false;  // looked for afresh from the next frame on
    return ReconstructStart(frame, false);
  }

 private:
  static constexpr std::size_t kScanStep = 16 * 1024;
  bool known_ = false;
  bool found_ = false;     // a pair begins at next_; else none before it
  std::uint64_t refills_ = 0;
  std::size_t next_ = 0;  // offset in the buffer
};

// Everything one pass holds open, and how far it got.
struct Pass {
  const std::string& path;
  const Options& options;
  CleanResult result;
  File input;
  std::optional<Reader> reader;
  OutputFile clean;
  OutputFile trash;
  bool trashOpen = false;
  bool trashWritten = false;  // a finished, non-empty trash file
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
    if (trashOpen) trash.Write(data, size);
  }
  void TrashRange(std::int64_t from, std::int64_t to) {
    if (trashOpen) CopyRange(*reader, from, to, trash);
  }
};

CleanResult End(Pass& pass, Outcome outcome) {
  platform::FlushStdout();
  pass.result.outcome = outcome;
  return pass.result;
}

// Abandons a compatibility-mode pass: the input stays as it was, the
// incomplete outputs go.
CleanResult Abandon(Pass& pass, Outcome outcome) {
  if (!pass.clean.path().empty()) pass.clean.Discard();
  if (pass.trashOpen || pass.trashWritten) pass.trash.Discard();
  pass.trashOpen = false;
  pass.trashWritten = false;
  return End(pass, outcome);
}

// Closes the trash file, or deletes it when it stayed empty. False when it
// could not be written.
bool FinishTrash(Pass& pass) {
  if (!pass.trashOpen) return true;
  if (pass.trash.length() == 0 && !pass.trash.failed()) {
    pass.trashOpen = false;
    pass.trash.Discard();
    return true;
  }
  // A trash file that could not be written stays known to Abandon.
  if (!pass.trash.Finish(nullptr)) return false;
  pass.trashOpen = false;
  pass.trashWritten = true;
  return true;
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
  FinishTrash(pass);
  PrintLine(" ! Could not rewrite " + pass.path);
  return End(pass, Outcome::kFailed);
}

}  // namespace

CleanResult CleanFile(const std::string& path, const Options& options, RunTotals& totals) {
  Pass pass{path, options, {}, {}, {}, {}, {}, false, false, {}, {}};
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
  result.bytesRead = pass.input.Length();
  if (result.bytesRead < 0) {
    PrintLine("...Cannot open!");
    return End(pass, Outcome::kCannotOpen);
  }
  platform::FileTimes savedTimes;
  const bool timesKnown = options.keepTimestamp && pass.input.GetTimes(savedTimes);

  Reader& input = pass.reader.emplace(pass.input, Reader::kDefaultBufferSize, Reader::kDefaultMapWindow);
  input.SetRefillHook([&pass] { pass.FlushRun(); });
  // The pass cleans the file as long as it was when it was opened; what
  // another process appends meanwhile is never read as part of it.
  input.SetLimit(result.bytesRead);
  if (SkipRiffWave(input) == -1) return End(pass, Outcome::kRiffError);
  std::vector<std::uint8_t> keptTag;
  if (options.keepId3v1) keptTag = ReadTrailingId3v1(input);
  SkipId3v2(input);

  FrameHeader header;
  XingInfo xing;
  if (!FindFirstFrame(input, header, xing, result.bytesRead)) {
    if (input.Failed()) return ReadFailed(pass);
    PrintLine("...No MP3!");
    return End(pass, Outcome::kNoMpeg);
  }
  if (options.verbose) {
    PrintLine("");
    PrintLine(std::string(" - MPEG ") + VersionText(header.versionCode) + " layer " + std::to_string(header.layer));
    PrintLine(" - Header found at: " + std::to_string(input.Position()) + " bytes");
    if (xing.xingFramesKnown) PrintLine(" - XingVBR - Total number of frames = " + std::to_string(xing.xingFrameCount));
  }

  if (compat && !pass.clean.Create(path + ".clean", pass.input)) {
    PrintLine(" ! Could not write " + path + ".clean");
    return Abandon(pass, Outcome::kFailed);
  }
  if (options.saveTrash) {
    pass.trashOpen = pass.trash.Create(path + ".trash", pass.input);
    if (!pass.trashOpen) {
      PrintLine(" ! Could not write " + path + ".trash");
      // The removed bytes would be lost: in compatibility mode the file stays.
      if (compat) return Abandon(pass, Outcome::kFailed);
    }
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
    if (input.Failed()) break;
    // The Xing count leaves out the Xing frame itself.
    if (xing.xingFramesKnown && result.frameCount > xing.xingFrameCount) break;
    if (FindFrameHeader(input, 0, header, xing) != 1) break;
  }

  // The tail: everything after the last frame.
  pass.TrashRange(input.Position(), result.bytesRead);
  pass.FlushRun();
  // Reading is done: no window stays mapped while the file is cut or replaced.
  input.Invalidate();
  const bool keepTag = options.keepId3v1 && keptTag.size() == 128;
  if (input.Failed()) return ReadFailed(pass);
  if (compat) {
    if (keepTag) pass.clean.Write(keptTag.data(), keptTag.size());
    if (!pass.clean.Finish(timesKnown ? &savedTimes : nullptr)) {
      PrintLine(" ! Could not write " + path + ".clean");
      return Abandon(pass, Outcome::kFailed);
    }
  }
  if (!FinishTrash(pass)) {
    // Without the trash the removed bytes would be lost: in compatibility
    // mode the input stays as it was (and the finished ".clean" goes). In
    // direct mode the pass goes on.
    PrintLine(" ! Could not write " + path + ".trash");
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
      PrintLine(" ! Could not rewrite " + path);
      return End(pass, Outcome::kFailed);
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
    const std::string cleanPath = path + ".clean";
    const std::string backupPath = path + ".bak";
    const bool movedAside = options.backup && platform::RenameReplacing(path, backupPath);
    const bool replaced = (!options.backup || movedAside) && platform::RenameReplacing(cleanPath, path);
    pass.input.Close();
    if (!replaced) {
      // The file was not cleaned: the input keeps (or gets back) its name and
      // the cleaned copy goes, as after any other failure.
      if (movedAside) platform::RenameReplacing(backupPath, path);
      PrintLine(" ! Could not rename " + cleanPath + " to " + path);
      return Abandon(pass, Outcome::kFailed);
    }
  } else if (!pass.input.Close()) {
    // A delayed write error surfaces here at the latest.
    PrintLine(" ! Could not rewrite " + path);
    return End(pass, Outcome::kFailed);
  }

  const std::int64_t cleaned = result.bytesRead - result.bytesKept;
  PrintLine(" - Cleaned " + std::to_string(cleaned) + " bytes");
  platform::FlushStdout();
  totals.filesProcessed += 1;
  totals.bytesCleaned += cleaned;
  return End(pass, Outcome::kCleaned);
}

}  // namespace scourby

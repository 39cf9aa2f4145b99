#include "clean/pass_lines.h"

#include <cstdio>

#include "platform/console.h"

namespace scourby {
namespace {

using Outcome = CleanResult::Outcome;

std::string Padded(std::int64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%*lld", width, static_cast<long long>(value));
  return text;
}

}  // namespace

void PrintFirstFrame(const FrameHeader& header, const XingInfo& xing, std::int64_t offset) {
  platform::WriteStdoutLine("");
  platform::WriteStdoutLine(std::string(" - MPEG ") + VersionText(header.versionCode) + " layer " +
                            std::to_string(header.layer));
  platform::WriteStdoutLine(" - Header found at: " + std::to_string(offset) + " bytes");
  if (xing.xingFramesKnown) {
    platform::WriteStdoutLine(" - XingVBR - Total number of frames = " + std::to_string(xing.xingFrameCount));
  }
}

void PrintProgress(std::uint32_t frameCount, const FrameHeader& header) {
  platform::WriteStdout("\r - Frame #" + Padded(frameCount, 5) + ":" + Padded(header.frameLength, 4) + " bytes " +
                        Padded(header.bitrate, 3) + "kbit " + Padded(header.sampleRate, 5) + "Hz");
}

void PrintSummary(std::int64_t bytesRead, std::int64_t bytesKept) {
  platform::WriteStdoutLine("");
  platform::WriteStdoutLine(" - " + std::to_string(bytesRead) + " bytes read - " + std::to_string(bytesKept) +
                            " bytes saved");
}

void PrintTrashFailure(const std::string& trashPath) { platform::WriteStdoutLine(" ! Could not write " + trashPath); }

void PrintReason(const platform::Error& reason) {
  if (reason.failed()) platform::WriteStdoutLine(" - Reason: " + platform::ErrorText(reason));
}

const char* KindText(ByteKind kind) {
  switch (kind) {
    case ByteKind::kFrame: return "frame";
    case ByteKind::kId3v2: return "ID3v2 tag";
    case ByteKind::kRiffWave: return "RIFF/WAVE header";
    case ByteKind::kApe: return "APEv2 tag";
    case ByteKind::kLyrics3: return "Lyrics3 block";
    case ByteKind::kId3v1: return "ID3v1 tag";
    case ByteKind::kCutOffFrame: return "cut-off frame";
    case ByteKind::kJoinedHeader: return "VBR header of a joined part";
    case ByteKind::kJunk: return "junk";
    case ByteKind::kCleared: return "tag text in the last frame";
  }
  return "";
}

bool PrintListed(Listing& listing, const HeaderChange& header, bool pathLineOpen, bool verbose) {
  if (listing.removed.Empty() && listing.cleared.Empty() && !header.rewrote && header.added == 0) return true;
  if (pathLineOpen) platform::WriteStdoutLine("");
  const auto line = [](const char* verb, const Piece& piece) {
    platform::WriteStdoutLine(std::string(" - ") + verb + " " + std::to_string(piece.size) + " bytes at " +
                              std::to_string(piece.at) + ": " + KindText(piece.kind));
  };
  platform::Error error = listing.removed.ForEach([&](const Piece& piece) { line("Removed", piece); });
  if (!error.failed()) error = listing.cleared.ForEach([&](const Piece& piece) { line("Cleared", piece); });
  if (error.failed()) {
    platform::WriteStdoutLine(" ! Could not list what is removed");
    if (verbose) PrintReason(error);
    return false;
  }
  const std::string at = std::to_string(header.frameAt);
  if (header.rewrote) platform::WriteStdoutLine(" - Rewrote the VBR header at " + at);
  if (header.added != 0) {
    platform::WriteStdoutLine(" - Added a VBR header of " + std::to_string(header.added) +
                              " bytes in front of the frame at " + at);
  }
  return true;
}

std::string FinalLine(const CleanResult& result) {
  const std::string& path = result.failedPath;
  switch (result.outcome) {
    case Outcome::kCannotOpen: return "...Cannot open!";
    case Outcome::kRiffError:
      return result.riff.notWave ? "...RIFF but not WAVE (" + result.riff.id + ")!"
                                 : "...WAVE-file chunk '" + result.riff.id + "' incomplete, 'data' not found!";
    case Outcome::kNoMpeg: return "...No MP3!";
    case Outcome::kCancelled: return "";
    case Outcome::kCouldNotRead: return " ! Could not read " + path;
    case Outcome::kCouldNotWrite: return " ! Could not write " + path;
    case Outcome::kCouldNotRewrite: return " ! Could not rewrite " + path;
    case Outcome::kCouldNotRename: return " ! Could not rename " + path + ".clean to " + path;
    case Outcome::kChangedMeanwhile: return " ! Could not clean " + path + ": it changed meanwhile";
    case Outcome::kCleaned: return " - Cleaned " + std::to_string(result.bytesRead - result.bytesKept) + " bytes";
    case Outcome::kWouldClean:
      return " - Would clean " + std::to_string(result.bytesRead - result.bytesKept) + " bytes";
  }
  return "";
}

}  // namespace scourby

// What a pass removes from a file, told apart piece by piece for /L, as the
// pass meets it, front to back. Before the first frame, between frames and
// behind the last one the pass removes ranges; each is cut into pieces:
//  - a RIFF/WAVE header, from offset 0 to where the audio data begins;
//  - each whole ID3v2 tag the pass or its frame search stepped over;
//  - the header frame of a part joined behind another;
//  - the bytes between them, junk, one piece per run.
// The range behind the last frame (from the start of a cut-off last frame,
// where there is one) is read from its end: an ID3v1 tag, then a Lyrics3
// block, then an APEv2 tag, each by its own structure; what is left in
// front of them is the cut-off frame, or junk. Bytes that the reconstructor
// clears in a kept frame are noted too.
#pragma once

#include <cstdint>

#include "clean/piece_log.h"
#include "platform/reader.h"

namespace scourby {

class RemovedPieces {
 public:
  // The audio data of a RIFF/WAVE file begins at dataStart: the header in
  // front of it is the first piece.
  void RiffHeader(std::int64_t dataStart);
  // A whole ID3v2 tag the pass stepped over, behind everything noted so far;
  // the bytes before it are junk. Behind the last frame walked it is one
  // only when it ends before the tags read from the end.
  void Id3v2Tag(std::int64_t at, std::int64_t length);
  // A frame the pass walked, at `at`: kept (nothing removed), or the header
  // frame of a joined part (removed whole). The bytes before it are junk.
  void KeptFrame(std::int64_t at, std::int64_t length);
  void HeaderFrame(std::int64_t at, std::int64_t length);
  // The last frame, at `at`, is cut off by the end of the file: the range
  // behind the last frame begins there.
  void CutOffFrame(std::int64_t at);
  // The range behind the last frame walked, up to end, read from its end
  // through input: cutOff, when it begins with a cut-off frame; listId3v1,
  // unless /P keeps the ID3v1 tag in the file.
  void Tail(platform::Reader& input, std::int64_t end, bool cutOff, bool listId3v1);
  // The reconstructor cleared size bytes of a kept frame from `at` on.
  void Cleared(std::int64_t at, std::int64_t size);

  PieceLog& removed() { return removed_; }
  PieceLog& cleared() { return cleared_; }

 private:
  void Add(std::int64_t at, std::int64_t size, Piece::Kind kind);
  // Junk from the cursor up to `to`.
  void JunkTo(std::int64_t to);
  // The ID3v2 tags met since the last frame walked, up to `to`: they lie
  // between frames.
  void TakeTags(std::int64_t to);
  // Where a trailing tag that ends at end begins, or end when none does;
  // none begins before from.
  std::int64_t Lyrics3Start(platform::Reader& input, std::int64_t from, std::int64_t end);

  std::int64_t cursor_ = 0;  // everything before it is noted
  PieceLog tags_;            // ID3v2 tags met behind the cursor
  PieceLog removed_;
  PieceLog cleared_;
};

}  // namespace scourby

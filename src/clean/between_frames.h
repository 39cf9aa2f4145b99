// What lies between the frames the walk takes, told apart piece by piece
// and handed to the sink in file order with the frames themselves. Before
// the first frame, between frames and behind the last one:
//  - a RIFF/WAVE header, from offset 0 to where the audio data begins;
//  - each whole ID3v2 tag the pass or its frame search stepped over;
//  - the bytes between them, junk, one piece per run.
// Behind the last frame (from the start of a cut-off last frame, where
// there is one) come the tags at the end, each told by its own structure,
// read back from the end; what is left in front of them is the cut-off
// frame, or tags and junk.
#pragma once

#include <cstdint>
#include <vector>

#include "clean/byte_sink.h"
#include "clean/piece_log.h"
#include "tags/trailing_tags.h"

namespace scourby {

class BetweenFrames {
 public:
  // The audio data of a RIFF/WAVE file begins at dataStart: the header in
  // front of it is the first piece.
  void RiffHeader(std::int64_t dataStart) { riffEnd_ = dataStart; }
  // A whole ID3v2 tag the pass stepped over, behind everything taken so
  // far. It is one only when it ends before what comes next (a frame, or
  // the tags read from the end); else its bytes are junk.
  void Id3v2Tag(std::int64_t at, std::int64_t length) { tags_.Add({at, length, ByteKind::kId3v2}); }

  // A range that the walk takes as one piece (a frame, a joined part's
  // header frame): the sink gets what lies between it and the last piece,
  // then the range.
  void Take(std::int64_t at, std::int64_t size, ByteKind kind, ByteSink& sink);

  // The sink gets what lies between the last piece and `to`: the RIFF/WAVE
  // header, the ID3v2 tags met, junk.
  void UpTo(std::int64_t to, ByteSink& sink);

  // Everything from the last piece to end: the tags that end it (in file
  // order), and in front of them the cut-off last frame when the last piece
  // was followed by one, else ID3v2 tags and junk.
  void Tail(std::int64_t end, const std::vector<TrailingTag>& tags, bool cutOff, ByteSink& sink);

  // Where the pieces taken so far end.
  std::int64_t cursor() const { return cursor_; }

 private:
  void JunkTo(std::int64_t to, ByteSink& sink);

  std::int64_t cursor_ = 0;   // everything before it is taken
  std::int64_t riffEnd_ = 0;  // the RIFF/WAVE header's end, 0 for none
  PieceLog tags_;             // ID3v2 tags met behind the cursor
};

}  // namespace scourby

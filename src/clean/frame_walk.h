// Which bytes of a file are the stream's frames and which are junk: the
// first frame, and after each frame the next one to keep, or the end of the
// stream. The pass drives it and decides only where the bytes go.
//
// A header is a frame header by its bit pattern alone, so a picture, damaged
// bytes or a second file's tags are full of chance headers. The walk trusts:
//  - a header that follows the previous frame directly;
//  - any other header only when it is confirmed: two steps forward, by its
//    own length and then by the next frame's, each land on a header of the
//    same stream (version, layer, sample rate), on a frame of it cut off by
//    the end of the file, on the end of the file, or on "TAG",
//    "LYRICSBEGIN" or "APETAGEX". A first frame whose Xing count
//    declares one frame is confirmed by that one frame of its stream: what
//    follows the counted frames may be another file joined behind.
// The first frame must always be confirmed, and so must every frame once
// the walk has passed the Xing frame count: a confirmed frame there shows
// the count to be stale (files joined end to end), and it is dropped.
// Encoders start the audio where the file (or its RIFF data) begins, or
// right behind the ID3v2 tags there: a first frame anywhere else is taken
// only when it and the frames behind it are a run of whole frames of its
// stream (FirstFrameChain), as beyond the reach. Chance headers in other
// audio (24- and 32-bit PCM near silence) chain a few frames, never so many.
// A search reaches kSearchReach bytes; an ID3v2 tag that lies whole in the
// file and begins within that reach is skipped as one piece of junk, and the
// search starts afresh behind it. When the reach holds neither a frame to
// take nor such a tag, the search goes on towards the end of the file: there
// it skips whole ID3v2 tags the same way (starting afresh behind one), and
// takes a frame only when it and the 7 frames behind it are whole frames of
// its stream, each beginning where the one before ends; the end of the file
// or a tag marker confirms nothing out there. Real files hold more junk than
// the reach (a tag whose declared size is too small, an APEv2 tag or Lyrics3
// block with a picture between joined parts, a block of garbage), and chance
// patterns in junk practically never chain eight frames.
#pragma once

#include <cstdint>
#include <functional>

#include "mpeg/frame_search.h"
#include "platform/reader.h"

namespace scourby {

class FrameWalk {
 public:
  // fileLength: where the file ends for the walk.
  FrameWalk(platform::Reader& input, std::int64_t fileLength) : input_(input), fileLength_(fileLength) {}

  // Finds the first confirmed frame from the read position on, where the
  // audio begins unless whole ID3v2 tags stand there back to back (then it
  // begins behind them). True: the read position is on its header, header()
  // holds it and xing() its Xing frame count. False: there is none; the read
  // position is back where it was.
  bool First();

  // After frame number frameCount (counted from 1), which ended at frameEnd:
  // finds the next frame to keep. True: the read position is on its header
  // and header() holds it. False: the stream has ended and everything from
  // frameEnd on is tail; the read position is frameEnd.
  bool Next(std::int64_t frameEnd, std::uint32_t frameCount);

  // Called for each whole ID3v2 tag a search steps over as one piece of
  // junk, in file order.
  void SetTagObserver(std::function<void(std::int64_t at, std::int64_t length)> observer) {
    tagObserver_ = std::move(observer);
  }

  const FrameHeader& header() const { return header_; }
  // Where the audio begins, for the first frame (after First).
  std::int64_t audioStart() const { return audioStart_; }
  // The first frame's Xing count, unknown once it has proved stale.
  const XingInfo& xing() const { return xing_; }

 private:
  struct Tag {
    std::int64_t at = -1;  // -1: none
    std::int64_t length = 0;
  };

  // Searches from `from` for a frame to keep: a header at takeAt is taken
  // as it is, any other must be confirmed. checkXing probes each candidate
  // for a Xing header.
  bool Search(std::int64_t from, std::int64_t takeAt, std::int32_t checkXing);
  // Whether the candidate in header_, at `at`, is confirmed. declared: the
  // number of frames its own Xing count says follow it (0: unknown).
  bool Confirmed(std::int64_t at, std::uint32_t declared);
  // Beyond the reach, from `from` on: the first place where a stream
  // begins (StreamAt; true: the read position is on it and header() holds
  // it), unless a whole ID3v2 tag begins first (false, tag set); false with
  // no tag when neither lies ahead. checkXing: a search for the first frame.
  bool SearchBeyond(std::int64_t from, std::int32_t checkXing, Tag& tag);
  // Whether enough whole frames of one stream follow one another from `at`
  // on to take it: kStreamBeyondReach, or for a first frame
  // FirstFrameChain.
  bool StreamAt(std::int64_t at, bool first);
  // The first ID3v2 tag that begins from `from` to `last` and lies whole in
  // the file.
  Tag FindWholeId3v2(std::int64_t from, std::int64_t last);
  // The ID3v2 tag at `at`, when one begins there and lies whole in the file.
  Tag WholeId3v2At(std::int64_t at);

  platform::Reader& input_;
  const std::int64_t fileLength_;
  std::int64_t audioStart_ = -1;  // where the audio begins, for the first frame
  FrameHeader header_;
  XingInfo xing_;
  std::function<void(std::int64_t, std::int64_t)> tagObserver_;
};

}  // namespace scourby

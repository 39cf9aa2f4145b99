// Where every byte of the input goes. The pass hands each range of the
// input to Take once, in file order, with its kind, and this one place
// decides: the range is kept in the cleaned data, or removed (added to the
// trash with /T, and listed with /L). So the cleaned data, the trash and
// the listing always agree. What is kept is a choice over kinds: every
// frame, and with /K the file's own tags (the ID3v2 tags in front of the
// stream, the tags at its end). A frame passes through the reconstructor
// on its way, and the bytes it clears go to the trash and the listing as
// they were.
#pragma once

#include <cstdint>
#include <span>

#include "clean/byte_kind.h"
#include "clean/kept_bytes.h"
#include "clean/marker_lookahead.h"
#include "clean/output_file.h"
#include "clean/piece_log.h"
#include "clean/vbr_header_update.h"
#include "platform/reader.h"

namespace scourby {

// What the sink keeps besides the frames, and how it treats what it removes.
struct SinkChoice {
  bool reconstruct = true;    // not /F
  bool leadingTags = false;   // /K: the ID3v2 tags in front of the first frame
  std::int64_t endTags = -1;  // /K: the tags from here on (-1: none)
  bool listId3v1 = true;      // an ID3v1 tag that /P writes back is not listed
  // The length of the header frame to be added in front of the stream, as
  // its first frames tell (room is left for it before the first frame is
  // kept); 0 when they do not tell.
  std::int64_t roomAhead = 0;
};

class ByteSink {
 public:
  // clean: ".clean" in compatibility mode, nullptr in direct mode; write:
  // false for a dry run, which only counts. trash and listing: nullptr
  // without /T or /L. The sink hooks itself into the reader (and in direct
  // mode into the writer): bytes held as views are written out before the
  // buffer changes, and removed bytes reach the trash before anything is
  // written over them.
  ByteSink(platform::Reader& input, OutputFile* clean, bool write, OutputFile* trash, Listing* listing,
           SinkChoice choice);
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // The bytes [at, at + size) of the input, behind everything taken so far.
  // A frame (kFrame) lies whole in the file.
  void Take(std::int64_t at, std::int64_t size, ByteKind kind);

  // Whether a range of this kind at `at` is kept.
  bool Keeps(ByteKind kind, std::int64_t at) const;

  KeptBytes& kept() { return kept_; }
  VbrHeaderUpdate& vbrHeader() { return vbrHeader_; }
  // Where the stream begins in the cleaned data (behind the tags /K keeps
  // in front of it, and in front of the room left for an added header
  // frame); -1 before the first frame is taken.
  std::int64_t streamAt() const { return streamAt_; }

 private:
  void TakeFrame(std::int64_t at, std::int64_t size);
  void Keep(std::int64_t at, std::int64_t size);
  void Remove(std::int64_t at, std::int64_t size, ByteKind kind);
  // Bytes of a kept frame that the reconstructor clears, as they were.
  void Cleared(std::int64_t at, std::span<const std::uint8_t> bytes);

  platform::Reader& input_;
  OutputFile* trash_;
  Listing* listing_;
  const SinkChoice choice_;
  KeptBytes kept_;
  VbrHeaderUpdate vbrHeader_;
  MarkerLookahead lookahead_;
  std::int64_t streamAt_ = -1;
};

}  // namespace scourby

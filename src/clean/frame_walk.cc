#include "clean/frame_walk.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "tags/id3v2.h"
#include "tags/tag_markers.h"

namespace scourby {
namespace {

constexpr std::int64_t kNowhere = -1;
constexpr std::size_t kHeaderSize = 4;

}  // namespace

bool FrameWalk::First() {
  const std::int64_t start = input_.Position();
  if (Search(start, kNowhere, 1)) return true;
  input_.SetPosition(start);
  return false;
}

bool FrameWalk::Next(std::int64_t frameEnd, std::uint32_t frameCount) {
  // The Xing count leaves out the Xing frame itself. Past it, even a header
  // right at frameEnd must be confirmed; one that is shows the count to be
  // stale (files joined end to end).
  const bool pastCount = xing_.xingFramesKnown != 0 && frameCount > xing_.xingFrameCount;
  // Nearly every frame follows the one before directly: taken at once.
  if (!pastCount) {
    const std::span<const std::uint8_t> next = input_.Peek(frameEnd, kHeaderSize);
    if (next.size() >= kHeaderSize && IsFrameHeader(next.data(), header_)) {
      input_.SetPosition(frameEnd);
      return true;
    }
  }
  if (Search(frameEnd, pastCount ? kNowhere : frameEnd, 0)) {
    if (pastCount) xing_.xingFramesKnown = 0;
    return true;
  }
  input_.SetPosition(frameEnd);
  return false;
}

bool FrameWalk::Search(std::int64_t from, std::int64_t takeAt, std::int32_t checkXing) {
  for (;;) {
    const std::int64_t last = from + kSearchReach;  // the last place a candidate may begin
    // The first whole ID3v2 tag in reach, looked for only as far as the
    // candidates go: nearly every search ends at once, on a header right at
    // `from`, and looks for no tag at all.
    Tag tag;
    std::int64_t scanned = from;  // no tag begins in [from, scanned)
    std::int64_t position = from;
    for (;;) {
      input_.SetPosition(position);
      const bool found = FindFrameHeader(input_, checkXing, header_, xing_) == 1;
      const std::int64_t at = found ? input_.Position() : last + 1;
      if (tag.at == kNowhere && scanned < std::min(at, last + 1)) {
        tag = FindWholeId3v2(scanned, std::min(at, last + 1) - 1);
        scanned = std::min(at, last + 1);
      }
      // Only headers before the tag count: the tag is junk as a whole.
      if (!found || at > last || (tag.at != kNowhere && at >= tag.at)) break;
      // A first frame's own Xing count tells where its stream ends.
      const std::uint32_t declared = checkXing != 0 && xing_.xingFramesKnown != 0 ? xing_.xingFrameCount : 0;
      if (at == takeAt || Confirmed(at, declared)) {
        input_.SetPosition(at);
        return true;
      }
      position = at + 1;
    }
    if (input_.Failed() || tag.at == kNowhere) return false;
    from = tag.at + tag.length;
  }
}

bool FrameWalk::Confirmed(std::int64_t at, std::uint32_t declared) {
  const FrameHeader candidate = header_;
  std::int64_t position = at + candidate.frameLength;
  for (std::uint32_t step = 0; step < 2; ++step) {
    // The end of the file, or the end of the frames the candidate's Xing
    // count declares: a stream joined behind it need not be the same one.
    if (position == fileLength_ || (declared != 0 && step == declared)) return true;
    std::uint8_t bytes[kLongestTagMarker];
    input_.SetPosition(position);
    const std::size_t got = input_.Read(bytes, sizeof bytes);
    if (StartsWithTagMarker({bytes, got})) return true;
    FrameHeader next;
    if (got < 4 || !IsFrameHeader(bytes, next) || !SameStream(next, candidate)) return false;
    // The file's cut-off last frame: a frame followed by half a frame is
    // audio, not junk.
    if (position + next.frameLength > fileLength_) return true;
    position += next.frameLength;
  }
  return true;
}

FrameWalk::Tag FrameWalk::FindWholeId3v2(std::int64_t from, std::int64_t last) {
  last = std::min(last, fileLength_ - static_cast<std::int64_t>(kId3v2HeaderSize));
  constexpr std::size_t kChunk = 4096;
  std::uint8_t chunk[kChunk];
  while (from <= last) {
    // Every place from `from` on whose ten header bytes fit in the chunk.
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(last - from + static_cast<std::int64_t>(kId3v2HeaderSize), kChunk));
    input_.SetPosition(from);
    const std::size_t got = input_.Read(chunk, want);
    if (got < kId3v2HeaderSize) break;
    const std::size_t places = got - kId3v2HeaderSize + 1;
    for (std::size_t i = 0; i < places; ++i) {
      const void* found = std::memchr(chunk + i, 'I', places - i);
      if (found == nullptr) break;
      i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - chunk);
      const std::int64_t length = Id3v2TagLength({chunk + i, kId3v2HeaderSize});
      // A tag that claims more than the file holds is no tag.
      if (length > 0 && from + static_cast<std::int64_t>(i) + length <= fileLength_) {
        return {from + static_cast<std::int64_t>(i), length};
      }
    }
    from += static_cast<std::int64_t>(places);
  }
  return {};
}

}  // namespace scourby

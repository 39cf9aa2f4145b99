#include "clean/frame_walk.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "mpeg/frame_chain.h"
#include "platform/pair_scan.h"
#include "tags/id3v2.h"
#include "tags/tag_markers.h"

namespace scourby {
namespace {

constexpr std::int64_t kNowhere = -1;
constexpr std::size_t kHeaderSize = 4;
constexpr platform::BytePair kSyncPair = {kSyncByte, kSyncMask, kSyncMask};
// The first two letters of "ID3".
constexpr platform::BytePair kId3v2Pair = {'I', 0xFF, 'D'};

}  // namespace

bool FrameWalk::First() {
  const std::int64_t start = input_.Position();
  audioStart_ = start;
  for (Tag tag; (tag = WholeId3v2At(audioStart_)).at != kNowhere;) audioStart_ += tag.length;
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
      // A first frame where the audio begins needs the short confirmation,
      // one anywhere else a run of frames.
      const bool taken =
          at == takeAt || (checkXing == 0 || at == audioStart_ ? Confirmed(at, declared) : StreamAt(at, true));
      if (taken) {
        input_.SetPosition(at);
        return true;
      }
      position = at + 1;
    }
    if (input_.Failed()) return false;
    // Nothing in reach and no tag to start again behind: on towards the end
    // of the file, for a stream long enough to be no chance.
    if (tag.at == kNowhere && SearchBeyond(last + 1, checkXing, tag)) return true;
    if (input_.Failed() || tag.at == kNowhere) return false;
    if (tagObserver_) tagObserver_(tag.at, tag.length);
    from = tag.at + tag.length;
  }
}

bool FrameWalk::SearchBeyond(std::int64_t from, std::int32_t checkXing, Tag& tag) {
  std::int64_t at = from;
  for (;;) {
    std::span<const std::uint8_t> bytes = input_.Peek(at, kId3v2HeaderSize);
    if (bytes.size() < kHeaderSize) return false;
    const std::size_t i = platform::FindBytePair(bytes, kSyncPair, kId3v2Pair);
    if (i == bytes.size()) {
      at += static_cast<std::int64_t>(bytes.size()) - 1;  // a pair may begin on the last byte
      continue;
    }
    const std::int64_t hit = at + static_cast<std::int64_t>(i);
    if (bytes[i] == kId3v2Pair.first) {
      tag = WholeId3v2At(hit);
      if (tag.at != kNowhere) return false;
    } else if (StreamAt(hit, checkXing != 0)) {
      // Searched again from the candidate, so that the header (and for a
      // first frame its Xing count) is read as any search reads it.
      input_.SetPosition(hit);
      FindFrameHeader(input_, checkXing, header_, xing_);
      input_.SetPosition(hit);
      return true;
    }
    if (input_.Failed()) return false;
    at = hit + 1;
  }
}

bool FrameWalk::StreamAt(std::int64_t at, bool first) {
  const std::span<const std::uint8_t> bytes = input_.Peek(at, kHeaderSize);
  FrameHeader header;
  if (bytes.size() < kHeaderSize || !IsFrameHeader(bytes.data(), header)) return false;
  const int enough = first ? FirstFrameChain(header) : kStreamBeyondReach;
  return FramesInARow(input_, at, fileLength_, enough) == enough;
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

FrameWalk::Tag FrameWalk::WholeId3v2At(std::int64_t at) {
  const std::span<const std::uint8_t> bytes = input_.Peek(at, kId3v2HeaderSize);
  const std::int64_t length = Id3v2TagLength(bytes.first(std::min(bytes.size(), kId3v2HeaderSize)));
  // A tag that claims more than the file holds is no tag.
  if (length > 0 && at + length <= fileLength_) return {at, length};
  return {};
}

FrameWalk::Tag FrameWalk::FindWholeId3v2(std::int64_t from, std::int64_t last) {
  while (from <= last) {
    std::span<const std::uint8_t> bytes = input_.Peek(from, kId3v2HeaderSize);
    if (bytes.size() < kId3v2HeaderSize) break;
    // Tags may begin up to last; a pair's second byte lies one further.
    bytes = bytes.first(static_cast<std::size_t>(std::min<std::int64_t>(std::ssize(bytes), last + 2 - from)));
    const std::size_t i = platform::FindBytePair(bytes, kId3v2Pair, kId3v2Pair);
    if (i == bytes.size()) {
      from += static_cast<std::int64_t>(bytes.size()) - 1;
      continue;
    }
    const Tag tag = WholeId3v2At(from + static_cast<std::int64_t>(i));
    if (tag.at != kNowhere) return tag;
    from += static_cast<std::int64_t>(i) + 1;
  }
  return {};
}

}  // namespace scourby

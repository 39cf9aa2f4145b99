#include "mpeg/frame_search.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "mpeg/xing.h"
#include "platform/pair_scan.h"

namespace scourby {

namespace {

constexpr std::int64_t kGroup = 4;  // the search reads 4 bytes per step
constexpr platform::BytePair kSync = {kSyncByte, kSyncMask, kSyncMask};

// Whether a 0xFF lies in [from, to).
bool FFBetween(platform::Reader& input, std::int64_t from, std::int64_t to) {
  if (from >= to) return false;
  const std::span<const std::uint8_t> bytes = input.Peek(from, static_cast<std::size_t>(to - from));
  if (bytes.empty()) return false;
  return std::memchr(bytes.data(), kSyncByte,
                     std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(to - from))) != nullptr;
}

// The search reads the file 4 bytes at a time from its start into an
// 8-byte window (the latest four bytes and the four before them) and looks
// at the window's first 0xFF only. Worked through, that examines the first
// 0xFF of each 4-byte group counted from the start, in file order, up to
// the group that ends kSearchReach bytes on; a 0xFF exactly that far on is
// examined only when the group before it holds none. The first examined
// candidate that passes the sync test, decodes and lies whole in the file
// is the header. So only the places where the sync pair begins need a
// look, and they are found a vector at a time.
std::int64_t FindHeader(platform::Reader& input, std::int64_t start, FrameHeader& header) {
  const std::int64_t last = start + kSearchReach;  // the last place a header may begin
  std::int64_t from = start;                       // the first place not yet scanned
  while (from <= last) {
    std::span<const std::uint8_t> bytes = input.Peek(from, 2);
    if (bytes.size() < 2) return -1;
    // A pair's second byte may lie one past the last place.
    bytes = bytes.first(static_cast<std::size_t>(std::min<std::int64_t>(std::ssize(bytes), last + 2 - from)));
    const std::size_t i = platform::FindBytePair(bytes, kSync, kSync);
    if (i == bytes.size()) {
      from += static_cast<std::int64_t>(bytes.size()) - 1;  // a pair may begin on the last byte
      continue;
    }
    const std::int64_t candidate = from + static_cast<std::int64_t>(i);
    const std::int64_t group = candidate - (candidate - start) % kGroup;
    // Only the group's first 0xFF is examined, and the one at the last
    // place only when the group before holds none.
    if (!FFBetween(input, group, candidate) && !(candidate == last && FFBetween(input, last - kGroup, last))) {
      const std::span<const std::uint8_t> four = input.Peek(candidate, kGroup);
      if (four.size() < static_cast<std::size_t>(kGroup)) return -1;  // cut off by the end of the file
      if (IsFrameHeader(four.data(), header)) return candidate;
    }
    // Every other 0xFF of this group lies behind the one just looked at.
    from = group + kGroup;
  }
  return -1;
}

// Reads 4 bytes big-endian; false when the file ends before all 4.
bool ReadBigEndian32(platform::Reader& input, std::uint32_t& value) {
  std::uint8_t bytes[4];
  if (input.Read(bytes, 4) != 4) return false;
  value = BigEndian32(bytes);
  return true;
}

// Reads the Xing frame count of the frame at headerOffset. The count is
// stored only when magic, flags and count lie wholly in the file; a count
// of 0 is no count at all, so a damaged header never ends the walk early.
void ProbeXing(platform::Reader& input, std::int64_t headerOffset, const FrameHeader& header, XingInfo& xing) {
  xing.xingFramesKnown = 0;
  input.SetPosition(headerOffset + XingOffset(header));
  std::uint8_t magic[4];
  if (input.Read(magic, 4) != 4 || std::memcmp(magic, kXingMagic.data(), kXingMagic.size()) != 0) return;
  std::uint32_t flags = 0;
  if (!ReadBigEndian32(input, flags) || (flags & 1u) == 0) return;
  std::uint32_t count = 0;
  if (!ReadBigEndian32(input, count) || count == 0) return;
  xing.xingFrameCount = count;
  xing.xingFramesKnown = 1;
}

}  // namespace

std::int32_t FindFrameHeader(platform::Reader& input, std::int32_t checkXing, FrameHeader& header, XingInfo& xing) {
  const std::int64_t start = input.Position();
  // Nearly every search is made right behind a frame and ends on its first
  // byte.
  const std::span<const std::uint8_t> first = input.Peek(start, kGroup);
  std::int64_t found = -1;
  if (first.size() >= static_cast<std::size_t>(kGroup) && IsFrameHeader(first.data(), header)) {
    found = start;
  } else {
    found = FindHeader(input, start, header);
  }
  if (found < 0) {
    input.SetPosition(start);
    return 0;
  }
  if (checkXing != 0) ProbeXing(input, found, header, xing);
  input.SetPosition(found);
  return 1;
}

}  // namespace scourby

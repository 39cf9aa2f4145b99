#include "mpeg/frame_chain.h"

namespace scourby {

int FramesInARow(platform::Reader& input, std::int64_t at, std::int64_t end, int enough) {
  constexpr std::size_t kHeaderSize = 4;
  FrameHeader first;
  int count = 0;
  for (std::int64_t position = at; count < enough; ++count) {
    const std::span<const std::uint8_t> bytes = input.Peek(position, kHeaderSize);
    FrameHeader next;
    if (bytes.size() < kHeaderSize || !IsFrameHeader(bytes.data(), next)) break;
    if (count == 0) first = next;
    if (!SameStream(next, first) || ChannelCount(next) != ChannelCount(first)) break;
    position += next.frameLength;
    if (position > end) break;  // whole frames only
  }
  return count;
}

}  // namespace scourby

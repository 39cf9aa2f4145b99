#include "mpeg/frame_search.h"

#include <array>
#include <cstring>

namespace scourby {

namespace {

constexpr std::int32_t kSearchLimit = 64000;  // bytes after the start
constexpr std::size_t kStep = 4;

// The search window: eight bytes, positions 1 to 8 at indices 0 to 7.
// Positions 5 to 8 hold the latest read, 1 to 4 the four bytes before it.
using Window = std::array<std::uint8_t, 8>;

// Shifts the latest read down to positions 1-4 and reads the next bytes into
// positions 5, 6, ...; positions the read does not reach keep their bytes.
std::size_t ReadStep(platform::Reader& input, Window& window) {
  std::memcpy(window.data(), window.data() + kStep, kStep);
  std::uint8_t bytes[kStep];
  const std::size_t got = input.Read(bytes, kStep);
  std::memcpy(window.data() + kStep, bytes, got);
  return got;
}

// The 0-based index of the only candidate in the window: the first 0xFF,
// if it lies at positions 1 to 5. -1 otherwise.
int CandidateIndex(const Window& window) {
  for (int i = 0; i < 8; ++i) {
    if (window[static_cast<std::size_t>(i)] == 0xFF) return i <= 4 ? i : -1;
  }
  return -1;
}

// Decodes the candidate at index into header. A candidate whose four bytes
// are not all from the file (the last read came back short and left older
// bytes behind it) is no header.
bool AcceptCandidate(const Window& window, int index, std::size_t got, FrameHeader& header) {
  const auto first = static_cast<std::size_t>(index);
  if (first + 4 > kStep + got) return false;
  if ((window[first + 1] & 0xE0) != 0xE0) return false;
  std::memcpy(header.headerBytes.data(), window.data() + first, 4);
  return DecodeFrameHeader(header) == 1;
}

// Where the Xing header lies after the frame header's first byte: the 4
// header bytes plus the Layer III side information.
std::int64_t XingOffset(const FrameHeader& header) {
  const bool mono = ChannelMode(header) == 3;
  if (header.versionCode == 1) return mono ? 21 : 36;
  return mono ? 13 : 21;
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
  if (input.Read(magic, 4) != 4 || std::memcmp(magic, "Xing", 4) != 0) return;
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
  std::int32_t counted = 0;
  Window window{};
  for (;;) {
    const std::size_t got = ReadStep(input, window);
    const int index = CandidateIndex(window);
    if (index >= 0 && AcceptCandidate(window, index, got, header)) {
      // Window index 4 (position 5) is the byte at start + counted.
      const std::int64_t headerOffset = start + counted + index - 4;
      if (checkXing != 0) ProbeXing(input, headerOffset, header, xing);
      input.SetPosition(headerOffset);
      return 1;
    }
    counted += static_cast<std::int32_t>(kStep);
    if (got < kStep || counted > kSearchLimit) break;
  }
  input.SetPosition(start);
  return 0;
}

}  // namespace scourby

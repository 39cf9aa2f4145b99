#include "tags/id3v2.h"

#include <array>
#include <cstring>

namespace scourby {

std::int64_t Id3v2TagLength(std::span<const std::uint8_t> h) {
  // Magic, version and revision below 0xFF, and a size of four 7-bit bytes.
  if (h.size() < kId3v2HeaderSize || std::memcmp(h.data(), "ID3", 3) != 0) return 0;
  if (h[3] == 0xFF || h[4] == 0xFF) return 0;
  if (h[6] >= 0x80 || h[7] >= 0x80 || h[8] >= 0x80 || h[9] >= 0x80) return 0;
  // Header, body and (flag 0x10) footer: at most 268,435,475 bytes.
  const std::int64_t size = (h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  const std::int64_t footer = (h[5] & 0x10) != 0 ? 10 : 0;
  return static_cast<std::int64_t>(kId3v2HeaderSize) + size + footer;
}

void SkipId3v2(platform::Reader& input) {
  const std::int64_t start = input.Position();
  std::array<std::uint8_t, kId3v2HeaderSize> header{};
  // A header cut off by the end of the file is no tag.
  if (input.Read(header.data(), header.size()) == header.size()) {
    if (const std::int64_t length = Id3v2TagLength(header); length > 0) {
      input.SetPosition(start + length);
      return;
    }
  }
  input.SetPosition(start);
}

}  // namespace scourby

#include "tags/trailing_tags.h"

#include <algorithm>

#include "tags/tag_markers.h"

namespace scourby {
namespace {

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

}  // namespace

bool BeginsId3v1(std::span<const std::uint8_t> last128) { return TextAt(last128, 0, kId3v1Marker); }

std::int64_t Lyrics3V2Length(std::span<const std::uint8_t> footer) {
  if (footer.size() != kLyrics3V2FooterSize || !TextAt(footer, 6, kLyrics3V2End)) return 0;
  std::int64_t size = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    if (footer[i] < '0' || footer[i] > '9') return 0;
    size = size * 10 + (footer[i] - '0');
  }
  return size + static_cast<std::int64_t>(kLyrics3V2FooterSize);
}

bool BeginsLyrics3(std::span<const std::uint8_t> bytes) { return TextAt(bytes, 0, kLyrics3Marker); }

bool EndsLyrics3V1(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kLyrics3V1End.size() && TextAt(bytes, bytes.size() - kLyrics3V1End.size(), kLyrics3V1End);
}

std::size_t LastLyrics3Begin(std::span<const std::uint8_t> bytes) {
  const auto found = std::find_end(bytes.begin(), bytes.end(), kLyrics3Marker.begin(), kLyrics3Marker.end(),
                                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
  return static_cast<std::size_t>(found - bytes.begin());
}

std::int64_t ApeTagLength(std::span<const std::uint8_t> footer) {
  if (footer.size() != kApeFooterSize || !TextAt(footer, 0, kApeMarker)) return 0;
  const std::uint32_t size = LittleEndian32(footer.data() + 12);
  const std::uint32_t flags = LittleEndian32(footer.data() + 20);
  return static_cast<std::int64_t>(size) + ((flags & 0x80000000u) != 0 ? kApeFooterSize : 0);
}

}  // namespace scourby

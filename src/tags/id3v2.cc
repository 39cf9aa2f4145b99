#include "tags/id3v2.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace scourby {
namespace {

constexpr std::size_t kHeaderSize = 10;
using Header = std::array<std::uint8_t, kHeaderSize>;

// Magic, version and revision below 0xFF, and a size of four 7-bit bytes.
bool IsValidHeader(const Header& h) {
  if (std::memcmp(h.data(), "ID3", 3) != 0) return false;
  if (h[3] == 0xFF || h[4] == 0xFF) return false;
  return h[6] < 0x80 && h[7] < 0x80 && h[8] < 0x80 && h[9] < 0x80;
}

// Header, body and (flag 0x10) footer: at most 268,435,475 bytes.
std::int64_t TagLength(const Header& h) {
  const std::int64_t size = (h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  const std::int64_t footer = (h[5] & 0x10) != 0 ? 10 : 0;
  return static_cast<std::int64_t>(kHeaderSize) + size + footer;
}

}  // namespace

void SkipId3v2(platform::Reader& input) {
  const std::int64_t start = input.Position();
  Header header{};
  // A header cut off by the end of the file is no tag.
  if (input.Read(header.data(), header.size()) == header.size() && IsValidHeader(header)) {
    input.SetPosition(start + TagLength(header));
    return;
  }
  input.SetPosition(start);
}

}  // namespace scourby

#include "tags/trailing_tags.h"

#include <algorithm>
#include <array>

#include "tags/id3v2.h"
#include "tags/tag_markers.h"

namespace scourby {
namespace {

using Kind = TrailingTag::Kind;

constexpr std::int64_t kId3v1Length = 128;
// The search for a Lyrics3 v1 block's start reads back this much at a time.
constexpr std::int64_t kBackStep = 64 * 1024;
constexpr std::size_t kApeItemHead = 8;  // value size and flags
constexpr std::size_t kApeLongestKey = 255;
constexpr std::size_t kId3v2FooterSize = 10;
constexpr std::string_view kId3v2FooterMarker = "3DI";

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Exactly size bytes at offset, or fewer at the end of the file.
std::span<const std::uint8_t> BytesAt(platform::Reader& input, std::int64_t offset, std::size_t size) {
  const std::span<const std::uint8_t> bytes = input.Peek(offset, size);
  return bytes.first(std::min(bytes.size(), size));
}

// Each finder: where a tag of its kind that ends at end begins, never
// before from; end when none does.

std::int64_t Id3v1Start(platform::Reader& input, std::int64_t from, std::int64_t end) {
  if (end - from < kId3v1Length || !BeginsId3v1(BytesAt(input, end - kId3v1Length, 3))) return end;
  return end - kId3v1Length;
}

std::int64_t Lyrics3Start(platform::Reader& input, std::int64_t from, std::int64_t end) {
  // Version 2: its size in front of "LYRICS200", "LYRICSBEGIN" at its start.
  const auto footerSize = static_cast<std::int64_t>(kLyrics3V2FooterSize);
  if (end - from >= footerSize) {
    const std::int64_t length = Lyrics3V2Length(BytesAt(input, end - footerSize, kLyrics3V2FooterSize));
    if (length > 0 && length <= end - from && BeginsLyrics3(BytesAt(input, end - length, kLyrics3Marker.size()))) {
      return end - length;
    }
  }
  // Version 1: "LYRICSEND", and its start at the last "LYRICSBEGIN" before.
  const auto endLength = static_cast<std::int64_t>(kLyrics3V1End.size());
  if (end - from < endLength + static_cast<std::int64_t>(kLyrics3Marker.size()) ||
      !EndsLyrics3V1(BytesAt(input, end - endLength, kLyrics3V1End.size()))) {
    return end;
  }
  std::vector<std::uint8_t> chunk;
  // Read back a step at a time; steps overlap so that no marker is cut.
  for (std::int64_t stop = end - endLength; stop > from;) {
    const std::int64_t start = std::max(from, stop - kBackStep);
    chunk.resize(static_cast<std::size_t>(stop - start));
    input.SetPosition(start);
    chunk.resize(input.Read(chunk.data(), chunk.size()));
    const std::size_t at = LastLyrics3Begin(chunk);
    if (at < chunk.size()) return start + static_cast<std::int64_t>(at);
    if (start == from) break;
    stop = start + static_cast<std::int64_t>(kLyrics3Marker.size()) - 1;
  }
  return end;
}

// Whether count APEv2 items, read from `at` on, end exactly at footerAt.
bool ApeItemsEndAt(platform::Reader& input, std::int64_t at, std::uint32_t count, std::int64_t footerAt) {
  for (std::uint32_t item = 0; item < count; ++item) {
    if (footerAt - at < static_cast<std::int64_t>(kApeItemHead)) return false;
    const std::span<const std::uint8_t> head = BytesAt(input, at, kApeItemHead + kApeLongestKey + 1);
    if (head.size() < kApeItemHead) return false;
    const std::uint32_t valueSize = LittleEndian32(head.data());
    const std::span<const std::uint8_t> key = head.subspan(kApeItemHead);
    const auto end = std::find(key.begin(), key.end(), 0);
    const auto keyLength = static_cast<std::size_t>(end - key.begin());
    if (end == key.end() || keyLength < 2 ||
        !std::all_of(key.begin(), end, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; })) {
      return false;
    }
    at += static_cast<std::int64_t>(kApeItemHead + keyLength + 1) + valueSize;
    if (at > footerAt) return false;
  }
  return at == footerAt;
}

std::int64_t ApeStart(platform::Reader& input, std::int64_t from, std::int64_t end) {
  const auto footerSize = static_cast<std::int64_t>(kApeFooterSize);
  if (end - from < footerSize) return end;
  std::array<std::uint8_t, kApeFooterSize> footer{};
  const std::span<const std::uint8_t> read = BytesAt(input, end - footerSize, kApeFooterSize);
  std::copy(read.begin(), read.end(), footer.begin());
  const std::int64_t length = read.size() == kApeFooterSize ? ApeTagLength(footer) : 0;
  if (length < footerSize || length > end - from) return end;
  const std::int64_t start = end - length;
  const bool hasHeader = length - footerSize >= footerSize && (LittleEndian32(footer.data() + 20) & 0x80000000u) != 0;
  if (hasHeader && !TextAt(BytesAt(input, start, kApeMarker.size()), 0, kApeMarker)) return end;
  const std::int64_t items = start + (hasHeader ? footerSize : 0);
  return ApeItemsEndAt(input, items, LittleEndian32(footer.data() + 16), end - footerSize) ? start : end;
}

std::int64_t Id3v2Start(platform::Reader& input, std::int64_t from, std::int64_t end) {
  const auto footerSize = static_cast<std::int64_t>(kId3v2FooterSize);
  if (end - from < 2 * footerSize) return end;
  const std::span<const std::uint8_t> footer = BytesAt(input, end - footerSize, kId3v2FooterSize);
  if (footer.size() < kId3v2FooterSize || !TextAt(footer, 0, kId3v2FooterMarker) ||
      std::any_of(footer.begin() + 6, footer.end(), [](std::uint8_t b) { return b >= 0x80; })) {
    return end;
  }
  const std::int64_t size = (footer[6] << 21) | (footer[7] << 14) | (footer[8] << 7) | footer[9];
  const std::int64_t length = size + 2 * footerSize;
  if (length > end - from) return end;
  // The header must say the same: a tag of this length, with a footer.
  return Id3v2TagLength(BytesAt(input, end - length, kId3v2HeaderSize)) == length ? end - length : end;
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

std::vector<TrailingTag> ReadTrailingTags(platform::Reader& input, std::int64_t from, std::int64_t end) {
  using Finder = std::int64_t (*)(platform::Reader&, std::int64_t, std::int64_t);
  constexpr std::array<std::pair<Kind, Finder>, 4> kFinders = {{
      {Kind::kId3v1, Id3v1Start},
      {Kind::kLyrics3, Lyrics3Start},
      {Kind::kApe, ApeStart},
      {Kind::kId3v2, Id3v2Start},
  }};
  std::vector<TrailingTag> tags;
  std::array<bool, kFinders.size()> found{};
  for (bool again = true; again;) {
    again = false;
    for (std::size_t i = 0; i < kFinders.size() && !again; ++i) {
      if (found[i]) continue;
      const std::int64_t start = kFinders[i].second(input, from, end);
      if (start == end) continue;
      tags.insert(tags.begin(), {kFinders[i].first, start, end - start});
      found[i] = again = true;
      end = start;
    }
  }
  return tags;
}

}  // namespace scourby

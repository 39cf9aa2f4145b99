#include "tags/id3v1.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "platform/pair_scan.h"

namespace scourby {
namespace {

constexpr std::size_t kTagSize = 128;

struct Field {
  std::size_t offset;
  std::size_t size;
};

// Title, artist, album, year, and the comment without its last byte (the
// track number of ID3v1.1 tags), tested in this order.
constexpr std::array<Field, 5> kTextFields = {{{3, 30}, {33, 30}, {63, 30}, {93, 4}, {97, 29}}};

// The part of [offset, offset + size) that lies inside bytes.
std::span<const std::uint8_t> Clip(std::span<const std::uint8_t> bytes, Field field) {
  const std::size_t from = std::min(field.offset, bytes.size());
  return bytes.subspan(from, std::min(field.size, bytes.size() - from));
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

bool MarkerAt(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view marker) {
  return bytes.size() - at >= marker.size() && std::memcmp(bytes.data() + at, marker.data(), marker.size()) == 0;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The first two letters of "TAG" and "LYRICSBEGIN".
constexpr platform::BytePair kTagPair = {'T', 0xFF, 'A'};
constexpr platform::BytePair kLyricsPair = {'L', 0xFF, 'Y'};

// Every frame of every file goes through here, so the frame is scanned once,
// a block at a time, for the first letters of both markers.
struct MarkerScan {
  std::size_t tag = kNone;     // the first "TAG"
  std::size_t lyrics = kNone;  // the first "LYRICSBEGIN" before it
};

MarkerScan ScanMarkers(std::span<const std::uint8_t> bytes) {
  MarkerScan scan;
  // True once the first "TAG" is found: nothing after it matters.
  auto look = [&](std::size_t at) {
    if (bytes[at] == 'T') {
      if (MarkerAt(bytes, at, "TAG")) {
        scan.tag = at;
        return true;
      }
    } else if (bytes[at] == 'L' && scan.lyrics == kNone && MarkerAt(bytes, at, "LYRICSBEGIN")) {
      scan.lyrics = at;
    }
    return false;
  };
  // Only where a pair of first letters begins: in audio data that is
  // almost nowhere.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    i += FindMarkerCandidate(bytes.subspan(i));
    if (i >= bytes.size()) break;
    if (look(i)) return scan;
  }
  return scan;
}

// The tag that starts at offset k of the frame, cut to 128 bytes or padded
// with NULs to 128 (a cut-off tag reads as empty fields).
bool IsValidTagAt(std::span<const std::uint8_t> frame, std::size_t k) {
  std::array<std::uint8_t, kTagSize> tag{};
  const std::size_t take = std::min(kTagSize, frame.size() - k);
  std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(k), take, tag.begin());
  return IsValidId3v1(tag);
}

// Overwrites the frame from offset k on with the byte before it (0 at k = 0).
void ClearFrom(std::span<std::uint8_t> frame, std::size_t k) {
  const std::uint8_t fill = k == 0 ? 0 : frame[k - 1];
  std::fill(frame.begin() + static_cast<std::ptrdiff_t>(k), frame.end(), fill);
}

}  // namespace

bool IsTextField(std::span<const std::uint8_t> field) {
  bool seenNul = false;
  for (const std::uint8_t byte : field) {
    if (byte == 0) {
      seenNul = true;
    } else if (seenNul) {
      return true;  // nothing after the terminator is tested
    } else if (byte < 32) {
      return false;
    }
  }
  return true;
}

bool IsValidId3v1(std::span<const std::uint8_t> tag) {
  if (!StartsWith(tag, "TAG")) return false;
  return std::all_of(kTextFields.begin(), kTextFields.end(),
                     [tag](Field field) { return IsTextField(Clip(tag, field)); });
}

std::vector<std::uint8_t> ReadTrailingId3v1(platform::Reader& input) {
  const std::int64_t length = input.Length();
  if (length < static_cast<std::int64_t>(kTagSize)) return {};
  const std::int64_t saved = input.Position();
  std::vector<std::uint8_t> tag(kTagSize);
  input.SetPosition(length - static_cast<std::int64_t>(kTagSize));
  const std::size_t got = input.Read(tag.data(), tag.size());
  input.SetPosition(saved);
  if (got != kTagSize || !IsValidId3v1(tag)) return {};
  return tag;
}

std::size_t ReconstructStart(std::span<const std::uint8_t> frame, bool noReconstruct) {
  if (noReconstruct) return frame.size();
  const MarkerScan scan = ScanMarkers(frame);
  if (scan.tag != kNone) {
    // Only the first "TAG" counts; when it is no valid tag, the frame stays
    // as it is and no Lyrics3 marker is looked for.
    return IsValidTagAt(frame, scan.tag) ? scan.tag : frame.size();
  }
  return scan.lyrics != kNone ? scan.lyrics : frame.size();
}

std::size_t FindMarkerCandidate(std::span<const std::uint8_t> bytes) {
  return platform::FindBytePair(bytes, kTagPair, kLyricsPair);
}

bool ReconstructFrame(std::span<std::uint8_t> frame, bool noReconstruct) {
  const std::size_t from = ReconstructStart(frame, noReconstruct);
  if (from == frame.size()) return false;
  ClearFrom(frame, from);
  return true;
}

}  // namespace scourby

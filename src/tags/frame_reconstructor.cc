#include "tags/frame_reconstructor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "tags/id3v1.h"

namespace scourby {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool MarkerAt(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view marker) {
  return bytes.size() - at >= marker.size() && std::memcmp(bytes.data() + at, marker.data(), marker.size()) == 0;
}

// Every frame of every file may come here, so the frame is scanned once for
// the first letters of both markers.
struct MarkerScan {
  std::size_t tag = kNone;     // the first "TAG"
  std::size_t lyrics = kNone;  // the first "LYRICSBEGIN" before it
};

MarkerScan ScanMarkers(std::span<const std::uint8_t> bytes) {
  MarkerScan scan;
  // Only where a pair of first letters begins: in audio data that is almost
  // nowhere. The first "TAG" ends the scan: nothing after it matters.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    i += FindMarkerCandidate(bytes.subspan(i));
    if (i >= bytes.size()) break;
    if (MarkerAt(bytes, i, kId3v1Marker)) {
      scan.tag = i;
      break;
    }
    if (scan.lyrics == kNone && MarkerAt(bytes, i, kLyrics3Marker)) scan.lyrics = i;
  }
  return scan;
}

// The tag that starts at offset k of the frame, cut to 128 bytes or padded
// with NULs to 128 (a cut-off tag reads as empty fields).
bool IsValidTagAt(std::span<const std::uint8_t> frame, std::size_t k) {
  std::array<std::uint8_t, kId3v1Size> tag{};
  const std::size_t take = std::min(kId3v1Size, frame.size() - k);
  std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(k), take, tag.begin());
  return IsValidId3v1(tag);
}

}  // namespace

std::size_t FindMarkerCandidate(std::span<const std::uint8_t> bytes) {
  return platform::FindBytePair(bytes, kId3v1Pair, kLyrics3Pair);
}

std::size_t ReconstructStart(std::span<const std::uint8_t> frame) {
  const MarkerScan scan = ScanMarkers(frame);
  if (scan.tag != kNone) {
    // Only the first "TAG" counts; when it is no valid tag, the frame stays
    // as it is and no Lyrics3 marker is looked for.
    return IsValidTagAt(frame, scan.tag) ? scan.tag : frame.size();
  }
  return scan.lyrics != kNone ? scan.lyrics : frame.size();
}

void OverwriteFrom(std::span<std::uint8_t> frame, std::size_t from, std::size_t keep) {
  const std::uint8_t fill = from == 0 ? 0 : frame[from - 1];
  std::fill(frame.begin() + static_cast<std::ptrdiff_t>(std::max(from, keep)), frame.end(), fill);
}

bool ReconstructFrame(std::span<std::uint8_t> frame) {
  const std::size_t from = ReconstructStart(frame);
  if (from == frame.size()) return false;
  OverwriteFrom(frame, from);
  return true;
}

}  // namespace scourby

// The markers that begin the tags found at the end of a file or between
// joined files: an ID3v1 tag, a Lyrics3 block and an APEv2 tag.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace scourby {

inline constexpr std::string_view kId3v1Marker = "TAG";
inline constexpr std::string_view kLyrics3Marker = "LYRICSBEGIN";
inline constexpr std::string_view kApeMarker = "APETAGEX";

// The longest of them.
inline constexpr std::size_t kLongestTagMarker = kLyrics3Marker.size();

// Whether bytes hold text at offset at.
inline bool TextAt(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view text) {
  return at <= bytes.size() && bytes.size() - at >= text.size() &&
         std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// Whether bytes begin with one of the three markers. A frame followed by a
// tag marker is a stream's last frame, which no frame needs to confirm.
inline bool StartsWithTagMarker(std::span<const std::uint8_t> bytes) {
  constexpr std::string_view kMarkers[] = {kId3v1Marker, kLyrics3Marker, kApeMarker};
  return std::any_of(std::begin(kMarkers), std::end(kMarkers),
                     [&](std::string_view marker) { return TextAt(bytes, 0, marker); });
}

}  // namespace scourby

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

// Whether bytes begin with one of the three markers. A frame followed by a
// tag marker is a stream's last frame, which no frame needs to confirm.
inline bool StartsWithTagMarker(std::span<const std::uint8_t> bytes) {
  constexpr std::string_view kMarkers[] = {kId3v1Marker, kLyrics3Marker, kApeMarker};
  return std::any_of(std::begin(kMarkers), std::end(kMarkers), [&](std::string_view marker) {
    return bytes.size() >= marker.size() && std::memcmp(bytes.data(), marker.data(), marker.size()) == 0;
  });
}

}  // namespace scourby

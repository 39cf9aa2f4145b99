// The frame reconstructor: a frame whose declared length runs into a
// trailing tag holds the tag's first bytes. The reconstructor finds where
// the tag begins inside the frame (a valid ID3v1 tag, or a Lyrics3 block)
// and overwrites the frame from there to its end, so that no tag text stays
// in the audio; the frame's length never changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/pair_scan.h"
#include "tags/tag_markers.h"

namespace scourby {

// The first two letters of the markers the reconstructor looks for.
inline constexpr platform::BytePair kId3v1Pair = {static_cast<std::uint8_t>(kId3v1Marker[0]), 0xFF,
                                                  static_cast<std::uint8_t>(kId3v1Marker[1])};
inline constexpr platform::BytePair kLyrics3Pair = {static_cast<std::uint8_t>(kLyrics3Marker[0]), 0xFF,
                                                    static_cast<std::uint8_t>(kLyrics3Marker[1])};

// The offset of the first place in bytes where one of those markers could
// begin ("TA" or "LY"), or bytes.size() when there is none. Bytes in which no
// such pair begins hold no marker: one scan over many frames spares
// scanning each of them.
std::size_t FindMarkerCandidate(std::span<const std::uint8_t> bytes);

// Where the reconstructor starts to overwrite the frame: at the first "TAG"
// when a valid ID3v1 tag begins there (when it begins none, the frame stays
// as it is), else at the first "LYRICSBEGIN"; frame.size() when the frame
// stays as it is.
std::size_t ReconstructStart(std::span<const std::uint8_t> frame);

// Overwrites the frame from `from` to its end with copies of the byte before
// `from` (0x00 at offset 0), leaving its first `keep` bytes as they are.
void OverwriteFrom(std::span<std::uint8_t> frame, std::size_t from, std::size_t keep = 0);

// Overwrites the frame from ReconstructStart on. True when it changed it.
bool ReconstructFrame(std::span<std::uint8_t> frame);

}  // namespace scourby

// Trailing tags: the ID3v1 validity test, the fetch of a valid trailing
// ID3v1 tag, and the frame reconstructor that clears a tag start out of a
// frame.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/reader.h"

namespace scourby {

// Valid unless a byte from 1 to 31 stands before the field's first NUL.
bool IsTextField(std::span<const std::uint8_t> field);

// "TAG" and five valid text fields: title, artist, album, year, and the
// first 29 bytes of the comment. Fields past the end of a shorter string are
// tested on the bytes that are there.
bool IsValidId3v1(std::span<const std::uint8_t> tag);

// The file's last 128 bytes when they form a valid ID3v1 tag, else empty.
// The read position is left as it was.
std::vector<std::uint8_t> ReadTrailingId3v1(platform::Reader& input);

// Overwrites a frame from the start of an embedded valid ID3v1 tag (the first
// "TAG") or, when the frame holds no "TAG", from "LYRICSBEGIN", to its end,
// with copies of the byte before the marker (0x00 at offset 0). The length
// never changes. Does nothing when noReconstruct is set.
// Returns true when it overwrote bytes.
bool ReconstructFrame(std::span<std::uint8_t> frame, bool noReconstruct);

// Where ReconstructFrame would start overwriting the frame, or frame.size()
// when it would leave the frame as it is. Lets a caller look at a frame it
// cannot change and copy it only when it must.
std::size_t ReconstructStart(std::span<const std::uint8_t> frame, bool noReconstruct);

// The offset of the first place in bytes where a tag marker could begin (a
// "TA" or "LY"), or bytes.size() when there is none. A frame in which no such
// pair begins holds no marker, so ReconstructStart leaves it as it is: one
// pass over the bytes of many frames spares scanning each frame on its own.
std::size_t FindMarkerCandidate(std::span<const std::uint8_t> bytes);

}  // namespace scourby

// The forward search for the next frame header, and the Xing VBR header of
// a file's first frame.
#pragma once

#include <cstdint>

#include "mpeg/frame_header.h"
#include "platform/reader.h"

namespace scourby {

// How far a search reaches: a header whose first byte lies up to this many
// bytes after where the search began can be found.
inline constexpr std::int64_t kSearchReach = 64000;

// The Xing frame count of the first frame of the current pass.
struct XingInfo {
  std::int32_t xingFramesKnown = 0;  // 0 or 1
  std::uint32_t xingFrameCount = 0;  // meaningful only while known
};

// Searches forward from the read position, 4 bytes at a time, for a valid
// frame header whose first byte lies at most kSearchReach bytes after the start and
// whose four bytes all lie inside the file. Found (1): the read position is
// on the header's first byte and header holds it decoded; with checkXing,
// xing describes its Xing header (a frame count of 0 counts as unknown).
// Not found (0): the read position is back where it was, header holds
// nothing usable, xing is untouched.
std::int32_t FindFrameHeader(platform::Reader& input, std::int32_t checkXing, FrameHeader& header, XingInfo& xing);

}  // namespace scourby

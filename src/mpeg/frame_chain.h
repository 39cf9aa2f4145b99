// Runs of whole frames of one stream, each beginning where the one before
// ends: what tells a real stream from the chance headers that other bytes
// hold. Four bytes form a valid header often by chance (in 24- and 32-bit
// PCM near silence, 0xFF 0xFF is a common sample), and chance chains them
// only a few frames long; a real stream runs on for hundreds of frames.
#pragma once

#include <cstdint>

#include "mpeg/frame_header.h"
#include "platform/reader.h"

namespace scourby {

// Frames in a row that take a stream found beyond a search's reach.
inline constexpr int kStreamBeyondReach = 8;

// Frames in a row that take a first frame that does not stand where the
// audio begins. Chance chains in PCM reach about half of this for Layers II
// and III, and longer for Layer I, whose headers begin 0xFF 0xFF.
constexpr int FirstFrameChain(const FrameHeader& header) { return header.layer == 1 ? 32 : 8; }

// The number of whole frames of one stream (the same version, layer, sample
// rate and number of channels) that follow one another from `at` on, each
// beginning where the one before ends and ending at or before `end`;
// counting stops at `enough`.
int FramesInARow(platform::Reader& input, std::int64_t at, std::int64_t end, int enough);

}  // namespace scourby

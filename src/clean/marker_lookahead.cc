#include "clean/marker_lookahead.h"

#include <algorithm>

#include "tags/frame_reconstructor.h"

namespace scourby {
namespace {

// Scanned a little at a time, so the bytes are still in the cache when they
// are written out.
constexpr std::size_t kScanStep = 16 * 1024;

}  // namespace

std::size_t MarkerLookahead::ReconstructStartSlow(const platform::Reader& input, std::span<const std::uint8_t> frame) {
  const std::span<const std::uint8_t> buffered = input.Buffered();
  const auto base = reinterpret_cast<std::uintptr_t>(buffered.data());
  const auto at = reinterpret_cast<std::uintptr_t>(frame.data());
  if (buffered.empty() || at < base || at + frame.size() > base + buffered.size()) {
    known_ = false;
    return scourby::ReconstructStart(frame);
  }
  const std::size_t from = at - base;
  const std::size_t end = from + frame.size();
  if (!known_ || refills_ != input.Refills() || base_ != base || next_ < from) {
    known_ = true;
    found_ = false;
    refills_ = input.Refills();
    base_ = base;
    scannedFrom_ = from;
    next_ = from;
  }
  while (!found_ && next_ + 1 < end) {
    const std::size_t chunk = std::min(kScanStep, buffered.size() - next_);
    const std::size_t k = FindMarkerCandidate(buffered.subspan(next_, chunk));
    found_ = k < chunk;
    next_ += found_ ? k : chunk - 1;  // a pair may begin on the last byte
  }
  // A pair that begins on the frame's last byte is no marker of this frame.
  if (!found_ || next_ + 1 >= end) return frame.size();
  known_ = false;  // looked for afresh from the next frame on
  return scourby::ReconstructStart(frame);
}

}  // namespace scourby

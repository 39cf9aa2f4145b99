// Where the next possible tag marker lies in the read buffer, found by one
// scan over many frames at a time: frames before it hold no marker and skip
// the frame reconstructor's own scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/reader.h"

namespace scourby {

class MarkerLookahead {
 public:
  // ReconstructStart for a frame viewed in the reader.
  std::size_t ReconstructStart(const platform::Reader& input, std::span<const std::uint8_t> frame) {
    // Most frames end before the next place where a marker could begin.
    if (known_ && refills_ == input.Refills()) {
      const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(frame.data()) - base_;
      if (from >= scannedFrom_ && from + frame.size() <= next_ + 1) return frame.size();
    }
    return ReconstructStartSlow(input, frame);
  }

 private:
  std::size_t ReconstructStartSlow(const platform::Reader& input, std::span<const std::uint8_t> frame);

  bool known_ = false;
  bool found_ = false;  // a pair begins at next_; else none before it
  std::uint64_t refills_ = 0;
  std::uintptr_t base_ = 0;      // where the buffer lies
  std::size_t scannedFrom_ = 0;  // offsets in the buffer: no pair begins in
  std::size_t next_ = 0;         // [scannedFrom_, next_)
};

}  // namespace scourby

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
  std::size_t ClearFrom(const platform::Reader& input, std::span<const std::uint8_t> frame);

 private:
  bool known_ = false;
  bool found_ = false;  // a pair begins at next_; else none before it
  std::uint64_t refills_ = 0;
  std::size_t next_ = 0;  // offset in the buffer
};

}  // namespace scourby

// The direct-mode writer: kept bytes go back into the file being read, packed
// from offset 0, never at or beyond the read position.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/reader.h"

namespace scourby {

class InPlaceWriter {
 public:
  // Starts a pass: nothing pending, nothing written.
  void Reset();

  // Appends data to the pending bytes and writes what may be written now.
  // False once a write has failed.
  bool Write(platform::Reader& input, std::span<const std::uint8_t> data);

  // Writes everything still pending (the room must cover it). False on a
  // failed write.
  bool Flush(platform::Reader& input);

  std::int64_t written() const { return written_; }

 private:
  std::vector<std::uint8_t> pending_;
  std::int64_t written_ = 0;
  bool failed_ = false;
};

}  // namespace scourby

// The direct-mode writer: kept bytes go back into the file being read, packed
// from offset 0, never at or beyond the read position, so no byte is
// overwritten before it has been read.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/reader.h"

namespace scourby {

class InPlaceWriter {
 public:
  // Starts a pass: nothing pending, nothing written.
  void Reset();

  // Hands over kept bytes that were read at sourceOffset (changed: altered
  // since). Bytes that would land exactly where they already are, unchanged,
  // are not written again. The rest is written in batches as room allows.
  // False once a write has failed. Nothing is written once a read of input
  // has failed.
  bool Write(platform::Reader& input, std::span<const std::uint8_t> data, std::int64_t sourceOffset, bool changed);

  // Writes everything still pending; the read position must lie at or
  // behind the end of the pending bytes. False on a failed write.
  bool Flush(platform::Reader& input);

  // Leaves room for size bytes in front of what comes next (written over
  // later): the bytes that follow land that much further on. Nothing may
  // be pending.
  void Reserve(std::int64_t size) { written_ += size; }

  // The bytes in place have moved by delta, all of them at once.
  void Moved(std::int64_t delta) { written_ += delta; }

  // Called before every write into the file: a pass that keeps what it
  // removes hands it to the trash there, so that no byte is overwritten
  // before its copy has reached the file system (a killed process cannot
  // write out what it still holds).
  void SetBeforeWrite(std::function<void()> hook) { beforeWrite_ = std::move(hook); }

  // Bytes in place at the front of the file, and whether any write reached
  // the file (before the first one, a failure leaves the file as it was).
  std::int64_t written() const { return written_; }
  // Where the bytes handed over so far end, those still pending included.
  std::int64_t end() const { return written_ + static_cast<std::int64_t>(pending_.size()); }
  bool wroteAnything() const { return wroteAnything_; }

 private:
  bool WritePending(platform::Reader& input);
  // Writes size bytes at written_ and moves it on; refuses after a failed
  // read of the input.
  bool WriteOut(platform::Reader& input, const std::uint8_t* data, std::size_t size);

  std::vector<std::uint8_t> pending_;
  std::function<void()> beforeWrite_;
  std::int64_t written_ = 0;
  bool failed_ = false;
  bool wroteAnything_ = false;
};

}  // namespace scourby

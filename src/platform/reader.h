// The buffered view of the file being cleaned: a read position that may be
// set anywhere (past the end included), reads that come back short only at
// the end of the file, and writes through the same file that keep the
// buffered bytes coherent. The frame search and the pass look at the bytes
// where they lie in the buffer; both cost a system call per buffer, not per
// frame.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "platform/file.h"

namespace scourby::platform {

class Reader {
 public:
  // Large enough that a refill costs little next to the bytes it brings,
  // small enough that the bytes are still in the cache when they are
  // scanned and written out.
  static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

  // A bufferSize of 0 makes every read go straight to the file (one system
  // call each); sizes from 1 to 15 are raised to 16.
  explicit Reader(File& file, std::size_t bufferSize = kDefaultBufferSize);
  // Reads bytes held in memory as if they were the whole file: no system
  // call, no write. For the logic that is tested over byte buffers.
  explicit Reader(std::span<const std::uint8_t> bytes);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  File& file() { return file_; }

  // The offset of the next byte that Read returns.
  std::int64_t Position() const { return position_; }

  // Moves the read position; any offset from 0 on is allowed.
  void SetPosition(std::int64_t position) { position_ = position; }

  // Makes the file look limit bytes long at most: reads end there even when
  // the file grows meanwhile, and a read that the file ends short of it
  // (another process cut the file) fails. It may be moved at any time, down
  // to hide the bytes beyond it and up again; views handed out stay valid.
  void SetLimit(std::int64_t limit);

  // The file's current length, or the limit when that is smaller; -1 on
  // error.
  std::int64_t Length() {
    if (memory_) return limit_;
    const std::int64_t length = file_.Length();
    return length < 0 ? -1 : std::min(length, limit_);
  }

  // Reads up to size bytes at the read position and advances it by the
  // number returned. Fewer than size come back only at the end of the file,
  // or after a read error, which also sets Failed().
  std::size_t Read(void* out, std::size_t size) {
    const std::int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && static_cast<std::uint64_t>(offset) + size <= bufferLength_) {
      std::memcpy(out, data_ + offset, size);
      position_ += static_cast<std::int64_t>(size);
      return size;
    }
    return ReadSlow(static_cast<std::uint8_t*>(out), size);
  }

  // Reads like Read, but hands back the bytes where they lie in the buffer
  // rather than copying them out. The view stays valid until the next call on
  // the reader.
  std::span<const std::uint8_t> View(std::size_t size) {
    const std::int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && static_cast<std::uint64_t>(offset) + size <= bufferLength_) {
      position_ += static_cast<std::int64_t>(size);
      return {data_ + offset, size};
    }
    return ViewSlow(size);
  }

  // The bytes from offset on that the buffer holds, without moving the read
  // position: at least atLeast of them (up to the buffer's size), refilling
  // the buffer from offset when it holds fewer; fewer only at the end of the
  // file or after a failed read. Valid until the next call on the reader.
  std::span<const std::uint8_t> Peek(std::int64_t offset, std::size_t atLeast) {
    const std::int64_t at = offset - bufferStart_;
    if (at >= 0 && static_cast<std::uint64_t>(at) + atLeast <= bufferLength_) {
      return {data_ + at, bufferLength_ - static_cast<std::size_t>(at)};
    }
    return PeekSlow(offset, atLeast);
  }

  // Every byte the buffer holds now, and a number that changes whenever its
  // content is replaced by another part of the file.
  std::span<const std::uint8_t> Buffered() const { return {data_, bufferLength_}; }
  std::uint64_t Refills() const { return refills_; }

  // True once a read of the file has failed (not merely ended), or ended
  // short of the limit.
  bool Failed() const { return failed_; }

  // Writes size bytes at offset through the file, updating any buffered copy
  // of them. The read position does not move.
  bool WriteAt(std::int64_t offset, const void* data, std::size_t size);

  // Called just before the buffer is refilled, while the views it handed out
  // are still valid: a writer that holds views uses it to write them out.
  void SetRefillHook(std::function<void()> hook) { beforeRefill_ = std::move(hook); }

 private:
  static constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

  // One read of the file; sets failed_ on an error or a cut-off file.
  std::int64_t ReadFile(std::int64_t offset, std::uint8_t* out, std::size_t size);
  std::size_t ReadSlow(std::uint8_t* out, std::size_t size);
  std::span<const std::uint8_t> ViewSlow(std::size_t size);
  std::span<const std::uint8_t> PeekSlow(std::int64_t offset, std::size_t atLeast);
  // Fills the buffer with the bytes from offset on. False on a read error.
  bool Refill(std::int64_t offset);
  // How many of size bytes at offset lie before the limit.
  std::size_t BeforeLimit(std::int64_t offset, std::size_t size) const {
    if (offset >= limit_) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(size, static_cast<std::uint64_t>(limit_ - offset)));
  }

  File& file_;
  // The buffer is left uninitialised and handed on to the next reader when
  // this one ends, so a run over many small files neither clears nor faults
  // in a fresh buffer per file.
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t bufferSize_ = 0;
  const std::uint8_t* data_ = nullptr;  // the buffered bytes: buffer_, or the bytes in memory
  std::vector<std::uint8_t> scratch_;   // views that the buffer cannot hold
  bool unbuffered_ = false;             // reads bypass the buffer, which then never holds bytes
  std::int64_t bufferStart_ = 0;        // file offset of data_[0]
  std::size_t bufferLength_ = 0;        // valid bytes at data_
  bool bufferReachesEnd_ = false;       // the file (or the limit) ends where the buffered bytes end
  std::int64_t position_ = 0;
  std::uint64_t refills_ = 0;
  std::int64_t limit_ = kNoLimit;
  bool failed_ = false;
  bool memory_ = false;  // the bytes are all in memory: nothing to refill
  std::size_t memorySize_ = 0;
  std::size_t readLength_ = 0;  // the bytes the last refill read, some perhaps beyond the limit now
  std::function<void()> beforeRefill_;
};

}  // namespace scourby::platform

#include "platform/reader.h"

#include <algorithm>

namespace scourby::platform {

Reader::Reader(File& file, std::size_t bufferSize)
    : file_(file), buffer_(std::max<std::size_t>(bufferSize, 16)), unbuffered_(bufferSize == 0) {}

std::size_t Reader::ReadSlow(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && static_cast<std::uint64_t>(offset) < bufferLength_) {
      const std::size_t take = std::min(size - done, bufferLength_ - static_cast<std::size_t>(offset));
      std::memcpy(out + done, buffer_.data() + offset, take);
      done += take;
      position_ += static_cast<std::int64_t>(take);
      continue;
    }
    const std::size_t left = BeforeLimit(size - done);
    if (left == 0) break;
    if (unbuffered_ || left >= buffer_.size()) {
      // Large reads (and every read without a buffer) go straight into the
      // caller's memory.
      const std::int64_t got = file_.ReadAt(position_, out + done, left);
      if (got < 0) {
        failed_ = true;
        break;
      }
      done += static_cast<std::size_t>(got);
      position_ += got;
      if (static_cast<std::size_t>(got) < left) break;
      continue;
    }
    const std::int64_t got = file_.ReadAt(position_, buffer_.data(), BeforeLimit(buffer_.size()));
    bufferStart_ = position_;
    if (got < 0) {
      failed_ = true;
      bufferLength_ = 0;
      break;
    }
    bufferLength_ = static_cast<std::size_t>(got);
    if (got == 0) break;
  }
  return done;
}

std::span<const std::uint8_t> Reader::ViewSlow(std::size_t size) {
  if (unbuffered_ || size > buffer_.size()) {
    scratch_.resize(size);
    return {scratch_.data(), ReadSlow(scratch_.data(), size)};
  }
  // Refill from the read position, so the view is one piece of the buffer.
  const std::int64_t got = file_.ReadAt(position_, buffer_.data(), BeforeLimit(buffer_.size()));
  bufferStart_ = position_;
  bufferLength_ = got < 0 ? 0 : static_cast<std::size_t>(got);
  if (got < 0) failed_ = true;
  const std::size_t take = std::min(size, bufferLength_);
  position_ += static_cast<std::int64_t>(take);
  return {buffer_.data(), take};
}

bool Reader::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  const std::int64_t end = offset + static_cast<std::int64_t>(size);
  const std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
  const std::int64_t from = std::max(offset, bufferStart_);
  const std::int64_t to = std::min(end, bufferEnd);
  if (from < to) {
    std::memcpy(buffer_.data() + (from - bufferStart_), static_cast<const std::uint8_t*>(data) + (from - offset),
                static_cast<std::size_t>(to - from));
  }
  return file_.WriteAt(offset, data, size);
}

}  // namespace scourby::platform

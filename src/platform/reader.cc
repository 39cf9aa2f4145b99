#include "platform/reader.h"

#include <algorithm>

namespace scourby::platform {

namespace {

// The buffer of the last reader that ended, kept for the next one.
thread_local std::unique_ptr<std::uint8_t[]> spareBuffer;
thread_local std::size_t spareSize = 0;

}  // namespace

Reader::Reader(File& file, std::size_t bufferSize)
    : file_(file), bufferSize_(std::max<std::size_t>(bufferSize, 16)), unbuffered_(bufferSize == 0) {
  if (spareBuffer && spareSize == bufferSize_) {
    buffer_ = std::move(spareBuffer);
  } else {
    buffer_.reset(new std::uint8_t[bufferSize_]);
  }
}

Reader::~Reader() {
  spareBuffer = std::move(buffer_);
  spareSize = bufferSize_;
}

std::size_t Reader::ReadSlow(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && static_cast<std::uint64_t>(offset) < bufferLength_) {
      const std::size_t take = std::min(size - done, bufferLength_ - static_cast<std::size_t>(offset));
      std::memcpy(out + done, buffer_.get() + offset, take);
      done += take;
      position_ += static_cast<std::int64_t>(take);
      continue;
    }
    const std::size_t left = size - done;
    if (unbuffered_ || left >= bufferSize_) {
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
    const std::int64_t got = Refill();
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
  if (unbuffered_ || size > bufferSize_) {
    if (beforeRefill_) beforeRefill_();  // earlier views may lie in scratch_
    scratch_.resize(size);
    return {scratch_.data(), ReadSlow(scratch_.data(), size)};
  }
  // Refill from the read position, so the view is one piece of the buffer.
  const std::int64_t got = Refill();
  bufferLength_ = got < 0 ? 0 : static_cast<std::size_t>(got);
  if (got < 0) failed_ = true;
  const std::size_t take = std::min(size, bufferLength_);
  position_ += static_cast<std::int64_t>(take);
  return {buffer_.get(), take};
}

std::int64_t Reader::Refill() {
  if (beforeRefill_) beforeRefill_();
  bufferStart_ = position_;
  return file_.ReadAt(position_, buffer_.get(), bufferSize_);
}

bool Reader::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  // The data may lie in the buffer itself: it goes to the file before the
  // buffered copy of the target range is brought up to date.
  if (!file_.WriteAt(offset, data, size)) return false;
  const std::int64_t end = offset + static_cast<std::int64_t>(size);
  const std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
  const std::int64_t from = std::max(offset, bufferStart_);
  const std::int64_t to = std::min(end, bufferEnd);
  if (from < to) {
    std::memmove(buffer_.get() + (from - bufferStart_), static_cast<const std::uint8_t*>(data) + (from - offset),
                 static_cast<std::size_t>(to - from));
  }
  return true;
}

}  // namespace scourby::platform

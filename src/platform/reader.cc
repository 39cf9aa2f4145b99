#include "platform/reader.h"

#include <algorithm>

namespace scourby::platform {

namespace {

// The buffer of the last reader that ended, kept for the next one.
thread_local std::unique_ptr<std::uint8_t[]> spareBuffer;
thread_local std::size_t spareSize = 0;

}  // namespace

Reader::Reader(File& file, std::size_t bufferSize, std::size_t mapWindow)
    : file_(file), bufferSize_(std::max<std::size_t>(bufferSize, 16)), unbuffered_(bufferSize == 0) {
  if (mapWindow != 0 && !unbuffered_) {
    // A window must hold any view the buffer could: bufferSize bytes from an
    // offset that is rounded down to the granularity.
    const std::size_t granularity = MapGranularity();
    mapWindow_ = std::max(mapWindow, bufferSize_ + granularity);
    mapWindow_ = (mapWindow_ + granularity - 1) / granularity * granularity;
    faultsAtStart_ = MappedReadFaults();
  }
}

namespace {
File& NoFile() {
  static File none;
  return none;
}
}  // namespace

Reader::Reader(std::span<const std::uint8_t> bytes)
    : file_(NoFile()), bufferSize_(std::max<std::size_t>(bytes.size(), 16)), memory_(true) {
  data_ = bytes.data();
  bufferLength_ = bytes.size();
  limit_ = static_cast<std::int64_t>(bytes.size());
}

Reader::~Reader() {
  if (buffer_) {
    spareBuffer = std::move(buffer_);
    spareSize = bufferSize_;
  }
}

std::size_t Reader::ReadSlow(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && static_cast<std::uint64_t>(offset) < bufferLength_) {
      const std::size_t take = std::min(size - done, bufferLength_ - static_cast<std::size_t>(offset));
      std::memcpy(out + done, data_ + offset, take);
      done += take;
      position_ += static_cast<std::int64_t>(take);
      continue;
    }
    const std::size_t left = BeforeLimit(size - done);
    if (left == 0) break;
    if (unbuffered_ || (left >= bufferSize_ && mapWindow_ == 0)) {
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
    if (!Refill()) {
      failed_ = true;
      break;
    }
    if (position_ >= bufferStart_ + static_cast<std::int64_t>(bufferLength_)) break;  // the end of the file
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
  if (!Refill()) failed_ = true;
  const std::int64_t offset = position_ - bufferStart_;
  const std::size_t held =
      offset >= 0 && static_cast<std::uint64_t>(offset) < bufferLength_ ? bufferLength_ - static_cast<std::size_t>(offset) : 0;
  const std::size_t take = std::min(size, held);
  position_ += static_cast<std::int64_t>(take);
  return {data_ + (take != 0 ? offset : 0), take};
}

bool Reader::Refill() {
  if (memory_) return true;
  if (beforeRefill_) beforeRefill_();
  ++refills_;
  if (mapWindow_ != 0 && MapAt(position_)) return true;
  if (!buffer_) {
    if (spareBuffer && spareSize == bufferSize_) {
      buffer_ = std::move(spareBuffer);
    } else {
      buffer_.reset(new std::uint8_t[bufferSize_]);
    }
  }
  window_ = Window();
  data_ = buffer_.get();
  bufferStart_ = position_;
  const std::int64_t got = file_.ReadAt(position_, buffer_.get(), BeforeLimit(bufferSize_));
  bufferLength_ = got < 0 ? 0 : static_cast<std::size_t>(got);
  return got >= 0;
}

// Maps the window that holds position, up to the file's current end (or the
// limit). False when the bytes are to be read instead.
bool Reader::MapAt(std::int64_t position) {
  const std::int64_t fileLength = file_.Length();
  if (fileLength < 0) return false;
  const std::int64_t length = std::min(fileLength, limit_);
  if (length <= static_cast<std::int64_t>(bufferSize_) && !window_.IsMapped()) {
    // A file that fits the buffer is read in one call: mapping it costs more.
    mapWindow_ = 0;
    return false;
  }
  const auto granularity = static_cast<std::int64_t>(MapGranularity());
  const std::int64_t start = std::min(position, length) / granularity * granularity;
  const auto size = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(mapWindow_), length - start));
  window_ = Window();  // the old window goes before the new one is made
  if (size == 0) {
    // At or past the end: nothing to map, nothing to read.
    data_ = nullptr;
    bufferStart_ = position;
    bufferLength_ = 0;
    return true;
  }
  window_ = file_.MapForRead(start, size);
  if (!window_.IsMapped()) {
    mapWindow_ = 0;  // this file does not map: read it from now on
    return false;
  }
  mapped_ = true;
  data_ = window_.data();
  bufferStart_ = start;
  bufferLength_ = size;
  return true;
}

bool Reader::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  // The data may lie in the buffer itself: it goes to the file before the
  // buffered copy of the target range is brought up to date. A mapped window
  // shows the written bytes by itself.
  if (!file_.WriteAt(offset, data, size)) return false;
  if (window_.IsMapped()) return true;
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

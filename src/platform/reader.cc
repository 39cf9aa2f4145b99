#include "platform/reader.h"

namespace scourby::platform {

namespace {

// The buffer of the last reader that ended, kept for the next one.
thread_local std::unique_ptr<std::uint8_t[]> spareBuffer;
thread_local std::size_t spareSize = 0;

File& NoFile() {
  static File none;
  return none;
}

}  // namespace

std::int64_t Reader::ReadFile(std::int64_t offset, std::uint8_t* out, std::size_t size) {
  const std::int64_t got = file_.ReadAt(offset, out, size);
  // Short of the limit, the file was cut by another process meanwhile: the
  // bytes the pass counted on are gone.
  if (got < 0 || (static_cast<std::size_t>(got) < size && limit_ != kNoLimit)) failed_ = true;
  return got;
}

Reader::Reader(File& file, std::size_t bufferSize)
    : file_(file), bufferSize_(std::max<std::size_t>(bufferSize, 16)), unbuffered_(bufferSize == 0) {}

Reader::Reader(std::span<const std::uint8_t> bytes)
    : file_(NoFile()), bufferSize_(std::max<std::size_t>(bytes.size(), 16)), bufferReachesEnd_(true), memory_(true) {
  data_ = bytes.data();
  bufferLength_ = readLength_ = memorySize_ = bytes.size();
  limit_ = static_cast<std::int64_t>(bytes.size());
}

void Reader::SetLimit(std::int64_t limit) {
  limit_ = memory_ ? std::min<std::int64_t>(limit, static_cast<std::int64_t>(memorySize_)) : limit;
  // The buffered bytes that lie before the limit, of those the last refill
  // read; bytes beyond them come from the file again.
  const std::int64_t before = std::max<std::int64_t>(limit_ - bufferStart_, 0);
  bufferLength_ = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(readLength_), before));
  // Beyond the bytes read lies more of the file, or its end: a refill tells.
  bufferReachesEnd_ = memory_ || limit_ <= bufferStart_ + static_cast<std::int64_t>(readLength_);
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
    if (memory_) break;
    const std::size_t left = BeforeLimit(position_, size - done);
    if (left == 0) break;
    if (unbuffered_ || left >= bufferSize_) {
      // Large reads (and every read without a buffer) go straight into the
      // caller's memory.
      const std::int64_t got = ReadFile(position_, out + done, left);
      if (got < 0) break;
      done += static_cast<std::size_t>(got);
      position_ += got;
      if (static_cast<std::size_t>(got) < left) break;
      continue;
    }
    if (!Refill(position_)) break;
    if (bufferLength_ == 0) break;  // the end of the file
  }
  return done;
}

std::span<const std::uint8_t> Reader::ViewSlow(std::size_t size) {
  if (!memory_ && (unbuffered_ || size > bufferSize_)) {
    if (beforeRefill_) beforeRefill_();  // earlier views may lie in scratch_
    scratch_.resize(size);
    return {scratch_.data(), ReadSlow(scratch_.data(), size)};
  }
  const std::span<const std::uint8_t> held = PeekSlow(position_, size);
  const std::size_t take = std::min(size, held.size());
  position_ += static_cast<std::int64_t>(take);
  return held.first(take);
}

std::span<const std::uint8_t> Reader::PeekSlow(std::int64_t offset, std::size_t atLeast) {
  // At or past the limit there is nothing to read: the buffer stays as it
  // is for the bytes before.
  if (!memory_ && offset >= limit_) return {};
  const std::int64_t held = offset - bufferStart_;
  const bool inBuffer = held >= 0 && static_cast<std::uint64_t>(held) < bufferLength_;
  // Bytes up to the end of the file are all there are: no refill brings more.
  if (!memory_ && !(inBuffer && bufferReachesEnd_)) {
    if (unbuffered_) {
      // A look ahead takes a few kilobytes, so that a search does not cost
      // a system call per step.
      if (beforeRefill_) beforeRefill_();
      scratch_.resize(std::max<std::size_t>(atLeast, 4096));
      const std::int64_t got = ReadFile(offset, scratch_.data(), BeforeLimit(offset, scratch_.size()));
      return {scratch_.data(), got < 0 ? 0 : static_cast<std::size_t>(got)};
    }
    Refill(offset);
  }
  const std::int64_t at = offset - bufferStart_;
  if (at < 0 || static_cast<std::uint64_t>(at) >= bufferLength_) return {};
  return {data_ + at, bufferLength_ - static_cast<std::size_t>(at)};
}

bool Reader::Refill(std::int64_t offset) {
  if (beforeRefill_) beforeRefill_();
  ++refills_;
  if (!buffer_) {
    if (spareBuffer && spareSize == bufferSize_) {
      buffer_ = std::move(spareBuffer);
    } else {
      buffer_.reset(new std::uint8_t[bufferSize_]);
    }
  }
  data_ = buffer_.get();
  bufferStart_ = offset;
  const std::size_t want = BeforeLimit(offset, bufferSize_);
  const std::int64_t got = ReadFile(offset, buffer_.get(), want);
  bufferLength_ = readLength_ = got < 0 ? 0 : static_cast<std::size_t>(got);
  bufferReachesEnd_ = got >= 0 && static_cast<std::size_t>(got) < bufferSize_;
  return got >= 0;
}

bool Reader::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  // The data may lie in the buffer itself: it goes to the file before the
  // buffered copy of the target range is brought up to date.
  if (!file_.WriteAt(offset, data, size)) return false;
  const std::int64_t end = offset + static_cast<std::int64_t>(size);
  // The bytes read beyond the limit too: they come back into view when it
  // moves up.
  const std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(buffer_ ? readLength_ : 0);
  const std::int64_t from = std::max(offset, bufferStart_);
  const std::int64_t to = std::min(end, bufferEnd);
  if (from < to) {
    std::memmove(buffer_.get() + (from - bufferStart_), static_cast<const std::uint8_t*>(data) + (from - offset),
                 static_cast<std::size_t>(to - from));
  }
  return true;
}

}  // namespace scourby::platform

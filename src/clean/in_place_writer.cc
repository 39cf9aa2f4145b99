#include "clean/in_place_writer.h"

#include "clean/copy_sizes.h"

namespace scourby {

void InPlaceWriter::Reset() {
  pending_.clear();
  written_ = 0;
  failed_ = false;
  wroteAnything_ = false;
}

bool InPlaceWriter::Write(platform::Reader& input, std::span<const std::uint8_t> data, std::int64_t sourceOffset,
                          bool changed) {
  if (failed_) return false;
  if (pending_.empty() && !changed && sourceOffset == written_) {
    // The bytes already stand where they belong: nothing to move.
    written_ += static_cast<std::int64_t>(data.size());
    return true;
  }
  if (data.size() >= kDirectWrite) {
    // A long run goes out without a copy, behind whatever is pending.
    if (!pending_.empty() && !WritePending(input)) return false;
    if (pending_.empty() && input.Position() - written_ >= std::ssize(data)) {
      return WriteOut(input, data.data(), data.size());
    }
  }
  // Short pieces are gathered and written in batches: one system call per
  // batch rather than one per frame.
  pending_.insert(pending_.end(), data.begin(), data.end());
  if (pending_.size() >= kCopyChunk) return WritePending(input);
  return true;
}

bool InPlaceWriter::Flush(platform::Reader& input) {
  if (failed_) return false;
  return pending_.empty() || WritePending(input);
}

bool InPlaceWriter::WritePending(platform::Reader& input) {
  // Never at or beyond the read position: those bytes are still to be read.
  const std::int64_t room = input.Position() - written_;
  if (room <= 0) return true;
  const std::size_t size = std::min(pending_.size(), static_cast<std::size_t>(room));
  if (!WriteOut(input, pending_.data(), size)) return false;
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
  return true;
}

bool InPlaceWriter::WriteOut(platform::Reader& input, const std::uint8_t* data, std::size_t size) {
  // After a failed read the pass cannot finish: the file must stay as it is.
  if (input.Failed()) {
    failed_ = true;
    return false;
  }
  if (beforeWrite_) beforeWrite_();
  wroteAnything_ = true;
  if (!input.WriteAt(written_, data, size)) {
    failed_ = true;
    return false;
  }
  written_ += static_cast<std::int64_t>(size);
  return true;
}

}  // namespace scourby

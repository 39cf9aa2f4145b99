// What File does alike on every platform: keeping the error of its first
// failed call, and copying a stretch of one file into another (the system's
// own copy is the platform's, file_*.cc).
#include <algorithm>
#include <memory>

#include "platform/file.h"

namespace scourby::platform {

bool File::Failed(const Error& error) {
  if (!error_.failed()) error_ = error;
  return false;
}

File File::FailedToOpen(const Error& error) {
  File file;
  file.error_ = error;
  return file;
}

bool File::CopyTo(std::int64_t offset, std::int64_t size, File& to, std::int64_t toOffset) {
  while (size > 0) {
    const std::int64_t copied = CopyInSystem(offset, size, to, toOffset);
    if (copied < 0) return false;
    if (copied == 0) break;
    offset += copied;
    toOffset += copied;
    size -= copied;
  }
  constexpr std::int64_t kPiece = 256 * 1024;
  std::unique_ptr<std::uint8_t[]> buffer;
  if (size > 0) buffer.reset(new std::uint8_t[static_cast<std::size_t>(std::min(size, kPiece))]);
  while (size > 0) {
    const auto want = static_cast<std::size_t>(std::min(size, kPiece));
    // A read that fails, or ends early, fails the copy into `to`.
    if (ReadAt(offset, buffer.get(), want) != static_cast<std::int64_t>(want)) {
      return to.Failed(error_.failed() ? error_ : Error{Error::Kind::kIo, 0});
    }
    if (!to.WriteAt(toOffset, buffer.get(), want)) return false;
    offset += static_cast<std::int64_t>(want);
    toOffset += static_cast<std::int64_t>(want);
    size -= static_cast<std::int64_t>(want);
  }
  return true;
}

}  // namespace scourby::platform

#include "clean/appended_bytes.h"

#include <algorithm>
#include <vector>

#include "clean/copy_sizes.h"

namespace scourby {

std::int64_t KeepAppended(platform::File& file, std::int64_t seen, std::int64_t written) {
  if (written >= seen) {
    // A kept ID3v1 tag overlapping the last frame can end the cleaned data
    // beyond the old length: whatever follows it stays where it is.
    const std::int64_t length = file.Length();
    return length < 0 ? -1 : std::max(length, written);
  }
  std::int64_t from = seen;
  std::int64_t to = written;  // ahead of from: a forward copy is safe
  std::vector<std::uint8_t> chunk;
  while (true) {
    const std::int64_t length = file.Length();
    if (length < 0) return -1;
    if (length <= from) return to;
    chunk.resize(kCopyChunk);
    while (from < length) {
      const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length - from, kCopyChunk));
      const std::int64_t got = file.ReadAt(from, chunk.data(), want);
      if (got <= 0 || !file.WriteAt(to, chunk.data(), static_cast<std::size_t>(got))) return -1;
      from += got;
      to += got;
    }
  }
}

}  // namespace scourby

#include "clean/shift_bytes.h"

#include <algorithm>
#include <vector>

#include "clean/copy_sizes.h"

namespace scourby {

bool ShiftBytes(platform::File& file, std::int64_t from, std::int64_t to, std::int64_t by) {
  std::vector<std::uint8_t> chunk(kCopyChunk);
  for (std::int64_t done = 0; done < to - from;) {
    const std::int64_t size = std::min<std::int64_t>(to - from - done, std::ssize(chunk));
    // Further on: from the end backwards; back: from the start on.
    const std::int64_t at = by > 0 ? to - done - size : from + done;
    const auto bytes = static_cast<std::size_t>(size);
    if (file.ReadAt(at, chunk.data(), bytes) != size || !file.WriteAt(at + by, chunk.data(), bytes)) return false;
    done += size;
  }
  return true;
}

}  // namespace scourby

// The pieces a pass removed from a file, in the order they were found, for
// the listing of /L. A file may hold any number of them, so they are kept
// in memory up to a bound and in a scratch file beyond it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "clean/byte_kind.h"
#include "platform/file.h"

namespace scourby {

struct Piece {
  std::int64_t at = 0;  // in the file as it was read
  std::int64_t size = 0;
  ByteKind kind = ByteKind::kJunk;
};

class PieceLog {
 public:
  void Add(const Piece& piece);
  bool Empty() const { return pieces_.empty() && spilled_ == 0; }
  // Forgets every piece.
  void Clear();
  // Every piece, in the order they were added; an error when those in the
  // scratch file could not all be read back (the visit then stops there).
  platform::Error ForEach(const std::function<void(const Piece&)>& visit);

 private:
  // 16384 pieces of 24 bytes: 384 KB.
  static constexpr std::size_t kInMemory = 1 << 14;

  std::vector<Piece> pieces_;
  platform::File scratch_;
  std::int64_t spilled_ = 0;  // pieces in the scratch file, the oldest
};

// What /L lists of a file: the pieces removed, and the bytes the
// reconstructor cleared in kept frames, each in file order.
struct Listing {
  PieceLog removed;
  PieceLog cleared;
};

}  // namespace scourby

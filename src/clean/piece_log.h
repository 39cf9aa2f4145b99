// The pieces a pass removed from a file, in the order they were found, for
// the listing of /L. A file may hold any number of them, so they are kept
// in memory up to a bound and in a scratch file beyond it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/file.h"

namespace scourby {

struct Piece {
  // As wide as the offsets, so that a piece has no padding to write out.
  enum class Kind : std::int64_t {
    kId3v2,
    kRiffWave,
    kApe,
    kLyrics3,
    kId3v1,
    kCutOffFrame,
    kJoinedHeader,  // the header frame of a part joined behind another
    kJunk,
    kCleared,  // bytes of a kept frame cleared by the reconstructor
  };
  std::int64_t at = 0;  // in the file as it was read
  std::int64_t size = 0;
  Kind kind = Kind::kJunk;
};

class PieceLog {
 public:
  void Add(const Piece& piece);
  bool Empty() const { return pieces_.empty() && spilled_ == 0; }
  // Forgets every piece.
  void Clear();
  // Every piece, in the order they were added.
  void ForEach(const std::function<void(const Piece&)>& visit);

 private:
  // 16384 pieces of 24 bytes: 384 KB.
  static constexpr std::size_t kInMemory = 1 << 14;

  std::vector<Piece> pieces_;
  platform::File scratch_;
  std::int64_t spilled_ = 0;  // pieces in the scratch file, the oldest
};

}  // namespace scourby

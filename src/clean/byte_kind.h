// What a range of the input is, as the pass tells it apart: the one thing
// that decides where its bytes go (the cleaned data, the trash, the
// listing).
#pragma once

#include <cstdint>

namespace scourby {

// As wide as the offsets, so that a listed piece has no padding to write
// out.
enum class ByteKind : std::int64_t {
  kFrame,  // a whole frame of the stream
  kId3v2,
  kRiffWave,
  kApe,
  kLyrics3,
  kId3v1,
  kCutOffFrame,
  kJoinedHeader,  // the header frame of a part joined behind another
  kJunk,
  kCleared,  // bytes of a kept frame that the reconstructor clears
};

// Whether the range is a tag of the file's own: with /K kept where it
// stands in front of the stream or at the end.
constexpr bool IsTag(ByteKind kind) {
  return kind == ByteKind::kId3v2 || kind == ByteKind::kApe || kind == ByteKind::kLyrics3 || kind == ByteKind::kId3v1;
}

}  // namespace scourby

// What a WAVE file's "fmt " chunk says its audio is. Only MPEG audio in a
// WAVE file is MP3; the PCM of a hi-res master holds chance frame headers
// by the thousand and must never be taken for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace scourby {

enum class WaveAudio {
  kUnknown,  // no "fmt " chunk before "data", or no WAVE file at all
  kMpeg,
  kOther,
};

// The bytes of a "fmt " chunk's data that FormatChunkAudio looks at.
inline constexpr std::size_t kFormatChunkBytes = 26;

// MPEG for the format tag 0x0055 (MPEG Layer 3) or 0x0050 (MPEG), or for
// 0xFFFE (extensible) with one of those in the first two bytes of its
// sub-format (byte 24); any other format, or a chunk too short to say,
// is other audio. fmt: the chunk's data, at most kFormatChunkBytes of it.
WaveAudio FormatChunkAudio(std::span<const std::uint8_t> fmt);

}  // namespace scourby

// The signatures with which files of other audio and container formats
// begin. Such a file is never MP3, whatever chance headers its samples hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/reader.h"

namespace scourby {

// The bytes a signature test looks at.
inline constexpr std::size_t kSignatureBytes = 8;

// Whether bytes (the first kSignatureBytes of a file, or of what follows its
// leading ID3v2 tag; fewer at the end of the file) begin with the signature
// of FLAC, Ogg, AIFF, MP4, Matroska, ASF, WavPack, Monkey's Audio, TTA,
// Musepack, OptimFROG, CAF, DSD, AU, AMR or MIDI.
bool IsOtherFormat(std::span<const std::uint8_t> bytes);

// IsOtherFormat for the bytes at offset at of the input.
bool IsOtherFormatAt(platform::Reader& input, std::int64_t at);

}  // namespace scourby

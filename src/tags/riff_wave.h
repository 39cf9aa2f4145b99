// RIFF/WAVE unwrapping: the audio payload of an MP3-in-WAVE file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/reader.h"

namespace scourby {

// What the start of a file holds.
struct RiffWave {
  // 0: no "RIFF" at offset 0, read position 0. 1: a RIFF/WAVE file whose
  // "data" chunk was found, read position on its first payload byte. -1: a
  // RIFF file that cannot be unwrapped.
  std::int32_t result = 0;
  // With -1: true when the form type is not "WAVE", and id is the form type;
  // false when no "data" chunk was found, and id is the last chunk's id.
  // Up to four bytes, as they were read.
  bool notWave = false;
  std::string id;

  bool operator==(const RiffWave&) const = default;
};

// Looks at the start of the file for a RIFF/WAVE wrapper around the audio.
RiffWave SkipRiffWave(platform::Reader& input);

}  // namespace scourby

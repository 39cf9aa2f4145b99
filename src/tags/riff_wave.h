// RIFF/WAVE unwrapping: the audio payload of an MP3-in-WAVE file.
#pragma once

#include <cstdint>

#include "platform/reader.h"

namespace scourby {

// Looks at the start of the file. 0: no "RIFF" at offset 0, read position 0.
// 1: a RIFF/WAVE file whose "data" chunk was found, read position on its
// first payload byte. -1: a RIFF file that cannot be unwrapped; one message
// has been printed on the file's line, line end included.
std::int32_t SkipRiffWave(platform::Reader& input);

}  // namespace scourby

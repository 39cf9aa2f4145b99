// RIFF/WAVE unwrapping: the audio payload of an MP3-in-WAVE file, and what
// WAVE files and their 64-bit forms say their audio is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/reader.h"
#include "tags/wave_format.h"

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
  // What the "fmt " chunk before "data" says the audio is.
  WaveAudio audio = WaveAudio::kUnknown;

  bool operator==(const RiffWave&) const = default;
};

// Looks at the start of the file for a RIFF/WAVE wrapper around the audio.
RiffWave SkipRiffWave(platform::Reader& input);

// What the "fmt " chunk before "data" says of the audio of a 64-bit WAVE
// file: RF64 or BW64 (the chunks of RIFF/WAVE, "ds64" first) or Wave64
// (16-byte chunk ids "riff", "wave", "fmt ", "data" that end in the same 12
// GUID bytes, 8-byte sizes that count the 24-byte chunk head, chunks aligned
// to 8 bytes). kUnknown for any other file. The read position is left
// anywhere.
WaveAudio Wave64Audio(platform::Reader& input);

}  // namespace scourby

// ID3v2 tag skipping.
#pragma once

#include "platform/reader.h"

namespace scourby {

// When a valid ID3v2 header stands at the read position, moves the read
// position past the whole tag (footer included), whatever the file's length;
// otherwise leaves it where it was.
void SkipId3v2(platform::Reader& input);

}  // namespace scourby

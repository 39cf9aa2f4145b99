// Moving a stretch of a file further on or back within it, for the header
// frame that is added in front of a stream only once the whole stream has
// been written (or that, room made for it, turns out not to be wanted).
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace scourby {

// Moves the bytes [from, to) of file by `by` bytes (further on when
// positive), a chunk at a time, in the order that never writes over a byte
// still to be moved. The file must already reach to + by. False on a
// failed read or write.
bool ShiftBytes(platform::File& file, std::int64_t from, std::int64_t to, std::int64_t by);

}  // namespace scourby

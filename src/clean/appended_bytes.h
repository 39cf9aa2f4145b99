// Bytes that another process appends to a file while a direct-mode pass
// rewrites it lie beyond the length the pass saw; cutting the file there
// would lose them.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace scourby {

// Moves the bytes from seen to the file's end down to written, behind the
// cleaned data, looking at the length again until it stays put. Returns the
// length to cut the file at, or -1 on a failure.
std::int64_t KeepAppended(platform::File& file, std::int64_t seen, std::int64_t written);

}  // namespace scourby

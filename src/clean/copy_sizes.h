// How the pass moves bytes: in pieces of kCopyChunk bytes at the most
// (copies, buffered writes, kept bytes held back before they are written),
// and pieces of kDirectWrite bytes or more without a copy of their own.
#pragma once

#include <cstddef>

#include "platform/reader.h"

namespace scourby {

inline constexpr std::size_t kCopyChunk = platform::Reader::kDefaultBufferSize;
inline constexpr std::size_t kDirectWrite = 64 * 1024;

}  // namespace scourby

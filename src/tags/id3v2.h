// ID3v2 tag skipping.
#pragma once

#include <cstdint>
#include <span>

#include "platform/reader.h"

namespace scourby {

// The size of an ID3v2 tag header, the least a tag can take.
inline constexpr std::size_t kId3v2HeaderSize = 10;

// When header begins with a valid ID3v2 header, the whole tag's length
// (header, body and footer); else 0.
std::int64_t Id3v2TagLength(std::span<const std::uint8_t> header);

// When a valid ID3v2 header stands at the read position, moves the read
// position past the whole tag (footer included), whatever the file's length;
// otherwise leaves it where it was.
void SkipId3v2(platform::Reader& input);

}  // namespace scourby

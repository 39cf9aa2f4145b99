// ID3v1 tags: the validity test, and the fetch of a valid trailing tag.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/reader.h"

namespace scourby {

// An ID3v1 tag's size: "TAG" and 125 bytes of fields.
inline constexpr std::size_t kId3v1Size = 128;

// Valid unless a byte from 1 to 31 stands before the field's first NUL.
bool IsTextField(std::span<const std::uint8_t> field);

// "TAG" and five valid text fields: title, artist, album, year, and the
// first 29 bytes of the comment. Fields past the end of a shorter string are
// tested on the bytes that are there.
bool IsValidId3v1(std::span<const std::uint8_t> tag);

// The file's last 128 bytes when they form a valid ID3v1 tag, else empty.
// The read position is left as it was.
std::vector<std::uint8_t> ReadTrailingId3v1(platform::Reader& input);

}  // namespace scourby

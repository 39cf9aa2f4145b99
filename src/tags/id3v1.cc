#include "tags/id3v1.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "tags/tag_markers.h"

namespace scourby {
namespace {

struct Field {
  std::size_t offset;
  std::size_t size;
};

// Title, artist, album, year, and the comment without its last byte (the
// track number of ID3v1.1 tags), tested in this order.
constexpr std::array<Field, 5> kTextFields = {{{3, 30}, {33, 30}, {63, 30}, {93, 4}, {97, 29}}};

// The part of [offset, offset + size) that lies inside bytes.
std::span<const std::uint8_t> Clip(std::span<const std::uint8_t> bytes, Field field) {
  const std::size_t from = std::min(field.offset, bytes.size());
  return bytes.subspan(from, std::min(field.size, bytes.size() - from));
}

}  // namespace

bool IsTextField(std::span<const std::uint8_t> field) {
  bool seenNul = false;
  for (const std::uint8_t byte : field) {
    if (byte == 0) {
      seenNul = true;
    } else if (seenNul) {
      return true;  // nothing after the terminator is tested
    } else if (byte < 32) {
      return false;
    }
  }
  return true;
}

bool IsValidId3v1(std::span<const std::uint8_t> tag) {
  if (!TextAt(tag, 0, kId3v1Marker)) return false;
  return std::all_of(kTextFields.begin(), kTextFields.end(),
                     [tag](Field field) { return IsTextField(Clip(tag, field)); });
}

std::vector<std::uint8_t> ReadTrailingId3v1(platform::Reader& input) {
  const std::int64_t length = input.Length();
  if (length < static_cast<std::int64_t>(kId3v1Size)) return {};
  const std::int64_t saved = input.Position();
  std::vector<std::uint8_t> tag(kId3v1Size);
  input.SetPosition(length - static_cast<std::int64_t>(kId3v1Size));
  const std::size_t got = input.Read(tag.data(), tag.size());
  input.SetPosition(saved);
  if (got != kId3v1Size || !IsValidId3v1(tag)) return {};
  return tag;
}

}  // namespace scourby

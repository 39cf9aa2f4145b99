#include "tags/id3v1.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace scourby {
namespace {

constexpr std::size_t kTagSize = 128;

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

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

// The offset of the first occurrence of marker in bytes, or bytes.size().
// memchr finds the candidates, so a frame without the marker's first letter
// costs one pass over memory.
std::size_t Find(std::span<const std::uint8_t> bytes, std::string_view marker) {
  if (bytes.size() < marker.size()) return bytes.size();
  const std::uint8_t* const begin = bytes.data();
  const std::uint8_t* const last = begin + (bytes.size() - marker.size());  // last possible start
  for (const std::uint8_t* p = begin; p <= last;) {
    const void* hit = std::memchr(p, marker[0], static_cast<std::size_t>(last - p) + 1);
    if (hit == nullptr) break;
    p = static_cast<const std::uint8_t*>(hit);
    if (std::memcmp(p, marker.data(), marker.size()) == 0) return static_cast<std::size_t>(p - begin);
    ++p;
  }
  return bytes.size();
}

// The tag that starts at offset k of the frame, cut to 128 bytes or padded
// with NULs to 128 (a cut-off tag reads as empty fields).
bool IsValidTagAt(std::span<const std::uint8_t> frame, std::size_t k) {
  std::array<std::uint8_t, kTagSize> tag{};
  const std::size_t take = std::min(kTagSize, frame.size() - k);
  std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(k), take, tag.begin());
  return IsValidId3v1(tag);
}

// Overwrites the frame from offset k on with the byte before it (0 at k = 0).
void ClearFrom(std::span<std::uint8_t> frame, std::size_t k) {
  const std::uint8_t fill = k == 0 ? 0 : frame[k - 1];
  std::fill(frame.begin() + static_cast<std::ptrdiff_t>(k), frame.end(), fill);
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
  if (!StartsWith(tag, "TAG")) return false;
  return std::all_of(kTextFields.begin(), kTextFields.end(),
                     [tag](Field field) { return IsTextField(Clip(tag, field)); });
}

std::vector<std::uint8_t> ReadTrailingId3v1(platform::Reader& input) {
  const std::int64_t length = input.Length();
  if (length < static_cast<std::int64_t>(kTagSize)) return {};
  const std::int64_t saved = input.Position();
  std::vector<std::uint8_t> tag(kTagSize);
  input.SetPosition(length - static_cast<std::int64_t>(kTagSize));
  const std::size_t got = input.Read(tag.data(), tag.size());
  input.SetPosition(saved);
  if (got != kTagSize || !IsValidId3v1(tag)) return {};
  return tag;
}

bool ReconstructFrame(std::span<std::uint8_t> frame, bool noReconstruct) {
  if (noReconstruct) return false;
  const std::size_t tag = Find(frame, "TAG");
  if (tag < frame.size()) {
    // Only the first "TAG" counts; when it is no valid tag, the frame stays
    // as it is and no Lyrics3 marker is looked for.
    if (!IsValidTagAt(frame, tag)) return false;
    ClearFrom(frame, tag);
    return true;
  }
  const std::size_t lyrics = Find(frame, "LYRICSBEGIN");
  if (lyrics == frame.size()) return false;
  ClearFrom(frame, lyrics);
  return true;
}

}  // namespace scourby

// The tags that stand at the end of a file (or at the end of the junk behind
// a stream), each told by its own structure, read back from where it ends:
// an ID3v1 tag, a Lyrics3 block (version 1 or 2), an APEv2 tag and an ID3v2
// tag with a footer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/reader.h"

namespace scourby {

inline constexpr std::string_view kLyrics3V1End = "LYRICSEND";
inline constexpr std::string_view kLyrics3V2End = "LYRICS200";
// A Lyrics3 v2 block ends with its size, six decimal digits, and
// "LYRICS200".
inline constexpr std::size_t kLyrics3V2FooterSize = 6 + kLyrics3V2End.size();
inline constexpr std::size_t kApeFooterSize = 32;

// Whether the last 128 bytes of a stretch are an ID3v1 tag: they begin with
// "TAG".
bool BeginsId3v1(std::span<const std::uint8_t> last128);

// The length of the Lyrics3 v2 block that ends where footer (its last 15
// bytes) ends: the size N its digits give, plus the 15 bytes; 0 when footer
// is no such end. The block is one only when "LYRICSBEGIN" stands at its
// start.
std::int64_t Lyrics3V2Length(std::span<const std::uint8_t> footer);

// Whether bytes begin as every Lyrics3 block begins: "LYRICSBEGIN".
bool BeginsLyrics3(std::span<const std::uint8_t> bytes);

// Whether bytes end as a Lyrics3 v1 block ends: "LYRICSEND". The block
// begins at the last "LYRICSBEGIN" before that.
bool EndsLyrics3V1(std::span<const std::uint8_t> bytes);

// Where the last "LYRICSBEGIN" in bytes begins, or bytes.size() when there
// is none.
std::size_t LastLyrics3Begin(std::span<const std::uint8_t> bytes);

// The length of the APEv2 tag whose 32-byte footer is footer: the
// little-endian size at its bytes 12-15 (items and footer), plus the 32-byte
// header when bit 31 of the flags at bytes 20-23 says there is one; 0 when
// footer does not begin with "APETAGEX".
std::int64_t ApeTagLength(std::span<const std::uint8_t> footer);

// A tag at the end, in the file as it was read.
struct TrailingTag {
  enum class Kind { kId3v1, kLyrics3, kApe, kId3v2 };
  Kind kind = Kind::kId3v1;
  std::int64_t at = 0;
  std::int64_t size = 0;
  bool operator==(const TrailingTag&) const = default;
};

// The tags that end the stretch [from, end) of the input, in file order:
// read back from its end again and again while one of these ends there,
// each kind at most once (taggers write them in either order):
//  - an ID3v1 tag: the last 128 bytes, when they begin with "TAG";
//  - a Lyrics3 block: one that ends with six digits N and "LYRICS200" and
//    begins with "LYRICSBEGIN" N + 15 bytes before its end, or one that ends
//    with "LYRICSEND" and begins at the last "LYRICSBEGIN" before it;
//  - an APEv2 tag (ApeTagLength), only when its items, read from its first
//    byte (behind its header where it has one, which must begin with
//    "APETAGEX"), are as many as its footer says and end exactly where the
//    footer begins; each item: a 4-byte little-endian value size, 4 bytes
//    of flags, a key of 2 to 255 bytes from 0x20 to 0x7E ended by a 0 byte,
//    then the value;
//  - an ID3v2 tag with a footer: "3DI" and a syncsafe size S in the last 10
//    bytes, and S + 20 bytes before its end the header of a tag of that
//    length with a footer.
// A tag whose size lies is none, so a lie never makes a tag of audio, and
// nothing outside [from, end) is read. The read position is left anywhere.
std::vector<TrailingTag> ReadTrailingTags(platform::Reader& input, std::int64_t from, std::int64_t end);

}  // namespace scourby

// The tags that stand at the end of a file (or at the end of the junk behind
// a stream), each told by its own structure, read back from where it ends:
// an ID3v1 tag, a Lyrics3 block (version 1 or 2) and an APEv2 tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

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

}  // namespace scourby

#include "clean/removed_pieces.h"

#include <algorithm>
#include <array>
#include <vector>

#include "tags/tag_markers.h"
#include "tags/trailing_tags.h"

namespace scourby {
namespace {

using Kind = Piece::Kind;

constexpr std::int64_t kId3v1Length = 128;
// The search for a Lyrics3 v1 block's start reads back this much at a time.
constexpr std::int64_t kBackStep = 64 * 1024;

// size bytes at offset, read through input (fewer at the end of the file).
template <std::size_t N>
std::span<const std::uint8_t> ReadAt(platform::Reader& input, std::int64_t offset, std::array<std::uint8_t, N>& out,
                                     std::size_t size = N) {
  input.SetPosition(offset);
  return {out.data(), input.Read(out.data(), size)};
}

}  // namespace

void RemovedPieces::Add(std::int64_t at, std::int64_t size, Kind kind) {
  if (size > 0) removed_.Add({at, size, kind});
}

void RemovedPieces::JunkTo(std::int64_t to) {
  if (to <= cursor_) return;
  Add(cursor_, to - cursor_, Kind::kJunk);
  cursor_ = to;
}

void RemovedPieces::RiffHeader(std::int64_t dataStart) {
  Add(0, dataStart, Kind::kRiffWave);
  cursor_ = dataStart;
}

void RemovedPieces::Id3v2Tag(std::int64_t at, std::int64_t length) { tags_.Add({at, length, Kind::kId3v2}); }

void RemovedPieces::TakeTags(std::int64_t to) {
  tags_.ForEach([&](const Piece& tag) {
    // One that ends beyond `to`, or overlaps one before, is junk.
    if (tag.at < cursor_ || tag.at + tag.size > to) return;
    JunkTo(tag.at);
    Add(tag.at, tag.size, Kind::kId3v2);
    cursor_ = tag.at + tag.size;
  });
  tags_.Clear();
}

void RemovedPieces::KeptFrame(std::int64_t at, std::int64_t length) {
  TakeTags(at);
  JunkTo(at);
  cursor_ = std::max(cursor_, at + length);
}

void RemovedPieces::HeaderFrame(std::int64_t at, std::int64_t length) {
  TakeTags(at);
  JunkTo(at);
  Add(at, length, Kind::kJoinedHeader);
  cursor_ = at + length;
}

void RemovedPieces::CutOffFrame(std::int64_t at) {
  TakeTags(at);
  JunkTo(at);
}

void RemovedPieces::Cleared(std::int64_t at, std::int64_t size) {
  if (size > 0) cleared_.Add({at, size, Kind::kCleared});
}

std::int64_t RemovedPieces::Lyrics3Start(platform::Reader& input, std::int64_t from, std::int64_t end) {
  // Version 2: its size in front of "LYRICS200", "LYRICSBEGIN" at its start.
  std::array<std::uint8_t, kLyrics3V2FooterSize> footer;
  if (end - from >= static_cast<std::int64_t>(footer.size())) {
    const std::int64_t length = Lyrics3V2Length(ReadAt(input, end - static_cast<std::int64_t>(footer.size()), footer));
    std::array<std::uint8_t, kLyrics3Marker.size()> begin;
    if (length > 0 && length <= end - from && BeginsLyrics3(ReadAt(input, end - length, begin))) return end - length;
  }
  // Version 1: "LYRICSEND", and its start at the last "LYRICSBEGIN" before.
  std::array<std::uint8_t, kLyrics3V1End.size()> tail;
  const auto endLength = static_cast<std::int64_t>(kLyrics3V1End.size());
  if (end - from < endLength + static_cast<std::int64_t>(kLyrics3Marker.size()) ||
      !EndsLyrics3V1(ReadAt(input, end - endLength, tail))) {
    return end;
  }
  std::vector<std::uint8_t> chunk;
  // Read back a step at a time; steps overlap so that no marker is cut.
  for (std::int64_t stop = end - endLength; stop > from;) {
    const std::int64_t start = std::max(from, stop - kBackStep);
    chunk.resize(static_cast<std::size_t>(stop - start));
    input.SetPosition(start);
    chunk.resize(input.Read(chunk.data(), chunk.size()));
    const std::size_t at = LastLyrics3Begin(chunk);
    if (at < chunk.size()) return start + static_cast<std::int64_t>(at);
    if (start == from) break;
    stop = start + static_cast<std::int64_t>(kLyrics3Marker.size()) - 1;
  }
  return end;
}

void RemovedPieces::Tail(platform::Reader& input, std::int64_t end, bool cutOff, bool listId3v1) {
  const std::int64_t from = cursor_;
  std::int64_t rest = end;
  std::int64_t id3v1 = end;
  std::array<std::uint8_t, 3> marker;
  if (rest - from >= kId3v1Length && BeginsId3v1(ReadAt(input, rest - kId3v1Length, marker))) {
    id3v1 = rest - kId3v1Length;
    rest = id3v1;
  }
  const std::int64_t lyrics3 = Lyrics3Start(input, from, rest);
  rest = lyrics3;
  std::int64_t ape = rest;
  std::array<std::uint8_t, kApeFooterSize> footer;
  if (rest - from >= static_cast<std::int64_t>(footer.size())) {
    const std::int64_t length = ApeTagLength(ReadAt(input, rest - static_cast<std::int64_t>(footer.size()), footer));
    if (length > 0 && length <= rest - from) ape = rest - length;
  }
  // In front of them: the cut-off frame, or tags and junk.
  if (cutOff) {
    tags_.Clear();
    Add(from, ape - from, Kind::kCutOffFrame);
  } else {
    TakeTags(ape);
    JunkTo(ape);
  }
  Add(ape, lyrics3 - ape, Kind::kApe);
  Add(lyrics3, id3v1 - lyrics3, Kind::kLyrics3);
  if (listId3v1) Add(id3v1, end - id3v1, Kind::kId3v1);
  cursor_ = end;
}

}  // namespace scourby

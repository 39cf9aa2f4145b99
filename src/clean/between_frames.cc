#include "clean/between_frames.h"

namespace scourby {
namespace {

ByteKind KindOf(TrailingTag::Kind kind) {
  switch (kind) {
    case TrailingTag::Kind::kId3v1: return ByteKind::kId3v1;
    case TrailingTag::Kind::kLyrics3: return ByteKind::kLyrics3;
    case TrailingTag::Kind::kApe: return ByteKind::kApe;
    case TrailingTag::Kind::kId3v2: return ByteKind::kId3v2;
  }
  return ByteKind::kJunk;
}

}  // namespace

void BetweenFrames::JunkTo(std::int64_t to, ByteSink& sink) {
  if (to <= cursor_) return;
  sink.Take(cursor_, to - cursor_, ByteKind::kJunk);
  cursor_ = to;
}

void BetweenFrames::UpTo(std::int64_t to, ByteSink& sink) {
  if (riffEnd_ > cursor_) {
    sink.Take(0, riffEnd_, ByteKind::kRiffWave);
    cursor_ = riffEnd_;
  }
  if (tags_.Empty()) return JunkTo(to, sink);
  tags_.ForEach([&](const Piece& tag) {
    // One that ends beyond `to`, or overlaps one before, is junk.
    if (tag.at < cursor_ || tag.at + tag.size > to) return;
    JunkTo(tag.at, sink);
    sink.Take(tag.at, tag.size, ByteKind::kId3v2);
    cursor_ = tag.at + tag.size;
  });
  tags_.Clear();
  JunkTo(to, sink);
}

void BetweenFrames::Take(std::int64_t at, std::int64_t size, ByteKind kind, ByteSink& sink) {
  if (at > cursor_ || !tags_.Empty()) UpTo(at, sink);
  sink.Take(at, size, kind);
  cursor_ = at + size;
}

void BetweenFrames::Tail(std::int64_t end, const std::vector<TrailingTag>& tags, bool cutOff, ByteSink& sink) {
  const std::int64_t tagsAt = tags.empty() ? end : tags.front().at;
  if (cutOff) {
    tags_.Clear();
    sink.Take(cursor_, tagsAt - cursor_, ByteKind::kCutOffFrame);
    cursor_ = tagsAt;
  } else {
    UpTo(tagsAt, sink);
  }
  for (const TrailingTag& tag : tags) sink.Take(tag.at, tag.size, KindOf(tag.kind));
  cursor_ = end;
}

}  // namespace scourby

#include "clean/byte_sink.h"

#include <algorithm>
#include <array>

#include "clean/copy_sizes.h"
#include "tags/frame_reconstructor.h"

namespace scourby {
namespace {

constexpr std::size_t kMaxFrameLength = 4096;  // above any valid frame
constexpr std::size_t kHeaderSize = 4;

}  // namespace

ByteSink::ByteSink(platform::Reader& input, OutputFile* clean, bool write, OutputFile* trash, Listing* listing,
                   SinkChoice choice)
    : input_(input),
      trash_(trash),
      listing_(listing),
      choice_(choice),
      kept_(input, clean, write),
      vbrHeader_(/*wholeCrc=*/!write) {
  // What is kept is held as views into the read buffer until it refills.
  input_.SetRefillHook([this] {
    kept_.Flush();
    vbrHeader_.Flush();
  });
  // Direct mode overwrites the file's own bytes, in the read buffer too:
  // every removed byte reaches the trash first, and the kept bytes held as
  // views are taken in.
  if (clean == nullptr && write) {
    kept_.writer().SetBeforeWrite([this] {
      vbrHeader_.Flush();
      if (trash_ != nullptr) trash_->PushOut();
    });
  }
}

bool ByteSink::Keeps(ByteKind kind, std::int64_t at) const {
  if (kind == ByteKind::kFrame) return true;
  if (!IsTag(kind)) return false;
  return streamAt_ < 0 ? choice_.leadingTags : choice_.endTags >= 0 && at >= choice_.endTags;
}

void ByteSink::Take(std::int64_t at, std::int64_t size, ByteKind kind) {
  if (size <= 0) return;
  if (kind == ByteKind::kFrame) {
    TakeFrame(at, size);
  } else if (Keeps(kind, at)) {
    Keep(at, size);
  } else {
    if (kind == ByteKind::kJoinedHeader) {
      vbrHeader_.JoinedHeader(input_.Peek(at, static_cast<std::size_t>(size)).first(static_cast<std::size_t>(size)));
    }
    Remove(at, size, kind);
  }
}

// The frame as it lies in the read buffer, or copied and cleared from a tag
// start that the reconstructor finds in it (never its header, which the
// search has just read as one).
void ByteSink::TakeFrame(std::int64_t at, std::int64_t size) {
  input_.SetPosition(at);
  const auto length = static_cast<std::size_t>(size);
  std::span<const std::uint8_t> bytes = input_.View(length);
  const std::size_t clearFrom = choice_.reconstruct ? lookahead_.ReconstructStart(input_, bytes) : length;
  const bool changed = clearFrom < length;
  std::array<std::uint8_t, kMaxFrameLength> frame;
  if (changed) {
    const std::size_t from = std::max(clearFrom, kHeaderSize);
    Cleared(at + static_cast<std::int64_t>(from), bytes.subspan(from));
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    OverwriteFrom(std::span(frame.data(), length), clearFrom, kHeaderSize);
    bytes = std::span<const std::uint8_t>(frame.data(), length);
  }
  if (streamAt_ < 0) {
    streamAt_ = kept_.kept();
    if (choice_.roomAhead > 0) kept_.Reserve(choice_.roomAhead);
  }
  vbrHeader_.Kept(bytes, changed);
  kept_.Keep(bytes, at, changed);
}

void ByteSink::Keep(std::int64_t at, std::int64_t size) {
  input_.SetPosition(at);
  for (std::int64_t left = size; left > 0;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk));
    const std::span<const std::uint8_t> got = input_.View(want);
    kept_.Keep(got, at + (size - left), false);
    if (got.size() < want) break;
    left -= static_cast<std::int64_t>(want);
  }
}

void ByteSink::Remove(std::int64_t at, std::int64_t size, ByteKind kind) {
  if (listing_ != nullptr && (kind != ByteKind::kId3v1 || choice_.listId3v1)) listing_->removed.Add({at, size, kind});
  if (trash_ != nullptr && trash_->IsOpen()) CopyRange(input_, at, at + size, *trash_);
}

void ByteSink::Cleared(std::int64_t at, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (listing_ != nullptr) listing_->cleared.Add({at, static_cast<std::int64_t>(bytes.size()), ByteKind::kCleared});
  if (trash_ != nullptr && trash_->IsOpen()) trash_->Write(bytes.data(), bytes.size());
}

}  // namespace scourby

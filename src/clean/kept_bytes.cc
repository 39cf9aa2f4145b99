#include "clean/kept_bytes.h"

#include "clean/copy_sizes.h"
#include "clean/header_room.h"

namespace scourby {

KeptBytes::KeptBytes(platform::Reader& input, OutputFile* clean, bool write)
    : input_(input), clean_(clean), write_(write) {}

void KeptBytes::Keep(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed) {
  // Room left in front of the stream moves every byte behind it; whether
  // the bytes would stand in place without it is still told.
  const bool inPlace = inPlace_ && !changed && source == kept_;
  const bool stays = inPlace && reserved_ == 0;
  kept_ += static_cast<std::int64_t>(bytes.size());
  if (!write_) {
    inPlace_ = inPlace;
    return;
  }
  if (stays && clean_ != nullptr) {
    heldBack_ = kept_;
    return;
  }
  if (!stays && inPlace_ && reserved_ == 0) WriteHeldBack();
  inPlace_ = inPlace;
  if (!changed && run_.size != 0 && source == run_.source + static_cast<std::int64_t>(run_.size) &&
      bytes.data() == run_.data + run_.size) {
    run_.size += bytes.size();
    // Written out while the bytes are still in the cache.
    if (run_.size >= kCopyChunk) Flush();
    return;
  }
  Flush();
  // Bytes that land beyond where they were read (room left in front of
  // the stream) would be written over the read buffer's copy of bytes held
  // back as views: they go at once, the writer keeping a copy.
  if (changed || (clean_ == nullptr && writer_.end() > source)) {
    Emit(bytes, source, changed);
  } else {
    run_ = {source, bytes.data(), bytes.size()};
  }
}

void KeptBytes::WriteHeldBack() {
  if (clean_ == nullptr || heldBack_ == 0) return;
  clean_->CopyFrom(input_.file(), 0, heldBack_);
  heldBack_ = 0;
}

void KeptBytes::WriteHeldBack(std::int64_t at, std::int64_t room) {
  if (clean_ == nullptr || heldBack_ == 0) return;
  const std::span<const std::uint8_t> zeros = HeaderRoom(room);
  clean_->CopyFrom(input_.file(), 0, at);
  clean_->Write(zeros.data(), zeros.size());
  clean_->CopyFrom(input_.file(), at, heldBack_ - at);
  heldBack_ = 0;
}

void KeptBytes::Reserve(std::int64_t size) {
  Flush();
  reserved_ = size;
  if (!write_) return;
  if (clean_ == nullptr) {
    writer_.Flush(input_);
    writer_.Reserve(size);
    return;
  }
  WriteHeldBack();
  const std::span<const std::uint8_t> zeros = HeaderRoom(size);
  clean_->Write(zeros.data(), zeros.size());
}

void KeptBytes::Flush() {
  if (run_.size == 0) return;
  const Run held = run_;
  run_.size = 0;
  Emit({held.data, held.size}, held.source, false);
}

void KeptBytes::Emit(std::span<const std::uint8_t> bytes, std::int64_t source, bool changed) {
  if (clean_ != nullptr) {
    clean_->Write(bytes.data(), bytes.size());
  } else {
    writer_.Write(input_, bytes, source, changed);
  }
}

}  // namespace scourby

#include "clean/piece_log.h"

#include <algorithm>

namespace scourby {

void PieceLog::Add(const Piece& piece) {
  if (pieces_.size() == kInMemory) {
    // The oldest go to the scratch file; without one, memory holds them all.
    if (!scratch_.IsOpen() && spilled_ == 0) scratch_ = platform::File::CreateScratch();
    const auto bytes = pieces_.size() * sizeof(Piece);
    if (scratch_.IsOpen() &&
        scratch_.WriteAt(spilled_ * static_cast<std::int64_t>(sizeof(Piece)), pieces_.data(), bytes)) {
      spilled_ += static_cast<std::int64_t>(pieces_.size());
      pieces_.clear();
    }
  }
  pieces_.push_back(piece);
}

void PieceLog::Clear() {
  pieces_.clear();
  spilled_ = 0;
}

platform::Error PieceLog::ForEach(const std::function<void(const Piece&)>& visit) {
  std::vector<Piece> batch(std::min<std::size_t>(kInMemory, static_cast<std::size_t>(spilled_)));
  for (std::int64_t done = 0; done < spilled_;) {
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(spilled_ - done, std::ssize(batch)));
    const auto bytes = static_cast<std::int64_t>(count * sizeof(Piece));
    if (scratch_.ReadAt(done * static_cast<std::int64_t>(sizeof(Piece)), batch.data(), count * sizeof(Piece)) !=
        bytes) {
      return scratch_.error().failed() ? scratch_.error() : platform::Error{platform::Error::Kind::kIo, 0};
    }
    for (std::size_t i = 0; i < count; ++i) visit(batch[i]);
    done += static_cast<std::int64_t>(count);
  }
  for (const Piece& piece : pieces_) visit(piece);
  return {};
}

}  // namespace scourby

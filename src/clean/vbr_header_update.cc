#include "clean/vbr_header_update.h"

#include <algorithm>
#include <limits>

#include "clean/copy_sizes.h"
#include "platform/crc16.h"

namespace scourby {
namespace {

// At most this many sampled offsets (512 KB): a walk from a sample to a
// frame the table names then crosses a few hundred frames even in a file of
// several gigabytes.
constexpr std::size_t kMaxSamples = 1 << 16;
constexpr std::size_t kHeaderSize = 4;

}  // namespace

void VbrHeaderUpdate::KeptInStream(std::span<const std::uint8_t> frame, bool changed) {
  musicChanged_ = musicChanged_ || changed;
  if (frames_ == 0) {
    firstLength_ = std::min(frame.size(), first_.size());
    std::copy_n(frame.begin(), firstLength_, first_.begin());
    FrameHeader header;
    if (firstLength_ >= kHeaderSize && IsFrameHeader(first_.data(), header)) {
      fields_ = FindXingFields(std::span(first_.data(), firstLength_), header);
    }
  } else if (fields_ && fields_->lameTag != XingFields::kAbsent) {
    // Once the stream has outgrown the counts, the header is rewritten:
    // the music CRC runs from here on, over bytes still in the cache.
    if (!crcRunning_ && Outgrown(frames_, bytes_ + static_cast<std::int64_t>(frame.size()))) {
      crcRunning_ = true;
      crcFrom_ = bytes_;
    }
    if (crcRunning_) {
      if (runSize_ != 0 && frame.data() == run_ + runSize_ && !changed) {
        runSize_ += frame.size();
      } else {
        Flush();
        if (changed) {
          crc_ = platform::Crc16Arc(frame, crc_);
        } else {
          run_ = frame.data();
          runSize_ = frame.size();
        }
      }
    }
  }
  // Only a stream with a header needs to know where its frames begin.
  if (fields_ && (frames_ & (stride_ - 1)) == 0) {
    if (samples_.size() == kMaxSamples) {
      // Every other sample goes, and the stride doubles.
      for (std::size_t j = 0; j < kMaxSamples / 2; ++j) samples_[j] = samples_[2 * j];
      samples_.resize(kMaxSamples / 2);
      stride_ *= 2;
    }
    if ((frames_ & (stride_ - 1)) == 0) samples_.push_back(bytes_);
  }
  ++frames_;
  bytes_ += static_cast<std::int64_t>(frame.size());
}

void VbrHeaderUpdate::Flush() {
  if (runSize_ == 0) return;
  crc_ = platform::Crc16Arc(std::span(run_, runSize_), crc_);
  runSize_ = 0;
}

XingRewrite VbrHeaderUpdate::Plan() const {
  // A stream too long for the header's 32-bit byte count cannot be told.
  if (!fields_ || bytes_ > std::numeric_limits<std::uint32_t>::max()) return {};
  return PlanXingRewrite(std::span(first_.data(), firstLength_), *fields_, static_cast<std::uint32_t>(frames_ - 1),
                         static_cast<std::uint32_t>(bytes_), musicChanged_);
}

bool VbrHeaderUpdate::Rewrites() const { return Plan().any(); }

bool VbrHeaderUpdate::Outgrown(std::uint64_t frameCount, std::int64_t byteCount) const {
  const auto count = [&](std::size_t field) { return BigEndian32(first_.data() + field); };
  return (fields_->frameCount != XingFields::kAbsent && frameCount > count(fields_->frameCount)) ||
         (fields_->byteCount != XingFields::kAbsent && byteCount > count(fields_->byteCount));
}

std::int64_t VbrHeaderUpdate::FrameOffset(platform::Reader& cleaned, std::uint64_t k) {
  const std::uint64_t sampled = k / stride_ * stride_;
  if (walkFrame_ > k || walkFrame_ < sampled) {
    walkFrame_ = sampled;
    walkOffset_ = samples_[k / stride_];
  }
  for (; walkFrame_ < k; ++walkFrame_) {
    const std::span<const std::uint8_t> bytes = cleaned.Peek(streamAt_ + walkOffset_, kHeaderSize);
    FrameHeader header;
    if (bytes.size() < kHeaderSize || !IsFrameHeader(bytes.data(), header)) return -1;
    walkOffset_ += header.frameLength;
  }
  return walkOffset_;
}

std::optional<std::uint16_t> VbrHeaderUpdate::MusicCrc(platform::Reader& cleaned) {
  // The frames kept before the CRC ran are read back.
  const std::int64_t readTo = crcRunning_ ? crcFrom_ : bytes_;
  std::uint16_t crc = 0;
  cleaned.SetPosition(streamAt_ + static_cast<std::int64_t>(firstLength_));
  for (std::int64_t left = readTo - static_cast<std::int64_t>(firstLength_); left > 0;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk));
    const std::span<const std::uint8_t> got = cleaned.View(want);
    if (got.size() < want) return std::nullopt;
    crc = platform::Crc16Arc(got, crc);
    left -= static_cast<std::int64_t>(want);
  }
  if (!crcRunning_) return crc;
  return platform::Crc16ArcCombine(crc, crc_, static_cast<std::uint64_t>(bytes_ - crcFrom_));
}

std::optional<std::span<const std::uint8_t>> VbrHeaderUpdate::MakeTrue(platform::Reader& cleaned,
                                                                       std::int64_t streamAt) {
  Flush();
  streamAt_ = streamAt;
  const XingRewrite plan = Plan();
  if (!plan.any()) return std::nullopt;
  StreamTruth truth;
  truth.frameCount = static_cast<std::uint32_t>(frames_ - 1);
  truth.byteCount = static_cast<std::uint32_t>(bytes_);
  if (plan.toc) {
    walkFrame_ = 0;
    walkOffset_ = 0;
    for (std::size_t i = 0; i < kTocEntries; ++i) {
      const std::int64_t offset = FrameOffset(cleaned, TocFrame(i, truth.frameCount));
      if (offset < 0) {
        failed_ = cleaned.Failed();
        return std::nullopt;
      }
      truth.tocOffsets[i] = static_cast<std::uint32_t>(offset);
    }
  }
  if (plan.lame) {
    const std::optional<std::uint16_t> crc = MusicCrc(cleaned);
    if (!crc) {
      failed_ = true;
      return std::nullopt;
    }
    truth.musicCrc = *crc;
  }
  const std::span<std::uint8_t> frame(first_.data(), firstLength_);
  if (!MakeXingTrue(frame, *fields_, truth, musicChanged_)) return std::nullopt;
  return frame;
}

}  // namespace scourby

#include "clean/vbr_header_update.h"

#include <algorithm>
#include <limits>

#include "clean/copy_sizes.h"
#include "platform/crc16.h"

namespace scourby {
namespace {

constexpr std::size_t kHeaderSize = 4;

// What a frame of a stream without a header must share with the first one
// for a header to be added: Layer III (first's), version, sample rate, and
// one channel or two.
bool SameLayerIIIStream(const std::uint8_t* a, const std::uint8_t* b) {
  const auto mono = [](const std::uint8_t* h) { return (h[3] & 0xC0) == 0xC0; };
  return (a[1] & 0x1E) == (b[1] & 0x1E) && (a[2] & 0x0C) == (b[2] & 0x0C) && mono(a) == mono(b);
}

std::uint8_t BitrateBits(const std::uint8_t* h) { return h[2] & 0xF0; }

// Whether the frame holds no VBR header and is Layer III.
bool HeaderlessLayerIII(std::span<const std::uint8_t> frame, FrameHeader& header) {
  return frame.size() >= kHeaderSize && IsFrameHeader(frame.data(), header) && header.layer == 3 &&
         !IsVbrHeaderFrame(frame, header);
}

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
    candidate_ = !fields_ && HeaderlessLayerIII(std::span(first_.data(), firstLength_), header);
    // A dry run has no cleaned data to read back: the music CRC runs over
    // every frame after the header frame.
    if (fields_ && wholeCrc_) {
      crcRunning_ = true;
      crcFrom_ = static_cast<std::int64_t>(frame.size());
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
  // Only a stream with a header, or one that may get one, needs to know
  // where its frames begin.
  if ((fields_ || candidate_) && (frames_ & (stride_ - 1)) == 0) {
    if (samples_.size() == kMaxSamples) {
      // Every other sample goes, and the stride doubles.
      for (std::size_t j = 0; j < kMaxSamples / 2; ++j) samples_[j] = samples_[2 * j];
      samples_.resize(kMaxSamples / 2);
      stride_ *= 2;
    }
    if ((frames_ & (stride_ - 1)) == 0) samples_.push_back(bytes_);
  }
  Count(frame);
}

void VbrHeaderUpdate::KeptWithoutHeader(std::span<const std::uint8_t> frame) {
  if (frame.size() < kHeaderSize || !SameLayerIIIStream(frame.data(), first_.data())) {
    candidate_ = false;
    return;
  }
  varies_ = varies_ || BitrateBits(frame.data()) != BitrateBits(first_.data());
}

void VbrHeaderUpdate::JoinedHeader(std::span<const std::uint8_t> frame) {
  FrameHeader header;
  if (frame.size() < kHeaderSize || !IsFrameHeader(frame.data(), header)) return;
  // One without a LAME tag leaves the stream without padding.
  joinedPadding_ = std::max(LameEncoderPadding(frame, header), 0);
}

bool VbrHeaderUpdate::AddsFromStart(std::span<const std::uint8_t> ahead) {
  FrameHeader first;
  if (!HeaderlessLayerIII(ahead, first)) return false;
  for (std::size_t at = 0; at + kHeaderSize <= ahead.size();) {
    FrameHeader next;
    if (!IsFrameHeader(ahead.data() + at, next) || !SameLayerIIIStream(ahead.data() + at, ahead.data())) break;
    if (BitrateBits(ahead.data() + at) != BitrateBits(ahead.data())) return true;
    at += static_cast<std::size_t>(next.frameLength);
  }
  return false;
}

std::int64_t VbrHeaderUpdate::AddedLength(std::span<const std::uint8_t> first) {
  FrameHeader header;
  if (first.size() < kHeaderSize || !IsFrameHeader(first.data(), header)) return 0;
  return AddedXingHeader(header).frameLength;
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
                         static_cast<std::uint32_t>(bytes_), musicChanged_, joinedPadding_);
}

bool VbrHeaderUpdate::Rewrites() const { return Plan().any(); }

std::int64_t VbrHeaderUpdate::Adds() const {
  if (!candidate_ || !varies_) return 0;
  const std::int64_t length = AddedLength(std::span(first_.data(), firstLength_));
  return bytes_ + length > std::numeric_limits<std::uint32_t>::max() ? 0 : length;
}

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

bool VbrHeaderUpdate::TocOffsets(platform::Reader& cleaned, std::int64_t added, StreamTruth& truth) {
  walkFrame_ = 0;
  walkOffset_ = 0;
  for (std::size_t i = 0; i < kTocEntries; ++i) {
    // Frame 0 is the header frame: an added one, or the first kept frame.
    const std::uint32_t frame = TocFrame(i, truth.frameCount);
    if (added != 0 && frame == 0) continue;  // entry 0: the added frame itself
    const std::int64_t offset = FrameOffset(cleaned, frame - (added != 0));
    if (offset < 0) {
      failed_ = cleaned.Failed();
      return false;
    }
    truth.tocOffsets[i] = static_cast<std::uint32_t>(offset + added);
  }
  return true;
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

StreamTruth VbrHeaderUpdate::Truth() const {
  StreamTruth truth;
  truth.frameCount = static_cast<std::uint32_t>(frames_ - 1);
  truth.byteCount = static_cast<std::uint32_t>(bytes_);
  truth.encoderPadding = joinedPadding_;
  return truth;
}

bool VbrHeaderUpdate::WouldChange() {
  Flush();
  const XingRewrite plan = Plan();
  // Wrong counts are bytes that change.
  if (plan.counts || !plan.lame) return plan.counts;
  StreamTruth truth = Truth();
  truth.musicCrc = crc_;
  std::array<std::uint8_t, 4096> frame = first_;
  return MakeXingTrue(std::span(frame.data(), firstLength_), *fields_, truth, musicChanged_);
}

std::optional<VbrHeaderUpdate::HeaderFrame> VbrHeaderUpdate::MakeTrue(platform::Reader& cleaned,
                                                                      std::int64_t headerAt) {
  Flush();
  if (const std::int64_t added = Adds(); added != 0) {
    // The kept frames lie behind the added frame.
    streamAt_ = headerAt + added;
    StreamTruth truth;
    truth.frameCount = static_cast<std::uint32_t>(frames_);
    truth.byteCount = static_cast<std::uint32_t>(bytes_ + added);
    if (!TocOffsets(cleaned, added, truth)) return std::nullopt;
    FrameHeader first;
    IsFrameHeader(first_.data(), first);
    const FrameHeader header = AddedXingHeader(first);
    const std::span<std::uint8_t> frame(added_.data(), static_cast<std::size_t>(added));
    BuildXingFrame(frame, header, truth);
    return HeaderFrame{frame, headerAt};
  }
  streamAt_ = headerAt;
  const XingRewrite plan = Plan();
  if (!plan.any()) return std::nullopt;
  StreamTruth truth = Truth();
  if (plan.toc && !TocOffsets(cleaned, 0, truth)) return std::nullopt;
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
  return HeaderFrame{frame, headerAt};
}

}  // namespace scourby

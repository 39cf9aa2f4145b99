// The VBR header of the cleaned stream. Cleaning that drops frames, or keeps
// frames beyond the count, leaves the header of the first frame wrong, and
// players show the wrong length and seek to the wrong place; a variable-
// bitrate stream without a header is shown at a wrong length before and
// after. While the pass keeps frames this gathers what the header must say:
// the first kept frame's bytes, the number of kept frames and their bytes,
// and where some of them begin (sampled at a stride that doubles as the
// stream grows, so memory stays bounded), and for a LAME tag the music CRC
// of the frames kept once the stream has outgrown the header's counts (files
// joined end to end), when the rewrite is certain. At the end it reads back
// from the cleaned data only what the header needs: the headers of the
// frames between a sample and each frame the table of contents names, and
// the bytes of the frames kept before the CRC ran.
//
// A stream whose first kept frame holds no header (no Xing, Info or VBRI),
// whose frames are all Layer III of one version, sample rate and number of
// channels, and whose bitrates vary, gets a new Xing header frame in front
// of its first frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "mpeg/frame_header.h"
#include "mpeg/xing.h"
#include "platform/reader.h"

namespace scourby {

class VbrHeaderUpdate {
 public:
  // wholeCrc: the music CRC runs over every kept frame as it is kept, so
  // that a dry run, which has no cleaned data to read back, knows the
  // header too.
  explicit VbrHeaderUpdate(bool wholeCrc = false) : wholeCrc_(wholeCrc) {}

  // A frame kept whole, as it is written, in stream order; the first one is
  // the header frame. changed: the reconstructor changed it, and its bytes
  // lie in a copy that does not outlive the call; otherwise they lie in the
  // read buffer, unchanged until Flush.
  void Kept(std::span<const std::uint8_t> frame, bool changed) {
    if (frames_ != 0) {
      if (!fields_) {
        // A stream without a header is followed only while one could be
        // added to it.
        if (!candidate_) return;
        KeptWithoutHeader(frame);
        if ((frames_ & (stride_ - 1)) != 0 || !candidate_) return Count(frame);
        // Its offset is sampled here while there is room, without a call.
        if (samples_.size() < kMaxSamples) {
          musicChanged_ = musicChanged_ || changed;
          samples_.push_back(bytes_);
          return Count(frame);
        }
      } else if (crcRunning_ && !changed && runSize_ != 0 && frame.data() == run_ + runSize_ &&
                 (frames_ & (stride_ - 1)) != 0) {
        // Most frames only lengthen the run of bytes that the CRC takes in.
        runSize_ += frame.size();
        return Count(frame);
      }
    }
    KeptInStream(frame, changed);
  }

  // The header frame of a part joined behind the first, removed: the
  // stream now ends with that part, and its encoder padding with it.
  void JoinedHeader(std::span<const std::uint8_t> frame);

  // Whether the stream that begins in `ahead` (its first frame, and what
  // follows) gets a new header, as far as its first frames tell: they lie
  // back to back, Layer III of one stream without a header, and their
  // bitrates already differ.
  static bool AddsFromStart(std::span<const std::uint8_t> ahead);
  // The length of the new header frame for a stream whose first frame is
  // first.
  static std::int64_t AddedLength(std::span<const std::uint8_t> first);

  // Takes in the kept bytes held as views; called before the read buffer
  // is refilled or written to.
  void Flush();

  // Whether the header frame gets rewritten once every frame is kept.
  bool Rewrites() const;
  // The length of the header frame added in front of the kept frames once
  // every frame is kept; 0 when none is.
  std::int64_t Adds() const;
  // A dry run: whether the rewrite would change a byte of the header.
  bool WouldChange();
  // No header frame is added (the file cannot grow for it).
  void DoNotAdd() { candidate_ = false; }

  // The header frame: rewritten to be true, or added, where it lies in the
  // cleaned data.
  struct HeaderFrame {
    std::span<const std::uint8_t> bytes;
    std::int64_t at = 0;
  };
  // The header frame, reading the cleaned data (the kept frames packed from
  // offset headerAt on, behind the added header frame where there is one)
  // through `cleaned`; none when no byte changes. Failed() tells a read
  // that failed.
  std::optional<HeaderFrame> MakeTrue(platform::Reader& cleaned, std::int64_t headerAt);
  bool Failed() const { return failed_; }

 private:
  void KeptInStream(std::span<const std::uint8_t> frame, bool changed);
  void KeptWithoutHeader(std::span<const std::uint8_t> frame);
  void Count(std::span<const std::uint8_t> frame) {
    ++frames_;
    bytes_ += static_cast<std::int64_t>(frame.size());
  }
  XingRewrite Plan() const;
  StreamTruth Truth() const;
  // Whether frameCount frames after the header frame, of byteCount bytes
  // with it, are more than the header counts.
  bool Outgrown(std::uint64_t frameCount, std::int64_t byteCount) const;
  // Where kept frame k begins in the cleaned data, from the nearest sample
  // on; -1 when the headers there do not read as frames.
  std::int64_t FrameOffset(platform::Reader& cleaned, std::uint64_t k);
  // The table of contents' offsets, from the header frame's first byte:
  // of the kept frames behind an added frame of `added` bytes.
  bool TocOffsets(platform::Reader& cleaned, std::int64_t added, StreamTruth& truth);
  std::optional<std::uint16_t> MusicCrc(platform::Reader& cleaned);

  const bool wholeCrc_;
  std::array<std::uint8_t, 4096> first_{};  // the first kept frame, as written
  std::size_t firstLength_ = 0;
  std::optional<XingFields> fields_;  // of its Xing or Info header
  bool candidate_ = false;            // no header, and one could be added
  bool varies_ = false;               // the bitrates differ
  std::uint64_t frames_ = 0;          // kept frames, the header frame included
  std::int64_t bytes_ = 0;            // their bytes
  bool musicChanged_ = false;
  std::int32_t joinedPadding_ = -1;  // the last joined part's encoder padding
  bool failed_ = false;
  // The music CRC of the frames kept from crcFrom_ (an offset in the
  // cleaned data) on, once it runs.
  bool crcRunning_ = false;
  std::int64_t crcFrom_ = 0;
  std::uint16_t crc_ = 0;
  // Kept frames that lie one after another in the read buffer, not yet in
  // crc_: one CRC call per run rather than per frame.
  const std::uint8_t* run_ = nullptr;
  std::size_t runSize_ = 0;
  // samples_[j]: where frame j * stride_ begins; the stride is a power of 2.
  // At most kMaxSamples of them (512 KB): a walk from a sample to a frame
  // the table names then crosses a few hundred frames even in a file of
  // several gigabytes.
  static constexpr std::size_t kMaxSamples = 1 << 16;
  std::vector<std::int64_t> samples_;
  std::uint64_t stride_ = 1;
  // The last frame a walk reached, to go on from there.
  std::uint64_t walkFrame_ = 0;
  std::int64_t walkOffset_ = 0;
  std::int64_t streamAt_ = 0;               // where the first kept frame lies in the cleaned data
  std::array<std::uint8_t, 4096> added_{};  // an added header frame
};

}  // namespace scourby

// The VBR header of the cleaned stream. Cleaning that drops frames, or keeps
// frames beyond the count, leaves the header of the first frame wrong, and
// players show the wrong length and seek to the wrong place. While the pass
// keeps frames this gathers what the header must say: the first kept
// frame's bytes, the number of kept frames and their bytes, and where some
// of them begin (sampled at a stride that doubles as the stream grows, so
// memory stays bounded), and for a LAME tag the music CRC of the frames
// kept once the stream has outgrown the header's counts (files joined end to
// end), when the rewrite is certain. At the end it reads back from the
// cleaned data only what the header needs: the headers of the frames between
// a sample and each frame the table of contents names, and the bytes of the
// frames kept before the CRC ran.
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
  // A frame kept whole, as it is written, in stream order; the first one is
  // the header frame. changed: the reconstructor changed it, and its bytes
  // lie in a copy that does not outlive the call; otherwise they lie in the
  // read buffer, unchanged until Flush.
  void Kept(std::span<const std::uint8_t> frame, bool changed) {
    if (frames_ != 0) {
      // A stream without a header needs nothing more than its first frame.
      if (!fields_) return;
      // Most frames only lengthen the run of bytes that the CRC takes in.
      if (crcRunning_ && !changed && runSize_ != 0 && frame.data() == run_ + runSize_ &&
          (frames_ & (stride_ - 1)) != 0) {
        runSize_ += frame.size();
        ++frames_;
        bytes_ += static_cast<std::int64_t>(frame.size());
        return;
      }
    }
    KeptInStream(frame, changed);
  }

  // Takes in the kept bytes held as views; called before the read buffer
  // is refilled or written to.
  void Flush();

  // Whether the header frame gets rewritten once every frame is kept.
  bool Rewrites() const;

  // The header frame made true, reading the cleaned data (the kept frames
  // packed from offset streamAt on) through `cleaned`; none when nothing
  // changes. Failed() tells a read that failed.
  std::optional<std::span<const std::uint8_t>> MakeTrue(platform::Reader& cleaned, std::int64_t streamAt);
  bool Failed() const { return failed_; }

 private:
  void KeptInStream(std::span<const std::uint8_t> frame, bool changed);
  XingRewrite Plan() const;
  // Whether frameCount frames after the header frame, of byteCount bytes
  // with it, are more than the header counts.
  bool Outgrown(std::uint64_t frameCount, std::int64_t byteCount) const;
  // Where kept frame k begins in the cleaned data, from the nearest sample
  // on; -1 when the headers there do not read as frames.
  std::int64_t FrameOffset(platform::Reader& cleaned, std::uint64_t k);
  std::optional<std::uint16_t> MusicCrc(platform::Reader& cleaned);

  std::array<std::uint8_t, 4096> first_{};  // the header frame, as written
  std::size_t firstLength_ = 0;
  std::optional<XingFields> fields_;
  std::uint64_t frames_ = 0;  // kept frames, the header frame included
  std::int64_t bytes_ = 0;    // their bytes
  bool musicChanged_ = false;
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
  std::vector<std::int64_t> samples_;
  std::uint64_t stride_ = 1;
  // The last frame a walk reached, to go on from there.
  std::uint64_t walkFrame_ = 0;
  std::int64_t walkOffset_ = 0;
  std::int64_t streamAt_ = 0;  // where the header frame lies in the cleaned data
};

}  // namespace scourby

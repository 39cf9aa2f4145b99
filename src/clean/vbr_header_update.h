// The VBR header of the cleaned stream. Cleaning that drops frames, or keeps
// frames beyond the count, leaves the header of the first frame wrong, and
// players show the wrong length and seek to the wrong place. While the pass
// keeps frames this gathers what the header must say: the first kept
// frame's bytes, the number of kept frames and their bytes, and where some
// of them begin (sampled at a stride that doubles as the stream grows, so
// memory stays bounded). At the end it reads back from the cleaned data
// only what the header needs: the headers of the frames between a sample
// and each frame the table of contents names, and for a LAME tag the bytes
// of the frames for the music CRC.
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
  // the header frame.
  void Kept(std::span<const std::uint8_t> frame, const FrameHeader& header);
  // A kept frame was changed by the reconstructor.
  void MusicChanged() { musicChanged_ = true; }

  // Whether the header frame gets rewritten once every frame is kept.
  bool Rewrites() const;

  // The header frame made true, reading the cleaned data (the kept frames
  // packed from offset 0) through `cleaned`; none when nothing changes.
  // Failed() tells a read that failed.
  std::optional<std::span<const std::uint8_t>> MakeTrue(platform::Reader& cleaned);
  bool Failed() const { return failed_; }

 private:
  XingRewrite Plan() const;
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
  // samples_[j]: where frame j * stride_ begins.
  std::vector<std::int64_t> samples_;
  std::uint64_t stride_ = 1;
  // The last frame a walk reached, to go on from there.
  std::uint64_t walkFrame_ = 0;
  std::int64_t walkOffset_ = 0;
};

}  // namespace scourby

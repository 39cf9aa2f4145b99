// The VBR header that encoders write into a stream's first frame, which
// players read for the length they show, for seeking and for gapless
// playback: "Xing" (variable bitrate) or "Info" (constant) at the Xing
// offset, 4 bytes of flags, then each field whose flag is set, then LAME's
// 36-byte tag; or "VBRI" at byte 36. Numbers are big-endian. Pure functions
// over a frame's bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "mpeg/frame_header.h"

namespace scourby {

inline constexpr std::string_view kXingMagic = "Xing";
inline constexpr std::string_view kInfoMagic = "Info";
inline constexpr std::string_view kVbriMagic = "VBRI";
inline constexpr std::size_t kVbriOffset = 36;
inline constexpr std::size_t kTocEntries = 100;

// Where "Xing" or "Info" lies after the frame header's first byte: the 4
// header bytes plus the Layer III side information (taken for every layer).
inline std::size_t XingOffset(const FrameHeader& header) {
  const bool mono = ChannelMode(header) == 3;
  if (header.versionCode == 1) return mono ? 21 : 36;
  return mono ? 13 : 21;
}

// Whether the frame holds "Xing" or "Info" at its Xing offset, or "VBRI" at
// byte 36: a stream's header frame, which holds no audio. Asked of every
// frame, so it looks at the first letters first.
inline bool IsVbrHeaderFrame(std::span<const std::uint8_t> frame, const FrameHeader& header) {
  // Audio frames are turned away by the magics' first letters.
  const std::size_t xing = XingOffset(header);
  const std::uint8_t first = xing < frame.size() ? frame[xing] : 0;
  if (first != kXingMagic[0] && first != kInfoMagic[0] &&
      !(kVbriOffset < frame.size() && frame[kVbriOffset] == kVbriMagic[0])) {
    return false;
  }
  const auto magicAt = [&](std::size_t at) {
    std::uint32_t word = 0;
    if (at + 4 <= frame.size()) std::memcpy(&word, frame.data() + at, 4);
    return word;
  };
  const auto asWord = [](std::string_view magic) {
    std::uint32_t word = 0;
    std::memcpy(&word, magic.data(), 4);
    return word;
  };
  const std::uint32_t atXing = magicAt(xing);
  return atXing == asWord(kXingMagic) || atXing == asWord(kInfoMagic) || magicAt(kVbriOffset) == asWord(kVbriMagic);
}

// Where the fields of a "Xing" or "Info" header lie, as offsets from the
// frame's first byte; kAbsent where the flag is clear or the field does not
// lie wholly inside the frame.
struct XingFields {
  static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
  std::size_t frameCount = kAbsent;  // flag bit 0: the frames after the header frame
  std::size_t byteCount = kAbsent;   // bit 1: the stream's bytes, the header frame's included
  std::size_t toc = kAbsent;         // bit 2: 100 entries of the table of contents
  std::size_t lameTag = kAbsent;     // right after the flagged fields, only where its own CRC holds
};

// The fields of the frame's "Xing" or "Info" header; none when the magic and
// the flags do not both lie in the frame.
std::optional<XingFields> FindXingFields(std::span<const std::uint8_t> frame, const FrameHeader& header);

// What a header must say of the stream it heads.
struct StreamTruth {
  std::uint32_t frameCount = 0;  // F: the frames after the header frame
  std::uint32_t byteCount = 0;   // B: the bytes of all frames, the header frame's included
  // Entry i: where frame TocFrame(i, F) begins, from the header frame's
  // first byte (frame 0 is the header frame).
  std::array<std::uint32_t, kTocEntries> tocOffsets{};
  std::uint16_t musicCrc = 0;  // CRC-16/ARC of the frames after the header frame
  // The samples a decoder drops at the stream's end (a LAME tag's encoder
  // padding, 12 bits); -1 to leave it as it is.
  std::int32_t encoderPadding = -1;
};

// The frame whose offset entry i of the table of contents is made of.
constexpr std::uint32_t TocFrame(std::size_t i, std::uint32_t frameCount) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(i) * (std::uint64_t{frameCount} + 1) / kTocEntries);
}

// Whether the frame count and the byte count that the header holds are F
// and B (a count it does not hold is not wrong).
bool XingCountsTrue(std::span<const std::uint8_t> frame, const XingFields& fields, std::uint32_t frameCount,
                    std::uint32_t byteCount);

// Makes the header tell the truth. Where a count is wrong: the counts become
// F and B, and the table of contents entry i = min(255, floor(256 *
// tocOffsets[i] / B)). Where a count is wrong, the music changed (a frame
// was cleared) or the encoder padding is to change: a LAME tag gets B as its
// music length, musicCrc as its music CRC, the encoder padding (where one is
// given), and then its own CRC anew. Nothing else in the frame changes,
// nothing outside the fields is written, and a true header keeps every
// byte. True when a byte changed.
bool MakeXingTrue(std::span<std::uint8_t> frame, const XingFields& fields, const StreamTruth& truth, bool musicChanged);

// What MakeXingTrue changes in a frame, and so which parts of StreamTruth
// it reads: counts (the table of contents too, where the header has one)
// where a count is wrong; the LAME tag where a count is wrong, the music
// changed or the encoder padding is to change.
struct XingRewrite {
  bool counts = false;
  bool toc = false;   // reads tocOffsets
  bool lame = false;  // reads musicCrc
  bool any() const { return counts || lame; }
};
XingRewrite PlanXingRewrite(std::span<const std::uint8_t> frame, const XingFields& fields, std::uint32_t frameCount,
                            std::uint32_t byteCount, bool musicChanged, std::int32_t encoderPadding = -1);

// The encoder padding of the frame's LAME tag (the low 12 bits of its bytes
// 21 to 23); -1 when the frame holds no LAME tag whose CRC holds.
std::int32_t LameEncoderPadding(std::span<const std::uint8_t> frame, const FrameHeader& header);

// The header of a Xing frame to put in front of a stream that has no VBR
// header: the first frame's, with no CRC, the padding and private bits 0,
// and the smallest bitrate (index 1 to 14) whose frame, without padding,
// holds the Xing offset plus the magic, flags, counts and table of
// contents. Its frameLength is the new frame's length; 0 when no bitrate
// gives room.
FrameHeader AddedXingHeader(const FrameHeader& first);

// Writes into frame (header.frameLength bytes) the Xing frame of that
// header: the 4 header bytes, "Xing" at the Xing offset, the flags for the
// two counts and the table of contents, truth's counts (F: the frames after
// it; B: its own length and theirs) and table of contents; every other byte
// 0, so a decoder plays it as silence. No LAME tag: nothing true could be
// put in it.
void BuildXingFrame(std::span<std::uint8_t> frame, const FrameHeader& header, const StreamTruth& truth);

}  // namespace scourby

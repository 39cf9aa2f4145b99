// MPEG 1, 2 and 2.5 audio frame headers: the tables, decoding and the frame
// length rule.
#pragma once

#include <array>
#include <cstdint>

namespace scourby {

// One four-byte frame header and what it decodes to. The fields after
// headerBytes are meaningful only right after DecodeFrameHeader returned 1;
// a failed decode has written the fields of the steps before the failing one
// and the failing step's own field, and left the rest as they were.
struct FrameHeader {
  std::array<std::uint8_t, 4> headerBytes{};
  std::int32_t versionCode = 0;  // 1, 2 or 25 (MPEG 1, 2, 2.5)
  std::int32_t layer = 0;        // 1 to 3
  std::int32_t padding = 0;      // 0 or 1
  std::int32_t sampleRate = 0;   // Hz
  std::int32_t bitrate = 0;      // kbit/s
  std::int32_t frameLength = 0;  // bytes, header included
};

// The header's bit fields, each as an unsigned number (bit 7 is a byte's
// most significant bit).
constexpr unsigned VersionField(const FrameHeader& h) { return (h.headerBytes[1] >> 3) & 0x3u; }
constexpr unsigned LayerField(const FrameHeader& h) { return (h.headerBytes[1] >> 1) & 0x3u; }
constexpr unsigned BitrateIndex(const FrameHeader& h) { return (h.headerBytes[2] >> 4) & 0xFu; }
constexpr unsigned SampleRateIndex(const FrameHeader& h) { return (h.headerBytes[2] >> 2) & 0x3u; }
constexpr unsigned PaddingBit(const FrameHeader& h) { return (h.headerBytes[2] >> 1) & 0x1u; }
// 3 means a single channel.
constexpr unsigned ChannelMode(const FrameHeader& h) { return (h.headerBytes[3] >> 6) & 0x3u; }
constexpr int ChannelCount(const FrameHeader& h) { return ChannelMode(h) == 3 ? 1 : 2; }

// The tables are constant data, checked when the program is compiled; this
// is kept as the start-up hook and does nothing.
void InitFrameTables();

// Decodes header.headerBytes into the other fields: 1 for a valid header,
// 0 for an invalid one. Does not look at the sync bits.
std::int32_t DecodeFrameHeader(FrameHeader& header);

// The eleven set bits that begin every frame header: 0xFF, then a byte whose
// three top bits are set.
inline constexpr std::uint8_t kSyncByte = 0xFF;
inline constexpr std::uint8_t kSyncMask = 0xE0;
constexpr bool HasFrameSync(const std::uint8_t* bytes) {
  return bytes[0] == kSyncByte && (bytes[1] & kSyncMask) == kSyncMask;
}

// Whether the four bytes at bytes are a frame header: the sync bits, and a
// valid decode into header.
bool IsFrameHeader(const std::uint8_t* bytes, FrameHeader& header);

// Whether two decoded headers belong to one stream: the same version, layer
// and sample rate (bitrate and padding change from frame to frame).
constexpr bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.versionCode == b.versionCode && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// "1.0", "2.0" or "2.5" for version code 1, 2 or 25.
const char* VersionText(std::int32_t versionCode);

// Four bytes, most significant first.
std::uint32_t BigEndian32(const std::uint8_t* bytes);

}  // namespace scourby

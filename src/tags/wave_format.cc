#include "tags/wave_format.h"

namespace scourby {
namespace {

constexpr std::uint16_t kMpegLayer3 = 0x0055;
constexpr std::uint16_t kMpeg = 0x0050;
constexpr std::uint16_t kExtensible = 0xFFFE;
constexpr std::size_t kSubFormatAt = 24;

std::uint16_t LittleEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

bool IsMpegTag(std::uint16_t tag) { return tag == kMpegLayer3 || tag == kMpeg; }

}  // namespace

WaveAudio FormatChunkAudio(std::span<const std::uint8_t> fmt) {
  if (fmt.size() < 2) return WaveAudio::kOther;
  std::uint16_t tag = LittleEndian16(fmt, 0);
  if (tag == kExtensible) {
    if (fmt.size() < kSubFormatAt + 2) return WaveAudio::kOther;
    tag = LittleEndian16(fmt, kSubFormatAt);
  }
  return IsMpegTag(tag) ? WaveAudio::kMpeg : WaveAudio::kOther;
}

}  // namespace scourby

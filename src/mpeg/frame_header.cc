#include "mpeg/frame_header.h"

#include <algorithm>

namespace scourby {
namespace {

// Version field -> version code; -1 marks the reserved field value.
constexpr std::array<std::int32_t, 4> VersionCodes = {25, -1, 2, 1};

// Layer field -> layer number (reversed order); -1 marks field 0.
constexpr std::array<std::int32_t, 4> LayerNumbers = {-1, 3, 2, 1};

// [version field][sample-rate index] -> Hz; 0 marks an invalid pair.
constexpr std::array<std::array<std::int32_t, 4>, 4> SampleRates = {{
    {11025, 12000, 8000, 0},   // MPEG 2.5
    {0, 0, 0, 0},              // reserved
    {22050, 24000, 16000, 0},  // MPEG 2
    {44100, 48000, 32000, 0},  // MPEG 1
}};

// [row * 16 + bitrate index] -> kbit/s; 0 (free format) and -1 (forbidden).
constexpr std::array<std::int32_t, 80> Bitrates = {
    0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1,  // MPEG 1, Layer I
    0, 32, 48, 56, 64,  80,  96,  112, 128, 160, 192, 224, 256, 320, 384, -1,  // MPEG 1, Layer II
    0, 32, 40, 48, 56,  64,  80,  96,  112, 128, 160, 192, 224, 256, 320, -1,  // MPEG 1, Layer III
    0, 32, 48, 56, 64,  80,  96,  112, 128, 144, 160, 176, 192, 224, 256, -1,  // MPEG 2/2.5, Layer I
    0, 8,  16, 24, 32,  40,  48,  56,  64,  80,  96,  112, 128, 144, 160, -1,  // MPEG 2/2.5, Layers II, III
};

constexpr std::int32_t kMaxBitrate = 600;

// Every bitrate row starts with free format (0) and ends with the forbidden
// index (-1), and everything between passes the bitrate test.
constexpr bool BitrateRowsAreWellFormed() {
  for (int row = 0; row < 5; ++row) {
    if (Bitrates[row * 16] != 0 || Bitrates[row * 16 + 15] != -1) return false;
    for (int i = 1; i < 15; ++i) {
      if (Bitrates[row * 16 + i] < 1 || Bitrates[row * 16 + i] > kMaxBitrate) return false;
    }
  }
  return true;
}

static_assert(BitrateRowsAreWellFormed());
static_assert(VersionCodes[1] == -1 && LayerNumbers[0] == -1);
static_assert(SampleRates[0][3] == 0 && SampleRates[1][0] == 0 && SampleRates[2][3] == 0 && SampleRates[3][3] == 0);
// The largest product of the length rule stays well inside 32 bits.
static_assert(144000LL * kMaxBitrate < INT32_MAX);

constexpr std::int32_t BitrateRow(std::int32_t versionCode, std::int32_t layer) {
  if (versionCode == 1) return layer - 1;
  return layer == 1 ? 3 : 4;
}

// Bytes from the first header byte to the next frame's header. Layer I
// frames are counted in 4-byte slots, the others in bytes; a frame carries
// 384 (Layer I), 1152 (Layer II, MPEG 1 Layer III) or 576 (MPEG 2 and 2.5
// Layer III) samples.
constexpr std::int32_t FrameLength(std::int32_t versionCode, std::int32_t layer, std::int32_t bitrate,
                                   std::int32_t sampleRate, std::int32_t padding) {
  if (layer == 1) return (12000 * bitrate / sampleRate) * 4 + padding * 4;
  const std::int32_t perKbit = (layer == 3 && versionCode != 1) ? 72000 : 144000;
  return perKbit * bitrate / sampleRate + padding;
}

// FrameLength without padding for every valid field combination, so that
// decoding a header costs no division: [version][layer][bitrate][rate].
using LengthTable = std::array<std::array<std::array<std::array<std::int32_t, 4>, 16>, 4>, 4>;

constexpr LengthTable BuildLengthTable() {
  LengthTable table{};
  for (std::size_t version = 0; version < 4; ++version) {
    for (std::size_t layerField = 1; layerField < 4; ++layerField) {
      const std::int32_t versionCode = VersionCodes[version];
      const std::int32_t layer = LayerNumbers[layerField];
      if (versionCode == -1) continue;
      for (std::size_t index = 1; index < 15; ++index) {
        for (std::size_t rate = 0; rate < 3; ++rate) {
          const std::int32_t bitrate = Bitrates[static_cast<std::size_t>(BitrateRow(versionCode, layer) * 16) + index];
          table[version][layerField][index][rate] =
              FrameLength(versionCode, layer, bitrate, SampleRates[version][rate], 0);
        }
      }
    }
  }
  return table;
}

constexpr LengthTable kFrameLengths = BuildLengthTable();

}  // namespace

void InitFrameTables() {}

// The fields are written step by step, so a failed decode leaves the
// failing step's value in its field and the later fields untouched.
std::int32_t DecodeFrameHeader(FrameHeader& header) {
  const unsigned versionField = VersionField(header);
  header.versionCode = VersionCodes[versionField];
  if (header.versionCode == -1) return 0;

  header.layer = LayerNumbers[LayerField(header)];
  if (header.layer == -1) return 0;

  header.padding = static_cast<std::int32_t>(PaddingBit(header));

  header.sampleRate = SampleRates[versionField][SampleRateIndex(header)];
  if (header.sampleRate == 0) return 0;

  const std::int32_t row = BitrateRow(header.versionCode, header.layer);
  header.bitrate = Bitrates[static_cast<std::size_t>(row * 16) + BitrateIndex(header)];
  if (header.bitrate < 1 || header.bitrate > kMaxBitrate) return 0;

  header.frameLength = kFrameLengths[versionField][LayerField(header)][BitrateIndex(header)][SampleRateIndex(header)] +
                       header.padding * (header.layer == 1 ? 4 : 1);
  return 1;
}

bool IsFrameHeader(const std::uint8_t* bytes, FrameHeader& header) {
  if (!HasFrameSync(bytes)) return false;
  std::copy_n(bytes, header.headerBytes.size(), header.headerBytes.begin());
  return DecodeFrameHeader(header) == 1;
}

const char* VersionText(std::int32_t versionCode) {
  if (versionCode == 1) return "1.0";
  if (versionCode == 2) return "2.0";
  if (versionCode == 25) return "2.5";
  return "?";
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  std::uint32_t value = bytes[0];
  for (int i = 1; i < 4; ++i) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace scourby

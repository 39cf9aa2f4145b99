#include "tags/riff_wave.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace scourby {
namespace {

// Up to four bytes as they were read; bytes past the end of the file are
// missing (count < 4) and read as zero.
struct FourBytes {
  std::array<std::uint8_t, 4> bytes{};
  std::size_t count = 0;

  std::string_view Text() const { return {reinterpret_cast<const char*>(bytes.data()), count}; }
  bool Is(std::string_view id) const { return Text() == id; }
  std::uint32_t LittleEndian() const {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  }
};

FourBytes ReadFour(platform::Reader& input) {
  FourBytes four;
  four.count = input.Read(four.bytes.data(), four.bytes.size());
  return four;
}

// The form type is the last four of the (up to eight) bytes after "RIFF".
FourBytes ReadFormType(platform::Reader& input) {
  std::array<std::uint8_t, 8> bytes{};
  const std::size_t got = input.Read(bytes.data(), bytes.size());
  FourBytes form;
  form.count = std::min<std::size_t>(got, 4);
  std::copy_n(bytes.begin() + (got - form.count), form.count, form.bytes.begin());
  return form;
}

// What the "fmt " chunk whose data begins at offset says (reading at most
// size bytes of it).
WaveAudio ReadFormat(platform::Reader& input, std::uint64_t offset, std::uint64_t size) {
  std::array<std::uint8_t, kFormatChunkBytes> fmt{};
  input.SetPosition(static_cast<std::int64_t>(offset));
  const std::size_t got = input.Read(fmt.data(), std::min<std::uint64_t>(size, fmt.size()));
  return FormatChunkAudio(std::span(fmt.data(), got));
}

// The chunks of a RIFF-form file from offset 12 on, up to "data".
struct Chunks {
  bool data = false;     // "data" was found
  std::uint64_t at = 0;  // its payload's offset
  FourBytes id;          // the last chunk id read
  WaveAudio audio = WaveAudio::kUnknown;
};

// Each step adds at most 2^32 + 8 to an offset below the file's length, so
// 64 bits never wrap. The walk goes on while two bytes or more remain at
// the offset: a cut-off chunk header is still read.
Chunks WalkChunks(platform::Reader& input, std::uint64_t length) {
  Chunks chunks;
  std::uint64_t offset = 12;
  do {
    input.SetPosition(static_cast<std::int64_t>(offset));
    chunks.id = ReadFour(input);
    const std::uint64_t size = ReadFour(input).LittleEndian();
    if (chunks.id.Is("data")) {
      chunks.data = true;
      chunks.at = offset + 8;
      return chunks;
    }
    if (chunks.id.Is("fmt ") && chunks.audio == WaveAudio::kUnknown) {
      chunks.audio = ReadFormat(input, offset + 8, size);
    }
    offset += 8 + size + (size & 1);
  } while (offset + 2 <= length);
  return chunks;
}

// A length that cannot be had counts as 0: a walk ends after one chunk.
std::uint64_t LengthOf(platform::Reader& input) {
  return static_cast<std::uint64_t>(std::max<std::int64_t>(input.Length(), 0));
}

// Wave64's chunk ids: four letters, then these 12 bytes ("riff" has its own).
constexpr std::array<std::uint8_t, 12> kWave64Guid = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                                      0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr std::array<std::uint8_t, 16> kWave64Riff = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                                      0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr std::uint64_t kWave64ChunkHead = 24;

bool IsWave64Id(std::span<const std::uint8_t> id, std::string_view name) {
  return id.size() >= 16 && std::equal(name.begin(), name.end(), id.begin()) &&
         std::equal(kWave64Guid.begin(), kWave64Guid.end(), id.begin() + 4);
}

std::uint64_t LittleEndian64(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 8; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

WaveAudio Wave64ChunksAudio(platform::Reader& input, std::uint64_t length) {
  // The file's own head: "riff", its size, then "wave".
  for (std::uint64_t offset = 40; offset + kWave64ChunkHead <= length;) {
    std::array<std::uint8_t, kWave64ChunkHead> head{};
    input.SetPosition(static_cast<std::int64_t>(offset));
    if (input.Read(head.data(), head.size()) != head.size()) break;
    const std::uint64_t size = LittleEndian64(std::span(head).subspan(16));
    if (IsWave64Id(head, "data") || size < kWave64ChunkHead || size > length) break;
    if (IsWave64Id(head, "fmt ")) return ReadFormat(input, offset + kWave64ChunkHead, size - kWave64ChunkHead);
    offset += (size + 7) / 8 * 8;
  }
  return WaveAudio::kUnknown;
}

}  // namespace

RiffWave SkipRiffWave(platform::Reader& input) {
  input.SetPosition(0);
  if (!ReadFour(input).Is("RIFF")) {
    input.SetPosition(0);
    return {};
  }
  const std::uint64_t length = LengthOf(input);
  const FourBytes form = ReadFormType(input);
  if (!form.Is("WAVE")) return {.result = -1, .notWave = true, .id = std::string(form.Text())};
  const Chunks chunks = WalkChunks(input, length);
  if (!chunks.data) return {.result = -1, .notWave = false, .id = std::string(chunks.id.Text())};
  input.SetPosition(static_cast<std::int64_t>(chunks.at));
  return {.result = 1, .audio = chunks.audio};
}

WaveAudio Wave64Audio(platform::Reader& input) {
  std::array<std::uint8_t, 40> head{};
  input.SetPosition(0);
  const std::size_t got = input.Read(head.data(), head.size());
  const std::span<const std::uint8_t> bytes(head.data(), got);
  const auto text = [&](std::size_t at, std::string_view name) {
    return got >= at + name.size() &&
           std::equal(name.begin(), name.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  };
  if ((text(0, "RF64") || text(0, "BW64")) && text(8, "WAVE")) return WalkChunks(input, LengthOf(input)).audio;
  if (got == head.size() && std::equal(kWave64Riff.begin(), kWave64Riff.end(), bytes.begin()) &&
      IsWave64Id(bytes.subspan(24), "wave")) {
    return Wave64ChunksAudio(input, LengthOf(input));
  }
  return WaveAudio::kUnknown;
}

}  // namespace scourby

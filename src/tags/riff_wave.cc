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

}  // namespace

RiffWave SkipRiffWave(platform::Reader& input) {
  input.SetPosition(0);
  if (!ReadFour(input).Is("RIFF")) {
    input.SetPosition(0);
    return {};
  }
  // A length that cannot be had counts as 0: the walk ends after one chunk.
  const std::uint64_t length = static_cast<std::uint64_t>(std::max<std::int64_t>(input.Length(), 0));

  const FourBytes form = ReadFormType(input);
  if (!form.Is("WAVE")) return {.result = -1, .notWave = true, .id = std::string(form.Text())};

  // Each step adds at most 2^32 + 8 to an offset below the file's length, so
  // 64 bits never wrap. The walk goes on while two bytes or more remain at
  // the offset: a cut-off chunk header is still read.
  std::uint64_t offset = 12;
  FourBytes id;
  do {
    input.SetPosition(static_cast<std::int64_t>(offset));
    id = ReadFour(input);
    const std::uint64_t size = ReadFour(input).LittleEndian();
    if (id.Is("data")) {
      input.SetPosition(static_cast<std::int64_t>(offset + 8));
      return {.result = 1};
    }
    offset += 8 + size + (size & 1);
  } while (offset + 2 <= length);

  return {.result = -1, .notWave = false, .id = std::string(id.Text())};
}

}  // namespace scourby

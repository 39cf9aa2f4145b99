// The ID3v2 recogniser on the input as a file, from several start offsets:
// the read position moves past exactly the tag the header describes, or not
// at all, through every reader buffer size.
#include <cstring>

#include "fuzz_support.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/id3v2.h"

namespace {

// Where a tag whose header stands at `at` ends, or `at` when there is none.
std::int64_t ExpectedEnd(std::span<const std::uint8_t> file, std::int64_t at) {
  if (at + 10 > static_cast<std::int64_t>(file.size())) return at;
  const std::uint8_t* h = file.data() + at;
  if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return at;
  std::int64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (h[i] >= 0x80) return at;
    size = size * 128 + h[i];
  }
  return at + 10 + size + ((h[5] & 0x10) != 0 ? 10 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scourby;
  using namespace scourby::fuzz;
  const std::span<const std::uint8_t> bytes(data, size);
  const std::string path = WriteScratchFile("id3v2.bin", bytes);
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  FUZZ_CHECK(file.IsOpen());

  for (const std::size_t bufferSize : kBufferSizes) {
    platform::Reader input(file, bufferSize);
    // Every start up to 16 (a tag behind a RIFF header or junk), and past
    // the end of the file.
    for (std::int64_t at = 0; at <= static_cast<std::int64_t>(std::min<std::size_t>(size, 16)) + 1; ++at) {
      input.SetPosition(at);
      SkipId3v2(input);
      FUZZ_CHECK(input.Position() == ExpectedEnd(bytes, at));
      FUZZ_CHECK(input.Position() - at <= 268435475);
      FUZZ_CHECK(!input.Failed());
    }
  }
  return 0;
}

// The RIFF/WAVE recogniser on the input as a file: the result, the read
// position and what it reports found agree with the container's bytes,
// through every reader buffer size.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/riff_wave.h"

namespace {

struct Outcome {
  scourby::RiffWave found;
  std::int64_t position;
  bool operator==(const Outcome&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scourby;
  using namespace scourby::fuzz;
  const std::span<const std::uint8_t> bytes(data, size);
  const std::string path = WriteScratchFile("riff.bin", bytes);
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  FUZZ_CHECK(file.IsOpen());

  const bool riff = size >= 4 && std::memcmp(data, "RIFF", 4) == 0;
  // The form type: the last four of the (up to eight) bytes after "RIFF",
  // fewer when the file is shorter.
  const std::size_t afterMagic = riff ? std::min<std::size_t>(size - 4, 8) : 0;
  const std::size_t formSize = std::min<std::size_t>(afterMagic, 4);
  const std::string form(reinterpret_cast<const char*>(data) + 4 + afterMagic - formSize, formSize);
  const bool wave = form == "WAVE";
  Outcome first{};
  for (const std::size_t bufferSize : kBufferSizes) {
    platform::Reader input(file, bufferSize);
    input.SetPosition(5);  // the recogniser starts from offset 0 on its own
    Outcome outcome{};
    outcome.found = SkipRiffWave(input);
    outcome.position = input.Position();
    FUZZ_CHECK(!input.Failed());

    const RiffWave& found = outcome.found;
    if (!riff) {
      FUZZ_CHECK(found == RiffWave{} && outcome.position == 0);
    } else if (found.result == 1) {
      // On the payload of a chunk whose id, read whole, is "data".
      FUZZ_CHECK(found.id.empty());
      FUZZ_CHECK(outcome.position >= 20 && outcome.position - 4 <= static_cast<std::int64_t>(size));
      FUZZ_CHECK(std::memcmp(data + outcome.position - 8, "data", 4) == 0);
    } else {
      FUZZ_CHECK(found.result == -1);
      // The form type, or the id of the last chunk read: at most four bytes.
      FUZZ_CHECK(found.notWave == !wave);
      FUZZ_CHECK(found.id.size() <= 4);
      if (!wave) FUZZ_CHECK(found.id == form);
    }
    if (bufferSize == kBufferSizes[0]) {
      first = outcome;
    } else {
      FUZZ_CHECK(outcome == first);
    }
  }
  return 0;
}

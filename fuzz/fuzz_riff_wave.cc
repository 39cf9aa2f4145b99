// The RIFF/WAVE recogniser on the input as a file: the result, the read
// position and the message agree with the container's bytes, through every
// reader buffer size.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/riff_wave.h"

namespace {

struct Outcome {
  std::int32_t result;
  std::int64_t position;
  std::string printed;
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
  const bool wave = size >= 12 && std::memcmp(data + 8, "WAVE", 4) == 0;
  Outcome first{};
  for (const std::size_t bufferSize : kBufferSizes) {
    platform::Reader input(file, bufferSize);
    input.SetPosition(5);  // the recogniser starts from offset 0 on its own
    Outcome outcome{};
    platform::CaptureStdout(&outcome.printed);
    outcome.result = SkipRiffWave(input);
    platform::CaptureStdout(nullptr);
    outcome.position = input.Position();
    FUZZ_CHECK(!input.Failed());

    if (!riff) {
      FUZZ_CHECK(outcome.result == 0 && outcome.position == 0 && outcome.printed.empty());
    } else if (outcome.result == 1) {
      // On the payload of a chunk whose id, read whole, is "data".
      FUZZ_CHECK(outcome.printed.empty());
      FUZZ_CHECK(outcome.position >= 20 && outcome.position - 4 <= static_cast<std::int64_t>(size));
      FUZZ_CHECK(std::memcmp(data + outcome.position - 8, "data", 4) == 0);
    } else {
      FUZZ_CHECK(outcome.result == -1);
      FUZZ_CHECK(outcome.printed.size() > 2 && outcome.printed.ends_with(")!\r\n") == !wave);
      FUZZ_CHECK(outcome.printed.starts_with(wave ? "...WAVE-file chunk '" : "...RIFF but not WAVE ("));
      FUZZ_CHECK(outcome.printed.find("\r\n") == outcome.printed.size() - 2);
    }
    if (bufferSize == kBufferSizes[0]) {
      first = outcome;
    } else {
      FUZZ_CHECK(outcome == first);
    }
  }
  return 0;
}

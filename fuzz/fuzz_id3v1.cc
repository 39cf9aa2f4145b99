// The ID3v1 test, the trailing tag fetch and the frame reconstructor. The
// input is a tag candidate, a file whose last 128 bytes may be a tag, and a
// frame (at several alignments, so the block-wise marker scan meets every
// edge) whose reconstruction must follow the plain rule.
#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/frame_reconstructor.h"
#include "tags/id3v1.h"

namespace {

using scourby::fuzz::Fail;

// The reconstructor's rule as plain searches: the first "TAG" decides when
// there is one (valid: clear from it; invalid: leave the frame), else the
// first "LYRICSBEGIN".
std::size_t PlainReconstructStart(std::span<const std::uint8_t> frame) {
  const std::string_view text(reinterpret_cast<const char*>(frame.data()), frame.size());
  const std::size_t tag = text.find("TAG");
  if (tag != std::string_view::npos) {
    std::array<std::uint8_t, 128> padded{};
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(tag), std::min<std::size_t>(128, frame.size() - tag),
                padded.begin());
    return scourby::IsValidId3v1(padded) ? tag : frame.size();
  }
  const std::size_t lyrics = text.find("LYRICSBEGIN");
  return lyrics != std::string_view::npos ? lyrics : frame.size();
}

void CheckReconstruct(std::span<const std::uint8_t> frame) {
  using namespace scourby;
  const std::size_t from = ReconstructStart(frame);
  FUZZ_CHECK(from == PlainReconstructStart(frame));

  std::vector<std::uint8_t> copy(frame.begin(), frame.end());
  FUZZ_CHECK(ReconstructFrame(copy) == (from < frame.size()));
  // Bytes before the marker stay; from it on, all are the byte before it.
  FUZZ_CHECK(std::equal(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(from), frame.begin()));
  const std::uint8_t fill = from == 0 ? 0 : frame[from - 1];
  FUZZ_CHECK(std::all_of(copy.begin() + static_cast<std::ptrdiff_t>(from), copy.end(),
                         [fill](std::uint8_t b) { return b == fill; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scourby;
  using namespace scourby::fuzz;
  const std::span<const std::uint8_t> bytes(data, size);

  // The test reads only "TAG" and the five text fields (bytes 3 to 125); a
  // short string reads as if padded with NULs.
  const bool valid = IsValidId3v1(bytes);
  if (size < 3 || !std::equal(data, data + 3, "TAG")) FUZZ_CHECK(!valid);
  std::array<std::uint8_t, 128> padded{};
  std::copy_n(data, std::min<std::size_t>(size, 126), padded.begin());
  padded[126] = 0x01;  // the track number and the genre are never tested
  padded[127] = 0x1F;
  FUZZ_CHECK(IsValidId3v1(padded) == valid);

  for (std::size_t offset = 0; offset < std::min<std::size_t>(size, 4) + 1 && offset <= size; ++offset) {
    CheckReconstruct(bytes.subspan(offset));
  }

  const std::string path = WriteScratchFile("id3v1.bin", bytes);
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  FUZZ_CHECK(file.IsOpen());
  const bool tagAtEnd = size >= 128 && IsValidId3v1(bytes.last(128));
  for (const std::size_t bufferSize : kBufferSizes) {
    platform::Reader input(file, bufferSize);
    input.SetPosition(static_cast<std::int64_t>(size / 2));
    const std::vector<std::uint8_t> tag = ReadTrailingId3v1(input);
    FUZZ_CHECK(input.Position() == static_cast<std::int64_t>(size / 2));
    FUZZ_CHECK(tag.empty() != tagAtEnd);
    if (tagAtEnd) FUZZ_CHECK(std::equal(tag.begin(), tag.end(), bytes.last(128).begin()));
  }
  return 0;
}

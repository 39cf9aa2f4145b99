// The frame header decoder, the forward header search and the Xing probe.
// The input's first four bytes are decoded as a header; the whole input is
// then a file that is walked frame by frame as the cleaning pass walks it,
// through several reader buffer sizes that must all see the same frames,
// each search against the search's plain rule (an 8-byte window filled 4
// bytes at a time). The byte-pair scan under the search and the tag marker
// scan is checked at every vector width against its plain loop, and the
// CRC against its byte loop. A frame at the input's start has its VBR
// header made true for a stream drawn from the input's last bytes: only the
// header's fields change, nothing outside the frame, and a header made true
// stays as it is.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "mpeg/frame_search.h"
#include "mpeg/xing.h"
#include "platform/crc16.h"
#include "platform/file.h"
#include "platform/pair_scan.h"
#include "platform/reader.h"

namespace scourby::fuzz {
namespace {

// The length rule written out with its divisions, against the decoder's
// precomputed table.
std::int32_t LengthByRule(const FrameHeader& h) {
  if (h.layer == 1) return (12000 * h.bitrate / h.sampleRate) * 4 + h.padding * 4;
  const std::int32_t perKbit = (h.layer == 3 && h.versionCode != 1) ? 72000 : 144000;
  return perKbit * h.bitrate / h.sampleRate + h.padding;
}

void CheckDecode(const std::uint8_t* bytes) {
  FrameHeader h;
  std::memcpy(h.headerBytes.data(), bytes, 4);
  if (DecodeFrameHeader(h) != 1) return;
  FUZZ_CHECK(h.versionCode == 1 || h.versionCode == 2 || h.versionCode == 25);
  FUZZ_CHECK(h.layer >= 1 && h.layer <= 3);
  FUZZ_CHECK(h.padding == static_cast<std::int32_t>(PaddingBit(h)));
  FUZZ_CHECK(h.sampleRate >= 8000 && h.sampleRate <= 48000);
  FUZZ_CHECK(h.bitrate >= 8 && h.bitrate <= 448);
  FUZZ_CHECK(h.frameLength == LengthByRule(h));
  // The pass holds a frame in a 4096-byte array, and steps forward by it.
  FUZZ_CHECK(h.frameLength >= 24 && h.frameLength <= 4096);
}

bool IsHeaderAt(std::span<const std::uint8_t> file, std::int64_t at) {
  FrameHeader h;
  return at >= 0 && at + 4 <= static_cast<std::int64_t>(file.size()) && IsFrameHeader(file.data() + at, h);
}

// What the Xing probe must report for a header at `at`: the count when the
// magic, flags with bit 0 and a nonzero count all lie in the file.
bool ExpectedXing(std::span<const std::uint8_t> file, std::int64_t at, const FrameHeader& h, std::uint32_t& count) {
  const bool mono = ChannelMode(h) == 3;
  const std::int64_t x = at + (h.versionCode == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21));
  if (x + 12 > static_cast<std::int64_t>(file.size())) return false;
  const std::uint8_t* b = file.data() + x;
  if (std::memcmp(b, "Xing", 4) != 0 || (BigEndian32(b + 4) & 1u) == 0) return false;
  count = BigEndian32(b + 8);
  return count != 0;
}

// The search's rule as written: from start, read 4 bytes at a time into the
// back half of an 8-byte window whose front half holds the 4 bytes before;
// the window's first 0xFF, when it lies in positions 1 to 5, is the only
// candidate of the step; stop at the first candidate that passes the sync
// test, decodes and lies whole in the file, after a short read, or once the
// reach is counted. Returns the header's offset, or -1.
std::int64_t SearchByWindow(std::span<const std::uint8_t> file, std::int64_t start) {
  std::uint8_t window[8] = {};
  for (std::int64_t counted = 0;; counted += 4) {
    std::memcpy(window, window + 4, 4);
    const std::int64_t at = start + counted;
    const std::int64_t got = std::clamp<std::int64_t>(static_cast<std::int64_t>(file.size()) - at, 0, 4);
    if (got > 0) std::memcpy(window + 4, file.data() + at, static_cast<std::size_t>(got));
    const std::uint8_t* first = std::find(window, window + 8, 0xFF);
    const std::int64_t index = first - window;
    FrameHeader h;
    if (index <= 4 && index + 4 <= 4 + got && IsFrameHeader(window + index, h)) return at + index - 4;
    if (got < 4 || counted + 4 > kSearchReach) return -1;
  }
}

void CheckPairScans(std::span<const std::uint8_t> bytes) {
  using platform::BytePair;
  const BytePair sync = {kSyncByte, kSyncMask, kSyncMask}, tag = {'T', 0xFF, 'A'}, lyrics = {'L', 0xFF, 'Y'};
  const std::pair<BytePair, BytePair> pairs[] = {{sync, sync}, {tag, lyrics}};
  for (const auto& [a, b] : pairs) {
    for (std::size_t from = 0; from < std::min<std::size_t>(bytes.size(), 3); ++from) {
      const std::span<const std::uint8_t> part = bytes.subspan(from);
      const std::size_t plain = platform::FindBytePairWith(platform::ScanWidth::kPlain, part, a, b);
      for (const auto width : {platform::ScanWidth::kSse2, platform::ScanWidth::kAvx2, platform::ScanWidth::kAvx512}) {
        FUZZ_CHECK(platform::FindBytePairWith(width, part, a, b) == plain);
      }
    }
  }
}

// One search as the pass makes it: where it started, what it found.
struct Step {
  std::int64_t start;
  std::int32_t found;
  std::int64_t position;
  std::array<std::uint8_t, 4> header;
  XingInfo xing;
  bool operator==(const Step& o) const {
    return start == o.start && found == o.found && position == o.position && header == o.header &&
           xing.xingFramesKnown == o.xing.xingFramesKnown && xing.xingFrameCount == o.xing.xingFrameCount;
  }
};

// Walks the file as the pass does: the first search from `from` with the
// probe, then one search after each frame's declared end.
std::vector<Step> Walk(platform::File& file, std::size_t bufferSize, std::span<const std::uint8_t> bytes,
                       std::int64_t from) {
  platform::Reader input(file, bufferSize);
  std::vector<Step> steps;
  input.SetPosition(from);
  XingInfo xing;
  xing.xingFramesKnown = 7;  // a value no search writes: "untouched" is visible
  xing.xingFrameCount = 12345;
  for (int call = 0; call < 4096; ++call) {
    const std::int64_t start = input.Position();
    const XingInfo before = xing;
    FrameHeader header;
    const std::int32_t found = FindFrameHeader(input, call == 0 ? 1 : 0, header, xing);
    const std::int64_t at = input.Position();
    steps.push_back({start, found, at, header.headerBytes, xing});
    FUZZ_CHECK(!input.Failed());
    FUZZ_CHECK((found == 1 ? at : -1) == SearchByWindow(bytes, start));
    if (found != 1) {
      FUZZ_CHECK(found == 0);
      FUZZ_CHECK(at == start);
      FUZZ_CHECK(xing.xingFramesKnown == before.xingFramesKnown && xing.xingFrameCount == before.xingFrameCount);
      // A valid header right at the start is always found in the first step.
      FUZZ_CHECK(!IsHeaderAt(bytes, start));
      break;
    }
    FUZZ_CHECK(at >= start && at - start <= kSearchReach);
    FUZZ_CHECK(IsHeaderAt(bytes, at));
    FUZZ_CHECK(std::memcmp(header.headerBytes.data(), bytes.data() + at, 4) == 0);
    FrameHeader decoded;
    decoded.headerBytes = header.headerBytes;
    FUZZ_CHECK(DecodeFrameHeader(decoded) == 1 && decoded.frameLength == header.frameLength);
    if (IsHeaderAt(bytes, start)) FUZZ_CHECK(at == start);
    if (call == 0) {
      std::uint32_t count = 0;
      const bool known = ExpectedXing(bytes, at, header, count);
      FUZZ_CHECK(xing.xingFramesKnown == (known ? 1 : 0));
      if (known) FUZZ_CHECK(xing.xingFrameCount == count);
      if (!known) FUZZ_CHECK(xing.xingFrameCount == before.xingFrameCount);
    } else {
      FUZZ_CHECK(xing.xingFramesKnown == before.xingFramesKnown && xing.xingFrameCount == before.xingFrameCount);
    }
    input.SetPosition(at + header.frameLength);
  }
  return steps;
}

void CheckXingRewrite(std::span<const std::uint8_t> bytes) {
  FrameHeader header;
  if (bytes.size() < 4 || !IsFrameHeader(bytes.data(), header)) return;
  std::vector<std::uint8_t> file(bytes.begin(), bytes.end());
  const std::span<std::uint8_t> frame(file.data(), std::min<std::size_t>(file.size(), header.frameLength));
  const std::optional<XingFields> fields = FindXingFields(frame, header);
  if (!fields) return;
  // A stream drawn from the input's last bytes.
  const auto drawn = [&](std::size_t back) {
    return bytes.size() >= back ? BigEndian32(&bytes[bytes.size() - back]) : 0;
  };
  StreamTruth truth;
  truth.frameCount = drawn(4) % 100000;
  truth.byteCount = drawn(8) | 1;
  for (std::size_t i = 0; i < kTocEntries; ++i) {
    truth.tocOffsets[i] = static_cast<std::uint32_t>(std::uint64_t{truth.byteCount} * i / kTocEntries);
  }
  truth.musicCrc = static_cast<std::uint16_t>(drawn(12));
  const bool musicChanged = (drawn(16) & 1) != 0;

  const bool changed = MakeXingTrue(frame, *fields, truth, musicChanged);
  FUZZ_CHECK(changed == !std::equal(file.begin(), file.end(), bytes.begin()));
  // The fields, and nothing else, nothing beyond the frame.
  std::vector<bool> field(file.size(), false);
  const auto mark = [&](std::size_t at, std::size_t size) {
    if (at != XingFields::kAbsent) std::fill_n(field.begin() + static_cast<std::ptrdiff_t>(at), size, true);
  };
  mark(fields->frameCount, 4);
  mark(fields->byteCount, 4);
  mark(fields->toc, kTocEntries);
  mark(fields->lameTag == XingFields::kAbsent ? XingFields::kAbsent : fields->lameTag + 28, 8);
  for (std::size_t i = 0; i < file.size(); ++i) FUZZ_CHECK(field[i] || file[i] == bytes[i]);
  FUZZ_CHECK(XingCountsTrue(frame, *fields, truth.frameCount, truth.byteCount));

  // Made true, it stays as it is: unless a rewrite made a LAME tag's CRC
  // hold by chance, which the header did not have.
  const std::optional<XingFields> again = FindXingFields(frame, header);
  FUZZ_CHECK(again && again->frameCount == fields->frameCount && again->toc == fields->toc);
  if (again->lameTag != fields->lameTag) return;
  const std::vector<std::uint8_t> rewritten = file;
  FUZZ_CHECK(!MakeXingTrue(frame, *again, truth, false) && file == rewritten);
  FUZZ_CHECK(!MakeXingTrue(frame, *again, truth, musicChanged) && file == rewritten);
}

}  // namespace
}  // namespace scourby::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scourby;
  using namespace scourby::fuzz;
  if (size >= 4) CheckDecode(data);
  CheckPairScans({data, size});
  FUZZ_CHECK(platform::Crc16Arc({data, size}) == platform::Crc16ArcPlain({data, size}));
  CheckXingRewrite({data, size});

  const std::span<const std::uint8_t> bytes(data, size);
  const std::string path = WriteScratchFile("search.bin", bytes);
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  FUZZ_CHECK(file.IsOpen());
  // From the start, and from an offset inside the file picked by its first
  // byte (where an ID3v2 tag or a RIFF payload would end).
  const std::int64_t froms[] = {0, size > 0 ? data[0] % static_cast<std::int64_t>(size) : 0};
  for (const std::int64_t from : froms) {
    const std::vector<Step> reference = Walk(file, kBufferSizes[0], bytes, from);
    for (const std::size_t bufferSize : std::span(kBufferSizes).subspan(1)) {
      FUZZ_CHECK(Walk(file, bufferSize, bytes, from) == reference);
    }
  }
  return 0;
}

// The frame walk: which frames a stream keeps. The input is the file; its
// first byte also picks where the walk starts (where an ID3v2 tag or a RIFF
// payload would end). When its second byte is 0xB7, 60,000 to 68,160 zero
// bytes (the third byte says how many) go in at the place the fourth byte
// picks, so that streams beyond a search's reach are walked too. The walk runs over the bytes in memory and through
// the file with every reader buffer size, which must all keep the same
// frames, and its choices are checked against the rules on their own:
//  - every frame kept begins with a valid header, after the previous one;
//  - no frame behind junk is kept unconfirmed, nor the first frame, nor any
//    frame after the Xing count (which is then dropped);
//  - the walk never ends on a header that it should have taken: one that
//    follows the last frame directly, or, at the Xing count, a confirmed
//    one (the count never drops a confirmed stream);
//  - a first frame that does not begin where the audio does (the walk's
//    start, or behind the whole ID3v2 tags back to back there) only with 7
//    whole frames of its stream (31 of Layer I) chained behind it;
//  - no kept frame begins inside an ID3v2 tag that the search met, and one
//    beyond the search's reach only with 7 whole frames of its stream
//    chained behind it (31 for a first frame of Layer I); when the walk
//    ends, no such chain is left beyond the reach of its last search.
#include <cstring>
#include <string_view>
#include <vector>

#include "clean/frame_walk.h"
#include "fuzz_support.h"
#include "platform/file.h"
#include "tags/id3v2.h"
#include "tags/tag_markers.h"

namespace scourby::fuzz {
namespace {

using Span = std::span<const std::uint8_t>;

bool HeaderAt(Span file, std::int64_t at, FrameHeader& h) {
  return at >= 0 && at + 4 <= static_cast<std::int64_t>(file.size()) && IsFrameHeader(file.data() + at, h);
}

bool MarkerAt(Span file, std::int64_t at) { return StartsWithTagMarker(file.subspan(static_cast<std::size_t>(at))); }

// Two steps forward from the header at `at`, each onto the end of the file,
// a tag marker, or a header of the same stream (one whose frame the end of
// the file cuts off ends the test). A first frame whose Xing count declares
// one frame needs only the first step.
bool Confirmed(Span file, std::int64_t at, std::uint32_t declared = 0) {
  const auto size = static_cast<std::int64_t>(file.size());
  FrameHeader first;
  FUZZ_CHECK(HeaderAt(file, at, first));
  std::int64_t p = at + first.frameLength;
  for (std::uint32_t step = 0; step < 2; ++step) {
    if (p == size || (declared != 0 && step == declared)) return true;
    if (p > size) return false;
    if (MarkerAt(file, p)) return true;
    FrameHeader next;
    if (!HeaderAt(file, p, next) || !SameStream(next, first)) return false;
    if (p + next.frameLength > size) return true;
    p += next.frameLength;
  }
  return true;
}

// The first ID3v2 tag from `from` to `last` that lies whole in the file.
std::int64_t WholeTagAt(Span file, std::int64_t from, std::int64_t last, std::int64_t& length) {
  const auto size = static_cast<std::int64_t>(file.size());
  for (std::int64_t at = from; at <= last && at + 10 <= size; ++at) {
    if (file[static_cast<std::size_t>(at)] != 'I') continue;
    length = Id3v2TagLength(file.subspan(static_cast<std::size_t>(at), 10));
    if (length > 0 && at + length <= size) return at;
  }
  return -1;
}

// Whether whole frames of one stream (version, layer, sample rate and
// number of channels) follow one another from `at` on, as many as a stream
// behind junk needs: 8, or 32 for a first frame of Layer I.
bool StreamAt(Span file, std::int64_t at, bool first) {
  FrameHeader head, next;
  if (!HeaderAt(file, at, head)) return false;
  const int needed = first && head.layer == 1 ? 32 : 8;
  std::int64_t p = at;
  for (int frame = 0; frame < needed; ++frame) {
    if (!HeaderAt(file, p, next) || !SameStream(next, head) || ChannelCount(next) != ChannelCount(head)) return false;
    p += next.frameLength;
    if (p > static_cast<std::int64_t>(file.size())) return false;
  }
  return true;
}

// A search from `from` starts afresh behind every whole ID3v2 tag that
// begins before what it finds; what it finds lies within the reach of its
// last start, or beyond it at the start of a stream.
void CheckReach(Span file, std::int64_t from, std::int64_t found, bool first) {
  for (;;) {
    std::int64_t length = 0;
    const std::int64_t tag = WholeTagAt(file, from, found - 1, length);
    if (tag < 0) break;
    FUZZ_CHECK(found >= tag + length);
    from = tag + length;
  }
  if (found - from > kSearchReach) FUZZ_CHECK(StreamAt(file, found, first));
}

// A search from `from` that found nothing left no stream beyond the reach
// of any of its starts.
void CheckNothingBeyond(Span file, std::int64_t from, bool first) {
  const auto size = static_cast<std::int64_t>(file.size());
  for (;;) {
    std::int64_t length = 0;
    const std::int64_t tag = WholeTagAt(file, from, size - 1, length);
    const std::int64_t end = tag < 0 ? size : tag;
    for (std::int64_t at = from + kSearchReach + 1; at < end; ++at) FUZZ_CHECK(!StreamAt(file, at, first));
    if (tag < 0) return;
    from = tag + length;
  }
}

// Where the audio begins for a walk from `from`: behind the whole ID3v2
// tags that stand back to back there.
std::int64_t AudioStart(Span file, std::int64_t from) {
  for (std::int64_t length = 0; WholeTagAt(file, from, from, length) == from;) from += length;
  return from;
}

struct Walked {
  std::vector<std::int64_t> frames;
  std::int64_t tail = -1;
  bool operator==(const Walked& o) const { return frames == o.frames && tail == o.tail; }
};

// Walks the file from `from`; with check, also holds each choice against the
// rules (the other walks need only agree with that one).
Walked WalkAndCheck(platform::Reader& input, Span file, std::int64_t from, bool check) {
  const auto size = static_cast<std::int64_t>(file.size());
  input.SetPosition(from);
  FrameWalk walk(input, size);
  Walked walked;
  if (!walk.First()) {
    FUZZ_CHECK(input.Position() == from);
    if (check) CheckNothingBeyond(file, from, true);
    return walked;
  }
  const std::int64_t audioStart = AudioStart(file, from);
  std::int64_t searchFrom = from;
  std::int64_t frameEnd = -1;  // before the first frame: no frame to follow
  bool confirmAll = true;      // the first frame must be confirmed
  for (std::uint32_t count = 1; count < 100000; ++count) {
    const std::int64_t start = input.Position();
    FrameHeader h;
    FUZZ_CHECK(HeaderAt(file, start, h));
    FUZZ_CHECK(std::memcmp(h.headerBytes.data(), walk.header().headerBytes.data(), 4) == 0);
    FUZZ_CHECK(start >= searchFrom);
    if (check && (confirmAll || start != frameEnd)) {
      const XingInfo& own = walk.xing();
      FUZZ_CHECK(Confirmed(file, start, count == 1 && own.xingFramesKnown != 0 ? own.xingFrameCount : 0));
      if (count == 1 && start != audioStart) FUZZ_CHECK(StreamAt(file, start, true));
      CheckReach(file, searchFrom, start, count == 1);
    }
    walked.frames.push_back(start);
    frameEnd = std::min(start + h.frameLength, size);
    input.SetPosition(frameEnd);
    const XingInfo xing = walk.xing();
    confirmAll = xing.xingFramesKnown != 0 && count > xing.xingFrameCount;
    searchFrom = frameEnd;
    if (!walk.Next(frameEnd, count)) {
      walked.tail = input.Position();
      FUZZ_CHECK(walked.tail == frameEnd);
      FrameHeader next;
      if (HeaderAt(file, frameEnd, next)) FUZZ_CHECK(confirmAll && !Confirmed(file, frameEnd));
      if (check) CheckNothingBeyond(file, frameEnd, false);
      return walked;
    }
    if (confirmAll) FUZZ_CHECK(walk.xing().xingFramesKnown == 0);
  }
  FUZZ_CHECK(false);  // a frame is at least 24 bytes long
  return walked;
}

}  // namespace
}  // namespace scourby::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scourby;
  using namespace scourby::fuzz;
  std::vector<std::uint8_t> longer;
  if (size >= 4 && data[1] == 0xB7) {
    const std::size_t at = data[3] % size;
    longer.assign(data, data + at);
    longer.resize(at + 60000 + std::size_t{data[2]} * 32, 0);
    longer.insert(longer.end(), data + at, data + size);
    data = longer.data();
    size = longer.size();
  }
  const Span bytes(data, size);
  const std::int64_t froms[] = {0, size > 0 ? data[0] % static_cast<std::int64_t>(size) : 0};
  const std::string path = WriteScratchFile("walk.bin", bytes);
  platform::File file = platform::File::OpenExisting(path, platform::FileAccess::kRead);
  FUZZ_CHECK(file.IsOpen());
  for (const std::int64_t from : froms) {
    platform::Reader memory(bytes);
    const Walked reference = WalkAndCheck(memory, bytes, from, true);
    for (const std::size_t bufferSize : kBufferSizes) {
      platform::Reader input(file, bufferSize);
      FUZZ_CHECK(WalkAndCheck(input, bytes, from, false) == reference);
    }
  }
  return 0;
}

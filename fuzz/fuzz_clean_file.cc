// The whole cleaning pass on a file made of the input's bytes after the
// first; the first byte's bits pick the switches: 1 /T, 2 /F, 4 /P, 8 /B,
// 16 /D, 64 /K (/V and /L are always on: their lines say where the first
// frame was found and what went), and 32 a trash file that an earlier run
// left.
// Each input is cleaned in direct mode, in compatibility mode, and its
// cleaned file once more, and the outcomes are checked against each other:
//  - both modes leave the same bytes, trash and console lines;
//  - a file reported "No MP3!" (or a RIFF error) is left as it was, and no
//    output file is made;
//  - nothing is lost: the cleaned file is the original less the pieces
//    listed as removed (where the reconstructor cleared bytes and the VBR
//    header was made true, as written), and with /T the trash is those
//    pieces and the cleared bytes, in file order, added to an earlier trash;
//    the reported count is the original length less the cleaned one;
//  - with /K the cleaned file is the tags in front of the stream, the
//    frames a plain run keeps, and the tags at the end;
//  - cleaning a cleaned file removes nothing and changes no byte, except in
//    the cases narrowed below, each for a reason given where it is handled;
//    where it changes no byte, in either mode it changes nothing on disk:
//    the file keeps its time and inode, and no trash, ".clean" or ".bak"
//    appears.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clean/clean_file.h"
#include "fuzz_support.h"
#include "mpeg/frame_header.h"
#include "mpeg/xing.h"
#include "platform/console.h"
#include "platform/crc16.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/riff_wave.h"
#include "tags/tag_markers.h"
#include "tags/trailing_tags.h"

namespace scourby::fuzz {
namespace {

namespace fs = std::filesystem;

// Every input file gets this modification time before it is cleaned, so
// that /D can be checked.
const fs::file_time_type kOldTime = fs::file_time_type::clock::now() - std::chrono::hours(24 * 1000);

// One pass and the files it left.
struct Run {
  CleanResult result;
  std::string printed;
  std::string after;  // the input file afterwards
  bool hasTrash = false;
  std::string trash;    // what this run added to the trash
  std::string earlier;  // what the trash held before
  bool hasBak = false;
  std::string bak;
  bool hasClean = false;
  fs::file_time_type time;
  bool sameInode = false;  // the input is the file it was before the pass
};

ino_t InodeOf(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

Run Clean(const std::string& content, const Options& options, const std::string& earlierTrash = {}) {
  const fs::path input = ScratchDir() / "in.mp3";
  for (const char* extension : {".trash", ".clean", ".bak"}) fs::remove(input.string() + extension);
  if (!earlierTrash.empty()) WriteScratchFile("in.mp3.trash", Bytes(earlierTrash));
  WriteScratchFile("in.mp3", Bytes(content));
  fs::last_write_time(input, kOldTime);
  const ino_t inode = InodeOf(input);

  Run run;
  RunTotals totals;
  platform::CaptureStdout(&run.printed);
  run.result = CleanFile(input.string(), options, totals);
  platform::CaptureStdout(nullptr);

  run.after = ReadWholeFile(input);
  run.time = fs::last_write_time(input);
  run.hasTrash = fs::exists(input.string() + ".trash");
  run.trash = ReadWholeFile(input.string() + ".trash");
  run.earlier = earlierTrash;
  FUZZ_CHECK(run.trash.starts_with(earlierTrash));
  run.trash.erase(0, earlierTrash.size());
  run.hasBak = fs::exists(input.string() + ".bak");
  run.bak = ReadWholeFile(input.string() + ".bak");
  run.hasClean = fs::exists(input.string() + ".clean");
  run.sameInode = InodeOf(input) == inode;
  return run;
}

// The number printed after `label`, or `missing` when the label is absent.
std::int64_t NumberAfter(const std::string& printed, std::string_view label, std::int64_t missing) {
  const std::size_t at = printed.find(label);
  if (at == std::string::npos) return missing;
  return std::stoll(printed.substr(at + label.size()));
}

bool HasMarkerAt(const std::string& content, std::int64_t at) {
  if (at < 0 || at > static_cast<std::int64_t>(content.size())) return false;
  return StartsWithTagMarker(Bytes(content).subspan(static_cast<std::size_t>(at)));
}

bool DecodeAt(const std::string& content, std::int64_t at, FrameHeader& header) {
  if (at < 0 || at + 4 > static_cast<std::int64_t>(content.size())) return false;
  return IsFrameHeader(Bytes(content).data() + at, header);
}

// Whether what confirmed the first frame at `at`, at one of the two
// positions it points to, is something the pass removes: a tag marker, or
// the header frame of a joined part.
bool ConfirmedByRemoved(const std::string& content, std::int64_t at) {
  FrameHeader first;
  FUZZ_CHECK(DecodeAt(content, at, first));
  const auto headerFrameAt = [&](std::int64_t position, FrameHeader& h) {
    return DecodeAt(content, position, h) && position + h.frameLength <= static_cast<std::int64_t>(content.size()) &&
           IsVbrHeaderFrame(
               Bytes(content).subspan(static_cast<std::size_t>(position), static_cast<std::size_t>(h.frameLength)), h);
  };
  std::int64_t position = at + first.frameLength;
  for (int step = 0; step < 2; ++step) {
    FrameHeader next;
    if (HasMarkerAt(content, position) || headerFrameAt(position, next)) return true;
    if (!DecodeAt(content, position, next)) return false;
    position += next.frameLength;
  }
  return false;
}

// Whether the stream changes (version, layer or sample rate) among the
// cleaned file's frames from number `from` (counted from 1) to two after it.
// The frames of a cleaned file lie back to back from streamAt.
bool StreamChangesAt(const std::string& cleaned, std::int64_t streamAt, std::int64_t from) {
  std::vector<FrameHeader> frames;
  FrameHeader h;
  for (std::int64_t at = streamAt;
       DecodeAt(cleaned, at, h) && at + h.frameLength <= static_cast<std::int64_t>(cleaned.size());
       at += h.frameLength) {
    frames.push_back(h);
  }
  for (std::int64_t i = from - 1; i >= 0 && i < from + 1 && i + 1 < static_cast<std::int64_t>(frames.size()); ++i) {
    const FrameHeader& a = frames[static_cast<std::size_t>(i)];
    const FrameHeader& b = frames[static_cast<std::size_t>(i) + 1];
    if (!SameStream(a, b)) return true;
  }
  return false;
}

// A cleaned file's bytes with the fields of the VBR header in the frame at
// `at` (those that a rewrite may change) as they are in `like`.
std::string WithVbrFieldsOf(std::string bytes, const std::string& like, std::int64_t at = 0) {
  FrameHeader h;
  if (!DecodeAt(bytes, at, h)) return bytes;
  const auto start = static_cast<std::size_t>(at);
  const auto length = std::min<std::size_t>(bytes.size() - start, static_cast<std::size_t>(h.frameLength));
  const std::optional<XingFields> fields = FindXingFields(Bytes(bytes).subspan(start, length), h);
  if (!fields) return bytes;
  const auto take = [&](std::size_t from, std::size_t size) {
    from += start;
    if (from - start != XingFields::kAbsent && from + size <= like.size() && from + size <= bytes.size()) {
      bytes.replace(from, size, like, from, size);
    }
  };
  take(fields->frameCount, 4);
  take(fields->byteCount, 4);
  take(fields->toc, kTocEntries);
  if (fields->lameTag != XingFields::kAbsent) take(fields->lameTag + 28, 8);
  return bytes;
}

std::string Last128(const std::string& bytes) { return bytes.substr(bytes.size() - 128); }

bool EndsInValidTag(const std::string& bytes) { return bytes.size() >= 128 && IsValidId3v1(Bytes(Last128(bytes))); }

void CheckModesAgree(const Run& direct, const Run& compat, const std::string& content, bool backup) {
  FUZZ_CHECK(direct.result.outcome == compat.result.outcome);
  FUZZ_CHECK(direct.result.bytesRead == compat.result.bytesRead);
  FUZZ_CHECK(direct.result.bytesKept == compat.result.bytesKept);
  FUZZ_CHECK(direct.result.frameCount == compat.result.frameCount);
  FUZZ_CHECK(direct.printed == compat.printed);
  FUZZ_CHECK(direct.after == compat.after);
  FUZZ_CHECK(direct.hasTrash == compat.hasTrash && direct.trash == compat.trash);
  FUZZ_CHECK(!direct.hasClean && !compat.hasClean && !direct.hasBak);
  // A file with nothing to remove gets no backup: it is left as it was.
  FUZZ_CHECK(compat.hasBak ==
             (backup && compat.result.outcome == CleanResult::Outcome::kCleaned && compat.after != content));
  if (compat.hasBak) FUZZ_CHECK(compat.bak == content);
}

// A piece /L lists: removed, or cleared in a kept frame.
struct Listed {
  std::int64_t at = 0;
  std::int64_t size = 0;
  bool cleared = false;
  bool junk = false;
};

// The removed pieces in the order listed, then the cleared ones.
std::vector<Listed> ListedPieces(const std::string& out) {
  std::vector<Listed> pieces;
  for (const std::string_view verb : {" - Removed ", " - Cleared "}) {
    for (std::size_t at = 0; (at = out.find(verb, at)) != std::string::npos; ++at) {
      Listed piece;
      piece.size = std::stoll(out.substr(at + verb.size()));
      const std::size_t of = out.find(" bytes at ", at);
      piece.at = std::stoll(out.substr(of + 10));
      piece.cleared = verb[3] == 'C';
      piece.junk = out.compare(out.find(':', of) + 2, 5, "junk\r") == 0;
      pieces.push_back(piece);
    }
  }
  return pieces;
}

// Where input offset `at` lands in the cleaned file: behind what was kept
// before it.
std::int64_t OutputOffset(const std::vector<Listed>& pieces, std::int64_t at) {
  std::int64_t removed = 0;
  for (const Listed& piece : pieces) {
    if (!piece.cleared && piece.at < at) removed += std::min(piece.size, at - piece.at);
  }
  return at - removed;
}

// The pieces /L lists: the removed ones in file order, none overlapping,
// never two junk pieces side by side, adding up to the cleaned count; with
// the cleared ones, in file order, they are the trash (with /T), and the
// cleaned file is the original less the removed ones. A file left as it was
// lists nothing. With /P, the tag written back is in the trash unlisted.
void CheckListing(const Run& run, const std::string& content, const Options& options, bool keptTag) {
  const std::string& out = run.printed;
  std::vector<Listed> pieces = ListedPieces(out);
  std::int64_t end = 0;
  std::int64_t total = 0;
  bool lastJunk = false;
  for (const Listed& piece : pieces) {
    if (piece.cleared) continue;
    FUZZ_CHECK(piece.size > 0 && piece.at >= end && piece.at + piece.size <= static_cast<std::int64_t>(content.size()));
    FUZZ_CHECK(!(piece.junk && lastJunk && piece.at == end));
    end = piece.at + piece.size;
    total += piece.size;
    lastJunk = piece.junk;
  }
  if (run.after == content) FUZZ_CHECK(pieces.empty() && out.find(" - Rewrote ") == std::string::npos);
  if (options.keepId3v1 && keptTag) return;
  FUZZ_CHECK(total == static_cast<std::int64_t>(content.size()) - run.result.bytesKept);
  std::sort(pieces.begin(), pieces.end(), [](const Listed& a, const Listed& b) { return a.at < b.at; });
  std::string trash;
  std::string rest;  // the original less the removed pieces
  end = 0;
  for (const Listed& piece : pieces) {
    FUZZ_CHECK(piece.at >= end);
    trash += content.substr(static_cast<std::size_t>(piece.at), static_cast<std::size_t>(piece.size));
    if (!piece.cleared) rest += content.substr(static_cast<std::size_t>(end), static_cast<std::size_t>(piece.at - end));
    end = piece.cleared ? end : piece.at + piece.size;
  }
  rest += content.substr(static_cast<std::size_t>(end));
  if (options.saveTrash) FUZZ_CHECK(trash == run.trash);
  // The cleared bytes, and the VBR header made true or added in front of
  // the stream, as they were written.
  const std::int64_t first = NumberAfter(out, " - Header found at: ", -1);
  const auto streamAt = static_cast<std::size_t>(OutputOffset(pieces, first));
  const auto added = static_cast<std::size_t>(NumberAfter(out, " - Added a VBR header of ", 0));
  if (added != 0) FUZZ_CHECK(streamAt + added <= run.after.size());
  rest.insert(streamAt, run.after, streamAt, added);
  FUZZ_CHECK(rest.size() == run.after.size());
  for (const Listed& piece : pieces) {
    if (!piece.cleared) continue;
    const auto at = static_cast<std::size_t>(OutputOffset(pieces, piece.at)) + added;
    rest.replace(at, static_cast<std::size_t>(piece.size), run.after, at, static_cast<std::size_t>(piece.size));
  }
  FUZZ_CHECK(WithVbrFieldsOf(rest, run.after, static_cast<std::int64_t>(streamAt)) == run.after);
}

// Where the tags at the end begin that /K keeps: read back from the end as
// far as the audio may begin (behind a RIFF/WAVE header and an ID3v2 tag).
std::int64_t EndTagsAt(const std::string& content) {
  platform::Reader input(Bytes(content));
  if (SkipRiffWave(input).result == 0) input.SetPosition(0);
  SkipId3v2(input);
  const auto length = static_cast<std::int64_t>(content.size());
  const std::vector<TrailingTag> tags = ReadTrailingTags(input, input.Position(), length);
  return tags.empty() ? length : tags.front().at;
}

// What every pass must leave, whatever its outcome: an untouched file and
// no output file, or a cleaned file whose lengths and count add up.
void CheckPass(const Run& run, const std::string& content, const Options& options) {
  using Outcome = CleanResult::Outcome;
  const Outcome outcome = run.result.outcome;
  FUZZ_CHECK(outcome == Outcome::kCleaned || outcome == Outcome::kNoMpeg || outcome == Outcome::kRiffError);
  if (outcome != Outcome::kCleaned) {
    FUZZ_CHECK(run.after == content && run.hasTrash == !run.earlier.empty() && run.trash.empty() &&
               run.time == kOldTime);
    FUZZ_CHECK(run.printed.ends_with(outcome == Outcome::kNoMpeg ? "...No MP3!\r\n" : "!\r\n"));
    return;
  }

  const bool keptTag = options.keepId3v1 && !options.keepTags && EndsInValidTag(content);
  const auto length = static_cast<std::int64_t>(content.size());
  // With /K the tags at the end end the cleaned file as they ended the
  // original.
  const std::int64_t endTags = options.keepTags ? length - EndTagsAt(content) : 0;
  FUZZ_CHECK(run.after.ends_with(content.substr(static_cast<std::size_t>(length - endTags))));
  FUZZ_CHECK(run.result.bytesRead == length);
  // A header frame added in front of the stream is not counted as kept.
  const std::int64_t added = NumberAfter(run.printed, " - Added a VBR header of ", 0);
  FUZZ_CHECK(static_cast<std::int64_t>(run.after.size()) == run.result.bytesKept + added);
  FUZZ_CHECK(NumberAfter(run.printed, " - Cleaned ", INT64_MIN) == length - run.result.bytesKept);
  FUZZ_CHECK(run.printed.ends_with(" bytes\r\n"));
  if (keptTag) FUZZ_CHECK(run.after.ends_with(Last128(content)));
  if (options.keepTimestamp) FUZZ_CHECK(run.time == kOldTime);

  // The first frame is kept with its header as found, behind the tags /K
  // keeps in front of it; all else before it is head.
  const std::int64_t at = NumberAfter(run.printed, " - Header found at: ", -1);
  const std::vector<Listed> pieces = ListedPieces(run.printed);
  const std::int64_t streamAt = OutputOffset(pieces, at);
  FUZZ_CHECK(options.keepTags || streamAt == 0);
  const auto from = static_cast<std::size_t>(streamAt);
  FrameHeader first;
  FUZZ_CHECK(DecodeAt(content, at, first));
  const auto kept = from + static_cast<std::size_t>(added);
  FUZZ_CHECK(run.after.compare(kept, 4, content, static_cast<std::size_t>(at), 4) == 0);
  if (options.noReconstruct && added == 0) {
    // As found, but for the fields of a VBR header made true.
    const auto length = static_cast<std::size_t>(first.frameLength);
    const std::string found = content.substr(static_cast<std::size_t>(at), length);
    FUZZ_CHECK(run.after.size() >= from + length && WithVbrFieldsOf(run.after.substr(from, length), found) == found);
  }
  // An added header frame: the first frame's header, no CRC, no padding,
  // Layer III; it holds the counts and table of contents, no LAME tag.
  FrameHeader head = first;
  if (added != 0) {
    FUZZ_CHECK(DecodeAt(run.after, streamAt, head) && head.frameLength == added && head.layer == 3);
    FUZZ_CHECK(head.versionCode == first.versionCode && head.sampleRate == first.sampleRate);
    const std::optional<XingFields> fields =
        FindXingFields(Bytes(run.after).subspan(from, static_cast<std::size_t>(added)), head);
    FUZZ_CHECK(fields && fields->frameCount != XingFields::kAbsent && fields->byteCount != XingFields::kAbsent &&
               fields->toc != XingFields::kAbsent && fields->lameTag == XingFields::kAbsent);
  }
  // The cleaned stream is its frames back to back; a VBR header at its
  // start counts them.
  const std::int64_t streamEnd = run.result.bytesKept + added - (keptTag ? 128 : 0) - endTags;
  const std::int64_t stream = streamEnd - streamAt;
  std::int64_t end = streamAt;
  std::uint32_t frames = 0;
  for (FrameHeader h; end < streamEnd && DecodeAt(run.after, end, h); end += h.frameLength) ++frames;
  FUZZ_CHECK(end == streamEnd);
  const std::span<const std::uint8_t> header =
      Bytes(run.after).subspan(from, std::min(run.after.size() - from, static_cast<std::size_t>(head.frameLength)));
  if (const std::optional<XingFields> fields = FindXingFields(header, head)) {
    FUZZ_CHECK(XingCountsTrue(header, *fields, frames - 1, static_cast<std::uint32_t>(stream)));
    // A LAME tag that was rewritten tells the music as it was written.
    const std::string found = content.substr(static_cast<std::size_t>(at), header.size());
    const std::optional<XingFields> before = FindXingFields(Bytes(found), first);
    if (before && before->lameTag != XingFields::kAbsent && fields->lameTag != XingFields::kAbsent &&
        found != run.after.substr(from, header.size())) {
      const std::uint8_t* tag = header.data() + fields->lameTag;
      FUZZ_CHECK(BigEndian32(tag + 28) == static_cast<std::uint32_t>(stream));
      const std::size_t music = from + header.size();
      FUZZ_CHECK(static_cast<std::uint16_t>(tag[32] << 8 | tag[33]) ==
                 platform::Crc16ArcPlain(Bytes(run.after).subspan(music, static_cast<std::size_t>(streamEnd) - music)));
    }
  }
  CheckListing(run, content, options, keptTag);
  if (options.saveTrash) {
    // The reconstructor overwrites bytes but never changes a frame's
    // length; the bytes it clears go to the trash as they were. A file with
    // nothing to remove gives the trash nothing, not even a kept tag.
    const bool unchanged = run.after == content;
    std::int64_t cleared = 0;
    for (const Listed& piece : pieces) cleared += piece.cleared ? piece.size : 0;
    FUZZ_CHECK(static_cast<std::int64_t>(run.trash.size() + run.after.size()) ==
               length + (keptTag && !unchanged ? 128 : 0) + cleared + added);
    if (!options.keepTags) {
      FUZZ_CHECK(run.trash.compare(0, static_cast<std::size_t>(at), content, 0, static_cast<std::size_t>(at)) == 0);
    }
    FUZZ_CHECK(run.hasTrash == !(run.trash.empty() && run.earlier.empty()));
  } else {
    FUZZ_CHECK(run.hasTrash == !run.earlier.empty() && run.trash.empty());
  }
}

// The reconstructor clears from the first valid "TAG" of a frame and leaves
// a "LYRICSBEGIN" before it in place; a second pass, with the "TAG" gone,
// clears from that marker. And a "TAG" in the first frame that was no
// valid tag may have become one where the first pass rewrote the VBR header
// behind it (zeros make valid text fields): the second pass clears from it.
// Nothing else may change. headerFrame: the first frame's length when the
// first pass rewrote it, else 0.
void CheckClearOnly(const std::string& cleaned, const std::string& after, const Options& options,
                    std::size_t headerFrame, std::size_t streamAt = 0) {
  FUZZ_CHECK(!options.noReconstruct);
  FUZZ_CHECK(after.size() == cleaned.size());
  const auto mismatch = std::mismatch(cleaned.begin(), cleaned.end(), after.begin());
  const std::int64_t at = mismatch.first - cleaned.begin();
  const std::string_view marker = "LYRICSBEGIN";
  const std::size_t tag = cleaned.substr(streamAt, headerFrame).find("TAG");
  const auto frameAt = static_cast<std::size_t>(at) - streamAt;
  FUZZ_CHECK(cleaned.compare(static_cast<std::size_t>(at), marker.size(), marker) == 0 ||
             (at > 0 && cleaned.compare(static_cast<std::size_t>(at - 1), marker.size(), marker) == 0) ||
             (tag != std::string::npos && static_cast<std::size_t>(at) >= streamAt && frameAt >= tag &&
              frameAt < headerFrame));
}

// A pass over a file with nothing to remove changes nothing on disk.
void CheckUntouched(const Run& run, const std::string& content) {
  FUZZ_CHECK(run.after == content && run.sameInode && run.time == kOldTime);
  FUZZ_CHECK(!run.hasTrash && !run.hasClean && !run.hasBak);
  FUZZ_CHECK(NumberAfter(run.printed, " - Cleaned ", INT64_MIN) == 0);
}

// Cleans the cleaned file again with the same switches.
void CheckCleanedAgain(const Run& first, const std::string& content, const Options& options, const Options& compat,
                       bool keptTag) {
  const std::string& cleaned = first.after;
  const Run again = Clean(cleaned, options);
  CheckPass(again, cleaned, options);

  // The first frame is confirmed by what follows it. When that was a tag
  // marker or a joined part's header frame, the first pass removed it as
  // junk, and the frame now stands before whatever came after it: a frame
  // of another stream, or one whose successor is not a frame, leaves it
  // unconfirmed, and the second pass looks for another first frame. So it
  // may also when the
  // frame was confirmed by its Xing count of 1 alone (one frame of its
  // stream behind it, then another stream): the first pass made the count
  // cover the frames of both, and two frames of its stream no longer follow
  // it. Only then may it differ.
  // With /K, bytes in the last frames may read as a tag at the end (a
  // "TAG" 128 bytes before it): the second pass then takes them for one.
  if (options.keepTags && EndTagsAt(cleaned) < static_cast<std::int64_t>(cleaned.size()) -
                                                   (static_cast<std::int64_t>(content.size()) - EndTagsAt(content))) {
    return;
  }
  // With /K the stream stands behind the tags kept in front of it.
  const std::int64_t foundAt = NumberAfter(first.printed, " - Header found at: ", -1);
  const std::int64_t streamAt = OutputOffset(ListedPieces(first.printed), foundAt);
  if (again.result.outcome != CleanResult::Outcome::kCleaned ||
      NumberAfter(again.printed, " - Header found at: ", -1) != streamAt) {
    FUZZ_CHECK(ConfirmedByRemoved(content, foundAt) ||
               NumberAfter(first.printed, " - XingVBR - Total number of frames = ", -1) == 1);
    return;
  }
  const std::int64_t count = NumberAfter(again.printed, " - Cleaned ", INT64_MIN);
  FUZZ_CHECK(count == again.result.bytesRead - again.result.bytesKept);
  // The first frame's length when the first pass rewrote it.
  FrameHeader header;
  FUZZ_CHECK(DecodeAt(content, foundAt, header));
  const auto frameLength = static_cast<std::size_t>(header.frameLength);
  const std::int64_t added = NumberAfter(first.printed, " - Added a VBR header of ", 0);
  const std::size_t rewritten = added != 0 ? static_cast<std::size_t>(added)
                                : cleaned.compare(static_cast<std::size_t>(streamAt), frameLength, content,
                                                  static_cast<std::size_t>(foundAt), frameLength) != 0
                                    ? frameLength
                                    : 0;

  // Past the Xing count every frame is confirmed by the two after it. When
  // a new stream begins there, what confirmed the frame the first time may
  // have been junk (a tag marker) that the first pass removed: the second
  // pass may then drop it.
  const std::int64_t xingCount = NumberAfter(again.printed, " - XingVBR - Total number of frames = ", -1);
  if (xingCount >= 0 && StreamChangesAt(cleaned, streamAt, xingCount + 2)) return;

  // /K keeps the tags where they are: /P does nothing with it.
  const bool keepId3v1 = options.keepId3v1 && !options.keepTags;
  if (keepId3v1 && !keptTag && EndsInValidTag(cleaned)) {
    // /P fetches the last 128 bytes whatever they are: when the last frame
    // ends in bytes that pass as a tag, the second pass keeps a copy of them.
    FUZZ_CHECK(again.after == cleaned + Last128(cleaned) && count == -128);
    return;
  }
  if (options.keepId3v1 && keptTag && count < 0) {
    // The frame search after the last frame runs through the appended tag,
    // whose text may hold a complete frame: it is kept, the tag again after.
    // Before it, only the VBR header's counts of the frames, and the
    // reconstructor's move to a "LYRICSBEGIN", may differ.
    const std::string before = cleaned.substr(0, cleaned.size() - 128);
    FUZZ_CHECK(again.after.size() > before.size());
    const std::string prefix = WithVbrFieldsOf(again.after.substr(0, before.size()), before);
    if (prefix != before) CheckClearOnly(before, prefix, options, rewritten);
    FUZZ_CHECK(again.after.ends_with(Last128(cleaned)));
    return;
  }
  FUZZ_CHECK(count == 0);
  if (again.after != cleaned) {
    CheckClearOnly(cleaned, again.after, options, rewritten, static_cast<std::size_t>(streamAt));
    // The trash gets the cleared bytes, and an appended tag, the file's
    // tail.
    std::string trash;
    for (const Listed& piece : ListedPieces(again.printed)) {
      if (piece.cleared)
        trash += cleaned.substr(static_cast<std::size_t>(piece.at), static_cast<std::size_t>(piece.size));
    }
    if (keepId3v1 && EndsInValidTag(cleaned)) trash += Last128(cleaned);
    if (options.saveTrash) FUZZ_CHECK(again.hasTrash == !trash.empty() && again.trash == trash);
    return;
  }
  CheckUntouched(again, cleaned);
  CheckUntouched(Clean(cleaned, compat), cleaned);
}

// /K keeps the tags in front of the stream and at its end, and between
// them the frames that a plain run keeps of the file without those tags at
// the end (with them, a plain run walks the tags too: it may take frames
// there, or find a frame in front of them unconfirmed where /K finds the end
// of its frames).
void CheckKeptTags(const Run& kept, const std::string& content, Options options) {
  if (kept.result.outcome != CleanResult::Outcome::kCleaned) return;
  options.keepTags = 0;
  options.keepId3v1 = 0;
  const auto endTagsAt = static_cast<std::size_t>(EndTagsAt(content));
  const Run plain = Clean(content.substr(0, endTagsAt), options);
  FUZZ_CHECK(plain.result.outcome == CleanResult::Outcome::kCleaned);
  const std::size_t back = content.size() - endTagsAt;
  const std::int64_t at = NumberAfter(kept.printed, " - Header found at: ", -1);
  const auto front = static_cast<std::size_t>(OutputOffset(ListedPieces(kept.printed), at));
  FUZZ_CHECK(kept.after.size() >= front + back);
  FUZZ_CHECK(kept.after.substr(front, kept.after.size() - front - back) == plain.after);
}

void CheckInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::uint8_t switches = data[0];
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
  Options options;
  options.verbose = 1;
  options.listRemoved = 1;
  options.saveTrash = switches & 1;
  options.noReconstruct = (switches >> 1) & 1;
  options.keepId3v1 = (switches >> 2) & 1;
  options.keepTimestamp = (switches >> 4) & 1;
  options.keepTags = (switches >> 6) & 1;
  const bool backup = ((switches >> 3) & 1) != 0;
  Options compat = options;
  compat.compatibility = 1;
  compat.backup = backup ? 1 : 0;

  const std::string earlier = (switches & 32) != 0 ? "removed by an earlier run" : "";
  const Run direct = Clean(content, options, earlier);
  const Run compatible = Clean(content, compat, earlier);
  CheckModesAgree(direct, compatible, content, backup);
  CheckPass(direct, content, options);
  if (options.keepTimestamp) FUZZ_CHECK(compatible.time == kOldTime);
  if (direct.result.outcome == CleanResult::Outcome::kCleaned) {
    CheckCleanedAgain(direct, content, options, compat,
                      options.keepId3v1 && !options.keepTags && EndsInValidTag(content));
  }
  if (options.keepTags) CheckKeptTags(direct, content, options);
}

}  // namespace
}  // namespace scourby::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  scourby::fuzz::CheckInput(data, size);
  return 0;
}

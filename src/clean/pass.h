// One pass over one file: everything it holds open, and how far it got.
// The steps of the pass (clean_file.cc, finish_pass.cc) run in order over
// it; each returns false when the pass ends there, with the outcome set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clean/between_frames.h"
#include "clean/byte_sink.h"
#include "clean/clean_file.h"
#include "clean/frame_walk.h"
#include "clean/output_file.h"
#include "clean/piece_log.h"
#include "clean/trash_file.h"
#include "platform/file.h"
#include "platform/reader.h"
#include "tags/id3v1.h"
#include "tags/trailing_tags.h"

namespace scourby {

struct Pass {
  const std::string& path;
  const Options& options;
  const bool compat = options.compatibility != 0;
  const bool keepTags = options.keepTags != 0;
  CleanResult result;
  platform::File input;
  std::string target;  // the file that compatibility mode replaces: path, or a link's final target
  platform::FileTimes times;
  bool timesKnown = false;
  std::optional<platform::Reader> reader;
  std::optional<FrameWalk> walk;
  std::int64_t walkEnd = 0;           // where the frames end at the latest: the file's end, or /K's tags
  std::vector<std::uint8_t> keptTag;  // a valid trailing ID3v1 tag, with /P
  std::vector<TrailingTag> endTags;   // the tags at the end, read before the walk with /K
  BetweenFrames between;
  Listing listing;  // with /L
  OutputFile clean;
  TrashFile trash;  // open from its creation to the end of the pass
  std::optional<ByteSink> sink;
  bool unchanged = false;        // the cleaned file would be the file as it is
  // The VBR header of the cleaned stream: made true, or added in front.
  struct {
    bool rewrites = false;       // it is to be made true
    bool rewrote = false;        // a byte of it changed
    std::int64_t roomAhead = 0;  // room left in front of the stream for a header frame
    std::int64_t grown = 0;      // direct mode: bytes the file was made longer by, for that room
    std::int64_t added = 0;      // the length of the header frame added
  } header;
  std::int64_t firstFrameAt = 0;

  bool Fail(CleanResult::Outcome outcome, std::string failedPath = {}, const platform::Error& reason = {}) {
    result.outcome = outcome;
    result.failedPath = std::move(failedPath);
    result.reason = reason;
    return false;
  }
  bool keepTag() const { return options.keepId3v1 && !keepTags && keptTag.size() == kId3v1Size; }
  std::string cleanPath() const { return target + ".clean"; }
};

}  // namespace scourby

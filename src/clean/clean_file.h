// The per-file cleaning pass.
#pragma once

#include <cstdint>
#include <string>

#include "clean/run_state.h"
#include "platform/error.h"
#include "tags/riff_wave.h"

namespace scourby {

// How one pass ended, and what it counted.
struct CleanResult {
  enum class Outcome {
    kCannotOpen,        // the input could not be opened (or locked)
    kRiffError,         // a RIFF file that cannot be unwrapped: riff says why
    kNoMpeg,            // no confirmed frame: the file is no MP3
    kCancelled,         // a break in compatibility mode
    kCouldNotRead,      // a read of the input failed, before anything changed
    kCouldNotWrite,     // failedPath (".clean" or ".trash") could not be written
    kCouldNotRewrite,   // direct mode failed after it began to rewrite the input
    kCouldNotRename,    // ".clean" could not take failedPath's place
    kChangedMeanwhile,  // another process changed the input meanwhile
    kCleaned,
    kWouldClean,  // a dry run: the pass would have cleaned the file
  };
  Outcome outcome = Outcome::kCannotOpen;
  std::string failedPath;        // the file the failing step was about
  platform::Error reason;        // why: the first call of the failing step that failed
  RiffWave riff;                 // what the start of the file holds
  std::int64_t bytesRead = 0;    // the input's length when it was opened
  std::int64_t bytesKept = 0;    // complete frames written, plus a kept tag
  std::uint32_t frameCount = 0;  // frames visited, an incomplete last one too
};

// Cleans one file: prints its line(s), rewrites it in place (direct mode) or
// through path + ".clean" (compatibility mode), writes path + ".trash" and
// path + ".bak" as the options ask, and adds a completed pass to totals.
// Every outcome but kCleaned leaves the input as it was, except
// kCouldNotRewrite, where the trash keeps what was removed.
CleanResult CleanFile(const std::string& path, const Options& options, RunTotals& totals);

}  // namespace scourby

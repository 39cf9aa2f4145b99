// The per-file cleaning pass.
#pragma once

#include <cstdint>
#include <string>

#include "clean/run_state.h"

namespace scourby {

// How one pass ended, and what it counted.
struct CleanResult {
  enum class Outcome { kCannotOpen, kRiffError, kNoMpeg, kCancelled, kFailed, kCleaned };
  Outcome outcome = Outcome::kCannotOpen;
  std::int64_t bytesRead = 0;   // the input's length when it was opened
  std::int64_t bytesKept = 0;   // complete frames written, plus a kept tag
  std::uint32_t frameCount = 0; // frames visited, an incomplete last one too
};

// Cleans one file: prints its line(s), rewrites it in place (direct mode) or
// through path + ".clean" (compatibility mode), writes path + ".trash" and
// path + ".bak" as the options ask, and adds a completed pass to totals.
CleanResult CleanFile(const std::string& path, const Options& options, RunTotals& totals);

}  // namespace scourby

// The run-wide state: the switches, the totals the summary prints, and the
// stop flag a console break sets.
#pragma once

#include <atomic>
#include <cstdint>

namespace scourby {

// Set only while the command line is handled, read by everything afterwards.
// Each flag is 0 (off) or 1 (on).
struct Options {
  std::int32_t verbose = 0;        // /V
  std::int32_t backup = 0;         // /B, forces compatibility on
  std::int32_t saveTrash = 0;      // /T
  std::int32_t noReconstruct = 0;  // /F
  std::int32_t compatibility = 0;  // /C
  std::int32_t recurse = 0;        // /S
  std::int32_t keepId3v1 = 0;      // /P
  std::int32_t keepTimestamp = 0;  // /D
  std::int32_t dryRun = 0;         // /N: every file checked, nothing changed
  std::int32_t listRemoved = 0;    // /L: every removed piece listed
  std::int32_t exitStatus = 0;     // /E: the exit code tells what failed
  std::int32_t keepTags = 0;       // /K: the tags kept, the audio repaired
};

// What the summary prints, written by the cleaning pass once per completed
// file; and what the exit code tells with /E: files that failed (written by
// the pass), specifications that matched no file, and a run that a break
// ended early (written by the walk, or by a pass it cancelled).
struct RunTotals {
  std::int32_t filesProcessed = 0;
  std::int64_t bytesCleaned = 0;
  std::int32_t filesFailed = 0;
  std::int32_t specsUnmatched = 0;
  bool stoppedEarly = false;
};

// Set to 1 by the console break handler, never cleared. Polled by the walk
// (before each specification, after each entry) and by the pass in
// compatibility mode (before each frame).
extern std::atomic<std::int32_t> BreakRequested;
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

}  // namespace scourby

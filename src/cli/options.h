// The run-wide records: the switches, and the totals the summary prints.
#pragma once

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
};

// Written only by the cleaning pass, once per completed file.
struct RunTotals {
  std::int32_t filesProcessed = 0;
  std::int64_t bytesCleaned = 0;
};

}  // namespace scourby

// The console break handler and the run-wide stop flag it sets.
#pragma once

#include <atomic>
#include <cstdint>

namespace scourby {

// Set to 1 by ConsoleBreakHandler, never cleared. Polled by the walk (before
// each specification, after each entry) and by the pass in compatibility
// mode (before each frame).
extern std::atomic<std::int32_t> BreakRequested;
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

// Tells the handler which notice to print: in compatibility mode the
// current file is abandoned, otherwise it is finished. Set before the handler
// is registered.
void SetBreakNoticeMode(bool compatibility);

// Handles break events 0, 1, 2, 5 and 6: prints the notice on a fresh line
// and sets BreakRequested; returns 1. Any other code is declined (returns 0,
// prints nothing). Async-signal-safe: no allocation, no lock.
std::int32_t ConsoleBreakHandler(std::uint32_t eventCode);

}  // namespace scourby

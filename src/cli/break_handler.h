// The console break handler: the notice it prints and the stop flag it sets.
#pragma once

#include <cstdint>

namespace scourby {

// Tells the handler which notice to print: in compatibility mode the
// current file is abandoned, otherwise it is finished. Set before the handler
// is registered.
void SetBreakNoticeMode(bool compatibility);

// Handles break events 0, 1, 2, 5 and 6: prints the notice on a fresh line
// and sets BreakRequested; returns 1. Any other code is declined (returns 0,
// prints nothing). Async-signal-safe: no allocation, no lock.
std::int32_t ConsoleBreakHandler(std::uint32_t eventCode);

}  // namespace scourby

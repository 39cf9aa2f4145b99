#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>

#include "platform/signals.h"

namespace scourby::platform {
namespace {

std::atomic<BreakHandler> registered{nullptr};

// Registered for the whole run, and asked last: Ctrl+C, Ctrl+Break and a
// closed window are swallowed, log-off and shut-down get the system's
// default treatment.
BOOL WINAPI IdleHandler(DWORD eventCode) {
  return eventCode == kCtrlCEvent || eventCode == kCtrlBreakEvent || eventCode == kCtrlCloseEvent ? TRUE : FALSE;
}

// The system calls this on a thread of its own; it hands the event to the
// registered handler, in the calling convention the system expects.
BOOL WINAPI ForwardingHandler(DWORD eventCode) {
  const BreakHandler handler = registered.load();
  return handler != nullptr && handler(eventCode) != 0 ? TRUE : FALSE;
}

}  // namespace

void PrepareBreakEvents() { SetConsoleCtrlHandler(IdleHandler, TRUE); }

void RegisterBreakHandler(BreakHandler handler) {
  registered.store(handler);
  SetConsoleCtrlHandler(ForwardingHandler, TRUE);
}

void RemoveBreakHandler(BreakHandler handler) {
  if (registered.load() != handler) return;
  SetConsoleCtrlHandler(ForwardingHandler, FALSE);
  registered.store(nullptr);
}

}  // namespace scourby::platform

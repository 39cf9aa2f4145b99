// Break events: Ctrl+C, Ctrl+Break, a closed console window, log-off and
// shut-down, as the console delivers them on Windows. On POSIX the signals
// take their place: SIGINT is CTRL_C_EVENT, SIGQUIT CTRL_BREAK_EVENT, SIGHUP
// CTRL_CLOSE_EVENT and SIGTERM CTRL_SHUTDOWN_EVENT.
#pragma once

#include <cstdint>

namespace scourby::platform {

enum BreakEvent : std::uint32_t {
  kCtrlCEvent = 0,
  kCtrlBreakEvent = 1,
  kCtrlCloseEvent = 2,
  kCtrlLogoffEvent = 5,
  kCtrlShutdownEvent = 6,
};

// A handler in the form SetConsoleCtrlHandler expects: it gets the event code
// and returns 1 when it handled the event, 0 to pass it on. On Windows it runs
// on a thread of its own; on POSIX inside a signal handler, so it may only use
// async-signal-safe operations (WriteBreakNotice, lock-free atomics).
using BreakHandler = std::int32_t (*)(std::uint32_t eventCode);

// Called once at start. While no handler is registered, Ctrl+C, Ctrl+Break
// and close events are swallowed (POSIX: SIGINT, SIGQUIT and SIGHUP ignored,
// SIGTERM left at its default). A write to a closed pipe never ends the
// process (POSIX: SIGPIPE ignored for the whole run); the write fails instead.
void PrepareBreakEvents();

// SetConsoleCtrlHandler(handler, TRUE): from now on every break event is
// handed to the handler. Only one handler is registered at a time.
void RegisterBreakHandler(BreakHandler handler);

// SetConsoleCtrlHandler(handler, FALSE): back to the state PrepareBreakEvents
// set up.
void RemoveBreakHandler(BreakHandler handler);

}  // namespace scourby::platform

#include <signal.h>

#include <atomic>

#include "platform/signals.h"

namespace scourby::platform {
namespace {

struct SignalEvent {
  int signal;
  std::uint32_t event;
};
constexpr SignalEvent kSignals[] = {
    {SIGINT, kCtrlCEvent},
    {SIGQUIT, kCtrlBreakEvent},
    {SIGHUP, kCtrlCloseEvent},
    {SIGTERM, kCtrlShutdownEvent},
};

std::atomic<BreakHandler> registered{nullptr};
static_assert(std::atomic<BreakHandler>::is_always_lock_free);

void OnSignal(int signal) {
  const BreakHandler handler = registered.load();
  if (handler == nullptr) return;
  for (const SignalEvent& entry : kSignals) {
    if (entry.signal == signal) {
      handler(entry.event);
      return;
    }
  }
}

void SetAction(int signal, void (*action)(int)) {
  struct sigaction sa = {};
  sa.sa_handler = action;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  // One notice at a time: the break signals wait while the handler runs.
  for (const SignalEvent& entry : kSignals) sigaddset(&sa.sa_mask, entry.signal);
  sigaction(signal, &sa, nullptr);
}

void SetIdle() {
  SetAction(SIGINT, SIG_IGN);
  SetAction(SIGQUIT, SIG_IGN);
  SetAction(SIGHUP, SIG_IGN);
  SetAction(SIGTERM, SIG_DFL);
}

}  // namespace

void PrepareBreakEvents() {
  SetAction(SIGPIPE, SIG_IGN);
  SetIdle();
}

void RegisterBreakHandler(BreakHandler handler) {
  registered.store(handler);
  for (const SignalEvent& entry : kSignals) SetAction(entry.signal, OnSignal);
}

void RemoveBreakHandler(BreakHandler handler) {
  if (registered.load() != handler) return;
  SetIdle();
  registered.store(nullptr);
}

}  // namespace scourby::platform
